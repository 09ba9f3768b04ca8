// libFuzzer's entry point for one target, NIMBREL_FUZZ_ENTRY, its exercise; built only
// in the fuzz tree (scripts/fuzz).
#include <cstddef>
#include <cstdint>

void NIMBREL_FUZZ_ENTRY(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NIMBREL_FUZZ_ENTRY(data, size);
    return 0;
}
