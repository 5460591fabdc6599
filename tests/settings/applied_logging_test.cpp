// What Apply stores reaches the running programs without a restart: after the installation
// through the window, logging and its masks are chosen in the window and applied, and then
// a POP3 session of the running service and a message through the running SMTP service and
// agent write exactly the log lines those masks ask for.
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "install_flow_fixture.h"
#include "platform/paths.h"
#include "settings/node_check_box.h"

namespace {

using vrel::test::InstallFlowTest;

constexpr const char* kLogFolder = "C:\\AppliedLogs";

// Every daily log in the folder the programs write to, one after the other.
std::string ReadLogs() {
    std::string text;
    const std::filesystem::path folder = win::ToHostPath(std::string(kLogFolder) + "\\POP3Srv");
    if (!std::filesystem::exists(folder)) return text;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        text += std::string((std::istreambuf_iterator<char>(file)), {});
    }
    return text;
}

// The first line holding the mark but not the other text, or "".
std::string LineWith(const std::string& text, const std::string& mark,
                     const std::string& without = "\n") {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(mark) != std::string::npos && line.find(without) == std::string::npos) {
            return line;
        }
    }
    return "";
}

void ClickBox(QTreeWidgetItem* node) {
    QTest::mouseClick(vrel::BoxOf(node), Qt::LeftButton, {}, QPoint(8, 8));
}

TEST_F(InstallFlowTest, AppliedLogMasksReachTheRunningServices) {
    vrel::TPopDlg& form = Form();
    ShowPage(form.GeneralTab);
    InstallRow(0);
    InstallRow(1);
    ASSERT_TRUE(form.installComplete);

    form.LoggingCheckBox->click();
    form.LogFileEdit->selectAll();
    form.LogFileEdit->del();
    QTest::keyClicks(form.LogFileEdit, kLogFolder);
    {
        vcl::ModalScript script;
        script.Then([](QDialog& dialog) {
            auto& options = static_cast<vrel::TLogFileOptionsForm&>(dialog);
            QTreeWidgetItem* root = options.LogFileTreeView->topLevelItem(0);
            ClickBox(root->child(0));  // login: every field off
            QTreeWidgetItem* message = root->child(2);
            for (int field : {1, 3, 4}) ClickBox(message->child(field));  // keep 0 and 2
            QTest::mouseClick(options.UpdateButton, Qt::LeftButton);
            return vcl::mrNone;
        });
        QTest::mouseClick(form.LogFilePropButton, Qt::LeftButton);
    }
    ASSERT_EQ(LogOptions().loginMask, 0);
    ASSERT_EQ(LogOptions().messageMask, 5);
    QTest::mouseClick(form.ApplyButton, Qt::LeftButton);
    ASSERT_FALSE(form.ApplyButton->isEnabled());

    SendOverSmtp();
    ASSERT_NE(FetchOverPop3().find("Subject: installed"), std::string::npos);

    const std::string logs = ReadLogs();
    EXPECT_EQ(LineWith(logs, "login: "), "") << logs;
    EXPECT_NE(LineWith(logs, " logout: ann from: [127.0.0.1]"), "") << logs;
    // The message line: date and time, then the client's address; no event word, no sender.
    const std::string message = LineWith(logs, "127.0.0.1] ", "from: [");
    ASSERT_NE(message, "") << logs;
    EXPECT_TRUE(message[0] >= '1' && message[0] <= '9') << message;
    EXPECT_NE(message.find("M127.0.0.1] "), std::string::npos) << message;
    EXPECT_EQ(message.find("sender"), std::string::npos) << message;
}

}  // namespace
