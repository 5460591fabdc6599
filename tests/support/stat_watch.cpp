#include "stat_watch.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <string_view>

namespace {

std::atomic<vrel::test::StatWatch*> g_watch = nullptr;

}  // namespace

// Stands in front of the C library's stat for the whole test program.
extern "C" int stat(const char* __restrict path, struct stat* __restrict status) noexcept {
    using Stat = int (*)(const char*, struct stat*);
    static const auto real = reinterpret_cast<Stat>(::dlsym(RTLD_NEXT, "stat"));
    if (vrel::test::StatWatch* watch = g_watch) watch->Record(path);
    return real(path, status);
}

namespace vrel::test {

StatWatch::StatWatch(const std::filesystem::path& folder) : folder_(folder.string()) {
    g_watch = this;
}

StatWatch::~StatWatch() {
    g_watch = nullptr;
}

int StatWatch::Take() {
    return calls_.exchange(0);
}

void StatWatch::Record(const char* path) {
    if (std::string_view(path).starts_with(folder_)) ++calls_;
}

}  // namespace vrel::test
