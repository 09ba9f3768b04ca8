#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/xml/xml_test_support.h"

namespace {

// The value of attribute name on the document element of xml.
std::string AttributeOfRoot(const std::string& xml, const char* name, const LeadByteTable& lead = NoLeadBytes()) {
    XmlDocument doc(lead);
    EXPECT_TRUE(doc.Parse(xml)) << xml;
    EXPECT_TRUE(doc.FindElement(nullptr));
    return doc.GetAttribute(name);
}

// The text of the first child of a wrapper element around content.
std::string ChildText(const std::string& content, const LeadByteTable& lead = NoLeadBytes()) {
    XmlDocument doc(lead);
    EXPECT_TRUE(doc.Parse("<r>" + content + "</r>")) << content;
    EXPECT_TRUE(doc.FindChild(nullptr));
    return doc.GetChildText();
}

TEST(XmlDocument, EmptyOrFailedDocumentFindsNothing) {
    XmlDocument fresh;
    XmlDocument failed;
    EXPECT_FALSE(failed.Parse("<OnlineUpdate Name=\"x\"><Site>a</Site>"));
    for (XmlDocument* doc : {&fresh, &failed}) {
        EXPECT_EQ(doc->Store().Capacity(), 8);
        EXPECT_FALSE(doc->FindElement("OnlineUpdate"));
        EXPECT_FALSE(doc->FindChild("Site"));
        EXPECT_EQ(doc->GetAttribute("Name"), "");
        EXPECT_EQ(doc->GetChildText(), "");
        EXPECT_FALSE(doc->StepInto());
        EXPECT_FALSE(doc->StepOut());
    }
}

TEST(XmlDocument, FindElementMatchesTheNameBeforeAnyIgnoredSuffix) {
    struct {
        const char* element;
        const char* requested;
        bool found;
    } cases[] = {
        {"Site", "Site", true},    {"site", "Site", false},   {"Sites", "Site", false},
        {"Site", "Sit", false},    {"Site", "Site.x", false}, {"Site", nullptr, true},
        {"Site", "", true},
        // A suffix after one of " =/[" is ignored.
        {"Site", "Site[2]", true}, {"Site", "Site/x", true},  {"Site", "Site=1", true},
        {"Site", "Site x", true},
        // A trail byte that equals '\' belongs to the name in code page 950.
        {"a\xB3\x5C", "a\xB3\x5C", true},
    };
    for (const auto& c : cases) {
        XmlDocument doc(Cp950());
        ASSERT_TRUE(doc.Parse(std::string("<") + c.element + "/>"));
        EXPECT_EQ(doc.FindElement(c.requested), c.found) << c.element << " / " << (c.requested ? c.requested : "-");
    }
    // Without lead bytes the same name is cut at the '\'.
    XmlDocument single;
    ASSERT_TRUE(single.Parse("<a\xB3\x5C/>"));
    EXPECT_FALSE(single.FindElement("a\xB3\x5C"));
    EXPECT_TRUE(single.FindElement("a\xB3"));
}

TEST(XmlDocument, CursorWalksAnUpdateListInTextOrder) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse(UpdateList()));
    ASSERT_TRUE(doc.FindElement("OnlineUpdate"));
    EXPECT_FALSE(doc.FindElement("OnlineUpdate"));  // one document element only
    EXPECT_FALSE(doc.StepOut());                    // nowhere above it
    ASSERT_TRUE(doc.StepInto());
    EXPECT_EQ(doc.CurrentPos(), 0);
    ASSERT_TRUE(doc.FindElement("Project"));
    EXPECT_EQ(doc.GetAttribute("Name"), "CDRW-4832");
    EXPECT_EQ(doc.GetAttribute("Status"), "0");

    std::vector<std::string> versions;
    while (doc.FindChild("Firmware")) {
        versions.push_back(doc.GetChildAttribute("Version") + " " + doc.GetChildAttribute("URL"));
    }
    EXPECT_EQ(versions, (std::vector<std::string>{"1.02 fw/v102.exe", "1.05 fw/v105.exe", "1.10 fw/v110.exe"}));
    EXPECT_EQ(doc.ChildPos(), 5);  // stays on the last one found
    EXPECT_EQ(doc.GetChildAttribute("Version"), "1.10");

    // As the update check does: step onto the last Firmware, find Ftp after it.
    ASSERT_TRUE(doc.StepInto());
    ASSERT_TRUE(doc.FindElement("Ftp"));
    std::vector<std::string> sites;
    while (doc.FindChild("Site")) {
        sites.push_back(doc.GetChildText());
    }
    EXPECT_EQ(sites, (std::vector<std::string>{"ftp1.example.invalid", "ftp2.example.invalid"}));
    ASSERT_TRUE(doc.StepOut());
    EXPECT_EQ(doc.CurrentPos(), 2);  // Project
    EXPECT_EQ(doc.ChildPos(), 6);    // Ftp
    ASSERT_TRUE(doc.StepOut());
    EXPECT_EQ(doc.CurrentPos(), 1);
    EXPECT_FALSE(doc.StepOut());
}

