#!/bin/sh
# Starts or stops the private Wine session of a build folder.
#   wine-session.sh start <build-dir>   create the prefix on first use, start the
#                                       keep-alive program, register the COM servers
#   wine-session.sh stop  <build-dir>   end every Wine process of that prefix
#   wine-session.sh probe <build-dir>   create the prefix on first use and check
#                                       that its programs run (exit 0), or say
#                                       why they cannot, on stdout (exit 1)
#
# The folder's wine-env.sh (written when a build tree is configured) says which
# architecture its binaries are: an i686 folder gets a WoW64 prefix, created
# and always run with Wine's 32-bit PE DLLs on WINEDLLPATH, and its servers are
# registered by the 32-bit regsvr32, in the 32-bit registry view.
#
# Wine's background processes (services.exe, explorer, rpcss...) inherit the
# standard handles of whoever starts them first. Started from inside ctest they
# would hold its pipes open and stall every test, so a detached keep-alive
# program brings them up here, with /dev/null as their standard handles.
set -eu
. "$(dirname "$0")/common.sh"
cmd=$1
build=$(cd "$2" && pwd)
bin=$build/bin
VELMORA_ARCH=x86_64
[ -f "$build/wine-env.sh" ] && . "$build/wine-env.sh"
wine_env "$VELMORA_ARCH" "$build/wineprefix"
wine=$velmora_wine
ready="$build/wine-session.ready"

alive() {
  [ -f "$ready" ] && pid=$(cat "$ready") && [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

# Creates the prefix on first use.
ensure_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  stage "creating the $VELMORA_ARCH Wine prefix $WINEPREFIX"
  setsid "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  # A new prefix goes on setting itself up after wineboot returns, and a
  # service created meanwhile can be lost when that set-up saves the
  # registry: let it finish before anything else runs.
  /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  stage_done
}

# Whether this prefix runs the folder's programs. The 32-bit ones need the
# prefix's syswow64, which only a running 32-bit program can fill: where the
# processor cannot switch a 64-bit process into 32-bit code (some
# hypervisors refuse the 32-bit code segment), neither happens.
probe() {
  ensure_prefix
  [ "$VELMORA_ARCH" = i686 ] || return 0
  if [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "i686: this machine cannot run 32-bit Windows code: the WoW64 prefix $WINEPREFIX has no syswow64 (Wine's 32-bit PE DLLs at $WINEDLLPATH; sh scripts/deps.sh fetches them; a machine whose processor or hypervisor refuses 32-bit code segments cannot fill it)"
    return 1
  fi
  bits=0
  "$wine" "$bin/wine_keepalive.exe" --bits </dev/null >/dev/null 2>&1 || bits=$?
  if [ "$bits" -ne 32 ]; then
    echo "i686: this machine cannot run 32-bit Windows code: a 32-bit probe program did not run in $WINEPREFIX (exit $bits)"
    return 1
  fi
}

case $cmd in
probe)
  probe
  ;;
start)
  if ! alive; then
    rm -f "$ready" "$build/wine-keepalive.flag"
    probe >&2 || exit 1
    setsid "$wine" "$bin/wine_keepalive.exe" "Z:$build/wine-keepalive.flag" \
      </dev/null >/dev/null 2>&1 &
    echo $! > "$ready.tmp"
    i=0
    while [ ! -f "$build/wine-keepalive.flag" ]; do
      i=$((i + 1))
      if [ $i -gt 600 ]; then echo "wine keep-alive did not start" >&2; exit 1; fi
      sleep 0.1
    done
    mv "$ready.tmp" "$ready"
  fi
  # (Re-)register the in-process servers that the integration tests activate.
  stage "registering Velmora.dll, HostStandins.dll ($(wine_sysdir "$VELMORA_ARCH")\\regsvr32.exe)"
  for dll in Velmora.dll HostStandins.dll; do
    if [ -f "$bin/$dll" ]; then
      "$wine" "$(wine_sysdir "$VELMORA_ARCH")\\regsvr32.exe" /s "Z:$bin/$dll" </dev/null >/dev/null 2>&1 || {
        echo "regsvr32 $dll failed" >&2; exit 1; }
    fi
  done
  stage_done
  ;;
stop)
  if [ -d "$WINEPREFIX" ]; then
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  fi
  rm -f "$ready" "$ready.tmp" "$build/wine-keepalive.flag"
  ;;
*)
  echo "usage: $0 start|stop|probe <build-dir>" >&2; exit 2 ;;
esac
