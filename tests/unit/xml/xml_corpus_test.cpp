// Replays the fuzz target's seed corpus and every past finding (corpus/crash-*)
// through the same exercise, with this tree's sanitizers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/unit/xml/xml_exercise.h"

namespace {

TEST(XmlCorpus, EveryInputParsesAndWalksCleanly) {
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(NIMBREL_XML_CORPUS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().filename().string());
        ExerciseXmlInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++inputs;
    }
    EXPECT_GE(inputs, 4);
}

}  // namespace
