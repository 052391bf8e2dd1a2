// The simulated machine: virtual time, journals of log lines, platform calls,
// posted notifications and launched tasks, and scripted displays, HID
// monitors and light sensor. Time never really passes: usleep advances the
// virtual clock, and running the run loop jumps from one timer to the next.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "machine/Machine.h"
#include "sim/SimAVServices.h"
#include "sim/SimDefaults.h"
#include "sim/SimDispatch.h"
#include "sim/SimDisplays.h"
#include "sim/SimDistributedBus.h"
#include "sim/SimHID.h"
#include "sim/SimLightSensor.h"
#include "sim/SimSession.h"
#include "sim/SimTasks.h"
#include "sim/SimTexts.h"

namespace platform::sim {

class SimMachine : public Machine {
  public:
    SimMachine();

    // Creates a simulated machine, installs it for this process and returns it.
    static SimMachine& installNew();

    // Machine
    // Inside a dispatch queue's block, that block's own clock.
    double absoluteTime() override { return dispatch_.inBlock() ? dispatch_.blockClock() : clock_; }
    void sleepMicroseconds(std::uint32_t usec) override;
    CFRunLoopRunResult runRunLoop(CFRunLoopRef rl, const CFRunLoopMode& mode, double seconds,
                                  bool returnAfterSourceHandled) override;
    void wakeUpRunLoop(CFRunLoopRef) override {}
    void writeLog(const std::string& line) override { logLines.push_back(line); }
    bool rootObjectInitialises() override { return rootObjectInitialisation; }
    void recordCall(std::string_view call) override { calls.emplace_back(call); }
    OperatingSystemVersion operatingSystemVersion() override { return osVersion; }
    std::optional<std::string> userLibraryFolder() override { return libraryFolder; }
    std::shared_ptr<DispatchQueue> createDispatchQueue(const std::string& label) override {
        return dispatch_.createQueue(label);
    }
    std::shared_ptr<DispatchQueue> mainDispatchQueue() override { return dispatch_.mainQueue(); }

    // Runs the current run loop in the default mode for `seconds` of virtual time.
    void runFor(double seconds);

    // Uses another defaults storage (for example the real settings files)
    // in place of the in-memory one.
    void useDefaultsStorage(std::unique_ptr<DefaultsStorage> storage);

    // Scripted parts.
    SimDefaults& simDefaults() { return defaults_; }
    SimDistributedBus& simBus() { return bus_; }
    SimDisplays& simDisplays() { return displays_; }
    SimHID& simHID() { return hid_; }
    SimLightSensor& simLightSensor() { return lightSensor_; }
    SimTasks& simTasks() { return tasks_; }
    SimSession& simSession() { return session_; }
    SimAVServices& simAVServices() { return avServices_; }
    SimTexts& simTexts() { return texts_; }

    // Journals and settings, open to tests.
    std::vector<std::string> logLines;
    std::vector<std::string> calls;
    std::vector<std::uint32_t> sleeps;  // every usleep of the main thread, in microseconds
    OperatingSystemVersion osVersion{14, 0, 0};
    std::optional<std::string> libraryFolder;
    // While false, the root object's initialiser yields nothing.
    bool rootObjectInitialisation = true;

  private:
    // Small numbers keep the virtual clock exact to well below a nanosecond.
    double clock_ = 1000.0;
    SimDefaults defaults_;
    std::unique_ptr<DefaultsStorage> defaultsOverride_;
    SimDistributedBus bus_;
    SimDisplays displays_;
    SimHID hid_;
    SimLightSensor lightSensor_;
    SimTasks tasks_;
    SimSession session_;
    SimAVServices avServices_;
    SimTexts texts_{displays_};
    SimDispatch dispatch_;
};

}  // namespace platform::sim
