#include "ax/ValuePacking.h"

namespace mq::ax {

namespace {

template<typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

} // namespace

Value unpack(platform::Accessibility& accessibility, const platform::CFValue& raw)
{
    return std::visit(Overloaded {
                          [&](const platform::AXElementRef& element) -> Value { return UIElement(accessibility, element); },
                          [&](const platform::AXValue& boxed) -> Value {
                              return std::visit(Overloaded {
                                                    [](const platform::AXValueError& error) -> Value { return AXError(error.code); },
                                                    [](const auto& geometric) -> Value { return geometric; },
                                                },
                                  boxed);
                          },
                          [&](const platform::CFArray& array) -> Value {
                              ValueArray entries;
                              entries.reserve(array.size());
                              for (const platform::CFValue& entry : array)
                                  entries.push_back(unpack(accessibility, entry));
                              return entries;
                          },
                          [&](const platform::CFDictionary& dictionary) -> Value {
                              ValueDictionary entries;
                              entries.reserve(dictionary.size());
                              for (const auto& [key, entry] : dictionary)
                                  entries.emplace_back(key, unpack(accessibility, entry));
                              return entries;
                          },
                          [](const auto& plain) -> Value { return plain; },
                      },
        raw.storage);
}

platform::CFValue pack(const Value& value)
{
    return std::visit(Overloaded {
                          [](const UIElement& element) -> platform::CFValue { return element.element(); },
                          [](const platform::CFRange& range) -> platform::CFValue { return platform::AXValue(range); },
                          [](const platform::CGPoint& point) -> platform::CFValue { return platform::AXValue(point); },
                          [](const platform::CGRect& rect) -> platform::CFValue { return platform::AXValue(rect); },
                          [](const platform::CGSize& size) -> platform::CFValue { return platform::AXValue(size); },
                          [](const AXError& error) -> platform::CFValue { return platform::AXValue(platform::AXValueError { error.code() }); },
                          [](const platform::AXValueOpaque& opaque) -> platform::CFValue { return platform::AXValue(opaque); },
                          [](const ValueArray& array) -> platform::CFValue {
                              platform::CFArray entries;
                              entries.reserve(array.size());
                              for (const Value& entry : array)
                                  entries.push_back(pack(entry));
                              return entries;
                          },
                          [](const ValueDictionary& dictionary) -> platform::CFValue {
                              platform::CFDictionary entries;
                              entries.reserve(dictionary.size());
                              for (const auto& [key, entry] : dictionary)
                                  entries.emplace_back(key, pack(entry));
                              return entries;
                          },
                          [](const auto& plain) -> platform::CFValue { return plain; },
                      },
        value.storage);
}

} // namespace mq::ax
