// winhost mb: reads and writes the metabase through its ADSI provider, as an
// administrator's script would. PATH is relative to IIS://localhost ("smtpsvc/1").
#include <cstdio>
#include <optional>
#include <string>

#include "commands.h"
#include "platform/metabase.h"
#include "platform/text.h"
#include "values.h"

namespace winhost {
namespace {

struct ResultText {
    win::HRESULT result;
    const char* text;
};

constexpr ResultText kResultTexts[] = {
    {win::E_PATH_NOT_FOUND, "the path was not found"},
    {win::E_ADS_PROPERTY_NOT_FOUND, "the property is not set"},
    {win::E_ALREADY_EXISTS, "the node exists already"},
    {win::E_ADS_BAD_PATHNAME, "invalid path"},
    {win::E_INVALIDARG, "invalid name or class"},
    {win::E_ADS_CANT_CONVERT_DATATYPE, "invalid value"},
};

int Failed(win::HRESULT result) {
    const char* text = "the metabase call failed";
    for (const ResultText& known : kResultTexts) {
        if (known.result == result) text = known.text;
    }
    std::fprintf(stderr, "winhost mb: %s (0x%08X)\n", text, static_cast<unsigned>(result));
    return 1;
}

int SyntaxError() {
    std::fputs(
        "usage: winhost mb get PATH PROP | set PATH PROP VALUE [/t STRING|DWORD|BINARY]\n"
        "                  | create PATH CLASS | delete PATH | enum PATH\n",
        stderr);
    return 2;
}

std::string AdsPath(std::string_view path) {
    while (path.starts_with('/')) path.remove_prefix(1);
    return "IIS://localhost" + (path.empty() ? std::string() : "/" + std::string(path));
}

// The parent's path and the last node name of PATH.
std::pair<std::string, std::string> SplitLeaf(std::string path) {
    while (path.ends_with('/')) path.pop_back();
    const std::size_t cut = path.rfind('/');
    if (cut == std::string::npos) return {std::string(), path};
    return {path.substr(0, cut), path.substr(cut + 1)};
}

std::string ValueText(const win::VARIANT& value) {
    if (value.vt() == win::VT_I4) return std::to_string(static_cast<std::uint32_t>(value.lVal()));
    if (value.vt() == win::VT_BSTR) return value.bstrVal();
    if (value.vt() == (win::VT_ARRAY | win::VT_UI1)) return HexText(value.bytes());
    return std::string();
}

// adsutil's form: name, type and value, texts quoted.
void PrintProperty(const std::string& name, const win::VARIANT& value) {
    const char* type = value.vt() == win::VT_I4     ? "INTEGER"
                       : value.vt() == win::VT_BSTR ? "STRING"
                                                    : "BINARY";
    const std::string text =
        value.vt() == win::VT_BSTR ? "\"" + value.bstrVal() + "\"" : ValueText(value);
    std::printf("%-32s: (%s) %s\n", name.c_str(), type, text.c_str());
}

bool MakeValue(std::string_view type, const std::string& text, win::VARIANT& value) {
    if (win::SameText(type, "STRING")) {
        value = win::VARIANT(text);
    } else if (const std::optional<std::uint32_t> number = ParseDword(text);
               win::SameText(type, "DWORD") && number) {
        value = win::VARIANT(static_cast<std::int32_t>(*number));
    } else if (std::optional<std::vector<std::uint8_t>> bytes = ParseHexBytes(text);
               win::SameText(type, "BINARY") && bytes) {
        value = win::VARIANT(std::move(*bytes));
    } else {
        return false;
    }
    return true;
}

int Get(const std::string& path, const std::string& property) {
    std::shared_ptr<win::IIsObject> node;
    if (const win::HRESULT hr = win::ADsGetObject(AdsPath(path), node); hr != win::S_OK)
        return Failed(hr);
    win::VARIANT value;
    if (const win::HRESULT hr = node->Get(property, value); hr != win::S_OK) return Failed(hr);
    std::printf("%s\n", ValueText(value).c_str());
    return 0;
}

int Set(const Args& args) {
    std::string type = "STRING";
    if (args.size() == 6 && IsSwitch(args[4], "t")) {
        type = args[5];
    } else if (args.size() != 4) {
        return SyntaxError();
    }
    win::VARIANT value;
    if (!MakeValue(type, args[3], value)) return Failed(win::E_ADS_CANT_CONVERT_DATATYPE);
    std::shared_ptr<win::IIsObject> node;
    if (const win::HRESULT hr = win::ADsGetObject(AdsPath(args[1]), node); hr != win::S_OK)
        return Failed(hr);
    if (const win::HRESULT hr = node->Put(args[2], value); hr != win::S_OK) return Failed(hr);
    if (const win::HRESULT hr = node->SetInfo(); hr != win::S_OK) return Failed(hr);
    return 0;
}

int Create(const std::string& path, const std::string& className) {
    const auto [parentPath, name] = SplitLeaf(path);
    std::shared_ptr<win::IIsObject> parent;
    std::shared_ptr<win::IIsObject> child;
    if (const win::HRESULT hr = win::ADsGetObject(AdsPath(parentPath), parent); hr != win::S_OK) {
        return Failed(hr);
    }
    if (const win::HRESULT hr = parent->Create(className, name, child); hr != win::S_OK)
        return Failed(hr);
    return 0;
}

int Delete(const std::string& path) {
    const auto [parentPath, name] = SplitLeaf(path);
    if (name.empty()) return Failed(win::E_INVALIDARG);
    std::shared_ptr<win::IIsObject> node;
    std::shared_ptr<win::IIsObject> parent;
    if (const win::HRESULT hr = win::ADsGetObject(AdsPath(path), node); hr != win::S_OK)
        return Failed(hr);
    if (const win::HRESULT hr = win::ADsGetObject(AdsPath(parentPath), parent); hr != win::S_OK) {
        return Failed(hr);
    }
    if (const win::HRESULT hr = parent->Delete(node->Class(), node->Name()); hr != win::S_OK) {
        return Failed(hr);
    }
    return 0;
}

int Enum(const std::string& path) {
    std::shared_ptr<win::IIsObject> node;
    if (const win::HRESULT hr = win::ADsGetObject(AdsPath(path), node); hr != win::S_OK)
        return Failed(hr);
    PrintProperty("KeyType", win::VARIANT(node->Class()));
    for (const std::string& name : node->PropertyNames()) {
        win::VARIANT value;
        if (node->Get(name, value) == win::S_OK) PrintProperty(name, value);
    }
    std::unique_ptr<win::IIsEnum> children;
    if (const win::HRESULT hr = node->get__NewEnum(children); hr != win::S_OK) return Failed(hr);
    const std::string prefix = AdsPath(path).substr(std::string_view("IIS://localhost").size());
    std::shared_ptr<win::IIsObject> child;
    while (children->Next(child) == win::S_OK)
        std::printf("[%s/%s]\n", prefix.c_str(), child->Name().c_str());
    return 0;
}

}  // namespace

int Mb(const Args& args) {
    const std::string operation = args.empty() ? std::string() : args[0];
    if (win::SameText(operation, "get") && args.size() == 3) return Get(args[1], args[2]);
    if (win::SameText(operation, "set")) return Set(args);
    if (win::SameText(operation, "create") && args.size() == 3) return Create(args[1], args[2]);
    if (win::SameText(operation, "delete") && args.size() == 2) return Delete(args[1]);
    if (win::SameText(operation, "enum") && args.size() == 2) return Enum(args[1]);
    return SyntaxError();
}

}  // namespace winhost
