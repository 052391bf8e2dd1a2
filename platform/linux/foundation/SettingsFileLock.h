// The update lock of one settings file: an flock(2) on "<file>.lock" beside
// it, taken for one read-modify-write so that two processes setting
// different keys at the same moment both keep their change. The kernel drops
// the lock when its holder's file is closed, also when the holder is killed,
// so a dead writer never blocks the next one.
//
// The wait for another holder is bounded and short, since the window's thread
// takes this lock at every slider move. A blocking flock queues the writer
// behind the holder (polling would let a busy holder take the lock again and
// again before the poll comes), so the wait runs on one waiting thread per
// process, which keeps at most one descriptor. While that thread is still
// queued behind a holder that did not let go, later updates do not wait at
// all: they write without the lock, and the log says so once.
#pragma once

#include <memory>
#include <string>

#include "machine/Machine.h"

namespace platform::linux_machine {

// Waits up to `waitSeconds` for the lock of `settingsPath`. When it cannot be
// had (still held elsewhere, or the lock file cannot be opened), logs why and
// returns a lock that holds nothing, so the caller writes all the same.
std::unique_ptr<DefaultsStorage::UpdateLock> lockSettingsFile(Machine& machine,
                                                              const std::string& settingsPath,
                                                              double waitSeconds);

// The lock without any wait: held at once, or not at all (nothing logged).
std::unique_ptr<DefaultsStorage::UpdateLock> tryLockSettingsFile(const std::string& settingsPath);

}  // namespace platform::linux_machine
