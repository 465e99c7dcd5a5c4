#include "ax/AXError.h"
#include "ax/Result.h"

#include <gtest/gtest.h>

namespace mq::ax {
namespace {

struct NamedCode {
    platform::AXErrorCode code;
    const char* name;
};

constexpr NamedCode kTable[] = {
    { 0, "Success" },
    { -25200, "Failure" },
    { -25201, "IllegalArgument" },
    { -25202, "InvalidUIElement" },
    { -25203, "InvalidUIElementObserver" },
    { -25204, "CannotComplete" },
    { -25205, "AttributeUnsupported" },
    { -25206, "ActionUnsupported" },
    { -25207, "NotificationUnsupported" },
    { -25208, "NotImplemented" },
    { -25209, "NotificationAlreadyRegistered" },
    { -25210, "NotificationNotRegistered" },
    { -25211, "APIDisabled" },
    { -25212, "NoValue" },
    { -25213, "ParameterizedAttributeUnsupported" },
    { -25214, "NotEnoughPrecision" },
};

TEST(AXError, EveryCodeOfTheTableHasItsNameAndTextForm)
{
    for (const NamedCode& entry : kTable) {
        AXError error(entry.code);
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(error.code(), entry.code);
        ASSERT_TRUE(error.name().has_value());
        EXPECT_EQ(*error.name(), entry.name);
        EXPECT_EQ(error.description(), std::string("AXError.") + entry.name);
    }
}

TEST(AXError, CodesOutsideTheTableAreUnknown)
{
    for (platform::AXErrorCode code : { -1, 1, -25199, -25215, 25212 }) {
        AXError error(code);
        EXPECT_FALSE(error.name().has_value()) << code;
        EXPECT_EQ(error.description(), "AXError.<Unknown>") << code;
    }
}

TEST(AXError, BridgesToASystemErrorOfItsOwnDomainAndBack)
{
    AXError error(-25212);
    SystemError bridged = error.systemError();
    EXPECT_EQ(bridged.domain, "ApplicationServices.AXError");
    EXPECT_EQ(bridged.code, -25212);
    EXPECT_EQ(AXError::fromSystemError(bridged), error);
    EXPECT_FALSE(AXError::fromSystemError(SystemError { "NSCocoaErrorDomain", -25212 }).has_value());
    EXPECT_FALSE(AXError::fromSystemError(SystemError { "ApplicationServices.AXError", 1ll << 40 }).has_value());
}

TEST(AXError, ResultOfIsASuccessOnlyForStatusZero)
{
    EXPECT_TRUE(resultOf(0).hasValue());
    for (platform::AXErrorCode code : { -25204, -25212, 7 }) {
        Result<void> result = resultOf(code);
        ASSERT_FALSE(result.hasValue()) << code;
        EXPECT_EQ(result.error().code(), code);
    }
}

TEST(AXError, EqualityIsByCode)
{
    EXPECT_EQ(AXError(-25202), AXError(-25202));
    EXPECT_NE(AXError(-25202), AXError(-25205));
}

} // namespace
} // namespace mq::ax
