// winhost reg: reg.exe's add, query and delete on the machine's registry.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "commands.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "values.h"

namespace winhost {
namespace {

struct RootName {
    std::string_view shortName;
    std::string_view longName;
    win::HKEY key;
};

constexpr RootName kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", win::HKEY_LOCAL_MACHINE},
    {"HKCU", "HKEY_CURRENT_USER", win::HKEY_CURRENT_USER},
    {"HKCR", "HKEY_CLASSES_ROOT", win::HKEY_CLASSES_ROOT},
};

struct TypeName {
    std::string_view name;
    win::RegType type;
};

constexpr TypeName kTypes[] = {
    {"REG_SZ", win::REG_SZ},
    {"REG_EXPAND_SZ", win::REG_EXPAND_SZ},
    {"REG_DWORD", win::REG_DWORD},
    {"REG_BINARY", win::REG_BINARY},
    {"REG_MULTI_SZ", win::REG_MULTI_SZ},
    {"REG_NONE", win::REG_NONE},
};

constexpr char kDone[] = "The operation completed successfully.\n";
constexpr char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.\n";

struct RegKey {
    const RootName* root;
    std::string path;  // below the root, without leading or trailing "\"

    std::string Display() const {
        return std::string(root->longName) + (path.empty() ? "" : "\\" + path);
    }
    std::string Absolute() const { return "\\" + path; }
};

// What follows KEY: /v NAME or /ve, /va, /t TYPE, /d DATA, /f.
struct RegOptions {
    std::optional<std::string> value;
    bool allValues = false;
    std::optional<win::RegType> type;
    std::optional<std::string> data;
    bool force = false;
};

std::optional<RegKey> ParseKey(std::string_view text) {
    const std::size_t cut = text.find('\\');
    const std::string_view root = text.substr(0, cut);
    for (const RootName& name : kRoots) {
        if (!win::SameText(root, name.shortName) && !win::SameText(root, name.longName)) continue;
        std::string path(cut == std::string_view::npos ? "" : text.substr(cut + 1));
        while (path.ends_with('\\')) path.pop_back();
        return RegKey{&name, path};
    }
    return std::nullopt;
}

std::optional<win::RegType> ParseType(std::string_view text) {
    for (const TypeName& name : kTypes) {
        if (win::SameText(text, name.name)) return name.type;
    }
    return std::nullopt;
}

std::string_view TypeText(win::RegType type) {
    for (const TypeName& name : kTypes) {
        if (name.type == type) return name.name;
    }
    return "REG_NONE";
}

bool ParseOptions(const Args& args, RegOptions& options) {
    for (std::size_t at = 2; at < args.size(); ++at) {
        const std::string& arg = args[at];
        if (IsSwitch(arg, "v")) {
            options.value = SwitchArgument(args, at);
            if (!options.value) return false;
        } else if (IsSwitch(arg, "ve")) {
            options.value = std::string();
        } else if (IsSwitch(arg, "va")) {
            options.allValues = true;
        } else if (IsSwitch(arg, "t")) {
            const std::optional<std::string> type = SwitchArgument(args, at);
            options.type = type ? ParseType(*type) : std::nullopt;
            if (!options.type) return false;
        } else if (IsSwitch(arg, "d")) {
            options.data = SwitchArgument(args, at);
            if (!options.data) return false;
        } else if (IsSwitch(arg, "f")) {
            options.force = true;
        } else {
            return false;
        }
    }
    return true;
}

int SyntaxError(const char* operation) {
    std::fprintf(stderr, "ERROR: Invalid syntax.\nType \"winhost reg %s\" with KEY and options.\n",
                 operation);
    return 1;
}

// reg.exe asks before it overwrites or deletes unless /f is given.
bool Confirm(const std::string& question) {
    std::printf("%s (Yes/No)? ", question.c_str());
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        answer.clear();
        std::printf("\n");
    }
    answer = win::Trim(answer);
    return win::SameText(answer, "y") || win::SameText(answer, "yes");
}

int Cancelled() {
    std::printf("The operation was canceled by the user.\n");
    return 1;
}

std::optional<win::RegValue> MakeValue(win::RegType type, const std::string& data) {
    switch (type) {
        case win::REG_DWORD: {
            const std::optional<std::uint32_t> number = ParseDword(data.empty() ? "0" : data);
            if (!number) return std::nullopt;
            std::vector<std::uint8_t> bytes(sizeof *number);
            std::memcpy(bytes.data(), &*number, sizeof *number);
            return win::RegValue{type, bytes};
        }
        case win::REG_BINARY: {
            std::optional<std::vector<std::uint8_t>> bytes = ParseHexBytes(data);
            if (!bytes) return std::nullopt;
            return win::RegValue{type, std::move(*bytes)};
        }
        case win::REG_SZ:
        case win::REG_EXPAND_SZ:
            return win::RegValue{type, std::vector<std::uint8_t>(data.begin(), data.end())};
        default:
            return std::nullopt;
    }
}

