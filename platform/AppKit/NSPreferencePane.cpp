#include "AppKit/NSPreferencePane.h"

#include "AppKit/NSNib.h"

NSPreferencePane::NSPreferencePane(std::shared_ptr<NSBundle> bundle) : bundle_(std::move(bundle)) {}
NSPreferencePane::~NSPreferencePane() = default;

NSView* NSPreferencePane::loadMainView() {
    if (mainView_)
        return mainView_;
    std::string nibName = "Main";
    if (auto it = bundle_->infoDictionary().find("NSMainNibFile");
        it != bundle_->infoDictionary().end() && it->second.stringValue()) {
        nibName = *it->second.stringValue();
    }
    auto path = bundle_->pathForResource(nibName, "ui");
    if (!path) {
        NSLog("Preference pane %s has no interface resource %s.ui", bundle_->bundlePath().c_str(),
              nibName.c_str());
        return nullptr;
    }
    std::string error;
    nib_ = NSNib::load(*path, connections_, &error);
    if (!nib_) {
        NSLog("Cannot load interface %s: %s", path->c_str(), error.c_str());
        return nullptr;
    }
    mainView_ = &nib_->topLevelView();
    mainViewDidLoad();
    return mainView_;
}
