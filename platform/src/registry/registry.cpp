#include "platform/registry.h"

#include <cstring>
#include <mutex>

#include "store/machine.h"
#include "store/schema.h"

namespace win {
namespace {

constexpr std::int64_t kLocalMachine = 1;
constexpr std::int64_t kCurrentUser = 2;
constexpr std::string_view kClassesPath = "SOFTWARE\\Classes";
constexpr std::string_view kMachineSettingsKey =
    "\\SYSTEM\\CurrentControlSet\\Control\\VrelMachine";

std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t cut = path.find('\\');
        const std::string_view part = path.substr(0, cut);
        if (!part.empty()) parts.push_back(part);
        if (cut == std::string_view::npos) break;
        path.remove_prefix(cut + 1);
    }
    return parts;
}

[[noreturn]] void ReadError(std::string_view name) {
    throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
}

[[noreturn]] void GetDataError(std::string_view name) {
    throw ERegistryException("Failed to get data for '" + std::string(name) + "'");
}

std::optional<std::int32_t> MachineDword(TRegistry& registry, std::string_view name) {
    if (!registry.OpenKeyReadOnly(kMachineSettingsKey) || registry.GetDataType(name) != REG_DWORD) {
        return std::nullopt;
    }
    return registry.ReadInteger(name);
}

std::vector<std::uint8_t> Bytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

}  // namespace

namespace schema {

void CreateRegistry(Db& db) {
    db.Exec(
        "CREATE TABLE reg_key(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
        " name TEXT NOT NULL COLLATE NOCASE1252, UNIQUE(parent, name));"
        "CREATE TABLE reg_value(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE1252,"
        " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, name)) WITHOUT ROWID;"
        "INSERT INTO reg_key(id, parent, name) VALUES"
        " (1, 0, 'HKEY_LOCAL_MACHINE'), (2, 0, 'HKEY_CURRENT_USER');");
}

}  // namespace schema

TRegistry::TRegistry() : db_(nullptr) {}

TRegistry::TRegistry(Db& db) : db_(&db) {}

TRegistry::~TRegistry() = default;

Db& TRegistry::Store() {
    if (!db_) {
        ownDb_ = std::make_unique<Db>(OpenMachineDb());
        db_ = ownDb_.get();
    }
    return *db_;
}

std::optional<std::int64_t> TRegistry::FindKey(std::int64_t from, std::string_view path) {
    auto select = Store().Prepare("SELECT id FROM reg_key WHERE parent = ?1 AND name = ?2");
    std::int64_t id = from;
    for (const std::string_view part : SplitPath(path)) {
        select.Reset();
        select.Bind(1, id).Bind(2, part);
        if (!select.Step()) return std::nullopt;
        id = select.Int(0);
    }
    return id;
}

std::int64_t TRegistry::CreateKey(std::int64_t from, std::string_view path) {
    auto insert =
        Store().Prepare("INSERT INTO reg_key(parent, name) VALUES(?1, ?2) ON CONFLICT DO NOTHING");
    auto select = Store().Prepare("SELECT id FROM reg_key WHERE parent = ?1 AND name = ?2");
    std::int64_t id = from;
    for (const std::string_view part : SplitPath(path)) {
        insert.Reset();
        insert.Bind(1, id).Bind(2, part).Step();
        select.Reset();
        select.Bind(1, id).Bind(2, part);
        if (!select.Step()) throw ERegistryException("Failed to create key " + std::string(path));
        id = select.Int(0);
        select.Reset();  // an open read would keep the next insert from taking the write lock
    }
    return id;
}

std::int64_t TRegistry::Base(std::string_view path) {
    if (currentKey_ && !path.starts_with('\\')) return *currentKey_;
    switch (RootKey) {
        case HKEY_CURRENT_USER:
            return kCurrentUser;
        case HKEY_CLASSES_ROOT:
            return CreateKey(kLocalMachine, kClassesPath);
        default:
            return kLocalMachine;
    }
}

std::string TRegistry::JoinPath(std::string_view path) const {
    std::string joined = (currentKey_ && !path.starts_with('\\')) ? currentPath_ : std::string();
    for (const std::string_view part : SplitPath(path)) {
        if (!joined.empty()) joined += '\\';
        joined += part;
    }
    return joined;
}

