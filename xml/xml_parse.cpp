// The parse: one forward pass that indexes the elements of a text. It finds tags
// by their '<' and '>', skips every node that is not an element, checks that each
// end tag names the element it closes, and stops after the document element.
// Attributes and references are not looked at here.
#include <cstring>
#include <utility>

#include "xml/xml_document.h"

bool XmlDocument::Parse(const char* text) {
    text_.assign(text != nullptr ? text : "");
    return ParseText();
}

bool XmlDocument::Parse(std::string&& text) {
    text_ = std::move(text);
    text_.resize(std::strlen(text_.c_str()));  // the text ends at its first NUL, as a C string does
    return ParseText();
}

bool XmlDocument::ParseText() {
    const size_t length = text_.size();
    lastError_.clear();
    lastErrorOffset_ = -1;
    const std::string earlierNote = lastError_;
    ResetCursor();

    const bool tooLong = length > static_cast<size_t>(kMaxLength);
    scanner_.Bind(tooLong ? "" : text_.c_str(), tooLong ? 0 : static_cast<int32_t>(length));
    nextFree_ = 1;
    GrowStore(static_cast<int32_t>((tooLong ? 0 : length) / 64 + 8));
    lastError_.clear();

    bool result = false;
    store_[0] = ElementRecord{};
    if (!text_.empty()) {
        const int32_t r = tooLong ? ReportError("Document too long", {}, 0) : ParseElement(0);
        if (r > 0) {
            result = true;
            store_[0].firstChild = r;
        } else {
            store_[0] = ElementRecord{};
            nextFree_ = 1;
        }
    } else {
        nextFree_ = 1;
    }
    ResetCursor();
    lastError_ = lastError_.empty() ? earlierNote : earlierNote + ", " + lastError_;
    return result;
}

int32_t XmlDocument::ReportError(const char* format, std::string_view name, int32_t offset) {
    lastError_ = format;
    lastErrorOffset_ = offset;
    if (name.data() != nullptr) {
        const size_t at = lastError_.find("%s");
        if (at != std::string::npos) {
            lastError_.replace(at, 2, name.data(), name.size());
        }
    }
    --nextFree_;
    return -1;
}

