// A copy of everything on the general pasteboard, taken before the helper puts
// something of its own there and written back afterwards, so that nothing the
// user had copied is lost.
#pragma once

#include "platform/Desktop.h"

#include <string_view>
#include <vector>

namespace mq::logic {

/// The pasteboard's type identifier for plain text.
inline constexpr std::string_view kPlainTextPasteboardType = "public.utf8-plain-text";

class PasteboardSnapshot {
public:
    /// Copies every item on the pasteboard, with the data of each of its types,
    /// in the pasteboard's order.
    static PasteboardSnapshot take(platform::Desktop& desktop);

    /// Clears the pasteboard and, when items were saved, writes them back as they were.
    void restore(platform::Desktop& desktop) const;

    const std::vector<platform::PasteboardItem>& items() const { return m_items; }

private:
    std::vector<platform::PasteboardItem> m_items;
};

/// Clears the pasteboard and puts `text` on it as one plain-text item.
void putPlainTextOnPasteboard(platform::Desktop& desktop, std::string_view text);

} // namespace mq::logic
