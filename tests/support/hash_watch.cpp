#include "hash_watch.h"

#include <crypt.h>
#include <dlfcn.h>

#include <atomic>
#include <stdexcept>
#include <utility>

namespace {

std::atomic<vrel::test::HashWatch*> g_watch = nullptr;

// "j9T" of "$y$j9T$salt$hash": the field between the method's and the salt's.
std::string CostField(std::string_view setting) {
    const std::size_t start = setting.find('$', 1);
    if (start == std::string_view::npos) return {};
    const std::size_t end = setting.find('$', start + 1);
    return std::string(setting.substr(start + 1, end - start - 1));
}

}  // namespace

// Stands in front of libcrypt's crypt_rn for the whole test program.
extern "C" char* crypt_rn(const char* phrase, const char* setting, void* data, int size) noexcept {
    using Real = char* (*)(const char*, const char*, void*, int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "crypt_rn"));
    if (vrel::test::HashWatch* watch = g_watch) watch->Record(setting);
    return real(phrase, setting, data, size);
}

namespace vrel::test {

HashWatch::HashWatch() {
    g_watch = this;
}

HashWatch::~HashWatch() {
    g_watch = nullptr;
}

std::vector<std::string> HashWatch::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(costs_, {});
}

void HashWatch::Record(std::string_view setting) {
    std::lock_guard lock(mutex_);
    costs_.push_back(CostField(setting));
}

std::string YescryptCost(unsigned long cost) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!::crypt_gensalt_rn("$y$", cost, nullptr, 0, setting, sizeof setting)) {
        throw std::runtime_error("crypt_gensalt_rn failed");
    }
    return CostField(setting);
}

}  // namespace vrel::test
