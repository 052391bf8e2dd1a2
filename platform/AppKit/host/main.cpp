// The preferences host: loads one or more .prefPane bundles on the real
// machine and shows them in one window.
//
//   prefpane-host [--screenshot FILE] BUNDLE...
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "AppKit/PreferencePaneLoader.h"
#include "AppKit/PreferencesWindow.h"
#include "Foundation/NSLog.h"
#include "linux/LinuxMachine.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("prefpane-host");
    QApplication::setApplicationDisplayName(QObject::tr("Preferences"));
    QApplication::setApplicationVersion(PREFPANE_HOST_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("Shows preference panes (.prefPane bundles).");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption screenshot(
        "screenshot", "Save the window to FILE once the first pane is shown, then quit.", "FILE");
    parser.addOption(screenshot);
    parser.addPositionalArgument("BUNDLE", "A .prefPane bundle to show.", "BUNDLE...");
    parser.process(app);
    if (parser.positionalArguments().isEmpty())
        parser.showHelp(2);

    platform::linux_machine::LinuxMachine::installNew();

    appkit::PreferencesWindow window;
    for (const QString& path : parser.positionalArguments()) {
        std::string error;
        auto pane = loadPreferencePane(path.toStdString(), &error);
        if (!pane) {
            NSLog("Cannot load preference pane %s: %s", qPrintable(path), error.c_str());
            std::fprintf(stderr, "prefpane-host: cannot load %s: %s\n", qPrintable(path),
                         error.c_str());
            continue;
        }
        window.addPane(std::move(pane));
    }
    if (window.paneCount() == 0)
        return 1;

    window.show();
    window.selectPane(0);

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        // Let the first layout and paint settle, then save and quit.
        QTimer::singleShot(300, &window, [&] {
            const bool saved = window.grab().save(file);
            if (!saved)
                std::fprintf(stderr, "prefpane-host: cannot save %s\n", qPrintable(file));
            window.close();
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
