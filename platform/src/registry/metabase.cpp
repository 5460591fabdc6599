#include "platform/metabase.h"

#include <algorithm>

#include "core/hresult_guard.h"
#include "platform/text.h"
#include "store/db.h"
#include "store/machine.h"
#include "store/schema.h"

namespace win {
namespace {

constexpr std::int64_t kRootNode = 1;
constexpr std::string_view kProvider = "IIS://";
constexpr std::string_view kHost = "localhost";

// Stored property types, numbered as the metabase numbers them.
enum PropertyType : std::int64_t { kDword = 1, kString = 2, kBinary = 3 };

std::optional<IIsObject::Node> FindChild(Db& db, std::int64_t parent, std::string_view name) {
    auto select = db.Prepare("SELECT id, name, class FROM mb_node WHERE parent = ?1 AND name = ?2");
    select.Bind(1, parent).Bind(2, name);
    if (!select.Step()) return std::nullopt;
    return IIsObject::Node{select.Int(0), select.Text(1), select.Text(2)};
}

bool NodeExists(Db& db, std::int64_t id) {
    return db.Prepare("SELECT 1 FROM mb_node WHERE id = ?1").Bind(1, id).Step();
}

VARIANT ReadProperty(const Statement& row, int typeColumn, int valueColumn) {
    switch (row.Int(typeColumn)) {
        case kDword:
            return VARIANT(static_cast<std::int32_t>(row.Int(valueColumn)));
        case kBinary:
            return VARIANT(row.Blob(valueColumn));
        default:
            return VARIANT(row.Text(valueColumn));
    }
}

void StoreProperty(Db& db, std::int64_t node, std::string_view name, const VARIANT& value) {
    auto upsert = db.Prepare(
        "INSERT INTO mb_property(node, name, type, value) VALUES(?1, ?2, ?3, ?4)"
        " ON CONFLICT(node, name) DO UPDATE SET type = excluded.type, value = excluded.value");
    upsert.Bind(1, node).Bind(2, name);
    if (value.vt() == VT_I4) {
        upsert.Bind(3, std::int64_t{kDword}).Bind(4, std::int64_t{value.lVal()});
    } else if (value.vt() == VT_BSTR) {
        upsert.Bind(3, std::int64_t{kString}).Bind(4, value.bstrVal());
    } else {
        upsert.Bind(3, std::int64_t{kBinary}).Bind(4, std::span<const std::uint8_t>(value.bytes()));
    }
    upsert.Step();
}

// The cached property of that name (ignoring case), or the end of the list.
template <typename Properties>
auto FindProperty(Properties& properties, std::string_view property) {
    return std::find_if(properties.begin(), properties.end(),
                        [&](const auto& entry) { return AnsiSameText(entry.first, property); });
}

bool ValidChildName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos;
}

// The node names of a path after "IIS://localhost"; false when a name is empty.
bool SplitNodePath(std::string_view rest, std::vector<std::string_view>& names) {
    if (rest.ends_with('/')) rest.remove_suffix(1);
    while (!rest.empty()) {
        const std::size_t cut = rest.find('/');
        const std::string_view name = rest.substr(0, cut);
        if (name.empty()) return false;
        names.push_back(name);
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return true;
}

}  // namespace

namespace schema {

void CreateMetabase(Db& db) {
    db.Exec(
        "CREATE TABLE mb_node(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
        " name TEXT NOT NULL COLLATE NOCASE1252, class TEXT NOT NULL, UNIQUE(parent, name));"
        "CREATE INDEX mb_node_children ON mb_node(parent, id);"
        "CREATE TABLE mb_property(node INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE1252,"
        " type INTEGER NOT NULL, value, UNIQUE(node, name));"
        "INSERT INTO mb_node(id, parent, name, class) VALUES (1, 0, 'localhost', 'IIsComputer');");
}

}  // namespace schema

IIsObject::IIsObject(std::shared_ptr<Db> db, Node node, std::string path)
    : db_(std::move(db)), node_(std::move(node)), path_(std::move(path)) {}

IIsObject::~IIsObject() = default;

std::shared_ptr<IIsObject> IIsObject::Child(Node node) {
    std::string path = path_ + "/" + node.name;
    return std::make_shared<IIsObject>(db_, std::move(node), std::move(path));
}

HRESULT IIsObject::Get(std::string_view property, VARIANT& value) {
    if (const auto cached = FindProperty(pending_, property); cached != pending_.end()) {
        value = cached->second;
        return S_OK;
    }
    if (read_) {
        const auto stored = FindProperty(*read_, property);
        if (stored == read_->end()) return E_ADS_PROPERTY_NOT_FOUND;
        value = stored->second;
        return S_OK;
    }
    return Guard([&] {
        auto select =
            db_->Prepare("SELECT type, value FROM mb_property WHERE node = ?1 AND name = ?2");
        select.Bind(1, node_.id).Bind(2, property);
        if (!select.Step()) return E_ADS_PROPERTY_NOT_FOUND;
        value = ReadProperty(select, 0, 1);
        return S_OK;
    });
}

HRESULT IIsObject::Put(std::string_view property, const VARIANT& value) {
    const std::uint16_t vt = value.vt();
    if (vt != VT_I4 && vt != VT_BSTR && vt != (VT_ARRAY | VT_UI1))
        return E_ADS_CANT_CONVERT_DATATYPE;
    if (property.empty()) return E_INVALIDARG;
    if (const auto cached = FindProperty(pending_, property); cached != pending_.end()) {
        cached->second = value;
        return S_OK;
    }
    pending_.emplace_back(std::string(property), value);
    return S_OK;
}

HRESULT IIsObject::SetInfo() {
    return Guard([&] {
        Transaction transaction(*db_);
        if (!NodeExists(*db_, node_.id)) return E_PATH_NOT_FOUND;
        for (const auto& [name, value] : pending_) StoreProperty(*db_, node_.id, name, value);
        transaction.Commit();
        pending_.clear();
        read_.reset();
        return S_OK;
    });
}

std::vector<std::string> IIsObject::PropertyNames() {
    std::vector<std::string> names;
    auto select = db_->Prepare("SELECT name FROM mb_property WHERE node = ?1 ORDER BY rowid");
    select.Bind(1, node_.id);
    while (select.Step()) names.push_back(select.Text(0));
    return names;
}

HRESULT IIsObject::get__NewEnum(std::unique_ptr<IIsEnum>& enumerator) {
    enumerator = std::make_unique<IIsEnum>(shared_from_this());
    return S_OK;
}

HRESULT IIsObject::Create(std::string_view className, std::string_view name,
                          std::shared_ptr<IIsObject>& child) {
    if (className.empty() || !ValidChildName(name)) return E_INVALIDARG;
    return Guard([&] {
        Transaction transaction(*db_);
        if (!NodeExists(*db_, node_.id)) return E_PATH_NOT_FOUND;
        if (FindChild(*db_, node_.id, name)) return E_ALREADY_EXISTS;
        db_->Prepare("INSERT INTO mb_node(parent, name, class) VALUES(?1, ?2, ?3)")
            .Bind(1, node_.id)
            .Bind(2, name)
            .Bind(3, className)
            .Step();
        const std::int64_t id = db_->LastInsertRowid();
        transaction.Commit();
        child = Child(Node{id, std::string(name), std::string(className)});
        return S_OK;
    });
}

HRESULT IIsObject::Delete(std::string_view className, std::string_view name) {
    return Guard([&] {
        Transaction transaction(*db_);
        const std::optional<Node> child = FindChild(*db_, node_.id, name);
        if (!child || !SameText(child->className, className)) return E_PATH_NOT_FOUND;
        const std::string subtree =
            "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
            " SELECT n.id FROM mb_node n JOIN sub ON n.parent = sub.id) ";
        db_->Prepare(subtree + "DELETE FROM mb_property WHERE node IN sub")
            .Bind(1, child->id)
            .Step();
        db_->Prepare(subtree + "DELETE FROM mb_node WHERE id IN sub").Bind(1, child->id).Step();
        transaction.Commit();
        return S_OK;
    });
}

IIsEnum::IIsEnum(std::shared_ptr<IIsObject> container) : container_(std::move(container)) {}

HRESULT IIsEnum::Next(std::shared_ptr<IIsObject>& element) {
    if (!children_) {
        const HRESULT read = Guard([&] {
            children_ = ReadChildren(*container_);
            return S_OK;
        });
        if (FAILED(read)) return read;
    }
    if (next_ == children_->size()) return S_FALSE;
    element = (*children_)[next_++];
    return S_OK;
}

// Each child with its stored properties: one row per property, or one without when it has
// none, the rows of a child together.
std::vector<std::shared_ptr<IIsObject>> IIsEnum::ReadChildren(IIsObject& container) {
    auto select = container.db_->Prepare(
        "SELECT n.id, n.name, n.class, p.name, p.type, p.value FROM mb_node n"
        " LEFT JOIN mb_property p ON p.node = n.id WHERE n.parent = ?1 ORDER BY n.id");
    select.Bind(1, container.node_.id);
    std::vector<std::shared_ptr<IIsObject>> children;
    while (select.Step()) {
        if (children.empty() || children.back()->node_.id != select.Int(0)) {
            children.push_back(
                container.Child(IIsObject::Node{select.Int(0), select.Text(1), select.Text(2)}));
            children.back()->read_.emplace();
        }
        if (!select.IsNull(3)) {
            children.back()->read_->emplace_back(select.Text(3), ReadProperty(select, 4, 5));
        }
    }
    return children;
}

HRESULT ADsGetObject(std::string_view path, std::shared_ptr<IIsObject>& object) {
    if (!path.starts_with(kProvider)) return MK_E_SYNTAX;
    std::string_view rest = path.substr(kProvider.size());
    const std::string_view host = rest.substr(0, rest.find('/'));
    if (host.empty()) return E_ADS_BAD_PATHNAME;
    if (!SameText(host, kHost)) return E_BAD_NETPATH;
    rest.remove_prefix(host.size());
    if (rest.starts_with('/')) rest.remove_prefix(1);
    std::vector<std::string_view> names;
    if (!SplitNodePath(rest, names)) return E_ADS_BAD_PATHNAME;
    return Guard([&] {
        auto db = std::make_shared<Db>(OpenMachineDb());
        IIsObject::Node node{kRootNode, std::string(kHost), "IIsComputer"};
        for (const std::string_view name : names) {
            std::optional<IIsObject::Node> child = FindChild(*db, node.id, name);
            if (!child) return E_PATH_NOT_FOUND;
            node = std::move(*child);
        }
        std::string bound(path);
        if (bound.ends_with('/')) bound.pop_back();
        object = std::make_shared<IIsObject>(std::move(db), std::move(node), std::move(bound));
        return S_OK;
    });
}

}  // namespace win
