// The one QApplication of a test process, on the offscreen platform so that the
// tests need no display.
#pragma once

class QApplication;

namespace mq::test {

/// Made on first use; lives until the process ends.
QApplication& qtTestApplication();

} // namespace mq::test
