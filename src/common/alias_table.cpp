#include "common/alias_table.h"

#include <memory>
#include <unordered_set>
#include <utility>

#include "common/com_scope.h"
#include "platform/metabase.h"
#include "platform/text.h"

namespace vrel {
namespace {

constexpr const char* kPop3ServicePath = "IIS://localhost/Pop3Svc";
constexpr const char* kAliasContainerPath = "IIS://localhost/Pop3Svc/1/Alias";
constexpr const char* kAliasClass = "IIsPop3VirtualDir";
constexpr const char* kTargetProperty = "Path";

}  // namespace

std::vector<std::string> GetAliasList() {
    const ComScope com;
    std::vector<std::string> lines;
    std::shared_ptr<win::IIsObject> container;
    if (win::FAILED(win::ADsGetObject(kAliasContainerPath, container))) return lines;
    std::unique_ptr<win::IIsEnum> children;
    if (win::FAILED(container->get__NewEnum(children))) return lines;
    std::shared_ptr<win::IIsObject> child;
    while (children->Next(child) == win::S_OK) {
        win::VARIANT target;
        if (win::FAILED(child->Get(kTargetProperty, target))) continue;
        // A target stored as bytes has no text form and makes no line.
        if (const auto text = win::VariantToText(target))
            lines.push_back(child->Name() + "=" + *text);
    }
    return lines;
}

std::string_view AliasName(std::string_view line) {
    return line.substr(0, line.find('='));
}

std::string_view AliasTarget(std::string_view line) {
    const std::size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
}

AliasResolver::AliasResolver(std::vector<std::string> table) : table_(std::move(table)) {
    targets_.reserve(table_.size());
    for (const std::string& line : table_) {
        targets_.emplace(win::AnsiUpperCase(AliasName(line)), AliasTarget(line));
    }
}

const std::string_view* AliasResolver::Find(std::string_view name) const {
    const auto found = targets_.find(win::AnsiUpperCase(name));
    return found == targets_.end() ? nullptr : &found->second;
}

std::string AliasResolver::Resolve(std::string_view name) const {
    const std::string_view* target = Find(name);
    if (target == nullptr || target->empty()) return std::string(name);
    std::unordered_set<std::string> chain{win::AnsiUpperCase(name)};
    std::string_view last = *target;
    chain.insert(win::AnsiUpperCase(last));
    while ((target = Find(last)) != nullptr) {
        last = *target;
        if (!chain.insert(win::AnsiUpperCase(last)).second) break;
    }
    return std::string(last);
}

std::string ResolveAlias(std::string_view name) {
    return AliasResolver(GetAliasList()).Resolve(name);
}

bool Pop3MetabaseExists() {
    const ComScope com;
    std::shared_ptr<win::IIsObject> service;
    return win::SUCCEEDED(win::ADsGetObject(kPop3ServicePath, service));
}

void CreatePop3Metabase() {
    const ComScope com;
    std::shared_ptr<win::IIsObject> root, service, server, aliases;
    if (win::FAILED(win::ADsGetObject("IIS://localhost", root))) return;
    if (win::FAILED(root->Create("IIsPOP3Service", "Pop3Svc", service))) return;
    if (win::FAILED(service->Create("IIsPOP3Server", "1", server))) return;
    server->Put("ServerComment", win::VARIANT("Vrel POP3 Service"));
    server->SetInfo();
    if (win::FAILED(server->Create(kAliasClass, "Alias", aliases))) return;
    aliases->SetInfo();
}

bool WriteAlias(std::string_view alias, std::string_view target) {
    std::shared_ptr<win::IIsObject> container, node;
    if (win::FAILED(win::ADsGetObject(kAliasContainerPath, container))) return false;
    if (win::FAILED(container->Create(kAliasClass, alias, node))) return false;
    node->Put(kTargetProperty, win::VARIANT(std::string(target)));
    node->SetInfo();
    return true;
}

bool RemoveAlias(std::string_view alias) {
    std::shared_ptr<win::IIsObject> container;
    if (win::FAILED(win::ADsGetObject(kAliasContainerPath, container))) return false;
    return win::SUCCEEDED(container->Delete(kAliasClass, alias));
}

}  // namespace vrel
