// Operating-system identification on machines posing as the Windows versions the wizard
// must tell apart.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/registry.h"
#include "settings/os_version.h"
#include "test_machine.h"

namespace vrel {
namespace {

struct Pose {
    const char* name;
    int platform;
    const char* version;
    int build;
    const char* servicePack;
    int productType;  // the extended record's
    int suiteMask;
    bool extendedRecord;
    const char* productOptions;  // nullptr: no ProductOptions value
    bool hotfix6a;
};

struct Expected {
    std::string text;
    bool winNT;
    bool nt4OrOlder;
    bool xpHome;
};

struct Case {
    Pose pose;
    Expected expected;
};

void PoseAs(const Pose& pose) {
    win::TRegistry registry;
    registry.OpenKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", true);
    registry.WriteString("CurrentVersion", pose.version);
    registry.WriteString("CurrentBuildNumber", std::to_string(pose.build));
    registry.WriteString("CSDVersion", pose.servicePack);
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Version", true);
    registry.WriteInteger("PlatformId", pose.platform);
    registry.WriteInteger("ProductType", pose.productType);
    registry.WriteInteger("SuiteMask", pose.suiteMask);
    registry.WriteInteger("ExtendedRecord", pose.extendedRecord ? 1 : 0);
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions", true);
    if (pose.productOptions) {
        registry.WriteString("ProductType", pose.productOptions);
    } else {
        registry.DeleteValue("ProductType");
    }
    const char* hotfix = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
    if (pose.hotfix6a) {
        registry.OpenKey(hotfix, true);
    } else {
        registry.DeleteKey(hotfix);
    }
}

const Case kCases[] = {
    {{"XP Professional SP2", 2, "5.1", 2600, "Service Pack 2", 1, 0x0100, true, "WinNT", false},
     {"Microsoft Windows XP Professional Service Pack 2 (Build 2600)", true, false, false}},
    {{"XP Home", 2, "5.1", 2600, "Service Pack 1", 1, 0x0300, true, "WinNT", false},
     {"Microsoft Windows XP Home Edition Service Pack 1 (Build 2600)", true, false, true}},
    {{"NT 4.0 Workstation with 6a", 2, "4.0", 1381, "Service Pack 6", 1, 0, true, "WinNT", true},
     {"Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)", true, true, false}},
    {{"NT 4.0 Workstation without 6a", 2, "4.0", 1381, "service pack 6", 1, 0, true, "WinNT",
      false},
     {"Microsoft Windows NT Workstation 4.0 service pack 6 (Build 1381)", true, true, false}},
    {{"NT 4.0 lower case 6 with 6a", 2, "4.0", 1381, "SERVICE PACK 6", 1, 0, true, "WinNT", true},
     {"Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)", true, true, false}},
    {{"NT 4.0 server, basic record", 2, "4.0", 1381, "Service Pack 5", 0, 0, false, "LanmanNT",
      false},
     {"Microsoft Windows NT Server 4.0 Service Pack 5 (Build 1381)", true, true, false}},
    {{"NT 4.0, basic record, ServerNT", 2, "4.0", 1381, "Service Pack 3", 0, 0, false, "ServerNT",
      false},
     {"Microsoft Windows NT Advanced Server 4.0 Service Pack 3 (Build 1381)", true, true, false}},
    {{"basic record, unknown product type", 2, "4.0", 1381, "", 0, 0, false, "Other", false},
     {"Microsoft Windows NT 4.0  (Build 1381)", true, true, false}},
    {{"basic record, no ProductOptions", 2, "4.0", 1381, "Service Pack 5", 0, 0, false, nullptr,
      false},
     {"", true, true, false}},
    {{"basic record hides the personal suite", 2, "5.1", 2600, "", 1, 0x0200, false, "WinNT",
      false},
     {"Microsoft Windows XP Workstation 5.1  (Build 2600)", true, false, false}},
    {{"95 OSR2", 1, "4.0", 950, " C", 0, 0, false, nullptr, false},
     {"Microsoft Windows 95 OSR2 ", false, false, false}},
    {{"95 with B", 1, "4.0", 950, " B", 0, 0, false, nullptr, false},
     {"Microsoft Windows 95 ", false, false, false}},
    {{"98 SE", 1, "4.10", 2222, " A ", 0, 0, false, nullptr, false},
     {"Microsoft Windows 98 SE ", false, false, false}},
    {{"Me", 1, "4.90", 3000, "", 0, 0, false, nullptr, false},
     {"Microsoft Windows Me ", false, false, false}},
    {{"Win32s", 0, "3.10", 0, "", 0, 0, false, nullptr, false},
     {"Microsoft Win32s ", false, false, false}},
    {{"Server 2003 Standard", 2, "5.2", 3790, "Service Pack 2", 3, 0x0110, true, "ServerNT", false},
     {"Microsoft Windows Server 2003 family, Standard Edition Service Pack 2 (Build 3790)", true,
      false, false}},
    {{"Server 2003 Web", 2, "5.2", 3790, "", 3, 0x0400, true, "ServerNT", false},
     {"Microsoft Windows Server 2003 family, Web Edition  (Build 3790)", true, false, false}},
    {{"Server 2003 blade plus another bit", 2, "5.2", 3790, "", 3, 0x0410, true, "ServerNT", false},
     {"Microsoft Windows Server 2003 family, Standard Edition  (Build 3790)", true, false, false}},
    {{"Server 2003 Enterprise", 2, "5.2", 3790, "", 3, 0x0002, true, "ServerNT", false},
     {"Microsoft Windows Server 2003 family, Enterprise Edition  (Build 3790)", true, false,
      false}},
    {{"Server 2003 Datacenter", 2, "5.2", 3790, "", 3, 0x0082, true, "ServerNT", false},
     {"Microsoft Windows Server 2003 family, Datacenter Edition  (Build 3790)", true, false,
      false}},
    {{"2000 Advanced Server", 2, "5.0", 2195, "Service Pack 4", 3, 0x0002, true, "ServerNT", false},
     {"Microsoft Windows 2000 Advanced Server Service Pack 4 (Build 2195)", true, false, false}},
    {{"2000 domain controller", 2, "5.0", 2195, "Service Pack 4", 2, 0, true, "LanmanNT", false},
     {"Microsoft Windows 2000 Service Pack 4 (Build 2195)", true, false, false}},
    {{"server 6.0", 2, "6.0", 6001, "Service Pack 1", 3, 0, true, "ServerNT", false},
     {"Server 4.0 Service Pack 1 (Build 6001)", true, false, false}},
    {{"workstation 6.0 home", 2, "6.0", 6000, "", 1, 0x0200, true, "WinNT", false},
     {"Home Edition  (Build 6000)", true, false, true}},
    {{"build above 65535", 2, "5.1", 0x12A28, "Service Pack 3", 1, 0, true, "WinNT", false},
     {"Microsoft Windows XP Professional Service Pack 3 (Build 10792)", true, false, false}},
};

class OsVersionTest : public test::MachineTest, public ::testing::WithParamInterface<Case> {};

TEST_P(OsVersionTest, DescribesAndTestsThePosedWindows) {
    const Case& c = GetParam();
    PoseAs(c.pose);
    EXPECT_EQ(GetOSVersionText(), c.expected.text);
    EXPECT_EQ(IsWinNT(), c.expected.winNT);
    EXPECT_EQ(IsNT4OrOlder(), c.expected.nt4OrOlder);
    EXPECT_EQ(IsXPHome(), c.expected.xpHome);
}

INSTANTIATE_TEST_SUITE_P(Machines, OsVersionTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.pose.name)) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             }
                             return name;
                         });

class NoVersionRecordTest : public test::MachineTest {};

TEST_F(NoVersionRecordTest, EveryTestIsFalseAndTheTextEmpty) {
    PoseAs(kCases[1].pose);  // XP Home: every test would be true but one
    win::TRegistry registry;
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Version", true);
    registry.WriteInteger("BasicRecord", 0);
    EXPECT_EQ(GetOSVersionText(), "");
    EXPECT_FALSE(IsWinNT());
    EXPECT_FALSE(IsNT4OrOlder());
    EXPECT_FALSE(IsXPHome());
}

TEST_F(NoVersionRecordTest, ANewMachineIsServer2003Standard) {
    EXPECT_EQ(GetOSVersionText(),
              "Microsoft Windows Server 2003 family, Standard Edition Service Pack 2 (Build 3790)");
    EXPECT_TRUE(IsWinNT());
    EXPECT_FALSE(IsNT4OrOlder());
    EXPECT_FALSE(IsXPHome());
}

}  // namespace
}  // namespace vrel
