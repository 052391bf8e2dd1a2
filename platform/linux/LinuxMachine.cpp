#include "linux/LinuxMachine.h"

#include <sys/prctl.h>
#include <sys/utsname.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "linux/devices/Sysroot.h"
#include "linux/foundation/GLibRunLoop.h"
#include "linux/foundation/LinuxDispatch.h"

namespace platform::linux_machine {

LinuxMachine::LinuxMachine() : defaults_(*this), bus_(*this), tasks_(*this), session_(*this) {
    holdParts({&defaults_, &bus_, &displays_, &hid_, &lightSensor_, &tasks_, &session_,
               &avServices_, &texts_});
    openlog(program_invocation_short_name, LOG_PID, LOG_USER);
}

// Queue threads may still be in a block that asks this machine for the time.
LinuxMachine::~LinuxMachine() {
    stopThreadQueues();
}

LinuxMachine& LinuxMachine::installNew() {
    auto machine = std::make_unique<LinuxMachine>();
    auto& ref = *machine;
    Machine::install(std::move(machine));
    return ref;
}

double LinuxMachine::absoluteTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9 - kCFAbsoluteTimeIntervalSince1970;
}

// A fade sleeps 100 times 10 ms; the thread's timer slack (50 µs unless set
// otherwise) would be added to every one of them, half a percent over the
// fade. The slack of each sleeping thread is therefore set to 1 ns once, at
// its first sleep, and kept: lending it back after every sleep cost two more
// system calls per fade step and bought no accuracy (docs/PERFORMANCE.md).
void LinuxMachine::sleepMicroseconds(std::uint32_t usec) {
    static thread_local bool tightened = false;
    if (!tightened) {
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
        tightened = true;
    }
    ::usleep(usec);
}

CFRunLoopRunResult LinuxMachine::runRunLoop(CFRunLoopRef rl, const CFRunLoopMode& mode,
                                            double seconds, bool returnAfterSourceHandled) {
    return runGLibRunLoop(rl, mode, seconds, returnAfterSourceHandled);
}

void LinuxMachine::wakeUpRunLoop(CFRunLoopRef rl) {
    wakeUpGLibRunLoop(rl);
}

void LinuxMachine::writeLog(const std::string& line) {
    syslog(LOG_NOTICE, "%s", line.c_str());
    if (logObserver)
        logObserver(line);
    // Also on standard error when a person is watching, or when asked to
    // (tests and the demo read the log there).
    static const bool toStderr = isatty(STDERR_FILENO) || environment("PLATFORM_LOG_STDERR");
    if (toStderr)
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, line.c_str());
}

OperatingSystemVersion LinuxMachine::operatingSystemVersion() {
    // The running kernel's version stands for the system version.
    utsname u{};
    OperatingSystemVersion v;
    if (uname(&u) == 0)
        std::sscanf(u.release, "%ld.%ld.%ld", &v.majorVersion, &v.minorVersion, &v.patchVersion);
    return v;
}

std::optional<std::string> LinuxMachine::userLibraryFolder() {
    if (auto data = environment("XDG_DATA_HOME"))
        return *data;
    return homeFolder() + "/.local/share";
}

std::shared_ptr<DispatchQueue> LinuxMachine::createDispatchQueue(const std::string& label) {
    return createThreadQueue(label);
}

std::shared_ptr<DispatchQueue> LinuxMachine::mainDispatchQueue() {
    return mainContextQueue();
}

}  // namespace platform::linux_machine
