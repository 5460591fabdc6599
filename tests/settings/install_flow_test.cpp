// The whole installation through the main window's buttons alone, on a fresh machine: the SMTP
// component (sysocmgr), then the POP3 side (the agent registered and bound, the service
// installed and started); then a message sent over SMTP to a mail user is fetched over POP3.
// Everything is real: the installer, the SMTP service, COM starting the agent, the POP3
// service, and sockets on 127.0.0.1.
#include "install_flow_fixture.h"

namespace {

using vrel::test::InstallFlowTest;

TEST_F(InstallFlowTest, ButtonsInstallEverythingAndMailFlows) {
    vrel::TPopDlg& form = Form();
    ShowPage(form.GeneralTab);
    ASSERT_EQ(form.GenStatusListBox->ItemText(0), "SMTP Service (Not Installed)");

    InstallRow(0);
    ASSERT_EQ(form.GenStatusListBox->ItemText(0), "SMTP Service (Running)");
    EXPECT_EQ(form.GenStatusListBox->ItemText(1), "POP3 Service (Not Installed)");
    EXPECT_FALSE(form.installComplete);

    InstallRow(1);
    EXPECT_EQ(form.GenStatusListBox->ItemText(0), "SMTP Service (Running)");
    ASSERT_EQ(form.GenStatusListBox->ItemText(1), "POP3 Service (Running)");
    EXPECT_TRUE(form.installComplete);
    vrel::test::SaveScreenshot(form, "popsetup_PopDlg-GeneralTab-installed");

    SendOverSmtp();
    const std::string fetched = FetchOverPop3();
    EXPECT_NE(fetched.find("Subject: installed\r\n"), std::string::npos) << fetched;
    EXPECT_NE(fetched.find("\r\nInstalled through the settings window.\r\n"), std::string::npos);
}

}  // namespace
