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
        int32_t from;
        char ch;
        bool found;
        int32_t pos;
        bool doubleByte;
    } cases[] = {
        {"ab<c", 0, '<', true, 2, false},
        {"ab<c", 2, '<', true, 2, false},
        {"abc", 0, '<', false, 3, false},
        {"abc", 3, '<', false, 3, false},
        // The '\' inside 0xA5 0x5C is a trail byte; the one after it is found.
        {"\xA5\x5C\\", 0, '\\', true, 0 + 2, true},
        {"\xA5\x5C\\", 0, '\\', true, 1, false},
        {"x\xB3", 0, '>', false, 2, true},
    };
    for (const auto& c : cases) {
        TextScanner scanner;
        scanner.SetLeadBytes(c.doubleByte ? Cp950() : NoLeadBytes());
        scanner.Bind(c.text, static_cast<int32_t>(std::strlen(c.text)));
        int32_t pos = c.from;
        EXPECT_EQ(scanner.FindChar(pos, c.ch), c.found) << c.text;
        EXPECT_EQ(pos, c.pos) << c.text;
    }
}

TEST(SkipBlanks, AnswersWhetherTextFollows) {
    TextScanner scanner;
    const char* text = " \t\r\nx  ";
    scanner.Bind(text, 7);
    int32_t pos = 0;
    EXPECT_TRUE(scanner.SkipBlanks(pos));
    EXPECT_EQ(pos, 4);
    pos = 5;
    EXPECT_FALSE(scanner.SkipBlanks(pos));
    EXPECT_EQ(pos, 7);
    pos = 7;
    EXPECT_FALSE(scanner.SkipBlanks(pos));
}

TEST(NameMatches, IgnoresASuffixAfterBlankEqualsSlashOrBracket) {
    struct {
        const char* token;
        const char* name;
        bool matches;
    } cases[] = {
        {"Site", "Site", true},
        {"Site", "Site[2]", true},
        {"Site", "Site/x", true},
        {"Site", "Site=1", true},
        {"Site", "Site more", true},
        {"site", "Site", false},   // case-sensitive
        {"Sites", "Site", false},  // longer token
        {"Sit", "Site", false},    // shorter token
        {"Site", "Sitex", false},
        {"Site", "Site.x", false},
        {"Site", "", false},
    };
    for (const auto& c : cases) {
        TokenCursor token;
        token.text = c.token;
        token.start = 0;
        token.end = static_cast<int32_t>(std::strlen(c.token)) - 1;
        EXPECT_EQ(NameMatches(token, c.name), c.matches) << c.token << " / " << c.name;
    }
}

}  // namespace
