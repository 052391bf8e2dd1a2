// The outlets (fields) and actions an interface resource connects to, by
// name: a widget whose object name is an outlet's name fills that field, and a
// widget whose "action" property names an action ("sliderMoved:") sends it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "AppKit/NSControl.h"
#include "Foundation/NSLog.h"

class NSNibConnections {
  public:
    struct Outlet {
        std::string name;
        // Fills the field; false when the view is not of the field's kind.
        std::function<bool(NSView*)> connect;
    };

    template <class View>
    void outlet(const std::string& name, View*& field) {
        outlets_.push_back({name, [&field](NSView* view) {
                                field = dynamic_cast<View*>(view);
                                return field != nullptr;
                            }});
    }

    template <class Owner, class Sender>
    void action(const std::string& selector, Owner* owner, void (Owner::*method)(Sender*)) {
        actions_[selector] = [owner, method, selector](NSControl& sender) {
            auto* typed = dynamic_cast<Sender*>(&sender);
            if (!typed) {
                NSLog("Action %s sent by a control of the wrong kind", selector.c_str());
                return;
            }
            (owner->*method)(typed);
        };
    }

    const std::vector<Outlet>& outlets() const { return outlets_; }
    // The action for `selector`, or null.
    const NSControl::Action* action(const std::string& selector) const {
        auto it = actions_.find(selector);
        return it == actions_.end() ? nullptr : &it->second;
    }

  private:
    std::vector<Outlet> outlets_;
    std::map<std::string, NSControl::Action> actions_;
};
