// Sees the stat calls this test process makes on paths below a folder: how often a file
// function looks at the disk besides opening and reading.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

namespace vrel::test {

// While it lives, counts the stat calls on the folder and the entries below it. One watch at
// a time.
class StatWatch {
  public:
    explicit StatWatch(const std::filesystem::path& folder);
    StatWatch(const StatWatch&) = delete;
    StatWatch& operator=(const StatWatch&) = delete;
    ~StatWatch();

    // The calls since the last one.
    int Take();

    void Record(const char* path);  // called by the stat wrapper

  private:
    const std::string folder_;
    std::atomic<int> calls_ = 0;
};

}  // namespace vrel::test
