#include "test_machine.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/registry.h"
#include "store/machine.h"

namespace vrel::test {
namespace fs = std::filesystem;

TestMachine::TestMachine() {
    std::string pattern = (fs::temp_directory_path() / "vrel-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    ::setenv("VREL_MACHINE", folder_.c_str(), 1);
    win::InitMachine();
    // The cheapest password hashing, so tests that make accounts stay fast.
    win::TRegistry registry;
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true);
    registry.WriteInteger("PasswordHashCost", 1);
}

TestMachine::~TestMachine() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    ::unsetenv("VREL_MACHINE");
}

fs::path BinFolder() {
    const char* bin = std::getenv("VREL_BIN");
    return bin ? fs::path(bin) : fs::current_path() / ".." / "bin";
}

RunResult RunProgram(const std::string& program, const std::string& arguments) {
    const std::string command = "'" + (BinFolder() / program).string() + "' " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("popen failed");
    std::string output;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    return RunResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

void TestMachine::Touch(const fs::path& relative) const {
    fs::create_directories((DriveC() / relative).parent_path());
    std::ofstream(DriveC() / relative) << "x";
}

int StoreDescriptors() {
    const fs::path store = win::MachineDbPath();
    int count = 0;
    for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (!error && target.starts_with(store.string())) ++count;
    }
    return count;
}

}  // namespace vrel::test
