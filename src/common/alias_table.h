// The AliasTable: second mail names for mail users (or for other aliases), kept in the IIS
// metabase as the children of "IIS://localhost/Pop3Svc/1/Alias", one per alias, each named
// after its alias and holding the target in its "Path" property.
//
// Read by the message agent (it resolves the user part of every local recipient) and the
// settings program (grid, browse list, alias check, setup wizard); written only by the
// settings program, which also creates the POP3 branch. Every read goes to the metabase
// again. A missing branch or a failing metabase call is silent: an empty list, so every
// name resolves to itself. Names and targets are stored text and are only compared.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vrel {

// One "name=target" line per alias that has a target, in the metabase's order, unsorted.
std::vector<std::string> GetAliasList();
// The parts of a line, split at its first "=" (a name holding "=" is split there too).
std::string_view AliasName(std::string_view line);
std::string_view AliasTarget(std::string_view line);

// The end of the name's alias chain (letter case as stored), or the name itself when it
// is no alias or its target is empty. A chain that comes back to a name already met stops
// at that name. Lookups ignore case; the first line of a name counts.
std::string ResolveAlias(std::string_view name);

// ResolveAlias over one reading of the table, for a caller that resolves many names in one
// run (the settings program's alias check); the first target of each name, keyed by the name
// in the locale's capitals, so a resolution costs no more than its chain.
class AliasResolver {
  public:
    explicit AliasResolver(std::vector<std::string> table);
    AliasResolver(const AliasResolver&) = delete;
    AliasResolver& operator=(const AliasResolver&) = delete;
    std::string Resolve(std::string_view name) const;

  private:
    const std::string_view* Find(std::string_view name) const;
    std::vector<std::string> table_;
    std::unordered_map<std::string, std::string_view> targets_;
};

// The POP3 branch: "IIS://localhost/Pop3Svc" can be bound.
bool Pop3MetabaseExists();
// Creates the POP3 service, its server "1" and the alias container, each step only when the
// one before it succeeded.
void CreatePop3Metabase();
// The writers rely on the calling thread's COM (the settings program's main thread); the
// readers and the branch functions initialise their own.
// Adds the alias node with its target. True once the node is created (false when the
// container is missing or the alias exists), whether or not storing the target succeeded.
bool WriteAlias(std::string_view alias, std::string_view target);
// Deletes the alias node; false when the container or the alias is missing.
bool RemoveAlias(std::string_view alias);

}  // namespace vrel
