// A sorted list of names without duplicates, as the suite's user and group lists are: names
// ordered as the locale sorts them ignoring letter case (win::AnsiCompareText), a name equal
// to one already held (ignoring case, accented letters too) dropped, lookups ignoring case.
//
// Made by the account functions (mail users, the authority's groups) and filled by the
// settings program's pickers. Holds any text; it only compares.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrel {

class SortedStringList {
  public:
    using const_iterator = std::vector<std::string>::const_iterator;

    SortedStringList() = default;
    // Sorts the names at once; of names equal but for case the one met first stays.
    explicit SortedStringList(std::vector<std::string> names);

    // False (and nothing added) when an equal name is held.
    bool Add(std::string name);
    // Position of the name, ignoring case.
    std::optional<std::size_t> Find(std::string_view name) const;
    bool Contains(std::string_view name) const { return Find(name).has_value(); }

    std::size_t size() const { return names_.size(); }
    bool empty() const { return names_.empty(); }
    const std::string& operator[](std::size_t index) const { return names_[index]; }
    const_iterator begin() const { return names_.begin(); }
    const_iterator end() const { return names_.end(); }

  private:
    const_iterator LowerBound(std::string_view name) const;

    std::vector<std::string> names_;
};

}  // namespace vrel
