// The updates the program started, remembered per drive under
// HKEY_CURRENT_USER\Software\Nimbrel\Updates (the records of app/update_record.h).
#pragma once

#include <string>
#include <vector>

struct StoredUpdate {
    std::string name;
    std::string data;  // empty for a value that is not text
};

// Writes the record `data` as value `name`, replacing one there. A store that cannot
// be written loses nothing but the later check.
void StoreUpdate(const std::string& name, const std::string& data);

// Every value of the store.
std::vector<StoredUpdate> StoredUpdates();

// Deletes value `name`; true when it is gone.
bool ForgetStoredUpdate(const std::string& name);
