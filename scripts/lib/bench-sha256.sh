# scripts/bench sha256: our SHA-256 (bench/digest, -O2) against sha256sum on the same
# file of 200 MB (NIMBREL_BENCH_SHA256_MB) of random bytes, 5 runs each
# (NIMBREL_BENCH_RUNS), interleaved, after one unmeasured read that brings the file
# into the page cache. Each run is the wall time of the whole process; the digests
# must agree. Ends with "sha256 ratio-to-sha256sum <ours / sha256sum>" (medians).
# shellcheck shell=bash
bench_main() {
  bench_build sha256_bench
  local size_mb=${NIMBREL_BENCH_SHA256_MB:-200} runs=${NIMBREL_BENCH_RUNS:-5}
  local ours="$BENCH_TREE/bench/digest/sha256_bench"
  local work
  work=$(mktemp -d /tmp/nimbrel-bench-sha256-XXXXXX)
  # shellcheck disable=SC2064 # the folder is known now
  trap "rm -rf '$work'" EXIT
  local file="$work/file.bin"
  head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$file"
  sha256sum "$file" >/dev/null

  # Runs "$@" and prints its wall seconds; its digest goes to $work/digest.
  timed() {
    local start=$EPOCHREALTIME
    "$@" | cut -d' ' -f1 >"$work/digest"
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f\n", b - a }'
  }
  median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

  local run mine=() theirs=() seconds
  for run in $(seq "$runs"); do
    seconds=$(timed "$ours" "$file")
    mine+=("$seconds")
    local our_digest
    our_digest=$(cat "$work/digest")
    seconds=$(timed sha256sum "$file")
    theirs+=("$seconds")
    if [ "$our_digest" != "$(cat "$work/digest")" ]; then
      log "sha256: the digests differ: ours $our_digest, sha256sum $(cat "$work/digest")"
      return 1
    fi
    printf 'sha256 run %s: ours %s s, sha256sum %s s (%s MB)\n' "$run" "${mine[-1]}" "$seconds" "$size_mb"
  done
  local our_median their_median
  our_median=$(median "${mine[@]}")
  their_median=$(median "${theirs[@]}")
  printf 'sha256 median: ours %s s, sha256sum %s s\n' "$our_median" "$their_median"
  awk -v o="$our_median" -v t="$their_median" 'BEGIN { printf "sha256 ratio-to-sha256sum %.2f\n", o / t }'
}
