// The alias file of the Aliases page's Import and Export: one "alias,target" line per alias,
// ending in CR LF when written; the handlers are TPopDlg's (alias_import_export.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/string_grid.h"

namespace vrel {

// The lines of a text as the library's string list loads them: a line ends at CR, LF or
// CR LF; a last line without an end counts; the text ends at its first NUL byte.
std::vector<std::string> TextLines(std::string_view text);

// The path with its extension replaced (or added when it has none): "a\b.csv" to "a\b.BAK".
std::string ChangeFileExt(std::string_view path, std::string_view extension);

// The grid's data rows as the alias file holds them, in the grid's order.
std::string AliasFileText(const TStringGrid& grid);

}  // namespace vrel
