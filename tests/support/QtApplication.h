// The one QApplication of a test process that builds widgets, made on first use and kept for
// the whole process: Qt's own teardown at exit is not ours to test.
#pragma once

#include <QApplication>

namespace testsupport {

inline void EnsureQApplication() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

} // namespace testsupport
