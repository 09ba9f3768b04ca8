// Where the answer to a download may come from once redirects have been followed: the
// rule of the HTTP dialog, which WinInet's own redirects are held to, and of the
// makers' tool, which follows them by hand. Standard C++ only.
#pragma once

#include <optional>
#include <string>

// The scheme and host of an address.
struct UrlPlace {
    enum class Scheme { kHttp, kHttps, kOther };
    Scheme scheme = Scheme::kOther;
    std::string host;  // as written: no user, no port, an IPv6 literal without its brackets
};

// The place of an absolute URL, "scheme://[user[:password]@]host[:port][/...]" (the
// scheme in any letter case); none without a scheme or a host.
std::optional<UrlPlace> PlaceOfUrl(const std::string& url);

// Whether an answer that came from `answered`, after redirects, may be taken for a
// request to `asked`: never down from https:// to anything else; to https:// only on
// the asked host (letter case aside, any port) unless `toAnyHost`; from a plain
// address anywhere but https://. An update list decides what is started, so its secure
// answer is taken only from the host the program was built to ask; a release is held
// to its listed digest, so it may come from any host.
bool AnswerFromAllowedPlace(const UrlPlace& asked, const UrlPlace& answered, bool toAnyHost);
