// The document as the Windows program builds it: lead bytes from the system's
// code-page tables through the one-line table helper.
#include <windows.h>

#include <gtest/gtest.h>

#include "xml/xml_document.h"

namespace {

TEST(XmlDocumentOnWindows, LeadBytesOfCodePage950ComeFromTheSystem) {
    const LeadByteTable table = MakeLeadByteTable([](unsigned char b) { return IsDBCSLeadByteEx(950, b) != FALSE; });
    EXPECT_FALSE(table[0x5C]);
    EXPECT_TRUE(table[0x81]);
    EXPECT_TRUE(table[0xB3]);
    EXPECT_TRUE(table[0xFE]);

    XmlDocument doc(table);
    ASSERT_TRUE(doc.Parse("<OnlineUpdate><Project Name=\"\xB3\x5C\xA5\x5C\"><Ftp><Site>\xB3\x5C.example</Site>"
                          "</Ftp></Project></OnlineUpdate>"))
        << doc.LastError();
    ASSERT_TRUE(doc.FindElement("OnlineUpdate") && doc.StepInto() && doc.FindElement("Project"));
    EXPECT_EQ(doc.GetAttribute("Name"), "\xB3\x5C\xA5\x5C");
    ASSERT_TRUE(doc.FindChild("Ftp") && doc.StepInto() && doc.FindChild("Site"));
    EXPECT_EQ(doc.GetChildText(), "\xB3\x5C.example");
}

TEST(XmlDocumentOnWindows, AnsiCodePageTableBuilds) {
    // Whatever the prefix's code page is, the table is built and a list parses with it.
    XmlDocument doc(MakeLeadByteTable([](unsigned char b) { return IsDBCSLeadByte(b) != FALSE; }));
    EXPECT_TRUE(doc.Parse("<a x='1'/>"));
    EXPECT_TRUE(doc.FindElement("a"));
    EXPECT_EQ(doc.GetAttribute("x"), "1");
}

}  // namespace
