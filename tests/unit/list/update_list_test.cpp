// The update check's portable part: the maker test and model name, the status, the
// walk of an update list, and the document text of a saved list's bytes.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "list/update_list.h"

namespace {

using namespace std::string_literals;

TEST(UpdateCheck, MakerTestAndModelName) {
    struct {
        std::string identification;
        bool maker;
        std::string model;
    } cases[] = {
        // The padded vendor field goes, the product field keeps its blanks.
        {"ZORIX   XR-THREE        ", true, "XR-THREE        "},
        {"ZOrix   CDR             ", true, "CDR             "},
        // Every occurrence; "ZORIX   " first, and then "ZOrix   " stays.
        {"ZORIX   ZORIX   X       ", true, "X       "},
        {"ZORIX   ZOrix   DUAL    ", true, "ZOrix   DUAL    "},
        // The lower-case form, or the name in the product field, passes and stays.
        {"zorix   DVD             ", true, "zorix   DVD             "},
        {"OTHER   ZORIX DRIVE     ", true, "OTHER   ZORIX DRIVE     "},
        {"ZORIX\0  A               "s, true, "ZORIX\0  A               "s},
        // Case-sensitive: no other spelling is the maker's.
        {"Zorix   CD-ROM          ", false, "Zorix   CD-ROM          "},
        {"OTHER   CD-ROM          ", false, "OTHER   CD-ROM          "},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identification);
        EXPECT_EQ(NamesTheMaker(c.identification), c.maker);
        EXPECT_EQ(ModelNameOf(c.identification), c.model);
    }
    EXPECT_EQ(UpdateListUrl("127.0.0.1:8080", "XR 1  "),
              "http://127.0.0.1:8080/downloads/downloadxml.aspx?ModelName=XR 1  ");
    EXPECT_EQ(UpdateListUrl("https://list.invalid", "XR"),
              "https://list.invalid/downloads/downloadxml.aspx?ModelName=XR");
    EXPECT_EQ(ListSignatureUrl("https://list.invalid", "XR 1  "),
              "https://list.invalid/downloads/downloadxml.aspx.minisig?ModelName=XR 1  ");
}

