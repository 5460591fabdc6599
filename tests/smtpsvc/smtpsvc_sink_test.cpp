// Tests of the SMTP service stand-in's calls of the arrival sinks bound in SEO: priority
// order, event status 1 skipping the rest, the envelope a sink commits, the sink objects
// kept while mail flows and released once the queue is idle, and a sink that dies in its call.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "platform/paths.h"
#include "platform/registry.h"
#include "smtp_seo.h"
#include "smtpsvc_fixture.h"
#include "store/machine.h"
#include "test_services.h"

namespace vrel::test {
namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string> kClasses = {
    {"A", "{5A1E0001-0000-4000-8000-00000000000A}"},
    {"B", "{5A1E0001-0000-4000-8000-00000000000B}"},
    {"C", "{5A1E0001-0000-4000-8000-00000000000C}"},
};

struct Call {
    std::string name;
    std::string pid;
    std::string recipients;
};

class SinkTest : public SmtpServiceTest {
  protected:
    void SetUp() override {
        SmtpServiceTest::SetUp();
        RegisterSmtpWithSeo();
    }

    // Registers test_sink as the class "Test.Sink<name>" with the options and binds it.
    void Bind(const std::string& name, int priority, const std::string& options = "") {
        const std::string clsid = kClasses.at(name);
        const std::string progId = "Test.Sink" + name;
        win::TRegistry registry;
        registry.RootKey = win::HKEY_CLASSES_ROOT;
        ASSERT_TRUE(registry.OpenKey("\\CLSID\\" + clsid + "\\LocalServer32", true));
        registry.WriteString(
            "", "\"" + win::ToWindowsPath(BinFolder().parent_path() / "tests" / "test_sink") +
                    ".exe\" /Automation -clsid:" + clsid + " -name:" + name + " " + options);
        registry.CloseKey();
        ASSERT_TRUE(registry.OpenKey("\\" + progId + "\\CLSID", true));
        registry.WriteString("", clsid);
        registry.CloseKey();
        const RunResult bound = RunProgram("winhost", "seo add " + progId + " /name:" + name +
                                                          " /priority:" + std::to_string(priority));
        ASSERT_EQ(bound.exitCode, 0) << bound.output;
    }

    static std::vector<Call> Calls() {
        std::vector<Call> calls;
        std::istringstream log(ReadFile(win::RunFolder() / "sink_calls.log"));
        Call call;
        while (log >> call.name >> call.pid >> call.recipients) calls.push_back(call);
        return calls;
    }

    static std::string Names(const std::vector<Call>& calls) {
        std::string names;
        for (const Call& call : calls) names += call.name;
        return names;
    }
};

const std::string kText = "Subject: sinks\r\n\r\nbody\r\n";

TEST_F(SinkTest, SinksRunByPriorityAndStatusOneSkipsTheRest) {
    Bind("C", 300);
    Bind("A", 100);
    Bind("B", 200, "-status:1");
    StartSmtp();
    ASSERT_EQ(SendMail("s@sender.test", {"bob@example.test"}, kText).substr(0, 4), "250 ");
    ASSERT_TRUE(WaitUntil([] { return Calls().size() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return vrel::test::Names(Folder("Drop")).size() == 1; }));
    EXPECT_EQ(Names(Calls()), "AB");
    EXPECT_EQ(Calls()[0].recipients, "SMTP:bob@example.test;");
}

TEST_F(SinkTest, OneSinkObjectServesTheQueueAndGoesOnceItIsIdle) {
    using namespace std::chrono_literals;
    Bind("A", 100);
    StartSmtp();
    for (const char* to : {"bob@example.test", "carol@example.test"}) {
        ASSERT_EQ(SendMail("s@sender.test", {to}, kText).substr(0, 4), "250 ");
    }
    ASSERT_TRUE(WaitUntil([] { return Calls().size() == 2; }));
    EXPECT_EQ(Calls()[0].pid, Calls()[1].pid) << "one server for both messages";
    EXPECT_TRUE(EndsWithin(std::stoi(Calls()[0].pid), 10s)) << "released once the queue is idle";

    ASSERT_EQ(SendMail("s@sender.test", {"dave@example.test"}, kText).substr(0, 4), "250 ");
    ASSERT_TRUE(WaitUntil([] { return Calls().size() == 3; }));
    EXPECT_NE(Calls()[2].pid, Calls()[0].pid);
}

TEST_F(SinkTest, TheRecipientListASinkCommitsDecidesTheDelivery) {
    Bind("A", 100, "-handback:remote.test");
    StartSmtp();
    ASSERT_EQ(
        SendMail("s@sender.test", {"bob@example.test", "far@remote.test"}, kText).substr(0, 4),
        "250 ");
    ASSERT_TRUE(WaitUntil([&] { return HeldForRemote(Folder("Queue")).size() == 1; }));
    EXPECT_TRUE(vrel::test::Names(Folder("Drop")).empty()) << "the sink took bob";
}

TEST_F(SinkTest, MessageStatusTwoEndsTheMessage) {
    Bind("A", 100, "-messagestatus:2 -status:1");
    Bind("B", 200);
    StartSmtp();
    ASSERT_EQ(
        SendMail("s@sender.test", {"bob@example.test", "far@remote.test"}, kText).substr(0, 4),
        "250 ");
    ASSERT_TRUE(WaitUntil([&] { return vrel::test::Names(Folder("Queue")).empty(); }));
    EXPECT_EQ(Names(Calls()), "A");
    EXPECT_TRUE(vrel::test::Names(Folder("Drop")).empty());
}

TEST_F(SinkTest, ASinkKilledInItsCallIsCalledAgainLater) {
    Bind("A", 100);
    Bind("B", 200, "-die:once");
    StartSmtp();
    ASSERT_EQ(SendMail("s@sender.test", {"bob@example.test"}, kText).substr(0, 4), "250 ");
    ASSERT_TRUE(WaitUntil([&] { return vrel::test::Names(Folder("Drop")).size() == 1; }));
    EXPECT_EQ(Names(Calls()), "AB") << "A completed before B died and is not called again";
    EXPECT_TRUE(WaitUntil([&] { return vrel::test::Names(Folder("Queue")).empty(); }));
}

}  // namespace
}  // namespace vrel::test
