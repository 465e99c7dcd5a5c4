#include "tests/onboarding/QtTestApplication.h"

#include <QApplication>

namespace mq::test {

QApplication& qtTestApplication()
{
    static QApplication* application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "onboarding_tests";
        static char* argv[] = { name, nullptr };
        return new QApplication(argc, argv);
    }();
    return *application;
}

} // namespace mq::test

// Fontconfig keeps its configuration until the process ends (Qt never calls
// FcFini), which LeakSanitizer reports under the asan preset; that memory is
// not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