// An explicit stack of the open elements stands in for one recursion level per
// level of elements, so that a hostile nesting depth is refused at the cap
// instead of overflowing the call stack.
int32_t XmlDocument::ParseElement(int32_t parent) {
    struct Open {
        int32_t element;
        int32_t lastChild;
        int32_t nameStart;  // the element's name, for the end-tag check
        int32_t nameLength;
    };
    Open open[kMaxDepth];
    int32_t depth = 0;  // entries of open in use
    const char* const t = text_.c_str();

    int32_t p = parent;  // the element whose content is being parsed
    for (;;) {
        // The next element inside p, or p's end tag.
        if (nextFree_ == store_.Capacity()) {
            GrowStore(0);
        }
        const int32_t e = nextFree_++;
        ElementRecord& slot = store_[e];
        slot.parent = p;
        slot.firstChild = 0;
        slot.nextSibling = 0;

        TokenCursor cursor = scanner_.Fresh(store_[p].closeStart);
        int32_t tagStart = 0;
        int32_t result = -1;
        for (;;) {
            tagStart = cursor.next;
            if (!scanner_.FindChar(tagStart, '<')) {
                return ReportError("Element tag not found", {}, store_[p].closeStart);
            }
            store_[p].closeStart = tagStart;
            cursor.next = tagStart + 1;
            if (!scanner_.NextToken(cursor)) {
                return ReportError("Abrupt end within tag", {}, tagStart);
            }
            if (cursor.quoted) {
                return ReportError("Tag starts with quote", {}, tagStart);
            }
            const char first = t[cursor.start];
            if (first == '?' || first == '!') {
                cursor.next = tagStart;
                if (SkipNode(cursor) == kNone) {
                    return ReportError("Invalid node", {}, tagStart);
                }
                continue;
            }
            if (first == '/') {
                --nextFree_;  // p's end tag: the slot is given back
                result = 0;
            }
            break;
        }

        if (result < 0) {
            const std::string_view name(t + cursor.start, static_cast<size_t>(cursor.end - cursor.start + 1));
            if (depth == kMaxDepth) {
                return ReportError("Element %s nested too deeply", name, tagStart);
            }
            int32_t tagEnd = cursor.next;
            if (!scanner_.FindChar(tagEnd, '>')) {
                return ReportError("End of tag not found", {}, tagStart);
            }
            slot.tagStart = tagStart;
            slot.tagEnd = tagEnd;
            if (t[tagEnd - 1] == '/') {
                slot.closeStart = tagEnd - 1;
                slot.closeEnd = tagEnd;
                result = e;
            } else {
                slot.closeStart = tagEnd + 1;  // the content starts after the '>'
                open[depth++] = {e, 0, cursor.start, cursor.end - cursor.start + 1};
                p = e;
                continue;
            }
        }

        // Hand result (an element, or 0 for an end tag) to the element it lies in.
        for (;;) {
            if (depth == 0) {
                return result;
            }
            Open& o = open[depth - 1];
            if (result > 0) {
                if (o.lastChild == 0) {
                    store_[o.element].firstChild = result;
                } else {
                    store_[o.lastChild].nextSibling = result;
                }
                o.lastChild = result;
                store_[o.element].closeStart = store_[result].closeEnd + 1;
                p = o.element;
                break;
            }
            // o's closeStart stands on the '<' of "</": read its end tag.
            const std::string_view name(t + o.nameStart, static_cast<size_t>(o.nameLength));
            TokenCursor end = scanner_.Fresh(store_[o.element].closeStart + 1);
            bool closed = false;
            for (int32_t number = 1; scanner_.NextToken(end); ++number) {
                if (end.quoted) {
                    continue;
                }
                if (number == 2 && !NameMatches(end, name)) {
                    return ReportError("End tag does not correspond to %s", name, store_[o.element].closeStart);
                }
                if (t[end.start] == '>') {
                    closed = true;
                    break;
                }
            }
            if (!closed) {
                return ReportError("End tag not completed for element %s", name, store_[o.element].closeStart);
            }
            store_[o.element].closeEnd = end.start;
            result = o.element;
            --depth;
        }
    }
}

XmlDocument::NodeKind XmlDocument::SkipNode(TokenCursor& cursor) const {
    cursor.start = cursor.next;
    const int32_t s = cursor.start;
    const char* const t = text_.c_str();
    if (t[s + 1] == '\0' || t[s + 2] == '\0') {
        return kNone;
    }
    std::string_view close;
    NodeKind kind = kNone;
    if (t[s + 1] == '?') {
        close = "?>";
        kind = kInstruction;
    } else if (t[s + 1] != '!') {
        return kNone;  // white space between the '<' and the marker: not a node
    } else if (t[s + 2] == '[') {
        close = "]]>";
        kind = kCData;
    } else if (t[s + 2] == '-') {
        close = "-->";
        kind = kComment;
    } else {
        // A document-type declaration ends at the first '>' outside brackets.
        int32_t depth = 0;
        cursor.next = s;
        while (scanner_.NextToken(cursor)) {
            if (cursor.quoted) {
                continue;
            }
            const char first = t[cursor.start];
            if (first == '[') {
                ++depth;
            } else if (first == ']') {
                --depth;
            } else if (first == '>' && depth == 0) {
                return kDeclaration;
            }
        }
        return kNone;
    }
    // The search starts at the '<' itself, so "<?>" and "<!-->" close at once.
    int32_t q = s;
    if (!scanner_.FindText(q, close)) {
        return kNone;
    }
    cursor.next = q + static_cast<int32_t>(close.size());
    return kind;
}
