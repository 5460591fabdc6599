// FindFirst/FindNext/FindClose over host folders (see fs.h). The pattern comes from the suite;
// entry names come from the host and are matched as 8-bit long names only.
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "core/letter_case.h"
#include "core/resolver.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace win {
namespace fs = std::filesystem;

namespace detail {
struct Search {
    fs::path folder;
    int excluded;                // attributes that leave an entry out
    std::vector<Entry> entries;  // the names the pattern matches, in their order
    std::size_t next = 0;
};
}  // namespace detail

namespace {

constexpr int kErrorFileNotFound = 2;
constexpr int kErrorPathNotFound = 3;
constexpr int kErrorNoMoreFiles = 18;

bool IsWildcard(char c) {
    return c == '*' || c == '?';
}

// "*" and "?" over the whole name, ignoring case; linear backtracking to the last "*".
bool Matches(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || detail::FoldedLetter(pattern[p]) ==
                                                                   detail::FoldedLetter(name[n]))) {
            ++p, ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Windows lets "x.*" match "x", so "*.*" matches every name.
bool MatchesName(std::string_view pattern, std::string_view name) {
    if (Matches(pattern, name)) return true;
    return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
           name.find('.') == std::string_view::npos &&
           Matches(pattern.substr(0, pattern.size() - 2), name);
}

int AttributesOf(const std::string& ansiName, const struct stat& st) {
    int attr = S_ISDIR(st.st_mode) ? faDirectory : faArchive;
    if (!ansiName.empty() && ansiName[0] == '.') attr |= faHidden;
    if (!(st.st_mode & S_IWUSR)) attr |= faReadOnly;
    return attr;
}

// Fills F with the entry when it passes the attribute mask.
bool Take(const detail::Search& search, const fs::path& host, std::string ansiName, TSearchRec& F) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return false;
    const int attr = AttributesOf(ansiName, st);
    if (attr & search.excluded) return false;
    F.Name = std::move(ansiName);
    F.Attr = attr;
    F.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
    return true;
}

int NextEntry(TSearchRec& F) {
    detail::Search& search = *F.FindHandle;
    while (search.next < search.entries.size()) {
        detail::Entry& entry = search.entries[search.next++];
        if (Take(search, search.folder / entry.host, std::move(entry.ansi), F)) return 0;
    }
    return kErrorNoMoreFiles;
}

// The file system the suite was made for lists a folder in the order of its upper-cased
// names, which puts time-stamped names in time order; the host's order is its own.
std::vector<detail::Entry> MatchingInNameOrder(std::vector<detail::Entry> entries,
                                               std::string_view pattern) {
    std::erase_if(entries,
                  [&](const detail::Entry& entry) { return !MatchesName(pattern, entry.ansi); });
    std::vector<std::pair<std::string, detail::Entry>> keyed;
    keyed.reserve(entries.size());
    for (detail::Entry& entry : entries)
        keyed.emplace_back(AnsiUpperCase(entry.ansi), std::move(entry));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.host < b.second.host;
    });
    entries.clear();
    for (auto& [key, entry] : keyed) entries.push_back(std::move(entry));
    return entries;
}

// A pattern without wildcards names one entry, which the path rules find (aliases included).
int FindNamed(std::string_view path, TSearchRec& F) {
    const std::optional<detail::WindowsPath> parsed = detail::ParseWindowsPath(path);
    if (!parsed || parsed->names.empty()) return kErrorFileNotFound;
    const detail::Resolution resolution = detail::Resolve(*parsed);
    if (!resolution.exists) return kErrorFileNotFound;
    const std::string name = Utf8ToAnsi(resolution.host.filename().string());
    return Take(*F.FindHandle, resolution.host, name, F) ? 0 : kErrorFileNotFound;
}

}  // namespace

int FindFirst(std::string_view pattern, int attr, TSearchRec& F) {
    FindClose(F);
    F.FindHandle = std::make_shared<detail::Search>();
    F.FindHandle->excluded = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
    const std::size_t cut = pattern.find_last_of("\\/");
    const std::string_view name = cut == std::string_view::npos ? pattern : pattern.substr(cut + 1);
    if (std::none_of(name.begin(), name.end(), IsWildcard)) return FindNamed(pattern, F);

    const std::string folder(cut == std::string_view::npos ? "." : pattern.substr(0, cut + 1));
    const std::optional<detail::WindowsPath> parsed = detail::ParseWindowsPath(folder);
    const detail::Resolution resolution =
        parsed ? detail::Resolve(*parsed) : detail::Resolution{{}, false};
    if (!resolution.exists) return kErrorPathNotFound;
    std::optional<std::vector<detail::Entry>> entries = detail::ReadFolder(resolution.host);
    if (!entries) return kErrorPathNotFound;
    F.FindHandle->folder = resolution.host;
    F.FindHandle->entries = MatchingInNameOrder(std::move(*entries), name);
    return NextEntry(F) == 0 ? 0 : kErrorFileNotFound;
}

int FindNext(TSearchRec& F) {
    return F.FindHandle ? NextEntry(F) : kErrorNoMoreFiles;
}

void FindClose(TSearchRec& F) {
    F.FindHandle.reset();
}

}  // namespace win
