// The agent's first log lines: what it found to work with (displays,
// backlights, Apple USB monitors, light sensors) and why any of them cannot
// be used, so that a user can tell from `journalctl --user` what is missing.
#pragma once

namespace duolume {

void logHardwareReport();

}  // namespace duolume
