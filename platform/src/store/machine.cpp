#include "store/machine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "store/name_collation.h"

namespace win {
namespace fs = std::filesystem;
namespace {

// 1: names declared COLLATE NOCASE; 2: names under the machine's rule (NOCASE1252).
constexpr int kSchemaVersion = 2;

int SchemaVersion(Db& db) {
    auto statement = db.Prepare("PRAGMA user_version");
    return statement.Step() ? static_cast<int>(statement.Int(0)) : 0;
}

bool IsInitialised(Db& db) {
    return SchemaVersion(db) >= kSchemaVersion;
}

// Serialises first-use initialisation between processes.
class InitLock {
  public:
    explicit InitLock(const fs::path& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ < 0) throw std::system_error(errno, std::generic_category(), path.string());
        ::flock(fd_, LOCK_EX);
    }
    InitLock(const InitLock&) = delete;
    InitLock& operator=(const InitLock&) = delete;
    ~InitLock() { ::close(fd_); }

  private:
    int fd_;
};

MachineSetup registeredSetup;

const MachineSetup& Setup() {
    if (!registeredSetup.create || !registeredSetup.link) {
        throw std::logic_error("the program does not link the machine's setup (platform_machine)");
    }
    return registeredSetup;
}

// A new store is created; one of an older version is brought up to date.
bool InitLocked(Db& db) {
    const int version = SchemaVersion(db);
    if (version >= kSchemaVersion) return false;
    if (version > 0) {
        Transaction transaction(db);
        UseNameCollation(db);
        db.Exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
        transaction.Commit();
        return false;
    }
    db.Exec("PRAGMA journal_mode=WAL");
    Transaction transaction(db);
    Setup().create(db);
    db.Exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
    transaction.Commit();
    return true;
}

// Everything the machine's programs create is their owner's alone: the store holds password
// hashes and the folders hold mail, as mail servers keep their spool and their maps. Set once,
// at the process's first use of the machine.
void KeepCreatedFilesPrivate() {
    static const bool masked = [] {
        ::umask(077);
        return true;
    }();
    (void)masked;
}

// The variables that name the machine's folder: VREL_MACHINE, else XDG_DATA_HOME, else HOME.
using Naming = std::array<std::string_view, 3>;

Naming CurrentNaming() {
    const auto value = [](const char* name) {
        const char* text = std::getenv(name);
        return std::string_view(text ? text : "");
    };
    return {value("VREL_MACHINE"), value("XDG_DATA_HOME"), value("HOME")};
}

fs::path NamedMachineFolder(const Naming& naming) {
    const auto [machine, xdg, home] = naming;
    if (!machine.empty()) return fs::path(machine);
    const fs::path data =
        !xdg.empty() ? fs::path(xdg) : fs::path(home.empty() ? "/tmp" : home) / ".local" / "share";
    return data / "vrel-pop3" / "machine";
}

struct MachineFolders {
    fs::path machine;
    fs::path driveC;
};

// The machine's folders, built once per thread while the variables name the same folder: a
// path is resolved on drive C: for nearly every file call. Tests name a machine of their own,
// so the variables are read at every call.
const MachineFolders& CurrentFolders() {
    KeepCreatedFilesPrivate();
    thread_local std::array<std::string, 3> kept;
    thread_local std::optional<MachineFolders> folders;
    const Naming naming = CurrentNaming();
    if (!folders || !std::equal(naming.begin(), naming.end(), kept.begin())) {
        fs::path machine = NamedMachineFolder(naming);
        folders = MachineFolders{machine, machine / "drive_c"};
        std::copy(naming.begin(), naming.end(), kept.begin());
    }
    return *folders;
}

}  // namespace

void RegisterMachineSetup(MachineSetup setup) {
    registeredSetup = setup;
}

fs::path MachineFolder() {
    return CurrentFolders().machine;
}

fs::path MachineDbPath() {
    return MachineFolder() / "machine.db";
}
fs::path DriveCFolder() {
    return CurrentFolders().driveC;
}
fs::path RunFolder() {
    return MachineFolder() / "run";
}

DefaultPorts DefaultServicePorts() {
    return ::geteuid() == 0 ? DefaultPorts{25, 110} : DefaultPorts{2525, 1110};
}

bool InitMachine() {
    fs::create_directories(RunFolder());
    // A machine made before its files were kept private is closed up here too.
    fs::permissions(MachineFolder(), fs::perms::owner_all);
    InitLock lock(MachineFolder() / "init.lock");
    Db db(MachineDbPath());
    fs::permissions(MachineDbPath(), fs::perms::owner_read | fs::perms::owner_write);
    const bool created = InitLocked(db);
    Setup().link();
    return created;
}

Db OpenMachineDb() {
    const fs::path path = MachineDbPath();
    if (fs::exists(path)) {
        Db db = Db::Pooled(path);
        if (db.Reused() || IsInitialised(db)) return db;
    }
    InitMachine();
    return Db::Pooled(path);
}

}  // namespace win