bool TRegistry::OpenKey(std::string_view key, bool canCreate) {
    const std::int64_t base = Base(key);
    const std::optional<std::int64_t> id = canCreate ? CreateKey(base, key) : FindKey(base, key);
    if (!id) return false;
    currentPath_ = JoinPath(key);
    currentKey_ = id;
    return true;
}

bool TRegistry::OpenKeyReadOnly(std::string_view key) {
    return OpenKey(key, false);
}

void TRegistry::CloseKey() {
    currentKey_.reset();
    currentPath_.clear();
}

bool TRegistry::KeyExists(std::string_view key) {
    return FindKey(Base(key), key).has_value();
}

bool TRegistry::DeleteKey(std::string_view key) {
    const std::optional<std::int64_t> id = FindKey(Base(key), key);
    if (!id || *id == kLocalMachine || *id == kCurrentUser) return false;
    Db& db = Store();
    db.Exec("SAVEPOINT delete_key");
    try {
        const char* subtree =
            "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
            " SELECT k.id FROM reg_key k JOIN sub ON k.parent = sub.id) ";
        db.Prepare(std::string(subtree) + "DELETE FROM reg_value WHERE key IN sub")
            .Bind(1, *id)
            .Step();
        db.Prepare(std::string(subtree) + "DELETE FROM reg_key WHERE id IN sub")
            .Bind(1, *id)
            .Step();
        db.Exec("RELEASE delete_key");
    } catch (...) {
        db.Exec("ROLLBACK TO delete_key; RELEASE delete_key");
        throw;
    }
    if (currentKey_ == id) CloseKey();
    return true;
}

std::int64_t TRegistry::OpenedKey() const {
    if (currentKey_) return *currentKey_;
    return RootKey == HKEY_CURRENT_USER ? kCurrentUser : kLocalMachine;
}

std::optional<RegValue> TRegistry::GetValue(std::string_view name) {
    auto select = Store().Prepare("SELECT type, data FROM reg_value WHERE key = ?1 AND name = ?2");
    select.Bind(1, OpenedKey()).Bind(2, name);
    if (!select.Step()) return std::nullopt;
    return RegValue{static_cast<RegType>(select.Int(0)), select.Blob(1)};
}

namespace {
// Writes come from any thread of the process.
std::mutex recorderMutex;
RegistryWriteRecorder* recorder = nullptr;
}  // namespace

RegistryWriteRecorder::RegistryWriteRecorder() {
    const std::lock_guard lock(recorderMutex);
    if (recorder) throw std::logic_error("RegistryWriteRecorder: one at a time");
    recorder = this;
}

RegistryWriteRecorder::~RegistryWriteRecorder() {
    const std::lock_guard lock(recorderMutex);
    recorder = nullptr;
}

std::vector<std::string> RegistryWriteRecorder::Names() const {
    const std::lock_guard lock(recorderMutex);
    std::vector<std::string> names;
    for (const RegistryWrite& write : writes_) names.push_back(write.name);
    return names;
}

void TRegistry::PutValue(std::string_view name, const RegValue& value) {
    Store()
        .Prepare(
            "INSERT INTO reg_value(key, name, type, data) VALUES(?1, ?2, ?3, ?4)"
            " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data")
        .Bind(1, OpenedKey())
        .Bind(2, name)
        .Bind(3, static_cast<std::int64_t>(value.type))
        .Bind(4, std::span<const std::uint8_t>(value.data))
        .Step();
    const std::lock_guard lock(recorderMutex);
    if (recorder) recorder->writes_.push_back({currentPath_, std::string(name), value.type});
}

bool TRegistry::ValueExists(std::string_view name) {
    return GetValue(name).has_value();
}

bool TRegistry::DeleteValue(std::string_view name) {
    Store()
        .Prepare("DELETE FROM reg_value WHERE key = ?1 AND name = ?2")
        .Bind(1, OpenedKey())
        .Bind(2, name)
        .Step();
    return Store().Changes() > 0;
}

