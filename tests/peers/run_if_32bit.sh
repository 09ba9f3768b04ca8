#!/usr/bin/env bash
# Runs the command (a 32-bit Windows program under Wine) where this machine runs
# 32-bit programs. Elsewhere it says why and exits 77, which CTest counts as skipped
# (SKIP_RETURN_CODE); a probe that fails for another reason is a failure.
source "$(dirname "$0")/../../scripts/lib/common.sh"
probe_32bit
case $? in
  1) echo "skipped: $NIMBREL_NO_32BIT"; exit 77 ;;
  2) exit 1 ;;
esac
exec "$@"
