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
    // The interface's texts come from the string table named after it
    // (<lang>.lproj/<nib>.strings); a text without an entry stays as written.
    auto localize = [this, nibName](const std::string& text) {
        return bundle_->localizedStringForKey(text, "", nibName);
    };
    nib_ = NSNib::load(*path, connections_, &error, localize);
    if (!nib_) {
        NSLog("Cannot load interface %s: %s", path->c_str(), error.c_str());
        return nullptr;
    }
    mainView_ = &nib_->topLevelView();
    mainViewDidLoad();
    return mainView_;
}
