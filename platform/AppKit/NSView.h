// Views and the toolkit peers behind them. A view's state lives here in plain
// C++; a peer (the Qt widget binding, see QtPeers.h) shows it on screen and
// reports the user's changes. A view without a peer works as a plain value
// holder, so logic built on views can run without a toolkit.
#pragma once

#include <memory>

class NSView;
class NSWindow;

namespace appkit {

class ViewPeer {
  public:
    virtual ~ViewPeer() = default;
    // The window the widget is shown in (its top-level widget's window).
    virtual NSWindow* window() = 0;
    // The view's state changed: show it.
    virtual void display(const NSView&) {}
    // The view was hidden or shown again.
    virtual void showHidden(bool) {}
};

}  // namespace appkit

class NSView {
  public:
    NSView() = default;
    virtual ~NSView() = default;
    NSView(const NSView&) = delete;
    NSView& operator=(const NSView&) = delete;

    // The window the view is in; null for a view without a toolkit peer.
    NSWindow* window() const { return peer_ ? peer_->window() : nullptr; }

    void setPeer(std::unique_ptr<appkit::ViewPeer> peer);
    appkit::ViewPeer* peer() const { return peer_.get(); }

    // A hidden view (and all inside it) is not drawn and takes no room.
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) {
        hidden_ = hidden;
        if (peer_)
            peer_->showHidden(hidden);
    }
    // The state the interface resource gave the widget.
    void takeHiddenFromInterface(bool hidden) { hidden_ = hidden; }

  protected:
    void redisplay() const {
        if (peer_)
            peer_->display(*this);
    }

  private:
    std::unique_ptr<appkit::ViewPeer> peer_;
    bool hidden_ = false;
};
