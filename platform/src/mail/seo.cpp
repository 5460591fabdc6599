// The event manager and its collections over the machine's store (seo.h). Every object
// reads the store at each call, so a change made through one event manager is seen by the
// next call of another, in any program.
#include "platform/seo.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

#include "core/hresult_guard.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "store/db.h"
#include "store/machine.h"
#include "store/schema.h"

namespace win {
namespace {

using DbPtr = std::shared_ptr<Db>;

bool IsGuidText(std::string_view text) {
    CLSID ignored;
    return CLSIDFromString(text, ignored) == S_OK;
}

// The identifier an Item or Remove names: text only.
std::optional<std::string> IdOf(const VARIANT& id) {
    if (id.vt() != VT_BSTR) return std::nullopt;
    return id.bstrVal();
}

class PropertyBag final : public IEventPropertyBag {
  public:
    HRESULT Item(std::string_view name, VARIANT& value) override {
        value = VARIANT();
        const auto found = Find(name);
        if (found == properties_.end()) return S_FALSE;
        value = found->second;
        return S_OK;
    }
    HRESULT Add(std::string_view name, const VARIANT& value) override {
        if (name.empty() || (value.vt() != VT_I4 && value.vt() != VT_BSTR)) return E_INVALIDARG;
        const auto found = Find(name);
        if (found != properties_.end()) {
            found->second = value;
        } else {
            properties_.emplace_back(std::string(name), value);
        }
        return S_OK;
    }

    void Load(Db& db, std::int64_t binding) {
        auto select = db.Prepare(
            "SELECT name, type, value FROM seo_binding_property WHERE binding = ?1 ORDER BY rowid");
        select.Bind(1, binding);
        while (select.Step()) {
            properties_.emplace_back(select.Text(0),
                                     select.Int(1) == VT_I4
                                         ? VARIANT(static_cast<std::int32_t>(select.Int(2)))
                                         : VARIANT(select.Text(2)));
        }
    }
    void Store(Db& db, std::int64_t binding) const {
        db.Prepare("DELETE FROM seo_binding_property WHERE binding = ?1").Bind(1, binding).Step();
        auto insert = db.Prepare(
            "INSERT INTO seo_binding_property(binding, name, type, value) VALUES(?1, ?2, ?3, ?4)");
        for (const auto& [name, value] : properties_) {
            insert.Reset();
            insert.Bind(1, binding).Bind(2, name).Bind(3, std::int64_t{value.vt()});
            if (value.vt() == VT_I4) {
                insert.Bind(4, std::int64_t{value.lVal()});
            } else {
                insert.Bind(4, value.bstrVal());
            }
            insert.Step();
        }
    }

  private:
    using Properties = std::vector<std::pair<std::string, VARIANT>>;
    Properties::iterator Find(std::string_view name) {
        return std::find_if(properties_.begin(), properties_.end(), [&](const auto& property) {
            return AnsiSameText(property.first, name);
        });
    }

    Properties properties_;
};

// Where the bindings of one event type of one source live.
struct BindingScope {
    DbPtr db;
    std::int64_t source;
    std::string eventType;
};

constexpr std::string_view kSelectBinding =
    "SELECT id, guid, sink_class, display_name FROM seo_binding"
    " WHERE source = ?1 AND event_type = ?2";

std::optional<std::int64_t> FindBinding(const BindingScope& scope, std::string_view id) {
    auto select = scope.db->Prepare(std::string(kSelectBinding) + " AND guid = ?3");
    select.Bind(1, scope.source).Bind(2, scope.eventType).Bind(3, id);
    if (!select.Step()) return std::nullopt;
    return select.Int(0);
}

class Binding final : public IEventBinding {
  public:
    // A new binding (row absent) or one read from the store.
    Binding(BindingScope scope, std::string id, std::optional<std::int64_t> row)
        : scope_(std::move(scope)), id_(std::move(id)), row_(row) {}

    static std::shared_ptr<Binding> Read(const BindingScope& scope, const Statement& select) {
        auto binding = std::make_shared<Binding>(scope, select.Text(1), select.Int(0));
        binding->sinkClass_ = select.Text(2);
        binding->displayName_ = select.Text(3);
        binding->properties_->Load(*scope.db, select.Int(0));
        return binding;
    }

