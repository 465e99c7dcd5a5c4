// onboarding-screenshots DIR: pictures of the onboarding window in its three
// typical states, as PNG files in DIR (scripts/onboarding-screenshots.sh).
#include "permissions/PermissionsOnboardingWindowController.h"
#include "tests/onboarding/QtTestApplication.h"
#include "tests/onboarding/ScriptedOnboardingPermissions.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <initializer_list>

using mq::permissions::PermissionKind;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: onboarding-screenshots DIR\n");
        return 2;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    mq::test::qtTestApplication();

    struct State {
        const char* file;
        std::initializer_list<PermissionKind> granted;
    } const states[] = {
        { "onboarding-nothing-granted.png", {} },
        { "onboarding-one-granted.png", { PermissionKind::accessibility } },
        { "onboarding-all-but-system-events.png", { PermissionKind::accessibility, PermissionKind::automationLogic } },
    };
    for (const auto& state : states) {
        mq::test::ScriptedOnboardingPermissions permissions;
        for (auto kind : state.granted)
            permissions.setGranted(kind, true);
        mq::permissions::PermissionsOnboardingWindowController controller(permissions);
        controller.showWindow();
        QApplication::processEvents();
        const QString path = directory.filePath(QString::fromLatin1(state.file));
        if (!controller.window()->grab().save(path, "PNG")) {
            std::fprintf(stderr, "onboarding-screenshots: cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}
