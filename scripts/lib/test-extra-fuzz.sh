# scripts/test hook: a bounded fuzzing run of every target, NIMBREL_FUZZ_SECONDS (120)
# shared equally among them; the targets are built first, so that building takes none
# of that time.
# shellcheck shell=bash
source "$NIMBREL_ROOT/scripts/lib/fuzz.sh"
fuzz_seconds=$((${NIMBREL_FUZZ_SECONDS:-120} / ${#FUZZ_TARGETS[@]}))
fuzz_build "${FUZZ_TARGETS[@]}" >"$results/fuzz-build.log" 2>&1 || tail -n 40 "$results/fuzz-build.log" >&2
for target in "${FUZZ_TARGETS[@]}"; do
  if fuzz_run "$target" "$fuzz_seconds" >"$results/fuzz-$target.log" 2>&1; then
    extra+=("fuzz-$target=pass")
  else
    extra+=("fuzz-$target=fail")
    tail -n 40 "$results/fuzz-$target.log" >&2
  fi
done
