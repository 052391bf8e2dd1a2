#include "AppKit/NSControl.h"

void NSView::setPeer(std::unique_ptr<appkit::ViewPeer> peer) {
    peer_ = std::move(peer);
    redisplay();
}

std::optional<double> numberFromObjectValue(const std::optional<PlistValue>& value) {
    if (!value)
        return std::nullopt;
    return value->doubleValue();
}
