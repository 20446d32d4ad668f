#!/bin/sh
# Runs the benchmarks and prints their table (Markdown) with the machine it
# ran on:
#   sh scripts/bench.sh                  full run of the i686 build, the shipped
#                                        product
#   sh scripts/bench.sh --quick          a few repetitions, for CI
#   sh scripts/bench.sh --arch x86_64    the 64-bit build instead
#   sh scripts/bench.sh --arch both      both builds, one after the other in
#                                        this run, in one table side by side
#   sh scripts/bench.sh --runs 3         three runs in a row, one table: each
#                                        figure as its range over the runs,
#                                        held only when held in every run
#   sh scripts/bench.sh --plot           also draws the launch and stop samples
#                                        (of the last run) into
#                                        build/bench/latency.png; installs
#                                        gnuplot when it is missing
#   sh scripts/bench.sh --soak N         instead of the benchmarks: N start and
#                                        stop cycles and N/10 service cycles
#                                        from 4 threads; the host process's
#                                        handles, private bytes and threads
#                                        after warm-up and at the end
# Builds the benchmark with scripts/build.sh, starts the Wine session of the
# build folder, runs the benchmark under wine64 and stops the session.
# VELMORA_BENCH_BUILD=<folder> uses an already configured build folder
# instead. Where this machine cannot run 32-bit code, the default run says so
# and measures the x86_64 build.
set -eu
. "$(dirname "$0")/common.sh"
args=$*
mode=
archs=i686
chosen=0
runs=1
plot=0
soak=0
usage() {
  echo "usage: sh scripts/bench.sh [--quick] [--arch i686|x86_64|both] [--runs N] [--plot]" >&2
  echo "       sh scripts/bench.sh --soak N [--arch i686|x86_64|both]" >&2
  exit 2
}
count() { case ${1:-} in '' | *[!0-9]*) usage ;; esac; }
while [ $# -gt 0 ]; do
  case $1 in
    --quick) mode=--quick; shift ;;
    --arch)
      case ${2:-} in
        both) archs="i686 x86_64" ;;
        *) check_arch "${2:-}"; archs=$2 ;;
      esac
      chosen=1
      shift 2 ;;
    --runs) count "${2:-}"; runs=$2; shift 2 ;;
    --plot) plot=1; shift ;;
    --soak) count "${2:-}"; soak=$2; shift 2 ;;
    *) usage ;;
  esac
done
[ "$runs" -ge 1 ] || usage
if [ "$soak" -ne 0 ] && { [ -n "$mode" ] || [ "$runs" -ne 1 ] || [ $plot -eq 1 ]; }; then usage; fi
program=velmora_bench
[ "$soak" -ne 0 ] && program=velmora_soak
plots=$velmora_out/bench
deps=""
if [ $plot -eq 1 ]; then
  sh "$velmora_root/scripts/deps.sh" --plot
  deps=--no-deps
fi

# run_program <build folder> <output file> <arguments...>: the program's
# output into the file.
run_program() {
  build=$1
  out=$2
  shift 2
  sh "$velmora_root/scripts/wine-session.sh" start "$build" >&2
  # The launched programs share the benchmark's standard handles under Wine,
  # so its output is read only after all of them are gone: through a file.
  rc=0
  (. "$build/wine-env.sh" && wine_env "$VELMORA_ARCH" "$build/wineprefix" &&
    "$velmora_wine" "$build/bin/$program.exe" "$@" </dev/null >"$out" 2>&1) || rc=$?
  sh "$velmora_root/scripts/wine-session.sh" stop "$build"
  if [ $rc -ne 0 ]; then
    cat "$out" >&2
    echo "$program failed ($build)" >&2
    exit 1
  fi
}

if [ -n "${VELMORA_BENCH_BUILD:-}" ]; then
  builds=$(cd "$VELMORA_BENCH_BUILD" && pwd)
  cmake --build "$builds" --target $program >&2
else
  builds=""
  for arch in $archs; do
    sh "$velmora_root/scripts/build.sh" $deps --arch "$arch" --targets $program >&2
    build=$velmora_out/$arch
    probe_rc=0
    [ "$arch" = i686 ] && { sh "$velmora_root/scripts/wine-session.sh" probe "$build" >&2 || probe_rc=$?; }
    if [ $probe_rc -ne 0 ]; then
      sh "$velmora_root/scripts/wine-session.sh" stop "$build"
      if [ $probe_rc -ne 1 ]; then
        echo "i686: the benchmark's build does not run on this machine, which runs 32-bit code" >&2
        exit 1
      fi
      if [ $chosen -eq 1 ]; then
        echo "i686: the benchmark cannot run on this machine" >&2
        exit 1
      fi
      echo "i686: not measured: this machine cannot run 32-bit code; measuring x86_64 instead" >&2
      echo "i686: not measured on this machine (it runs no 32-bit code); x86_64 below."
      arch=x86_64
      sh "$velmora_root/scripts/build.sh" --arch x86_64 --no-deps --targets $program >&2
      build=$velmora_out/x86_64
    fi
    builds="$builds $build"
  done
fi

# The load average, since timings on a shared machine depend on it.
load() { cut -d ' ' -f 1-3 /proc/loadavg; }

