#include "transfer/redirect_rule.h"

#include <gtest/gtest.h>

namespace {

TEST(RedirectRule, WhereAListAndAReleaseMayComeFrom) {
    struct Case {
        const char* asked;
        const char* answered;  // after the redirects
        bool list, release;    // allowed for a list (the asked host only), for a release (any host)
    } cases[] = {
        {"http://a.example", "HTTPS://user@A.Example:8443/x", true, true},
        {"http://a.example", "https://b.example/x", false, true},
        {"http://a.example", "http://b.example/x", true, true},
        // Never down from https://, whatever the host; no place at all is no answer.
        {"https://[::1]:8080", "http://[::1]/x", false, false},
        {"http://a.example", "https:///x", false, false},
    };
    for (const Case& c : cases) {
        const std::optional<UrlPlace> asked = PlaceOfUrl(c.asked), answered = PlaceOfUrl(c.answered);
        ASSERT_TRUE(asked) << c.asked;
        EXPECT_EQ(answered && AnswerFromAllowedPlace(*asked, *answered, false), c.list) << c.answered;
        EXPECT_EQ(answered && AnswerFromAllowedPlace(*asked, *answered, true), c.release) << c.answered;
    }
}

}  // namespace
