// The users' ANSI code page, as a maker's machine can stand in for it: the lead bytes
// of the double-byte code pages (the published ranges of 932, 936, 949 and 950) and
// the conversion of a UTF-16 list, through glibc's iconv. iconv maps the characters a
// code page has as Windows does; Windows' best-fit look-alikes (an accented letter
// sent to its plain one) are not made, so such a character counts as lacking here.
#pragma once

#include <optional>
#include <string>

#include "list/list_reading.h"
#include "xml/xml_scan.h"

struct AnsiText {
    std::string text;
    size_t lacking = 0;  // characters the code page lacks, each its default character "?"
    std::u16string firstLacking;  // the first of them, for the report
};

class CodePage {
public:
    // None for a number that is no Windows ANSI code page iconv knows.
    static std::optional<CodePage> Of(int number);
    // 1252, Western European: the ANSI code page of most users.
    static CodePage Default() { return *Of(1252); }

    int Number() const { return number_; }
    const LeadByteTable& LeadBytes() const { return leadBytes_; }
    // UTF-16 text (no zero code unit) in this code page; a lone surrogate lacks too.
    AnsiText FromUtf16(const std::u16string& wide) const;
    // The code page as the list's reading takes it; each conversion adds the characters
    // it lacked to `lacking` (which must outlive the reading).
    AnsiCodePage ForReading(AnsiText& lacking) const;

private:
    CodePage(int number, std::string iconvName, LeadByteTable leadBytes)
        : number_(number), iconvName_(std::move(iconvName)), leadBytes_(leadBytes) {}

    int number_;
    std::string iconvName_;
    LeadByteTable leadBytes_;
};
