#!/bin/sh
# Builds the product and packs it with CPack, the way it ships:
#   build/package/Velmora-<version>-win32.zip          the product (-win64 for x86_64)
#   build/package/Velmora-<version>-win32-symbols.zip  its debug information
# each with a .sha256 file beside it. The layout is cmake/Package.cmake's.
set -eu
. "$(dirname "$0")/common.sh"

usage() {
  cat <<EOF
usage: sh scripts/package.sh [--arch i686|x86_64] [--no-deps]

Builds only what the package holds (Velmora.dll, velmoractl.exe, the type
library and its header) in build/<arch>, i686 by default (the product;
x86_64 for 64-bit hosts), never GoogleTest or a test, and packs it with
CPack into build/package/:

  Velmora-<version>-win32.zip           bin/ include/velmora/ lib/ share/doc/velmora/
  Velmora-<version>-win32-symbols.zip   bin/*.debug, the binaries' debug information
  *.zip.sha256                          their SHA-256 sums (sha256sum -c)

The binaries in the package carry no debug information; each names its
.debug file in a .gnu_debuglink section. The version comes from
project(Velmora VERSION ...) in CMakeLists.txt. Prints where it wrote them.

Time on a 2-core machine: under a second once the tree is built; from a
fresh clone about 45 s with a warm compiler cache, under 2 minutes without.

  --arch A     the tree to pack (default i686)
  --no-deps    do not check or install packages (scripts/deps.sh)
EOF
}

arch=i686
deps=""
while [ $# -gt 0 ]; do
  case $1 in
    -h | --help) usage; exit 0 ;;
    --arch) check_arch "${2:-}"; arch=$2; shift 2 ;;
    --no-deps) deps=--no-deps; shift ;;
    *) usage >&2; exit 2 ;;
  esac
done

tree=$velmora_out/$arch
dest=$velmora_out/package
# velmora_release makes the shipped copies of the binaries and their debug
# files, and needs everything else the package holds.
sh "$velmora_root/scripts/build.sh" --arch "$arch" $deps --targets velmora_release

package_of "$arch" || exit 1
name=$package_name

stage "packing $name with CPack"
mkdir -p "$dest"
work=$dest/cpack-$arch
rm -rf "$work"
rm -f "$dest/$name.zip" "$dest/$name.zip.sha256" \
  "$dest/$name-symbols.zip" "$dest/$name-symbols.zip.sha256"
mkdir -p "$work"
if ! cpack --config "$tree/CPackConfig.cmake" -B "$work" >"$work.log" 2>&1; then
  cat "$work.log" >&2
  echo "CPack failed; see $work.log" >&2
  exit 1
fi
mv "$work/$name.zip" "$work/$name-symbols.zip" "$dest/"
rm -rf "$work" "$work.log"
(cd "$dest" && for zip in "$name.zip" "$name-symbols.zip"; do
  sha256sum "$zip" >"$zip.sha256"
done)
stage_done

echo "package: $dest/$name.zip"
echo "sha-256: $dest/$name.zip.sha256"
echo "symbols: $dest/$name-symbols.zip (and .sha256)"
