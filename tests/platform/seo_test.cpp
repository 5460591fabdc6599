// The SEO event manager: registration in HKCR, the Add-then-Save life of a binding,
// Remove at once, enumeration order, missing items, and the SMTP service's reader.
#include "platform/seo.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "smtp_seo.h"
#include "test_machine.h"

namespace {

using namespace win;

constexpr const char* kFirstId = "{11111111-2222-3333-4444-555555555555}";
constexpr const char* kSecondId = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";

class SeoTest : public vrel::test::MachineTest {
  protected:
    void SetUp() override {
        CoInitialize();
        vrel::test::RegisterSmtpWithSeo();
    }
    void TearDown() override { CoUninitialize(); }

    static std::shared_ptr<IEventBindings> Bindings() {
        auto bindings = vrel::test::ArrivalBindings();
        EXPECT_NE(bindings, nullptr);
        return bindings;
    }

    static std::shared_ptr<IEventBinding> Add(const std::string& id, const std::string& sinkClass,
                                              std::optional<VARIANT> priority = std::nullopt) {
        std::shared_ptr<IEventBinding> binding;
        EXPECT_EQ(Bindings()->Add(id, binding), S_OK);
        binding->put_SinkClass(sinkClass);
        binding->put_DisplayName("Sink " + sinkClass);
        std::shared_ptr<IEventPropertyBag> properties;
        binding->get_SourceProperties(properties);
        if (priority) properties->Add("Priority", *priority);
        return binding;
    }

    // The bindings in enumeration order, each read through IEventBinding.
    static std::vector<std::shared_ptr<IEventBinding>> Enumerate() {
        std::shared_ptr<IUnknown> enumeration;
        std::shared_ptr<seo::IEnumVARIANT> enumerator;
        EXPECT_EQ(Bindings()->get__NewEnum(enumeration), S_OK);
        EXPECT_EQ(QueryInterface(enumeration, enumerator), S_OK);
        std::vector<std::shared_ptr<IEventBinding>> result;
        std::shared_ptr<IUnknown> element;
        while (enumerator->Next(element) == S_OK) {
            std::shared_ptr<IEventBinding> binding;
            EXPECT_EQ(QueryInterface(element, binding), S_OK);
            result.push_back(binding);
        }
        EXPECT_EQ(enumerator->Next(element), S_FALSE);
        EXPECT_EQ(element, nullptr);
        return result;
    }

