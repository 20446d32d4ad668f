#!/bin/sh
# Takes the package as a host team would: checks what is in it, unpacks it
# into an empty folder, registers its Velmora.dll in a fresh Wine prefix,
# builds examples/host_client against that folder alone, and runs the client
# against a sample application: start, status, graceful stop.
#
#   sh scripts/check-package.sh [--arch i686|x86_64]
#
# The client runs on the i686 package, the product, where this machine runs
# 32-bit code (scripts/cs32-check.c decides, as for the tests and the demo);
# elsewhere on the x86_64 package, and the i686 package is still built and
# its contents checked. --arch insists on one. The transcript lands in
# build/package-check/<arch>/transcript.txt. Exit code 0 when every check
# passed. CI runs it after the demo, with the trees already built.
set -eu
. "$(dirname "$0")/common.sh"

root=$velmora_root
wine=$velmora_wine
arch=""
case "${1:-}" in
  -h | --help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  --arch) check_arch "${2:-}"; arch=$2 ;;
  "") ;;
  *) echo "usage: sh scripts/check-package.sh [--arch i686|x86_64]" >&2; exit 2 ;;
esac

fail() { echo "check-package: $*" >&2; exit 1; }

if [ "$arch" != x86_64 ] && ! why=$(host_runs_32bit_code); then
  [ -z "$arch" ] || fail "the i686 package cannot run here: this machine cannot run 32-bit Windows code: ${why#no: }"
  echo "i686: the client does not run here: this machine cannot run 32-bit Windows code: ${why#no: }"
  echo "  so it runs on the x86_64 package; the i686 package is built and its contents checked"
  arch=x86_64
fi
arch=${arch:-i686}
package_archs=i686
[ "$arch" = x86_64 ] && package_archs="i686 x86_64"

