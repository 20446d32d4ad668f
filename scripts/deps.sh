#!/bin/sh
# Installs the Debian packages that the build and the tests need, when missing.
# Idempotent, and silent when everything is already there.
set -eu
packages="g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine64 libwine-dev
googletest cmake ninja-build file clang libclang-rt-14-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
    || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# wine32 must never come along: this kernel runs no 32-bit code, and with it
# the wine launcher picks the 32-bit loader. wine64 recommends it, which apt
# can only follow where the i386 architecture is enabled.
recommends=""
dpkg --print-foreign-architectures | grep -q i386 && recommends=--no-install-recommends
$sudo apt-get install -y -qq $recommends $missing >/dev/null
