#include "Foundation/NSLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "machine/Machine.h"

void NSLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(line.data(), line.size() + 1, format, args);
    va_end(args);
    platform::Machine::current().writeLog(line);
}
