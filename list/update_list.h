// The update check without the dialog: from a drive's identification to the
// request address, and from the saved update list to the project name, status,
// releases and FTP servers. Standard C++ only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "xml/xml_document.h"

// An update list is a few KB (30 releases, 10 sites). Its download stops past this
// bound, and a saved list longer than it is not read: 100 times any real list, yet one
// that a machine of 64 MB reads whole and converts from UTF-16 without strain, and that
// a modem brings in minutes.
constexpr uint64_t kMaxListSize = 1024 * 1024;
// No download of a release brings more than this: a drive's firmware, with the program
// that flashes it, is a few MB. A full system disk on the 98 family takes the swap
// file, and other programs' data, with it.
constexpr uint64_t kMaxFirmwareSize = 64 * 1024 * 1024;

// The main dialog's slots: releases and sites past them are dropped.
constexpr size_t kFirmwareSlots = 30;
constexpr size_t kSiteSlots = 10;

// One firmware release of the update list: the attributes of one "Firmware" element
// ("" when missing or unquoted).
struct FirmwareEntry {
    std::string Version;  // shown as "Firmware Ver"
    std::string Release;  // shown as "ReleaseDate"
    std::string URL;      // the file's path on the list's first site, relative to it
    std::string Size;     // not shown; in a verified list, see ListedSize
    std::string SHA256;   // the file's digest as listed; "" when the list gives none
};

// Whether the identification text (vendor and product fields) holds "ZORIX", "ZOrix"
// or "zorix" anywhere.
bool NamesTheMaker(const std::string& identification);

// The model name sent to the server: every "ZORIX   " removed, or else every
// "ZOrix   "; nothing trimmed, so the product field keeps its padding blanks.
std::string ModelNameOf(const std::string& identification);

// The server ("host[:port]", which means "http://host[:port]", or that with its
// scheme) then "/downloads/downloadxml.aspx?ModelName=" and the model name as it is,
// blanks included: the server knows the names in that form.
std::string UpdateListUrl(const std::string& server, const std::string& modelName);
// Where that list's minisign signature is: the same with ".minisig" after the path.
std::string ListSignatureUrl(const std::string& server, const std::string& modelName);

// The list's "Status": optional white space and sign, then decimal digits, as the
// C library's string-to-long reads them with a 32-bit long (out of range saturates).
// "" and text without digits give 0.
int32_t StatusValue(const std::string& text);

constexpr int32_t kStatusListFollows = 0;
constexpr int32_t kStatusNoFirmware = -1;
constexpr int32_t kStatusBusy = -2;

// What an update list holds.
struct UpdateList {
    std::string projectName;
    int32_t status = 1;  // not zero until a "Status" has been read
    std::vector<FirmwareEntry> firmware;
    std::vector<std::string> sites;
};

// Walks a parsed update list: "OnlineUpdate", its "Project" ("Name", "Status"), and
// with status 0 the "Firmware" children of "Project", then the "Site" children of
// the first "Ftp" after the last "Firmware" (anywhere in "Project" when there is no
// "Firmware"). Only the first maxFirmware releases and maxSites servers are kept.
UpdateList ReadUpdateList(XmlDocument& document, size_t maxFirmware, size_t maxSites);

// The file's length in bytes as a "Size" gives it: decimal digits only, at most 10
// (leading zeros allowed), not 0. None for any other form, which lists written before
// the length counted may have.
std::optional<uint64_t> ListedSize(const std::string& text);

// Where one release comes from: the list's first "Site" and the release's "URL".
struct ReleaseAddress {
    enum class Via {
        kFtp,       // the FTP server `server`, the file `path` there
        kWeb,       // the http:// or https:// address `url`
        kUnusable,  // a "Site" of another scheme, or one that does not parse
    };
    Via via = Via::kUnusable;
    std::string server;  // kFtp: the host name, as the list wrote it
    std::string path;    // kFtp: "/" then the URL, as it stands
    std::string url;     // kWeb
};

// A "Site" without "://" is the FTP server's host name, used as written (blanks
// included); "ftp://host" (or "ftp://host/") is the same server. "http://" and
// "https://" (letter case aside) followed by host[:port][/path] are web sites: the
// release's address is the site and the URL joined by exactly one "/", whatever
// either has at the join. A host is letters, digits, '-', '.' and '_'; a port 1 to
// 65535; a web site's path has no blank, control character, '?', '#' or backslash.
ReleaseAddress ReleaseAddressOf(const std::string& site, const std::string& location);

// Converts UTF-16 text (no zero code unit in it) to the ANSI code page.
using Utf16ToAnsi = std::function<std::string(const std::u16string&)>;

// The document text of a saved list's bytes: after the byte-order mark FF FE the
// UTF-16 LE text up to its first zero code unit, converted; otherwise the bytes up
// to the first zero byte. None when the text is much shorter than the file (fewer
// than half its bytes less 20), which an early zero byte in a narrow list gives.
std::optional<std::string> DocumentText(const std::string& bytes, const Utf16ToAnsi& toAnsi);
