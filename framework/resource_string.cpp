#include "framework/resource_string.h"

#include "framework/text_format.h"

HINSTANCE ResourceInstance() { return GetModuleHandleA(nullptr); }

// A string table is stored in blocks of 16 strings: block (id / 16) + 1 holds, for
// each of its ids in turn, a 16-bit length followed by that many UTF-16 units. Reading
// the block directly gives the exact length, so no text is ever cut.
bool LoadResString(UINT id, std::string& text) {
    text.clear();
    HINSTANCE module = ResourceInstance();
    HRSRC block = FindResourceA(module, MAKEINTRESOURCEA((id >> 4) + 1), MAKEINTRESOURCEA(6) /* RT_STRING */);
    if (block == nullptr) return false;
    HGLOBAL loaded = LoadResource(module, block);
    const auto* unit = loaded != nullptr ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (unit == nullptr) return false;
    const WCHAR* end = unit + SizeofResource(module, block) / sizeof(WCHAR);

    for (UINT skip = id & 15; skip > 0 && unit < end; --skip) unit += 1 + *unit;
    if (unit >= end || *unit == 0) return false;  // an empty slot is a missing string
    const int length = static_cast<int>(*unit) <= end - unit - 1 ? *unit : static_cast<int>(end - unit - 1);
    ++unit;

    const int size = WideCharToMultiByte(CP_ACP, 0, unit, length, nullptr, 0, nullptr, nullptr);
    text.resize(static_cast<size_t>(size));
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, unit, length, text.data(), size, nullptr, nullptr);
    return true;
}

std::string LoadResString(UINT id) {
    std::string text;
    LoadResString(id, text);
    return text;
}

std::string FormatResString(UINT id, std::string_view first, std::string_view second) {
    return FormatText(LoadResString(id), first, second);
}
