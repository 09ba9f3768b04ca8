#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "tests/unit/xml/xml_test_support.h"
#include "xml/xml_document.h"

namespace {

std::string Repeat(const std::string& part, int times) {
    std::string out;
    out.reserve(part.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i) {
        out += part;
    }
    return out;
}

TEST(Parse, EmptyElementTagOffsets) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse("<a/>"));
    const ElementRecord& a = doc.Record(1);
    EXPECT_EQ(a.tagStart, 0);
    EXPECT_EQ(a.tagEnd, 3);
    EXPECT_EQ(a.closeStart, 2);
    EXPECT_EQ(a.closeEnd, 3);
    EXPECT_EQ(a.parent, 0);
    EXPECT_EQ(a.firstChild, 0);
    EXPECT_EQ(doc.Record(0).firstChild, 1);
    EXPECT_EQ(doc.NextFree(), 2);
    EXPECT_EQ(doc.LastError(), "");
}

TEST(Parse, ElementWithContentOffsets) {
    XmlDocument doc;
    // A '>' inside a quoted value ends the start tag: the tag is found by a plain search.
    ASSERT_TRUE(doc.Parse("<a x='>'> <b></b ></a>"));
    EXPECT_EQ(doc.Record(1).tagEnd, 6);
    EXPECT_EQ(doc.Record(1).closeStart, 18);
    EXPECT_EQ(doc.Record(1).closeEnd, 21);
    EXPECT_EQ(doc.Record(2).tagStart, 10);
    EXPECT_EQ(doc.Record(2).closeStart, 13);
    EXPECT_EQ(doc.Record(2).closeEnd, 17);
}

TEST(Parse, AcceptedShapes) {
    struct {
        const char* text;
        const char* outline;
    } cases[] = {
        {"<?xml version='1.0'?><!-- c --><a><b/>text<c></c></a>trailing", "a(b,c)"},
        // Nodes other than elements are skipped whole, a '<' inside them starts nothing.
        {"<a><![CDATA[</b>]]></a>", "a"},
        {"<a><!-- <b> --><?pi <c>?><d/></a>", "a(d)"},
        {"<![ any <x> ]]><a/>", "a"},
        {"<?><!--><a/>", "a"},  // closing texts are searched from the '<' itself
        // A declaration ends at the first '>' outside brackets; quoted values are passed over.
        {"<!DOCTYPE a [ <!ENTITY x 'y'> ]><a/>", "a"},
        {"<!DOCTYPE a \"q>\" ><a/>", "a"},
        {"<!DOCTYPE a [ [ ] > ] ><a/>", "a"},
        // White space after '<' and before '/'; anything after the end tag's name.
        {"< a >< / a >", "a"},
        {"<Site></Site junk>", "Site"},
        {"<a\r\n\tx='1'\n></a\n>", "a"},
        // The end tag's name is matched like a requested name: a suffix after '[' is ignored.
        {"<a[1]></a>", "a[1]"},
        // Only the document element is indexed.
        {"<a><b></b></a><c/>", "a(b)"},
        {"junk <a/> <b/>", "a"},
        {"<a><b><c/><d/></b><e>x</e></a>", "a(b(c,d),e)"},
    };
    for (const auto& c : cases) {
        XmlDocument doc;
        EXPECT_TRUE(doc.Parse(c.text)) << c.text << ": " << doc.LastError();
        EXPECT_EQ(Outline(doc), c.outline) << c.text;
        EXPECT_EQ(doc.LastError(), "") << c.text;
    }
}

TEST(Parse, ErrorsAreReportedAfterAComma) {
    struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"<a></b>", ", End tag does not correspond to a"},
        {"<a></A>", ", End tag does not correspond to a"},
        {"<a><b></a></b>", ", End tag does not correspond to b"},
        {"<a></>", ", End tag does not correspond to a"},
        {"<a>", ", Element tag not found"},
        {"abc", ", Element tag not found"},
        {"<a><b/>text", ", Element tag not found"},
        {"<a></a", ", End tag not completed for element a"},
        {"<a></a 'x>'", ", End tag not completed for element a"},
        {"<a", ", End of tag not found"},
        {"<a x='1'", ", End of tag not found"},
        {"<a><'q'></a>", ", Tag starts with quote"},
        {"<!-- x", ", Invalid node"},
        {"<?xml", ", Invalid node"},
        {"<a><![CDATA[x]></a>", ", Invalid node"},
        {"<!DOCTYPE a [ >", ", Invalid node"},
        {"<!", ", Invalid node"},
        {"<?", ", Invalid node"},
        {"<!x", ", Invalid node"},
        {"<a><   ", ", Abrupt end within tag"},
        {"<", ", Abrupt end within tag"},
        // White space between '<' and '?' or '!' is not a node: an error, never a stall.
        {"< ?x?><a/>", ", Invalid node"},
        {"<a>< !-- c --></a>", ", Invalid node"},
        {"<a>\r\n<\t?x?></a>", ", Invalid node"},
        // No element at all: false without a message.
        {"</a>", ""},
        {"", ""},
        {" \r\n ", ", Element tag not found"},
    };
    for (const auto& c : cases) {
        XmlDocument doc;
        EXPECT_FALSE(doc.Parse(c.text)) << c.text;
        EXPECT_EQ(doc.LastError(), c.error) << c.text;
        EXPECT_EQ(doc.NextFree(), 1) << c.text;
        EXPECT_EQ(doc.Record(0).firstChild, 0) << c.text;
        EXPECT_FALSE(doc.FindElement(nullptr)) << c.text;
    }
}

