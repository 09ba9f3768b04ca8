# scripts/test hook: a bounded fuzzing run of the XML parser (about a minute).
# shellcheck shell=bash
source "$NIMBREL_ROOT/scripts/lib/fuzz.sh"
if fuzz_run xml "${NIMBREL_FUZZ_SECONDS:-60}" >"$results/fuzz-xml.log" 2>&1; then
  extra+=("fuzz-xml=pass")
else
  extra+=("fuzz-xml=fail")
  tail -n 40 "$results/fuzz-xml.log" >&2
fi
