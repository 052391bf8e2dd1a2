// The update lock of one settings file: an flock(2) on "<file>.lock" beside
// it, taken for one read-modify-write so that two processes setting
// different keys at the same moment both keep their change. The kernel drops
// the lock when its holder's file is closed, also when the holder is killed,
// so a dead writer never blocks the next one.
#pragma once

#include <memory>
#include <string>

#include "Machine.h"

namespace platform::linux_machine {

// Waits up to `waitSeconds` for the lock of `settingsPath`. When it cannot be
// had (still held elsewhere, or the lock file cannot be opened), logs why and
// returns a lock that holds nothing, so the caller writes all the same.
std::unique_ptr<DefaultsStorage::UpdateLock> lockSettingsFile(Machine& machine,
                                                              const std::string& settingsPath,
                                                              double waitSeconds);

}  // namespace platform::linux_machine
