// Shared by the XML unit tests.
#pragma once

#include <string>

#include "xml/xml_document.h"

// Code page 950 (Traditional Chinese): lead bytes 0x81..0xFE; trail bytes include
// '\\' (0x5C), '[' (0x5B) and ']' (0x5D).
inline LeadByteTable Cp950() {
    return MakeLeadByteTable([](unsigned char b) { return b >= 0x81 && b <= 0xFE; });
}

// The element tree of a parsed document as "a(b,c(d))", names read from the text.
inline std::string Outline(const XmlDocument& doc, int32_t index) {
    std::string out;
    for (int32_t e = index; e != 0; e = doc.Record(e).nextSibling) {
        if (!out.empty()) {
            out += ',';
        }
        TokenCursor cursor = doc.Scanner().Fresh(doc.Record(e).tagStart + 1);
        doc.Scanner().NextToken(cursor);
        out += TokenText(cursor);
        if (doc.Record(e).firstChild != 0) {
            out += '(' + Outline(doc, doc.Record(e).firstChild) + ')';
        }
    }
    return out;
}

inline std::string Outline(const XmlDocument& doc) { return Outline(doc, doc.Record(0).firstChild); }

// A typical update list as the server sends it.
inline const char* UpdateList() {
    return "<?xml version=\"1.0\"?>\r\n"
           "<OnlineUpdate>\r\n"
           " <Project Name=\"CDRW-4832\" Status=\"0\">\r\n"
           "  <Firmware Version=\"1.02\" Release=\"2004/03/01\" Size=\"1048576\" URL=\"fw/v102.exe\"/>\r\n"
           "  <Firmware Version=\"1.05\" Release=\"2004/06/15\" Size=\"1049000\" URL=\"fw/v105.exe\"/>\r\n"
           "  <!-- newest last -->\r\n"
           "  <Firmware Version=\"1.10\" Release=\"2004/11/30\" Size=\"1050112\" URL=\"fw/v110.exe\"></Firmware>\r\n"
           "  <Ftp><Site>ftp1.example.invalid</Site><Site><![CDATA[ftp2.example.invalid]]></Site></Ftp>\r\n"
           " </Project>\r\n"
           "</OnlineUpdate>\r\n";
}
