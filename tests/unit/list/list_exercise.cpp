// A saved update list as the program reads it: its bytes to the document text (ANSI,
// or UTF-16 after FF FE, converted), the parse, and the walk to the project, releases
// and sites; without lead bytes and with those of a double-byte code page.
//
// The promises: no more releases and sites than the dialog has slots for, and none
// unless the status is 0; and no entry or site holds text that the document does not
// contain: each is a stretch of the document, in which a reference ("&...;") may stand
// for any one character but a zero byte.
//
// corpus/reference-ending-after-a-trail-byte.xml: "&#6" then a double-byte character
// whose trail byte is ';' is one reference, to the next ';' (a finding of this target's
// own rule, which took the first ';').
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "list/update_list.h"
#include "tests/unit/fuzz/fuzz_require.h"

namespace {


// The ANSI code page's stand-in: ASCII as it is, anything else its default character.
std::string ToAnsi(const std::u16string& wide) {
    std::string text;
    for (const char16_t unit : wide) text += unit < 0x80 ? static_cast<char>(unit) : '?';
    return text;
}

bool Contains(const std::string& text, const std::string& value) {
    if (text.find(value) != std::string::npos) return true;
    for (size_t start = 0; start < text.size(); ++start) {
        // The text positions at which the value read so far can end.
        std::vector<size_t> ends{start};
        for (const char c : value) {
            std::vector<size_t> next;
            for (const size_t at : ends) {
                if (at >= text.size()) continue;
                if (text[at] == c) next.push_back(at + 1);
                if (text[at] != '&' || c == '\0') continue;
                // A reference ends at a ';' within 20 characters (seven, some double-byte,
                // after "&#x"), not always the first: one may be a double-byte's trail.
                const std::string_view reach = std::string_view(text).substr(at, 20);
                for (size_t end = reach.find(';'); end != std::string_view::npos; end = reach.find(';', end + 1)) {
                    next.push_back(at + end + 1);
                }
            }
            std::sort(next.begin(), next.end());
            next.erase(std::unique(next.begin(), next.end()), next.end());
            ends.swap(next);
            if (ends.empty()) break;
        }
        if (!ends.empty()) return true;
    }
    return false;
}

void ExerciseBytes(const std::string& bytes, const LeadByteTable& leadBytes) {
    std::optional<std::string> text = DocumentText(bytes, ToAnsi);
    if (!text) return;
    XmlDocument document(leadBytes);
    if (!text->empty()) document.Parse(std::move(*text));
    const UpdateList list = ReadUpdateList(document, kFirmwareSlots, kSiteSlots);

    FuzzRequire(list.firmware.size() <= kFirmwareSlots && list.sites.size() <= kSiteSlots, "no more than the slots");
    FuzzRequire(list.status == kStatusListFollows || (list.firmware.empty() && list.sites.empty()),
                "releases and sites only with status 0");
    const std::string& documentText = document.Text();
    std::vector<const std::string*> values{&list.projectName};
    for (const FirmwareEntry& entry : list.firmware) {
        values.insert(values.end(), {&entry.Version, &entry.Release, &entry.URL, &entry.Size, &entry.SHA256});
    }
    for (const std::string& site : list.sites) values.push_back(&site);
    for (const std::string* value : values) {
        FuzzRequire(Contains(documentText, *value), "entries and sites hold only the document's text");
    }
}

}  // namespace

void ExerciseListInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ExerciseBytes(bytes, NoLeadBytes());
    ExerciseBytes(bytes, MakeLeadByteTable([](unsigned char b) { return b >= 0x81 && b <= 0xFE; }));
}
