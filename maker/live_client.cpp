#include "maker/live_client.h"

#include <curl/curl.h>

#include "maker/list_check.h"
#include "transfer/redirect_rule.h"

namespace {

// The body, up to the bound: one byte more stops the transfer.
struct Sink {
    LiveAnswer& answer;
    uint64_t bound;
};

size_t Take(char* data, size_t size, size_t count, void* user) {
    Sink& sink = *static_cast<Sink*>(user);
    const size_t bytes = size * count;
    const uint64_t room = sink.bound - sink.answer.body.size();
    if (bytes > room) {
        sink.answer.body.append(data, static_cast<size_t>(room));
        sink.answer.beyondBound = true;
        return 0;  // libcurl stops with CURLE_WRITE_ERROR
    }
    sink.answer.body.append(data, bytes);
    return bytes;
}

class Easy {
public:
    Easy() : handle_(curl_easy_init()) {}
    ~Easy() {
        if (handle_ != nullptr) curl_easy_cleanup(handle_);
    }
    Easy(const Easy&) = delete;
    Easy& operator=(const Easy&) = delete;
    CURL* Get() const { return handle_; }

private:
    CURL* handle_;
};

// Runs one transfer of `url` into `answer` (its body, status and length afresh); false
// with answer.failure when it failed for another reason than the bound.
bool Perform(CURL* curl, const std::string& url, const char* protocols, uint64_t bound, LiveAnswer& answer) {
    answer.body.clear();
    answer.beyondBound = false;
    answer.announced.reset();
    answer.status = 0;
    Sink sink{answer, bound};
    char error[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Take);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    // A server that stops sending for a minute has failed.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0) {
        answer.announced = static_cast<uint64_t>(length);
    }
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && answer.beyondBound)) return true;
    answer.failure = error[0] != '\0' ? error : curl_easy_strerror(code);
    return false;
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

std::string LiveAnswer::Summary() const {
    if (!failure.empty()) return "failed: " + failure;
    std::string text = std::to_string(status);
    if (status == 200 || status == 226) {
        text += ", " + std::to_string(body.size()) + (beyondBound ? "+" : "") + " bytes";
        if (announced) text += " (announced " + std::to_string(*announced) + ")";
    }
    return text;
}

LiveClient::LiveClient() { curl_global_init(CURL_GLOBAL_DEFAULT); }
LiveClient::~LiveClient() { curl_global_cleanup(); }

std::string LiveClient::Version() {
    // "libcurl/7.88.1 OpenSSL/3.0.15 zlib/... ": the library and its TLS.
    const std::string version = curl_version();
    const size_t second = version.find(' ');
    return version.substr(0, second == std::string::npos ? second : version.find(' ', second + 1));
}

LiveAnswer LiveClient::Get(const std::string& origin, const std::string& target, bool toAnyHost, uint64_t bound) {
    LiveAnswer answer;
    answer.target = target;
    const std::optional<UrlPlace> asked = PlaceOfUrl(origin);
    // libcurl refuses a blank in an address: the first target goes as it is beside
    // an escaped address, which only places it and resolves a relative redirect. The
    // target would stick to every hop, so redirects are followed here, one by one.
    std::string url = origin + EscapeForRequest(target);
    for (int hop = 0;; ++hop) {
        Easy easy;
        if (easy.Get() == nullptr) {
            answer.failure = "libcurl could not start";
            return answer;
        }
        if (hop == 0) curl_easy_setopt(easy.Get(), CURLOPT_REQUEST_TARGET, target.c_str());
        curl_easy_setopt(easy.Get(), CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        if (!Perform(easy.Get(), url, "http,https", bound, answer)) return answer;
        char* location = nullptr;
        curl_easy_getinfo(easy.Get(), CURLINFO_REDIRECT_URL, &location);
        // The Internet library follows redirects to web addresses only; any other
        // answer is the answer.
        const std::optional<UrlPlace> next = location != nullptr ? PlaceOfUrl(location) : std::nullopt;
        if (!IsRedirect(answer.status) || !next || next->scheme == UrlPlace::Scheme::kOther) break;
        if (hop == kMaxRedirects) {
            answer.failure = "more than " + std::to_string(kMaxRedirects) + " redirects";
            return answer;
        }
        answer.redirects.push_back(std::to_string(answer.status) + " to " + location);
        url = location;
    }
    const std::optional<UrlPlace> answered = PlaceOfUrl(url);
    answer.refusedPlace = !asked || !answered || !AnswerFromAllowedPlace(*asked, *answered, toAnyHost);
    return answer;
}

LiveAnswer LiveClient::GetFtp(const std::string& host, const std::string& path, uint64_t bound) {
    LiveAnswer answer;
    answer.target = path;
    Easy easy;
    if (easy.Get() == nullptr) {
        answer.failure = "libcurl could not start";
        return answer;
    }
    // The whole path in one RETR, as the program sends it: no CWD, "%2F" for its "/".
    std::string url = "ftp://" + host + "/%2F";
    for (size_t at = path.empty() || path[0] != '/' ? 0 : 1; at <= path.size();) {
        const size_t end = std::min(path.find('/', at), path.size());
        char* segment = curl_easy_escape(easy.Get(), path.data() + at, static_cast<int>(end - at));
        if (segment == nullptr) {
            answer.failure = "libcurl could not escape the path";
            return answer;
        }
        url += segment + std::string(end < path.size() ? "/" : "");
        curl_free(segment);
        at = end + 1;
    }
    curl_easy_setopt(easy.Get(), CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    Perform(easy.Get(), url, "ftp", bound, answer);
    return answer;
}
