// A temporary folder removed at the end of the test, and scoped environment
// variables.
#pragma once

#include <optional>
#include <string>

namespace testing_support {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  private:
    std::string path_;
};

// Sets (or, with nullopt, unsets) a variable and restores it at scope end.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// Small file helpers for fixtures.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

}  // namespace testing_support
