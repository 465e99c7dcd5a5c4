#include "permissions/PermissionsOnboardingWindowController.h"
#include "permissions/PermissionRowView.h"
#include "permissions/StatusDotView.h"
#include "platform/Log.h"
#include "tests/onboarding/QtTestApplication.h"
#include "tests/onboarding/ScriptedOnboardingPermissions.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace mq::permissions {
namespace {

using Answer = test::ScriptedOnboardingPermissions::Answer;

constexpr std::string_view kClosingLine = "all permissions granted \u2014 closing onboarding";
const QColor kGreen(52, 199, 89);
const QColor kRed(255, 59, 48);

class OnboardingWindowTest : public ::testing::Test {
protected:
    void SetUp() override { test::qtTestApplication(); }

    std::unique_ptr<PermissionsOnboardingWindowController> makeController()
    {
        return std::make_unique<PermissionsOnboardingWindowController>(permissions, [this] { ++closes; });
    }

    static QLabel* label(const PermissionsOnboardingWindowController& controller, const char* name)
    {
        return controller.window()->findChild<QLabel*>(QString::fromLatin1(name));
    }

    static void becomeActive() { emit qGuiApp->applicationStateChanged(Qt::ApplicationActive); }

    static bool showsGranted(const PermissionRowView& row)
    {
        return row.dot()->color() == kGreen && row.grantButton()->isHidden() && !row.badge()->isHidden();
    }
    static bool showsMissing(const PermissionRowView& row)
    {
        return row.dot()->color() == kRed && !row.grantButton()->isHidden() && row.badge()->isHidden();
    }

