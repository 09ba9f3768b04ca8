#include "tests/unit/xml/xml_exercise.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "xml/xml_document.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "xml invariant broken: %s\n", what);
        std::abort();
    }
}

const char* const kNames[] = {"OnlineUpdate", "Project", "Firmware", "Ftp", "Site", "Name", "Status",
                              "Version",      "URL",     "a",        "",    "Site[2]"};

// Every indexed element lies inside the text, in document order, inside its parent.
void CheckIndex(const XmlDocument& doc) {
    const auto length = static_cast<int32_t>(doc.Text().size());
    const char* t = doc.Text().c_str();
    for (int32_t i = 1; i < doc.NextFree(); ++i) {
        const ElementRecord& r = doc.Record(i);
        Require(r.tagStart >= 0 && r.tagStart < r.tagEnd && r.tagEnd <= r.closeEnd && r.closeEnd < length,
                "offsets in order");
        Require(t[r.tagStart] == '<' && t[r.tagEnd] == '>' && t[r.closeEnd] == '>', "tags on their delimiters");
        if (r.tagEnd == r.closeStart + 1) {
            Require(r.closeEnd == r.tagEnd && t[r.closeStart] == '/', "empty-element tag");
        } else {
            Require(r.closeStart > r.tagEnd && r.closeStart < r.closeEnd && t[r.closeStart] == '<', "end tag");
        }
        Require(r.parent >= 0 && r.parent < i, "parent before child");
        Require(r.firstChild == 0 || r.firstChild == i + 1, "first child follows its parent");
        Require(r.nextSibling == 0 || (r.nextSibling > i && r.nextSibling < doc.NextFree()), "sibling after");
        if (r.parent != 0) {
            const ElementRecord& parent = doc.Record(r.parent);
            Require(parent.tagEnd < r.tagStart && r.closeEnd < parent.closeStart, "inside the parent");
        }
    }
}

void Visit(XmlDocument& doc, int depth) {
    for (const char* name : kNames) {
        (void)doc.GetAttribute(name);
    }
    while (doc.FindChild(nullptr)) {
        (void)doc.GetChildAttribute("Version");
        (void)doc.GetChildText();
        const int32_t child = doc.ChildPos();
        Require(doc.StepInto() && doc.CurrentPos() == child, "step into the child");
        Visit(doc, depth + 1);
        Require(doc.StepOut() && doc.ChildPos() == child, "step back out");
    }
}

void ExerciseText(const std::string& text, const LeadByteTable& leadBytes) {
    XmlDocument doc(leadBytes);
    const bool parsed = doc.Parse(text.c_str());
    Require(parsed == (doc.Record(0).firstChild == 1), "answer matches the index");
    Require(parsed ? doc.LastError().empty() : doc.NextFree() == 1, "failure empties the index");
    Require(doc.LastError().empty() || doc.LastError().rfind(", ", 0) == 0, "error prefix");
    CheckIndex(doc);

    // Every element's values, directly, then the tree through the cursor.
    for (int32_t i = 0; i < doc.NextFree(); ++i) {
        (void)doc.TextOf(i);
        (void)doc.AttributeOf(i, "Version");
        (void)doc.FindNamed(i, 0, "Site");
    }
    if (doc.FindElement(nullptr)) {
        Visit(doc, 1);
    }
    // The update check's walk.
    XmlDocument walk(leadBytes);
    walk.Parse(text.c_str());
    if (walk.FindElement("OnlineUpdate")) {
        walk.StepInto();
        walk.FindElement("Project");
        (void)walk.GetAttribute("Name");
        while (walk.FindChild("Firmware")) {
            for (const char* name : {"Version", "Release", "Size", "URL"}) {
                (void)walk.GetChildAttribute(name);
            }
        }
        walk.StepInto();
        walk.FindElement("Ftp");
        while (walk.FindChild("Site")) {
            (void)walk.GetChildText();
        }
        walk.StepOut();
        walk.StepOut();
    }
}

}  // namespace

void ExerciseXmlInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ExerciseText(text, NoLeadBytes());
    ExerciseText(text, MakeLeadByteTable([](unsigned char b) { return b >= 0x81 && b <= 0xFE; }));
}
