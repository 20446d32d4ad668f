#!/bin/sh
# Starts or stops the private Wine session of a build folder.
#   wine-session.sh start <build-dir>   create the prefix on first use, start the
#                                       keep-alive program, register the COM servers
#   wine-session.sh stop  <build-dir>   end every Wine process of that prefix
#
# Wine's background processes (services.exe, explorer, rpcss...) inherit the
# standard handles of whoever starts them first. Started from inside ctest they
# would hold its pipes open and stall every test, so a detached keep-alive
# program brings them up here, with /dev/null as their standard handles.
set -eu
cmd=$1
build=$(cd "$2" && pwd)
bin=$build/bin
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
wine=/usr/lib/wine/wine64
ready="$build/wine-session.ready"

alive() {
  [ -f "$ready" ] && pid=$(cat "$ready") && [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

case $cmd in
start)
  if ! alive; then
    rm -f "$ready" "$build/wine-keepalive.flag"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      setsid "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
      # A new prefix goes on setting itself up after wineboot returns, and a
      # service created meanwhile can be lost when that set-up saves the
      # registry: let it finish before anything else runs.
      /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
    fi
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
  for dll in Velmora.dll HostStandins.dll; do
    if [ -f "$bin/$dll" ]; then
      "$wine" regsvr32 /s "Z:$bin/$dll" </dev/null >/dev/null 2>&1 || {
        echo "regsvr32 $dll failed" >&2; exit 1; }
    fi
  done
  ;;
stop)
  if [ -d "$WINEPREFIX" ]; then
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  fi
  rm -f "$ready" "$ready.tmp" "$build/wine-keepalive.flag"
  ;;
*)
  echo "usage: $0 start|stop <build-dir>" >&2; exit 2 ;;
esac
