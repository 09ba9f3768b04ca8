// libFuzzer entry point; built only in the fuzz tree (scripts/fuzz xml).
#include "tests/unit/xml/xml_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ExerciseXmlInput(data, size);
    return 0;
}
