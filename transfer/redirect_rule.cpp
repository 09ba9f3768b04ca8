#include "transfer/redirect_rule.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<UrlPlace> PlaceOfUrl(const std::string& url) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) c = Lower(c);
    const size_t start = colon + 3;
    std::string authority = url.substr(start, url.find_first_of("/?#\\", start) - start);
    if (const size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    UrlPlace place;
    place.scheme = scheme == "https" ? UrlPlace::Scheme::kHttps
                   : scheme == "http" ? UrlPlace::Scheme::kHttp
                                      : UrlPlace::Scheme::kOther;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        place.host = authority.substr(1, close - 1);
    } else {
        place.host = authority.substr(0, authority.find(':'));
    }
    if (place.host.empty()) return std::nullopt;
    return place;
}

bool AnswerFromAllowedPlace(const UrlPlace& asked, const UrlPlace& answered, bool toAnyHost) {
    const bool askedSecure = asked.scheme == UrlPlace::Scheme::kHttps;
    if (answered.scheme != UrlPlace::Scheme::kHttps) return !askedSecure;
    return toAnyHost || SameNoCase(answered.host, asked.host);
}
