// marquee-onboarding: shows the permissions onboarding window and quits when it
// closes. It checks the permissions through the same platform seam as the
// helper (on Linux: logicsim).
#include "app/onboarding/PlatformOnboardingPermissions.h"
#include "permissions/PermissionsOnboardingWindowController.h"
// The desktop behind the platform seam: on Linux, logicsim.
#include "platform/linux/LogicSimPlatform.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Marquee"));

    mq::platform::LogicSimPlatform desktop;
    mq::permissions::PlatformOnboardingPermissions permissions(desktop.platform());
    // Queued: when everything is granted already, the window closes while it is
    // being built, before the event loop runs.
    mq::permissions::PermissionsOnboardingWindowController controller(permissions, [&application] {
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    if (!controller.isClosed())
        controller.showWindow();
    return application.exec();
}