    HRESULT get_ID(std::string& id) override {
        id = id_;
        return S_OK;
    }
    HRESULT get_SinkClass(std::string& sinkClass) override {
        sinkClass = sinkClass_;
        return S_OK;
    }
    HRESULT put_SinkClass(std::string_view sinkClass) override {
        sinkClass_ = sinkClass;
        return S_OK;
    }
    HRESULT get_DisplayName(std::string& displayName) override {
        displayName = displayName_;
        return S_OK;
    }
    HRESULT put_DisplayName(std::string_view displayName) override {
        displayName_ = displayName;
        return S_OK;
    }
    HRESULT get_SourceProperties(std::shared_ptr<IEventPropertyBag>& properties) override {
        properties = properties_;
        return S_OK;
    }
    HRESULT Save() override {
        return Guard([&] {
            Db& db = *scope_.db;
            Transaction transaction(db);
            const HRESULT hr = row_ ? Update(db) : Insert(db);
            if (hr != S_OK) return hr;
            properties_->Store(db, *row_);
            transaction.Commit();
            return S_OK;
        });
    }

  private:
    HRESULT Insert(Db& db) {
        if (!db.Prepare("SELECT 1 FROM seo_source WHERE id = ?1").Bind(1, scope_.source).Step()) {
            return SEO_E_NOT_FOUND;
        }
        if (FindBinding(scope_, id_)) return SEO_E_ALREADY_EXISTS;
        db.Prepare(
              "INSERT INTO seo_binding(source, event_type, guid, sink_class, display_name)"
              " VALUES(?1, ?2, ?3, ?4, ?5)")
            .Bind(1, scope_.source)
            .Bind(2, scope_.eventType)
            .Bind(3, id_)
            .Bind(4, sinkClass_)
            .Bind(5, displayName_)
            .Step();
        row_ = db.LastInsertRowid();
        return S_OK;
    }
    HRESULT Update(Db& db) {
        db.Prepare("UPDATE seo_binding SET sink_class = ?2, display_name = ?3 WHERE id = ?1")
            .Bind(1, *row_)
            .Bind(2, sinkClass_)
            .Bind(3, displayName_)
            .Step();
        return db.Changes() == 1 ? S_OK : SEO_E_NOT_FOUND;
    }

    BindingScope scope_;
    std::string id_;
    std::optional<std::int64_t> row_;
    std::string sinkClass_;
    std::string displayName_;
    std::shared_ptr<PropertyBag> properties_ = std::make_shared<PropertyBag>();
};

class BindingEnum final : public seo::IEnumVARIANT {
  public:
    explicit BindingEnum(BindingScope scope) : scope_(std::move(scope)) {}

    HRESULT Next(std::shared_ptr<IUnknown>& element) override {
        element.reset();
        return Guard([&] {
            auto select = scope_.db->Prepare(std::string(kSelectBinding) +
                                             " AND id > ?3 ORDER BY id LIMIT 1");
            select.Bind(1, scope_.source).Bind(2, scope_.eventType).Bind(3, last_);
            if (!select.Step()) return S_FALSE;
            last_ = select.Int(0);
            element = Binding::Read(scope_, select);
            return S_OK;
        });
    }

  private:
    BindingScope scope_;
    std::int64_t last_ = 0;
};

class Bindings final : public IEventBindings {
  public:
    explicit Bindings(BindingScope scope) : scope_(std::move(scope)) {}

    HRESULT get_Count(std::int32_t& count) override {
        return Guard([&] {
            auto select = scope_.db->Prepare(
                "SELECT count(*) FROM seo_binding WHERE source = ?1 AND event_type = ?2");
            select.Bind(1, scope_.source).Bind(2, scope_.eventType).Step();
            count = static_cast<std::int32_t>(select.Int(0));
            return S_OK;
        });
    }
    HRESULT Add(std::string_view id, std::shared_ptr<IEventBinding>& binding) override {
        binding.reset();
        if (!IsGuidText(id)) return E_INVALIDARG;
        return Guard([&] {
            if (FindBinding(scope_, id)) return SEO_E_ALREADY_EXISTS;
            binding = std::make_shared<Binding>(scope_, std::string(id), std::nullopt);
            return S_OK;
        });
    }
    HRESULT Remove(const VARIANT& id) override {
        const std::optional<std::string> text = IdOf(id);
        if (!text) return E_INVALIDARG;
        return Guard([&] {
            const std::optional<std::int64_t> row = FindBinding(scope_, *text);
            if (!row) return SEO_E_NOT_FOUND;
            Db& db = *scope_.db;
            Transaction transaction(db);
            db.Prepare("DELETE FROM seo_binding_property WHERE binding = ?1").Bind(1, *row).Step();
            db.Prepare("DELETE FROM seo_binding WHERE id = ?1").Bind(1, *row).Step();
            transaction.Commit();
            return S_OK;
        });
    }
    HRESULT get__NewEnum(std::shared_ptr<IUnknown>& enumerator) override {
        enumerator = std::make_shared<BindingEnum>(scope_);
        return S_OK;
    }

