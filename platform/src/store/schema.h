// Internal: each area of the machine creates its tables and writes its defaults here.
// Called once, inside the transaction that initialises a new machine.
#pragma once

#include "store/db.h"

namespace win::schema {

void CreateRegistry(Db& db);
void WriteRegistryDefaults(Db& db);
void CreateMetabase(Db& db);
void CreateDriveC();
// Links the stand-in programs into drive C: (system32\sysocmgr.exe,
// system32\inetsrv\smtpsvc.exe); run at every InitMachine, so the links follow the build.
void LinkPrograms();
// The account directory with the default computer's groups and Administrator.
void CreateAccounts(Db& db);
void CreateServices(Db& db);
void CreateEventLog(Db& db);
void CreateSeo(Db& db);

}  // namespace win::schema
