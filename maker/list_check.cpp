#include "maker/list_check.h"

#include <ctime>
#include <fstream>
#include <utility>

#include "framework/text_format.h"
#include "list/list_signature.h"
#include "list/list_texts.h"
#include "list/release_decisions.h"
#include "list/update_list.h"
#include "list/version_rule.h"
#include "transfer/bound_texts.h"
#include "xml/xml_document.h"

namespace {

using namespace list_text;

constexpr int64_t kExpiryWarningSeconds = 30 * 24 * 3600;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Hex4(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "U+";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(value >> shift) & 0xF];
    return out;
}

std::string UtcTime(int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (gmtime_r(&time, &parts) == nullptr) return std::to_string(seconds);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

class Checker {
public:
    Checker(const CheckInput& input, CheckReport& report) : input_(input), report_(report) {}

    void Run();

private:
    void Add(const char* id, Severity severity, std::string element, int32_t offset, std::string message) {
        report_.findings.push_back({id, severity, std::move(element), LineOf(offset), std::move(message)});
    }
    int LineOf(int32_t offset) const;
    // The reader's message, without the separator it puts after an (empty) earlier note.
    std::string ParserMessage() const {
        const std::string& message = document_.LastError();
        return message.rfind(", ", 0) == 0 ? message.substr(2) : message;
    }
    void CheckRequest();
    bool CheckSignature();  // false when the program refuses the list
    void CheckEncoding();
    void CheckStructure();
    void CheckReleases();
    void PlanRows();
    std::string FirmwareName(size_t index) const;
    std::vector<std::string> UnquotedAttributes(int32_t element) const;
    int32_t Child(int32_t parent, const char* name, int32_t after = 0) const {
        return document_.FindNamed(parent, after, name);
    }

    const CheckInput& input_;
    CheckReport& report_;
    AnsiText lacking_;
    XmlDocument document_;
    ListReading reading_;
    std::vector<int32_t> firmwareElements_;  // every "Firmware" child of "Project"
    int32_t project_ = 0, ftp_ = 0, firstSite_ = 0;
    bool listRefused_ = false;
};

int Checker::LineOf(int32_t offset) const {
    if (offset < 0) return 0;
    const std::string& text = document_.Text();
    int line = 1;
    for (int32_t i = 0; i < offset && static_cast<size_t>(i) < text.size(); ++i) line += text[i] == '\n';
    return line;
}

std::string Checker::FirmwareName(size_t index) const {
    const std::string version = document_.AttributeOf(firmwareElements_[index], "Version");
    return "Firmware " + std::to_string(index + 1) + (version.empty() ? "" : " (Version " + Quoted(version) + ")");
}

void Checker::CheckRequest() {
    const std::string model = ModelNameOf(input_.identification);
    report_.request = UpdateListUrl(input_.server, model);
    report_.wineRequestTarget = WineRequestTarget(report_.request);
    if (!NamesTheMaker(input_.identification)) {
        report_.makerRefusal = kChooseMakerProduct;
        Add("drive-not-maker", Severity::kError, "", -1,
            "the drive's identification " + Quoted(input_.identification) +
                " does not hold the maker's name: the program asks for no list and shows " +
                Quoted(kChooseMakerProduct));
    }
}

bool Checker::CheckSignature() {
    if (input_.keyLines.empty()) return true;
    const std::string refused = "the program refuses the list and shows ";
    if (!input_.signature) {
        report_.signature = "missing";
        Add("signature-missing", Severity::kError, "the signature", -1,
            "no signature was given or found beside the list: " + refused +
                Quoted(RefusalText(ListVerdict::kNotSignedByMaker)));
        return false;
    }
    ListExpectations expectations;
    for (const std::string& line : input_.keyLines) expectations.keys.push_back(*ParseListKey(line));
    expectations.model = ModelNameOf(input_.identification);
    expectations.now = input_.now;
    const ListSignatureResult result =
        CheckListSignature(input_.list.bytes, *input_.signature, expectations);
    const std::string shown = Quoted(RefusalText(VerdictOf(result.check)));
    switch (result.check) {
    case ListSignatureCheck::kVerified:
        report_.signature = "verified: issued " + UtcTime(result.issued) + ", expires " +
                            UtcTime(static_cast<int64_t>(result.expires));
        if (static_cast<int64_t>(result.expires) - input_.now <= kExpiryWarningSeconds) {
            Add("signature-expires-soon", Severity::kWarning, "the signature", -1,
                "it expires " + UtcTime(static_cast<int64_t>(result.expires)) +
                    ", within 30 days: after that " + refused + Quoted(RefusalText(ListVerdict::kExpired)));
        }
        if (result.issued > input_.now) {
            Add("signature-issued-future", Severity::kWarning, "the signature", -1,
                "it is issued " + UtcTime(result.issued) +
                    ", in the future: the program accepts it, but every user who does then refuses any later list "
                    "with a smaller issued as older, showing " +
                    Quoted(RefusalText(ListVerdict::kOlder)));
        }
        return true;
    case ListSignatureCheck::kTooLarge:
        report_.signature = "refused: larger than " + std::to_string(kMaxListSignatureSize) + " bytes";
        Add("signature-too-large", Severity::kError, "the signature", -1,
            "the signature is larger than the " + std::to_string(kMaxListSignatureSize) +
                " bytes the program fetches: " + refused + shown);
        return false;
    case ListSignatureCheck::kOtherModel:
        report_.signature = "refused: signed for another model";
        Add("signature-other-model", Severity::kError, "the signature", -1,
            "its trusted comment names another model than " + Quoted(expectations.model) + ": " + refused + shown);
        return false;
    case ListSignatureCheck::kExpired:
        report_.signature = "refused: expired " + UtcTime(static_cast<int64_t>(result.expires));
        Add("signature-expired", Severity::kError, "the signature", -1,
            "it expired " + UtcTime(static_cast<int64_t>(result.expires)) + ": " + refused + shown);
        return false;
    default:
        break;
    }
    static const char* const kWhy[] = {
        "", "it is not a minisign signature (four lines, each of its size)", "its algorithm is neither ED nor Ed",
        "no key given has its key id", "the list's signature does not verify: the list is not the one signed",
        "the trusted comment's signature does not verify",
        "its trusted comment lacks model, issued or expires, repeats one, or has one malformed"};
    const auto why = kWhy[static_cast<int>(result.check)];
    report_.signature = std::string("refused: ") + why;
    Add("signature-not-verified", Severity::kError, "the signature", -1, why + (": " + refused + shown));
    return false;
}

void Checker::CheckEncoding() {
    const std::string& bytes = input_.list.bytes;
    const bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                       static_cast<unsigned char>(bytes[1]) == 0xFE;
    const std::string page = "code page " + std::to_string(input_.codePage.Number());
    if (utf16 && lacking_.lacking > 0) {
        const char16_t first = lacking_.firstLacking.empty() ? 0 : lacking_.firstLacking[0];
        Add("characters-lacking", Severity::kWarning, "", -1,
            std::to_string(lacking_.lacking) + " characters of the UTF-16 list are not in " + page +
                " (the first: " + Hex4(first) + "): the program reads each as \"?\"");
    }
    if (utf16) return;
    size_t high = 0, at = 0;
    for (size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80 && high++ == 0) at = i;
    }
    if (high > 0) {
        Add("non-ascii", Severity::kWarning, "", static_cast<int32_t>(at),
            std::to_string(high) + " bytes outside ASCII in a list that is not UTF-16: the program reads them in the "
            "users' ANSI code page (here " + page + "), a UTF-8 list included; send UTF-16 with FF FE, or keep to "
            "ASCII");
    }
}