TEST(XmlDocument, StepIntoNeedsACurrentElement) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse("<a><b/></a>"));
    EXPECT_FALSE(doc.StepInto());
    ASSERT_TRUE(doc.FindElement("a"));
    ASSERT_TRUE(doc.StepInto());  // no child found: the level below, nothing current
    EXPECT_EQ(doc.ParentPos(), 1);
    EXPECT_EQ(doc.OnElement(), 0);
    EXPECT_FALSE(doc.StepInto());
    EXPECT_TRUE(doc.FindElement("b"));
    EXPECT_EQ(doc.CurrentPos(), 2);
}

TEST(XmlDocument, AttributeValuesMustBeQuotedAfterOneEquals) {
    const std::string tag =
        "<Firmware Version=\"1.02\" URL \t=\r\n '/a/b.exe' Size=123 Empty=\"\" Note=\"a>b/c\" Tail = \"t\" "
        "Dup=\"1\" Dup=\"2\" Gap=x \"g\" Twice==\"2\" Late=x Late=\"2\"></Firmware>";
    struct {
        const char* name;
        const char* value;
    } cases[] = {
        {"Version", "1.02"}, {"URL", "/a/b.exe"}, {"Size", ""},  {"Empty", ""},  {"Tail", "t"},
        {"Dup", "1"},        {"Gap", ""},         {"Twice", ""}, {"Missing", ""}, {"Version[1]", "1.02"},
        // The parse ends the start tag inside Note's value; the lookup passes over quoted values.
        {"Note", "a>b/c"},
        // Token 0 is the element's name, never an attribute; a value is never a name.
        {"Firmware", ""},    {"1.02", ""},        {"", ""},
        // Once a name matched, a later attribute of that name is not looked at.
        {"Late", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AttributeOfRoot(tag, c.name), c.value) << c.name;
    }
    // The start tag ends at an unquoted '>', '/' or '?'.
    EXPECT_EQ(AttributeOfRoot("<a x=\"1\"></a>", "x"), "1");
    EXPECT_EQ(AttributeOfRoot("<a/ x=\"1\"></a>", "x"), "");
    EXPECT_EQ(AttributeOfRoot("<a ? x=\"1\"></a>", "x"), "");
    EXPECT_EQ(AttributeOfRoot("<a ! x=\"1\"></a>", "x"), "1");
}

TEST(XmlDocument, AttributeNeedsTheCurrentElementFlag) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse("<a x=\"1\"><b y=\"2\"/></a>"));
    EXPECT_EQ(doc.AttributeOf(1, "x"), "");  // no current element yet
    ASSERT_TRUE(doc.FindChild("b"));
    EXPECT_EQ(doc.GetAttribute("x"), "1");
    EXPECT_EQ(doc.GetChildAttribute("y"), "2");
    EXPECT_EQ(doc.GetAttribute(nullptr), "");
}

