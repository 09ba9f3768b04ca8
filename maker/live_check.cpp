#include "maker/live_check.h"

#include <algorithm>
#include <utility>

#include "digest/sha256.h"
#include "framework/text_format.h"
#include "list/list_signature.h"
#include "list/list_texts.h"
#include "list/release_decisions.h"
#include "list/update_list.h"
#include "transfer/bound_texts.h"
#include "transfer/http_texts.h"
#include "xml/xml_document.h"

namespace {

using namespace list_text;

// WinInet's ERROR_HTTP_REDIRECT_FAILED: the dialog reports a redirect its rule refuses so.
constexpr char kRedirectRefusedCode[] = "12156";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Outcome(const LiveAnswer& answer) {
    if (answer.refusedPlace) return "refused: the redirects end where the program takes no answer from";
    return answer.Summary();
}

// What the HTTP dialog shows for an answer that is not the file.
std::string DialogShows(const LiveAnswer& answer) {
    if (answer.refusedPlace) return Quoted(FormatText(NIMBREL_TEXT_HTTP_ERROR_CONNECT, kRedirectRefusedCode));
    if (!answer.failure.empty()) {
        return Quoted(FormatText(NIMBREL_TEXT_HTTP_ERROR_CONNECT, "<the system's code>"));
    }
    const std::string status = Quoted(FormatText(NIMBREL_TEXT_HTTP_ERROR_STATUS, std::to_string(answer.status)));
    return answer.status == 401 || answer.status == 407 ? "the system's login dialog, then " + status : status;
}

std::string FirmwareName(size_t index, const FirmwareEntry& entry) {
    return "Firmware " + std::to_string(index + 1) +
           (entry.Version.empty() ? "" : " (Version " + Quoted(entry.Version) + ")");
}

class LiveChecker {
public:
    LiveChecker(CheckInput& input, const LiveCheck& live, LiveClient& client)
        : input_(input), live_(live), client_(client) {}

    CheckReport Run();

private:
    void Add(const char* id, Severity severity, std::string element, std::string message) {
        found_.push_back({id, severity, std::move(element), 0, std::move(message)});
    }
    LiveAnswer Ask(const std::string& what, const std::string& target, uint64_t bound);
    void CheckRawBlanks(const std::string& listUrl, const std::string& signatureUrl, const LiveAnswer& list);
    void FetchReleases(CheckReport& report);

