# Folds the tables of several runs of velmora_bench.exe (one file each) into
# one table: a cell that differs between the runs becomes its range, the
# ratio also says how far the runs stray from their middle value, and a
# target counts as held only when every run held it.
#
#   awk -f bench/runs.awk run1.txt run2.txt run3.txt

function trim(s) { sub(/^ +/, "", s); sub(/ +$/, "", s); return s }

# Splits a cell into the text before its last number (its sign included),
# the number, and the text after it ("1 thread: 243.09 ms": "1 thread: ",
# "243.09", " ms");
# false when the cell holds no number.
function parse(text, parts,    rest, at, found) {
  rest = text; at = 0; found = 0
  while (match(rest, /-?[0-9]+(\.[0-9]+)?/)) {
    found = at + RSTART; parts["num"] = substr(rest, RSTART, RLENGTH)
    at += RSTART + RLENGTH - 1
    rest = substr(rest, RSTART + RLENGTH)
  }
  if (!found) return 0
  parts["pre"] = substr(text, 1, found - 1)
  parts["post"] = substr(text, found + length(parts["num"]))
  return 1
}

# The runs' cells of one column as one cell.
function fold(figure, column,    i, n, text, parts, pre, post, same, numeric, lo, hi, loText, hiText, v, sorted, j, t, mid, spread, d, out) {
  n = 0; same = 1; numeric = 1
  for (i = 1; i <= files; i++) {
    if (!((i, figure) in seen)) continue
    text = cell[i, figure, column]
    if (n == 0) first = text
    else if (text != first) same = 0
    n++
    if (!parse(text, parts)) { numeric = 0; continue }
    if (n == 1) { pre = parts["pre"]; post = parts["post"] }
    else if (parts["pre"] != pre || parts["post"] != post) numeric = 0
    v[n] = parts["num"] + 0
    if (n == 1 || v[n] < lo) { lo = v[n]; loText = parts["num"] }
    if (n == 1 || v[n] > hi) { hi = v[n]; hiText = parts["num"] }
  }
  if (same) out = first
  else if (!numeric) {
    out = ""
    for (i = 1; i <= files; i++)
      if ((i, figure) in seen) out = out (out == "" ? "" : " / ") cell[i, figure, column]
  } else out = pre loText "–" hiText post
  # The ratio: how far the runs lie from their middle value (a step's share,
  # in %, has no middle to speak of when it lies around 0).
  if (column == 4 && numeric && n > 1 && post == "x") {
    for (i = 1; i <= n; i++) sorted[i] = v[i]
    for (i = 2; i <= n; i++)
      for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) { t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t }
    mid = n % 2 ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
    spread = 0
    for (i = 1; i <= n; i++) {
      d = v[i] - mid; if (d < 0) d = -d
      if (mid > 0 && d / mid > spread) spread = d / mid
    }
    if (mid > 0) out = out sprintf(" (±%.1f%%)", spread * 100)
  }
  return out
}

FNR == 1 { files++ }
{ sub(/\r$/, "") }
/^\|---/ { next }
/^\| / {
  line = $0
  sub(/^\| /, "", line); sub(/ \|$/, "", line)
  n = split(line, c, / \| /)
  if (c[1] == "Figure") next
  figure = trim(c[1])
  if (!(figure in known)) { known[figure] = 1; order[++rows] = figure }
  seen[files, figure] = 1
  for (i = 2; i <= n; i++) cell[files, figure, i] = trim(c[i])
  next
}
files == 1 && $0 != "" { notes = notes $0 "\n" }
END {
  printf "| Figure | Component | Bare platform | Ratio over %d runs | Target | Held in every run |\n", files
  print "|---|---|---|---|---|---|"
  for (r = 1; r <= rows; r++) {
    f = order[r]
    held = 0; present = 0; none = 0
    for (i = 1; i <= files; i++) {
      if (!((i, f) in seen)) continue
      present++
      if (cell[i, f, 6] == "yes") held++
      if (cell[i, f, 6] == "-") none++
    }
    # "-": a row that holds no target of its own (a step's time).
    if (none == present) verdict = "-"
    else verdict = held == files ? "yes" : "no (held in " held " of " files ")"
    printf "| %s | %s | %s | %s | %s | %s |\n", f, fold(f, 2), fold(f, 3), fold(f, 4), fold(f, 5), verdict
  }
  if (notes != "") printf "\n%s", notes
}
