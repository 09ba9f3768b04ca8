# scripts/test hook: the product as it ships. The import check of build/win32/nimbrel.exe
# against the floor systems' allow-list, its hardening, the import check's own test
# against programs that must fail it, and the release zip.
# shellcheck shell=bash
release_check() {
  local name=$1
  shift
  if "$@" >"$results/$name.log" 2>&1; then
    extra+=("$name=pass")
  else
    extra+=("$name=fail")
    tail -n 40 "$results/$name.log" >&2
  fi
}
release_check import-check python3 "$NIMBREL_ROOT/scripts/lib/check_imports.py" \
  "$NIMBREL_ROOT/build/win32/nimbrel.exe" "$NIMBREL_ROOT/scripts/lib/floor_imports.txt"
# The hardening of the released exe (ASLR, DEP, .reloc) and of its unstripped build (canaries).
release_check hardening-check python3 "$NIMBREL_ROOT/scripts/lib/check_hardening.py" \
  "$NIMBREL_ROOT/build/win64/release/unpacked/nimbrel.exe" "$NIMBREL_ROOT/build/win32/nimbrel.exe" i686-w64-mingw32-objdump
release_check import-check-self-test python3 "$NIMBREL_ROOT/scripts/lib/test_check_imports.py"
# The release zip: built twice (the second time in a tree of its own) to the same bytes,
# and signed through PKCS#12 and through a softhsm2 token.
release_check package-test python3 "$NIMBREL_ROOT/scripts/lib/test_package.py"