TEST(UpdateCheck, ReleaseAddressOfTheFirstSite) {
    using Via = ReleaseAddress::Via;
    struct {
        std::string site, location;
        Via via;
        std::string where;  // FTP: server and path; web: the address
    } cases[] = {
        // A bare host is the FTP server as written; ftp:// names the same one.
        {"ftp.example.com", "fw/a.exe", Via::kFtp, "ftp.example.com /fw/a.exe"},
        {" ftp.example.com:21", "/fw/a.exe", Via::kFtp, " ftp.example.com:21 //fw/a.exe"},
        {"", "a.exe", Via::kFtp, " /a.exe"},
        {"FTP://ftp.example.com/", "fw/a.exe", Via::kFtp, "ftp.example.com /fw/a.exe"},
        // Exactly one "/" at the join, whatever either side has; the scheme in lower case.
        {"http://h", "fw/a.exe", Via::kWeb, "http://h/fw/a.exe"},
        {"HTTPS://h.example.com:8443/", "/fw/a.exe", Via::kWeb, "https://h.example.com:8443/fw/a.exe"},
        {"https://cdn_1.example.com/Pub/XR//", "//fw/a b.exe?x=1", Via::kWeb, "https://cdn_1.example.com/Pub/XR/fw/a b.exe?x=1"},
        {"http://h:65535/%7Efw", "", Via::kWeb, "http://h:65535/%7Efw/"},
        // Other schemes, and addresses that do not parse.
        {"gopher://h", "a.exe", Via::kUnusable, ""},
        {" http://h", "a.exe", Via::kUnusable, ""},
        {"http://", "a.exe", Via::kUnusable, ""},
        {"http://h:0", "a.exe", Via::kUnusable, ""},
        {"http://h:65536", "a.exe", Via::kUnusable, ""},
        {"http://user@h", "a.exe", Via::kUnusable, ""},
        {"http://h/fw ", "a.exe", Via::kUnusable, ""},
        {"http://h/fw?x=1", "a.exe", Via::kUnusable, ""},
        {"ftp://h:2121", "a.exe", Via::kUnusable, ""},
        {"ftp://h/pub", "a.exe", Via::kUnusable, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        const ReleaseAddress address = ReleaseAddressOf(c.site, c.location);
        EXPECT_EQ(address.via, c.via);
        EXPECT_EQ(c.via == Via::kFtp ? address.server + " " + address.path : address.url, c.where);
    }
}

TEST(UpdateCheck, StatusReadsAsA32BitLong) {
    struct {
        const char* text;
        int32_t status;
    } cases[] = {
        {"0", 0}, {"-2", -2}, {" \t-1", -1}, {"+7", 7}, {"012", 12}, {"-2 busy", -2},
        // No digits: 0, so the list is read.
        {"", 0}, {"busy", 0}, {"- 2", 0}, {"0x10", 0},
        // Regression: a 64-bit long read this as -2 once cut to 32 bits.
        {"4294967294", INT32_MAX}, {"-99999999999", INT32_MIN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusValue(c.text), c.status) << '"' << c.text << '"';
    }
}

// Only a plain byte count is a length to hold a download to; any other form leaves the cap.
TEST(UpdateCheck, SizeIsAPlainByteCount) {
    const std::pair<const char*, std::optional<uint64_t>> cases[] = {
        {"803840", 803840}, {"0001000", 1000}, {"9999999999", 9999999999u}, {"1", 1},
        {"", std::nullopt}, {"0", std::nullopt}, {"0000000000", std::nullopt}, {"12345678901", std::nullopt},
        {"00000000001", std::nullopt}, {" 100", std::nullopt}, {"100 ", std::nullopt}, {"+100", std::nullopt},
        {"-1", std::nullopt}, {"1e6", std::nullopt}, {"0x10", std::nullopt}, {"800 KB", std::nullopt},
    };
    for (const auto& [text, size] : cases) EXPECT_EQ(ListedSize(text), size) << '"' << text << '"';
}

std::string List(const std::string& status, const std::string& children) {
    return "<?xml version=\"1.0\"?>\r\n<OnlineUpdate>\r\n <Project Name=\"XR &amp; Co\"" + status + ">\r\n" + children +
           " </Project>\r\n</OnlineUpdate>\r\n";
}

std::string Firmware(const std::string& version) {
    return "  <Firmware URL=\"fw/" + version + ".exe\" Size=\"100\" Release=\"2004/01/01\" Version=\"" + version +
           "\"/>\r\n";
}

struct Expected {
    int32_t status;
    std::vector<std::string> versions;
    std::vector<std::string> sites;
};

Expected Read(const std::string& text, size_t maxFirmware = 30, size_t maxSites = 10) {
    XmlDocument document;
    document.Parse(text);
    const UpdateList list = ReadUpdateList(document, maxFirmware, maxSites);
    Expected seen{list.status, {}, list.sites};
    for (const auto& entry : list.firmware) seen.versions.push_back(entry.Version);
    return seen;
}

void ExpectRead(const std::string& text, const Expected& expected, size_t maxFirmware = 30, size_t maxSites = 10) {
    const Expected seen = Read(text, maxFirmware, maxSites);
    EXPECT_EQ(seen.status, expected.status);
    EXPECT_EQ(seen.versions, expected.versions);
    EXPECT_EQ(seen.sites, expected.sites);
}

TEST(UpdateCheck, WalkFollowsStatusAndElementOrder) {
    const std::string ftp = "  <Ftp><Site>s1</Site><Site>s2</Site></Ftp>\r\n";
    // Status: only 0 reads on; missing or without digits counts as 0.
    ExpectRead(List(" Status=\"-2\"", Firmware("1") + ftp), {-2, {}, {}});
    ExpectRead(List(" Status=\"-1\"", Firmware("1") + ftp), {-1, {}, {}});
    ExpectRead(List(" Status=\"3\"", Firmware("1") + ftp), {3, {}, {}});
    ExpectRead(List("", Firmware("1") + ftp), {0, {"1"}, {"s1", "s2"}});
    ExpectRead(List(" Status=\"new\"", Firmware("1") + Firmware("2")), {0, {"1", "2"}, {}});

    // "Ftp" is looked for after the last "Firmware"; with no "Firmware", anywhere.
    ExpectRead(List(" Status=\"0\"", ftp), {0, {}, {"s1", "s2"}});
    ExpectRead(List(" Status=\"0\"", ftp + Firmware("1")), {0, {"1"}, {}});
    ExpectRead(List(" Status=\"0\"", "  <Ftp><Site>early</Site></Ftp>\r\n" + Firmware("1") + ftp), {0, {"1"}, {"s1", "s2"}});
    // Without one, "Site" is looked for inside the last "Firmware".
    ExpectRead(List(" Status=\"0\"", "  <Firmware Version=\"1\"><Site>inner</Site></Firmware>\r\n"), {0, {"1"}, {"inner"}});

    // Attributes by name in any order, unquoted ones empty; Site text as it stands.
    ExpectRead(List(" Status=\"0\"", "  <Firmware URL=\"u\" Version=1.05/>\r\n  <Ftp><Site> s&#46;1 </Site></Ftp>\r\n"),
               {0, {""}, {" s.1 "}});

    // Only children of the first "Project" of the document element count.
    ExpectRead(List(" Status=\"0\"", "  <Group>" + Firmware("deep") + "</Group>\r\n" + Firmware("1")), {0, {"1"}, {}});
    ExpectRead("<OnlineUpdate><Project Status=\"0\">" + Firmware("1") + "</Project><Project Status=\"0\">" +
                   Firmware("2") + "</Project></OnlineUpdate>",
               {0, {"1"}, {}});
    ExpectRead("<OnlineUpdate/><Project Status=\"0\">" + Firmware("1") + "</Project>", {0, {}, {}});

    // No "OnlineUpdate" document element, no parse, no text: nothing, status not 0.
    ExpectRead("<Update><Project Status=\"0\">" + Firmware("1") + "</Project></Update>", {1, {}, {}});
    ExpectRead(List(" Status=\"0\"", Firmware("1")).substr(0, 120), {1, {}, {}});
    ExpectRead("", {1, {}, {}});
}

// Regression: more than 30 releases or 10 servers ran past the dialog's tables.
TEST(UpdateCheck, SurplusReleasesAndSitesAreDropped) {
    std::string children;
    std::vector<std::string> versions, sites;
    for (int i = 1; i <= 31; ++i) {
        children += Firmware(std::to_string(i));
        if (i <= 30) versions.push_back(std::to_string(i));
    }
    children += "  <Ftp>";
    for (int i = 1; i <= 11; ++i) {
        children += "<Site>s" + std::to_string(i) + "</Site>";
        if (i <= 10) sites.push_back("s" + std::to_string(i));
    }
    children += "</Ftp>\r\n";
    ExpectRead(List(" Status=\"0\"", children), {0, versions, sites}, 30, 10);
    ExpectRead(List(" Status=\"0\"", Firmware("1") + Firmware("2") + "<Ftp><Site>a</Site><Site>b</Site></Ftp>"),
               {0, {"1"}, {}}, 1, 0);
}

TEST(UpdateCheck, DocumentTextOfTheSavedBytes) {
    // Stands in for WideCharToMultiByte: Latin-1 kept, anything else '?'.
    const Utf16ToAnsi latin1 = [](const std::u16string& text) {
        std::string out;
        for (char16_t unit : text) out += unit < 256 ? static_cast<char>(unit) : '?';
        return out;
    };
    const auto utf16 = [](const std::u16string& text) {
        std::string bytes = "\xFF\xFE";
        for (char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        return bytes;
    };
    const std::string padding(100, ' ');
    struct {
        const char* what;
        std::string bytes;
        std::optional<std::string> text;
    } cases[] = {
        {"narrow", "<a>\xE9</a>", "<a>\xE9</a>"},
        {"UTF-16 after the mark", utf16(u"<a>\u00E9\u03A9</a>"), "<a>\xE9?</a>"},
        {"UTF-16 up to a zero unit", utf16(u"<a/>") + std::string(4, '\0') + "xy", "<a/>"},
        {"UTF-16 with an odd last byte", utf16(u"<a/>") + "b", "<a/>b"},
        {"the mark alone", "\xFF\xFE", ""},
        {"nothing", "", ""},
        // Half the bytes less 20 is the least a text may keep.
        {"early zero in a short file", "<a/>" + std::string(1, '\0') + std::string(40, 'x'), "<a/>"},
        {"text just long enough", std::string(30, 'x') + '\0' + std::string(69, 'y'), std::string(30, 'x')},
        {"text one byte short", std::string(30, 'x') + '\0' + std::string(71, 'y'), std::nullopt},
        {"early zero byte", "<?xml version=\"1.0\"?>" + std::string(1, '\0') + padding, std::nullopt},
        {"UTF-16 with an early zero unit", utf16(u"<a/>") + std::string(2, '\0') + padding, std::nullopt},
        // FE FF is no mark here: narrow text, ended by the zero after '<'.
        {"big-endian mark", "\xFE\xFF" + std::string(1, '\0') + "<" + padding, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DocumentText(c.bytes, latin1), c.text);
    }
}

}  // namespace
