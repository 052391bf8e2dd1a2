#include "linux/devices/ErrnoStatus.h"

#include <cerrno>

namespace platform::linux_machine {

IOReturn statusForErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ESHUTDOWN:
        case ENOTCONN:
            return kIOReturnNoDevice;  // unplugged, or its server went away
        case EACCES:
        case EPERM:
        case EROFS:
            return kIOReturnNotPermitted;
        case EINVAL:
        case ERANGE:
        case EOVERFLOW:
            return kIOReturnBadArgument;
        case ETIMEDOUT:
            return kIOReturnTimeout;
        case EBUSY:
        case EAGAIN:
            return kIOReturnBusy;
        case ENOMEM:
            return kIOReturnNoMemory;
        case EPIPE:
            return kIOReturnNotResponding;  // the device refused (stalled) the request
        default:
            return kIOReturnIOError;
    }
}

}  // namespace platform::linux_machine
