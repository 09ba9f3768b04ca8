# Shared by the scripts: where things are, what to install, Wine and Xvfb.
# shellcheck shell=bash

NIMBREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export NIMBREL_ROOT

# Debian packages each kind of work needs. Installing is idempotent. The Liberation
# fonts have Arial's metrics, which the dialogs are laid out for.
# minisign and libsodium-dev: the signature tests' peers (signing lists, checking Ed25519).
# osslsigncode, openssl, the PKCS#11 engine and the public roots (time stamp authorities):
# scripts/package's Authenticode signing. libcurl4-openssl-dev: nimbrel-list asks live
# servers with it.
BUILD_PACKAGES=(cmake make g++ file g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest libgtest-dev python3 minisign
  libsodium-dev osslsigncode openssl libengine-pkcs11-openssl ca-certificates libcurl4-openssl-dev)
# Wine is wine64 alone: scripts/lib/wine-run starts its 64-bit loader, and Debian's
# "wine" (the command on the PATH) is left out. wine32:i386, which runs the 32-bit
# product, joins only where the kernel runs 32-bit programs (ensure_run_packages):
# elsewhere it cannot run, and once installed it breaks Debian's "wine" for everyone.
# iproute2 brings up the loopback of a test's own network namespace; softhsm2 holds
# the release tests' signing key as a token would; nginx serves what nimbrel-list
# publish writes, as a maker's server (its tests start their own, on ports of their own).
RUN_PACKAGES=(wine64 fonts-wine fonts-liberation xvfb python3 x11-utils python3-pyftpdlib vsftpd
  python3-cryptography iproute2 softhsm2 nginx)
# libFuzzer for clang 14 comes with libclang-rt-14-dev.
FUZZ_PACKAGES=(cmake make clang-14 libclang-rt-14-dev libgtest-dev)
BENCH_PACKAGES=(cmake make g++ libbenchmark-dev libpugixml-dev librapidxml-dev libtinyxml2-dev libexpat1-dev
  libsodium-dev g++-mingw-w64-i686)

log() { printf '%s\n' "$*" >&2; }

