#include "logic/DialogInput.h"

#include "ax/ElementQueries.h"
#include "logic/ServiceLog.h"
#include "platform/Dispatch.h"

namespace mq::logic {

namespace {

constexpr double kReturnKeyHoldSeconds = 0.002;

/// Whether the dialog's default button was there and took AXPress.
bool pressButton(const ax::UIElement& dialog)
{
    std::optional<ax::UIElement> button = ax::attributeOrNothing<ax::UIElement>(dialog, ax::Attribute::defaultButton);
    return button && button->performAction(ax::Action::press).hasValue();
}

/// The event string of one scalar: one UTF-16 code unit, or a surrogate pair
/// for a scalar beyond the Basic Multilingual Plane.
std::u16string utf16(char32_t scalar)
{
    if (scalar < 0x10000)
        return std::u16string(1, static_cast<char16_t>(scalar));
    char32_t offset = scalar - 0x10000;
    return { static_cast<char16_t>(0xD800 + (offset >> 10)), static_cast<char16_t>(0xDC00 + (offset & 0x3FF)) };
}

} // namespace

bool pressDefaultButton(platform::Platform& platform, const ax::UIElement& dialog)
{
    if (pressButton(dialog))
        return true;
    serviceLog().error("pressDefaultButton: default-button AXPress unavailable — falling back to Return keystroke");
    platform::KeyboardEvent down { platform::keycode::returnKey, true, {}, 0 };
    platform::KeyboardEvent up { platform::keycode::returnKey, false, {}, 0 };
    platform.input.postKeyboardEvent(down);
    sleepForSeconds(kReturnKeyHoldSeconds);
    platform.input.postKeyboardEvent(up);
    return true;
}

void typeTextWithKeyEvents(platform::Platform& platform, std::string_view text)
{
    (void)typeTextWithKeyEvents(platform, text, [] { return true; });
}

bool typeTextWithKeyEvents(platform::Platform& platform, std::string_view text, const std::function<bool()>& mayType)
{
    for (char32_t scalar : decodeUTF8(text)) {
        if (!mayType())
            return false;
        std::u16string units = utf16(scalar);
        platform.input.postKeyboardEvent(platform::KeyboardEvent { platform::keycode::ansiA, true, units, 0 });
        sleepForSeconds(kTypingPauseSeconds);
        platform.input.postKeyboardEvent(platform::KeyboardEvent { platform::keycode::ansiA, false, units, 0 });
        sleepForSeconds(kTypingPauseSeconds);
    }
    return true;
}

std::u32string decodeUTF8(std::string_view text)
{
    std::u32string scalars;
    std::size_t i = 0;
    while (i < text.size()) {
        auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        unsigned char lead = byte(i);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t scalar = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80)
                valid = false;
            else
                scalar = (scalar << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed too.
        constexpr char32_t kSmallest[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (valid && (scalar < kSmallest[length] || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)))
            valid = false;
        if (!valid) {
            scalars.push_back(U'\uFFFD');
            ++i;
            continue;
        }
        scalars.push_back(scalar);
        i += length;
    }
    return scalars;
}

} // namespace mq::logic