TEST(Parse, NextParseStartsFresh) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse(UpdateList()));
    ASSERT_TRUE(doc.FindElement("OnlineUpdate"));
    ASSERT_TRUE(doc.FindChild("Project"));
    const int32_t capacity = doc.Store().Capacity();
    EXPECT_FALSE(doc.Parse("<a></b>"));
    EXPECT_EQ(doc.CurrentPos(), 0);
    EXPECT_EQ(doc.ChildPos(), 0);
    EXPECT_EQ(doc.Text(), "<a></b>");
    ASSERT_TRUE(doc.Parse("<b/>"));
    EXPECT_EQ(doc.LastError(), "");
    EXPECT_EQ(doc.Store().Capacity(), capacity);  // never shrunk
    EXPECT_TRUE(doc.FindElement("b"));
    EXPECT_EQ(doc.GetChildText(), "");
}

TEST(Parse, TakesATextOverAndEndsItAtItsFirstNul) {
    XmlDocument doc;
    std::string text = std::string("<a/>") + '\0' + "<b/>";
    ASSERT_TRUE(doc.Parse(std::move(text)));
    EXPECT_EQ(doc.Text(), "<a/>");
    EXPECT_TRUE(doc.FindElement("a"));
    EXPECT_FALSE(doc.Parse(std::string("<a>") + '\0' + "</a>"));
    EXPECT_EQ(doc.LastError(), ", Element tag not found");
}

TEST(Parse, EveryTruncatedUpdateListFailsCleanly) {
    const std::set<std::string> messages = {
        ", Element tag not found", ", Abrupt end within tag", ", Tag starts with quote", ", Invalid node",
        ", End of tag not found",  ", End tag not completed for element OnlineUpdate",
        ", End tag not completed for element Project", ", End tag not completed for element Firmware",
        ", End tag not completed for element Ftp", ", End tag not completed for element Site",
        // "</Ftp" cut to "</F", "</Site>" to "</Si": a shorter name does not match.
        ", End tag does not correspond to Ftp", ", End tag does not correspond to Site",
        ", End tag does not correspond to Firmware", ", End tag does not correspond to Project",
        ", End tag does not correspond to OnlineUpdate",
    };
    // 0xB3 0x5C: a trail byte equal to '\' in the names and values of the list.
    const std::string lists[] = {UpdateList(),
                                 "<OnlineUpdate><Project Name=\"\xB3\x5C\xA5\x5C\"><Ftp><Site>\xB3\x5C</Site>"
                                 "</Ftp></Project></OnlineUpdate>"};
    for (const std::string& list : lists) {
        const size_t complete = list.rfind('>') + 1;
        for (const LeadByteTable& lead : {NoLeadBytes(), Cp950()}) {
            for (size_t cut = 0; cut <= list.size(); ++cut) {
                XmlDocument doc(lead);
                const std::string prefix = list.substr(0, cut);
                const bool parsed = doc.Parse(prefix);
                EXPECT_EQ(parsed, cut >= complete) << prefix;
                if (!parsed) {
                    EXPECT_EQ(doc.NextFree(), 1);
                    EXPECT_TRUE(cut == 0 || messages.count(doc.LastError())) << prefix << ": " << doc.LastError();
                }
            }
        }
    }
    // The message names what was cut.
    struct {
        const char* endsWith;
        const char* error;
    } cuts[] = {
        {"<?xm", ", Invalid node"},
        {"<OnlineUpd", ", End of tag not found"},
        {"<OnlineUpdate>\r\n", ", Element tag not found"},
        {"ftp1.example.invalid</Site", ", End tag not completed for element Site"},
        {"</Site></Ftp>\r\n <", ", Abrupt end within tag"},
        {"</Project>\r\n</OnlineUpdate", ", End tag not completed for element OnlineUpdate"},
    };
    const std::string list = UpdateList();
    for (const auto& c : cuts) {
        const size_t at = list.find(c.endsWith);
        ASSERT_NE(at, std::string::npos) << c.endsWith;
        XmlDocument doc;
        EXPECT_FALSE(doc.Parse(list.substr(0, at + std::string(c.endsWith).size())));
        EXPECT_EQ(doc.LastError(), c.error) << c.endsWith;
    }
}

