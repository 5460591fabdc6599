#include "common/sorted_string_list.h"

#include <algorithm>

#include "platform/text.h"

namespace vrel {
namespace {

bool Before(std::string_view a, std::string_view b) {
    return win::AnsiCompareText(a, b) < 0;
}

}  // namespace

SortedStringList::SortedStringList(std::vector<std::string> names) : names_(std::move(names)) {
    std::stable_sort(names_.begin(), names_.end(), Before);
    const auto duplicates = std::unique(names_.begin(), names_.end(), win::AnsiSameText);
    names_.erase(duplicates, names_.end());
}

bool SortedStringList::Add(std::string name) {
    const const_iterator at = LowerBound(name);
    if (at != names_.end() && win::AnsiSameText(*at, name)) return false;
    names_.insert(at, std::move(name));
    return true;
}

std::optional<std::size_t> SortedStringList::Find(std::string_view name) const {
    const const_iterator at = LowerBound(name);
    if (at == names_.end() || !win::AnsiSameText(*at, name)) return std::nullopt;
    return static_cast<std::size_t>(at - names_.begin());
}

SortedStringList::const_iterator SortedStringList::LowerBound(std::string_view name) const {
    return std::lower_bound(
        names_.begin(), names_.end(), name,
        [](const std::string& held, std::string_view sought) { return Before(held, sought); });
}

}  // namespace vrel
