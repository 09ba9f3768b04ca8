#include "transfer/redirect_rule.h"

#include <gtest/gtest.h>

namespace {

TEST(RedirectRule, WhereAListAndAReleaseMayComeFrom) {
    struct Case {
        const char* asked;
        const char* answered;  // after the redirects
        bool list, release;    // allowed for a list (the asked host only), for a release (any host)
    } cases[] = {
        {"http://a.example", "http://a.example:81/x", true, true},
        {"http://a.example", "http://b.example/x", true, true},
        {"http://a.example", "HTTPS://A.Example:8443/x", true, true},
        {"http://a.example", "https://b.example/x", false, true},
        {"https://a.example", "https://user:pw@a.example:444/x", true, true},
        {"https://a.example", "https://b.example/x", false, true},
        // Never down from https://, whatever the host.
        {"https://a.example", "http://a.example/x", false, false},
        {"https://a.example", "ftp://a.example/x", false, false},
        {"http://[::1]:8080", "https://[::1]/x", true, true},
        // An answer whose address says no place is taken from nowhere.
        {"http://a.example", "a.example/x", false, false},
        {"http://a.example", "https:///x", false, false},
    };
    for (const Case& c : cases) {
        const std::optional<UrlPlace> asked = PlaceOfUrl(c.asked);
        ASSERT_TRUE(asked) << c.asked;
        const std::optional<UrlPlace> answered = PlaceOfUrl(c.answered);
        EXPECT_EQ(answered && AnswerFromAllowedPlace(*asked, *answered, false), c.list) << c.answered;
        EXPECT_EQ(answered && AnswerFromAllowedPlace(*asked, *answered, true), c.release) << c.answered;
    }
}

}  // namespace
