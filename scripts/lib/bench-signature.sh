# scripts/bench signature: one Ed25519 verification of ours (bench/signature, -O2)
# against libsodium's crypto_sign_verify_detached on the same key, message and
# signature, in one process, medians of alternating runs; ends with
# "ed25519-verify ratio-to-libsodium <ours / libsodium>". Then the same verification
# built as the product is built (i686 MinGW, -O2, static, so 32-bit limbs) and timed
# under Wine, where this machine runs 32-bit programs; elsewhere one line says why not.
# Arguments: verifications a run and runs (default 2000 and 9).
# shellcheck shell=bash
bench_main() {
  bench_build ed25519_bench
  "$BENCH_TREE/bench/signature/ed25519_bench" "$@"

  local exe="$BENCH_TREE/bench/signature/ed25519_bench_i686.exe"
  i686-w64-mingw32-g++-win32 -std=c++17 -O2 -static -I"$NIMBREL_ROOT" -o "$exe" \
    "$NIMBREL_ROOT/bench/signature/ed25519_bench.cpp" "$NIMBREL_ROOT/digest/ed25519.cpp" \
    "$NIMBREL_ROOT/digest/sha2.cpp"
  local status=0
  probe_32bit || status=$?
  if [ $status -eq 1 ]; then
    echo "ed25519-verify i686: not run: ${NIMBREL_NO_32BIT}"
    return 0
  elif [ $status -ne 0 ]; then
    return 1
  fi
  ensure_run_packages
  trap wine_teardown EXIT
  wine_setup "$BENCH_TREE/wineprefix" >/dev/null 2>&1
  "$WINE" "$exe" "$@" | tr -d '\r'
}
