#include "protocol/Frame.h"

#include "base/UTF8.h"

#include <msgpack.hpp>

#include <cstring>

namespace mq::ipc {

namespace {

constexpr std::int8_t kURLExtType = 1;

struct ValuePacker {
    msgpack::packer<msgpack::sbuffer>& packer;
    msgpack::sbuffer& buffer;

    void operator()(std::monostate) { packer.pack_nil(); }
    void operator()(bool v) { v ? packer.pack_true() : packer.pack_false(); }
    void operator()(std::int64_t v) { packer.pack_int64(v); }
    void operator()(std::uint64_t v) { packer.pack_uint64(v); }
    void operator()(double v)
    {
        // Always float64: msgpack-cxx's pack_double writes whole numbers as
        // integers, which would turn -0.0 into 0 and a double into another type.
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        char bytes[9];
        bytes[0] = static_cast<char>(0xcb);
        for (int i = 0; i < 8; ++i)
            bytes[1 + i] = static_cast<char>(bits >> (56 - 8 * i));
        buffer.write(bytes, sizeof bytes);
    }
    void operator()(const std::string& v) { packString(v); }
    void operator()(const Data& v)
    {
        packer.pack_bin(static_cast<std::uint32_t>(v.size()));
        packer.pack_bin_body(reinterpret_cast<const char*>(v.data()), static_cast<std::uint32_t>(v.size()));
    }
    void operator()(const URL& v)
    {
        const auto& text = v.absoluteString();
        packer.pack_ext(text.size(), kURLExtType);
        packer.pack_ext_body(text.data(), static_cast<std::uint32_t>(text.size()));
    }
    void operator()(const ServiceError& v)
    {
        packer.pack_array(3);
        packString(v.domain);
        packer.pack_int64(v.code);
        packString(v.localizedDescription);
    }

