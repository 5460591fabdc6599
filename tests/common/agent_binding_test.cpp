// The AgentBinding operations against the real event manager: exact sink class match,
// the last enumerated of two bindings, removal by identifier, and silence when SEO or the
// SMTP service's registration is missing.
#include "common/agent_binding.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/seo.h"
#include "smtp_seo.h"
#include "test_machine.h"

namespace {

using vrel::FindAgentBinding;
using vrel::RegisterAgentBinding;
using vrel::RemoveAgentBinding;

constexpr const char* kFirstId = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
constexpr const char* kSecondId = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";

void RegisterAgent(const std::string& id) {
    RegisterAgentBinding(vrel::kAgentBindingDisplayName, vrel::kAgentSinkClass, id);
}

std::vector<std::string> StoredIds() {
    std::vector<std::string> ids;
    for (const win::ArrivalBinding& binding : win::ListArrivalBindings()) ids.push_back(binding.id);
    return ids;
}

class AgentBindingTest : public vrel::test::MachineTest {
  protected:
    void SetUp() override { vrel::test::RegisterSmtpWithSeo(); }
};

TEST_F(AgentBindingTest, RegisterThenFindGivesTheRegisteredIdentifier) {
    EXPECT_EQ(FindAgentBinding(vrel::kAgentSinkClass), "");
    RegisterAgent(kFirstId);
    EXPECT_EQ(FindAgentBinding(vrel::kAgentSinkClass), kFirstId);
    const std::vector<win::ArrivalBinding> stored = win::ListArrivalBindings();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].sinkClass, "vrelPOP3Service.MessageAgent");
    EXPECT_EQ(stored[0].displayName, "Message Agent for POP3 Service");
    EXPECT_EQ(stored[0].priority, 24000);
}

TEST_F(AgentBindingTest, PriorityIsStoredAsAnInteger) {
    RegisterAgent(kFirstId);
    win::CoInitialize();
    const auto bindings = vrel::test::ArrivalBindings();
    win::CoUninitialize();
    ASSERT_NE(bindings, nullptr);
    std::shared_ptr<win::IUnknown> enumeration;
    bindings->get__NewEnum(enumeration);
    std::shared_ptr<win::seo::IEnumVARIANT> enumerator;
    ASSERT_EQ(win::QueryInterface(enumeration, enumerator), win::S_OK);
    std::shared_ptr<win::IUnknown> element;
    ASSERT_EQ(enumerator->Next(element), win::S_OK);
    std::shared_ptr<win::IEventBinding> binding;
    ASSERT_EQ(win::QueryInterface(element, binding), win::S_OK);
    std::shared_ptr<win::IEventPropertyBag> properties;
    binding->get_SourceProperties(properties);
    win::VARIANT priority;
    ASSERT_EQ(properties->Item("Priority", priority), win::S_OK);
    EXPECT_EQ(priority, win::VARIANT(std::int32_t{24000}));
}

TEST_F(AgentBindingTest, SinkClassesThatDifferInCaseDoNotMatch) {
    RegisterAgentBinding(vrel::kAgentBindingDisplayName, "VRELPOP3SERVICE.MessageAgent", kFirstId);
    EXPECT_EQ(FindAgentBinding(vrel::kAgentSinkClass), "");
    EXPECT_EQ(FindAgentBinding("VRELPOP3SERVICE.MessageAgent"), kFirstId);
}

TEST_F(AgentBindingTest, OfTwoBindingsTheLastEnumeratedWinsAndRemovingItLeavesTheOther) {
    RegisterAgent(kFirstId);
    RegisterAgentBinding("Another", "Other.Sink", "{AAAAAAAA-0000-0000-0000-000000000000}");
    RegisterAgent(kSecondId);
    EXPECT_EQ(FindAgentBinding(vrel::kAgentSinkClass), kSecondId);
    RemoveAgentBinding(kSecondId);
    EXPECT_EQ(FindAgentBinding(vrel::kAgentSinkClass), kFirstId);
    EXPECT_EQ(StoredIds().size(), 2u);
}

TEST_F(AgentBindingTest, AnIdentifierInUseStoresNothingMore) {
    RegisterAgent(kFirstId);
    RegisterAgentBinding("Other", "Other.Sink", kFirstId);
    EXPECT_EQ(StoredIds(), std::vector<std::string>{kFirstId});
    EXPECT_EQ(FindAgentBinding("Other.Sink"), "");
}

TEST_F(AgentBindingTest, RemovingAnUnknownIdentifierChangesNothing) {
    RegisterAgent(kFirstId);
    RemoveAgentBinding(kSecondId);
    RemoveAgentBinding("not a guid");
    EXPECT_EQ(StoredIds(), std::vector<std::string>{kFirstId});
}

TEST_F(AgentBindingTest, EachCallBalancesComOnItsThread) {
    RegisterAgent(kFirstId);
    win::HRESULT afterwards = win::S_OK;
    std::thread([&] {
        FindAgentBinding(vrel::kAgentSinkClass);
        RemoveAgentBinding(kSecondId);
        RegisterAgent(kSecondId);
        std::shared_ptr<win::IUnknown> object;
        afterwards =
            win::CoCreateInprocObject(win::CLSID_CEventManager, win::CLSCTX_INPROC_SERVER, object);
    }).join();
    EXPECT_EQ(afterwards, win::CO_E_NOTINITIALIZED);
    EXPECT_EQ(StoredIds().size(), 2u);
}

// Without the SMTP component the event manager is not registered; with the class but no
// SMTP registration the chain stops at the source type. Either way nothing happens.
TEST_F(AgentBindingTest, WithoutTheSmtpRegistrationAllThreeDoNothing) {
    RegisterAgent(kFirstId);
    win::UnregisterEventManagerClass();
    RegisterAgent(kSecondId);
    RemoveAgentBinding(kFirstId);
    EXPECT_EQ(FindAgentBinding(vrel::kAgentSinkClass), "");
    EXPECT_EQ(StoredIds(), std::vector<std::string>{kFirstId}) << "the store was not touched";
}

class AgentBindingWithoutSmtpTest : public vrel::test::MachineTest {};

TEST_F(AgentBindingWithoutSmtpTest, SeoWithoutTheSmtpSourceTypeDoesNothing) {
    win::RegisterEventManagerClass();
    RegisterAgent(kFirstId);
    RemoveAgentBinding(kFirstId);
    EXPECT_EQ(FindAgentBinding(vrel::kAgentSinkClass), "");
    EXPECT_TRUE(StoredIds().empty());
}

}  // namespace
