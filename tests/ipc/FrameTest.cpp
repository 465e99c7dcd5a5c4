#include "protocol/Frame.h"
#include "marquee/MQHelperXPCProtocol.h"
#include "app/ipc/server/RequestDispatch.h"
#include "marquee/WireTuple.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace mq::ipc {
namespace {

Expected<Frame, DecodeError> roundTrip(const Frame& frame)
{
    auto bytes = encodeFrame(frame);
    EXPECT_EQ(frameBodyLength(bytes.data()), bytes.size() - kFrameHeaderBytes);
    return decodeFrameBody(bytes.data() + kFrameHeaderBytes, bytes.size() - kFrameHeaderBytes);
}

TEST(Frame, EveryValueKindSurvivesARoundTrip)
{
    const std::vector<WireValue> values {
        std::monostate {},
        true,
        false,
        std::int64_t { -42 },
        std::int64_t { std::numeric_limits<std::int64_t>::min() },
        std::uint64_t { std::numeric_limits<std::uint64_t>::max() },
        3600.48,
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::string("Grüße \"quoted\" \\ name"),
        std::string(),
        Data { 0, 1, 2, 255 },
        URL::fileURLWithPath("/Users/someone/Music/Song Demo.logicx"),
        makeServiceError(82, "Go to Position dialog did not appear in time"),
    };
    auto decoded = roundTrip(Frame { FrameKind::request, 7, "selector:", values });
    ASSERT_TRUE(decoded.hasValue()) << decoded.error().reason;
    const auto& frame = decoded.value();
    EXPECT_EQ(frame.kind, FrameKind::request);
    EXPECT_EQ(frame.id, 7u);
    EXPECT_EQ(frame.selector, "selector:");
    EXPECT_EQ(frame.values, values);
}

TEST(Frame, WholeAndNegativeZeroDoublesStayDoubles)
{
    // Found by the fuzzer: whole-number doubles came back as integers.
    auto decoded = roundTrip(Frame { FrameKind::reply, 1, {}, { 60.0, -0.0, 1e300, -4.0 } });
    ASSERT_TRUE(decoded.hasValue());
    const auto& values = decoded.value().values;
    ASSERT_EQ(values.size(), 4u);
    for (const auto& value : values)
        ASSERT_TRUE(std::holds_alternative<double>(value));
    EXPECT_EQ(std::get<double>(values[0]), 60.0);
    EXPECT_TRUE(std::signbit(std::get<double>(values[1])));
    EXPECT_EQ(std::get<double>(values[2]), 1e300);
}

TEST(Frame, NaNStaysNaN)
{
    auto decoded = roundTrip(Frame { FrameKind::reply, 1, {}, { std::nan("") } });
    ASSERT_TRUE(decoded.hasValue());
    const auto& values = decoded.value().values;
    ASSERT_EQ(values.size(), 1u);
    EXPECT_TRUE(std::isnan(std::get<double>(values[0])));
}

std::vector<std::uint8_t> body(std::initializer_list<std::uint8_t> bytes)
{
    return bytes;
}

TEST(Frame, MalformedBodiesAreRejectedWithAReason)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> body;
    };
    const Case cases[] = {
        { "not msgpack", body({ 0xc1 }) },
        { "not an array", body({ 0x01 }) },
        { "array too short", body({ 0x91, 0x01 }) },
        { "unknown kind", body({ 0x93, 0x05, 0x01, 0xa1, 'x' }) },
        { "negative id", body({ 0x93, 0x01, 0xff, 0xa1, 'x' }) },
        { "request without selector", body({ 0x92, 0x01, 0x01 }) },
        { "selector not a string", body({ 0x93, 0x01, 0x01, 0x05 }) },
        { "empty selector", body({ 0x93, 0x01, 0x01, 0xa0 }) },
        { "invalid UTF-8 selector", body({ 0x93, 0x01, 0x01, 0xa2, 0xc3, 0x28 }) },
        { "truncated array", body({ 0x94, 0x01, 0x01, 0xa1, 'x' }) },
        { "trailing bytes", body({ 0x93, 0x01, 0x01, 0xa1, 'x', 0x00 }) },
        { "nested map value", body({ 0x94, 0x01, 0x01, 0xa1, 'x', 0x80 }) },
        { "unknown extension", body({ 0x94, 0x01, 0x01, 0xa1, 'x', 0xd4, 0x07, 0x00 }) },
        { "URL that does not parse", body({ 0x94, 0x01, 0x01, 0xa1, 'x', 0xd5, 0x01, 'a', 'b' }) },
        { "error object with a float code", body({ 0x94, 0x01, 0x01, 0xa1, 'x', 0x93, 0xa1, 'd', 0xca, 0, 0, 0, 0, 0xa1, 'm' }) },
        { "overlong UTF-8", body({ 0x94, 0x01, 0x01, 0xa1, 'x', 0xa2, 0xc0, 0x80 }) },
        { "UTF-16 surrogate in UTF-8", body({ 0x94, 0x01, 0x01, 0xa1, 'x', 0xa3, 0xed, 0xa0, 0x80 }) },
    };
    for (const auto& c : cases) {
        auto decoded = decodeFrameBody(c.body.data(), c.body.size());
        ASSERT_TRUE(!decoded.hasValue()) << c.name;
        EXPECT_FALSE(decoded.error().reason.empty()) << c.name;
    }
}

