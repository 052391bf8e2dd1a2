#include "machine/Machine.h"

#include "machine/MachineTexts.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
std::unique_ptr<Machine>& slot() {
    static std::unique_ptr<Machine> machine;
    return machine;
}
}  // namespace

void Machine::install(std::unique_ptr<Machine> machine) {
    slot() = std::move(machine);
}

bool Machine::isInstalled() {
    return slot() != nullptr;
}

Machine& Machine::current() {
    if (!slot()) {
        std::fprintf(stderr, "platform: no machine installed; the entry point must install one\n");
        std::abort();
    }
    return *slot();
}

MachineTexts& machineTexts() {
    return Machine::current().texts();
}

}  // namespace platform
