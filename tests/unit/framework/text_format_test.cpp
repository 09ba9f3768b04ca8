#include "framework/text_format.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatText, ReplacesOnlyPercentOneAndTwo) {
    struct {
        const char* format;
        const char* first;
        const char* second;
        const char* expected;
    } cases[] = {
        {"%1% of %2 Completed", "42", "/fw/a.exe", "42% of /fw/a.exe Completed"},
        {"%1 min %2 sec", "3", "35", "3 min 35 sec"},
        {"%2 before %1", "a", "b", "b before a"},
        {"%1%1", "x", "", "xx"},
        // Other placeholders and a trailing '%' stay as they stand.
        {"%3 %d %% 100%", "a", "b", "%3 %d %% 100%"},
        // An argument holding a placeholder is not expanded again.
        {"%1 from %2", "%2", "host", "%2 from host"},
        {"", "a", "b", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatText(c.format, c.first, c.second), c.expected) << c.format;
    }
}

}  // namespace