    test::ScriptedOnboardingPermissions permissions;
    log::LogCapture logs;
    int closes { 0 };
};

TEST_F(OnboardingWindowTest, ShowsEveryTextExactly)
{
    auto controller = makeController();
    EXPECT_EQ(controller->window()->windowTitle(), QString::fromUtf8("Marquee \u2014 Permissions"));
    EXPECT_EQ(label(*controller, "heading")->text(), QString::fromUtf8("Marquee needs a few permissions"));
    EXPECT_EQ(label(*controller, "body")->text(),
        QString::fromUtf8("Marquee controls Logic Pro to export and place your clips. Grant these once so exports don\u2019t "
                          "fail silently. You can change them later in System Settings."));
    EXPECT_EQ(label(*controller, "footnote")->text(), QString::fromUtf8("Re-checks automatically when you return to this window."));
    EXPECT_EQ(controller->openSettingsButton()->text(), QString::fromUtf8("Open System Settings\u2026"));
    EXPECT_EQ(controller->doneButton()->text(), QString::fromUtf8("Done"));
    EXPECT_TRUE(controller->doneButton()->isDefault());
    for (size_t i = 0; i < kAllPermissionKinds.size(); ++i)
        EXPECT_EQ(controller->rows()[i]->kind(), kAllPermissionKinds[i]);
}

TEST_F(OnboardingWindowTest, UsesTheFontsAndColoursOfTheWindow)
{
    auto controller = makeController();
    const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    struct Case {
        const char* name;
        int pixelSize;
        int weight;
        QPalette::ColorRole role;
        bool wraps;
    } const cases[] = {
        { "heading", 17, QFont::DemiBold, QPalette::WindowText, false },
        { "body", 13, QFont::Normal, QPalette::PlaceholderText, true },
        { "footnote", 11, QFont::Normal, QPalette::PlaceholderText, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QLabel* text = label(*controller, c.name);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->font().family(), family);
        EXPECT_EQ(text->font().pixelSize(), c.pixelSize);
        EXPECT_EQ(text->font().weight(), c.weight);
        EXPECT_EQ(text->foregroundRole(), c.role);
        EXPECT_EQ(text->wordWrap(), c.wraps);
    }
    // The secondary label colour is the label colour at half opacity.
    const QPalette palette = QApplication::palette();
    EXPECT_EQ(palette.color(QPalette::PlaceholderText).rgb(), palette.color(QPalette::WindowText).rgb());
    EXPECT_NEAR(palette.color(QPalette::PlaceholderText).alphaF(), 0.5, 0.01);
}

// Each state once: a granted row shows its narrower badge instead of the button,
// which can change how its description wraps.
class OnboardingLayoutTest : public OnboardingWindowTest, public ::testing::WithParamInterface<int> { };

TEST_P(OnboardingLayoutTest, LaysOutTheStackWithItsMarginsAndSpacings)
{
    for (int i = 0; i < GetParam(); ++i)
        permissions.setGranted(kAllPermissionKinds[static_cast<size_t>(i)], true);
    auto controller = makeController();
    controller->showWindow();
    const auto bottom = [](QWidget* widget) { return widget->geometry().bottom() + 1; };
    QWidget* window = controller->window();
    QLabel* heading = label(*controller, "heading");
    QLabel* body = label(*controller, "body");
    QLabel* footnote = label(*controller, "footnote");
    const auto& rows = controller->rows();
    QPushButton* settings = controller->openSettingsButton();
    QPushButton* done = controller->doneButton();

    EXPECT_EQ(window->width(), 520);
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // not resizable
    EXPECT_EQ(heading->pos(), QPoint(28, 24));
    EXPECT_EQ(body->y(), bottom(heading) + 12);
    EXPECT_EQ(rows[0]->y(), bottom(body) + 20);
    EXPECT_EQ(rows[1]->y(), bottom(rows[0]) + 12);
    EXPECT_EQ(rows[2]->y(), bottom(rows[1]) + 12);
    EXPECT_EQ(footnote->y(), bottom(rows[2]) + 20);
    EXPECT_EQ(done->y(), bottom(footnote) + 12);
    EXPECT_EQ(bottom(done), window->height() - 20); // the window fits the stack plus 24 + 20
    for (QWidget* full : { static_cast<QWidget*>(body), static_cast<QWidget*>(footnote), static_cast<QWidget*>(rows[0]),
             static_cast<QWidget*>(rows[1]), static_cast<QWidget*>(rows[2]) }) {
        EXPECT_EQ(full->x(), 28);
        EXPECT_EQ(full->width(), 464);
    }
    for (auto* row : rows) { // nothing squeezed: every description has the lines it needs
        QLabel* description = row->descriptionLabel();
        EXPECT_GE(description->height(), description->heightForWidth(description->width()));
    }
    // The body wraps at 464: its long sentence takes several lines.
    EXPECT_GE(body->height(), 2 * body->fontMetrics().lineSpacing());
    EXPECT_EQ(done->geometry().right() + 1, 520 - 28);
    EXPECT_EQ(settings->geometry().right() + 1 + 10, done->x());
    EXPECT_EQ(settings->y(), done->y());
}

INSTANTIATE_TEST_SUITE_P(GrantedCount, OnboardingLayoutTest, ::testing::Values(0, 1, 2));

TEST_F(OnboardingWindowTest, IsCentredOnTheScreen)
{
    auto controller = makeController();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint centre = controller->window()->geometry().center();
    EXPECT_NEAR(centre.x(), available.center().x(), 1);
    EXPECT_NEAR(centre.y(), available.center().y(), 1);
}

TEST_F(OnboardingWindowTest, AllGrantedAtCreationClosesAtOnceWithOneLogLine)
{
    permissions.grantAll();
    auto controller = makeController();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(controller->isClosed());
    EXPECT_TRUE(controller->allGranted());
    EXPECT_FALSE(controller->window()->isVisible());
    EXPECT_EQ(logs.count(kClosingLine, "helper.onboarding"), 1u);

    // Closed: no longer following activation.
    const int reads = permissions.statusReads();
    becomeActive();
    EXPECT_EQ(permissions.statusReads(), reads);
    EXPECT_EQ(closes, 1);
}

TEST_F(OnboardingWindowTest, ReturningFromSettingsShowsWhatWasGrantedThere)
{
    auto controller = makeController();
    controller->showWindow();
    const auto& rows = controller->rows();
    for (auto* row : rows)
        EXPECT_TRUE(showsMissing(*row));

    permissions.setGranted(PermissionKind::automationLogic, true);
    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive); // leaving is no reason to look
    EXPECT_TRUE(showsMissing(*rows[1]));
    becomeActive();
    EXPECT_TRUE(showsMissing(*rows[0]));
    EXPECT_TRUE(showsGranted(*rows[1]));
    EXPECT_TRUE(showsMissing(*rows[2]));
    EXPECT_FALSE(controller->isClosed());
    EXPECT_EQ(logs.count(kClosingLine), 0u);

    permissions.grantAll();
    becomeActive();
    EXPECT_TRUE(controller->isClosed());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(logs.count(kClosingLine, "helper.onboarding"), 1u);
}

