# Fuzz targets: built with clang and libFuzzer in build/fuzz, run from a seed corpus.
# shellcheck shell=bash

FUZZ_TREE="$NIMBREL_ROOT/build/fuzz"

# Every target: tests/unit/<target>/ holds its exercise (nimbrel_fuzz_target), its
# seeds (corpus/) and maybe a dictionary (<target>.dict). A new target is one more
# name here and one nimbrel_fuzz_target line in its folder's CMakeLists.txt.
FUZZ_TARGETS=(xml signature list site version)

# fuzz_build TARGET...: configures the fuzz tree once and builds each TARGET_fuzz.
fuzz_build() {
  ensure_packages "${FUZZ_PACKAGES[@]}" || return 1
  # Configured each time (a second or so), so that a target added since is known.
  cmake -S "$NIMBREL_ROOT" -B "$FUZZ_TREE" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DNIMBREL_SANITIZE=OFF -DNIMBREL_FUZZ=ON >/dev/null || return 1
  cmake --build "$FUZZ_TREE" --target "${@/%/_fuzz}" --parallel "$(nproc)" >/dev/null
}

# fuzz_run TARGET SECONDS: fuzzes for SECONDS from the committed seeds plus what
# earlier runs found (build/fuzz/corpus-TARGET). Fails on a finding, which is kept
# in build/fuzz/findings-TARGET/ to become a regression test.
fuzz_run() {
  local target=$1 seconds=$2
  local seeds="$NIMBREL_ROOT/tests/unit/$target/corpus"
  local work="$FUZZ_TREE/corpus-$target" findings="$FUZZ_TREE/findings-$target"
  local binary
  fuzz_build "$target" || { log "fuzz: could not build ${target}_fuzz"; return 1; }
  binary=$(find "$FUZZ_TREE" -type f -name "${target}_fuzz" -perm -u+x | head -n 1)
  mkdir -p "$work" "$findings"
  local dict=()
  [ -f "$NIMBREL_ROOT/tests/unit/$target/$target.dict" ] && dict=(-dict="$NIMBREL_ROOT/tests/unit/$target/$target.dict")
  "$binary" "${dict[@]}" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$seeds"
}
