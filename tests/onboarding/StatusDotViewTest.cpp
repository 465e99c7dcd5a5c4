#include "permissions/StatusDotView.h"
#include "tests/onboarding/QtTestApplication.h"

#include <QImage>

#include <gtest/gtest.h>

namespace mq::permissions {
namespace {

class StatusDotViewTest : public ::testing::Test {
protected:
    void SetUp() override { test::qtTestApplication(); }

    static QImage picture(StatusDotView& dot) { return dot.grab().toImage(); }
};

TEST_F(StatusDotViewTest, IsAnElevenPointDotWithHalfItsSizeAsCornerRadius)
{
    StatusDotView dot;
    EXPECT_EQ(dot.size(), QSize(11, 11));
    EXPECT_EQ(dot.minimumSize(), dot.maximumSize());
    EXPECT_DOUBLE_EQ(StatusDotView::kCornerRadius, 5.5);
}

TEST_F(StatusDotViewTest, StartsRedAndPaintsTheColourItIsGiven)
{
    StatusDotView dot;
    EXPECT_EQ(dot.color(), QColor(255, 59, 48));
    EXPECT_EQ(picture(dot).pixelColor(5, 5), QColor(255, 59, 48));

    dot.setColor(QColor(52, 199, 89));
    QImage image = picture(dot);
    EXPECT_EQ(image.pixelColor(5, 5), QColor(52, 199, 89));
    // Round: the corners stay (nearly) clear, the middle of each edge is filled.
    EXPECT_LT(image.pixelColor(0, 0).alpha(), 64);
    EXPECT_LT(image.pixelColor(10, 10).alpha(), 64);
    EXPECT_GT(image.pixelColor(5, 0).alpha(), 128);
    EXPECT_GT(image.pixelColor(0, 5).alpha(), 128);
}

} // namespace
} // namespace mq::permissions