    CheckInput& input_;
    const LiveCheck& live_;
    LiveClient& client_;
    std::string origin_;
    std::vector<Exchange> exchanges_;
    std::vector<Finding> found_;
};

LiveAnswer LiveChecker::Ask(const std::string& what, const std::string& target, uint64_t bound) {
    LiveAnswer answer = client_.Get(origin_, target, false, bound);
    exchanges_.push_back({what, target, answer.redirects, Outcome(answer)});
    return answer;
}

void LiveChecker::CheckRawBlanks(const std::string& listUrl, const std::string& signatureUrl, const LiveAnswer& list) {
    // One byte past each bound says that the answer is beyond it.
    const LiveAnswer rawList =
        Ask("the list, with raw blanks (as Windows' WinInet may send it)", RequestTarget(listUrl), kMaxListSize + 1);
    const LiveAnswer rawSignature =
        Ask("its signature, with raw blanks", RequestTarget(signatureUrl), kMaxListSignatureSize + 1);
    const bool signedList = !input_.keyLines.empty();
    if (!list.Ok()) return;  // told of as it is
    if (!rawList.Ok() || (signedList && !rawSignature.Ok())) {
        const LiveAnswer& failed = rawList.Ok() ? rawSignature : rawList;
        Add("server-raw-blanks-refused", Severity::kWarning, "",
            "with the model name's blanks raw the request comes back " + Outcome(failed) +
                ": a program whose Internet library sends them so (Windows' WinInet may) lists nothing and shows " +
                DialogShows(failed) +
                (failed.status == 400 ? "; nginx 1.21.1 and later answer 400 to any request line holding a raw "
                                        "blank, before their configuration is read"
                                      : ""));
    } else if (rawList.body != list.body) {
        Add("server-forms-differ", Severity::kWarning, "",
            "the server answers the model name with raw blanks with another list than with %20: users see "
            "different releases depending on their Windows");
    }
}

void LiveChecker::FetchReleases(CheckReport& report) {
    XmlDocument document;
    AnsiText lacking;
    const ListReading reading = ReadSavedList(input_.list, input_.codePage.ForReading(lacking), document);
    const UpdateList& list = reading.list;
    const std::string site = list.sites.empty() ? std::string() : list.sites[0];
    const bool signedList = !input_.keyLines.empty();
    for (size_t i = 0; i < report.rows.size() && i < list.firmware.size(); ++i) {
        RowPlan& row = report.rows[i];
        const FirmwareEntry& entry = list.firmware[i];
        if (row.fetches.empty()) {
            row.fetched = "not fetched: the program refuses it";
            continue;
        }
        const ReleaseAddress address = ReleaseAddressOf(site, entry.URL);
        const DownloadBound bound = ReleaseBound(entry, signedList);
        // One byte past the bound says that the file goes on beyond it.
        const uint64_t most = bound.most + 1;
        const LiveAnswer got =
            address.via == ReleaseAddress::Via::kWeb
                ? client_.Get(address.url.substr(0, address.url.size() - RequestTarget(address.url).size()),
                              EscapeForRequest(RequestTarget(address.url)), true, most)
                : client_.GetFtp(address.server, address.path, most);
        const std::string name = FirmwareName(i, entry);
        row.fetched = Outcome(got);
        for (const std::string& redirect : got.redirects) row.fetched += ", after " + redirect;
        if (!got.Ok()) {
            Add("release-not-fetched", Severity::kError, name,
                row.fetches + ": " + Outcome(got) + ": the program's download fails" +
                    (address.via == ReleaseAddress::Via::kWeb ? " and shows " + DialogShows(got) : std::string()));
            continue;
        }
        const uint64_t size = got.body.size();
        if (size > bound.most) {
            Add("release-beyond-bound", Severity::kError, name,
                "the file is larger than " + std::to_string(bound.most) + " bytes: the program stops its download and "
                "shows " + Quoted(FormatText(NIMBREL_TEXT_BOUND_TOO_LARGE, std::to_string(bound.most))));
            continue;
        }
        const std::optional<uint64_t> listed = ListedSize(entry.Size);
        if (bound.exact && size != *bound.exact) {
            Add("release-size-differs", Severity::kError, name,
                "the file has " + std::to_string(size) + " bytes, the signed Size " + entry.Size +
                    ": the program's download fails and shows " +
                    Quoted(FormatText(size < *bound.exact ? NIMBREL_TEXT_BOUND_SHORTER : NIMBREL_TEXT_BOUND_LONGER,
                                      entry.Size, std::to_string(size))));
        } else if (listed && *listed != size) {
            Add("release-size-differs", Severity::kWarning, name,
                "the file has " + std::to_string(size) + " bytes, not the listed " + entry.Size +
                    ": the program does not hold an unsigned list's Size to the file, a signed one's it does");
        }
        Sha256 hash;
        hash.Update(got.body.data(), got.body.size());
        const Sha256::Digest digest = hash.Finish();
        row.fetched += ", SHA-256 " + ToHex(digest);
        // A listed value that is no digest is told of already (sha256-malformed).
        if (ParseDigest(entry.SHA256) && !IsTheListedFile(entry.SHA256, digest)) {
            Add("release-not-listed-file", Severity::kError, name,
                "the file's SHA-256 is " + ToHex(digest) + ", not the listed " + entry.SHA256 +
                    ": the program deletes it, starts nothing and shows " + Quoted(kNotListedFile));
        }
    }
}

CheckReport LiveChecker::Run() {
    CheckReport report;
    input_.server = live_.server;
    if (!NamesTheMaker(input_.identification)) {
        input_.list = {};
        return CheckList(input_);  // no request: the maker's finding alone
    }
    const std::string model = ModelNameOf(input_.identification);
    const std::string listUrl = UpdateListUrl(live_.server, model);
    const std::string signatureUrl = ListSignatureUrl(live_.server, model);
    origin_ = listUrl.substr(0, listUrl.size() - RequestTarget(listUrl).size());
    const LiveAnswer list =
        Ask("the list, as Wine's WinInet asks for it", WineRequestTarget(listUrl), kMaxListSize + 1);
    const LiveAnswer signature =
        Ask("its signature, as Wine's WinInet asks for it", WineRequestTarget(signatureUrl), kMaxListSignatureSize + 1);
    if (WineRequestTarget(listUrl) != RequestTarget(listUrl)) CheckRawBlanks(listUrl, signatureUrl, list);

    const bool signedList = !input_.keyLines.empty();
    input_.list = {};
    if (!list.Ok()) {
        Add(list.refusedPlace ? "server-redirect-refused" : "server-list-failed", Severity::kError, "",
            "the list as Wine's WinInet asks for it: " + Outcome(list) + ": the program shows " + DialogShows(list) +
                " and then " + Quoted(kCannotOpen) + ", and lists nothing");
    } else {
        input_.list.state = list.body.size() > kMaxListSize ? SavedList::State::kTooLarge : SavedList::State::kRead;
        input_.list.bytes = list.body;
    }
    input_.signature.reset();
    if (signature.Ok()) {
        input_.signature = signature.body;
    } else if (signedList && list.Ok()) {
        Add(signature.refusedPlace ? "server-redirect-refused" : "server-signature-failed", Severity::kError,
            "the signature",
            "as Wine's WinInet asks for it: " + Outcome(signature) + ": the program shows " + DialogShows(signature) +
                " and then " + Quoted(RefusalText(ListVerdict::kNotSignedByMaker)) + ", and lists nothing");
    }
    if (!list.Ok()) {
        // No list, nothing to hold a signature to: the request alone.
        CheckInput none = input_;
        none.keyLines.clear();
        report = CheckList(none);
        if (signedList) report.signature = "not checked: no list came";
    } else {
        report = CheckList(input_);
    }
    // A signature that did not come is told above, with what came instead.
    if (signedList && !signature.Ok()) {
        report.findings.erase(std::remove_if(report.findings.begin(), report.findings.end(),
                                             [](const Finding& finding) { return finding.id == "signature-missing"; }),
                              report.findings.end());
    }
    found_.insert(found_.end(), report.findings.begin(), report.findings.end());
    if (live_.fetch) FetchReleases(report);
    report.findings = std::move(found_);
    report.exchanges = std::move(exchanges_);
    report.client = "libcurl (" + LiveClient::Version() +
                    "), not WinInet: its FTP (EPSV, SIZE) is not the program's (PASV, a listing of the folder, then "
                    "active mode), and its TLS verdicts (OpenSSL's, against this machine's authorities) are not "
                    "those of the floor systems' WinInet";
    return report;
}

}  // namespace

CheckReport CheckLiveServer(CheckInput input, const LiveCheck& live, LiveClient& client) {
    return LiveChecker(input, live, client).Run();
}
