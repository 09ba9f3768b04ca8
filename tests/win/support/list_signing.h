// Signed update lists in the tests: the keys the programs trust, how the list peer
// (tests/peers/http/http_server.py with --sign-key and --key-dir) signs, and what the
// programs remember of the lists they accepted.
#pragma once

#include <cstdint>
#include <string>

// What the user is told of a list that was not verified.
inline constexpr char kListNotSigned[] = "The update list could not be verified: it was not signed by the maker.";
inline constexpr char kListExpired[] =
    "The update list could not be verified: it has expired. Please check the computer's date, or try again later.";
inline constexpr char kListOlder[] = "The update list could not be verified: it is older than the one received before.";
// ... and of a release of a verified list that has no SHA256.
inline constexpr char kReleaseNotCheckable[] =
    "This release cannot be checked: the update list gives no SHA-256 for it. It was not downloaded.";

// The test tree's list key (the second line of build/<tree>/list-key/minisign.pub,
// made by scripts/build): the signed programs have it, the list peers sign with it.
std::string TestListKey();

// The public key line of the list peer's key pair `name` (made when first named).
std::string PeerListKey(int port, const std::string& name);

// Tells the list peer how to sign from now on: its /_signing settings, "" for a good
// signature with the test key. False when it refused them.
bool SetListSigning(int port, const std::string& settings = {});

// Forgets the lists accepted before (HKEY_CURRENT_USER\Software\Nimbrel\Lists): the
// Wine prefix outlives a run.
void ForgetAcceptedLists();

// The clock, in Unix seconds.
int64_t UnixNow();
