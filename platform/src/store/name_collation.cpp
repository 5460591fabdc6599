// NOCASE1252 and the one-time rebuild of a store declared with NOCASE (see name_collation.h).
#include "store/name_collation.h"

#include <sqlite3.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/letter_case.h"

namespace win {
namespace {

constexpr std::string_view kOldCollation = "COLLATE NOCASE";

int CompareNames(void*, int aSize, const void* a, int bSize, const void* b) {
    return detail::CompareFolded(std::string_view(static_cast<const char*>(a), aSize),
                                 std::string_view(static_cast<const char*>(b), bSize));
}

std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) c = static_cast<char>(detail::FoldedLetter(c));
    return folded;
}

bool IsWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The statement with every "COLLATE NOCASE" made "COLLATE NOCASE1252"; unchanged when it has
// none.
std::string WithNameCollation(std::string sql) {
    for (std::size_t at = sql.find(kOldCollation); at != std::string::npos;
         at = sql.find(kOldCollation, at + 1)) {
        const std::size_t end = at + kOldCollation.size();
        if (end < sql.size() && IsWordCharacter(sql[end])) continue;
        sql.replace(at, kOldCollation.size(), std::string("COLLATE ") + kNameCollation);
    }
    return sql;
}

struct Table {
    std::string name;
    std::string sql;
};

std::vector<Table> TablesWithOldCollation(Db& db) {
    std::vector<Table> tables;
    auto select = db.Prepare("SELECT name, sql FROM sqlite_schema WHERE type = 'table'");
    while (select.Step()) {
        std::string sql = select.Text(1);
        if (WithNameCollation(sql) != sql) tables.push_back({select.Text(0), std::move(sql)});
    }
    return tables;
}

std::string Quoted(std::string_view identifier) {
    std::string quoted = "\"";
    for (const char c : identifier) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// A unique key of the rebuilt table that holds a name column: its scope columns and the name.
struct NameKey {
    std::vector<std::string> scope;
    std::string name;
};

std::vector<NameKey> NameKeys(Db& db, const std::string& table) {
    std::vector<NameKey> keys;
    auto indexes = db.Prepare("SELECT name FROM pragma_index_list(?1) WHERE \"unique\"");
    indexes.Bind(1, table);
    while (indexes.Step()) {
        NameKey key;
        auto columns =
            db.Prepare("SELECT name, coll FROM pragma_index_xinfo(?1) WHERE key ORDER BY seqno");
        columns.Bind(1, indexes.Text(0));
        while (columns.Step()) {
            if (columns.Text(1) == kNameCollation) {
                key.name = columns.Text(0);
            } else {
                key.scope.push_back(columns.Text(0));
            }
        }
        if (!key.name.empty()) keys.push_back(std::move(key));
    }
    return keys;
}

struct NamedRow {
    std::vector<std::string> scope;
    std::string name;
};

std::string ColumnList(const std::vector<std::string>& columns) {
    std::string list;
    for (const std::string& column : columns) list += Quoted(column) + ", ";
    return list;
}

// The key's rows, the older first where the table has row ids, else in the order of bytes.
std::vector<NamedRow> ReadNames(Db& db, const Table& table, const NameKey& key) {
    const std::string columns = ColumnList(key.scope) + Quoted(key.name);
    const bool rowids = table.sql.find("WITHOUT ROWID") == std::string::npos;
    auto select = db.Prepare("SELECT " + columns + " FROM " + Quoted(table.name) + " ORDER BY " +
                             (rowids ? "rowid" : columns + " COLLATE BINARY"));
    std::vector<NamedRow> rows;
    const int scopes = static_cast<int>(key.scope.size());
    while (select.Step()) {
        NamedRow row;
        for (int i = 0; i < scopes; ++i) row.scope.push_back(select.Text(i));
        row.name = select.Text(scopes);
        rows.push_back(std::move(row));
    }
    return rows;
}

// The name with the first number from 2 up that no name of its scope has, in any case.
std::string FreeName(const std::string& name, std::set<std::string>& taken) {
    int number = 2;
    std::string free = name + "~2";
    while (taken.count(Folded(free))) free = name + "~" + std::to_string(++number);
    taken.insert(Folded(free));
    return free;
}

void Rename(Db& db, const Table& table, const NameKey& key, const NamedRow& row,
            const std::string& renamed) {
    std::string where = Quoted(key.name) + " = ?1";
    for (std::size_t i = 0; i < key.scope.size(); ++i) {
        where += " AND " + Quoted(key.scope[i]) + " = ?" + std::to_string(i + 3);
    }
    auto update = db.Prepare("UPDATE " + Quoted(table.name) + " SET " + Quoted(key.name) +
                             " = ?2 WHERE " + where);
    update.Bind(1, row.name).Bind(2, renamed);
    for (std::size_t i = 0; i < row.scope.size(); ++i) {
        update.Bind(static_cast<int>(i + 3), row.scope[i]);
    }
    update.Step();
}

// Gives every name that the rule makes equal to an earlier one of its scope a free name.
void RenameCollidingNames(Db& db, const Table& table, const NameKey& key) {
    const std::vector<NamedRow> rows = ReadNames(db, table, key);
    std::map<std::vector<std::string>, std::set<std::string>> taken, kept;
    for (const NamedRow& row : rows) taken[row.scope].insert(Folded(row.name));
    for (const NamedRow& row : rows) {
        if (kept[row.scope].insert(Folded(row.name)).second) continue;
        Rename(db, table, key, row, FreeName(row.name, taken[row.scope]));
    }
}

// The table made again under the new collation (SQLite cannot change a column's collation in
// place): a copy with the new declaration, the rows, the old table dropped, the copy renamed,
// its indexes made again.
void Rebuild(Db& db, const Table& table) {
    std::vector<std::string> indexes;
    auto select = db.Prepare(
        "SELECT sql FROM sqlite_schema WHERE type = 'index' AND tbl_name = ?1 AND sql IS NOT NULL");
    select.Bind(1, table.name);
    while (select.Step()) indexes.push_back(WithNameCollation(select.Text(0)));

    const std::string copy = table.name + "_rebuilt";
    std::string sql = WithNameCollation(table.sql);
    const std::size_t at = sql.find(table.name);
    sql.replace(at, table.name.size(), Quoted(copy));
    db.Exec(sql);
    for (const NameKey& key : NameKeys(db, copy)) RenameCollidingNames(db, table, key);
    db.Exec("INSERT INTO " + Quoted(copy) + " SELECT * FROM " + Quoted(table.name));
    db.Exec("DROP TABLE " + Quoted(table.name));
    db.Exec("ALTER TABLE " + Quoted(copy) + " RENAME TO " + Quoted(table.name));
    for (const std::string& index : indexes) db.Exec(index);
}

}  // namespace

int RegisterNameCollation(sqlite3* db) {
    return sqlite3_create_collation_v2(db, kNameCollation, SQLITE_UTF8, nullptr, CompareNames,
                                       nullptr);
}

void UseNameCollation(Db& db) {
    for (const Table& table : TablesWithOldCollation(db)) Rebuild(db, table);
}

}  // namespace win