std::vector<std::string> Checker::UnquotedAttributes(int32_t element) const {
    // The start tag's tokens as the reader sees them: name, "=", value, ...
    static const char* const kRead[] = {"Name", "Status", "Version", "Release", "Size", "URL", "SHA256"};
    std::vector<std::string> names;
    const ElementRecord& record = document_.Record(element);
    TokenCursor cursor = document_.Scanner().Fresh(record.tagStart + 1);
    std::string previous;
    bool afterEquals = false;
    while (cursor.next <= record.tagEnd && document_.Scanner().NextToken(cursor) && cursor.start < record.tagEnd) {
        const std::string token = cursor.quoted ? std::string() : TokenText(cursor);
        if (afterEquals && !cursor.quoted) {
            for (const char* name : kRead) {
                if (previous == name) names.push_back(previous);
            }
        }
        afterEquals = !cursor.quoted && token == "=";
        if (!afterEquals) previous = cursor.quoted ? std::string() : token;
    }
    return names;
}

void Checker::CheckStructure() {
    const int32_t root = document_.Record(0).firstChild;
    const int32_t onlineUpdate = Child(0, "OnlineUpdate");
    if (onlineUpdate == 0) {
        Add("no-online-update", Severity::kError, "", root > 0 ? document_.Record(root).tagStart : -1,
            "the document element is not OnlineUpdate: the program shows no rows and no message");
        return;
    }
    project_ = Child(onlineUpdate, "Project");
    if (project_ == 0) {
        Add("no-project", Severity::kError, "OnlineUpdate", document_.Record(onlineUpdate).tagStart,
            "OnlineUpdate has no Project: the program shows no rows and no message");
        return;
    }
    const int32_t projectTag = document_.Record(project_).tagStart;
    for (const std::string& name : UnquotedAttributes(project_)) {
        Add("unquoted-attribute", Severity::kError, "Project", projectTag,
            name + " is not quoted: the program reads it as empty");
    }
    const int32_t status = reading_.list.status;
    if (status == kStatusNoFirmware || status == kStatusBusy) {
        Add(status == kStatusBusy ? "status-busy" : "status-no-firmware", Severity::kWarning, "Project", projectTag,
            "Status " + std::to_string(status) + ": the program reads no further and shows " +
                Quoted(status == kStatusBusy ? kServerBusy : kNoFirmware));
        return;
    }
    if (status != kStatusListFollows) {
        Add("status-other", Severity::kError, "Project", projectTag,
            "Status " + Quoted(document_.AttributeOf(project_, "Status")) +
                " is neither 0, -1 nor -2: the program reads no further and shows no rows and no message");
        return;
    }

    for (int32_t e = Child(project_, "Firmware"); e != 0; e = Child(project_, "Firmware", e)) {
        firmwareElements_.push_back(e);
    }
    if (firmwareElements_.empty()) {
        Add("no-firmware", Severity::kError, "Project", projectTag,
            "Project has no Firmware: the program shows no rows and no message");
    }
    if (firmwareElements_.size() > kFirmwareSlots) {
        Add("releases-beyond-slots", Severity::kError, FirmwareName(kFirmwareSlots),
            document_.Record(firmwareElements_[kFirmwareSlots]).tagStart,
            std::to_string(firmwareElements_.size()) + " releases: the program keeps the first " +
                std::to_string(kFirmwareSlots) + " and drops the rest unseen");
    }

    // "Ftp" as the program looks for it: after the last "Firmware", or anywhere in
    // "Project" when there is none.
    const int32_t lastFirmware = firmwareElements_.empty() ? 0 : firmwareElements_.back();
    ftp_ = Child(project_, "Ftp", lastFirmware);
    const int32_t anyFtp = Child(project_, "Ftp");
    if (ftp_ == 0 && anyFtp != 0) {
        Add("ftp-before-releases", Severity::kError, "Ftp", document_.Record(anyFtp).tagStart,
            "Ftp stands before the last Firmware: the program does not find it, and downloads from the site of the "
            "list it read before, if any; put Ftp after the releases");
    } else if (ftp_ == 0) {
        // An "Ftp" anywhere else in the document: not a child of "Project".
        int32_t other = 0;
        for (int32_t e = 1; e < document_.NextFree() && other == 0; ++e) {
            TokenCursor name = document_.Scanner().Fresh(document_.Record(e).tagStart + 1);
            if (document_.Scanner().NextToken(name) && TokenText(name) == "Ftp") other = e;
        }
        Add(other != 0 ? "ftp-outside-project" : "no-site", Severity::kError, other != 0 ? "Ftp" : "Project",
            other != 0 ? document_.Record(other).tagStart : projectTag,
            std::string(other != 0 ? "Ftp is not a child of Project" : "the list names no Site") +
                ": the program downloads every release from the site of the list it read before, if any");
    }
    if (ftp_ != 0) {
        firstSite_ = Child(ftp_, "Site");
        int sites = 0;
        for (int32_t e = firstSite_; e != 0; e = Child(ftp_, "Site", e)) ++sites;
        if (sites == 0) {
            Add("no-site", Severity::kError, "Ftp", document_.Record(ftp_).tagStart,
                "Ftp has no Site: the program downloads every release from the site of the list it read before, "
                "if any");
        } else if (sites > static_cast<int>(kSiteSlots)) {
            Add("sites-beyond-slots", Severity::kWarning, "Ftp", document_.Record(ftp_).tagStart,
                std::to_string(sites) + " Site elements: the program keeps the first " + std::to_string(kSiteSlots) +
                    " and uses only the first");
        } else if (sites > 1) {
            Add("many-sites", Severity::kWarning, "Ftp", document_.Record(ftp_).tagStart,
                std::to_string(sites) + " Site elements: the program uses only the first");
        }
    }
    if (firstSite_ != 0) {
        const std::string site = reading_.list.sites.empty() ? std::string() : reading_.list.sites[0];
        if (ReleaseAddressOf(site, "").via == ReleaseAddress::Via::kUnusable) {
            Add("site-unusable", Severity::kError, "Site", document_.Record(firstSite_).tagStart,
                "the first Site gives no address the program can download from: every release is refused with " +
                    Quoted(UnusableSiteMessage(site)));
        }
    }
}