TEST(DecodeText, ReplacesTheFiveNamesAndSmallNumbers) {
    struct {
        const char* value;
        const char* decoded;
    } cases[] = {
        {"&lt;b&gt;", "<b>"},
        {"&amp;", "&"},
        {"&quot;&apos;", "\"'"},
        {"&#65;&#x41;", "AA"},
        {"&#x4a;&#x4A;", "JJ"},
        {"&#65601;", "A"},       // low 16 bits
        {"&#-65471;", "A"},      // the conversion takes a sign
        {"&#0000065;", "A"},     // seven characters before the ';'
        {"&#1;&#255;", "\x01\xFF"},
        // Left as they stand.
        {"&#X41;", "&#X41;"},
        {"&#0;", "&#0;"},
        {"&#256;", "&#256;"},
        {"&#00000065;", "&#00000065;"},  // eight characters before the ';'
        {"&#12345678;", "&#12345678;"},
        {"&#65", "&#65"},
        {"&#;", "&#;"},
        {"&LT;", "&LT;"},
        {"&", "&"},
        {"a & b", "a & b"},
        {"&amp", "&amp"},
        {"&&lt;", "&<"},
        {"&amp;lt;", "&lt;"},  // decoded once
        {"&nbsp;", "&nbsp;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AttributeOfRoot(std::string("<a v=\"") + c.value + "\"/>", "v"), c.decoded) << c.value;
    }
}

TEST(DecodeText, KeepsDoubleByteCharactersWhole) {
    // 0xB3 0x5C and 0xA5 0x5C: trail bytes equal to '\'; 0xA1 0x5B/0x5D: '[' and ']'.
    const std::string name = "\xB3\x5C\xA5\x5C \xA1\x5B\xA1\x5D";
    EXPECT_EQ(AttributeOfRoot("<P Name=\"" + name + "\"/>", "Name", Cp950()), name);
    EXPECT_EQ(AttributeOfRoot("<P Name='\xB3\x5C&amp;'/>", "Name", Cp950()), "\xB3\x5C&");
    EXPECT_EQ(ChildText("<Site>\xB3\x5C\xA5\x5C.example</Site>", Cp950()), "\xB3\x5C\xA5\x5C.example");
    EXPECT_EQ(ChildText("<Site>\xB3\x5C</Site>", NoLeadBytes()), "\xB3\x5C");
}

TEST(DecodeText, LeadByteAtTheEndOfTheTextStaysInTheValue) {
    // 0xB3 takes the closing quote as its trail byte, so the value is unclosed and runs
    // to the end of the text, which ends in a lone lead byte. Nothing past the NUL is read.
    XmlDocument doc(Cp950());
    ASSERT_TRUE(doc.Parse("<a x=\"\xB3\"/><!--\xB3"));
    ASSERT_TRUE(doc.FindElement("a"));
    EXPECT_EQ(doc.GetAttribute("x"), "\xB3\"/><!--\xB3");
}

TEST(DecodeText, ReferenceIsNotCompletedAfterTheValue) {
    // The ';' that would end these references stands outside the value or content.
    EXPECT_EQ(AttributeOfRoot("<a v=\"&#65\" w=\";\"/>", "v"), "&#65");
    EXPECT_EQ(ChildText("<b>&#x41</b>;"), "&#x41");
    EXPECT_EQ(ChildText("<b>&#65;</b>;"), "A");
}

TEST(TextOf, ContentUntrimmedCDataUndecoded) {
    struct {
        const char* content;
        const char* text;
    } cases[] = {
        {"<Site> host </Site>", " host "},
        {"<Site>a&amp;b</Site>", "a&b"},
        {"<Site><![CDATA[a<b&amp;]]></Site>", "a<b&amp;"},
        {" <Site>\r\n <![CDATA[x]]> tail</Site>", "x"},  // what follows the section is dropped
        {"<Site>t<![CDATA[x]]></Site>", "t<![CDATA[x]]>"},
        {"<Site><![CDATA[]]></Site>", ""},
        {"<Site><![CDATA[xy]]></Site>", "xy"},
        {"<Site><b/></Site>", ""},
        {"<Site/>", ""},
        {"<Site></Site>", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChildText(c.content), c.text) << c.content;
    }
}

}  // namespace
