#include "xml/xml_document.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

ElementStore::~ElementStore() {
    if (capacity_ > 0) {
        const int32_t pages = ((capacity_ - 1) >> kPageShift) + 1;
        for (int32_t i = 0; i < pages; ++i) {
            delete[] pages_[i];
        }
    }
    delete[] pages_;
}

void ElementStore::Grow(int32_t size) {
    if (capacity_ >= size) {
        return;
    }
    const int32_t last = capacity_ == 0 ? 0 : (capacity_ - 1) >> kPageShift;
    int32_t newLast = (size - 1) >> kPageShift;
    if (newLast > last + 1) {  // one growth adds at most one page
        newLast = last + 1;
        size = (last + 2) * kPageSize;
    }
    if (tableLength_ <= newLast) {
        const int32_t length = 2 * newLast + 4;
        auto** table = new ElementRecord*[static_cast<size_t>(length)]();
        if (capacity_ > 0) {
            std::copy(pages_, pages_ + ((capacity_ - 1) >> kPageShift) + 1, table);
        }
        delete[] pages_;
        pages_ = table;
        tableLength_ = length;
    }
    const int32_t held = capacity_ - last * kPageSize;
    if (last < newLast && held < kPageSize) {
        auto* full = new ElementRecord[kPageSize];
        if (held > 0) {
            std::copy(pages_[last], pages_[last] + held, full);
        }
        delete[] pages_[last];
        pages_[last] = full;
    }
    auto* page = new ElementRecord[static_cast<size_t>(size - newLast * kPageSize)];
    if (newLast == last && held > 0) {
        std::copy(pages_[last], pages_[last] + held, page);
        delete[] pages_[last];
    }
    pages_[newLast] = page;
    capacity_ = size;
}

XmlDocument::XmlDocument(const LeadByteTable& leadBytes) {
    scanner_.SetLeadBytes(leadBytes);
    Parse(nullptr);
}

XmlDocument::~XmlDocument() = default;

void XmlDocument::SetLeadBytes(const LeadByteTable& leadBytes) {
    scanner_.SetLeadBytes(leadBytes);
}

void XmlDocument::ResetCursor() {
    parentPos_ = currentPos_ = childPos_ = onElement_ = 0;
}

void XmlDocument::GrowStore(int32_t size) {
    store_.Grow(size == 0 ? nextFree_ + nextFree_ / 2 : size);
}

int32_t XmlDocument::FindNamed(int32_t parent, int32_t after, const char* name) const {
    int32_t candidate = after != 0 ? store_[after].nextSibling : store_[parent].firstChild;
    if (name == nullptr || *name == '\0') {
        return candidate;
    }
    const std::string_view wanted(name);
    while (candidate != 0) {
        TokenCursor cursor = scanner_.Fresh(store_[candidate].tagStart + 1);
        if (scanner_.NextToken(cursor) && NameMatches(cursor, wanted)) {
            return candidate;
        }
        candidate = store_[candidate].nextSibling;
    }
    return 0;
}

bool XmlDocument::FindElement(const char* name) {
    if (store_.Capacity() == 0) {
        return false;
    }
    const int32_t found = FindNamed(parentPos_, currentPos_, name);
    if (found == 0) {
        return false;
    }
    parentPos_ = store_[found].parent;
    currentPos_ = found;
    childPos_ = 0;
    onElement_ = 1;
    return true;
}

bool XmlDocument::FindChild(const char* name) {
    if (currentPos_ == 0) {
        FindElement(nullptr);
    }
    const int32_t found = FindNamed(currentPos_, childPos_, name);
    if (found == 0) {
        return false;
    }
    const int32_t element = store_[found].parent;
    parentPos_ = store_[element].parent;
    currentPos_ = element;
    childPos_ = found;
    onElement_ = element != 0 ? 1 : 0;
    return true;
}

bool XmlDocument::StepInto() {
    if (currentPos_ == 0 || onElement_ != 1) {
        return false;
    }
    parentPos_ = currentPos_;
    currentPos_ = childPos_;
    childPos_ = 0;
    onElement_ = currentPos_ != 0 ? 1 : 0;
    return true;
}

bool XmlDocument::StepOut() {
    if (parentPos_ == 0) {
        return false;
    }
    childPos_ = currentPos_;
    currentPos_ = parentPos_;
    parentPos_ = store_[currentPos_].parent;
    onElement_ = currentPos_ != 0 ? 1 : 0;
    return true;
}

std::string XmlDocument::GetAttribute(const char* name) const {
    return AttributeOf(currentPos_, name);
}

