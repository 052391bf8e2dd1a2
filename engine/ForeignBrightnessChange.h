// Tells whether the built-in display's brightness, read at a sync request,
// still is what the engine last wrote there, or another program (the
// desktop's brightness keys, its own automatic brightness) has moved it since.
#pragma once

#include <optional>

namespace duolume {

class ForeignBrightnessChange {
  public:
    // The engine wrote `brightness`, or its write did not reach the panel.
    void wrote(double brightness);
    void writeFailed();
    // True once for a reading that the engine's last write does not explain;
    // false again until the engine has written once more.
    bool seenIn(double reading);
    // Whether the last write explains `reading` (also when nothing is known
    // of a last write); asks without forgetting anything.
    bool explains(double reading) const;

  private:
    std::optional<double> lastWrite_;
};

}  // namespace duolume
