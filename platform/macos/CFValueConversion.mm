#include "platform/macos/CFValueConversion.h"

#include <cstdint>
#include <vector>

namespace mq::platform::macos {

namespace {

AXValue fromAXValue(AXValueRef value)
{
    switch (AXValueGetType(value)) {
    case kAXValueCGPointType: {
        ::CGPoint point {};
        AXValueGetValue(value, kAXValueCGPointType, &point);
        return platform::CGPoint { point.x, point.y };
    }
    case kAXValueCGSizeType: {
        ::CGSize size {};
        AXValueGetValue(value, kAXValueCGSizeType, &size);
        return platform::CGSize { size.width, size.height };
    }
    case kAXValueCGRectType: {
        ::CGRect rect {};
        AXValueGetValue(value, kAXValueCGRectType, &rect);
        return platform::CGRect { { rect.origin.x, rect.origin.y }, { rect.size.width, rect.size.height } };
    }
    case kAXValueCFRangeType: {
        ::CFRange range {};
        AXValueGetValue(value, kAXValueCFRangeType, &range);
        return platform::CFRange { range.location, range.length };
    }
    case kAXValueAXErrorType: {
        AXError error = kAXErrorSuccess;
        AXValueGetValue(value, kAXValueAXErrorType, &error);
        return AXValueError { static_cast<AXErrorCode>(error) };
    }
    default:
        return AXValueOpaque { static_cast<std::int32_t>(AXValueGetType(value)) };
    }
}

CFHolder<CFTypeRef> toAXValue(const AXValue& value)
{
    if (auto* point = std::get_if<platform::CGPoint>(&value)) {
        ::CGPoint raw = CGPointMake(point->x, point->y);
        return CFHolder<CFTypeRef>(AXValueCreate(kAXValueCGPointType, &raw));
    }
    if (auto* size = std::get_if<platform::CGSize>(&value)) {
        ::CGSize raw = CGSizeMake(size->width, size->height);
        return CFHolder<CFTypeRef>(AXValueCreate(kAXValueCGSizeType, &raw));
    }
    if (auto* rect = std::get_if<platform::CGRect>(&value)) {
        ::CGRect raw = CGRectMake(rect->origin.x, rect->origin.y, rect->size.width, rect->size.height);
        return CFHolder<CFTypeRef>(AXValueCreate(kAXValueCGRectType, &raw));
    }
    if (auto* range = std::get_if<platform::CFRange>(&value)) {
        ::CFRange raw = CFRangeMake(range->location, range->length);
        return CFHolder<CFTypeRef>(AXValueCreate(kAXValueCFRangeType, &raw));
    }
    if (auto* error = std::get_if<AXValueError>(&value)) {
        AXError raw = static_cast<AXError>(error->code);
        return CFHolder<CFTypeRef>(AXValueCreate(kAXValueAXErrorType, &raw));
    }
    return CFHolder<CFTypeRef>(CFRetain(kCFNull));
}

} // namespace

CFHolder<CFStringRef> makeCFString(std::string_view text)
{
    CFStringRef string = CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
        static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false);
    if (!string)
        string = CFStringCreateWithBytes(kCFAllocatorDefault, nullptr, 0, kCFStringEncodingUTF8, false);
    return CFHolder<CFStringRef>(string);
}

std::string toUTF8(CFStringRef string)
{
    ::CFRange whole = CFRangeMake(0, CFStringGetLength(string));
    CFIndex needed = 0;
    CFStringGetBytes(string, whole, kCFStringEncodingUTF8, 0, false, nullptr, 0, &needed);
    std::string out(static_cast<std::size_t>(needed), '\0');
    CFIndex used = 0;
    CFStringGetBytes(string, whole, kCFStringEncodingUTF8, 0, false, reinterpret_cast<UInt8*>(out.data()), needed, &used);
    out.resize(static_cast<std::size_t>(used));
    return out;
}

