// Internal: the collation of the store's name columns, NOCASE1252: names compare as the
// machine's one rule for letter case has them (core/letter_case.h), so "José" and "JOSÉ" are one
// key wherever Windows takes them for one name. Every connection registers it; a plain
// sqlite3 shell lacks it and cannot use or change those tables' indexes.
#pragma once

#include "store/db.h"

struct sqlite3;

namespace win {

inline constexpr char kNameCollation[] = "NOCASE1252";

// SQLITE_OK, or the error of registering the collation on the connection.
int RegisterNameCollation(sqlite3* db);

// Rebuilds every table of a store made before the collation, whose names were declared
// COLLATE NOCASE (ASCII case only), with NOCASE1252 instead, and its indexes with it. Two
// names of one scope that the rule makes equal ("José" and "JOSÉ" as two accounts) cannot both
// keep their names: the later row (the later by its bytes where a table has no row ids) gets
// "~2", or the next free number, appended.
// Runs inside the caller's transaction.
void UseNameCollation(Db& db);

}  // namespace win
