#include "pane/PaneHarness.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QTest>
#include <filesystem>

#include "appkit/OffscreenApp.h"
#include "settings/ProductIdentifier.h"

namespace testing_support {

std::string builtBundlePath() {
    return std::string(DUOLUME_BINARY_DIR) + "/Duolume.prefPane";
}

std::string copyOfBuiltBundle(const TempDir& dir) {
    std::string copy = dir / "Duolume.prefPane";
    std::filesystem::copy(builtBundlePath(), copy, std::filesystem::copy_options::recursive);
    return copy;
}

PaneHarness::PaneHarness() : sim_(&platform::sim::SimMachine::installNew()) {
    offscreenApp();
}

PaneHarness::PaneHarness(OnInstalledMachine) {
    offscreenApp();
}

PaneHarness::~PaneHarness() {
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void PaneHarness::open(const std::string& bundlePath) {
    window_ = std::make_unique<appkit::PreferencesWindow>();
    auto pane = std::make_unique<DuolumePref>(NSBundle::bundleWithPath(bundlePath));
    pane_ = pane.get();
    window_->addPane(std::move(pane));
    window_->show();
    window_->selectPane(0);
}

void PaneHarness::reselect() {
    window_->unselectPane();
    window_->selectPane(0);
}

void PaneHarness::closeWindow() {
    window_->close();
    window_.reset();
    pane_ = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QSlider* PaneHarness::slider(const std::string& name) const {
    return window_->findChild<QSlider*>(QString::fromStdString(name));
}
QCheckBox* PaneHarness::checkBox(const std::string& name) const {
    return window_->findChild<QCheckBox*>(QString::fromStdString(name));
}
QProgressBar* PaneHarness::indicator() const {
    return window_->findChild<QProgressBar*>("ambientLightIndicator");
}

QMessageBox* PaneHarness::notice() const {
    for (auto* box : window_->findChildren<QMessageBox*>())
        if (box->isVisible())
            return box;
    return nullptr;
}

void PaneHarness::dragSlider(const std::string& name, int position) const {
    QSlider* s = slider(name);
    s->setSliderDown(true);
    s->setSliderPosition(position);
    s->setSliderDown(false);
}

void PaneHarness::click(const std::string& checkBoxName) const {
    QCheckBox* box = checkBox(checkBoxName);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
}

void PaneHarness::dismissNotice(bool tickSuppression) const {
    QMessageBox* box = notice();
    if (!box)
        return;
    if (tickSuppression && box->checkBox() && !box->checkBox()->isChecked())
        box->checkBox()->click();
    box->buttons().first()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::optional<NSDictionary> PaneHarness::domain() const {
    return sim_->simDefaults().read(duolume::ProductIdentifier);
}

int PaneHarness::changePosts() const {
    int n = 0;
    for (const auto& post : sim_->simBus().posts)
        n += post.name == duolume::PrefsChangedNotification;
    return n;
}

}  // namespace testing_support
