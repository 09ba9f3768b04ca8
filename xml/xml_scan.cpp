#include "xml/xml_scan.h"

#include <cstring>

bool NameMatches(const TokenCursor& token, std::string_view name) {
    const int32_t length = token.end - token.start + 1;
    if (length < 0 || static_cast<size_t>(length) > name.size()) {
        return false;
    }
    if (std::memcmp(token.text + token.start, name.data(), static_cast<size_t>(length)) != 0) {
        return false;
    }
    if (static_cast<size_t>(length) == name.size()) {
        return true;
    }
    const char after = name[static_cast<size_t>(length)];
    return after == '\0' || after == ' ' || after == '=' || after == '/' || after == '[';
}

std::string TokenText(const TokenCursor& token) {
    if (token.end < token.start) {
        return {};
    }
    return std::string(token.text + token.start, static_cast<size_t>(token.end - token.start + 1));
}

namespace {

std::array<uint8_t, 256> BaseClasses(uint8_t blank, uint8_t stop) {
    std::array<uint8_t, 256> classes{};
    for (unsigned char c : std::string_view(" \t\n\r")) {
        classes[c] |= blank;
    }
    for (unsigned char c : std::string_view(" \t\n\r<>=\\/?!")) {
        classes[c] |= stop;
    }
    classes[0] |= stop;
    return classes;
}

// Whether any entry but the NUL's is set, a word at a time.
bool AnyLeadByte(const LeadByteTable& leadBytes) {
    static_assert(sizeof(bool) == 1, "a table of 256 bytes");
    unsigned char bytes[256];
    std::memcpy(bytes, leadBytes.data(), sizeof bytes);
    bytes[0] = 0;
    uint64_t any = 0;
    for (size_t i = 0; i < sizeof bytes; i += sizeof any) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        any |= word;
    }
    return any != 0;
}

}  // namespace

TextScanner::TextScanner() : text_("") {
    static const std::array<uint8_t, 256> base = BaseClasses(kBlank, kStop);
    classes_ = base;
}

void TextScanner::SetLeadBytes(const LeadByteTable& leadBytes) {
    const bool had = hasLeadBytes_;
    hasLeadBytes_ = AnyLeadByte(leadBytes);
    leadBytesBelow80_ = false;
    if (!had && !hasLeadBytes_) {
        return;  // the common case: no lead bytes before or after
    }
    for (int b = 1; b < 256; ++b) {
        classes_[b] = static_cast<uint8_t>(leadBytes[b] ? classes_[b] | kLead : classes_[b] & ~kLead);
        leadBytesBelow80_ = leadBytesBelow80_ || (b < 0x80 && leadBytes[b]);
    }
}

void TextScanner::Bind(const char* text, int32_t length) {
    text_ = text;
    length_ = length;
}



bool TextScanner::FindText(int32_t& pos, std::string_view marker) const {
    for (;;) {
        if (!FindChar(pos, marker[0])) {
            return false;
        }
        if (length_ - pos >= static_cast<int32_t>(marker.size()) &&
            std::memcmp(text_ + pos, marker.data(), marker.size()) == 0) {
            return true;
        }
        pos = Step(pos);
    }
}

bool TextScanner::FindCharByCharacter(int32_t& pos, char ch) const {
    int32_t p = pos;
    for (;;) {
        if (!leadBytesBelow80_) {
            // Eight bytes below 0x80 without ch are eight characters to pass over.
            const uint64_t spread = 0x0101010101010101u * static_cast<unsigned char>(ch);
            while (p + 8 <= length_) {
                uint64_t word;
                std::memcpy(&word, text_ + p, sizeof word);
                const uint64_t match = word ^ spread;
                if (((word | ((match - 0x0101010101010101u) & ~match)) & 0x8080808080808080u) != 0) {
                    break;  // a byte of 0x80 or more, or ch
                }
                p += 8;
            }
        }
        const char c = text_[p];
        if (c == ch || c == '\0') {
            pos = p;
            return c == ch;
        }
        p = Step(p);
    }
}
