// A preference pane: the principal class of a .prefPane bundle. The host
// creates it through the bundle's factory (NS_PREFERENCE_PANE_PRINCIPAL_CLASS),
// loads its interface (loadMainView), then calls the lifecycle at every
// selection: willSelect, (shown), didSelect; willUnselect, (hidden), didUnselect.
#pragma once

#include <memory>

#include "AppKit/NSNibConnections.h"
#include "AppKit/NSView.h"
#include "Foundation/NSBundle.h"

class NSNib;

class NSPreferencePane {
  public:
    explicit NSPreferencePane(std::shared_ptr<NSBundle> bundle);
    virtual ~NSPreferencePane();
    NSPreferencePane(const NSPreferencePane&) = delete;
    NSPreferencePane& operator=(const NSPreferencePane&) = delete;

    // The pane's own bundle.
    const NSBundle& bundle() const { return *bundle_; }
    // The interface's top-level view, once loaded.
    NSView* mainView() const { return mainView_; }

    // Loads the interface resource named by the info dictionary's
    // "NSMainNibFile" (a .ui file among the resources), connects it, sets
    // mainView and calls mainViewDidLoad. Null (and logged) when it cannot be
    // loaded. Loads once; later calls return the same view.
    NSView* loadMainView();

    virtual void mainViewDidLoad() {}
    virtual void willSelect() {}
    virtual void didSelect() {}
    virtual void willUnselect() {}
    virtual void didUnselect() {}

  protected:
    // Subclasses declare their outlets and actions here, in their constructor.
    NSNibConnections& nibConnections() { return connections_; }

  private:
    std::shared_ptr<NSBundle> bundle_;
    NSNibConnections connections_;
    std::unique_ptr<NSNib> nib_;
    NSView* mainView_ = nullptr;
};

// The factory the host looks up: "<PrincipalClass>_initWithBundle".
using NSPreferencePaneFactory = NSPreferencePane* (*)(const char* bundlePath);

#define NS_PREFERENCE_PANE_PRINCIPAL_CLASS(Class)                             \
    extern "C" __attribute__((visibility("default")))                         \
    NSPreferencePane* Class##_initWithBundle(const char* bundlePath) {        \
        auto bundle = NSBundle::bundleWithPath(bundlePath ? bundlePath : ""); \
        return bundle ? new Class(bundle) : nullptr;                          \
    }
