// Takes the file permission overrides (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH)
// from the calling thread for a scope, so that a test running as root meets permission bits
// the way an ordinary user does. Restored at scope end.
#pragma once

namespace testing_support {

class NoFileOverride {
  public:
    NoFileOverride();
    ~NoFileOverride();
    NoFileOverride(const NoFileOverride&) = delete;
    NoFileOverride& operator=(const NoFileOverride&) = delete;

  private:
    bool dropped_ = false;
};

}  // namespace testing_support
