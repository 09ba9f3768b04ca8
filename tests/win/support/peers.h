// Servers that tests/peers/run_with_peers.py started beside this test program
// (nimbrel_win_test(... PEERS ...)).
#pragma once

#include <string>

// The port of the peer started as `name`; 0 when there is none (the program was
// not started through run_with_peers.py).
unsigned PeerPort(const std::string& name);

// The scratch folder that the peers share (their roots, their logs), as a Windows
// path; empty when there is none.
std::string PeerScratch();
