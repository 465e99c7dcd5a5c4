// Labels of the onboarding window from the shared content table: a text with
// its font style and colour.
#pragma once

#import <AppKit/AppKit.h>

#include "permissions/OnboardingContent.h"

#include <string_view>

inline NSString* MQString(std::string_view text)
{
    return [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
}

inline NSFont* MQFont(mq::permissions::content::FontStyle style)
{
    return [NSFont systemFontOfSize:style.points weight:style.semibold ? NSFontWeightSemibold : NSFontWeightRegular];
}

inline NSTextField* MQLabel(std::string_view text, mq::permissions::content::FontStyle font, NSColor* color)
{
    NSTextField* label = [NSTextField labelWithString:MQString(text)];
    label.font = MQFont(font);
    label.textColor = color;
    return label;
}

/// A label that wraps at the window's text width, with no line limit.
inline NSTextField* MQWrappingLabel(std::string_view text, mq::permissions::content::FontStyle font, NSColor* color)
{
    NSTextField* label = [NSTextField wrappingLabelWithString:MQString(text)];
    label.font = MQFont(font);
    label.textColor = color;
    label.maximumNumberOfLines = 0;
    label.preferredMaxLayoutWidth = mq::permissions::content::kWrapWidth;
    return label;
}
