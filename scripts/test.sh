#!/bin/sh
# The test command: installs what is missing, builds both targets, and runs
# every test under wine64 in the build folder's private Wine prefix.
# Arguments are passed to ctest (for example -R Service).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${VELMORA_BUILD_ROOT:-$root/build}
sh "$root/scripts/build.sh"
dir=$out/x86_64
status=0
ctest --test-dir "$dir" --output-on-failure -j2 "$@" || status=$?
# The fixture stops the session; make sure nothing is left even if ctest died.
sh "$root/scripts/wine-session.sh" stop "$dir"
exit $status