  private:
    BindingScope scope_;
};

class BindingManager final : public IEventBindingManager {
  public:
    BindingManager(DbPtr db, std::int64_t sourceType, std::int64_t source)
        : db_(std::move(db)), sourceType_(sourceType), source_(source) {}

    HRESULT get_Bindings(std::string_view eventType,
                         std::shared_ptr<IEventBindings>& bindings) override {
        bindings.reset();
        return Guard([&] {
            auto select = db_->Prepare(
                "SELECT guid FROM seo_event_type WHERE source_type = ?1 AND guid = ?2");
            select.Bind(1, sourceType_).Bind(2, eventType);
            if (!select.Step()) return S_FALSE;
            bindings = std::make_shared<Bindings>(BindingScope{db_, source_, select.Text(0)});
            return S_OK;
        });
    }

  private:
    DbPtr db_;
    std::int64_t sourceType_;
    std::int64_t source_;
};

class Source final : public IEventSource {
  public:
    Source(DbPtr db, std::int64_t sourceType, std::int64_t row, std::string id)
        : db_(std::move(db)), sourceType_(sourceType), row_(row), id_(std::move(id)) {}

    HRESULT get_ID(std::string& id) override {
        id = id_;
        return S_OK;
    }
    HRESULT GetBindingManager(std::shared_ptr<IEventBindingManager>& manager) override {
        manager = std::make_shared<BindingManager>(db_, sourceType_, row_);
        return S_OK;
    }

  private:
    DbPtr db_;
    std::int64_t sourceType_;
    std::int64_t row_;
    std::string id_;
};

void DeleteBindingsOf(Db& db, std::string_view sourceCondition, std::int64_t value) {
    const std::string sources = "SELECT id FROM seo_source WHERE " + std::string(sourceCondition);
    db.Prepare(
          "DELETE FROM seo_binding_property WHERE binding IN (SELECT id FROM seo_binding"
          " WHERE source IN (" +
          sources + "))")
        .Bind(1, value)
        .Step();
    db.Prepare("DELETE FROM seo_binding WHERE source IN (" + sources + ")").Bind(1, value).Step();
}

// The sources of a source type and the machine's source types are one kind of collection:
// rows named by a GUID text, with Item, Add and Remove. Rows tells the tables apart.
template <typename Rows>
class GuidCollection final : public Rows::Interface {
  public:
    using Element = typename Rows::Element;

    GuidCollection(DbPtr db, std::int64_t owner) : db_(std::move(db)), owner_(owner) {}

    HRESULT Item(const VARIANT& id, std::shared_ptr<Element>& element) override {
        element.reset();
        const std::optional<std::string> text = IdOf(id);
        if (!text) return E_INVALIDARG;
        return Guard([&] {
            const std::optional<std::int64_t> row = Rows::Find(*db_, owner_, *text);
            if (!row) return S_FALSE;
            element = Rows::Make(db_, owner_, *row, *text);
            return S_OK;
        });
    }
    HRESULT Add(std::string_view id, std::shared_ptr<Element>& element) override {
        element.reset();
        if (!IsGuidText(id)) return E_INVALIDARG;
        return Guard([&] {
            if (Rows::Find(*db_, owner_, id)) return SEO_E_ALREADY_EXISTS;
            Rows::Insert(*db_, owner_, id);
            element = Rows::Make(db_, owner_, db_->LastInsertRowid(), std::string(id));
            return S_OK;
        });
    }
    HRESULT Remove(const VARIANT& id) override {
        const std::optional<std::string> text = IdOf(id);
        if (!text) return E_INVALIDARG;
        return Guard([&] {
            const std::optional<std::int64_t> row = Rows::Find(*db_, owner_, *text);
            if (!row) return SEO_E_NOT_FOUND;
            Transaction transaction(*db_);
            Rows::Delete(*db_, *row);
            transaction.Commit();
            return S_OK;
        });
    }

  private:
    DbPtr db_;
    std::int64_t owner_;
};

std::optional<std::int64_t> FirstId(Statement select) {
    if (!select.Step()) return std::nullopt;
    return select.Int(0);
}

// The sources of one source type (owner: the source type's row).
struct SourceRows {
    using Interface = IEventSources;
    using Element = IEventSource;

