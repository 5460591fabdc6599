// COM library basics: per-thread initialisation, in-process classes, ProgIDs and the
// thread's error information. Class registrations are read afresh from HKCR at each
// creation, so registering or unregistering takes effect at once in every program.
#include <map>
#include <mutex>
#include <utility>

#include "com/com_channel.h"
#include "platform/com.h"
#include "platform/registry.h"

namespace win {
namespace {

thread_local int initCount = 0;
thread_local std::optional<ErrorInfo> threadErrorInfo;

// Whether a known class can be created still depends on its HKCR registration.
struct InprocClasses {
    std::mutex mutex;
    std::map<CLSID, InprocFactory> factories;
};

InprocClasses& TheInprocClasses() {
    static InprocClasses classes;
    return classes;
}

InprocFactory FindInprocFactory(const CLSID& clsid) {
    InprocClasses& classes = TheInprocClasses();
    std::lock_guard lock(classes.mutex);
    const auto found = classes.factories.find(clsid);
    return found == classes.factories.end() ? InprocFactory() : found->second;
}

// The key's default value as text; a value of another type counts as empty, so a damaged
// registration fails the activation instead of raising through it.
std::string DefaultText(TRegistry& registry) {
    const std::optional<RegType> type = registry.GetDataType("");
    return type == REG_SZ || type == REG_EXPAND_SZ ? registry.ReadString("") : std::string();
}

}  // namespace

HRESULT CoInitialize() {
    return initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (initCount > 0) --initCount;
}

namespace com {

bool ComInitialized() {
    return initCount > 0;
}

std::optional<std::string> ReadClassServer(const CLSID& clsid, std::string_view serverKey) {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    const std::string key = "\\CLSID\\" + StringFromGUID2(clsid) + "\\" + std::string(serverKey);
    if (!registry.OpenKeyReadOnly(key)) return std::nullopt;
    return DefaultText(registry);
}

}  // namespace com

void RegisterInprocClass(const CLSID& clsid, InprocFactory factory) {
    InprocClasses& classes = TheInprocClasses();
    std::lock_guard lock(classes.mutex);
    classes.factories[clsid] = std::move(factory);
}

HRESULT CoCreateInprocObject(const CLSID& clsid, DWORD clsContext,
                             std::shared_ptr<IUnknown>& object) {
    object.reset();
    if (!com::ComInitialized()) return CO_E_NOTINITIALIZED;
    if (!(clsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    if (!com::ReadClassServer(clsid, "InprocServer32")) return REGDB_E_CLASSNOTREG;
    const InprocFactory factory = FindInprocFactory(clsid);
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    object = factory();
    return object ? S_OK : E_OUTOFMEMORY;
}

HRESULT CLSIDFromProgID(std::string_view progId, CLSID& clsid) {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    if (progId.empty() || !registry.OpenKeyReadOnly("\\" + std::string(progId) + "\\CLSID")) {
        return CO_E_CLASSSTRING;
    }
    return CLSIDFromString(DefaultText(registry), clsid);
}

void SetErrorInfo(std::optional<ErrorInfo> info) {
    threadErrorInfo = std::move(info);
}

HRESULT GetErrorInfo(std::optional<ErrorInfo>& info) {
    info = std::exchange(threadErrorInfo, std::nullopt);
    return info ? S_OK : S_FALSE;
}

}  // namespace win
