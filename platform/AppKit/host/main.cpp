// The preferences host: loads one or more .prefPane bundles on the real
// machine and shows them in one window.
//
//   prefpane-host [--screenshot FILE] [BUNDLE...]
//
// Without a bundle it shows the panes installed beside it
// (PREFPANE_HOST_PANES_DIR, relative to the host's own folder).
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "AppKit/PreferencePaneLoader.h"
#include "AppKit/PreferencesWindow.h"
#include "Foundation/NSLog.h"
#include "linux/LinuxMachine.h"

namespace {

// The .prefPane bundles in the installed panes folder, by name.
QStringList installedPanes(QString* folder) {
#ifdef PREFPANE_HOST_PANES_DIR
    QDir dir(QCoreApplication::applicationDirPath() + "/" + PREFPANE_HOST_PANES_DIR);
    *folder = dir.absolutePath();
    QStringList panes;
    for (const QString& name : dir.entryList({"*.prefPane"}, QDir::Dirs, QDir::Name))
        panes << QDir::cleanPath(dir.absoluteFilePath(name));
    return panes;
#else
    *folder = "(none configured)";
    return {};
#endif
}

// Shows the panes in one window until the application quits; its status.
int showWindow(QApplication& app, const QCommandLineParser& parser,
               const QCommandLineOption& screenshot, const QStringList& bundles) {
    appkit::PreferencesWindow window;
    for (const QString& path : bundles) {
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
        auto* settle = new QTimer(&window);
        settle->setSingleShot(true);
        QObject::connect(settle, &QTimer::timeout, &window, [&] {
            const bool saved = window.grab().save(file);
            if (!saved)
                std::fprintf(stderr, "prefpane-host: cannot save %s\n", qPrintable(file));
            window.close();
            QApplication::exit(saved ? 0 : 1);
        });
        settle->start(300);
    }
    return app.exec();
}

}  // namespace

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
    parser.addPositionalArgument(
        "BUNDLE", "A .prefPane bundle to show (default: the installed panes).", "[BUNDLE...]");
    parser.process(app);
    QStringList bundles = parser.positionalArguments();
    if (bundles.isEmpty()) {
        QString folder;
        bundles = installedPanes(&folder);
        if (bundles.isEmpty()) {
            std::fprintf(stderr, "prefpane-host: no bundle given and none installed in %s\n\n",
                         qPrintable(folder));
            parser.showHelp(2);
        }
    }

    // The window's thread never waits on hardware or another process.
    platform::linux_machine::LinuxMachine::installNew().setMainThreadNeverWaits(true);
    const int status = showWindow(app, parser, screenshot, bundles);
    // The window is gone: the machine lets go of what it holds (the light
    // sensor's claim, its thread) before the process ends.
    platform::Machine::install(nullptr);
    return status;
}
