#include "platform/metabase.h"

#include <gtest/gtest.h>

#include "test_machine.h"

namespace {

using vrel::test::MachineTest;
using namespace win;

class MetabaseTest : public MachineTest {
  protected:
    std::shared_ptr<IIsObject> Bind(const std::string& path) {
        std::shared_ptr<IIsObject> object;
        EXPECT_EQ(ADsGetObject(path, object), S_OK) << path;
        return object;
    }

    std::shared_ptr<IIsObject> CreateChild(const std::string& parent, const char* className,
                                           const char* name) {
        std::shared_ptr<IIsObject> child;
        EXPECT_EQ(Bind(parent)->Create(className, name, child), S_OK) << name;
        return child;
    }

    std::vector<std::string> ChildNames(const std::string& path) {
        std::unique_ptr<IIsEnum> children;
        EXPECT_EQ(Bind(path)->get__NewEnum(children), S_OK);
        std::vector<std::string> names;
        std::shared_ptr<IIsObject> child;
        while (children->Next(child) == S_OK) names.push_back(child->Name());
        return names;
    }
};

TEST_F(MetabaseTest, NewMachineHoldsOnlyTheRoot) {
    const std::shared_ptr<IIsObject> root = Bind("IIS://localhost");
    EXPECT_EQ(root->Class(), "IIsComputer");
    EXPECT_TRUE(ChildNames("IIS://localhost").empty());
    std::shared_ptr<IIsObject> missing;
    EXPECT_EQ(ADsGetObject("IIS://localhost/smtpsvc/1", missing), E_PATH_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
}

struct BadPathCase {
    const char* path;
    HRESULT result;
};

TEST_F(MetabaseTest, MalformedPathsFailWithTheProviderCodes) {
    const BadPathCase cases[] = {
        {"WinNT://localhost", MK_E_SYNTAX},
        {"iis://localhost", MK_E_SYNTAX},
        {"IIS://", E_ADS_BAD_PATHNAME},
        {"IIS://localhost//x", E_ADS_BAD_PATHNAME},
        {"IIS://otherhost/smtpsvc", E_BAD_NETPATH},
        {"IIS://localhost/nothing", E_PATH_NOT_FOUND},
    };
    for (const BadPathCase& c : cases) {
        std::shared_ptr<IIsObject> object;
        EXPECT_EQ(ADsGetObject(c.path, object), c.result) << c.path;
    }
}

TEST_F(MetabaseTest, PathsIgnoreCaseAndNamesKeepIt) {
    CreateChild("IIS://localhost", "IIsSmtpService", "SmtpSvc");
    CreateChild("IIS://localhost/smtpsvc", "IIsSmtpServer", "1");
    for (const char* path :
         {"IIS://localhost/smtpsvc/1", "IIS://LOCALHOST/SMTPSvc/1/", "IIS://localhost/SmtpSvc/1"}) {
        std::shared_ptr<IIsObject> object;
        ASSERT_EQ(ADsGetObject(path, object), S_OK) << path;
        EXPECT_EQ(object->Class(), "IIsSmtpServer");
    }
    EXPECT_EQ(Bind("IIS://localhost/SMTPSVC")->Name(), "SmtpSvc");
}

TEST_F(MetabaseTest, CreateFailsWhenTheChildExistsInAnyCase) {
    CreateChild("IIS://localhost", "IIsSmtpService", "smtpsvc");
    std::shared_ptr<IIsObject> again;
    EXPECT_EQ(Bind("IIS://localhost")->Create("IIsSmtpService", "SMTPSVC", again),
              E_ALREADY_EXISTS);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(ChildNames("IIS://localhost"), std::vector<std::string>{"smtpsvc"});
}

TEST_F(MetabaseTest, ChildrenEnumerateInCreationOrder) {
    for (const char* name : {"zeta", "alpha", "Mid"})
        CreateChild("IIS://localhost", "IIsWebService", name);
    EXPECT_EQ(ChildNames("IIS://localhost"), (std::vector<std::string>{"zeta", "alpha", "Mid"}));
    ASSERT_EQ(Bind("IIS://localhost")->Delete("IIsWebService", "alpha"), S_OK);
    CreateChild("IIS://localhost", "IIsWebService", "alpha");
    EXPECT_EQ(ChildNames("IIS://localhost"), (std::vector<std::string>{"zeta", "Mid", "alpha"}));
}

// One read per enumeration: the children and their properties as they were at the first
// Next, until a child stores its own changes.
TEST_F(MetabaseTest, EnumeratedChildrenAnswerFromTheirFirstRead) {
    CreateChild("IIS://localhost", "IIsSmtpDomain", "a")->Put("RouteAction", VARIANT(16));
    const std::shared_ptr<IIsObject> b = CreateChild("IIS://localhost", "IIsSmtpDomain", "b");
    ASSERT_EQ(b->Put("RouteAction", VARIANT(2)), S_OK);
    ASSERT_EQ(b->SetInfo(), S_OK);
    std::unique_ptr<IIsEnum> children;
    ASSERT_EQ(Bind("IIS://localhost")->get__NewEnum(children), S_OK);
    std::shared_ptr<IIsObject> first, second, none;
    ASSERT_EQ(children->Next(first), S_OK);
    CreateChild("IIS://localhost", "IIsSmtpDomain", "c");
    ASSERT_EQ(b->Put("RouteAction", VARIANT(3)), S_OK);
    ASSERT_EQ(b->SetInfo(), S_OK);
    ASSERT_EQ(children->Next(second), S_OK);
    EXPECT_EQ(children->Next(none), S_FALSE);
    EXPECT_EQ(none, nullptr);

    VARIANT value;
    EXPECT_EQ(first->Get("RouteAction", value), E_ADS_PROPERTY_NOT_FOUND);
    ASSERT_EQ(second->Get("routeaction", value), S_OK);
    EXPECT_EQ(value, VARIANT(2));
    ASSERT_EQ(second->Put("Other", VARIANT("x")), S_OK);
    ASSERT_EQ(second->SetInfo(), S_OK);
    ASSERT_EQ(second->Get("RouteAction", value), S_OK);
    EXPECT_EQ(value, VARIANT(3));
}

TEST_F(MetabaseTest, PutIsStoredOnlyBySetInfo) {
    const std::shared_ptr<IIsObject> server = CreateChild("IIS://localhost", "IIsSmtpServer", "s");
    ASSERT_EQ(server->Put("DefaultDomain", VARIANT("example.com")), S_OK);
    VARIANT value;
    EXPECT_EQ(server->Get("defaultdomain", value), S_OK);  // the object's own cache
    EXPECT_EQ(Bind("IIS://localhost/s")->Get("DefaultDomain", value), E_ADS_PROPERTY_NOT_FOUND);

    ASSERT_EQ(server->SetInfo(), S_OK);
    ASSERT_EQ(Bind("IIS://localhost/s")->Get("DEFAULTDOMAIN", value), S_OK);
    EXPECT_EQ(value, VARIANT("example.com"));
}

TEST_F(MetabaseTest, PropertiesKeepTheirTypes) {
    const std::shared_ptr<IIsObject> node = CreateChild("IIS://localhost", "IIsSmtpDomain", "d");
    const VARIANT values[] = {VARIANT(std::int32_t{-1}), VARIANT(std::int32_t{16}), VARIANT(""),
                              VARIANT("C:\\Inetpub\\mailroot\\Drop"),
                              VARIANT(VARIANT::Bytes{0x00, 0xFF, 0x10})};
    for (const VARIANT& value : values) {
        ASSERT_EQ(node->Put("P", value), S_OK);
        ASSERT_EQ(node->SetInfo(), S_OK);
        VARIANT read;
        ASSERT_EQ(Bind("IIS://localhost/d")->Get("P", read), S_OK);
        EXPECT_EQ(read, value);
    }
    EXPECT_EQ(node->PropertyNames(), std::vector<std::string>{"P"});
}

TEST_F(MetabaseTest, EmptyAndNullValuesAreRefused) {
    const std::shared_ptr<IIsObject> node = CreateChild("IIS://localhost", "IIsSmtpDomain", "d");
    EXPECT_EQ(node->Put("RouteAction", VARIANT()), E_ADS_CANT_CONVERT_DATATYPE);
    EXPECT_EQ(node->Put("RouteAction", VARIANT::Null()), E_ADS_CANT_CONVERT_DATATYPE);
}

TEST_F(MetabaseTest, NodeExistsFromCreateWithoutSetInfo) {
    CreateChild("IIS://localhost", "IIsSmtpDomain", "d")->Put("RouteAction", VARIANT(16));
    VARIANT value;
    EXPECT_EQ(Bind("IIS://localhost/d")->Get("RouteAction", value), E_ADS_PROPERTY_NOT_FOUND);
}

TEST_F(MetabaseTest, DeleteNeedsClassAndNameAndTakesTheSubtree) {
    CreateChild("IIS://localhost", "IIsPOP3Service", "Pop3Svc");
    CreateChild("IIS://localhost/Pop3Svc", "IIsPOP3Server", "1");
    const std::shared_ptr<IIsObject> alias =
        CreateChild("IIS://localhost/Pop3Svc/1", "IIsPop3VirtualDir", "Alias");
    alias->Put("Path", VARIANT("bob"));
    ASSERT_EQ(alias->SetInfo(), S_OK);

    const std::shared_ptr<IIsObject> root = Bind("IIS://localhost");
    EXPECT_EQ(root->Delete("IIsSmtpService", "Pop3Svc"), E_PATH_NOT_FOUND);
    EXPECT_EQ(root->Delete("IIsPOP3Service", "nothing"), E_PATH_NOT_FOUND);
    ASSERT_EQ(root->Delete("iispop3service", "POP3SVC"), S_OK);
    std::shared_ptr<IIsObject> gone;
    EXPECT_EQ(ADsGetObject("IIS://localhost/Pop3Svc/1/Alias", gone), E_PATH_NOT_FOUND);

    // A held object of a deleted node can no longer store anything.
    alias->Put("Path", VARIANT("eve"));
    EXPECT_EQ(alias->SetInfo(), E_PATH_NOT_FOUND);
    CreateChild("IIS://localhost", "IIsPOP3Service", "Pop3Svc");
    CreateChild("IIS://localhost/Pop3Svc", "IIsPOP3Server", "1");
    VARIANT value;
    EXPECT_EQ(
        CreateChild("IIS://localhost/Pop3Svc/1", "IIsPop3VirtualDir", "Alias")->Get("Path", value),
        E_ADS_PROPERTY_NOT_FOUND);
}

TEST_F(MetabaseTest, CreateRefusesNamesThatAreNoSingleNode) {
    std::shared_ptr<IIsObject> child;
    const std::shared_ptr<IIsObject> root = Bind("IIS://localhost");
    EXPECT_EQ(root->Create("IIsSmtpService", "", child), E_INVALIDARG);
    EXPECT_EQ(root->Create("IIsSmtpService", "smtpsvc/1", child), E_INVALIDARG);
    EXPECT_EQ(root->Create("", "smtpsvc", child), E_INVALIDARG);
    EXPECT_TRUE(ChildNames("IIS://localhost").empty());
}

TEST_F(MetabaseTest, VariantTextConversion) {
    EXPECT_EQ(VariantToText(VARIANT()), "");
    EXPECT_EQ(VariantToText(VARIANT::Null()), "");
    EXPECT_EQ(VariantToText(VARIANT(std::int32_t{-16})), "-16");
    EXPECT_EQ(VariantToText(VARIANT("a b")), "a b");
    EXPECT_EQ(VariantToText(VARIANT(VARIANT::Bytes{1})), std::nullopt);
}

}  // namespace
