#include "sim/SimDefaults.h"

namespace platform::sim {

namespace {

class SimUpdateLock : public DefaultsStorage::UpdateLock {
  public:
    explicit SimUpdateLock(SimDefaults* owner) : owner_(owner) {}
    ~SimUpdateLock() override {
        if (!owner_)
            return;
        owner_->locked = false;
        owner_->journal.push_back("unlock");
    }
    bool held() const override { return owner_ != nullptr; }

  private:
    SimDefaults* owner_;
};

}  // namespace

std::unique_ptr<DefaultsStorage::UpdateLock> SimDefaults::lockForUpdate(const std::string& domain) {
    if (lockHeldElsewhere || locked) {
        Machine::current().writeLog("Settings domain " + domain +
                                    " still locked by another writer; writing it without the lock");
        return std::make_unique<SimUpdateLock>(nullptr);
    }
    locked = true;
    journal.push_back("lock");
    return std::make_unique<SimUpdateLock>(this);
}

std::optional<PlistDictionary> SimDefaults::read(const std::string& domain) {
    journal.push_back("read");
    auto it = domains.find(domain);
    if (it == domains.end())
        return std::nullopt;
    return it->second;
}

bool SimDefaults::write(const std::string& domain, const PlistDictionary& content) {
    ++writes;
    journal.push_back("write");
    if (failWrites)
        return false;
    domains[domain] = content;
    return true;
}

bool SimDefaults::flush() {
    ++flushes;
    journal.push_back("flush");
    return !failFlush;
}

}  // namespace platform::sim
