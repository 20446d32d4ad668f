#!/bin/sh
# Configures and builds; a second run rebuilds only what changed.
#   build/i686    the product, Velmora.dll for 32-bit Windows, with its tests
#   build/x86_64  the same sources for 64-bit Windows, with the same tests
#
#   sh scripts/build.sh                    both trees, everything
#   sh scripts/build.sh --arch i686        one tree (all: both)
#   sh scripts/build.sh --targets "a b"    only these targets (and what they need)
#   --no-deps                              skip scripts/deps.sh
#
# Each stage prints a line when it starts and its time when it ends. While
# ninja builds, its [n/N] progress stays on one line on a terminal, and comes
# as a line every tenth of the way when the output is a file or a pipe.
set -eu
. "$(dirname "$0")/common.sh"

archs=$velmora_archs
targets=""
deps=1
while [ $# -gt 0 ]; do
  case $1 in
    --arch) [ "$2" = all ] || check_arch "$2"
            [ "$2" = all ] && archs=$velmora_archs || archs=$2
            shift 2 ;;
    --targets) targets=$2; shift 2 ;;
    --no-deps) deps=0; shift ;;
    *) echo "usage: sh scripts/build.sh [--arch i686|x86_64|all] [--targets \"...\"] [--no-deps]" >&2
       exit 2 ;;
  esac
done

[ $deps -eq 1 ] && sh "$velmora_root/scripts/deps.sh"

# Ninja's [n/N] lines become progress; everything else (warnings, errors)
# passes through whole.
progress() {
  tty=0
  [ -t 2 ] && tty=1
  awk -v tty=$tty '
    function out(s) { printf "%s", s > "/dev/stderr"; fflush("/dev/stderr") }
    /^\[[0-9]+\/[0-9]+\]/ {
      split(substr($1, 2), nn, "/"); n = nn[1] + 0; total = nn[2] + 0
      if (tty) {
        line = $0; if (length(line) > 100) line = substr(line, 1, 97) "..."
        out("\r\033[K   " line); open = 1
      } else if (total > 0 && (int(n * 10 / total) > shown || n == total)) {
        shown = int(n * 10 / total)
        out("   [" n "/" total "] " int(n * 100 / total) "%\n")
      }
      next
    }
    { if (open) { out("\n"); open = 0 } out($0 "\n") }
    END { if (open) out("\r\033[K") }'
}

for arch in $archs; do
  dir=$velmora_out/$arch
  dllpath=""
  [ "$arch" = i686 ] && dllpath=$(wine32_dllpath)
  if [ ! -f "$dir/build.ninja" ] ||
    ! grep -qxF "VELMORA_WINEDLLPATH:STRING=$dllpath" "$dir/CMakeCache.txt" 2>/dev/null; then
    stage "configuring $arch ($dir)"
    mkdir -p "$dir"
    if ! cmake -S "$velmora_root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$velmora_root/cmake/toolchain-$arch.cmake" \
      -DVELMORA_BUILD_TESTS=ON -DVELMORA_WINEDLLPATH="$dllpath" >"$dir/configure.log" 2>&1; then
      tail -n 30 "$dir/configure.log" >&2
      echo "configuring $arch failed; see $dir/configure.log" >&2
      exit 1
    fi
    stage_done
  fi
  what="everything"
  [ -n "$targets" ] && what=$targets
  stage "building $arch: $what"
  status=$(mktemp)
  # The build's code is caught explicitly: under set -e a failing command in
  # the group would end it before the code is written, and an empty code used
  # to read as success.
  # shellcheck disable=SC2086
  { build_rc=0
    cmake --build "$dir" ${targets:+--target $targets} -- -k 0 2>&1 || build_rc=$?
    echo $build_rc >"$status"; } | progress
  rc=$(cat "$status")
  rm -f "$status"
  if [ "${rc:-1}" != 0 ]; then
    echo "building $arch failed (exit $rc)" >&2
    exit 1
  fi
  stage_done
done
