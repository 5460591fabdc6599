// The alias grid's columns and header captions, the page's per-row status record and the
// texts that explain a status. The record is the object of column 0 of each data row of the
// alias grid: made unchecked whenever a row is filled, set by the check, moved with its row by
// a sort, released with its row.
#pragma once

#include <cstdint>
#include <string>

#include "settings/string_grid.h"

namespace vrel {

// The data columns of the alias grid; column 0 shows the status picture.
inline constexpr int kAliasCol = 1;
inline constexpr int kUserCol = 2;

// Writes the header row's captions; the column sorted by (0 for none) gets the arrow of its
// direction.
void SetAliasHeader(TStringGrid& grid, int sortedCol = 0, bool ascending = false);

inline constexpr std::uint8_t AliasUnchecked = 0;
inline constexpr std::uint8_t AliasNotMailUser = 1;
inline constexpr std::uint8_t AliasCircular = 2;
inline constexpr std::uint8_t AliasOk = 3;

struct AliasRec : TObject {
    std::uint8_t status = AliasUnchecked;
    std::string chainText;
};

// The record of a grid row, or none (the header and the empty last row).
AliasRec* AliasRecOf(const TStringGrid& grid, int row);

// The "Error Message" text for a record; empty for a status outside the four. Group and
// authority name where a user that is not a mail user would need an account.
std::string AliasStatusMessage(const AliasRec& rec, const std::string& group,
                               const std::string& authority);

}  // namespace vrel
