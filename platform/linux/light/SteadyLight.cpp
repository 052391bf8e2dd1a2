#include "linux/light/SteadyLight.h"

namespace platform::linux_machine {

double SteadyLight::take(double steps, double seconds) {
    if (!standing_) {
        standing_ = steps;
        return steps;
    }
    const bool brighter = steps > *standing_ + times_.band;
    const bool darker = steps < *standing_ - times_.band;
    if (!brighter && !darker) {
        pendingSince_.reset();  // back near what stands: the change was noise
        return *standing_;
    }
    if (!pendingSince_ || pendingBrighter_ != brighter) {
        pendingSince_ = seconds;
        pendingBrighter_ = brighter;
    }
    const double wait = brighter ? times_.brighter : times_.darker;
    if (seconds - *pendingSince_ >= wait) {
        standing_ = steps;
        pendingSince_.reset();
    }
    return *standing_;
}

}  // namespace platform::linux_machine