std::string XmlDocument::GetChildAttribute(const char* name) const {
    return AttributeOf(childPos_, name);
}

std::string XmlDocument::GetChildText() const {
    return TextOf(childPos_);
}

std::string XmlDocument::AttributeOf(int32_t index, const char* name) const {
    // The flag tested is the current element's, for the child as well.
    if (index == 0 || onElement_ != 1 || name == nullptr) {
        return {};
    }
    TokenCursor cursor = scanner_.Fresh(store_[index].tagStart + 1);
    if (!FindAttributeValue(cursor, name)) {
        return {};
    }
    return DecodeText(cursor.start, cursor.end);
}

bool XmlDocument::FindAttributeValue(TokenCursor& cursor, const char* name) const {
    const std::string_view wanted(name);
    if (!scanner_.NextToken(cursor)) {
        return false;
    }
    int32_t matched = -1;
    for (int32_t i = 0;; ++i) {
        if (!cursor.quoted) {
            const char first = text_[static_cast<size_t>(cursor.start)];
            if (first == '>' || first == '/' || first == '?') {
                return false;  // the start tag ends
            }
            if (first != '=' && matched < 0 && i > 0 && NameMatches(cursor, wanted)) {
                matched = i;
            }
        } else if (matched >= 0 && i == matched + 2) {
            return true;  // name = "value"
        }
        if (!scanner_.NextToken(cursor)) {
            return false;
        }
    }
}

std::string XmlDocument::TextOf(int32_t index) const {
    if (index == 0) {
        return {};  // slot 0 is the document, not an element
    }
    const ElementRecord& r = store_[index];
    if (r.firstChild != 0 || r.tagEnd == r.closeStart + 1) {
        return {};
    }
    int32_t p = r.tagEnd + 1;
    static constexpr char kCDataOpen[] = "<![CDATA[";
    if (scanner_.SkipBlanks(p) && text_[static_cast<size_t>(p)] == '<' && p + 11 < r.closeStart &&
        std::memcmp(text_.data() + p, kCDataOpen, 9) == 0) {
        int32_t q = p + 9;
        if (scanner_.FindText(q, "]]>") && q < r.closeStart) {
            return text_.substr(static_cast<size_t>(p + 9), static_cast<size_t>(q - p - 9));
        }
    }
    return DecodeText(r.tagEnd + 1, r.closeStart - 1);
}

std::string XmlDocument::DecodeText(int32_t first, int32_t last) const {
    if (first > last) {
        return {};
    }
    const char* t = text_.c_str();
    std::string out(static_cast<size_t>(last - first + 1), '\0');
    char* o = &out[0];
    int32_t i = first;
    while (i <= last) {
        const char c = t[i];
        if (c != '&') {
            *o++ = c;
            // A lead byte takes its trail byte along, but only from inside the range.
            if (scanner_.IsLeadByte(c) && i < last) {
                *o++ = t[i + 1];
                i += 2;
            } else {
                ++i;
            }
            continue;
        }
        if (t[i + 1] == '#') {
            int32_t j = i + 2;
            int base = 10;
            if (t[j] == 'x') {
                base = 16;
                j = i + 3;
            }
            // At most 7 characters between j and the ';', which must lie in the range:
            // a reference is never completed by text after the value.
            int32_t k = j;
            bool found = false;
            for (int n = 0; n <= 7 && k <= last; ++n) {
                if (t[k] == ';') {
                    found = true;
                    break;
                }
                k = scanner_.Step(k);
            }
            if (found) {
                const unsigned long low = static_cast<unsigned long>(std::strtol(t + j, nullptr, base)) & 0xFFFFu;
                if (low >= 1 && low <= 255) {
                    *o++ = static_cast<char>(low);
                    i = k + 1;
                    continue;
                }
            }
        } else {
            static constexpr struct {
                const char* name;
                int32_t length;
                char value;
            } kNamed[] = {{"lt;", 3, '<'}, {"amp;", 4, '&'}, {"gt;", 3, '>'}, {"apos;", 5, '\''}, {"quot;", 5, '"'}};
            bool matched = false;
            for (const auto& named : kNamed) {
                if (i + named.length <= last && std::memcmp(t + i + 1, named.name, static_cast<size_t>(named.length)) == 0) {
                    *o++ = named.value;
                    i += named.length + 1;
                    matched = true;
                    break;
                }
            }
            if (matched) {
                continue;
            }
        }
        *o++ = '&';  // a literal '&'; the rest of the reference is copied as text
        ++i;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}
