// One QApplication per test process, on the offscreen platform unless the
// environment chooses another.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace testing_support {

inline QApplication& offscreenApp() {
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "duolume-tests";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationDisplayName("Test Host");
        QApplication::setApplicationVersion("9.9");
        return a;
    }();
    return *app;
}

}  // namespace testing_support