# --- the packages and what is in them ---------------------------------------
# check_package <arch>: builds it, then checks its sum, its file list, that
# its binaries carry no debug information but a link to their .debug files
# (with the right checksum), their version, and its type library.
check_package() {
  log=$velmora_out/package-check/package-$1.txt
  sh "$root/scripts/package.sh" --arch "$1" --no-deps >"$log" 2>&1 \
    || { cat "$log" >&2; fail "packaging $1 failed"; }
  tree=$velmora_out/$1
  package_of "$1" || fail "no version in the $1 tree"
  version=$package_version name=$package_name
  if [ "$1" = i686 ]; then triple=i686-w64-mingw32 kind='PE32 executable'
  else triple=x86_64-w64-mingw32 kind='PE32+ executable'; fi
  zip=$velmora_out/package/$name.zip
  (cd "$velmora_out/package" && sha256sum -c --quiet "$name.zip.sha256" "$name-symbols.zip.sha256") \
    || fail "$name: SHA-256 sums do not match"

  listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
  expected="$name/bin/Velmora.dll $name/bin/velmoractl.exe $name/include/velmora/Velmora.h \
$name/include/velmora/Velmora_i.c $name/lib/Velmora.tlb $name/share/doc/velmora/README.md \
$name/share/doc/velmora/deploying.md $name/share/doc/velmora/security.md "
  [ "$listed" = "$expected" ] || fail "$name.zip holds: $listed; expected: $expected"
  listed=$(unzip -Z1 "${zip%.zip}-symbols.zip" | grep -v '/$' | sort | tr '\n' ' ')
  expected="$name/bin/Velmora.dll.debug $name/bin/velmoractl.exe.debug "
  [ "$listed" = "$expected" ] || fail "$name-symbols.zip holds: $listed; expected: $expected"

  look=$(mktemp -d)
  unzip -q "$zip" -d "$look"
  unzip -q "${zip%.zip}-symbols.zip" -d "$look"
  for file in Velmora.dll velmoractl.exe; do
    binary=$look/$name/bin/$file
    file -b "$binary" | grep -q "^$kind" || fail "$file is not a $kind: $(file -b "$binary")"
    sections=$("$triple-objdump" -h "$binary")
    if grep -q '\.debug_' <<EOF
$sections
EOF
    then fail "$name/bin/$file carries debug information"; fi
    # The link's last four bytes are the CRC-32 of the .debug file, the same
    # checksum gzip keeps in its trailer.
    "$triple-objcopy" --dump-section .gnu_debuglink="$look/link" "$binary" "$look/scratch" \
      || fail "$name/bin/$file has no .gnu_debuglink"
    linked=$(tr '\0' '\n' <"$look/link" | head -n 1)
    want=$(tail -c 4 "$look/link" | od -An -tx1 | tr -d ' \n')
    have=$(gzip -c <"$binary.debug" | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n')
    [ "$linked" = "$file.debug" ] && [ "$want" = "$have" ] \
      || fail "$name/bin/$file: its debug link does not match $file.debug"
    resources=$("$triple-windres" -i "$binary" -O rc)
    numbers=$(echo "$version.0.0.0" | cut -d . -f 1-4 | sed 's/\./, /g')
    grep -q "^ FILEVERSION $numbers\$" <<EOF || fail "$file: its version resource is not $version"
$resources
EOF
    grep -qF "VALUE \"FileVersion\", \"$version\"" <<EOF || fail "$file: its FileVersion is not $version"
$resources
EOF
  done
  cmp -s "$look/$name/lib/Velmora.tlb" "$tree/generated/Velmora.tlb" \
    || fail "$name/lib/Velmora.tlb is not the type library Velmora.dll carries"
  rm -rf "$look"
  echo "package $1: $zip"
  unzip -l "$zip" | sed 's/^/  /'
}
mkdir -p "$velmora_out/package-check"
stage "packing and checking the package of $package_archs"
for a in $package_archs; do check_package "$a"; done
stage_done

# --- a host team's node: unpack, register, build the client, run it -----------
tree=$velmora_out/$arch
check=$velmora_out/package-check/$arch
package=$check/package                # the unpacked zip, and nothing else
tryout=$check/tryout                  # host stand-ins and samples
session=$check/session                # the Wine prefix and its keep-alive
transcript=$check/transcript.txt
sh "$root/scripts/build.sh" --arch "$arch" --no-deps --targets "velmora_tryout wine_keepalive" >&2
[ -d "$session" ] && sh "$root/scripts/wine-session.sh" stop "$session"
rm -rf "$check"
mkdir -p "$package" "$session/bin"
: >"$transcript"
say() { printf '%s\n' "$*" | tee -a "$transcript"; }

package_of "$arch" || fail "no version in the $arch tree"
zip=$velmora_out/package/$package_name.zip
unzip -q "$zip" -d "$package"
package=$package/$package_name
cmake --install "$tree" --component tryout --prefix "$tryout" >/dev/null
say "package: $zip, unpacked into $package"
say "try-out component: $tryout/bin ($(ls "$tryout/bin" | tr '\n' ' '))"

# A fresh prefix whose background processes a keep-alive holds (see
# scripts/wine-session.sh); nothing is registered but what follows.
cp "$tree/bin/wine_keepalive.exe" "$session/bin/"
cp "$tree/wine-env.sh" "$session/"
sh "$root/scripts/wine-session.sh" start "$session"
. "$session/wine-env.sh"
wine_env "$arch" "$session/wineprefix"
sysdir=$(wine_sysdir "$arch")
export VELMORA_LOGGER_FILE="$(winpath "$check/logger.log")"

# step <expected exit> <what> <command...>: runs it under wine64, output kept.
failed=0
step() {
  expected=$1 what=$2
  shift 2
  say ""
  say "\$ $what"
  rc=0
  "$wine" "$@" </dev/null >"$check/last.out" 2>&1 || rc=$?
  tr -d '\r' <"$check/last.out" | sed 's/^/  /' | tee -a "$transcript"
  say "  [exit $rc]"
  [ "$rc" -eq "$expected" ] || { say "  (expected exit $expected)"; failed=1; }
}
step 0 "regsvr32 $(winpath "$package/bin/Velmora.dll")" \
  "$sysdir\\regsvr32.exe" /s "$(winpath "$package/bin/Velmora.dll")"
step 0 "regsvr32 $(winpath "$tryout/bin/HostStandins.dll")" \
  "$sysdir\\regsvr32.exe" /s "$(winpath "$tryout/bin/HostStandins.dll")"
step 0 "reg add HKLM\\SOFTWARE\\Meridax\\Framework\\Logger /v InstallPath /d $(winpath "$tryout/bin")" \
  "$sysdir\\reg.exe" add 'HKLM\SOFTWARE\Meridax\Framework\Logger' /v InstallPath \
  /d "$(winpath "$tryout/bin")" /f
step 0 "velmoractl doctor --quiet   (the package's)" "$package/bin/velmoractl.exe" doctor --quiet

stage "building examples/host_client against $package"
client=$check/client
cmake -S "$root/examples/host_client" -B "$client" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" -DVELMORA_PACKAGE="$package" \
  >"$check/client-build.txt" 2>&1 && cmake --build "$client" >>"$check/client-build.txt" 2>&1 \
  || { cat "$check/client-build.txt" >&2; fail "the client did not build from the package"; }
stage_done
say ""
say "client: built from $package/include/velmora and mingw-w64's import libraries"

app=$(winpath "$tryout/bin/cooperative_app.exe")
step 0 "host_client $app \"--shutdown-timeout 2000 --linger 800\" -con" \
  "$client/host_client.exe" "$app" "--shutdown-timeout 2000 --linger 800" -con
out=$(tr -d '\r' <"$check/last.out")
for want in '^start   0x00000000  identity Process_[0-9]*$' \
  '^status  0x00000000  2 PROCESS_STARTED$' '^stop    0x00000000  forced 0: ended by itself$'; do
  grep -q "$want" <<EOF || { say "missing: $want"; failed=1; }
$out
EOF
done
# The module's own lines, through the "InstallPath" written above: under Wine
# no administrator account is configured, so the launch logs one Error.
say ""
say "logging library ($check/logger.log):"
if [ -f "$check/logger.log" ]; then
  tr -d '\r' <"$check/logger.log" | awk -F '\t' '{ printf "  %-8s %s\n", $5, $6 }' | tee -a "$transcript"
else
  say "  (nothing written)"
fi

sh "$root/scripts/wine-session.sh" stop "$session"
if [ $failed -eq 0 ]; then
  say "check-package: the $arch package is enough for a host: start, status and graceful stop"
else
  say "check-package: the $arch package did not answer as expected"
fi
exit $failed