    static std::optional<std::int64_t> Find(Db& db, std::int64_t sourceType, std::string_view id) {
        auto select = db.Prepare("SELECT id FROM seo_source WHERE source_type = ?1 AND guid = ?2");
        select.Bind(1, sourceType).Bind(2, id);
        return FirstId(std::move(select));
    }
    static void Insert(Db& db, std::int64_t sourceType, std::string_view id) {
        db.Prepare("INSERT INTO seo_source(source_type, guid) VALUES(?1, ?2)")
            .Bind(1, sourceType)
            .Bind(2, id)
            .Step();
    }
    static void Delete(Db& db, std::int64_t row) {
        DeleteBindingsOf(db, "id = ?1", row);
        db.Prepare("DELETE FROM seo_source WHERE id = ?1").Bind(1, row).Step();
    }
    static std::shared_ptr<Element> Make(const DbPtr& db, std::int64_t sourceType, std::int64_t row,
                                         std::string id) {
        return std::make_shared<Source>(db, sourceType, row, std::move(id));
    }
};
using Sources = GuidCollection<SourceRows>;

class EventTypes final : public IEventTypes {
  public:
    EventTypes(DbPtr db, std::int64_t sourceType) : db_(std::move(db)), sourceType_(sourceType) {}

    HRESULT Add(std::string_view eventType) override {
        if (!IsGuidText(eventType)) return E_INVALIDARG;
        return Guard([&] {
            db_->Prepare("INSERT OR IGNORE INTO seo_event_type(source_type, guid) VALUES(?1, ?2)")
                .Bind(1, sourceType_)
                .Bind(2, eventType)
                .Step();
            return db_->Changes() == 1 ? S_OK : SEO_E_ALREADY_EXISTS;
        });
    }

  private:
    DbPtr db_;
    std::int64_t sourceType_;
};

class SourceType final : public IEventSourceType {
  public:
    SourceType(DbPtr db, std::int64_t row, std::string id)
        : db_(std::move(db)), row_(row), id_(std::move(id)) {}

    HRESULT get_ID(std::string& id) override {
        id = id_;
        return S_OK;
    }
    HRESULT get_EventTypes(std::shared_ptr<IEventTypes>& eventTypes) override {
        eventTypes = std::make_shared<EventTypes>(db_, row_);
        return S_OK;
    }
    HRESULT get_Sources(std::shared_ptr<IEventSources>& sources) override {
        sources = std::make_shared<Sources>(db_, row_);
        return S_OK;
    }

  private:
    DbPtr db_;
    std::int64_t row_;
    std::string id_;
};

// The machine's source types (no owner).
struct SourceTypeRows {
    using Interface = IEventSourceTypes;
    using Element = IEventSourceType;

    static std::optional<std::int64_t> Find(Db& db, std::int64_t, std::string_view id) {
        auto select = db.Prepare("SELECT id FROM seo_source_type WHERE guid = ?1");
        select.Bind(1, id);
        return FirstId(std::move(select));
    }
    static void Insert(Db& db, std::int64_t, std::string_view id) {
        db.Prepare("INSERT INTO seo_source_type(guid) VALUES(?1)").Bind(1, id).Step();
    }
    static void Delete(Db& db, std::int64_t row) {
        DeleteBindingsOf(db, "source_type = ?1", row);
        for (const char* sql : {"DELETE FROM seo_source WHERE source_type = ?1",
                                "DELETE FROM seo_event_type WHERE source_type = ?1",
                                "DELETE FROM seo_source_type WHERE id = ?1"}) {
            db.Prepare(sql).Bind(1, row).Step();
        }
    }
    static std::shared_ptr<Element> Make(const DbPtr& db, std::int64_t, std::int64_t row,
                                         std::string id) {
        return std::make_shared<SourceType>(db, row, std::move(id));
    }
};
using SourceTypes = GuidCollection<SourceTypeRows>;

class EventManager final : public IEventManager {
  public:
    HRESULT get_SourceTypes(std::shared_ptr<IEventSourceTypes>& sourceTypes) override {
        sourceTypes.reset();
        return Guard([&] {
            if (!db_) db_ = std::make_shared<Db>(OpenMachineDb());
            sourceTypes = std::make_shared<SourceTypes>(db_, 0);
            return S_OK;
        });
    }

  private:
    DbPtr db_;
};

std::int32_t PriorityOf(const Statement& row, int typeColumn, int valueColumn) {
    if (row.IsNull(typeColumn)) return kDefaultSinkPriority;
    if (row.Int(typeColumn) == VT_I4) return static_cast<std::int32_t>(row.Int(valueColumn));
    const std::string text = row.Text(valueColumn);
    std::int32_t priority = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), priority);
    return error == std::errc() && end == text.data() + text.size() && !text.empty()
               ? priority
               : kDefaultSinkPriority;
}

