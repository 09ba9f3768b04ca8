// Message-template formatting: "%1" and "%2" are replaced by the first and second
// argument; every other '%' is copied as it stands ("%1% of %2 Completed").
// Standard C++ only, shared by the Windows code and the native tests.
#pragma once

#include <string>
#include <string_view>

std::string FormatText(std::string_view format, std::string_view first = {}, std::string_view second = {});
