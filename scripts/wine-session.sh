#!/bin/sh
# Starts or stops the private Wine session of a build folder.
#   wine-session.sh start <build-dir>   create the prefix on first use, start the
#                                       keep-alive program, register the COM servers
#   wine-session.sh stop  <build-dir>   end every Wine process of that prefix
#   wine-session.sh running <build-dir> exit 0 when the session's keep-alive
#                                       program runs
#   wine-session.sh probe <build-dir>   create the prefix on first use and check
#                                       that its programs run (exit 0); else say
#                                       why on stdout: exit 1 when this host
#                                       cannot run them at all (32-bit code
#                                       refused), exit 3 when it can and they
#                                       still do not run (a fault to fix)
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

# Creates the prefix on first use. Every Wine call here has a time limit, so a
# program that never ends cannot hang the scripts that probe.
ensure_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  stage "creating the $VELMORA_ARCH Wine prefix $WINEPREFIX"
  setsid timeout 300 "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  # A new prefix goes on setting itself up after wineboot returns, and a
  # service created meanwhile can be lost when that set-up saves the
  # registry: let it finish before anything else runs.
  timeout 120 /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  stage_done
}

has_syswow64() { [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; }

# A WoW64 prefix gets its syswow64 only when it is created by a wineboot that
# can run 32-bit code; an update (wineboot -u) of one that has none does not
# fill it. So a prefix created where 32-bit code could not run, or whose
# set-up was interrupted, is made anew, once: a test or demo prefix holds
# nothing that the session start does not put back.
repair_syswow64() {
  has_syswow64 && return 0
  stage "making $WINEPREFIX anew for its 32-bit system folder (routine: Wine adds syswow64 only when it makes a prefix)"
  timeout 60 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  timeout 60 /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  stage_done
  ensure_prefix
  has_syswow64
}

# Whether this prefix runs the folder's programs. For an i686 folder the host
# decides first (host_runs_32bit_code); once it says yes, anything that keeps
# a 32-bit program from running is a fault of this harness or of the build.
probe() {
  if [ "$VELMORA_ARCH" != i686 ]; then
    ensure_prefix
    return 0
  fi
  if ! host=$(host_runs_32bit_code); then
    echo "i686: this machine cannot run 32-bit Windows code: ${host#no: }"
    return 1
  fi
  ensure_prefix
  if ! repair_syswow64; then
    echo "i686: the WoW64 prefix $WINEPREFIX has no syswow64 even when made anew, although this host runs 32-bit code (Wine's 32-bit PE DLLs at $WINEDLLPATH; sh scripts/deps.sh fetches them)"
    return 3
  fi
  bits=0
  timeout 60 "$wine" "$bin/wine_keepalive.exe" --bits </dev/null >/dev/null 2>&1 || bits=$?
  if [ "$bits" -ne 32 ]; then
    echo "i686: a 32-bit program ($bin/wine_keepalive.exe --bits) did not run in $WINEPREFIX (exit $bits; 32 expected), although this host runs 32-bit code"
    return 3
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
  # (Re-)register the in-process servers that the integration tests activate,
  # those of them that the folder has.
  dlls="" names=""
  for dll in Velmora.dll HostStandins.dll; do
    if [ -f "$bin/$dll" ]; then dlls="$dlls $dll"; names="${names:+$names, }$dll"; fi
  done
  [ -n "$dlls" ] || exit 0
  stage "registering $names ($(wine_sysdir "$VELMORA_ARCH")\\regsvr32.exe)"
  for dll in $dlls; do
    "$wine" "$(wine_sysdir "$VELMORA_ARCH")\\regsvr32.exe" /s "Z:$bin/$dll" </dev/null >/dev/null 2>&1 || {
      echo "regsvr32 $dll failed" >&2; exit 1; }
  done
  stage_done
  ;;
running)
  alive
  ;;
stop)
  if [ -d "$WINEPREFIX" ]; then
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  fi
  rm -f "$ready" "$ready.tmp" "$build/wine-keepalive.flag"
  ;;
*)
  echo "usage: $0 start|stop|running|probe <build-dir>" >&2; exit 2 ;;
esac
