#!/bin/sh
# Configures and builds both targets; a second run rebuilds only what changed.
#   build/i686    the product, Velmora.dll for 32-bit Windows
#   build/x86_64  the same sources plus the tests, run under wine64
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${VELMORA_BUILD_ROOT:-$root/build}
sh "$root/scripts/deps.sh"
for arch in i686 x86_64; do
  dir=$out/$arch
  tests=OFF
  [ "$arch" = x86_64 ] && tests=ON
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" \
      -DVELMORA_BUILD_TESTS=$tests >/dev/null
  fi
  cmake --build "$dir" -- -k 0 | grep -v '^\[' || true
  cmake --build "$dir" >/dev/null   # fails loudly if anything is left broken
done