# Every Windows program starts through our launcher, which picks Wine's 64-bit loader
# when it runs ("$WINE" --server for the Wine server); nothing calls a "wine" or
# "wineserver" from the PATH.
WINE="$NIMBREL_ROOT/scripts/lib/wine-run"
export WINE

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
    # The nested trees of build/win64 (ExternalProject), with the stamps that say they were configured.
    rm -rf "$dir"/program* "$dir"/signed "$dir"/app/*-prefix
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
  # Packages of another architecture need it added, and its own package lists.
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386 || return 1
    unset NIMBREL_APT_UPDATED
  fi
  if [ -z "${NIMBREL_APT_UPDATED:-}" ]; then
    apt-get update -q >/dev/null || return 1
    export NIMBREL_APT_UPDATED=1
  fi
  # A package's daemon is not started by our install (vsftpd would take port 21 on
  # every interface, nginx port 80): a policy-rc.d of our own while apt-get runs,
  # unless the machine has one. The tests and the demo never rely on that: what needs
  # a fixed port runs in a network namespace of its own.
  local policy=/usr/sbin/policy-rc.d ours=
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod +x "$policy" && ours=1
  fi
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
  local status=$?
  [ -n "$ours" ] && rm -f "$policy"
  return $status
}

# What running the Windows programs needs, in the order the 32-bit probe needs it:
# the build packages (its assembler and linker), the probe, then the run packages
# with wine32:i386 where 32-bit programs run, and any further packages named.
ensure_run_packages() {
  ensure_packages "${BUILD_PACKAGES[@]}" || return 1
  probe_32bit
  local probe=$? wine32=()
  [ $probe -eq 2 ] && return 1
  [ $probe -eq 0 ] && wine32=(wine32:i386)
  ensure_packages "${RUN_PACKAGES[@]}" "${wine32[@]}" "$@"
}

# Whether this machine runs 32-bit x86 programs: a tiny static 32-bit program,
# assembled and linked here (binutils come with the compilers), must run and print.
# Answers 0 when it does; 1 when the kernel refuses 32-bit programs, with the reason
# in NIMBREL_NO_32BIT; 2 when the probe itself could not be made or misbehaved.
probe_32bit() {
  if [ -n "${NIMBREL_PROBED_32BIT:-}" ]; then return "$NIMBREL_PROBED_32BIT"; fi
  local work status=0 output
  work=$(mktemp -d)
  printf '%s\n' '.globl _start' '_start: movl $4, %eax' 'movl $1, %ebx' 'movl $text, %ecx' 'movl $3, %edx' \
    'int $0x80' 'movl $1, %eax' 'xorl %ebx, %ebx' 'int $0x80' '.data' 'text: .ascii "32\n"' >"$work/probe.s"
  if ! as --32 -o "$work/probe.o" "$work/probe.s" || ! ld -m elf_i386 -static -o "$work/probe" "$work/probe.o"; then
    log "the 32-bit probe could not be built (as --32, ld -m elf_i386)"
    status=2
  elif ! output=$("$work/probe" 2>"$work/error"); then
    if grep -q 'Exec format error' "$work/error"; then
      NIMBREL_NO_32BIT="this machine's Linux kernel does not run 32-bit programs (its IA-32 emulation is off), so the 32-bit nimbrel.exe cannot run under Wine here"
      export NIMBREL_NO_32BIT
      status=1
    else
      log "the 32-bit probe failed: $(cat "$work/error")"
      status=2
    fi
  elif [ "$output" != 32 ]; then
    log "the 32-bit probe printed '$output', not '32'"
    status=2
  fi
  rm -rf "$work"
  export NIMBREL_PROBED_32BIT=$status
  return $status
}

# Wine: a prefix of our own inside the build tree (start Xvfb first when windows will
# be shown), quiet, and never a dialog that would wait for a person (crash reports,
# Mono/Gecko installers). $1: the prefix, build/win64/wineprefix by default.
# A prefix made where 32-bit programs could not run (wine32 missing, or a kernel
# without 32-bit support) has no 32-bit Windows in it: it is made again once they can.
wine_setup() {
  export WINEPREFIX="${1:-$NIMBREL_ROOT/build/win64/wineprefix}"
  export WINEDEBUG=${WINEDEBUG:--all}  # quiet unless asked otherwise
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  export WINEARCH=win64
  local wow64=no
  if [ -x /usr/lib/wine/wine ] && probe_32bit; then wow64=yes; fi
  if [ -f "$WINEPREFIX/system.reg" ] && [ $wow64 = yes ] && [ "$(cat "$WINEPREFIX/.nimbrel-32bit" 2>/dev/null)" != yes ]; then
    log "making the Wine prefix $WINEPREFIX again, now with 32-bit Windows in it"
    "$WINE" --server -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    DISPLAY= "$WINE" wineboot --init >/dev/null 2>&1 || true
    DISPLAY= "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    "$WINE" --server -w
    echo $wow64 >"$WINEPREFIX/.nimbrel-32bit"
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
  "$WINE" --server -p 2>/dev/null || true
  # Start Wine's own services now, detached from our output: a service that
  # inherited a test's stdout would keep CTest waiting for that test to end.
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
  # No window manager runs on Xvfb: Wine draws the window frames itself, and hiding a
  # window does not wait (a second each time) for a manager that never answers.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  # The prefix outlives a run: an update remembered then would be reported on at the
  # program's next start, as if the computer had restarted since.
  "$WINE" reg delete 'HKCU\Software\Nimbrel\Updates' /f </dev/null >/dev/null 2>&1 || true
}

# Run at the top of a script with "$0" "$@": runs the script again in a network and
# mount namespace of its own, where the loopback is all the network there is (its
# ports, 21 and 80 among them, are free whatever the machine runs) and Wine's server
# folder is a tmpfs of its own (a Wine server outside would see the outside network).
# Inside, it brings the loopback up and answers 0. Needs root.
enter_own_namespace() {
  if [ -z "${NIMBREL_IN_NAMESPACE:-}" ]; then
    export NIMBREL_IN_NAMESPACE=1
    exec unshare --mount --net --propagation private -- "$@"
  fi
  ip link set lo up || { log "the loopback of the namespace did not come up"; return 1; }
  local server_folder
  server_folder="/tmp/.wine-$(id -u)"
  mkdir -p "$server_folder"
  mount -t tmpfs -o mode=0700 tmpfs "$server_folder" || { log "no Wine server folder of our own"; return 1; }
}

wine_teardown() {
  [ -n "${WINEPREFIX:-}" ] && "$WINE" --server -k 2>/dev/null || true
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
