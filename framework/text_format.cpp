#include "framework/text_format.h"

std::string FormatText(std::string_view format, std::string_view first, std::string_view second) {
    std::string out;
    out.reserve(format.size() + first.size() + second.size());
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == '1' || format[i + 1] == '2')) {
            out.append(format[i + 1] == '1' ? first : second);  // arguments are not scanned again
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}
