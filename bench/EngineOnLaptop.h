// A virtual laptop in memory with the Linux machine and the engine on it, for
// the benchmarks that time the engine through the kernel: one per process,
// ready once its monitor has been found, else each benchmark is skipped with
// the reason.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "CoreFoundation/CFRunLoop.h"
#include "MemoryFolder.h"
#include "engine/BrightnessController.h"
#include "support/LaptopOnLinux.h"

namespace bench_support {

struct EngineOnLaptop : InMemoryTmpdir, testing_support::LaptopOnLinux {
    BrightnessController* engine = nullptr;
    std::string why;  // what the laptop lacks

    virtual ~EngineOnLaptop() = default;
    // Whether the engine drives the laptop's monitor.
    virtual bool monitorFound() const = 0;

    // Turns the run loop until the monitor is found, for 5 s at most.
    void waitForMonitor(const std::string& notFound) {
        for (int i = 0; i < 500 && !monitorFound(); ++i)
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, true);
        if (!monitorFound())
            why = notFound;
    }

    bool ready(benchmark::State& state) {
        if (engine && monitorFound())
            return true;
        state.SkipWithError(why.c_str());
        return false;
    }
};

}  // namespace bench_support
