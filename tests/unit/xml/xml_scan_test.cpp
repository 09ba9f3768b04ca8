#include "xml/xml_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/unit/xml/xml_test_support.h"

namespace {

struct Scanned {
    std::string tokens;  // tokens joined by '|', quoted ones in quotes
    int32_t stop;        // the cursor's next after the last token
};

Scanned ScanAll(const char* text, const LeadByteTable& leadBytes) {
    TextScanner scanner;
    scanner.SetLeadBytes(leadBytes);
    scanner.Bind(text, static_cast<int32_t>(std::strlen(text)));
    TokenCursor cursor = scanner.Fresh(0);
    Scanned out{"", 0};
    while (scanner.NextToken(cursor)) {
        if (!out.tokens.empty()) {
            out.tokens += '|';
        }
        out.tokens += cursor.quoted ? '"' + TokenText(cursor) + '"' : TokenText(cursor);
    }
    out.stop = cursor.next;
    return out;
}

TEST(NextToken, SplitsNamesDelimitersAndQuotedValues) {
    struct {
        const char* text;
        const char* tokens;
    } cases[] = {
        {"<Firmware Version=\"1.02\"/>", "<|Firmware|Version|=|\"1.02\"|/|>"},
        {" \t\r\n a \t b ", "a|b"},
        // Each of the eleven delimiters is a token of its own; '[' and ']' are not delimiters.
        {"a<b>c=d\\e/f?g!h", "a|<|b|>|c|=|d|\\|e|/|f|?|g|!|h"},
        {"x[1]>", "x[1]|>"},
        // Either quote; the other one and delimiters inside a value are part of it.
        {"'a\"b>' \"c'd\"", "\"a\"b>\"|\"c'd\""},
        {"=\"\"", "=|\"\""},
        // An unclosed value runs to the end of the text.
        {"a=\"open", "a|=|\"open\""},
        {"", ""},
        {"   ", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScanAll(c.text, NoLeadBytes()).tokens, c.tokens) << c.text;
    }
}

TEST(NextToken, NeverStepsOverTheEndOfTheText) {
    // An unclosed value and a lead byte right before the NUL both stop on the NUL.
    EXPECT_EQ(ScanAll("a=\"x", NoLeadBytes()).stop, 4);
    EXPECT_EQ(ScanAll("a\xB3", Cp950()).stop, 2);
    EXPECT_EQ(ScanAll("\"\xB3", Cp950()).stop, 2);
    EXPECT_EQ(ScanAll("a\xB3", Cp950()).tokens, "a\xB3");
}

TEST(NextToken, TrailBytesAreNeverDelimiters) {
    struct {
        const char* text;
        const char* single;  // without lead bytes
        const char* cp950;
    } cases[] = {
        // 0xB3 0x5C is one character in code page 950; alone, 0x5C is '\'.
        {"\xB3\x5C\xA5\x5C=x", "\xB3|\\|\xA5|\\|=|x", "\xB3\x5C\xA5\x5C|=|x"},
        {"a\xA1\x5C/b", "a\xA1|\\|/|b", "a\xA1\x5C|/|b"},
        // A value's closing quote is found character by character too.
        {"'\xB3\x5C'", "\"\xB3\x5C\"", "\"\xB3\x5C\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScanAll(c.text, NoLeadBytes()).tokens, c.single) << c.text;
        EXPECT_EQ(ScanAll(c.text, Cp950()).tokens, c.cp950) << c.text;
    }
}

TEST(FindChar, StopsOnTheCharacterOrTheNul) {
    struct {
        const char* text;
        char ch;
        bool found;
        int32_t pos;
        bool doubleByte;
    } cases[] = {
        {"\r\n  <", '<', true, 4, false},
        {"abc", '<', false, 3, false},
        {"0123456789abcdef>", '>', true, 16, false},  // past the first few bytes
        // The '\' inside 0xA5 0x5C is a trail byte; the one after it is found.
        {"\xA5\x5C\\", '\\', true, 2, true},
        {"\xA5\x5C\\", '\\', true, 1, false},
        {"x\xB3", '>', false, 2, true},
        // Runs of single-byte characters are passed over a word at a time.
        {"0123456789abcdefgh<", '<', true, 18, true},
        {"0123456789\xA1\x5C\\", '\\', true, 12, true},
        {"01234567\xA1\x5C" "89abcdefgh", '\\', false, 20, true},
    };
    for (const auto& c : cases) {
        TextScanner scanner;
        scanner.SetLeadBytes(c.doubleByte ? Cp950() : NoLeadBytes());
        scanner.Bind(c.text, static_cast<int32_t>(std::strlen(c.text)));
        int32_t pos = 0;
        EXPECT_EQ(scanner.FindChar(pos, c.ch), c.found) << c.text;
        EXPECT_EQ(pos, c.pos) << c.text;
    }
}

}  // namespace
