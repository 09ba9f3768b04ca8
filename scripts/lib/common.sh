# Shared by the scripts: where things are, what to install, Wine and Xvfb.
# shellcheck shell=bash

NIMBREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export NIMBREL_ROOT

# Debian packages each kind of work needs. Installing is idempotent. The Liberation
# fonts have Arial's metrics, which the dialogs are laid out for.
BUILD_PACKAGES=(cmake make g++ file g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest libgtest-dev python3)
RUN_PACKAGES=(wine wine64 fonts-wine fonts-liberation xvfb python3 x11-utils python3-pyftpdlib vsftpd python3-cryptography)
# libFuzzer for clang 14 comes with libclang-rt-14-dev.
FUZZ_PACKAGES=(cmake make clang-14 libclang-rt-14-dev libgtest-dev)
BENCH_PACKAGES=(cmake make g++ libbenchmark-dev libpugixml-dev librapidxml-dev libtinyxml2-dev libexpat1-dev)

log() { printf '%s\n' "$*" >&2; }

# configure_and_build TREE TOOLCHAIN-FILE [CMAKE ARGUMENTS]: configures and builds
# build/TREE (TREE itself when it is an absolute path); TOOLCHAIN-FILE names a file of
# cmake/, "" for the host's compilers. A tree configured before its tool-chain file
# changed is configured afresh: CMake keeps the compilers of its first configuration.
configure_and_build() {
  local tree=$1 toolchain=${2:-}
  shift 2
  local dir="$NIMBREL_ROOT/build/$tree" fresh=() stamp=none
  [[ $tree == /* ]] && dir=$tree
  [ -n "$toolchain" ] && stamp=$(cat "$NIMBREL_ROOT"/cmake/toolchain-*.cmake | cksum | cut -d' ' -f1)
  if [ -f "$dir/CMakeCache.txt" ] && [ "$(cat "$dir/.toolchain-stamp" 2>/dev/null)" != "$stamp" ]; then
    fresh=(--fresh)
    rm -rf "$dir/program"  # the nested product tree of build/win64
  fi
  local toolchain_arg=()
  [ -n "$toolchain" ] && toolchain_arg=(-DCMAKE_TOOLCHAIN_FILE="$NIMBREL_ROOT/cmake/$toolchain")
  cmake "${fresh[@]}" -S "$NIMBREL_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${toolchain_arg[@]}" "$@" >/dev/null
  echo "$stamp" >"$dir/.toolchain-stamp"
  cmake --build "$dir" --parallel "$(nproc)"
}

# Installs whichever of the named packages are missing (apt-get update once first).
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [ -z "${NIMBREL_APT_UPDATED:-}" ]; then
    apt-get update -q >/dev/null || return 1
    export NIMBREL_APT_UPDATED=1
  fi
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# Wine: a prefix of our own (start Xvfb first when windows will be shown) inside the build tree, quiet, and never a dialog that
# would wait for a person (crash reports, Mono/Gecko installers).
wine_setup() {
  export WINEPREFIX="$NIMBREL_ROOT/build/win64/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  export WINEARCH=win64
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    DISPLAY= wine wineboot --init >/dev/null 2>&1 || true
    DISPLAY= wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
  fi
  # Wine's own fonts (fonts-wine: Marlett draws the caption buttons, Tahoma is the
  # dialogs' "MS Shell Dlg") lie where Debian's Wine does not look for them: the
  # prefix's Fonts folder gets links to them.
  local font fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  for font in /usr/share/wine/fonts/*; do
    [ -e "$font" ] && [ ! -e "$fonts/${font##*/}" ] && ln -s "$font" "$fonts/"
  done
  # Kept up for the run, stopped by wine_teardown; one already up for this prefix
  # (exit code 2) serves as it is.
  wineserver -p 2>/dev/null || true
  # Start Wine's own services now, detached from our output: a service that
  # inherited a test's stdout would keep CTest waiting for that test to end.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # No window manager runs on Xvfb: Wine draws the window frames itself, and hiding a
  # window does not wait (a second each time) for a manager that never answers.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
}

wine_teardown() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
}

# Xvfb on the first free display; XVFB_PID is ours to stop.
xvfb_start() {
  local display=90
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$display"
  local waited=0
  until xdpyinfo >/dev/null 2>&1; do
    sleep 0.1
    waited=$((waited + 1))
    if [ $waited -gt 100 ] || ! kill -0 "$XVFB_PID" 2>/dev/null; then
      log "Xvfb did not start on $DISPLAY"
      return 1
    fi
  done
}

xvfb_stop() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}
