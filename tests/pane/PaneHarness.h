// The Duolume pane in the preferences window on the simulated machine, with
// real Qt controls on the offscreen platform.
#pragma once

#include <QCheckBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <memory>
#include <string>

#include "AppKit/PreferencesWindow.h"
#include "pane/DuolumePref.h"
#include "sim/SimMachine.h"
#include "support/TempDir.h"

namespace testing_support {

// The bundle the build assembled.
std::string builtBundlePath();
// A copy of the built bundle in `dir`, for tests that change its resources.
std::string copyOfBuiltBundle(const TempDir& dir);

class PaneHarness {
  public:
    // Installs a fresh simulated machine; nothing is loaded yet.
    PaneHarness();
    // Runs on the machine the test has installed (the Linux machine on a
    // virtual laptop); sim(), domain() and changePosts() are then not for use.
    struct OnInstalledMachine {};
    explicit PaneHarness(OnInstalledMachine);
    ~PaneHarness();

    // Creates the pane from `bundlePath`, shows the window and selects it
    // (mainViewDidLoad, willSelect, didSelect).
    void open(const std::string& bundlePath = builtBundlePath());
    void reselect();  // unselect and select again
    // Closes and destroys the window with its pane, as quitting the host does.
    void closeWindow();

    DuolumePref& pane() const { return *pane_; }
    appkit::PreferencesWindow& window() const { return *window_; }
    platform::sim::SimMachine& sim() const { return *sim_; }

    QSlider* slider(const std::string& name) const;
    QCheckBox* checkBox(const std::string& name) const;
    QProgressBar* indicator() const;
    // The hardware notice showing on the window, or null.
    QMessageBox* notice() const;
    // Moves a slider as the user does (keyboard focus, then a drag to `position`).
    void dragSlider(const std::string& name, int position) const;
    // Clicks a check box as the user does.
    void click(const std::string& checkBoxName) const;
    // Dismisses the notice with its box ticked or not.
    void dismissNotice(bool tickSuppression) const;

    // The stored domain; absent when there is none.
    std::optional<NSDictionary> domain() const;
    // How many change notifications were posted.
    int changePosts() const;

  private:
    platform::sim::SimMachine* sim_ = nullptr;
    ScopedEnv language_{"LANGUAGE", std::nullopt};
    ScopedEnv lcAll_{"LC_ALL", std::nullopt};
    ScopedEnv lcMessages_{"LC_MESSAGES", std::nullopt};
    ScopedEnv lang_{"LANG", "C.UTF-8"};
    std::unique_ptr<appkit::PreferencesWindow> window_;
    DuolumePref* pane_ = nullptr;
};

}  // namespace testing_support
