#!/usr/bin/env bash
# FTP part of `scripts/bench transfer`. A 200 MB file (NIMBREL_BENCH_FTP_MB) from a
# local pyftpdlib server is fetched by the FTP transfer dialog and by a bare WinInet
# loop with 1024-byte reads (both under Wine, timed inside the program from the
# request to the last byte, so Wine's start-up is not counted), and by curl, in the
# same run: 3 runs each, medians. Per run it prints the time, the program's CPU
# time and the Wine server's CPU time, and it ends with
#   ftp ratio-to-curl <dialog / curl>
#   ftp ratio-to-bare <dialog / bare loop>
# Before those two lines, one bare run per larger read size shows what the
# 1024-byte reads cost.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

size_mb=${NIMBREL_BENCH_FTP_MB:-200}
runs=3
ensure_run_packages curl
if [ ! -f "$NIMBREL_ROOT/build/win64/CMakeCache.txt" ]; then "$NIMBREL_ROOT/scripts/build" >/dev/null; fi
cmake --build "$NIMBREL_ROOT/build/win64" --target ftp_bench >/dev/null
driver="$NIMBREL_ROOT/build/win64/bench/transfer/ftp_bench.exe"

work=$(mktemp -d /tmp/nimbrel-bench-ftp-XXXXXX)
server_pid=
cleanup() {
  set +e  # every step runs, whatever the one before answered
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  wine_teardown
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/local"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/root/big.bin"
/usr/bin/python3 "$NIMBREL_ROOT/tests/peers/ftp/ftp_server.py" --root "$work/root" >"$work/port" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n1 "$work/port")
[ -n "$port" ] || { log "the FTP server did not start"; exit 1; }

xvfb_start
wine_setup || true  # a Wine server already up for this prefix is fine

# CPU seconds of our prefix's Wine server: each socket call of a Windows program
# is a request to it, so its time belongs to the transfer.
wineserver_cpu() {
  local name pid
  # Its working folder is named after the prefix's device and inode.
  name=server-$(printf '%x-%x' "$(stat -c '%d' "$WINEPREFIX")" "$(stat -c '%i' "$WINEPREFIX")")
  for pid in /proc/[0-9]*; do
    case "$(readlink "$pid/cwd" 2>/dev/null)" in
      */"$name")
        awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($14 + $15) / hz }' "$pid/stat"
        return
        ;;
    esac
  done
  echo 0
}

# Wine's WinInet keeps a copy of every FTP download in its URL cache, whatever
# the no-cache flags say: drop the benchmark file's copies after each run.
drop_cached_copies() {
  rm -f "$WINEPREFIX"/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache/Content.IE5/*/big\[*
}

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One run of the driver; prints its line and leaves the seconds in $seconds.
run_driver() {
  local label=$1 before after line
  shift
  before=$(wineserver_cpu)
  line=$("$WINE" "$driver" "$@" </dev/null 2>"$work/driver.err") || { cat "$work/driver.err" >&2; exit 1; }
  after=$(wineserver_cpu)
  drop_cached_copies
  seconds=$(field seconds <<<"$line")
  awk -v label="$label" -v s="$seconds" -v cpu="$(field cpu <<<"$line")" -v server="$(awk -v a="$after" -v b="$before" 'BEGIN { print a - b }')" \
    -v bytes="$(field bytes <<<"$line")" -v reads="$(field reads <<<"$line")" \
    'BEGIN { printf "ftp %s: %s s, cpu %s s, wineserver cpu %.2f s, %s bytes in %s reads\n", label, s, cpu, server, bytes, reads }'
}

local_file="Z:${work//\//\\}\\local\\big.bin"
dialog=() bare=() curl_times=()
for run in $(seq "$runs"); do
  run_driver "dialog run $run" dialog 127.0.0.1 "$port" /big.bin "$local_file"
  dialog+=("$seconds")
  rm -f "$work/local/big.bin"
  run_driver "bare run $run" bare 127.0.0.1 "$port" /big.bin 1024
  bare+=("$seconds")
  seconds=$(curl -s -o /dev/null -w '%{time_total}' "ftp://127.0.0.1:$port/big.bin")
  printf 'ftp curl run %s: %s s\n' "$run" "$seconds"
  curl_times+=("$seconds")
done
for chunk in 4096 16384 65536; do
  run_driver "bare chunk $chunk" bare 127.0.0.1 "$port" /big.bin "$chunk"
done

dialog_median=$(median "${dialog[@]}")
bare_median=$(median "${bare[@]}")
curl_median=$(median "${curl_times[@]}")
printf 'ftp median: dialog %s s, bare %s s, curl %s s (%s MB)\n' "$dialog_median" "$bare_median" "$curl_median" "$size_mb"
awk -v d="$dialog_median" -v c="$curl_median" 'BEGIN { printf "ftp ratio-to-curl %.2f\n", d / c }'
awk -v d="$dialog_median" -v b="$bare_median" 'BEGIN { printf "ftp ratio-to-bare %.3f\n", d / b }'