void Checker::CheckReleases() {
    const bool signedList = !input_.keyLines.empty();
    const size_t count = std::min(firmwareElements_.size(), reading_.list.firmware.size());
    for (size_t i = 0; i < count; ++i) {
        const FirmwareEntry& entry = reading_.list.firmware[i];
        const int32_t tag = document_.Record(firmwareElements_[i]).tagStart;
        const std::string name = FirmwareName(i);
        for (const std::string& attribute : UnquotedAttributes(firmwareElements_[i])) {
            Add("unquoted-attribute", Severity::kError, name, tag,
                attribute + " is not quoted: the program reads it as empty");
        }
        const std::optional<std::string> version = CleanVersion(entry.Version);
        if (!version) {
            Add("version-unreadable", Severity::kWarning, name, tag,
                "Version " + Quoted(entry.Version) +
                    " has no place in the version rule: the program cannot ask before an older release, nor tell "
                    "at the next start whether the drive took it");
        } else if (version->size() > 4) {
            Add("version-too-long", Severity::kWarning, name, tag,
                "Version " + Quoted(*version) +
                    " is longer than the 4 characters a drive reports: the drive never reports it back, and the "
                    "program does not remember the update");
        }
        if (entry.Version.find('|') != std::string::npos) {
            Add("version-bar", Severity::kWarning, name, tag,
                "Version holds \"|\", which no drive reports: write it as the drive reports its revision");
        }
        for (size_t j = 0; j < i; ++j) {
            if (CompareRelease(reading_.list.firmware[j].Version, entry.Version) == VersionOrder::kSame) {
                Add("version-repeated", Severity::kWarning, name, tag,
                    "the same version as " + FirmwareName(j) + ": the user cannot tell the two rows apart");
                break;
            }
        }
        if (entry.URL.empty()) {
            Add("url-missing", Severity::kError, name, tag,
                "no URL: the program asks the site for its folder itself, and the download fails");
        } else {
            const std::string file = entry.URL.substr(entry.URL.find_last_of('/') + 1);
            std::string lower = entry.URL;
            for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            if (!NamesAProgram(entry.URL) && lower.find("exe") != std::string::npos) {
                Add("program-by-hand", Severity::kWarning, name, tag,
                    "URL " + Quoted(entry.URL) +
                        " names a program only in mixed case (\"Exe\"): the program does not start it and shows " +
                        Quoted(kUpdateManually));
            } else if (NamesAProgram(entry.URL) && !NamesAProgram(file)) {
                Add("program-in-folder-name", Severity::kWarning, name, tag,
                    "URL " + Quoted(entry.URL) +
                        " holds \"exe\" only in a folder name: the program starts the file it downloads as a program");
            }
        }
        if (entry.SHA256.empty()) {
            Add("sha256-missing", signedList ? Severity::kError : Severity::kWarning, name, tag,
                signedList ? "no SHA256: a program built with list keys does not download the release and shows " +
                                 Quoted(kCannotBeChecked)
                           : std::string("no SHA256: the program starts the file unchecked (a program built with "
                                         "list keys refuses it)"));
        } else if (!ParseDigest(entry.SHA256)) {
            Add("sha256-malformed", Severity::kError, name, tag,
                "SHA256 " + Quoted(entry.SHA256) +
                    " is not 64 hexadecimal digits: the program downloads the file, deletes it and shows " +
                    Quoted(kNotListedFile));
        }
        const std::optional<uint64_t> size = ListedSize(entry.Size);
        if (!size) {
            Add("size-not-bytes", Severity::kWarning, name, tag,
                "Size " + Quoted(entry.Size) + " is not a byte count" +
                    (signedList ? ": the download is bounded by the cap of " + std::to_string(kMaxFirmwareSize) +
                                      " bytes only; in a signed list Size is the file's exact length"
                                : std::string(": the program does not use it; in a signed list it is the file's "
                                              "exact length")));
        } else if (*size > kMaxFirmwareSize) {
            Add("size-over-cap", signedList ? Severity::kError : Severity::kWarning, name, tag,
                "Size " + entry.Size + " is more than the " + std::to_string(kMaxFirmwareSize) +
                    " bytes the program downloads" +
                    (signedList ? ": it refuses the release before anything is fetched"
                                : ": it stops the download at the cap"));
        }
    }
}

