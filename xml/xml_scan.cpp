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
    if (!had && !hasLeadBytes_) {
        return;  // the common case: no lead bytes before or after
    }
    for (int b = 1; b < 256; ++b) {
        classes_[b] = static_cast<uint8_t>(leadBytes[b] ? classes_[b] | kLead : classes_[b] & ~kLead);
    }
}

void TextScanner::Bind(const char* text, int32_t length) {
    text_ = text;
    length_ = length;
}



bool TextScanner::FindText(int32_t& pos, std::string_view marker) const {
    const auto size = static_cast<int32_t>(marker.size());
    if (!hasLeadBytes_) {
        for (;;) {
            if (!FindChar(pos, marker[0])) {
                return false;
            }
            if (length_ - pos >= size && std::memcmp(text_ + pos, marker.data(), marker.size()) == 0) {
                return true;
            }
            ++pos;
        }
    }
    for (;;) {
        if (text_[pos] == '\0') {
            return false;
        }
        if (text_[pos] == marker[0] && length_ - pos >= size &&
            std::memcmp(text_ + pos, marker.data(), marker.size()) == 0) {
            return true;
        }
        pos = Step(pos);
    }
}
