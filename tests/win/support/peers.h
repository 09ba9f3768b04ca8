// Local peer servers of a test program: CTest starts them through
// tests/peers/run_with_peers.py (nimbrel_win_test(... PEERS "VAR=COMMAND")) and
// hands each one's port over in an environment variable.
#pragma once

#include <string>
#include <vector>

// The port in environment variable `variable`; 0 when it is not set (the program
// was not started through run_with_peers.py).
int PeerPort(const char* variable);

// The scratch folder that the peers share (their roots, their logs), as a Windows
// path; empty when the program was not started through run_with_peers.py.
std::string PeerScratch();

// "http://127.0.0.1:<port><path>".
std::string LoopbackUrl(int port, const std::string& path);

// The body of the answer of the HTTP peer on 127.0.0.1:`port` to "GET `target`" (an
// HTTP/1.0 request, so the answer ends with the connection); empty when none came.
std::string PeerGet(int port, const std::string& target);

// The request lines ("GET /path HTTP/1.1") of an HTTP peer's log of request heads:
// its /_log answer, or the file of its --log.
std::vector<std::string> RequestLines(const std::string& heads);
// Those the peer on 127.0.0.1:`port` received since the last call (its log is cleared).
std::vector<std::string> PeerRequests(int port);

// A port of 127.0.0.1 on which nothing listens (bound, then released).
int UnusedLoopbackPort();

// Sets an environment variable of this process for one scope (nullptr: unset), and
// restores what was there before.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::string previous_;
    bool hadValue_;
};
