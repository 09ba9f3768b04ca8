// Parses one input and walks every element with the read operations, checking the
// index's invariants on the way; a broken invariant aborts. Shared by the fuzz
// target and by the unit test that replays the seed corpus and past findings.
#pragma once

#include <cstddef>
#include <cstdint>

// The input is the document text, cut at its first NUL as a C string would be; it
// is run once without lead bytes and once with those of a double-byte code page.
void ExerciseXmlInput(const uint8_t* data, size_t size);
