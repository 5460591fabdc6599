// Real mail clients against sessions served by a listening socket on 127.0.0.1: Python's
// poplib and curl's POP3 support log on, list, retrieve and delete.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "session_fixture.h"

namespace {

using vrel::test::SessionTest;

// Dots and an empty line inside the body, the way clients must see them after unstuffing.
const std::string kMessage = "Subject: dots\r\n\r\n.\r\n..x\r\nend\r\n";

class ClientProgramTest : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        Store("m1.eml", kMessage);
        server_.OnGetThread = [this](auto& clientSocket, auto& socketThread) {
            socketThread =
                std::make_unique<vrel::TMyServerThread>(std::move(clientSocket), limits_);
        };
        server_.SetActive(true);
    }
    void TearDown() override {
        server_.SetActive(false);
        SessionTest::TearDown();
    }

    std::string Url(const std::string& path = "") const {
        return "pop3://127.0.0.1:" + std::to_string(server_.LocalPort()) + "/" + path;
    }

    static std::string Run(const std::string& command) {
        FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
        std::string output;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        EXPECT_EQ(::pclose(pipe), 0) << command << "\n" << output;
        return output;
    }

    win::TServerSocket server_;
};

TEST_F(ClientProgramTest, PythonPoplibLogsOnListsRetrievesAndDeletes) {
    const std::filesystem::path script = machine_.Folder() / "client.py";
    std::ofstream(script) << R"(import poplib, sys
p = poplib.POP3('127.0.0.1', int(sys.argv[1]), timeout=10)
print(p.getwelcome().decode().split(' Vrel ')[1])
p.user('bob')
print(p.pass_('secret').decode())
print(p.stat())
print(p.list()[1])
print(p.uidl(1).decode())
print(p.retr(1)[1])
print(p.top(1, 0)[1])
print(p.dele(1).decode())
print(p.quit().decode())
)";
    const std::string output =
        Run("python3 " + script.string() + " " + std::to_string(server_.LocalPort()));
    EXPECT_EQ(output, "POP3 Server " + vrel::SystemModule->VersionInfo.GetFileVersion() +
                          " Ready\n"
                          "+OK bob's mailbox has 1 message(s) (30 octets)\n"
                          "(1, 30)\n"
                          "[b'1 30']\n"
                          "+OK 1 m1\n"
                          "[b'Subject: dots', b'', b'.', b'..x', b'end']\n"
                          "[b'Subject: dots', b'']\n"
                          "+OK message 1 deleted\n"
                          "+OK GoodBye !\n");
    EXPECT_FALSE(Exists("m1.eml"));
}

TEST_F(ClientProgramTest, CurlListsRetrievesAndDeletes) {
    const std::string curl = "curl -sS --max-time 20 -u bob:secret ";
    EXPECT_EQ(Run(curl + Url()), "1 30\r\n");
    EXPECT_EQ(Run(curl + Url("1")).substr(0, kMessage.size()), kMessage);
    Run(curl + "-X DELE -I " + Url("1"));
    EXPECT_FALSE(Exists("m1.eml"));
    EXPECT_EQ(Run(curl + Url()).find("1 30"), std::string::npos);
}

}  // namespace
