#include "platform/macos/MacDesktop.h"

#include "platform/macos/AXElementTable.h"
#include "platform/macos/CFHolder.h"
#include "platform/macos/CFValueConversion.h"

#include <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>
#include <Foundation/Foundation.h>

namespace mq::platform::macos {

namespace {

CGRect toRect(NSRect rect)
{
    return CGRect { { rect.origin.x, rect.origin.y }, { rect.size.width, rect.size.height } };
}

} // namespace

std::optional<CFDictionary> MacDesktop::sessionDictionary()
{
    CFHolder<CFDictionaryRef> session(CGSessionCopyCurrentDictionary());
    if (!session)
        return std::nullopt;
    // The session dictionary holds strings, numbers and booleans only.
    AXElementTable noElements;
    auto converted = fromCF(session.get(), noElements);
    auto* dictionary = converted.get<CFDictionary>();
    return dictionary ? std::optional<CFDictionary>(*dictionary) : std::nullopt;
}

std::vector<Screen> MacDesktop::screens()
{
    std::vector<Screen> out;
    @autoreleasepool {
        NSScreen* mainScreen = [NSScreen mainScreen];
        for (NSScreen* screen in [NSScreen screens])
            out.push_back(Screen { toRect(screen.frame), toRect(screen.visibleFrame), screen == mainScreen });
    }
    return out;
}

std::vector<PasteboardItem> MacDesktop::pasteboardItems()
{
    std::vector<PasteboardItem> out;
    @autoreleasepool {
        for (NSPasteboardItem* item in [NSPasteboard generalPasteboard].pasteboardItems) {
            PasteboardItem copy;
            for (NSPasteboardType type in item.types) {
                NSData* data = [item dataForType:type];
                if (!data)
                    continue;
                copy.representations.emplace_back(std::string(type.UTF8String),
                    std::string(static_cast<const char*>(data.bytes), data.length));
            }
            out.push_back(std::move(copy));
        }
    }
    return out;
}

void MacDesktop::setPasteboardItems(const std::vector<PasteboardItem>& items)
{
    @autoreleasepool {
        NSPasteboard* pasteboard = [NSPasteboard generalPasteboard];
        [pasteboard clearContents];
        NSMutableArray<NSPasteboardItem*>* written = [NSMutableArray array];
        for (const PasteboardItem& item : items) {
            NSPasteboardItem* copy = [[NSPasteboardItem alloc] init];
            for (const auto& [type, bytes] : item.representations) {
                NSString* name = [[NSString alloc] initWithBytes:type.data() length:type.size() encoding:NSUTF8StringEncoding];
                if (!name)
                    continue;
                [copy setData:[NSData dataWithBytes:bytes.data() length:bytes.size()] forType:name];
            }
            [written addObject:copy];
        }
        if (written.count > 0)
            [pasteboard writeObjects:written];
    }
}

} // namespace mq::platform::macos