constexpr std::string_view kEventManagerKey = "\\CLSID\\{35172920-A700-11D0-A9EA-00AA00685C74}";

}  // namespace

namespace schema {

void CreateSeo(Db& db) {
    db.Exec(
        "CREATE TABLE seo_source_type(id INTEGER PRIMARY KEY,"
        " guid TEXT NOT NULL UNIQUE COLLATE NOCASE1252);"
        "CREATE TABLE seo_event_type(source_type INTEGER NOT NULL,"
        " guid TEXT NOT NULL COLLATE NOCASE1252, UNIQUE(source_type, guid));"
        "CREATE TABLE seo_source(id INTEGER PRIMARY KEY, source_type INTEGER NOT NULL,"
        " guid TEXT NOT NULL COLLATE NOCASE1252, UNIQUE(source_type, guid));"
        "CREATE TABLE seo_binding(id INTEGER PRIMARY KEY, source INTEGER NOT NULL,"
        " event_type TEXT NOT NULL COLLATE NOCASE1252, guid TEXT NOT NULL COLLATE NOCASE1252,"
        " sink_class TEXT NOT NULL, display_name TEXT NOT NULL,"
        " UNIQUE(source, event_type, guid));"
        "CREATE TABLE seo_binding_property(binding INTEGER NOT NULL,"
        " name TEXT NOT NULL COLLATE NOCASE1252, type INTEGER NOT NULL, value,"
        " UNIQUE(binding, name));");
}

}  // namespace schema

std::shared_ptr<IUnknown> CreateEventManager() {
    return std::make_shared<EventManager>();
}

void RegisterEventManagerClass() {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    registry.OpenKey(kEventManagerKey, true);
    registry.WriteString("", "SEO Event Manager");
    registry.OpenKey(std::string(kEventManagerKey) + "\\InprocServer32", true);
    registry.WriteString("", "seo.dll");
    registry.WriteString("ThreadingModel", "Both");
}

void UnregisterEventManagerClass() {
    TRegistry registry;
    registry.RootKey = HKEY_CLASSES_ROOT;
    registry.DeleteKey(kEventManagerKey);
}

std::vector<ArrivalBinding> ListArrivalBindings() {
    Db db = OpenMachineDb();
    auto select = db.Prepare(
        "SELECT b.guid, b.sink_class, b.display_name, p.type, p.value FROM seo_binding b"
        " JOIN seo_source s ON s.id = b.source"
        " JOIN seo_source_type t ON t.id = s.source_type"
        " LEFT JOIN seo_binding_property p ON p.binding = b.id AND p.name = 'Priority'"
        " WHERE t.guid = ?1 AND s.guid = ?2 AND b.event_type = ?3 ORDER BY b.id");
    select.Bind(1, kSmtpSourceType)
        .Bind(2, kSmtpVirtualServer1Source)
        .Bind(3, kSmtpOnArrivalEventType);
    std::vector<ArrivalBinding> bindings;
    while (select.Step()) {
        bindings.push_back(
            {select.Text(0), select.Text(1), select.Text(2), PriorityOf(select, 3, 4)});
    }
    std::stable_sort(
        bindings.begin(), bindings.end(),
        [](const ArrivalBinding& a, const ArrivalBinding& b) { return a.priority < b.priority; });
    return bindings;
}

HRESULT OpenArrivalBindings(std::shared_ptr<IEventBindings>& bindings) {
    std::shared_ptr<IEventManager> manager;
    std::shared_ptr<IEventSourceTypes> sourceTypes;
    std::shared_ptr<IEventSourceType> sourceType;
    std::shared_ptr<IEventSources> sources;
    std::shared_ptr<IEventSource> source;
    std::shared_ptr<IEventBindingManager> bindingManager;
    HRESULT hr = CoCreateInstance(CLSID_CEventManager, CLSCTX_INPROC_SERVER, manager);
    if (hr == S_OK) hr = manager->get_SourceTypes(sourceTypes);
    if (hr == S_OK) {
        hr = sourceTypes->Item(VARIANT(std::string(kSmtpSourceType)), sourceType);
    }
    if (hr == S_OK) hr = sourceType->get_Sources(sources);
    if (hr == S_OK) {
        hr = sources->Item(VARIANT(std::string(kSmtpVirtualServer1Source)), source);
    }
    if (hr == S_OK) hr = source->GetBindingManager(bindingManager);
    if (hr == S_OK) hr = bindingManager->get_Bindings(kSmtpOnArrivalEventType, bindings);
    return hr == S_FALSE ? REGDB_E_CLASSNOTREG : hr;
}

}  // namespace win
