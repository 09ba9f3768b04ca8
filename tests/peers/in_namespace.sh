#!/usr/bin/env bash
# Runs a command (a test with its peers) in a network and mount namespace of its own,
# with a Wine session of its own inside it:
#
#   in_namespace.sh --prefix DIR [--host NAME]... [--disk VAR=SIZE]... [--report NAME]
#                   -- COMMAND [ARGUMENT]...
#
# Inside, the loopback is up and is all the network there is, so its ports (80, 21)
# are free for the peers. A hosts file of the namespace's own names each --host as
# 127.0.0.1: a program built to ask a real server asks a local peer instead. Each
# --disk mounts a tmpfs of SIZE (as mount's size=) at a new folder whose path goes
# into the environment variable VAR: a small disk that a test can fill.
#
# Wine runs in the prefix DIR, made on first use, its wineserver started and stopped
# in here: the wineserver opens every socket and file for the Wine programs, so one
# outside the namespace would see the outside network and disks. Wine's server folder
# is a tmpfs of the namespace's own, so no server outside can be reached by mistake.
# --report NAME names the GoogleTest report (GTEST_OUTPUT given as a folder) after
# the CTest entry, for entries that run the same test program.
#
# When the machine runs no 32-bit programs, NIMBREL_NO_32BIT says why (the test skips
# its 32-bit rows). Nothing outside the namespace changes; its mounts and network end
# with it. The exit code is COMMAND's.
set -uo pipefail

source "$(dirname "$0")/../../scripts/lib/common.sh"
enter_own_namespace "$0" "$@" || exit 2

prefix='' hosts=() disks=() report=''
while [ $# -gt 0 ]; do
  case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --host) hosts+=("$2"); shift 2 ;;
    --disk) disks+=("$2"); shift 2 ;;
    --report) report=$2; shift 2 ;;
    --) shift; break ;;
    *) log "in_namespace.sh: unknown option $1"; exit 2 ;;
  esac
done
[ -n "$prefix" ] && [ $# -gt 0 ] || { log "usage: in_namespace.sh --prefix DIR [options] -- COMMAND..."; exit 2; }

fail() {
  log "in_namespace.sh: $*"
  exit 2
}

work=$(mktemp -d /tmp/nimbrel-namespace-XXXXXX)
trap 'rm -rf "$work"' EXIT
printf '127.0.0.1\tlocalhost %s\n::1\tlocalhost\n' "${hosts[*]}" >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts || fail "no hosts file of our own"
for disk in "${disks[@]}"; do
  name=${disk%%=*} size=${disk#*=}
  mkdir -p "$work/$name"
  mount -t tmpfs -o "size=$size" tmpfs "$work/$name" || fail "no disk of $size"
  export "$name=$work/$name"
done
if [ -n "$report" ] && [[ ${GTEST_OUTPUT:-} == xml:*[/\\] ]]; then
  export GTEST_OUTPUT="$GTEST_OUTPUT$report.xml"
fi

probe_32bit
[ $? -eq 2 ] && fail "the 32-bit probe failed"

# One session at a time in the prefix, should entries run side by side. Wine's own
# services outlive a command for a while: they must not inherit the lock.
exec 8>"$prefix.lock"
flock 8
wine_setup "$prefix" >&2 8>&-
"$@" 8>&-
status=$?
wine_teardown 8>&-
for disk in "${disks[@]}"; do umount "$work/${disk%%=*}" 2>/dev/null; done
exit $status
