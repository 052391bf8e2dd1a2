#include "support/NoFileOverride.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testing_support {
namespace {

bool changeOverride(bool keep) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    constexpr unsigned bit = 1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH;
    if (keep) {
        data[0].effective |= data[0].permitted & bit;
    } else {
        data[0].effective &= ~bit;
    }
    return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

NoFileOverride::NoFileOverride() {
    dropped_ = changeOverride(false);
}

NoFileOverride::~NoFileOverride() {
    if (dropped_)
        changeOverride(true);
}

}  // namespace testing_support
