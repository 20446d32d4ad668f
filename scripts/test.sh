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
# A test gets a second run only when its first one fails: now and then a
# Wine process dies at start-up before the test has run at all (no output,
# a few milliseconds). A test that fails twice fails the run.
ctest --test-dir "$dir" --output-on-failure -j2 --repeat until-pass:2 "$@" || status=$?
# The fixture stops the session; make sure nothing is left even if ctest died.
sh "$root/scripts/wine-session.sh" stop "$dir"
exit $status
