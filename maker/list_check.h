// What the program will make of an update list, for the maker who publishes it: the
// request it sends for a drive, the rows it shows, what "Update selected" does with
// each release, and findings where it does what a maker would not expect. It reads
// the list with the program's own reader and decides with the program's own rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "list/list_reading.h"
#include "maker/code_page.h"

enum class Severity {
    kWarning,  // it works, but not as a maker would expect
    kError,    // the program shows nothing, refuses, or reads what the maker did not mean
};

struct Finding {
    std::string id;       // stable: scripts may rely on it
    Severity severity;
    std::string element;  // "Firmware 3 (Version 1.10)", "Ftp", "the signature"; "" for the whole list
    int line = 0;         // of the list, 0 when none applies
    std::string message;  // what is wrong, and what the user will see
};

struct CheckInput {
    std::string listName;        // for the report
    SavedList list;              // the list's bytes as the server would send them, read as the program reads them
    std::string identification;  // the drive's 8 vendor and 16 product characters
    std::optional<std::string> revision;  // the 4 characters the drive reports
    std::string server;          // the update-list server the program was built with
    std::vector<std::string> keyLines;    // the maker's public key lines; none: the list is not signed
    std::optional<std::string> signature;  // the .minisig text, when keys are given
    int64_t now = 0;             // Unix seconds, for issued and expires
    CodePage codePage = CodePage::Default();
};

// What "Update selected" does with one row.
struct RowPlan {
    std::string version, release;  // as the row shows them
    std::string fetches;           // the address of the file, or "" when refused
    std::string via;               // "FTP" or "web"
    std::string digest;            // "checked", "not checked", or why the check fails
    std::string size;              // what bounds the download
    std::string question;          // the question asked before the download, "" for none
    std::string outcome;           // "started", "left to update by hand", or "refused: <text>"
    std::string fetched;           // with --fetch: what came of downloading it
};

// One request to a live server (nimbrel-list check --server) and what came back.
struct Exchange {
    std::string what;                    // "the list, as Wine's WinInet asks for it", ...
    std::string target;                  // the request line's target, as sent
    std::vector<std::string> redirects;  // each followed: "302 to <address>"
    std::string outcome;                 // "200, 2245 bytes", "400", "failed: ...", "refused: ..."
};

struct CheckReport {
    std::string request;             // the address the program builds
    std::string wineRequestTarget;   // the request line's target as Wine's WinInet sends it
    std::optional<std::string> makerRefusal;  // the box a drive without the maker's name gets; no request
    std::string signature;           // what came of the signature ("" without keys)
    std::string projectName, hostVersion;
    std::vector<RowPlan> rows;       // as the list shows them
    std::string site;                // what "Update selected" uses, and how
    std::vector<Finding> findings;   // in the order of the list; a live server's first
    std::vector<Exchange> exchanges;  // with a live server
    std::string client;              // with a live server: what asked it, and how that differs from the program
};

CheckReport CheckList(const CheckInput& input);

// The target of an address's request line: its path and query, as they stand.
std::string RequestTarget(const std::string& url);
// That target as Wine's WinInet sends the program's address: trailing blanks dropped,
// inner ones (and any byte that is no visible ASCII) as %XX.
std::string WineRequestTarget(const std::string& url);
// `text` with every byte that `keep` refuses written as `mark` and two upper-case
// hexadecimal digits.
std::string HexEscaped(const std::string& text, char mark, bool (*keep)(unsigned char));
// Bytes that cannot stand in a request line as they are (blanks, control and non-ASCII
// bytes) as %XX; all else as it stands.
std::string EscapeForRequest(const std::string& text);

// At most `most` bytes of a file; none when it cannot be read.
std::optional<std::string> ReadAtMost(const std::string& path, size_t most);

// 0 without findings, 1 with warnings only, 2 with errors.
int ExitStatusOf(const CheckReport& report);