void Checker::PlanRows() {
    const UpdateList& list = reading_.list;
    report_.projectName = list.projectName;
    report_.hostVersion = input_.revision.value_or("");
    if (list.status != kStatusListFollows) return;
    const bool signedList = !input_.keyLines.empty();
    const std::string site = list.sites.empty() ? std::string() : list.sites[0];
    if (list.sites.empty()) {
        report_.site = "none in this list: \"Update selected\" uses the first site of the list read before, if any";
    } else {
        const ReleaseAddress address = ReleaseAddressOf(site, "");
        report_.site = Quoted(site) + (address.via == ReleaseAddress::Via::kFtp
                                           ? ": the FTP server " + address.server + ", port 21, anonymous"
                                           : address.via == ReleaseAddress::Via::kWeb ? ": a web site"
                                                                                      : ": no usable address");
    }
    for (const FirmwareEntry& entry : list.firmware) {
        RowPlan row;
        row.version = entry.Version;
        row.release = entry.Release;
        if (const std::optional<std::string> refusal = RefusalBeforeDownload(entry, site, signedList)) {
            row.outcome = "refused before anything is fetched: " + Quoted(*refusal);
            report_.rows.push_back(std::move(row));
            continue;
        }
        const ReleaseAddress address = ReleaseAddressOf(site, entry.URL);
        row.via = address.via == ReleaseAddress::Via::kWeb ? "web" : "FTP";
        if (list.sites.empty()) {
            row.fetches = "the site of the list read before, if any, then " + entry.URL;
        } else {
            row.fetches = address.via == ReleaseAddress::Via::kWeb ? address.url
                                                                    : "ftp://" + address.server + address.path;
        }
        const DownloadBound bound = ReleaseBound(entry, signedList);
        row.size = bound.exact ? "exactly " + std::to_string(*bound.exact) + " bytes (the signed Size)"
                               : "at most " + std::to_string(bound.most) + " bytes";
        if (input_.revision) {
            row.question = QuestionBeforeDownload(*input_.revision, entry.Version, false).text;
        } else {
            row.question = "(give --revision: older and the same releases are asked about)";
        }
        if (entry.SHA256.empty()) {
            row.digest = "not checked: the list gives none";
        } else if (const std::optional<Sha256::Digest> digest = ParseDigest(entry.SHA256)) {
            row.digest = "checked against " + ToHex(*digest);
        } else {
            row.digest = "no digest: every file fails the check";
        }
        if (!ParseDigest(entry.SHA256) && !entry.SHA256.empty()) {
            row.outcome = "deleted after the download, not started: " + Quoted(kNotListedFile);
        } else if (NamesAProgram(entry.URL)) {
            row.outcome = std::string("started as ") + kFirmwareFile + " after " + Quoted(kDownloaded);
        } else {
            row.outcome = "left to update by hand: " + Quoted(kDownloaded) + ", then " + Quoted(kUpdateManually);
        }
        report_.rows.push_back(std::move(row));
    }
}

