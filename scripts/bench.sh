#!/bin/sh
# Runs the benchmarks and prints their table (Markdown) with the machine it
# ran on:
#   sh scripts/bench.sh            full run, 15-30 repetitions a figure
#   sh scripts/bench.sh --quick    a few repetitions, for CI
# Builds what is missing with scripts/build.sh, starts the Wine session of the
# x86_64 build folder, runs velmora_bench.exe under wine64 and stops the
# session again. VELMORA_BENCH_BUILD=<folder> uses an already configured
# x86_64 test build folder instead and builds only the benchmark there.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
mode=
case "${1:-}" in
  --quick) mode=--quick ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

if [ -n "${VELMORA_BENCH_BUILD:-}" ]; then
  build=$(cd "$VELMORA_BENCH_BUILD" && pwd)
  cmake --build "$build" --target velmora_bench >&2
else
  sh "$root/scripts/build.sh" >&2
  build=${VELMORA_BUILD_ROOT:-$root/build}/x86_64
fi

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
wine=/usr/lib/wine/wine64
sh "$root/scripts/wine-session.sh" start "$build"
trap 'sh "$root/scripts/wine-session.sh" stop "$build"' EXIT

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'). Machine: $(nproc) cores, $(uname -m), ${cpu:-unknown CPU}, $("$wine" --version 2>/dev/null || echo 'wine unknown')."
echo "Command: sh scripts/bench.sh $mode"
echo
begin=$(date +%s)
# The launched programs share the benchmark's standard handles under Wine, so
# its output is read only after all of them are gone: through a file.
out="$build/bench-output.txt"
"$wine" "$build/bin/velmora_bench.exe" $mode </dev/null >"$out" 2>&1 || {
  cat "$out"; echo "velmora_bench failed" >&2; exit 1; }
cat "$out"
echo
echo "($(($(date +%s) - begin)) s)"
