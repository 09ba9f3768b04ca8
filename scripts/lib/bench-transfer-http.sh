#!/usr/bin/env bash
# The HTTP part of `scripts/bench transfer`: one file (200 MB unless
# NIMBREL_BENCH_HTTP_BYTES says otherwise) from the local HTTP peer, fetched in
# turn by curl, by a bare WinInet loop of 1024-byte reads and by the real download
# dialog, NIMBREL_BENCH_RUNS times each (3 by default), interleaved so that a busy
# moment of the machine does not fall on one side only.
#
# The Windows driver (build/win64/bench/transfer/http_transfer_bench.exe) measures
# inside the program, from the start of the transfer to its last byte, so Wine's
# start-up is not counted; curl's figure is its own time_total. It also counts the
# progress display's writes of each dialog run, which must stay within one per
# second (rate, time-left lines) plus one per percent (caption, bar).
#
# Ends with "http ratio-to-curl R" and "http ratio-to-bare R" (medians, ours over
# theirs). Runs as a program, or sourced: its work happens in a subshell.

bench_transfer_http() (
  set -euo pipefail
  source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

  local bytes=${NIMBREL_BENCH_HTTP_BYTES:-209715200}
  local runs=${NIMBREL_BENCH_RUNS:-3}
  local driver="$NIMBREL_ROOT/build/win64/bench/transfer/http_transfer_bench.exe"
  local work="$NIMBREL_ROOT/build/bench-http"

  ensure_run_packages curl
  if [ -f "$NIMBREL_ROOT/build/win64/CMakeCache.txt" ]; then
    cmake --build "$NIMBREL_ROOT/build/win64" --target http_transfer_bench >/dev/null
  else
    "$NIMBREL_ROOT/scripts/build" >/dev/null
  fi

  rm -rf "$work"
  mkdir -p "$work"
  local server_pid=
  cleanup() {
    if [ -n "$server_pid" ]; then
      kill "$server_pid" 2>/dev/null || true
      wait "$server_pid" 2>/dev/null || true
    fi
    wine_teardown
    xvfb_stop
    rm -rf "$work"
  }
  trap cleanup EXIT

  /usr/bin/python3 "$NIMBREL_ROOT/tests/peers/http/http_server.py" --port-file "$work/port" >/dev/null 2>&1 &
  server_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
  [ -s "$work/port" ] || { log "the HTTP peer did not start"; return 1; }
  local url="http://127.0.0.1:$(cat "$work/port")/gen?size=$bytes"

  xvfb_start
  wine_setup
  local local_file
  local_file="Z:$(printf '%s' "$work/download.bin" | tr / '\\')"

  echo "http: $bytes bytes from $url, $runs runs each"
  local results="$work/results"
  : >"$results"
  local i line
  for i in $(seq 1 "$runs"); do
    # curl: wall time as curl measures it, CPU time of the curl process.
    line=$( { TIMEFORMAT='%U %S'; time curl -s -o /dev/null -w 'curl %{time_total} %{size_download}\n' "$url"; } 2>&1 )
    echo "$line" | awk -v run="$i" 'NR == 1 { wall = $2; size = $3 } NR == 2 { cpu = $1 + $2 }
      END { printf "run mode=curl seconds=%.3f cpu=%.3f bytes=%d ok=%d\n", wall, cpu, size, (size > 0) }' >>"$results"
    "$WINE" "$driver" bare "$url" 1 "$local_file" </dev/null >>"$results" 2>/dev/null || true
    "$WINE" "$driver" dialog "$url" 1 "$local_file" </dev/null >>"$results" 2>/dev/null || true
  done

  python3 - "$results" "$bytes" <<'EOF'
import statistics
import sys

path, expected = sys.argv[1], int(sys.argv[2])
runs = {"curl": [], "bare": [], "dialog": []}
failed = False
for line in open(path):
    fields = dict(item.split("=", 1) for item in line.split()[1:])
    mode = fields["mode"]
    runs[mode].append(fields)
    seconds = float(fields["seconds"])
    text = "http %-6s run %d: %7.3f s wall, %7.3f s cpu, %d bytes" % (
        mode, len(runs[mode]), seconds, float(fields["cpu"]), int(fields["bytes"]))
    if fields["ok"] != "1" or int(fields["bytes"]) != expected:
        text += "  FAILED"
        failed = True
    if mode == "dialog":
        # One write per percent for the caption and the bar, at most one a second
        # (plus the first) for the rate and time-left lines.
        per_second = int(seconds) + 1
        counts = {name: int(fields[name]) for name in ("caption", "bar", "rate", "timeleft")}
        within = counts["caption"] <= 100 and counts["bar"] <= 100 and \
            counts["rate"] <= per_second and counts["timeleft"] <= per_second
        text += " (%.3f s with the window)" % float(fields["modal"])
        text += "; display writes: caption %(caption)d, bar %(bar)d, rate %(rate)d, time left %(timeleft)d" % counts
        text += " (limit 100, 100, %d, %d) %s" % (per_second, per_second, "ok" if within else "TOO MANY")
        failed = failed or not within
    print(text)

def median(mode, key="seconds"):
    values = [float(run[key]) for run in runs[mode]]
    return statistics.median(values) if values else float("nan")

for mode in ("curl", "bare", "dialog"):
    print("http %-6s median: %.3f s wall, %.3f s cpu" % (mode, median(mode), median(mode, "cpu")))
print("http cpu-ratio-to-bare %.2f" % (median("dialog", "cpu") / median("bare", "cpu")))
print("http ratio-to-curl %.2f" % (median("dialog") / median("curl")))
print("http ratio-to-bare %.2f" % (median("dialog") / median("bare")))
sys.exit(1 if failed else 0)
EOF
)

bench_transfer_http "$@"
