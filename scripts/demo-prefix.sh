# Sourced after common.sh by scripts/demo.sh and scripts/velmoractl.sh: the
# demo's own Wine prefix, which build runs in it, and how it is made ready.
#
# The demo runs the shipped product, the i686 build, in wine64's WoW64 mode;
# where this machine runs no 32-bit code it runs the x86_64 build of the same
# sources and says why. Each architecture has its own prefix,
# build/demo/<arch>/wineprefix, apart from the tests' prefixes, and its bin
# folder is the build's.

# The folder is made and its path resolved once, so the prefix path handed to
# Wine holds no "..", no symbolic link and nothing relative.
demo_dir=$(mkdir -p "$velmora_out/demo" && cd "$velmora_out/demo" && pwd -P)

# Only what the demo runs: no GoogleTest, no tests.
demo_targets="velmoractl Velmora HostStandins LoggerDLL cooperative_app stubborn_app \
sample_service wine_keepalive"
demo_programs="velmoractl.exe Velmora.dll HostStandins.dll LoggerDLL.dll cooperative_app.exe \
stubborn_app.exe sample_service.exe wine_keepalive.exe"

# demo_pick_arch: sets demo_arch to the build to run, VELMORA_DEMO_ARCH's or
# i686, and demo_not_run to why i686 does not run here (empty when it does).
# Without VELMORA_DEMO_ARCH, a machine that runs no 32-bit code gets x86_64;
# with VELMORA_DEMO_ARCH=i686 it answers 1 instead. The host check is native
# and takes milliseconds (see host_runs_32bit_code); it needs gcc, which
# scripts/deps.sh installs.
demo_pick_arch() {
  demo_arch=${VELMORA_DEMO_ARCH:-i686}
  check_arch "$demo_arch"
  demo_not_run=""
  [ "$demo_arch" = i686 ] || return 0
  demo_host=$(host_runs_32bit_code) && return 0
  demo_not_run="this machine cannot run 32-bit Windows code: ${demo_host#no: }"
  [ -z "${VELMORA_DEMO_ARCH:-}" ] || return 1
  demo_arch=x86_64
}

# demo_paths <arch>: demo_build (the build folder), demo_bin (its programs)
# and demo_session (the folder of the demo's prefix for that build).
demo_paths() {
  demo_arch=$1
  demo_build=$velmora_out/$1
  demo_bin=$demo_build/bin
  demo_session=$demo_dir/$1
}

# demo_is_built: whether every program the demo runs is in demo_bin.
demo_is_built() {
  for p in $demo_programs; do [ -f "$demo_bin/$p" ] || return 1; done
}

# demo_build_arch [--no-deps]: builds what the demo runs for demo_arch.
demo_build_arch() {
  sh "$velmora_root/scripts/build.sh" --arch "$demo_arch" "$@" --targets "$demo_targets"
}

# demo_session_start: starts the Wine session of the demo's prefix (made on
# first use, the COM servers registered: scripts/wine-session.sh), exports
# the environment of every wine64 call of it, and points the logging library
# at the build's stand-in. Progress goes to stderr.
demo_session_start() {
  mkdir -p "$demo_session"
  ln -sfn "$demo_bin" "$demo_session/bin"
  cp "$demo_build/wine-env.sh" "$demo_session/wine-env.sh"
  demo_env
  sh "$velmora_root/scripts/wine-session.sh" start "$demo_session" || return 1
  stage "writing the logging library's InstallPath ($demo_sysdir\\reg.exe)"
  "$velmora_wine" "$demo_sysdir\\reg.exe" add 'HKLM\SOFTWARE\Meridax\Framework\Logger' \
    /v InstallPath /d "$(winpath "$demo_bin")" /f </dev/null >/dev/null 2>&1 || return 1
  stage_done
}

# demo_env: the environment of every wine64 call of the demo's prefix
# (WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, and WINEDLLPATH for i686).
demo_env() {
  wine_env "$demo_arch" "$demo_session/wineprefix"
  demo_sysdir=$(wine_sysdir "$demo_arch")
}

# Whether the demo prefix's session (its keep-alive program) runs.
demo_session_running() {
  [ -d "$demo_session" ] && sh "$velmora_root/scripts/wine-session.sh" running "$demo_session"
}

# Ends every Wine process of the demo's prefix; nothing to do before its
# first use.
demo_session_stop() {
  [ -d "$demo_session" ] || return 0
  sh "$velmora_root/scripts/wine-session.sh" stop "$demo_session"
}