    static std::vector<std::string> Ids() {
        std::vector<std::string> ids;
        for (const auto& binding : Enumerate()) {
            std::string id;
            binding->get_ID(id);
            ids.push_back(id);
        }
        return ids;
    }
};

TEST_F(SeoTest, EventManagerIsCreatableOnlyWhileRegistered) {
    std::shared_ptr<IEventManager> manager;
    EXPECT_EQ(CoCreateInstance(CLSID_CEventManager, CLSCTX_INPROC_SERVER, manager), S_OK);
    UnregisterEventManagerClass();
    EXPECT_EQ(CoCreateInstance(CLSID_CEventManager, CLSCTX_INPROC_SERVER, manager),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(manager, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_CEventManager, CLSCTX_LOCAL_SERVER, manager),
              REGDB_E_CLASSNOTREG);
}

TEST_F(SeoTest, AddedBindingIsStoredBySaveWithItsProperties) {
    const auto binding = Add(kFirstId, "Some.Sink", VARIANT(std::int32_t{24000}));
    EXPECT_TRUE(Enumerate().empty()) << "not stored before Save";
    ASSERT_EQ(binding->Save(), S_OK);
    const auto stored = Enumerate();
    ASSERT_EQ(stored.size(), 1u);
    std::string id, sinkClass, displayName;
    stored[0]->get_ID(id);
    stored[0]->get_SinkClass(sinkClass);
    stored[0]->get_DisplayName(displayName);
    EXPECT_EQ(id, kFirstId);
    EXPECT_EQ(sinkClass, "Some.Sink");
    EXPECT_EQ(displayName, "Sink Some.Sink");
    std::shared_ptr<IEventPropertyBag> properties;
    ASSERT_EQ(stored[0]->get_SourceProperties(properties), S_OK);
    VARIANT priority;
    ASSERT_EQ(properties->Item("priority", priority), S_OK);
    EXPECT_EQ(priority.vt(), VT_I4);
    EXPECT_EQ(priority.lVal(), 24000);
    EXPECT_EQ(properties->Item("Other", priority), S_FALSE);
}

TEST_F(SeoTest, AddRefusesAStoredOrMalformedIdentifier) {
    ASSERT_EQ(Add(kFirstId, "A.Sink")->Save(), S_OK);
    std::shared_ptr<IEventBinding> binding;
    EXPECT_EQ(Bindings()->Add(kFirstId, binding), SEO_E_ALREADY_EXISTS);
    EXPECT_EQ(Bindings()->Add("{11111111-2222-3333-4444-555555555555}", binding),
              SEO_E_ALREADY_EXISTS);
    EXPECT_EQ(Bindings()->Add("{aaaaaaaa-2222-3333-4444-555555555555", binding), E_INVALIDARG);
    EXPECT_EQ(Bindings()->Add("", binding), E_INVALIDARG);
    EXPECT_EQ(binding, nullptr);
    EXPECT_EQ(Ids(), std::vector<std::string>{kFirstId});
}

TEST_F(SeoTest, SaveFailsWhenTheIdentifierWasSavedSinceAdd) {
    const auto first = Add(kFirstId, "First.Sink");
    const auto second = Add("{11111111-2222-3333-4444-555555555555}", "Second.Sink");
    ASSERT_EQ(first->Save(), S_OK);
    EXPECT_EQ(second->Save(), SEO_E_ALREADY_EXISTS);
    ASSERT_EQ(Enumerate().size(), 1u);
    std::string sinkClass;
    Enumerate()[0]->get_SinkClass(sinkClass);
    EXPECT_EQ(sinkClass, "First.Sink");
}

TEST_F(SeoTest, RemoveDeletesAtOnceAndRefusesAnUnknownIdentifier) {
    ASSERT_EQ(Add(kFirstId, "A.Sink")->Save(), S_OK);
    ASSERT_EQ(Add(kSecondId, "B.Sink")->Save(), S_OK);
    const auto held = Enumerate();
    EXPECT_EQ(Bindings()->Remove(VARIANT(std::string(kSecondId))), S_OK);
    EXPECT_EQ(Ids(), std::vector<std::string>{kFirstId});
    EXPECT_EQ(Bindings()->Remove(VARIANT(std::string(kSecondId))), SEO_E_NOT_FOUND);
    EXPECT_EQ(Bindings()->Remove(VARIANT(std::int32_t{1})), E_INVALIDARG);
    EXPECT_EQ(held[1]->Save(), SEO_E_NOT_FOUND) << "a removed binding is not brought back";
    EXPECT_EQ(Ids(), std::vector<std::string>{kFirstId});
}

TEST_F(SeoTest, BindingsEnumerateInCreationOrder) {
    const char* ids[] = {kSecondId, kFirstId, "{00000000-0000-0000-0000-000000000001}"};
    for (const char* id : ids) ASSERT_EQ(Add(id, "Sink")->Save(), S_OK);
    EXPECT_EQ(Ids(), std::vector<std::string>(std::begin(ids), std::end(ids)));
    std::int32_t count = 0;
    ASSERT_EQ(Bindings()->get_Count(count), S_OK);
    EXPECT_EQ(count, 3);
}

TEST_F(SeoTest, ItemsThatAreNotRegisteredAnswerNoObject) {
    std::shared_ptr<IEventManager> manager;
    std::shared_ptr<IEventSourceTypes> sourceTypes;
    ASSERT_EQ(CoCreateInstance(CLSID_CEventManager, CLSCTX_INPROC_SERVER, manager), S_OK);
    manager->get_SourceTypes(sourceTypes);
    std::shared_ptr<IEventSourceType> sourceType;
    EXPECT_EQ(sourceTypes->Item(VARIANT("{fb65c4dc-e468-11d1-aa67-00c04fa345f7}"), sourceType),
              S_FALSE);
    EXPECT_EQ(sourceType, nullptr);
    ASSERT_EQ(sourceTypes->Item(VARIANT("{FB65C4DC-E468-11D1-AA67-00C04FA345F6}"), sourceType),
              S_OK)
        << "identifiers compare without case";
    std::shared_ptr<IEventSources> sources;
    std::shared_ptr<IEventSource> source;
    sourceType->get_Sources(sources);
    EXPECT_EQ(sources->Item(VARIANT("{1b3c0666-e470-11d0-aa67-80c04fa345f7}"), source), S_FALSE);
    EXPECT_EQ(source, nullptr);
    ASSERT_EQ(sources->Item(VARIANT(std::string(kSmtpVirtualServer1Source)), source), S_OK);
    std::shared_ptr<IEventBindingManager> bindingManager;
    std::shared_ptr<IEventBindings> bindings;
    source->GetBindingManager(bindingManager);
    EXPECT_EQ(bindingManager->get_Bindings("{FF3CAA23-00B9-11D2-9DFB-00C04FA322BB}", bindings),
              S_FALSE);
    EXPECT_EQ(bindings, nullptr);
}

TEST_F(SeoTest, RemovingTheSourceTypeRemovesItsBindings) {
    ASSERT_EQ(Add(kFirstId, "A.Sink")->Save(), S_OK);
    std::shared_ptr<IEventManager> manager;
    std::shared_ptr<IEventSourceTypes> sourceTypes;
    ASSERT_EQ(CoCreateInstance(CLSID_CEventManager, CLSCTX_INPROC_SERVER, manager), S_OK);
    manager->get_SourceTypes(sourceTypes);
    ASSERT_EQ(sourceTypes->Remove(VARIANT(std::string(kSmtpSourceType))), S_OK);
    EXPECT_TRUE(ListArrivalBindings().empty());
    vrel::test::RegisterSmtpWithSeo();
    EXPECT_TRUE(Enumerate().empty()) << "a new registration starts without bindings";
}

TEST_F(SeoTest, ArrivalBindingsComeInPriorityOrderThenCreationOrder) {
    struct Row {
        const char* id;
        std::optional<VARIANT> priority;
    };
    const Row rows[] = {
        {"{00000000-0000-0000-0000-000000000001}", VARIANT(std::int32_t{30000})},
        {"{00000000-0000-0000-0000-000000000002}", std::nullopt},
        {"{00000000-0000-0000-0000-000000000003}", VARIANT(std::int32_t{100})},
        {"{00000000-0000-0000-0000-000000000004}", VARIANT(std::int32_t{24000})},
        {"{00000000-0000-0000-0000-000000000005}", VARIANT("50")},
        {"{00000000-0000-0000-0000-000000000006}", VARIANT("high")},
    };
    for (const Row& row : rows) ASSERT_EQ(Add(row.id, "Sink", row.priority)->Save(), S_OK);
    std::vector<std::pair<std::string, std::int32_t>> order;
    for (const ArrivalBinding& binding : ListArrivalBindings()) {
        order.emplace_back(binding.id.substr(36, 1), binding.priority);
        EXPECT_EQ(binding.sinkClass, "Sink");
        EXPECT_EQ(binding.displayName, "Sink Sink");
    }
    const std::vector<std::pair<std::string, std::int32_t>> expected = {
        {"5", 50}, {"3", 100}, {"2", 24000}, {"4", 24000}, {"6", 24000}, {"1", 30000}};
    EXPECT_EQ(order, expected);
}

}  // namespace
