// Defaults of a new machine: the registry values Windows itself would hold, the system
// folders and files of drive C:, and the stand-in programs linked into it.
#include <unistd.h>

#include <fstream>

#include "platform/registry.h"
#include "platform/text.h"
#include "store/machine.h"
#include "store/schema.h"

namespace win::schema {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kMaxComputerNameLength = 15;

std::string HostComputerName() {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::string name = UpperCase(std::string(host).substr(0, std::string(host).find('.')));
    if (name.empty()) name = "VRELHOST";
    return name.substr(0, kMaxComputerNameLength);
}

void WriteComputerName(TRegistry& registry) {
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", true);
    registry.WriteString("ComputerName", HostComputerName());
}

// Windows Server 2003 Standard Edition, Service Pack 2, build 3790.
void WriteWindowsVersion(TRegistry& registry) {
    registry.OpenKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", true);
    registry.WriteString("ProductName", "Microsoft Windows Server 2003");
    registry.WriteString("CurrentVersion", "5.2");
    registry.WriteString("CurrentBuildNumber", "3790");
    registry.WriteString("CSDVersion", "Service Pack 2");
    registry.WriteString("SystemRoot", "C:\\WINDOWS");
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions", true);
    registry.WriteString("ProductType", "ServerNT");
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine\\Version", true);
    registry.WriteInteger("PlatformId", 2);  // VER_PLATFORM_WIN32_NT
    registry.WriteInteger("ServicePackMajor", 2);
    registry.WriteInteger("ServicePackMinor", 0);
    registry.WriteInteger("SuiteMask", 0x0110);  // terminal services, single-user
    registry.WriteInteger("ProductType", 3);     // VER_NT_SERVER
    registry.WriteBool("ExtendedRecord", true);
}

void WriteMachineKnobs(TRegistry& registry) {
    registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine", true);
    registry.WriteInteger("PasswordHashCost", 5);
    registry.WriteInteger("NetworkPresent", 1);
    registry.WriteInteger("ComActivationTimeout", 30000);
    registry.WriteInteger("ComCallTimeout", 60000);
}

// The in-process classes Windows itself provides.
void WriteSystemClasses(TRegistry& registry) {
    const std::string clsid = "{66182EC4-AFD1-11D2-9CB9-0000F87A369E}";
    registry.RootKey = HKEY_CLASSES_ROOT;
    registry.OpenKey("\\WinNTSystemInfo\\CLSID", true);
    registry.WriteString("", clsid);
    registry.OpenKey("\\CLSID\\" + clsid, true);
    registry.WriteString("", "WinNTSystemInfo");
    registry.OpenKey("\\CLSID\\" + clsid + "\\ProgID", true);
    registry.WriteString("", "WinNTSystemInfo");
    registry.OpenKey("\\CLSID\\" + clsid + "\\InprocServer32", true);
    registry.WriteString("", "activeds.dll");
    registry.WriteString("ThreadingModel", "Both");
    registry.RootKey = HKEY_LOCAL_MACHINE;
}

void WriteLocale(TRegistry& registry) {
    registry.RootKey = HKEY_CURRENT_USER;
    registry.OpenKey("\\Control Panel\\International", true);
    registry.WriteString("LocaleName", "en-US");
    registry.WriteString("sShortDate", "M/d/yyyy");
    registry.WriteString("sTimeFormat", "h:mm:ss tt");
    registry.WriteString("s1159", "AM");
    registry.WriteString("s2359", "PM");
    registry.RootKey = HKEY_LOCAL_MACHINE;
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Where the stand-in programs are: beside the running program when it is one of them (an
// installed set), else the build's program folder.
fs::path ProgramFolder() {
    std::error_code error;
    const fs::path running = fs::read_symlink("/proc/self/exe", error).parent_path();
    if (!error && fs::exists(running / "sysocmgr")) return running;
    return VREL_PROGRAM_FOLDER;
}

struct ProgramLink {
    const char* folder;  // under C:\WINDOWS
    const char* program;
};

constexpr ProgramLink kProgramLinks[] = {
    {"system32", "sysocmgr"},
    {"system32/inetsrv", "smtpsvc"},
};

}  // namespace

void LinkPrograms() {
    const fs::path programs = ProgramFolder();
    for (const ProgramLink& link : kProgramLinks) {
        const fs::path path = DriveCFolder() / "WINDOWS" / link.folder / link.program;
        fs::create_directories(path.parent_path());
        if (fs::is_symlink(fs::symlink_status(path))) fs::remove(path);
        std::error_code exists;
        fs::create_symlink(programs / link.program, path, exists);
    }
}

void WriteRegistryDefaults(Db& db) {
    TRegistry registry(db);
    registry.OpenKey("\\SOFTWARE\\Classes", true);
    WriteComputerName(registry);
    WriteWindowsVersion(registry);
    WriteMachineKnobs(registry);
    WriteLocale(registry);
    WriteSystemClasses(registry);
}

void CreateDriveC() {
    const fs::path windows = DriveCFolder() / "WINDOWS";
    for (const char* folder : {"system32", "temp", "Help", "inf", "system32/inetsrv"}) {
        fs::create_directories(windows / folder);
    }
    WriteFile(windows / "inf" / "sysoc.inf",
              "[Version]\r\nSignature = \"$Windows NT$\"\r\n\r\n[Components]\r\n"
              "iis_smtp = imsinsnt.dll,OcEntry,ims.inf,,7\r\n");
    const DefaultPorts ports = DefaultServicePorts();
    WriteFile(windows / "system32" / "drivers" / "etc" / "services",
              "# Services database of this machine: name port/protocol\r\n"
              "smtp " +
                  std::to_string(ports.smtp) +
                  "/tcp mail\r\n"
                  "pop3 " +
                  std::to_string(ports.pop3) + "/tcp postoffice\r\n");
}

}  // namespace win::schema
