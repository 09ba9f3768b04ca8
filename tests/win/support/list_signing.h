// Signed update lists in the tests: the keys the programs trust, how the list peer
// (tests/peers/http/http_server.py --sign-key --key-dir {scratch}/keys) signs, and
// what the programs remember in the registry of the lists they accepted and the
// updates they started.
#pragma once

#include <string>

inline constexpr char kListNotSigned[] = "The update list could not be verified: it was not signed by the maker.";
inline constexpr char kListExpired[] =
    "The update list could not be verified: it has expired. Please check the computer's date, or try again later.";
inline constexpr char kListOlder[] = "The update list could not be verified: it is older than the one received before.";
inline constexpr char kReleaseNotCheckable[] =
    "This release cannot be checked: the update list gives no SHA-256 for it. It was not downloaded.";

// The test tree's list key, which the signed programs have (build/<tree>/list-key,
// made by scripts/build), and the list peer's key pairs "second" and "wrong".
std::string TestListKey();
std::string PeerListKey(const std::string& name);

// Tells the list peer how to sign from now on: its /_signing settings, "" for a good
// signature with the test key. False when it did not answer.
bool SetListSigning(int port, const std::string& settings = {});

// Forgets the lists accepted before (HKEY_CURRENT_USER\Software\Nimbrel\Lists): the
// Wine prefix outlives a run.
void ForgetAcceptedLists();
// Forgets the updates started before (HKEY_CURRENT_USER\Software\Nimbrel\Updates),
// which a program would otherwise report on at its start.
void ForgetStartedUpdates();