TEST_F(OnboardingWindowTest, GrantAsksThenOpensThePaneOnlyWhenDenied)
{
    const std::string accessibilityPane(kAccessibilityPaneAddress);
    const std::string automationPane(kAutomationPaneAddress);
    struct Case {
        PermissionKind kind;
        Answer answer;
        bool prompted;
        std::vector<std::string> panes;
        bool granted;
    } const cases[] = {
        { PermissionKind::accessibility, Answer::refusedBefore, false, { accessibilityPane }, false },
        { PermissionKind::automationLogic, Answer::refusedBefore, false, { automationPane }, false },
        { PermissionKind::automationSystemEvents, Answer::refusedBefore, false, { automationPane }, false },
        { PermissionKind::accessibility, Answer::refuse, true, { accessibilityPane }, false },
        { PermissionKind::automationSystemEvents, Answer::allow, true, {}, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        test::ScriptedOnboardingPermissions scripted;
        scripted.setAnswer(c.kind, c.answer);
        PermissionsOnboardingWindowController controller(scripted);
        auto* row = controller.rows()[static_cast<size_t>(c.kind)];
        const int readsBefore = scripted.statusReads();

        row->grantButton()->click();
        EXPECT_EQ(scripted.requests(), std::vector<PermissionKind> { c.kind });
        EXPECT_EQ(scripted.prompts().size(), c.prompted ? 1u : 0u);
        EXPECT_EQ(scripted.openedPanes(), c.panes);
        EXPECT_EQ(scripted.statusReads(), readsBefore + 3); // refreshed afterwards
        EXPECT_EQ(showsGranted(*row), c.granted);
    }
}

TEST_F(OnboardingWindowTest, GrantingTheLastPermissionClosesTheWindow)
{
    permissions.setGranted(PermissionKind::accessibility, true);
    permissions.setGranted(PermissionKind::automationLogic, true);
    permissions.setAnswer(PermissionKind::automationSystemEvents, Answer::allow);
    auto controller = makeController();
    controller->showWindow();
    controller->rows()[2]->grantButton()->click();
    EXPECT_TRUE(controller->isClosed());
    EXPECT_FALSE(controller->window()->isVisible());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(logs.count(kClosingLine, "helper.onboarding"), 1u);
}

TEST_F(OnboardingWindowTest, OpenSettingsOpensThePaneOfTheFirstMissingPermission)
{
    const std::string accessibilityPane(kAccessibilityPaneAddress);
    const std::string automationPane(kAutomationPaneAddress);
    struct Case {
        const char* name;
        bool accessibility, logic, systemEvents;
        std::string pane;
    } const cases[] = {
        { "nothing granted", false, false, false, accessibilityPane },
        { "only Accessibility missing", false, true, true, accessibilityPane },
        { "only Logic missing", true, false, true, automationPane },
        { "only System Events missing", true, true, false, automationPane },
        { "all granted", true, true, true, accessibilityPane },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScriptedOnboardingPermissions scripted;
        scripted.setGranted(PermissionKind::accessibility, c.accessibility);
        scripted.setGranted(PermissionKind::automationLogic, c.logic);
        scripted.setGranted(PermissionKind::automationSystemEvents, c.systemEvents);
        PermissionsOnboardingWindowController controller(scripted);
        controller.openSettingsButton()->click();
        EXPECT_EQ(scripted.openedPanes(), std::vector<std::string> { c.pane });
        EXPECT_TRUE(scripted.requests().empty());
    }
}

TEST_F(OnboardingWindowTest, ReturnClosesThroughDoneWhereverTheFocusIs)
{
    for (auto key : { Qt::Key_Return, Qt::Key_Enter }) {
        closes = 0;
        auto controller = makeController();
        controller->showWindow();
        // Return is the window's shortcut, which works in the active window.
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
        QSignalSpy doneClicks(controller->doneButton(), &QPushButton::clicked);
        QPushButton* grant = controller->rows()[0]->grantButton();
        grant->setFocus();
        QTest::keyClick(grant, key);
        EXPECT_EQ(doneClicks.count(), 1);
        EXPECT_TRUE(permissions.requests().empty());
        EXPECT_TRUE(controller->isClosed());
        EXPECT_FALSE(controller->window()->isVisible());
        EXPECT_EQ(closes, 1);
    }
}

TEST_F(OnboardingWindowTest, EveryCloseRunsOnCloseOnce)
{
    auto controller = makeController();
    controller->doneTapped(); // before it was ever shown
    controller->doneTapped();
    EXPECT_EQ(closes, 1);
    closes = 0;

    controller->showWindow();
    controller->window()->windowHandle()->close(); // the close box
    EXPECT_EQ(closes, 1);
    controller->window()->close(); // already closed: not another close
    EXPECT_EQ(closes, 1);

    controller->showWindow();
    controller->doneButton()->click();
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(logs.count(kClosingLine), 0u);

    // Shown again, it follows activation again.
    controller->showWindow();
    permissions.grantAll();
    becomeActive();
    EXPECT_EQ(closes, 3);
}

TEST_F(OnboardingWindowTest, RowsDoNotKeepTheControllerAlive)
{
    auto controller = makeController();
    auto grant = controller->rows()[1]->onGrant();
    ASSERT_TRUE(grant);
    controller.reset();
    grant(PermissionKind::automationLogic); // the controller is gone: nothing happens
    EXPECT_TRUE(permissions.requests().empty());
    EXPECT_EQ(closes, 0);
}

} // namespace
} // namespace mq::permissions
