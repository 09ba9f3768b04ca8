// Character-level scanning of a NUL-terminated ANSI text, shared by the document's
// read operations and its parse. Offsets are signed 32-bit byte offsets.
// A lead byte of the code page and the byte after it count as one character, so a
// trail byte is never taken for a delimiter; a lead byte right before the
// terminating NUL counts alone, so no scan ever steps over the NUL.
// Standard C++ only: the platform's lead-byte test comes in as a table.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Entry b is true when byte b is a lead byte of the ANSI code page.
using LeadByteTable = std::array<bool, 256>;

// A table without lead bytes (single-byte code pages).
inline LeadByteTable NoLeadBytes() { return LeadByteTable{}; }

// Builds a table from a predicate over one byte, for example
//   MakeLeadByteTable([](unsigned char b) { return IsDBCSLeadByte(b) != FALSE; })
template <typename IsLeadByte>
LeadByteTable MakeLeadByteTable(IsLeadByte isLeadByte) {
    LeadByteTable table{};
    for (int b = 0; b < 256; ++b) {
        table[b] = static_cast<bool>(isLeadByte(static_cast<unsigned char>(b)));
    }
    return table;
}

// The scanning state of one token. A fresh cursor has start 0, end -1 and next
// on the scan position; end is inclusive, end < start means an empty token.
struct TokenCursor {
    int32_t start = 0;
    int32_t end = -1;
    int32_t next = 0;
    const char* text = nullptr;
    bool quoted = false;  // the token was a quoted value; start/end exclude the quotes
};

// Name match: the token's bytes equal the first bytes of name, and the name ends
// there or goes on with one of " =/[" (a suffix such as "[2]" is ignored).
bool NameMatches(const TokenCursor& token, std::string_view name);

// The token's bytes, "" for an empty token.
std::string TokenText(const TokenCursor& token);

class TextScanner {
public:
    TextScanner();

    void SetLeadBytes(const LeadByteTable& leadBytes);
    bool HasLeadBytes() const { return hasLeadBytes_; }

    // text[length] must be the terminating NUL and no NUL may stand before it.
    void Bind(const char* text, int32_t length);
    const char* Text() const { return text_; }
    int32_t Length() const { return length_; }

    TokenCursor Fresh(int32_t next) const {
        TokenCursor cursor;
        cursor.next = next;
        cursor.text = text_;
        return cursor;
    }

    bool IsLeadByte(char byte) const { return (classes_[static_cast<unsigned char>(byte)] & kLead) != 0; }

    // The offset of the character after the one at pos.
    int32_t Step(int32_t pos) const {
        return IsLeadByte(text_[pos]) && text_[pos + 1] != '\0' ? pos + 2 : pos + 1;
    }

    // False at a NUL; otherwise skips " \t\n\r" and answers whether pos is not on the NUL.
    bool SkipBlanks(int32_t& pos) const;
    // Moves pos to the first character ch at or after pos, or onto the NUL.
    bool FindChar(int32_t& pos, char ch) const;
    // Moves pos to the first character at or after pos where marker stands, or onto the NUL.
    bool FindText(int32_t& pos, std::string_view marker) const;
    // Reads the next token: a quoted value, a name, or one delimiter of " \t\n\r<>=\/?!".
    bool NextToken(TokenCursor& cursor) const;

private:
    enum : uint8_t { kBlank = 1, kStop = 2, kLead = 4 };

    bool FindCharByCharacter(int32_t& pos, char ch) const;

    const char* text_;
    int32_t length_ = 0;
    bool hasLeadBytes_ = false;
    bool leadBytesBelow80_ = false;  // no code page has them, but a table might
    std::array<uint8_t, 256> classes_{};
};

// The scans are inline: the parse runs them once or twice per element.

inline bool TextScanner::SkipBlanks(int32_t& pos) const {
    if (text_[pos] == '\0') {
        return false;
    }
    while (classes_[static_cast<unsigned char>(text_[pos])] & kBlank) {
        ++pos;
    }
    return text_[pos] != '\0';
}

inline bool TextScanner::FindChar(int32_t& pos, char ch) const {
    if (!hasLeadBytes_) {
        // Every byte is a character, and the text has no NUL before its end. The
        // gap between tags is often a line break and an indent: look at a few
        // bytes here before calling memchr.
        const int32_t shortEnd = pos + 8 < length_ ? pos + 8 : length_;
        for (int32_t i = pos; i < shortEnd; ++i) {
            if (text_[i] == ch) {
                pos = i;
                return true;
            }
        }
        const void* hit = std::memchr(text_ + shortEnd, ch, static_cast<size_t>(length_ - shortEnd));
        pos = hit ? static_cast<int32_t>(static_cast<const char*>(hit) - text_) : length_;
        return hit != nullptr;
    }
    return FindCharByCharacter(pos, ch);
}

inline bool TextScanner::NextToken(TokenCursor& cursor) const {
    cursor.quoted = false;
    int32_t p = cursor.next;
    if (!SkipBlanks(p)) {
        cursor.start = cursor.end = cursor.next = p;
        return false;
    }
    const char first = text_[p];
    if (first == '"' || first == '\'') {
        cursor.quoted = true;
        cursor.start = p + 1;
        int32_t q = cursor.start;
        const bool closed = FindChar(q, first);
        cursor.end = q - 1;
        cursor.next = closed ? q + 1 : q;  // an unclosed value runs to the end of the text
        return true;
    }
    cursor.start = p;
    int32_t q = p;
    if (!hasLeadBytes_) {
        while (!(classes_[static_cast<unsigned char>(text_[q])] & kStop)) {
            ++q;
        }
    } else {
        while (!(classes_[static_cast<unsigned char>(text_[q])] & kStop)) {
            q = Step(q);
        }
    }
    if (q == p) {
        cursor.end = p;
        cursor.next = p + 1;
    } else {
        cursor.end = q - 1;
        cursor.next = q;
    }
    return true;
}
