// One line in the system log, printf-style.
#pragma once

void NSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