std::string DataText(const win::RegValue& value) {
    switch (value.type) {
        case win::REG_DWORD:
            if (value.data.size() == sizeof(std::uint32_t)) {
                std::uint32_t number = 0;
                std::memcpy(&number, value.data.data(), sizeof number);
                char text[16];
                std::snprintf(text, sizeof text, "0x%x", number);
                return text;
            }
            return HexText(value.data);
        case win::REG_SZ:
        case win::REG_EXPAND_SZ:
            return std::string(value.data.begin(), value.data.end());
        default:
            return HexText(value.data);
    }
}

void PrintValue(const std::string& name, const win::RegValue& value) {
    std::printf("    %s    %.*s    %s\n", name.empty() ? "(Default)" : name.c_str(),
                int(TypeText(value.type).size()), TypeText(value.type).data(),
                DataText(value).c_str());
}

void Open(win::TRegistry& registry, const RegKey& key) {
    registry.RootKey = key.root->key;
}

int Add(const RegKey& key, const RegOptions& options) {
    win::TRegistry registry;
    Open(registry, key);
    registry.OpenKey(key.Absolute(), true);
    if (options.value) {
        const std::optional<win::RegValue> value =
            MakeValue(options.type.value_or(win::REG_SZ), options.data.value_or(""));
        if (!value) {
            std::fprintf(stderr, "ERROR: Invalid value for the data type %s.\n",
                         TypeText(options.type.value_or(win::REG_SZ)).data());
            return 1;
        }
        if (!options.force && registry.ValueExists(*options.value) &&
            !Confirm("Value " + *options.value + " exists, overwrite")) {
            return Cancelled();
        }
        registry.PutValue(*options.value, *value);
    }
    std::printf(kDone);
    return 0;
}

int Query(const RegKey& key, const RegOptions& options) {
    win::TRegistry registry;
    Open(registry, key);
    if (!registry.OpenKey(key.Absolute(), false)) {
        std::fprintf(stderr, kNotFound);
        return 1;
    }
    if (options.value) {
        const std::optional<win::RegValue> value = registry.GetValue(*options.value);
        if (!value) {
            std::fprintf(stderr, kNotFound);
            return 1;
        }
        std::printf("\n%s\n", key.Display().c_str());
        PrintValue(*options.value, *value);
        return 0;
    }
    std::printf("\n%s\n", key.Display().c_str());
    for (const std::string& name : registry.GetValueNames())
        PrintValue(name, *registry.GetValue(name));
    const std::vector<std::string> subkeys = registry.GetKeyNames();
    if (!subkeys.empty()) std::printf("\n");
    for (const std::string& name : subkeys)
        std::printf("%s\\%s\n", key.Display().c_str(), name.c_str());
    return 0;
}

int Delete(const RegKey& key, const RegOptions& options) {
    win::TRegistry registry;
    Open(registry, key);
    if (key.path.empty() || !registry.OpenKey(key.Absolute(), false)) {
        std::fprintf(stderr, kNotFound);
        return 1;
    }
    if (options.value && !registry.ValueExists(*options.value)) {
        std::fprintf(stderr, kNotFound);
        return 1;
    }
    const std::string question = options.value ? "Delete the registry value " + *options.value
                                 : options.allValues
                                     ? "Delete all values under the registry key " + key.Display()
                                     : "Permanently delete the registry key " + key.Display();
    if (!options.force && !Confirm(question)) return Cancelled();
    if (options.value) {
        registry.DeleteValue(*options.value);
    } else if (options.allValues) {
        for (const std::string& name : registry.GetValueNames()) registry.DeleteValue(name);
    } else {
        registry.CloseKey();
        registry.DeleteKey(key.Absolute());
    }
    std::printf(kDone);
    return 0;
}

}  // namespace

int Reg(const Args& args) {
    if (args.size() < 2) return SyntaxError("add|query|delete");
    const std::string& operation = args[0];
    const std::optional<RegKey> key = ParseKey(args[1]);
    RegOptions options;
    if (!key || !ParseOptions(args, options)) return SyntaxError(operation.c_str());
    // Data without a value name goes to the key's default value.
    if (!options.value && (options.type || options.data)) options.value = std::string();
    if (win::SameText(operation, "add") && !options.allValues) return Add(*key, options);
    if (win::SameText(operation, "query") && !options.allValues && !options.type && !options.data) {
        return Query(*key, options);
    }
    if (win::SameText(operation, "delete") && !options.type && !options.data) {
        return Delete(*key, options);
    }
    return SyntaxError(operation.c_str());
}

}  // namespace winhost
