// nimbrel-list check --server: the maker's live server asked for a drive's list and
// signature as the program asks, what came back checked as a saved list is, and with
// `fetch` every release the program would download fetched from the list's first site
// and held to its SHA256 and Size.
#pragma once

#include <string>

#include "maker/list_check.h"
#include "maker/live_client.h"

struct LiveCheck {
    std::string server;  // as the program's build setting: host[:port], http://host[:port] or https://host[:port]
    bool fetch = false;
};

// `input` as for CheckList, without the list and signature, which come from the server.
CheckReport CheckLiveServer(CheckInput input, const LiveCheck& live, LiveClient& client);
