// A read-only XML document: the text, an index of its elements as offsets into it,
// and a parent/current/child cursor for walking the index. Names and values stay in
// the text; a value is cut out and its references decoded only when asked for.
// Standard C++ only. Not for concurrent use.
#pragma once

#include <cstdint>
#include <string>

#include "xml/xml_scan.h"

// One element of the index, all offsets into the text and indices into the store.
struct ElementRecord {
    int32_t tagStart;     // the '<' of the start tag
    int32_t tagEnd;       // the '>' of the start tag
    int32_t closeStart;   // the '<' of the end tag; the '/' of "<x/>"; the parse position meanwhile
    int32_t closeEnd;     // the '>' of the end tag; tagEnd for "<x/>"
    int32_t parent;       // 0 for the document element
    int32_t firstChild;   // 0 for none
    int32_t nextSibling;  // 0 for none
};

// Slots of ElementRecord in pages of 65536, so that growth never moves a record
// of an earlier page. Slot 0 stands for the document itself.
class ElementStore {
public:
    static constexpr int32_t kPageShift = 16;
    static constexpr int32_t kPageSize = 1 << kPageShift;

    ElementStore() = default;
    ElementStore(const ElementStore&) = delete;
    ElementStore& operator=(const ElementStore&) = delete;
    ~ElementStore();

    ElementRecord& operator[](int32_t index) { return pages_[index >> kPageShift][index & (kPageSize - 1)]; }
    const ElementRecord& operator[](int32_t index) const {
        return pages_[index >> kPageShift][index & (kPageSize - 1)];
    }

    int32_t Capacity() const { return capacity_; }
    int32_t TableLength() const { return tableLength_; }

    // Grows the capacity to size slots, by at most one page at a time; records
    // are kept, new ones are not initialised.
    void Grow(int32_t size);

private:
    ElementRecord** pages_ = nullptr;
    int32_t capacity_ = 0;
    int32_t tableLength_ = 0;
};

class XmlDocument {
public:
    // The most levels of elements a parse accepts; deeper text is an error.
    static constexpr int32_t kMaxDepth = 1024;
    // Offsets are signed 32-bit; a longer text is refused.
    static constexpr int32_t kMaxLength = INT32_MAX - 64;

    explicit XmlDocument(const LeadByteTable& leadBytes = NoLeadBytes());
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;
    virtual ~XmlDocument();

    // The lead bytes of the code page the texts are in; applies from the next Parse on.
    void SetLeadBytes(const LeadByteTable& leadBytes);

    // Indexes a copy of text (nullptr: none). True when a document element was read
    // completely; otherwise the index is empty and LastError() says why (or is empty
    // when there was no element at all). The cursor is reset either way.
    bool Parse(const char* text);
    bool Parse(const std::string& text) { return Parse(text.c_str()); }
    // The same, taking the text over instead of copying it.
    bool Parse(std::string&& text);

    // Cursor moves. A name may carry a suffix starting with one of " =/[", which is
    // ignored; nullptr or "" matches any element.
    bool FindElement(const char* name = nullptr);
    bool FindChild(const char* name = nullptr);
    bool StepInto();
    bool StepOut();

    // Values, "" when absent. Attribute values must be quoted.
    std::string GetAttribute(const char* name) const;
    std::string GetChildAttribute(const char* name) const;
    std::string GetChildText() const;

    const std::string& LastError() const { return lastError_; }
    // Where the last parse stopped with its error: the offset of the tag (or the end tag)
    // it was reading; -1 when it had none.
    int32_t LastErrorOffset() const { return lastErrorOffset_; }
    const std::string& Text() const { return text_; }
    int32_t ParentPos() const { return parentPos_; }
    int32_t CurrentPos() const { return currentPos_; }
    int32_t ChildPos() const { return childPos_; }
    int32_t OnElement() const { return onElement_; }
    int32_t NextFree() const { return nextFree_; }
    const ElementStore& Store() const { return store_; }
    const ElementRecord& Record(int32_t index) const { return store_[index]; }

    // The operations below are internal to the document and its parse; they are
    // public for the tests and the fuzzer.
    int32_t FindNamed(int32_t parent, int32_t after, const char* name) const;
    std::string AttributeOf(int32_t index, const char* name) const;
    std::string TextOf(int32_t index) const;
    bool FindAttributeValue(TokenCursor& cursor, const char* name) const;
    std::string DecodeText(int32_t first, int32_t last) const;
    void GrowStore(int32_t size);
    const TextScanner& Scanner() const { return scanner_; }

private:
    enum NodeKind : int32_t { kNone = 0, kCData = 8, kInstruction = 16, kComment = 32, kDeclaration = 64 };

    void ResetCursor();
    bool ParseText();
    int32_t ParseElement(int32_t parent);
    NodeKind SkipNode(TokenCursor& cursor) const;
    int32_t ReportError(const char* format, std::string_view name, int32_t offset);

    std::string text_;
    std::string lastError_;
    int32_t lastErrorOffset_ = -1;
    int32_t parentPos_ = 0;
    int32_t currentPos_ = 0;
    int32_t childPos_ = 0;
    int32_t nextFree_ = 0;
    int32_t onElement_ = 0;
    ElementStore store_;
    TextScanner scanner_;
};
