#include "logic/PasteboardSnapshot.h"

namespace mq::logic {

PasteboardSnapshot PasteboardSnapshot::take(platform::Desktop& desktop)
{
    PasteboardSnapshot snapshot;
    // A new item per item, holding a copy of the data of each of its types.
    for (const platform::PasteboardItem& item : desktop.pasteboardItems()) {
        platform::PasteboardItem copy;
        for (const auto& [type, data] : item.representations)
            copy.representations.emplace_back(type, data);
        snapshot.m_items.push_back(std::move(copy));
    }
    return snapshot;
}

void PasteboardSnapshot::restore(platform::Desktop& desktop) const
{
    // setPasteboardItems clears first, so an empty snapshot leaves it cleared.
    desktop.setPasteboardItems(m_items);
}

void putPlainTextOnPasteboard(platform::Desktop& desktop, std::string_view text)
{
    platform::PasteboardItem item;
    item.representations.emplace_back(std::string(kPlainTextPasteboardType), std::string(text));
    desktop.setPasteboardItems({ item });
}

} // namespace mq::logic
