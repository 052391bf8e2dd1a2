#include "linux/SettingsFileLock.h"

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
        if (fd_ >= 0) ::close(fd_);  // closing the file releases the lock
    }
    bool held() const override { return fd_ >= 0; }

  private:
    int fd_;
};

std::string waitText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
}

// A blocking flock queues this writer behind the holder, where polling would
// let a busy holder take the lock again and again before the poll comes. It
// waits on a thread of its own so that the wait has a bound: when the bound
// passes first, that thread keeps the file and closes it once the lock comes.
// True when the lock is held on `fd`; on false, `fd` is no longer ours.
bool waitBlocking(int fd, double waitSeconds) {
    struct Wait {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;    // the waiting thread has its answer
        bool locked = false;  // ... and it is the lock
        bool gaveUp = false;  // the bound passed first
    };
    auto wait = std::make_shared<Wait>();
    std::thread([wait, fd] {
        int result;
        do result = ::flock(fd, LOCK_EX);
        while (result != 0 && errno == EINTR);
        std::lock_guard<std::mutex> hold(wait->mutex);
        wait->locked = result == 0 && !wait->gaveUp;
        if (!wait->locked) ::close(fd);
        wait->done = true;
        wait->finished.notify_one();
    }).detach();
    std::unique_lock<std::mutex> hold(wait->mutex);
    wait->finished.wait_for(hold, std::chrono::duration<double>(waitSeconds),
                            [&] { return wait->done; });
    wait->gaveUp = !wait->done;
    return wait->locked;
}

}  // namespace

std::unique_ptr<DefaultsStorage::UpdateLock> lockSettingsFile(Machine& machine,
                                                              const std::string& settingsPath,
                                                              double waitSeconds) {
    const std::string lockPath = settingsPath + ".lock";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(lockPath).parent_path(), ec);
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        machine.writeLog("Settings lock " + lockPath + " cannot be opened (" + std::strerror(errno) +
                         "); writing " + settingsPath + " without it");
        return std::make_unique<FileLock>(-1);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return std::make_unique<FileLock>(fd);
    if (errno != EWOULDBLOCK) {
        machine.writeLog("Settings lock " + lockPath + " cannot be taken (" + std::strerror(errno) +
                         "); writing " + settingsPath + " without it");
        ::close(fd);
        return std::make_unique<FileLock>(-1);
    }
    if (waitBlocking(fd, waitSeconds)) return std::make_unique<FileLock>(fd);
    machine.writeLog("Settings lock " + lockPath + " still held by another writer after " +
                     waitText(waitSeconds) + "; writing " + settingsPath + " without it");
    return std::make_unique<FileLock>(-1);
}

}  // namespace platform::linux_machine
