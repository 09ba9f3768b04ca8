#include "maker/code_page.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>

namespace {

// Lead bytes of the double-byte code pages: 932 (Japanese) 0x81-0x9F and 0xE0-0xFC;
// 936 (Simplified Chinese), 949 (Korean) and 950 (Traditional Chinese) 0x81-0xFE.
LeadByteTable LeadBytesOf(int number) {
    switch (number) {
        case 932:
            return MakeLeadByteTable([](unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); });
        case 936:
        case 949:
        case 950:
            return MakeLeadByteTable([](unsigned char b) { return b >= 0x81 && b <= 0xFE; });
        default:
            return NoLeadBytes();
    }
}

bool IsAnsiCodePage(int number) {
    return number == 874 || number == 932 || number == 936 || number == 949 || number == 950 ||
           (number >= 1250 && number <= 1258);
}

struct IconvCloser {
    void operator()(iconv_t handle) const { iconv_close(handle); }
};
using Converter = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

Converter Open(const std::string& to) {
    iconv_t handle = iconv_open(to.c_str(), "UTF-16LE");
    if (handle == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return Converter(handle);
}

}  // namespace

std::optional<CodePage> CodePage::Of(int number) {
    if (!IsAnsiCodePage(number)) return std::nullopt;
    const std::string name = "CP" + std::to_string(number);
    if (!Open(name)) return std::nullopt;
    return CodePage(number, name, LeadBytesOf(number));
}

AnsiText CodePage::FromUtf16(const std::u16string& wide) const {
    AnsiText out;
    const Converter converter = Open(iconvName_);
    for (size_t i = 0; i < wide.size();) {
        // One character: a unit, or a surrogate pair.
        size_t units = 1;
        if (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] < 0xE000) {
            units = 2;
        }
        std::array<char, 8> in{};
        for (size_t u = 0; u < units; ++u) {
            in[2 * u] = static_cast<char>(wide[i + u] & 0xFF);
            in[2 * u + 1] = static_cast<char>(wide[i + u] >> 8);
        }
        std::array<char, 16> converted{};
        char* from = in.data();
        char* to = converted.data();
        size_t fromLeft = units * 2, toLeft = converted.size();
        iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
        if (iconv(converter.get(), &from, &fromLeft, &to, &toLeft) == static_cast<size_t>(-1) || fromLeft != 0) {
            if (out.lacking++ == 0) out.firstLacking = wide.substr(i, units);
            out.text += '?';
        } else {
            out.text.append(converted.data(), to);
        }
        i += units;
    }
    return out;
}

AnsiCodePage CodePage::ForReading(AnsiText& lacking) const {
    return {leadBytes_, [this, &lacking](const std::u16string& wide) {
                AnsiText converted = FromUtf16(wide);
                if (lacking.lacking == 0) lacking.firstLacking = converted.firstLacking;
                lacking.lacking += converted.lacking;
                return converted.text;
            }};
}