std::optional<RegType> TRegistry::GetDataType(std::string_view name) {
    std::optional<RegValue> value = GetValue(name);
    if (!value) return std::nullopt;
    return value->type;
}

std::vector<std::string> TRegistry::GetKeyNames() {
    auto select = Store().Prepare(
        "SELECT name FROM reg_key WHERE parent = ?1 ORDER BY name COLLATE NOCASE1252");
    select.Bind(1, OpenedKey());
    std::vector<std::string> names;
    while (select.Step()) names.push_back(select.Text(0));
    return names;
}

std::vector<std::string> TRegistry::GetValueNames() {
    auto select = Store().Prepare(
        "SELECT name FROM reg_value WHERE key = ?1 ORDER BY name COLLATE NOCASE1252");
    select.Bind(1, OpenedKey());
    std::vector<std::string> names;
    while (select.Step()) names.push_back(select.Text(0));
    return names;
}

// The library reads into a caller-sized buffer: a value larger than it cannot be read.
RegValue TRegistry::GetData(std::string_view name, std::size_t capacity) {
    std::optional<RegValue> value = GetValue(name);
    if (!value || value->data.size() > capacity) GetDataError(name);
    return *value;
}

std::int32_t TRegistry::ReadInteger(std::string_view name) {
    const RegValue value = GetData(name, sizeof(std::int32_t));
    if (value.type != REG_DWORD) ReadError(name);
    std::int32_t result = 0;
    std::memcpy(&result, value.data.data(), value.data.size());
    return result;
}

bool TRegistry::ReadBool(std::string_view name) {
    return ReadInteger(name) != 0;
}

std::string TRegistry::ReadString(std::string_view name) {
    const std::optional<RegValue> value = GetValue(name);
    if (!value) return std::string();
    if (value->type != REG_SZ && value->type != REG_EXPAND_SZ) ReadError(name);
    std::string text(value->data.begin(), value->data.end());
    text.resize(std::strlen(text.c_str()));  // stops at an embedded terminator, as the API does
    return text;
}

TDateTime TRegistry::ReadDateTime(std::string_view name) {
    const RegValue value = GetData(name, sizeof(TDateTime));
    if (value.type != REG_BINARY || value.data.size() != sizeof(TDateTime)) ReadError(name);
    TDateTime result = 0;
    std::memcpy(&result, value.data.data(), sizeof result);
    return result;
}

std::vector<std::uint8_t> TRegistry::ReadBinaryData(std::string_view name) {
    std::optional<RegValue> value = GetValue(name);
    if (!value) GetDataError(name);
    if (value->type != REG_BINARY) ReadError(name);
    return value->data;
}

void TRegistry::WriteInteger(std::string_view name, std::int32_t value) {
    PutValue(name, RegValue{REG_DWORD, Bytes(&value, sizeof value)});
}

void TRegistry::UpdateInteger(
    std::string_view name, const std::function<std::int32_t(std::optional<std::int32_t>)>& update) {
    Transaction transaction(Store());
    const std::optional<std::int32_t> current =
        ValueExists(name) ? std::optional(ReadInteger(name)) : std::nullopt;
    WriteInteger(name, update(current));
    transaction.Commit();
}

void TRegistry::WriteBool(std::string_view name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
    PutValue(name, RegValue{REG_SZ, Bytes(value.data(), value.size())});
}

void TRegistry::WriteExpandString(std::string_view name, std::string_view value) {
    PutValue(name, RegValue{REG_EXPAND_SZ, Bytes(value.data(), value.size())});
}

void TRegistry::WriteDateTime(std::string_view name, TDateTime value) {
    PutValue(name, RegValue{REG_BINARY, Bytes(&value, sizeof value)});
}

void TRegistry::WriteBinaryData(std::string_view name, const std::vector<std::uint8_t>& value) {
    PutValue(name, RegValue{REG_BINARY, value});
}

std::optional<std::int32_t> ReadMachineDword(std::string_view name) {
    TRegistry registry;
    return MachineDword(registry, name);
}

std::optional<std::int32_t> ReadMachineDword(Db& db, std::string_view name) {
    TRegistry registry(db);
    return MachineDword(registry, name);
}

}  // namespace win
