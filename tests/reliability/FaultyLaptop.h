// A virtual laptop (sysfs-shaped files made the Linux machine's root) whose
// machine can break something in the middle of a fade: the fault runs just
// before a chosen fade step's pause, while the engine is between two writes.
#pragma once

#include <functional>
#include <memory>

#include "support/LaptopOnLinux.h"

namespace testing_support {

class FaultInjectingMachine : public LoggingLinuxMachine {
  public:
    int pauses = 0;
    int faultAtPause = -1;
    std::function<void()> fault;

    void sleepMicroseconds(std::uint32_t usec) override {
        if (++pauses == faultAtPause && fault)
            fault();
        LinuxMachine::sleepMicroseconds(usec);
    }
};

class FaultyLaptopTest : public LaptopTest {
  protected:
    FaultyLaptopTest() : LaptopTest(SessionBus::None, std::make_unique<FaultInjectingMachine>()) {}

    // Runs `fault` just before the pause after fade step `step` (1 to 100).
    void breakAtFadeStep(int step, std::function<void()> fault) {
        faulty().pauses = 0;
        faulty().faultAtPause = step;
        faulty().fault = std::move(fault);
    }
    FaultInjectingMachine& faulty() { return static_cast<FaultInjectingMachine&>(machine); }
};

}  // namespace testing_support