TEST(Frame, HugeDeclaredContainerDoesNotAllocate)
{
    // An array header that claims 2^32-1 elements in a 5-byte body.
    std::vector<std::uint8_t> bytes { 0xdd, 0xff, 0xff, 0xff, 0xff };
    auto decoded = decodeFrameBody(bytes.data(), bytes.size());
    EXPECT_TRUE(!decoded.hasValue());
}

TEST(WireTuple, DecodingChecksCountAndTypes)
{
    using Arguments = protocol::goToLogicPlayheadSMPTESeconds::Arguments;
    struct Case {
        const char* name;
        std::vector<WireValue> values;
        bool accepted;
    };
    const Case cases[] = {
        { "exact types", { 60.0, 25.0, false }, true },
        { "integers where doubles go", { std::int64_t { 60 }, std::int64_t { 25 }, true }, true },
        { "too few", { 60.0, 25.0 }, false },
        { "too many", { 60.0, 25.0, false, false }, false },
        { "string for a double", { std::string("60"), 25.0, false }, false },
        { "integer for a BOOL", { 60.0, 25.0, std::int64_t { 1 } }, false },
        { "nil for a double", { std::monostate {}, 25.0, false }, false },
    };
    for (const auto& c : cases) {
        auto decoded = decodeTuple<Arguments>(c.values);
        EXPECT_EQ(decoded.hasValue(), c.accepted) << c.name;
    }
}

TEST(WireTuple, IntegerRangesAreChecked)
{
    using Code = std::tuple<std::uint32_t>;
    EXPECT_TRUE(decodeTuple<Code>({ std::int64_t { 4294967295 } }).hasValue());
    EXPECT_FALSE(decodeTuple<Code>({ std::int64_t { 4294967296 } }).hasValue());
    EXPECT_FALSE(decodeTuple<Code>({ std::int64_t { -1 } }).hasValue());
    using Index = std::tuple<std::int64_t>;
    EXPECT_FALSE(decodeTuple<Index>({ std::uint64_t { 1ull << 63 } }).hasValue());
    EXPECT_FALSE(decodeTuple<Index>({ 1.0 }).hasValue());
}

TEST(WireTuple, OptionalsTakeNilOrTheirType)
{
    using Reply = protocol::currentLogicProjectURLWithReply::ReplyValues;
    auto absent = decodeTuple<Reply>({ std::monostate {}, makeServiceError(61, "Logic Pro has no saved project open.") });
    ASSERT_TRUE(absent.hasValue());
    EXPECT_FALSE(std::get<0>(absent.value()).has_value());
    EXPECT_EQ(std::get<1>(absent.value())->code, 61);
    EXPECT_FALSE(decodeTuple<Reply>({ std::string("/not/a/url"), std::monostate {} }).hasValue());
}

TEST(RequestDispatch, UnknownSelectorsAndBadArgumentsAreViolations)
{
    auto unknown = prepareRequest(Frame { FrameKind::request, 1, "noSuchSelector:", {} });
    ASSERT_TRUE(!unknown.hasValue());
    EXPECT_NE(unknown.error().reason.find("unknown selector"), std::string::npos);

    auto wrongType = prepareRequest(Frame { FrameKind::request, 1, std::string(protocol::runActionWithCode::selector), { std::string("21") } });
    ASSERT_TRUE(!wrongType.hasValue());

    auto reply = prepareRequest(Frame { FrameKind::reply, 1, {}, {} });
    EXPECT_TRUE(!reply.hasValue());

    auto good = prepareRequest(Frame { FrameKind::request, 9, std::string(protocol::runActionWithCode::selector), { std::int64_t { 21 } } });
    ASSERT_TRUE(good.hasValue());
    EXPECT_EQ(good.value().id, 9u);
}

} // namespace
} // namespace mq::ipc
