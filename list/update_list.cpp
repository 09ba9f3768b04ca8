#include "list/update_list.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

// Removes every occurrence of `what`, scanning left to right without overlap.
std::string RemoveAll(const std::string& text, const std::string& what) {
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        out.append(text, from, at - from);
        from = at + what.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string ListServerUrl(const std::string& server, const char* path, const std::string& modelName) {
    const char* scheme = server.find("://") == std::string::npos ? "http://" : "";
    return scheme + server + path + "?ModelName=" + modelName;
}

// The ASCII lower case of a scheme name.
std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

// "host" or "host:port", the port from 1 to 65535 in at most five digits.
bool IsHostAndPort(const std::string& authority, bool portAllowed) {
    const size_t colon = authority.find(':');
    const std::string host = authority.substr(0, colon);
    if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostCharacter)) return false;
    if (colon == std::string::npos) return true;
    const std::string port = authority.substr(colon + 1);
    if (!portAllowed || port.empty() || port.size() > 5) return false;
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    const long number = std::strtol(port.c_str(), nullptr, 10);
    return number >= 1 && number <= 65535;
}

// Characters that would end the path of an address, or make it no address at all.
bool IsPathCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > ' ' && byte != 0x7F && c != '?' && c != '#' && c != '\\';
}

}  // namespace

bool NamesTheMaker(const std::string& identification) {
    for (const char* name : {"ZORIX", "ZOrix", "zorix"}) {
        if (identification.find(name) != std::string::npos) return true;
    }
    return false;
}

std::string ModelNameOf(const std::string& identification) {
    for (const char* vendor : {"ZORIX   ", "ZOrix   "}) {
        if (identification.find(vendor) != std::string::npos) return RemoveAll(identification, vendor);
    }
    return identification;
}

std::string UpdateListUrl(const std::string& server, const std::string& modelName) {
    return ListServerUrl(server, "/downloads/downloadxml.aspx", modelName);
}

std::string ListSignatureUrl(const std::string& server, const std::string& modelName) {
    return ListServerUrl(server, "/downloads/downloadxml.aspx.minisig", modelName);
}

ReleaseAddress ReleaseAddressOf(const std::string& site, const std::string& location) {
    ReleaseAddress address;
    const size_t separator = site.find("://");
    if (separator == std::string::npos) {
        address.via = ReleaseAddress::Via::kFtp;
        address.server = site;
        address.path = "/" + location;
        return address;
    }
    const std::string scheme = LowerCase(site.substr(0, separator));
    const std::string rest = site.substr(separator + 3);
    const size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    const std::string path = slash == std::string::npos ? std::string() : rest.substr(slash);
    if (scheme == "ftp") {
        if (!IsHostAndPort(authority, false) || (!path.empty() && path != "/")) return address;
        address.via = ReleaseAddress::Via::kFtp;
        address.server = authority;
        address.path = "/" + location;
        return address;
    }
    if (scheme != "http" && scheme != "https") return address;
    if (!IsHostAndPort(authority, true) || !std::all_of(path.begin(), path.end(), IsPathCharacter)) return address;
    std::string base = scheme + "://" + rest;
    while (base.back() == '/') base.pop_back();
    const size_t start = location.find_first_not_of('/');
    address.via = ReleaseAddress::Via::kWeb;
    address.url = base + "/" + (start == std::string::npos ? std::string() : location.substr(start));
    return address;
}

int32_t StatusValue(const std::string& text) {
    // strtoll, then the range of the 32-bit long the lists were written for: a
    // 64-bit long would read "4294967294" as -2 once cut to 32 bits.
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

std::optional<uint64_t> ListedSize(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t size = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        size = size * 10 + static_cast<uint64_t>(c - '0');
    }
    if (size == 0) return std::nullopt;
    return size;
}

UpdateList ReadUpdateList(XmlDocument& document, size_t maxFirmware, size_t maxSites) {
    UpdateList list;
    if (!document.FindElement("OnlineUpdate")) return list;
    // The index holds one top-level element, so this runs once for a parsed list.
    do {
        document.StepInto();
        document.FindElement("Project");
        list.projectName = document.GetAttribute("Name");
        list.status = StatusValue(document.GetAttribute("Status"));
        if (list.status == kStatusListFollows) {
            if (document.FindChild("Firmware")) {
                do {
                    if (list.firmware.size() == maxFirmware) continue;  // the surplus is dropped
                    FirmwareEntry entry;
                    entry.Version = document.GetChildAttribute("Version");
                    entry.Release = document.GetChildAttribute("Release");
                    entry.Size = document.GetChildAttribute("Size");
                    entry.URL = document.GetChildAttribute("URL");
                    entry.SHA256 = document.GetChildAttribute("SHA256");
                    list.firmware.push_back(std::move(entry));
                } while (document.FindChild("Firmware"));
            }
            // Onto the last "Firmware", so "Ftp" is looked for among the elements after
            // it; without a "Firmware" this steps into "Project" and finds any "Ftp".
            document.StepInto();
            document.FindElement("Ftp");
            if (document.FindChild("Site")) {
                do {
                    if (list.sites.size() == maxSites) continue;
                    list.sites.push_back(document.GetChildText());
                } while (document.FindChild("Site"));
            }
            document.StepOut();
        }
        document.StepOut();
    } while (document.FindElement("OnlineUpdate"));
    return list;
}

std::optional<std::string> DocumentText(const std::string& bytes, const Utf16ToAnsi& toAnsi) {
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string wide;
        // An odd last byte is a unit with a zero high byte, as the zero padding after
        // the bytes read makes it; nothing beyond the bytes is read.
        for (size_t i = 2; i < bytes.size(); i += 2) {
            const auto low = static_cast<unsigned char>(bytes[i]);
            const auto high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
            const auto unit = static_cast<char16_t>(low | high << 8);
            if (unit == 0) break;
            wide.push_back(unit);
        }
        if (!wide.empty()) text = toAnsi(wide);
    } else {
        text.assign(bytes.c_str());
    }
    const auto limit = static_cast<long long>(bytes.size() / 2) - 20;
    if (static_cast<long long>(text.size()) < limit) return std::nullopt;
    return text;
}
