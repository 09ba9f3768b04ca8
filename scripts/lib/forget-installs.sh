#!/usr/bin/env bash
# Makes this machine fresh again for the README's two commands: removes what they
# install to run the Windows programs (Wine, its fonts, the display, the FTP and web
# servers, the demo's tools), and the packages that only those brought in:
#   scripts/lib/forget-installs.sh [--build]
# --build also removes the tool chains and libraries of scripts/build. Only installed
# packages are named to apt-get, which refuses names of an architecture the machine
# does not know (wine32:i386 where i386 was never added); the i386 architecture goes
# too once no package of it is left. The 32-bit C library that wine32 brought in stays
# (Debian protects libgcc-s1 and what it needs), and so the architecture stays. Packages
# that other software may need (python3, iproute2, x11-utils, python3-cryptography,
# openssl) stay.
set -uo pipefail
source "$(dirname "$0")/common.sh"

names=(wine wine64 wine32:i386 libwine libwine:i386 fonts-wine fonts-liberation xvfb python3-pyftpdlib vsftpd
  softhsm2 nginx imagemagick xdotool)
if [ "${1:-}" = --build ]; then
  names+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 gcc-mingw-w64-i686 gcc-mingw-w64-x86-64 mingw-w64-common
    minisign libsodium-dev libengine-pkcs11-openssl libcurl4-openssl-dev libbenchmark-dev libpugixml-dev librapidxml-dev libtinyxml2-dev
    libexpat1-dev)
elif [ $# -gt 0 ]; then
  log "usage: scripts/lib/forget-installs.sh [--build]"
  exit 2
fi

installed=()
for name in "${names[@]}"; do
  dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' && installed+=("$name")
done
# What apt-get would already remove as no longer needed stays: it is not ours.
unneeded() { apt-get -s autoremove 2>/dev/null | sed -n 's/^Remv \([^ ]*\) .*/\1/p' | sort; }
before=$(unneeded)
if [ ${#installed[@]} -gt 0 ]; then
  log "removing: ${installed[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -q "${installed[@]}" >/dev/null || exit 1
fi
mapfile -t brought < <(comm -13 <(printf '%s\n' "$before") <(unneeded))
if [ ${#brought[@]} -gt 0 ]; then
  log "removing ${#brought[@]} packages that only those brought in"
  DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -q "${brought[@]}" >/dev/null || exit 1
fi
if dpkg --print-foreign-architectures | grep -qx i386 && [ -z "$(dpkg-query -W -f='${Architecture}\n' | grep -x i386)" ]; then
  dpkg --remove-architecture i386 && log "removed the i386 architecture"
fi
for path in /usr/lib/wine/wine64 /usr/bin/wine; do
  [ -e "$path" ] && { log "still there: $path"; exit 1; }
done
log "forgotten: Wine and the run packages are gone"