void Checker::Run() {
    CheckRequest();
    listRefused_ = !CheckSignature();
    reading_ = ReadSavedList(input_.list, input_.codePage.ForReading(lacking_), document_);
    if (reading_.outcome == ListReading::Outcome::kNotOpened) return;  // the tool reads the file itself
    if (input_.list.state == SavedList::State::kTooLarge) {
        Add("list-too-large", Severity::kError, "", -1,
            "the list is larger than " + std::to_string(kMaxListSize) +
                " bytes: the program stops its download there, shows " +
                Quoted(FormatText(NIMBREL_TEXT_BOUND_TOO_LARGE, std::to_string(kMaxListSize))) + " and then " +
                Quoted(kCannotOpen));
        return;
    }
    CheckEncoding();
    if (reading_.outcome == ListReading::Outcome::kNotLoaded) {
        Add("text-cut-short", Severity::kError, "", -1,
            "a zero byte ends the text long before the end of the file: the program shows " + Quoted(kCannotLoad));
        return;
    }
    if (document_.Text().empty() && !reading_.corrupt) {
        Add("list-empty", Severity::kError, "", -1,
            "the list is empty, or only a byte-order mark: the program shows no rows and no message");
        return;
    }
    if (reading_.corrupt) {
        Add("parse-error", Severity::kError, "", document_.LastErrorOffset(),
            "the document does not parse (" + ParserMessage() + "): the program shows " + Quoted(kListCorrupt));
        return;
    }
    CheckStructure();
    CheckReleases();
    if (!listRefused_) PlanRows();
}

}  // namespace

std::string HexEscaped(const std::string& text, char mark, bool (*keep)(unsigned char)) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep(byte)) {
            out += c;
        } else {
            out += mark;
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        }
    }
    return out;
}

std::string EscapeForRequest(const std::string& text) {
    return HexEscaped(text, '%', [](unsigned char byte) { return byte > 0x20 && byte < 0x7F; });
}

std::optional<std::string> ReadAtMost(const std::string& path, size_t most) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes(most, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(most));
    if (file.bad()) return std::nullopt;
    bytes.resize(static_cast<size_t>(file.gcount()));
    return bytes;
}

std::string RequestTarget(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t path = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return path == std::string::npos ? "/" : url.substr(path);
}

std::string WineRequestTarget(const std::string& url) {
    std::string target = RequestTarget(url);
    target.erase(target.find_last_not_of(' ') + 1);
    return EscapeForRequest(target);
}

CheckReport CheckList(const CheckInput& input) {
    CheckReport report;
    Checker(input, report).Run();
    return report;
}

int ExitStatusOf(const CheckReport& report) {
    int status = 0;
    for (const Finding& finding : report.findings) {
        status = std::max(status, finding.severity == Severity::kError ? 2 : 1);
    }
    return status;
}
