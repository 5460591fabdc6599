// GetVersionEx over the machine's version data: which record a call gets, and machines that
// give only the basic record or none.
#include <gtest/gtest.h>

#include <string>

#include "platform/osversion.h"
#include "platform/registry.h"
#include "test_machine.h"

namespace {

using namespace win;

class OsVersionRecordTest : public vrel::test::MachineTest {
  protected:
    static void SetKnob(const char* name, int value) {
        TRegistry registry;
        registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Version", true);
        registry.WriteInteger(name, value);
    }
};

TEST_F(OsVersionRecordTest, ANewMachineGivesServer2003InBothRecords) {
    OSVERSIONINFOEXA extended;
    extended.dwOSVersionInfoSize = sizeof extended;
    ASSERT_TRUE(GetVersionExA(extended));
    EXPECT_EQ(extended.dwMajorVersion, 5u);
    EXPECT_EQ(extended.dwMinorVersion, 2u);
    EXPECT_EQ(extended.dwBuildNumber, 3790u);
    EXPECT_EQ(extended.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(std::string(extended.szCSDVersion), "Service Pack 2");
    EXPECT_EQ(extended.wServicePackMajor, 2);
    EXPECT_EQ(extended.wSuiteMask, VER_SUITE_TERMINAL | VER_SUITE_SINGLEUSERTS);
    EXPECT_EQ(extended.wProductType, VER_NT_SERVER);

    OSVERSIONINFOA basic;
    basic.dwOSVersionInfoSize = sizeof basic;
    ASSERT_TRUE(GetVersionExA(basic));
    EXPECT_EQ(basic.dwBuildNumber, 3790u);
    EXPECT_EQ(std::string(basic.szCSDVersion), "Service Pack 2");
}

TEST_F(OsVersionRecordTest, ABasicSizedCallLeavesTheExtendedFieldsAlone) {
    OSVERSIONINFOEXA record;
    record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    ASSERT_TRUE(GetVersionExA(record));
    EXPECT_EQ(record.dwMajorVersion, 5u);
    EXPECT_EQ(record.wSuiteMask, 0);
    EXPECT_EQ(record.wProductType, 0);
}

TEST_F(OsVersionRecordTest, AMachineWithoutTheExtendedRecordRefusesIt) {
    SetKnob("ExtendedRecord", 0);
    OSVERSIONINFOEXA record;
    record.dwOSVersionInfoSize = sizeof record;
    EXPECT_FALSE(GetVersionExA(record));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(record.dwMajorVersion, 0u) << "a refused record is left as it was";
    record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    EXPECT_TRUE(GetVersionExA(record));
}

TEST_F(OsVersionRecordTest, AMachineWithoutARecordOrAWrongSizeGivesNothing) {
    OSVERSIONINFOA wrong;
    wrong.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(wrong));
    SetKnob("BasicRecord", 0);
    OSVERSIONINFOA basic;
    basic.dwOSVersionInfoSize = sizeof basic;
    EXPECT_FALSE(GetVersionExA(basic));
    OSVERSIONINFOEXA extended;
    extended.dwOSVersionInfoSize = sizeof extended;
    EXPECT_FALSE(GetVersionExA(extended));
}

}  // namespace
