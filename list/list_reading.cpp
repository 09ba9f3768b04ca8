#include "list/list_reading.h"

#include <optional>
#include <utility>

ListReading ReadSavedList(const SavedList& file, const AnsiCodePage& codePage, XmlDocument& document) {
    ListReading reading;
    if (file.state == SavedList::State::kNotOpened) return reading;
    reading.outcome = ListReading::Outcome::kNotLoaded;
    if (file.state == SavedList::State::kTooLarge) return reading;
    std::optional<std::string> text = DocumentText(file.bytes, codePage.toAnsi);
    if (!text) return reading;
    reading.outcome = ListReading::Outcome::kRead;
    document.SetLeadBytes(codePage.leadBytes);
    reading.corrupt = !text->empty() && !document.Parse(std::move(*text));
    reading.list = ReadUpdateList(document, kFirmwareSlots, kSiteSlots);
    return reading;
}
