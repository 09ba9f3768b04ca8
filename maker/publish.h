// nimbrel-list publish: a folder of update lists, one per model, checked with the
// program's own reader and rules and written out as a static tree with an nginx
// configuration that answers the program's requests for each model.
//
// A list's file is "<model name>.xml", its signature "<model name>.xml.minisig"; in
// the file name "%XX" stands for the byte XX, so that a model name with "/" can be
// named ("DVD+R%2FRW XR-1.xml"). Published: OUT/lists/ (each model's list and
// signature under a name of safe characters), OUT/nginx-http.conf (a map from the
// ModelName argument, as clients send it, to those names; for nginx's http level) and
// OUT/nginx-server.conf (the two locations the program asks; for the server block).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "maker/code_page.h"
#include "maker/live_client.h"

struct PublishInput {
    std::string lists, out;
    std::string servedFrom;  // where OUT lies on the web server; "" for OUT itself
    std::vector<std::string> keyLines;  // the maker's; none: the lists are not signed
    int64_t now = 0;
    CodePage codePage = CodePage::Default();
    std::optional<std::string> server;  // the live server, whose signatures are compared too
};

// Tells what it finds and does on `out`. Answers the exit status: 0 published, 1
// published with warnings, 2 refused (nothing written), 66 LISTS cannot be read, 73
// OUT cannot be written.
int Publish(const PublishInput& input, LiveClient& client, std::ostream& out);

