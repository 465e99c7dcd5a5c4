// The Objective-C type that stands for each C++ type of the request table on the
// XPC side: scalars keep their width, strings, URLs, data and errors become
// Foundation objects, and an optional becomes an object that may be nil.
#pragma once

#include "marquee/MQHelperXPCProtocol.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mq::xpcgen {

template<typename T>
struct ObjCType;

template<>
struct ObjCType<double> {
    static constexpr std::string_view name = "double";
};
template<>
struct ObjCType<bool> {
    static constexpr std::string_view name = "BOOL";
};
template<>
struct ObjCType<std::int64_t> {
    static constexpr std::string_view name = "int64_t";
};
template<>
struct ObjCType<std::uint32_t> {
    static constexpr std::string_view name = "uint32_t";
};
template<>
struct ObjCType<std::string> {
    static constexpr std::string_view name = "NSString*";
};
template<>
struct ObjCType<URL> {
    static constexpr std::string_view name = "NSURL*";
};
template<>
struct ObjCType<Data> {
    static constexpr std::string_view name = "NSData*";
};
template<>
struct ObjCType<ServiceError> {
    static constexpr std::string_view name = "NSError*";
};
template<typename T>
struct ObjCType<std::optional<T>> {
    static constexpr std::string_view name = ObjCType<T>::name;
};

} // namespace mq::xpcgen
