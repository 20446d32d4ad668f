# Sourced by the other scripts: where things live, how each architecture's
# programs run under Wine, and how a stage announces itself.
#
# Both architectures run under wine64. The 32-bit product runs in Wine's WoW64
# mode: a 32-bit program inside a 64-bit Wine process, which needs Wine's
# 32-bit PE DLLs. Debian ships them in libwine:i386; scripts/deps.sh unpacks
# that package into a cache folder, never installing it.

velmora_root=$(cd "$(dirname "$0")/.." && pwd)
velmora_out=${VELMORA_BUILD_ROOT:-$velmora_root/build}
# Absolute, since prefixes and links made from it are used from elsewhere.
case $velmora_out in /*) ;; *) velmora_out=$PWD/$velmora_out ;; esac
velmora_wine=/usr/lib/wine/wine64
velmora_archs="i686 x86_64"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

seconds() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }

# stage "what happens"  ...  stage_done
# One line when a stage starts and its time when it ends, on stderr so a
# script's own output (a transcript, a table) stays as it was.
stage() {
  velmora_stage=$1
  velmora_stage_start=$(now_ms)
  printf -- "-- %s ...\n" "$velmora_stage" >&2
}

stage_done() {
  printf -- "-- %s: done in %s s\n" "$velmora_stage" "$(seconds $(($(now_ms) - velmora_stage_start)))" >&2
}

# The Debian version of the installed wine64, which libwine:i386 must match.
wine_version() { dpkg-query -W -f='${Version}' wine64 2>/dev/null; }

# Folder of the unpacked libwine:i386 for the installed wine64.
wine32_cache() {
  echo "${VELMORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}/libwine-i386-$(wine_version)"
}

# The WINEDLLPATH that gives a prefix its syswow64 and lets 32-bit programs run.
wine32_dllpath() { echo "$(wine32_cache)/usr/lib/i386-linux-gnu/wine"; }

# wine_env <arch> <prefix>: exports what every wine64 call of that prefix needs.
wine_env() {
  export WINEPREFIX="$2"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  if [ "$1" = i686 ]; then
    export WINEDLLPATH
    WINEDLLPATH=${VELMORA_WINEDLLPATH:-$(wine32_dllpath)}
  else
    unset WINEDLLPATH
  fi
}

# winpath <absolute Unix path>: the same file as Windows programs in the
# prefix name it (Wine's drive Z: is the Unix root).
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The system folder whose tools (regsvr32, reg) match an architecture: a
# 32-bit server registers, and its settings are written, in the 32-bit view.
wine_sysdir() {
  if [ "$1" = i686 ]; then echo 'C:\windows\syswow64'; else echo 'C:\windows\system32'; fi
}

# package_of <arch>: sets package_version, project(Velmora VERSION ...) as the
# tree's CMake cache has it, and package_name, the package's name as
# cmake/Package.cmake gives it: Velmora-<version>-win32 (-win64 for x86_64).
# Answers 1, saying why, when the tree has no version.
package_of() {
  package_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$velmora_out/$1/CMakeCache.txt")
  if [ -z "$package_version" ]; then
    echo "no project version in $velmora_out/$1/CMakeCache.txt" >&2
    return 1
  fi
  if [ "$1" = i686 ]; then package_name=Velmora-$package_version-win32
  else package_name=Velmora-$package_version-win64; fi
}

check_arch() {
  case $1 in
    i686 | x86_64) ;;
    *) echo "unknown architecture '$1' (i686 or x86_64)" >&2; exit 2 ;;
  esac
}

# Whether this host lets a 64-bit process run 32-bit code, which Wine's WoW64
# mode (and so every i686 program) needs. Decided by a native check of the
# processor's 32-bit code segment (scripts/cs32-check.c, built with the host's
# C compiler), never by whether an i686 program happens to run: a broken i686
# program must read as a failure, not as an incapable host.
# Prints the check's line; exit 0 yes, 1 no, 2 when it could not be checked.
host_runs_32bit_code() {
  check_dir=$velmora_out/host-check
  check_src=$velmora_root/scripts/cs32-check.c
  check_exe=$check_dir/cs32-check
  mkdir -p "$check_dir"
  if [ ! -x "$check_exe" ] || [ "$check_src" -nt "$check_exe" ]; then
    if ! gcc -O0 -o "$check_exe.tmp" "$check_src" >"$check_dir/build.log" 2>&1; then
      echo "unknown: the host check could not be built with gcc (see $check_dir/build.log)"
      return 2
    fi
    mv "$check_exe.tmp" "$check_exe"
  fi
  check_rc=0
  check_line=$(timeout 10 "$check_exe" 2>&1) || check_rc=$?
  case $check_rc in
    0) echo "$check_line" ;;
    1) echo "$check_line"; return 1 ;;
    *) echo "no: the host check of the 32-bit code segment died (exit $check_rc)"; return 1 ;;
  esac
}
