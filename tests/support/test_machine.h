// A fresh machine for one test: a temporary folder set as VREL_MACHINE for the test's
// duration and removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vrel::test {

class TestMachine {
  public:
    TestMachine();
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;
    ~TestMachine();

    const std::filesystem::path& Folder() const { return folder_; }
    // A host path inside drive C: for a Windows path such as "C:\WINDOWS".
    std::filesystem::path DriveC() const { return folder_ / "drive_c"; }
    // Makes a host file below drive C:, with its folders.
    void Touch(const std::filesystem::path& relative) const;

  private:
    std::filesystem::path folder_;
};

// A fixture that gives each test its own machine.
class MachineTest : public ::testing::Test {
  protected:
    TestMachine machine_;
};

// Runs a program of build/bin with arguments; returns its exit code and what it printed.
struct RunResult {
    int exitCode;
    std::string output;
};
RunResult RunProgram(const std::string& program, const std::string& arguments);
std::filesystem::path BinFolder();

// This process's open descriptors of the machine's store files, as /proc/self/fd shows them.
int StoreDescriptors();

}  // namespace vrel::test
