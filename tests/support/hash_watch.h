// Sees the password hashes this test process computes, so that a test can tell how much work
// a logon does without timing it.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vrel::test {

// While it lives, records the cost of every crypt(3) hash computed in this process: the
// parameter field of its setting ("j9T" of "$y$j9T$salt$..."), which holds the cost. One
// watch at a time.
class HashWatch {
  public:
    HashWatch();
    HashWatch(const HashWatch&) = delete;
    HashWatch& operator=(const HashWatch&) = delete;
    ~HashWatch();

    // The costs of the hashes computed since the last call, oldest first.
    std::vector<std::string> Take();

    void Record(std::string_view setting);  // called by the crypt_rn wrapper

  private:
    std::mutex mutex_;
    std::vector<std::string> costs_;
};

// The parameter field of a yescrypt setting or hash made at `cost`.
std::string YescryptCost(unsigned long cost);

}  // namespace vrel::test
