// The desktop facilities of the platform seam: the login session dictionary,
// the screens and the general pasteboard.
#pragma once

#include "platform/CoreTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace mq::platform {

/// One display (NSScreen), in AppKit coordinates: origin at the bottom left of the
/// main screen, y upwards.
struct Screen {
    CGRect frame;
    /// The frame less the menu bar and the Dock.
    CGRect visibleFrame;
    /// NSScreen.mainScreen: the screen with the key window.
    bool isMain { false };
};

/// One item of the pasteboard: type identifiers mapped to their data.
struct PasteboardItem {
    std::vector<std::pair<std::string, std::string>> representations;
};

class Desktop {
public:
    virtual ~Desktop() = default;

    /// CGSessionCopyCurrentDictionary; nothing when there is no session.
    virtual std::optional<CFDictionary> sessionDictionary() = 0;

    /// NSScreen.screens: the primary screen (the one with the menu bar, whose
    /// bottom left is the origin) first.
    virtual std::vector<Screen> screens() = 0;

    /// Every item on the general pasteboard.
    virtual std::vector<PasteboardItem> pasteboardItems() = 0;
    /// Clears the pasteboard and writes `items`.
    virtual void setPasteboardItems(const std::vector<PasteboardItem>& items) = 0;
};

} // namespace mq::platform
