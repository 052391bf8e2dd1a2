#include "linux/foundation/SettingsFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

namespace platform::linux_machine {
namespace {

class FileLock : public DefaultsStorage::UpdateLock {
  public:
    explicit FileLock(int fd) : fd_(fd) {}
    ~FileLock() override {
        if (fd_ >= 0)
            ::close(fd_);  // closing the file releases the lock
    }
    bool held() const override { return fd_ >= 0; }

  private:
    int fd_;
};

// The process's one waiting thread and the one descriptor it may hold.
class LockWaiter {
  public:
    enum class Outcome { Held, TimedOut, StillQueued };

    static LockWaiter& instance() {
        // Never destroyed: the thread may still be queued when the process ends.
        static auto* waiter = new LockWaiter;
        return *waiter;
    }

    // Hands `fd` to the waiting thread and waits up to `seconds` for its lock.
    // Held: `fd` holds the lock and is the caller's again. Otherwise `fd` is
    // no longer the caller's.
    Outcome wait(int fd, double seconds) {
        std::unique_lock<std::mutex> hold(mutex_);
        // An earlier update's wait is still queued: the holder has not let go
        // (or has only just, and the waiting thread is handing its lock back).
        if (state_ != State::Idle && !changed_.wait_for(hold, std::chrono::milliseconds(20),
                                                        [&] { return state_ == State::Idle; })) {
            ::close(fd);
            return Outcome::StillQueued;
        }
        fd_ = fd;
        state_ = State::Queued;
        if (!started_) {
            std::thread([this] { run(); }).detach();
            started_ = true;
        }
        changed_.notify_all();
        changed_.wait_for(hold, std::chrono::duration<double>(seconds),
                          [&] { return state_ == State::Granted || state_ == State::Failed; });
        if (state_ == State::Granted) {
            state_ = State::Idle;
            changed_.notify_all();
            return Outcome::Held;
        }
        if (state_ == State::Failed) {
            state_ = State::Idle;
            changed_.notify_all();
        } else {
            state_ = State::Abandoned;  // the thread closes `fd` once its lock comes
        }
        return Outcome::TimedOut;
    }

  private:
    enum class State { Idle, Queued, Waiting, Granted, Failed, Abandoned };

    void run() {
        std::unique_lock<std::mutex> hold(mutex_);
        for (;;) {
            changed_.wait(hold, [&] { return state_ == State::Queued; });
            state_ = State::Waiting;
            const int fd = fd_;
            hold.unlock();
            int result;
            do
                result = ::flock(fd, LOCK_EX);
            while (result != 0 && errno == EINTR);
            hold.lock();
            if (state_ == State::Abandoned || result != 0) {
                ::close(fd);
                state_ = state_ == State::Abandoned ? State::Idle : State::Failed;
            } else {
                state_ = State::Granted;
            }
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Idle;
    int fd_ = -1;
    bool started_ = false;
};

std::string waitText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
}

int openLockFile(const std::string& lockPath) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(lockPath).parent_path(), ec);
    return ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

}  // namespace

std::unique_ptr<DefaultsStorage::UpdateLock> lockSettingsFile(Machine& machine,
                                                              const std::string& settingsPath,
                                                              double waitSeconds) {
    const std::string lockPath = settingsPath + ".lock";
    const std::string without = "; writing " + settingsPath + " without it";
    int fd = openLockFile(lockPath);
    if (fd < 0) {
        machine.writeLog("Settings lock " + lockPath + " cannot be opened (" +
                         std::strerror(errno) + ")" + without);
        return std::make_unique<FileLock>(-1);
    }
    // Said once while one holder keeps everybody waiting, not at every update.
    static bool toldStillQueued = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        toldStillQueued = false;
        return std::make_unique<FileLock>(fd);
    }
    if (errno != EWOULDBLOCK) {
        machine.writeLog("Settings lock " + lockPath + " cannot be taken (" + std::strerror(errno) +
                         ")" + without);
        ::close(fd);
        return std::make_unique<FileLock>(-1);
    }
    switch (LockWaiter::instance().wait(fd, waitSeconds)) {
        case LockWaiter::Outcome::Held:
            toldStillQueued = false;
            return std::make_unique<FileLock>(fd);
        case LockWaiter::Outcome::TimedOut:
            machine.writeLog("Settings lock " + lockPath + " still held by another writer after " +
                             waitText(waitSeconds) + without);
            break;
        case LockWaiter::Outcome::StillQueued:
            if (!toldStillQueued)
                machine.writeLog("Settings lock " + lockPath +
                                 " still held by another writer since an earlier update" + without +
                                 " until it lets go");
            toldStillQueued = true;
            break;
    }
    return std::make_unique<FileLock>(-1);
}

std::unique_ptr<DefaultsStorage::UpdateLock> tryLockSettingsFile(const std::string& settingsPath) {
    int fd = openLockFile(settingsPath + ".lock");
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        fd = -1;
    }
    return std::make_unique<FileLock>(fd);
}

}  // namespace platform::linux_machine