    void packString(const std::string& v)
    {
        packer.pack_str(static_cast<std::uint32_t>(v.size()));
        packer.pack_str_body(v.data(), static_cast<std::uint32_t>(v.size()));
    }
};

std::optional<std::string> readString(const msgpack::object& object)
{
    if (object.type != msgpack::type::STR || !isWellFormedUTF8({ object.via.str.ptr, object.via.str.size }))
        return std::nullopt;
    return std::string(object.via.str.ptr, object.via.str.size);
}

Expected<WireValue, DecodeError> decodeValue(const msgpack::object& object)
{
    switch (object.type) {
    case msgpack::type::NIL:
        return WireValue { std::monostate {} };
    case msgpack::type::BOOLEAN:
        return WireValue { object.via.boolean };
    case msgpack::type::POSITIVE_INTEGER:
        if (object.via.u64 <= static_cast<std::uint64_t>(INT64_MAX))
            return WireValue { static_cast<std::int64_t>(object.via.u64) };
        return WireValue { object.via.u64 };
    case msgpack::type::NEGATIVE_INTEGER:
        return WireValue { object.via.i64 };
    case msgpack::type::FLOAT32:
    case msgpack::type::FLOAT64:
        return WireValue { object.via.f64 };
    case msgpack::type::STR:
        if (auto text = readString(object))
            return WireValue { std::move(*text) };
        return unexpected(DecodeError { "string is not valid UTF-8" });
    case msgpack::type::BIN:
        return WireValue { Data(reinterpret_cast<const std::uint8_t*>(object.via.bin.ptr),
            reinterpret_cast<const std::uint8_t*>(object.via.bin.ptr) + object.via.bin.size) };
    case msgpack::type::EXT: {
        if (object.via.ext.type() != kURLExtType)
            return unexpected(DecodeError { "unknown extension type " + std::to_string(object.via.ext.type()) });
        std::string_view text(object.via.ext.data(), object.via.ext.size);
        if (!isWellFormedUTF8(text))
            return unexpected(DecodeError { "URL is not valid UTF-8" });
        auto url = URL::parse(text);
        if (!url)
            return unexpected(DecodeError { "malformed URL" });
        return WireValue { std::move(*url) };
    }
    case msgpack::type::ARRAY: {
        const auto& array = object.via.array;
        if (array.size != 3)
            return unexpected(DecodeError { "array value is not an error object" });
        auto domain = readString(array.ptr[0]);
        auto description = readString(array.ptr[2]);
        std::int64_t code = 0;
        if (array.ptr[1].type == msgpack::type::NEGATIVE_INTEGER)
            code = array.ptr[1].via.i64;
        else if (array.ptr[1].type == msgpack::type::POSITIVE_INTEGER && array.ptr[1].via.u64 <= INT64_MAX)
            code = static_cast<std::int64_t>(array.ptr[1].via.u64);
        else
            return unexpected(DecodeError { "error object code is not an integer" });
        if (!domain || !description)
            return unexpected(DecodeError { "error object domain or description is not a string" });
        return WireValue { ServiceError { std::move(*domain), code, std::move(*description) } };
    }
    default:
        return unexpected(DecodeError { "value of an unsupported type" });
    }
}

} // namespace

std::vector<std::uint8_t> encodeFrame(const Frame& frame)
{
    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    bool isRequest = frame.kind == FrameKind::request;
    packer.pack_array(static_cast<std::uint32_t>(frame.values.size() + (isRequest ? 3 : 2)));
    packer.pack_uint8(static_cast<std::uint8_t>(frame.kind));
    packer.pack_uint64(frame.id);
    ValuePacker valuePacker { packer, buffer };
    if (isRequest)
        valuePacker.packString(frame.selector);
    for (const auto& value : frame.values)
        std::visit(valuePacker, value);

    std::vector<std::uint8_t> out(kFrameHeaderBytes + buffer.size());
    auto size = static_cast<std::uint32_t>(buffer.size());
    out[0] = static_cast<std::uint8_t>(size >> 24);
    out[1] = static_cast<std::uint8_t>(size >> 16);
    out[2] = static_cast<std::uint8_t>(size >> 8);
    out[3] = static_cast<std::uint8_t>(size);
    std::memcpy(out.data() + kFrameHeaderBytes, buffer.data(), buffer.size());
    return out;
}

std::uint32_t frameBodyLength(const std::uint8_t header[kFrameHeaderBytes])
{
    return (std::uint32_t(header[0]) << 24) | (std::uint32_t(header[1]) << 16) | (std::uint32_t(header[2]) << 8)
        | std::uint32_t(header[3]);
}

Expected<Frame, DecodeError> decodeFrameBody(const std::uint8_t* data, std::size_t size)
{
    msgpack::object_handle handle;
    try {
        std::size_t offset = 0;
        // Limits keep a hostile frame from making the unpacker allocate more than
        // the frame itself could describe.
        msgpack::unpack_limit limit(64, 64, size, size, 64, 2);
        handle = msgpack::unpack(reinterpret_cast<const char*>(data), size, offset, nullptr, nullptr, limit);
        if (offset != size)
            return unexpected(DecodeError { "trailing bytes after the message" });
    } catch (const std::exception& error) {
        return unexpected(DecodeError { std::string("not a MessagePack message: ") + error.what() });
    }

    const auto& root = handle.get();
    if (root.type != msgpack::type::ARRAY || root.via.array.size < 2)
        return unexpected(DecodeError { "message is not an array of at least two elements" });
    const auto& items = root.via.array;
    if (items.ptr[0].type != msgpack::type::POSITIVE_INTEGER || (items.ptr[0].via.u64 != 1 && items.ptr[0].via.u64 != 2))
        return unexpected(DecodeError { "unknown message kind" });
    if (items.ptr[1].type != msgpack::type::POSITIVE_INTEGER)
        return unexpected(DecodeError { "message id is not an unsigned integer" });

    Frame frame;
    frame.kind = static_cast<FrameKind>(items.ptr[0].via.u64);
    frame.id = items.ptr[1].via.u64;
    std::uint32_t first = 2;
    if (frame.kind == FrameKind::request) {
        if (items.size < 3)
            return unexpected(DecodeError { "request has no selector" });
        auto selector = readString(items.ptr[2]);
        if (!selector || selector->empty() || selector->size() > kMaxSelectorBytes)
            return unexpected(DecodeError { "selector is not a valid string" });
        frame.selector = std::move(*selector);
        first = 3;
    }
    for (std::uint32_t i = first; i < items.size; ++i) {
        auto value = decodeValue(items.ptr[i]);
        if (!value)
            return unexpected(DecodeError { "value " + std::to_string(i - first) + ": " + value.error().reason });
        frame.values.push_back(std::move(value).value());
    }
    return frame;
}

} // namespace mq::ipc