TEST(Parse, DoubleByteTrailBytesAreNotMarkup) {
    // In code page 950 "\xA1\x5C]" is one character and a name, so the bracket does not
    // close the declaration's subset; read byte by byte it does, and <b/> comes first.
    const char* text = "<!DOCTYPE a [ \xA1\x5C]><b/> ]><a/>";
    XmlDocument cp950(Cp950());
    ASSERT_TRUE(cp950.Parse(text));
    EXPECT_EQ(Outline(cp950), "a");
    XmlDocument single;
    ASSERT_TRUE(single.Parse(text));
    EXPECT_EQ(Outline(single), "b");
    // A ']' trail byte does not close a CDATA section.
    text = "<a><![CDATA[0123456789\xA1]]><b/>]]></a>";
    ASSERT_TRUE(cp950.Parse(text));
    EXPECT_EQ(Outline(cp950), "a");
    ASSERT_TRUE(single.Parse(text));
    EXPECT_EQ(Outline(single), "a(b)");
    // A name ending in a trail byte '\' must be closed by the same name.
    ASSERT_TRUE(cp950.Parse("<\xB3\x5C><x/></\xB3\x5C>"));
    EXPECT_EQ(Outline(cp950), "\xB3\x5C(x)");
}

TEST(Parse, StoreGrowsByHalfAgain) {
    // 40 children in 167 bytes: 10 slots at first, then 15, 22, 33 and 49.
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse("<r>" + Repeat("<e/>", 40) + "</r>"));
    EXPECT_EQ(doc.NextFree(), 42);
    EXPECT_EQ(doc.Store().Capacity(), 49);
}

TEST(Parse, StoreGrowsAcrossPagesWithDenseIndicesAndIntactRecords) {
    const int children = 3 * ElementStore::kPageSize + 1000;
    XmlDocument doc;
    ASSERT_TRUE(doc.Parse("<r>" + Repeat("<e/>", children) + "</r>"));
    ASSERT_EQ(doc.NextFree(), children + 2);
    EXPECT_EQ(doc.Record(1).firstChild, 2);
    for (int32_t i = 2; i < doc.NextFree(); ++i) {
        const ElementRecord& e = doc.Record(i);
        const int32_t at = 3 + 4 * (i - 2);
        ASSERT_TRUE(e.tagStart == at && e.tagEnd == at + 3 && e.closeStart == at + 2 && e.closeEnd == at + 3 &&
                    e.parent == 1 && e.firstChild == 0 && e.nextSibling == (i + 1 < doc.NextFree() ? i + 1 : 0))
            << "record " << i;
    }
    EXPECT_EQ(doc.Record(1).closeStart, 3 + 4 * children);
}

TEST(ElementStore, GrowsAtMostOnePageAtATime) {
    constexpr int32_t kPage = ElementStore::kPageSize;
    struct {
        int32_t request;
        int32_t capacity;
        int32_t tableLength;
    } steps[] = {
        {8, 8, 4},
        {4, 8, 4},  // never shrinks
        {12, 12, 4},
        {200000, 2 * kPage, 4},
        {2 * kPage + 10, 2 * kPage + 10, 4},
        {4 * kPage + 1, 4 * kPage, 4},  // the partial last page is filled up first
        {4 * kPage + 1, 4 * kPage + 1, 12},
    };
    ElementStore store;
    int32_t marked = 0;
    for (const auto& s : steps) {
        store.Grow(s.request);
        EXPECT_EQ(store.Capacity(), s.capacity) << s.request;
        EXPECT_EQ(store.TableLength(), s.tableLength) << s.request;
        for (int32_t i = 0; i < marked; ++i) {
            ASSERT_EQ(store[i].tagStart, i) << "after growing to " << s.capacity;
            ASSERT_EQ(store[i].nextSibling, -i);
        }
        for (; marked < store.Capacity(); ++marked) {
            store[marked].tagStart = marked;
            store[marked].nextSibling = -marked;
        }
    }
}

TEST(Parse, NestingDepthIsCapped) {
    const int cap = XmlDocument::kMaxDepth;
    XmlDocument doc;
    EXPECT_TRUE(doc.Parse(Repeat("<a>", cap) + Repeat("</a>", cap)));
    EXPECT_EQ(doc.NextFree(), cap + 1);
    EXPECT_TRUE(doc.Parse(Repeat("<a>", cap - 1) + "<a/>" + Repeat("</a>", cap - 1)));

    EXPECT_FALSE(doc.Parse(Repeat("<a>", cap + 1) + Repeat("</a>", cap + 1)));
    EXPECT_EQ(doc.LastError(), ", Element a nested too deeply");
    EXPECT_FALSE(doc.Parse(Repeat("<a>", cap) + "<b/>" + Repeat("</a>", cap)));
    EXPECT_EQ(doc.LastError(), ", Element b nested too deeply");
    // A hostile list a million levels deep is refused, not a stack overflow.
    EXPECT_FALSE(doc.Parse(Repeat("<a>", 1000000)));
    EXPECT_EQ(doc.LastError(), ", Element a nested too deeply");
    EXPECT_EQ(doc.NextFree(), 1);
}

}  // namespace