CFValue fromCF(CFTypeRef value, AXElementTable& elements)
{
    if (!value)
        return CFNull {};
    CFTypeID type = CFGetTypeID(value);
    if (type == CFNullGetTypeID())
        return CFNull {};
    if (type == CFBooleanGetTypeID())
        return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0;
    if (type == CFNumberGetTypeID()) {
        auto number = static_cast<CFNumberRef>(value);
        if (CFNumberIsFloatType(number)) {
            double real = 0;
            CFNumberGetValue(number, kCFNumberDoubleType, &real);
            return real;
        }
        std::int64_t integer = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
        return integer;
    }
    if (type == CFStringGetTypeID())
        return toUTF8(static_cast<CFStringRef>(value));
    if (type == CFURLGetTypeID()) {
        CFURLRef absolute = CFURLCopyAbsoluteURL(static_cast<CFURLRef>(value));
        CFHolder<CFURLRef> holder(absolute);
        if (auto url = URL::parse(toUTF8(CFURLGetString(absolute ? absolute : static_cast<CFURLRef>(value)))))
            return *url;
        return CFNull {};
    }
    if (type == AXUIElementGetTypeID())
        return elements.intern(static_cast<AXUIElementRef>(const_cast<void*>(value)));
    if (type == AXValueGetTypeID())
        return fromAXValue(static_cast<AXValueRef>(const_cast<void*>(value)));
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(value);
        CFArray out;
        CFIndex count = CFArrayGetCount(array);
        out.reserve(static_cast<std::size_t>(count));
        for (CFIndex i = 0; i < count; ++i)
            out.push_back(fromCF(CFArrayGetValueAtIndex(array, i), elements));
        return out;
    }
    if (type == CFDictionaryGetTypeID()) {
        auto dictionary = static_cast<CFDictionaryRef>(value);
        CFIndex count = CFDictionaryGetCount(dictionary);
        std::vector<const void*> keys(static_cast<std::size_t>(count));
        std::vector<const void*> values(static_cast<std::size_t>(count));
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
        CFDictionary out;
        for (CFIndex i = 0; i < count; ++i) {
            // Only string keys have a place in the seam's dictionary.
            if (CFGetTypeID(keys[i]) == CFStringGetTypeID())
                out.emplace_back(toUTF8(static_cast<CFStringRef>(keys[i])), fromCF(values[i], elements));
        }
        return out;
    }
    return CFNull {};
}

CFHolder<CFTypeRef> toCF(const CFValue& value, AXElementTable& elements)
{
    const auto& storage = value.storage;
    if (auto* flag = std::get_if<bool>(&storage))
        return CFHolder<CFTypeRef>(CFRetain(*flag ? kCFBooleanTrue : kCFBooleanFalse));
    if (auto* integer = std::get_if<std::int64_t>(&storage))
        return CFHolder<CFTypeRef>(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, integer));
    if (auto* real = std::get_if<double>(&storage))
        return CFHolder<CFTypeRef>(CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, real));
    if (auto* text = std::get_if<std::string>(&storage))
        return CFHolder<CFTypeRef>(makeCFString(*text).release());
    if (auto* url = std::get_if<URL>(&storage)) {
        const std::string& text = url->absoluteString();
        return CFHolder<CFTypeRef>(CFURLCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
            static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, nullptr));
    }
    if (auto* element = std::get_if<AXElementRef>(&storage)) {
        auto handle = elements.resolve(*element);
        return CFHolder<CFTypeRef>(handle ? CFRetain(handle.get()) : CFRetain(kCFNull));
    }
    if (auto* axValue = std::get_if<AXValue>(&storage))
        return toAXValue(*axValue);
    if (auto* array = std::get_if<CFArray>(&storage)) {
        CFMutableArrayRef out = CFArrayCreateMutable(kCFAllocatorDefault, static_cast<CFIndex>(array->size()), &kCFTypeArrayCallBacks);
        for (const CFValue& item : *array) {
            auto converted = toCF(item, elements);
            CFArrayAppendValue(out, converted.get());
        }
        return CFHolder<CFTypeRef>(out);
    }
    if (auto* dictionary = std::get_if<CFDictionary>(&storage)) {
        CFMutableDictionaryRef out = CFDictionaryCreateMutable(kCFAllocatorDefault, static_cast<CFIndex>(dictionary->size()),
            &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        for (const auto& [key, item] : *dictionary) {
            auto cfKey = makeCFString(key);
            auto converted = toCF(item, elements);
            CFDictionarySetValue(out, cfKey.get(), converted.get());
        }
        return CFHolder<CFTypeRef>(out);
    }
    return CFHolder<CFTypeRef>(CFRetain(kCFNull));
}

} // namespace mq::platform::macos
