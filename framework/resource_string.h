// Texts of the module's string table.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The module whose resources (dialogs, strings, icons, clips) the program uses: the exe.
HINSTANCE ResourceInstance();

// String `id` of the string table, whole however long, in the ANSI code page.
// Answers false (and "" in `text`) when there is no such string.
bool LoadResString(UINT id, std::string& text);
std::string LoadResString(UINT id);

// String `id` with "%1" and "%2" replaced by the arguments; any other '%' is kept.
std::string FormatResString(UINT id, std::string_view first = {}, std::string_view second = {});
