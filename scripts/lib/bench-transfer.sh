# scripts/bench transfer: every transfer benchmark part (bench-transfer-*.sh: HTTP,
# FTP), each a script of its own that prints its ratios.
bench_main() {
  local status=0 part
  for part in "$NIMBREL_ROOT"/scripts/lib/bench-transfer-*.sh; do
    [ -f "$part" ] || continue
    bash "$part" "$@" || status=1
  done
  return $status
}
