// The machine's setup: what a new machine holds, gathered from every area, and the
// in-process classes that Windows itself provides. Linked as objects into every program,
// so the registration below runs before main and the first use of the store finds it.
#include "platform/com.h"
#include "platform/seo.h"
#include "store/machine.h"
#include "store/schema.h"

namespace win {
namespace {

void CreateMachine(Db& db) {
    schema::CreateDriveC();
    schema::CreateRegistry(db);
    schema::WriteRegistryDefaults(db);
    schema::CreateAccounts(db);
    schema::CreateMetabase(db);
    schema::CreateServices(db);
    schema::CreateEventLog(db);
    schema::CreateSeo(db);
}

// Whether they can be created still depends on their HKCR registration, as for the
// system's DLLs on disk.
bool RegisterMachine() {
    RegisterMachineSetup({.create = CreateMachine, .link = schema::LinkPrograms});
    RegisterInprocClass(CLSID_CEventManager, CreateEventManager);
    return true;
}

[[maybe_unused]] const bool registered = RegisterMachine();

}  // namespace
}  // namespace win
