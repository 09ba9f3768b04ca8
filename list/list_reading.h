// A saved update list as "Check updates" reads it: the file's bytes (no more than
// kMaxListSize), the document text (ANSI, or UTF-16 after FF FE converted to the users'
// code page), the parse and the walk. The system's part comes in from outside: the
// program reads the file with its file class and takes the code page from Windows, the
// makers' tool reads the file with the C++ library and takes a code page it is given.
#pragma once

#include <string>

#include "list/update_list.h"
#include "xml/xml_document.h"
#include "xml/xml_scan.h"

// The users' ANSI code page: its lead bytes, and the conversion of UTF-16 text to it.
struct AnsiCodePage {
    LeadByteTable leadBytes = NoLeadBytes();
    Utf16ToAnsi toAnsi;
};

// What the saved file gave: its bytes, read only when it is no longer than kMaxListSize.
struct SavedList {
    enum class State { kNotOpened, kTooLarge, kRead };
    State state = State::kNotOpened;
    std::string bytes;
};

struct ListReading {
    enum class Outcome {
        kNotOpened,  // "Unable to open file."
        kNotLoaded,  // "Error loading file and conventing it to string.": too large, or cut short by a zero byte
        kRead,
    };
    Outcome outcome = Outcome::kNotOpened;
    // A text that does not parse: "Imported XML file is corrupt, ...", and no rows. An
    // empty one (a download cancelled before its answer) is no list at all.
    bool corrupt = false;
    UpdateList list;  // the walk, within the slots; empty unless kRead
};

// Reads `file` into `document` (with the code page's lead bytes) and walks it.
ListReading ReadSavedList(const SavedList& file, const AnsiCodePage& codePage, XmlDocument& document);
