// The machine: a Windows host in miniature kept in one folder.
//
//   $VREL_MACHINE (default ${XDG_DATA_HOME:-$HOME/.local/share}/vrel-pop3/machine)
//     machine.db   registry, metabase, accounts, services, ... (SQLite, WAL)
//     drive_c/     drive C:
//     run/         sockets, lock files and logs of running services and COM servers
//
// The machine is initialised with its defaults on first use by any program; InitMachine
// does the same explicitly and is idempotent.
#pragma once

#include <filesystem>
#include <string>

#include "store/db.h"

namespace win {

std::filesystem::path MachineFolder();
std::filesystem::path MachineDbPath();
std::filesystem::path DriveCFolder();
std::filesystem::path RunFolder();

// Ports written into the services file of a new machine.
struct DefaultPorts {
    int smtp;
    int pop3;
};
DefaultPorts DefaultServicePorts();

// Creates the machine with its defaults unless it exists; true when it was created now.
// Either way it (re)links the stand-in programs into drive C: as symbolic links
// (C:\WINDOWS\system32\sysocmgr.exe, C:\WINDOWS\system32\inetsrv\smtpsvc.exe) to the
// programs beside the running one, or else to those of the build's program folder.
bool InitMachine();

// What a new machine holds, from every area of the platform: create writes the tables and
// defaults inside the initialising transaction; link (re)links the stand-in programs into
// drive C: at every initialisation. The machine library (platform_machine) registers it
// when a program starts, so the store itself depends on no area.
struct MachineSetup {
    void (*create)(Db& db) = nullptr;
    void (*link)() = nullptr;
};
void RegisterMachineSetup(MachineSetup setup);

// A connection to the machine's store, initialising the machine first when needed.
Db OpenMachineDb();

}  // namespace win
