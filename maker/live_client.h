// Asking a maker's live server as the program does, with libcurl: one GET whose
// request target is sent exactly as given (raw blanks included), redirects followed by
// hand and the answer judged by the program's redirect rule; an FTP download of one
// file, logged in anonymously. libcurl is not WinInet: its FTP (EPSV, SIZE) is not the
// program's (PASV, a listing of the folder, then active mode), and its TLS verdicts
// (OpenSSL's, against this machine's authorities) are not those of the floor systems.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What one request brought back.
struct LiveAnswer {
    std::string target;                  // the first request's target, as sent
    std::vector<std::string> redirects;  // each redirect followed: "302 to <address>"
    long status = 0;                     // of the last answer (an FTP reply code); 0 when none came
    std::optional<uint64_t> announced;   // its length, as the server gave it before the body
    std::string body;                    // at most the bound
    bool beyondBound = false;            // the body went past the bound (and was cut there)
    bool refusedPlace = false;           // the redirects ended where the program does not take an answer from
    std::string failure;                 // why no answer came (libcurl's words); "" when one came

    bool Ok() const { return failure.empty() && !refusedPlace && (status == 200 || status == 226); }
    // "200, 2245 bytes", "404", "failed: ..." (the redirects not included).
    std::string Summary() const;
};

class LiveClient {
public:
    LiveClient();
    ~LiveClient();
    LiveClient(const LiveClient&) = delete;
    LiveClient& operator=(const LiveClient&) = delete;

    // GET `target` from `origin` ("http://host[:port]" or "https://..."), taking at
    // most `bound` bytes of the body. Redirects to http:// or https:// are followed
    // (at most kMaxRedirects), and where they end is judged as the program judges the
    // end of WinInet's: for a list on the asked host only, for a release (`toAnyHost`)
    // anywhere, never down from https://.
    LiveAnswer Get(const std::string& origin, const std::string& target, bool toAnyHost, uint64_t bound);
    // RETR `path` (as it stands, "/" first) from the FTP server `host`, port 21.
    LiveAnswer GetFtp(const std::string& host, const std::string& path, uint64_t bound);
    // "libcurl/7.88.1 OpenSSL/3.0.15".
    static std::string Version();

    static constexpr int kMaxRedirects = 10;
};
