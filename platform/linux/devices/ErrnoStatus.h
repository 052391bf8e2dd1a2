// The platform status that stands for a failed system call's errno.
#pragma once

#include "base/IOKitTypes.h"

namespace platform::linux_machine {

// Never kIOReturnSuccess: an unknown errno is an I/O error.
IOReturn statusForErrno(int error);

}  // namespace platform::linux_machine
