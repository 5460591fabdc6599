// Internal: the 8.3 aliases of the entries of one folder. Used by the path resolver (to find an
// entry by its alias) and by GetShortPathName. Names are 8-bit; the host is not consulted.
//
// An alias never depends on the order of the folder's listing: a long name gets the first six
// legal characters of its base upper-cased + "~1" + "." + the first three of its extension;
// when another entry of the folder has that same alias (or that same 8.3 name), it gets the
// first two legal characters + four hex digits of a hash of the long name + "~1" instead. A
// name that is a valid 8.3 name already is its own short name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace win::detail {

// FNV-1a of a name's bytes: the hash of the alias form, also the key of folder locks.
std::uint32_t NameHash(std::string_view name);

class ShortNames {
  public:
    // The 8-bit names of every entry of the folder.
    explicit ShortNames(const std::vector<std::string>& names);

    // The short name of one of those entries.
    std::string Of(std::string_view name) const;

  private:
    std::unordered_map<std::string, int> candidates_;  // upper-cased alias -> entries using it
};

}  // namespace win::detail
