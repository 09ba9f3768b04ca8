// The HTTP download dialog behind a proxy that asks for a login (407). Wine's WinInet
// reads its proxy from http_proxy once per process, so this program runs with
// http_proxy naming the HTTP peer, which serves as the proxy as well.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win/transfer/http_dialog_probe.h"

namespace {

using HttpProxyLogin = HttpPeerTest;

TEST_F(HttpProxyLogin, LoginIsAskedForAndRetried) {
    struct Case {
        const char* what;
        bool logIn;
        INT_PTR result;
        std::vector<std::string> boxes;
    } cases[] = {
        // Regression: a dismissed login ended as a success with an empty file.
        {"dismissed", false, IDCANCEL,
         {"Failed to receive a valid HTTP response from the server, Response Code:407"}},
        {"typed", true, IDOK, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        User user;
        user.logIn = c.logIn;
        const Outcome seen = RunDownload({Url("/auth/407?size=3000")}, user);
        EXPECT_EQ(seen.result, c.result);
        EXPECT_EQ(seen.logins, std::vector<std::string>{kProxyLogin});
        EXPECT_EQ(seen.boxes, c.boxes);
        if (c.result == IDOK) {
            EXPECT_TRUE(FileHolds(kLocalFile, Generated(3000)));
        } else {
            EXPECT_FALSE(FileExists(kLocalFile));
        }
        EXPECT_EQ(seen.endMessages, 1);
        DeleteFileA(kLocalFile);
    }
}

}  // namespace
