#!/bin/sh
# Installs the Debian packages that the build and the tests need, when missing,
# and fetches Wine's 32-bit PE DLLs (libwine:i386 of the installed wine64's
# version) into a cache folder, unpacked but never installed: no i386
# architecture is added to dpkg and apt's own lists stay as they are.
#
#   sh scripts/deps.sh           install what is missing; silent when nothing is
#   sh scripts/deps.sh --check   list what is missing, install nothing
#                                (exit 0 when nothing is missing, 1 otherwise)
#   --plot                       with either: gnuplot too, which only
#                                scripts/bench.sh --plot needs
#
# The cache is $VELMORA_CACHE, else ${XDG_CACHE_HOME:-~/.cache}/velmora; a
# second run finds it there and downloads nothing.
set -eu
. "$(dirname "$0")/common.sh"

packages="g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine64 libwine-dev
googletest cmake ninja-build file gcc ccache clang libclang-rt-14-dev"

mode=""
while [ $# -gt 0 ]; do
  case $1 in
    --check) mode=--check ;;
    # gnuplot-nox: the plotting program without X, still with its PNG terminal.
    --plot) packages="$packages gnuplot-nox" ;;
    -h | --help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: sh scripts/deps.sh [--check] [--plot]" >&2; exit 2 ;;
  esac
  shift
done

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=""
if command -v dpkg-query >/dev/null 2>&1; then
  for p in $packages; do installed "$p" || missing="$missing $p"; done
else
  missing=" $(echo $packages)"
fi
missing=${missing# }

if [ "$mode" = --check ]; then
  cache=$(wine32_cache)
  status=0
  for p in $missing; do echo "missing package: $p"; status=1; done
  if [ -n "$missing" ] && ! installed wine64 2>/dev/null; then
    echo "missing: Wine's 32-bit PE DLLs (libwine:i386 of wine64's version, fetched once wine64 is installed)"
    status=1
  elif [ ! -f "$cache/.complete" ]; then
    echo "missing: Wine's 32-bit PE DLLs (libwine:i386=$(wine_version), unpacked into $cache)"
    status=1
  fi
  [ $status -eq 0 ] && echo "nothing missing"
  exit $status
fi

# Stops with what to install by hand, instead of failing halfway in apt's words.
by_hand() {
  echo "deps: $1" >&2
  echo "deps: install by hand, as root: apt-get update && apt-get install $missing" >&2
  echo "deps: (never wine32: this kernel runs no 32-bit Linux code, and with it the wine launcher breaks)" >&2
  exit 1
}

if [ -n "$missing" ]; then
  command -v apt-get >/dev/null 2>&1 || by_hand "apt-get is not available on this machine"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
      sudo="sudo -n"
    else
      by_hand "installing needs root, and this user is not root and has no password-less sudo"
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  stage "updating the package lists"
  $sudo apt-get update -qq >/dev/null 2>&1 || by_hand "the package registry cannot be reached (apt-get update failed)"
  stage_done
  stage "installing packages: $missing"
  # wine32 must never come along: this kernel runs no 32-bit Linux code, and
  # with it the wine launcher picks the 32-bit loader. wine64 recommends it,
  # which apt can only follow where the i386 architecture is enabled.
  recommends=""
  dpkg --print-foreign-architectures | grep -q i386 && recommends=--no-install-recommends
  log=$(mktemp)
  if ! $sudo apt-get install -y -qq $recommends $missing >"$log" 2>&1; then
    tail -n 5 "$log" >&2
    rm -f "$log"
    by_hand "apt-get install failed"
  fi
  rm -f "$log"
  stage_done
fi

# Known only once wine64 is installed: its version names the cache.
version=$(wine_version)
[ -n "$version" ] || by_hand "wine64 is not installed"
cache=$(wine32_cache)
[ -f "$cache/.complete" ] && exit 0

# libwine:i386 comes from Debian's i386 package lists, read into a scratch
# folder of our own: the system's lists, cache and dpkg architectures stay
# untouched, and no root is needed for this part.
stage "fetching Wine's 32-bit PE DLLs (libwine:i386=$version, about 95 MB) into $cache"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/lists/partial" "$scratch/cache/archives/partial" "$scratch/deb"
chmod 755 "$scratch"
apt="-o APT::Architectures::=amd64 -o APT::Architectures::=i386
  -o Dir::State::Lists=$scratch/lists -o Dir::Cache=$scratch/cache -o Debug::NoLocking=1"
[ "$(id -u)" -eq 0 ] && apt="$apt -o APT::Sandbox::User=root"
# shellcheck disable=SC2086
if ! apt-get $apt -qq update >"$scratch/log" 2>&1 ||
  ! (cd "$scratch/deb" && apt-get $apt -qq download "libwine:i386=$version") >>"$scratch/log" 2>&1; then
  echo "deps: could not download libwine:i386=$version from Debian's i386 package lists (apt-get download); the 32-bit product cannot run without it" >&2
  exit 1
fi
mkdir -p "$(dirname "$cache")"
rm -rf "$cache.partial"
dpkg -x "$scratch"/deb/libwine_*_i386.deb "$cache.partial"
# Only the PE DLLs are used; the documentation is not.
rm -rf "$cache.partial/usr/share/doc" "$cache.partial/usr/share/lintian" "$cache.partial/usr/share/bug"
touch "$cache.partial/.complete"
rm -rf "$cache"
mv "$cache.partial" "$cache"
stage_done
