#include "permissions/PermissionRowView.h"
#include "permissions/StatusDotView.h"
#include "tests/onboarding/QtTestApplication.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace mq::permissions {
namespace {

class PermissionRowViewTest : public ::testing::Test {
protected:
    void SetUp() override { test::qtTestApplication(); }
};

struct RowTexts {
    PermissionKind kind;
    const char* title;
    const char* description;
};

// The typographic characters are spelled as escapes so that a plain apostrophe
// or a hyphen in the window cannot pass for them.
const RowTexts kRowTexts[] = {
    { PermissionKind::accessibility, "Accessibility", "Lets Marquee read Logic Pro\u2019s windows and dialogs." },
    { PermissionKind::automationLogic, "Automation \u00B7 Logic Pro", "Lets Marquee send edits and export commands to Logic Pro." },
    { PermissionKind::automationSystemEvents, "Automation \u00B7 System Events",
        "Lets Marquee send key commands while driving Logic Pro." },
};

TEST_F(PermissionRowViewTest, ShowsTheTextsOfItsKind)
{
    for (const auto& expected : kRowTexts) {
        PermissionRowView row(expected.kind);
        SCOPED_TRACE(expected.title);
        EXPECT_EQ(row.kind(), expected.kind);
        EXPECT_EQ(row.titleLabel()->text(), QString::fromUtf8(expected.title));
        EXPECT_EQ(row.descriptionLabel()->text(), QString::fromUtf8(expected.description));
        EXPECT_EQ(row.grantButton()->text(), QString::fromUtf8("Grant\u2026"));
        EXPECT_EQ(row.badge()->text(), QString::fromUtf8("Granted \u2713"));
    }
}

TEST_F(PermissionRowViewTest, UsesTheRowFontsAndColours)
{
    PermissionRowView row(PermissionKind::accessibility);
    const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    struct Case {
        const char* name;
        QLabel* label;
        int pixelSize;
        int weight;
        QPalette::ColorRole role;
    } const cases[] = {
        { "title", row.titleLabel(), 13, QFont::DemiBold, QPalette::WindowText },
        { "description", row.descriptionLabel(), 12, QFont::Normal, QPalette::PlaceholderText },
        { "badge", row.badge(), 13, QFont::DemiBold, QPalette::WindowText },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.label->font().family(), family);
        EXPECT_EQ(c.label->font().pixelSize(), c.pixelSize);
        EXPECT_EQ(c.label->font().weight(), c.weight);
        EXPECT_EQ(c.label->foregroundRole(), c.role);
    }
    EXPECT_EQ(row.badge()->palette().color(QPalette::WindowText), QColor(52, 199, 89));
}

TEST_F(PermissionRowViewTest, ShowsEitherTheButtonOrTheBadge)
{
    PermissionRowView row(PermissionKind::automationLogic);
    row.resize(464, row.sizeHint().height());
    EXPECT_EQ(row.dot()->color(), QColor(255, 59, 48));
    EXPECT_FALSE(row.grantButton()->isHidden());
    EXPECT_TRUE(row.badge()->isHidden());

    row.setGranted(true);
    EXPECT_EQ(row.dot()->color(), QColor(52, 199, 89));
    EXPECT_TRUE(row.grantButton()->isHidden());
    EXPECT_FALSE(row.badge()->isHidden());

    row.setGranted(false);
    EXPECT_EQ(row.dot()->color(), QColor(255, 59, 48));
    EXPECT_FALSE(row.grantButton()->isHidden());
    EXPECT_TRUE(row.badge()->isHidden());
}

TEST_F(PermissionRowViewTest, GrantButtonCallsOnGrantWithTheRowsKind)
{
    for (auto kind : kAllPermissionKinds) {
        PermissionRowView row(kind);
        std::vector<PermissionKind> calls;
        row.grantButton()->click(); // nothing set yet: nothing happens
        row.setOnGrant([&](PermissionKind granted) { calls.push_back(granted); });
        row.grantButton()->click();
        EXPECT_EQ(calls, std::vector<PermissionKind> { kind });
    }
}

TEST_F(PermissionRowViewTest, LaysOutDotTextAndButtonFourteenApart)
{
    PermissionRowView row(PermissionKind::accessibility);
    row.resize(464, row.sizeHint().height());
    row.show();
    const QRect dot = row.dot()->geometry();
    const QRect title = row.titleLabel()->geometry();
    const QRect description = row.descriptionLabel()->geometry();
    const QRect button = row.grantButton()->geometry();
    EXPECT_EQ(dot.size(), QSize(11, 11));
    EXPECT_EQ(dot.left(), 0);
    EXPECT_NEAR(dot.center().y(), row.height() / 2, 1); // vertically centred
    EXPECT_EQ(title.left(), dot.right() + 1 + 14);
    EXPECT_EQ(description.left(), title.left());
    EXPECT_EQ(description.top(), title.bottom() + 1 + 2);
    EXPECT_EQ(button.left(), title.right() + 1 + 14);
    EXPECT_EQ(button.right() + 1, 464);
}

} // namespace
} // namespace mq::permissions
