#include "platform/linux/LogicSimWire.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mq;
using namespace mq::platform;
using nlohmann::json;

namespace {

struct RoundTrip {
    const char* name;
    CFValue value;
    const char* encoded;
};

class WireRoundTrip : public ::testing::TestWithParam<RoundTrip> { };

TEST_P(WireRoundTrip, EncodesAsDocumentedAndDecodesBack)
{
    const auto& c = GetParam();
    json encoded = wire::encode(c.value);
    EXPECT_EQ(encoded.dump(), c.encoded);
    auto decoded = wire::decode(json::parse(encoded.dump()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, c.value);
}

INSTANTIATE_TEST_SUITE_P(Values, WireRoundTrip,
    ::testing::Values(RoundTrip { "null", CFValue(CFNull {}), "null" }, RoundTrip { "bool", CFValue(true), "true" },
        RoundTrip { "integer", CFValue(std::int64_t(-42)), "-42" }, RoundTrip { "wholeDouble", CFValue(3600.0), "3600.0" },
        RoundTrip { "infinity", CFValue(-INFINITY), R"({"real":"-inf"})" }, RoundTrip { "string", CFValue("Control Bar"), R"("Control Bar")" },
        RoundTrip { "url", CFValue(*URL::parse("file:///Users/a/b.logicx")), R"({"url":"file:///Users/a/b.logicx"})" },
        RoundTrip { "element", CFValue(AXElementRef { 12, 34, false }), R"({"element":34,"pid":12})" },
        RoundTrip { "systemWide", CFValue(AXElementRef { 0, 0, true }), R"({"systemWide":true})" },
        RoundTrip { "point", CFValue(AXValue(CGPoint { 1.5, 2 })), R"({"point":[1.5,2.0]})" },
        RoundTrip { "size", CFValue(AXValue(CGSize { 3, 4 })), R"({"size":[3.0,4.0]})" },
        RoundTrip { "rect", CFValue(AXValue(CGRect { { 1, 2 }, { 3, 4 } })), R"({"rect":[1.0,2.0,3.0,4.0]})" },
        RoundTrip { "range", CFValue(AXValue(CFRange { 5, 6 })), R"({"range":[5,6]})" },
        RoundTrip { "axError", CFValue(AXValue(AXValueError { -25212 })), R"({"axError":-25212})" },
        RoundTrip { "opaque", CFValue(AXValue(AXValueOpaque { 9 })), R"({"axValueType":9})" },
        RoundTrip { "array", CFValue(CFArray { CFValue(1), CFValue("x") }), R"([1,"x"])" },
        RoundTrip { "dictionary", CFValue(CFDictionary { { "b", CFValue(1) }, { "a", CFValue(false) } }), R"({"dict":[["b",1],["a",false]]})" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Wire, NaNSurvivesTheTrip)
{
    auto decoded = wire::decode(json::parse(wire::encode(CFValue(std::nan(""))).dump()));
    ASSERT_TRUE(decoded && decoded->get<double>());
    EXPECT_TRUE(std::isnan(*decoded->get<double>()));
}

TEST(Wire, RejectsMalformedEncodings)
{
    for (const char* text : { R"({"point":[1]})", R"({"rect":[1,2,3,"x"]})", R"({"url":"relative/path"})", R"({"unknown":1})",
             R"({"range":[1.5,2]})", R"({"dict":[["a"]]})", R"([1,{"point":"x"}])", R"({"real":"big"})", R"({"element":-1,"pid":3})" })
        EXPECT_FALSE(wire::decode(json::parse(text))) << text;
}

TEST(Wire, SocketPathFollowsTheRuntimeDirectory)
{
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(wire::defaultSocketPath(), "/run/user/1000/logicsim.sock");
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_FALSE(wire::defaultSocketPath());
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(wire::defaultSocketPath());
}

} // namespace
