#!/bin/sh
# velmoractl by hand: runs velmoractl.exe in the demo's Wine prefix, with the
# environment every wine64 call of it needs, prints its output and answers
# its exit code.
#
#   sh scripts/velmoractl.sh <verb> [arguments]    one velmoractl command
#   eval "$(sh scripts/velmoractl.sh --env)"       the same environment in
#                                                  this shell
#   sh scripts/velmoractl.sh --end                 end the prefix's Wine session
#
# On first use it builds what the demo runs and makes the prefix, as
# scripts/demo.sh does (scripts/demo-prefix.sh). See --help.
set -eu
. "$(dirname "$0")/common.sh"

usage() {
  cat <<EOF
usage: sh scripts/velmoractl.sh <verb> [arguments]
       eval "\$(sh scripts/velmoractl.sh --env)"
       sh scripts/velmoractl.sh --end

Runs velmoractl.exe in the demo's Wine prefix (build/demo/<arch>/wineprefix)
and answers its exit code; its output comes when it has ended, so
id=\$(sh scripts/velmoractl.sh start ...) returns at once. The first call
builds what the demo runs, when it is not built yet, and makes the prefix,
as the demo's first run does before its first step (under a minute from a
fresh clone, up to 3 on a busy machine); after the demo it only starts the
prefix's Wine session (a few seconds). Later calls take about 0.4 s. The build is the demo's: i686,
the shipped product, or x86_64 with the reason where this machine runs no
32-bit code (VELMORA_DEMO_ARCH picks one).

Program names: for start, a path names a file from your current folder (it
is handed over as a full Windows path, Z:\\...); a bare name that is no file
there stays as it is: a service name, or a program in the build's bin folder
(cooperative_app.exe, stubborn_app.exe, sample_service.exe).

  --env    prints the environment (WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES,
           WINEDLLPATH for i686, VELMORA_BIN) and the shell functions
           velmoractl and wine64, for eval, after starting the session
  --end    ends every Wine process of the prefix (started programs included)

The verbs: velmoractl's own (sh scripts/velmoractl.sh help), described in
docs/velmoractl.md.
EOF
}

mode=run
case "${1:-}" in
  -h | --help) usage; exit 0 ;;
  --env) mode=env; shift ;;
  --end) mode=end; shift ;;
  "") usage >&2; exit 2 ;;
esac
[ "$mode" = run ] || [ $# -eq 0 ] || { usage >&2; exit 2; }

. "$velmora_root/scripts/demo-prefix.sh"

# Everything that prepares goes to stderr: stdout is velmoractl's alone.
{
  # The host check is compiled with gcc, which the package step installs.
  command -v gcc >/dev/null 2>&1 || [ "${VELMORA_SKIP_DEPS:-0}" = 1 ] ||
    sh "$velmora_root/scripts/deps.sh"
  if ! demo_pick_arch; then
    echo "velmoractl.sh: i686 not run: $demo_not_run" >&2
    exit 1
  fi
  demo_paths "$demo_arch"
  if [ "$mode" = end ]; then
    demo_session_stop
    echo "velmoractl.sh: the Wine session of $demo_session/wineprefix is ended" >&2
    exit 0
  fi
  if ! demo_is_built; then
    deps=""
    [ "${VELMORA_SKIP_DEPS:-0}" = 1 ] && deps=--no-deps
    demo_build_arch $deps || exit 1
  fi
  if demo_session_running; then
    demo_env
  else
    [ -z "$demo_not_run" ] ||
      echo "velmoractl.sh: i686 not run: $demo_not_run; so this runs the x86_64 build" >&2
    demo_session_start || exit 1
  fi
} >&2

if [ "$mode" = env ]; then
  # Single quotes, with any quote in a value closed and reopened around it.
  quoted() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
  for v in WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEDLLPATH; do
    if eval "[ -n \"\${$v+set}\" ]"; then
      eval "printf 'export %s=%s\n' $v \"\$(quoted \"\$$v\")\""
    else
      echo "unset $v"
    fi
  done
  printf 'export VELMORA_BIN=%s\n' "$(quoted "$demo_bin")"
  printf 'wine64() { %s "$@"; }\n' "$velmora_wine"
  printf 'velmoractl() { %s "$VELMORA_BIN/velmoractl.exe" "$@"; }\n' "$velmora_wine"
  exit 0
fi

# A start names a program from the user's current folder; velmoractl.exe
# runs in the bin folder, so such a path goes over as a full Windows path.
# A service start keeps its name as it is.
windows_program() {
  case $1 in
    [A-Za-z]:* | *\\*) printf '%s' "$1" ;;
    /*) winpath "$(realpath -m "$1")" ;;
    */*) winpath "$(realpath -m "$1")" ;;
    *) if [ -f "$1" ]; then winpath "$(realpath -m "$1")"; else printf '%s' "$1"; fi ;;
  esac
}
if [ "$1" = start ]; then
  service=0
  previous=""
  for a in "$@"; do
    [ "$a" = --service ] && service=1
    [ "$previous" = --ctrl ] && case $a in *[-/][Ss][Ee][Rr][Vv][Ii][Cc][Ee]*) service=1 ;; esac
    previous=$a
  done
  # The first argument after the verb that is neither an option nor an
  # option's value is the program, as velmoractl.exe reads its command line.
  n=$#
  i=0
  found=0
  previous=""
  while [ $i -lt $n ]; do
    a=$1
    shift
    i=$((i + 1))
    if [ $i -gt 1 ] && [ $found -eq 0 ] && [ $service -eq 0 ]; then
      case $previous in
        --args | --ctrl) ;;
        *) case $a in
             --*) ;;
             *) a=$(windows_program "$a"); found=1 ;;
           esac ;;
      esac
    fi
    previous=$a
    set -- "$@" "$a"
  done
fi

# velmoractl.exe writes into files, never into the caller's pipe: a program
# it starts without -con shares its standard handles, and would hold a pipe
# open until it ends. A terminal holds nothing up, so progress lines (written
# only to a terminal) still show there.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
rc=0
if [ -t 2 ]; then
  (cd "$demo_bin" && "$velmora_wine" velmoractl.exe "$@") </dev/null >"$out" || rc=$?
else
  (cd "$demo_bin" && "$velmora_wine" velmoractl.exe "$@") </dev/null >"$out" 2>"$err" || rc=$?
fi
cat "$out"
cat "$err" >&2
exit $rc
