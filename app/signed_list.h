// The maker's signature of an update list, as "Check updates" checks it: fetched from
// the list's server, checked against the program's keys, the clock and the newest
// list accepted before for the model. That newest one is remembered per model under
// HKEY_CURRENT_USER\Software\Nimbrel\Lists: a REG_DWORD of its "issued" time, named
// by the model name without its trailing blanks.
#pragma once

#include <string>
#include <vector>

#include "list/list_signature.h"

// Fetches the signature of `list` (exactly the bytes the server sent for `model`) from
// `server` with the HTTP download dialog, into memory, and checks it against the key
// lines `keyLines` (a line that does not parse verifies nothing). Every failure to
// fetch it is a refusal. A verified list's issued time is remembered for the model.
ListVerdict VerifyUpdateList(const std::string& list, const std::string& server, const std::string& model,
                             const std::vector<std::string>& keyLines);