# verdict <what> <table file>...: the closing line, from the last column of
# each table's rows ("Held", "Held in every run"): how many targets each
# build held and how many it did not, and the time taken.
verdict() {
  what=$1
  shift
  line=""
  for table in "$@"; do
    arch=$(. "$(dirname "$table")/wine-env.sh" && echo "$VELMORA_ARCH")
    counts=$(tr -d '\r' <"$table" | awk -F ' [|] ' '
      /^\| / && !/^\|---/ { held = $NF; sub(/ *\|$/, "", held)
        if (held == "yes") yes++; else if (held ~ /^no/) no++ }
      END { printf "%d held, %d not held", yes, no }')
    line="$line${line:+; }$arch $counts"
  done
  echo "$what: $line ($(($(date +%s) - begin)) s)"
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). Machine: $(nproc) cores, $(uname -m), ${cpu:-unknown CPU}, $("$velmora_wine" --version 2>/dev/null || echo 'wine unknown')."
echo "Command: sh scripts/bench.sh${args:+ $args}"
echo "Load average (1, 5, 15 min) at the start: $(load)."
echo
begin=$(date +%s)

if [ "$soak" -ne 0 ]; then
  for build in $builds; do
    . "$build/wine-env.sh"
    stage "soak of the $VELMORA_ARCH build, $soak cycles ($build)"
    run_program "$build" "$build/soak-output.txt" "$soak"
    stage_done
    echo "Build: $VELMORA_ARCH"
    echo
    # The census lines of the warm-up, the progress and the end go to
    # stderr, into the same file: they come first.
    cat "$build/soak-output.txt"
    echo
  done
  echo "Load average at the end: $(load)."
  set --
  for build in $builds; do set -- "$@" "$build/soak-output.txt"; done
  verdict "soak: targets" "$@"
  exit 0
fi

# Every run of every build: one table each.
for build in $builds; do rm -f "$build"/bench-output-*.txt; done
run=1
while [ $run -le "$runs" ]; do
  for build in $builds; do
    . "$build/wine-env.sh"
    label="benchmark of the $VELMORA_ARCH build ($build)"
    [ "$runs" -gt 1 ] && label="$label, run $run of $runs"
    stage "$label"
    samples=""
    if [ $plot -eq 1 ]; then
      mkdir -p "$plots"
      samples="--samples Z:$plots/samples-$VELMORA_ARCH.txt"
    fi
    # shellcheck disable=SC2086
    run_program "$build" "$build/bench-output-$run.txt" $mode $samples
    stage_done
  done
  run=$((run + 1))
done
echo "Load average at the end: $(load)."
echo

# One table per build: the runs' figures as ranges (bench/runs.awk).
tables=""
for build in $builds; do
  set --
  run=1
  while [ $run -le "$runs" ]; do set -- "$@" "$build/bench-output-$run.txt"; run=$((run + 1)); done
  if [ "$runs" -eq 1 ]; then
    tr -d '\r' <"$1" >"$build/bench-output.txt"
  else
    awk -f "$velmora_root/bench/runs.awk" "$@" >"$build/bench-output.txt"
  fi
  tables="$tables $build/bench-output.txt"
done

set -- $tables
if [ $# -eq 1 ]; then
  echo "Build: $(. "$(dirname "$1")/wine-env.sh" && echo "$VELMORA_ARCH")"
  echo
  cat "$1"
else
  # Both builds: one row per figure, the i686 figures first, the x86_64 ones
  # beside them; lines that are not table rows come after the table.
  awk -F ' [|] ' '
    FNR == 1 { file++ }
    { sub(/\r$/, "") }
    /^\| / && !/^\|---/ {
      sub(/^\| /, ""); sub(/ \|$/, "")
      n = split($0, c, / [|] /)
      if (c[1] == "Figure") next
      if (file == 1) { order[++rows] = c[1] }
      for (i = 2; i <= n; i++) cell[file, c[1], i] = c[i]
      next
    }
    /^\|---/ { next }
    { if ($0 != "") notes[file] = notes[file] $0 "\n" }
    END {
      print "| Figure | i686 component | i686 bare | i686 ratio | x86_64 component | x86_64 bare | x86_64 ratio | Target | Held (i686, x86_64) |"
      print "|---|---|---|---|---|---|---|---|---|"
      for (r = 1; r <= rows; r++) {
        f = order[r]
        printf "| %s | %s | %s | %s | %s | %s | %s | %s | %s, %s |\n", f,
          cell[1, f, 2], cell[1, f, 3], cell[1, f, 4],
          cell[2, f, 2], cell[2, f, 3], cell[2, f, 4], cell[1, f, 5], cell[1, f, 6], cell[2, f, 6]
      }
      if (notes[1] != "") printf "\ni686:\n%s", notes[1]
      if (notes[2] != "") printf "\nx86_64:\n%s", notes[2]
    }' "$1" "$2"
fi

if [ $plot -eq 1 ]; then
  first=""
  for build in $builds; do
    arch=$(. "$build/wine-env.sh" && echo "$VELMORA_ARCH")
    png=$plots/latency-$arch.png
    gnuplot -e "samples='$plots/samples-$arch.txt'; output='$png'; build='$arch'" \
      "$velmora_root/bench/latency.gp"
    [ -n "$first" ] || { first=$png; cp "$png" "$plots/latency.png"; }
  done
  echo
  echo "Plot: $plots/latency.png"
fi
echo
# shellcheck disable=SC2086
verdict "bench: targets" $tables
