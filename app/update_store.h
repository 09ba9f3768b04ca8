// The updates the program started, remembered per drive under
// HKEY_CURRENT_USER\Software\Nimbrel\Updates (the records of list/update_record.h).
#pragma once

#include <string>
#include <vector>

struct StoredUpdate {
    std::string name;
    std::string data;  // empty for a value that is not text
};

// Writes the record `data` as value `name`, replacing one there, and flushes it to the
// disk before it answers. False when it could not be written: that loses nothing but
// the later check.
bool StoreUpdate(const std::string& name, const std::string& data);

// Every value of the store.
std::vector<StoredUpdate> StoredUpdates();

// Deletes value `name`; true only when this call deleted it (of two programs that
// read the same record, one is told true).
bool ForgetStoredUpdate(const std::string& name);
