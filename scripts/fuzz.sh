#!/bin/sh
# Builds the switch-scan fuzzer natively with clang (libFuzzer, AddressSanitizer,
# UBSan) into build/fuzz and runs it for a bounded time.
#   sh scripts/fuzz.sh [seconds]      default 60
# The checked-in seed corpus is copied to a scratch folder first, so a run never
# grows it. Exits non-zero on any finding (crash, sanitizer report, broken
# property); the reproducer is left in build/fuzz/findings.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build/fuzz

command -v clang++-14 >/dev/null 2>&1 && cxx=clang++-14 || cxx=clang++
cmake -S tests/fuzz -B "$out" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$out" switch_scan_fuzzer >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp tests/fuzz/corpus/* "$scratch"/
mkdir -p "$out/findings"

rc=0
"$out/switch_scan_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$out/findings/" "$scratch" || rc=$?
if [ "$rc" -ne 0 ]; then
  echo "fuzz: finding after a run of at most ${seconds}s (exit $rc); see $out/findings" >&2
  exit 1
fi
echo "fuzz: no finding in ${seconds}s"
