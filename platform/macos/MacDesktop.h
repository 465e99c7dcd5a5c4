// The desktop facility: the login session dictionary (CGSessionCopyCurrentDictionary),
// the screens (NSScreen) and the general pasteboard (NSPasteboard).
#pragma once

#include "platform/Desktop.h"

namespace mq::platform::macos {

class MacDesktop final : public Desktop {
public:
    std::optional<CFDictionary> sessionDictionary() override;
    std::vector<Screen> screens() override;
    std::vector<PasteboardItem> pasteboardItems() override;
    void setPasteboardItems(const std::vector<PasteboardItem>& items) override;
};

} // namespace mq::platform::macos
