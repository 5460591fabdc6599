// The registry: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT (a view of
// HKLM\SOFTWARE\Classes), kept in the machine's store.
//
// TRegistry behaves as the component library's registry class does for the calls the
// suite makes: key names and value names compare without case and keep their case; a key
// path with a leading "\" is absolute from the root, otherwise relative to the open key;
// reading a value with the wrong type raises ERegistryException with the library's texts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace win {

// The machine's store, private to the platform.
class Db;

enum class HKEY : std::int64_t {
    HKEY_CLASSES_ROOT = -1,  // resolved to HKLM\SOFTWARE\Classes
    HKEY_CURRENT_USER = 2,
    HKEY_LOCAL_MACHINE = 1,
};
inline constexpr HKEY HKEY_CLASSES_ROOT = HKEY::HKEY_CLASSES_ROOT;
inline constexpr HKEY HKEY_CURRENT_USER = HKEY::HKEY_CURRENT_USER;
inline constexpr HKEY HKEY_LOCAL_MACHINE = HKEY::HKEY_LOCAL_MACHINE;

enum RegType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
};

class ERegistryException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct RegValue {
    RegType type = REG_NONE;
    std::vector<std::uint8_t> data;
};

// For tests: while it lives, every value written in this process (through any TRegistry)
// is recorded in order, with its key path as CurrentPath gives it, its name and its type.
// One at a time; read Writes() once the writing threads are done.
struct RegistryWrite {
    std::string key;
    std::string name;
    RegType type = REG_NONE;
    bool operator==(const RegistryWrite&) const = default;
};

class RegistryWriteRecorder {
  public:
    RegistryWriteRecorder();
    RegistryWriteRecorder(const RegistryWriteRecorder&) = delete;
    RegistryWriteRecorder& operator=(const RegistryWriteRecorder&) = delete;
    ~RegistryWriteRecorder();

    const std::vector<RegistryWrite>& Writes() const { return writes_; }
    // The value names written, in order.
    std::vector<std::string> Names() const;

  private:
    friend class TRegistry;
    std::vector<RegistryWrite> writes_;
};

class TRegistry {
  public:
    TRegistry();
    // Uses a borrowed connection (machine initialisation, batch writers).
    explicit TRegistry(Db& db);
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;
    ~TRegistry();

    HKEY RootKey = HKEY_LOCAL_MACHINE;

    // Opens a key, creating the missing part of its path when canCreate is set.
    bool OpenKey(std::string_view key, bool canCreate);
    bool OpenKeyReadOnly(std::string_view key);
    void CloseKey();
    bool KeyExists(std::string_view key);
    // Deletes the key with every subkey and value.
    bool DeleteKey(std::string_view key);
    const std::string& CurrentPath() const { return currentPath_; }
    bool HasCurrentKey() const { return currentKey_.has_value(); }

    bool ValueExists(std::string_view name);
    bool DeleteValue(std::string_view name);
    std::optional<RegType> GetDataType(std::string_view name);
    std::vector<std::string> GetKeyNames();
    std::vector<std::string> GetValueNames();

    std::int32_t ReadInteger(std::string_view name);
    bool ReadBool(std::string_view name);
    std::string ReadString(std::string_view name);
    TDateTime ReadDateTime(std::string_view name);
    std::vector<std::uint8_t> ReadBinaryData(std::string_view name);

    void WriteInteger(std::string_view name, std::int32_t value);
    void WriteBool(std::string_view name, bool value);
    void WriteString(std::string_view name, std::string_view value);
    void WriteExpandString(std::string_view name, std::string_view value);
    void WriteDateTime(std::string_view name, TDateTime value);
    void WriteBinaryData(std::string_view name, const std::vector<std::uint8_t>& value);

    // Reads an integer value (nullopt when absent; another type raises as ReadInteger does)
    // and writes what update makes of it, as one transaction: concurrent updates of the
    // same value from other programs and threads wait for each other and none is lost.
    void UpdateInteger(std::string_view name,
                       const std::function<std::int32_t(std::optional<std::int32_t>)>& update);

    // Raw access, for the admin tool and other platform areas.
    std::optional<RegValue> GetValue(std::string_view name);
    void PutValue(std::string_view name, const RegValue& value);

  private:
    Db& Store();
    std::optional<std::int64_t> FindKey(std::int64_t from, std::string_view path);
    std::int64_t CreateKey(std::int64_t from, std::string_view path);
    std::int64_t Base(std::string_view path);
    std::string JoinPath(std::string_view path) const;
    RegValue GetData(std::string_view name, std::size_t capacity);
    std::int64_t OpenedKey() const;

    std::unique_ptr<Db> ownDb_;
    Db* db_;
    std::optional<std::int64_t> currentKey_;
    std::string currentPath_;
};

// A DWORD setting of the machine, under HKLM\SYSTEM\CurrentControlSet\Control\VrelMachine;
// nullopt when it is missing or of another type. The Db form reads through that connection,
// so inside its open transaction.
std::optional<std::int32_t> ReadMachineDword(std::string_view name);
std::optional<std::int32_t> ReadMachineDword(Db& db, std::string_view name);

}  // namespace win
