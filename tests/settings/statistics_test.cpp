// The usage counters on both pages, driven through their check boxes and buttons on a machine
// whose clock the test sets: the hourly averages and their divisor, "N/A" for missing
// counters, the undeliverable line, and the reset with its question.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/settings_key.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/registry.h"
#include "settings_fixture.h"

namespace {

namespace value = vrel::settings_value;

// 9 December 2026, 10:00:00 in the morning.
constexpr const char* kFixedTime = "2026-12-09T10:00:00.000";

class StatisticsTest : public vrel::test::PopDlgTest {
  protected:
    void SetUp() override {
        ::setenv("VREL_FIXED_TIME", kFixedTime, 1);
        PopDlgTest::SetUp();
        ASSERT_TRUE(settings_.OpenKey(vrel::kSettingsKey, true));
    }
    void TearDown() override {
        PopDlgTest::TearDown();
        ::unsetenv("VREL_FIXED_TIME");
    }

    // Stores a start date so many hours before the machine's now; nullopt leaves it missing.
    void StartHoursAgo(std::string_view name, std::optional<double> hours) {
        if (hours) settings_.WriteDateTime(name, win::Now() - *hours / 24.0);
    }
    void StoreCount(std::string_view name, std::optional<int> count) {
        if (count) settings_.WriteInteger(name, *count);
    }

    static std::string Text(const QLabel* label) { return label->text().toStdString(); }

    win::TRegistry settings_;
};

struct ConnectionCase {
    const char* name;
    std::optional<double> startHoursAgo;
    std::optional<int> smtp, pop3, logons;
    const char* date;
    const char* smtpLine;
    const char* pop3Line;
    const char* logonLine;
};

TEST_F(StatisticsTest, ConnectionLinesAverageOverWholeDaysSinceTheStart) {
    const std::vector<ConnectionCase> cases = {
        {"5 hours ago: divisor 1", 5.0, 12, 3, 2, "Since: 12/9/2026 5:00:00 AM",
         "SMTP Connections: 12     Average: 12/hour", "POP3 Connections: 3     Average: 3/hour",
         "Successful Logons: 2     Average: 2/hour"},
        {"36 hours ago: divisor 24", 36.0, 50, 0, 100, "Since: 12/7/2026 10:00:00 PM",
         "SMTP Connections: 50     Average: 2/hour", "POP3 Connections: 0     Average: 0/hour",
         "Successful Logons: 100     Average: 4/hour"},
        {"start missing: days since 1899", std::nullopt, 5000, std::nullopt, 7,
         "Since:", "SMTP Connections: 5000     Average: 0/hour", "POP3 Connections: N/A",
         "Successful Logons: 7     Average: 0/hour"},
    };
    for (const ConnectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        settings_.DeleteValue(value::ConnectionCountStarted);
        for (auto name : {value::SMTPConnections, value::POP3Connections, value::POP3Logons}) {
            settings_.DeleteValue(name);
        }
        StartHoursAgo(value::ConnectionCountStarted, c.startHoursAgo);
        StoreCount(value::SMTPConnections, c.smtp);
        StoreCount(value::POP3Connections, c.pop3);
        StoreCount(value::POP3Logons, c.logons);
        vrel::TPopDlg& form = Form();
        form.ConDateLabel->setText("Since:");
        if (form.CountConCheckBox->isChecked()) {
            QTest::mouseClick(form.ConUpdateButton, Qt::LeftButton);
        } else {
            form.CountConCheckBox->click();
        }
        EXPECT_EQ(Text(form.ConDateLabel), c.date);
        EXPECT_EQ(Text(form.ConSMTPLabel), c.smtpLine);
        EXPECT_EQ(Text(form.ConPOP3Label), c.pop3Line);
        EXPECT_EQ(Text(form.ConLogonLabel), c.logonLine);
    }
}

struct MessageCase {
    const char* name;
    std::optional<int> received, delivered;
    const char* receivedLine;
    const char* deliveredLine;
    const char* undeliverableLine;
};

TEST_F(StatisticsTest, MessageLinesShowTheUndeliverableDifference) {
    StartHoursAgo(value::MessageCountStarted, 2.0);
    const std::vector<MessageCase> cases = {
        {"10 and 7 on the first day", 10, 7, "Received: 10     Average: 10/hour",
         "Delivered: 7     Average: 7/hour", "Undeliverable: 3     Average: 3/hour"},
        {"both missing", std::nullopt, std::nullopt, "Received: N/A", "Delivered: N/A",
         "Undeliverable: N/A"},
    };
    vrel::TPopDlg& form = Form();
    form.CountMsgCheckBox->click();
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        settings_.DeleteValue(value::MessagesReceived);
        settings_.DeleteValue(value::MessagesDelivered);
        StoreCount(value::MessagesReceived, c.received);
        StoreCount(value::MessagesDelivered, c.delivered);
        QTest::mouseClick(form.MsgUpdateButton, Qt::LeftButton);
        EXPECT_EQ(Text(form.MsgRecvLabel), c.receivedLine);
        EXPECT_EQ(Text(form.MsgDelLabel), c.deliveredLine);
        EXPECT_EQ(Text(form.MsgUndelLabel), c.undeliverableLine);
        EXPECT_EQ(Text(form.MsgDateLabel), "Since: 12/9/2026 8:00:00 AM");
    }

    StoreCount(value::MessagesReceived, 10);
    win::MessageBoxScript boxes({win::IDYES});
    QTest::mouseClick(form.MsgResetButton, Qt::LeftButton);
    EXPECT_EQ(Text(form.MsgRecvLabel), "Received: 0     Average: 0/hour");
    EXPECT_EQ(Text(form.MsgDelLabel), "Delivered: 0     Average: 0/hour");
    EXPECT_EQ(Text(form.MsgUndelLabel), "Undeliverable: N/A");
    EXPECT_EQ(Text(form.MsgDateLabel), "Since: 12/9/2026 10:00:00 AM");
}

TEST_F(StatisticsTest, UpdateWithCountingOffLeavesConnectionsAndDisablesMessages) {
    StoreCount(value::SMTPConnections, 4);
    StoreCount(value::MessagesReceived, 4);
    vrel::TPopDlg& form = Form();
    QTest::mouseClick(form.ConUpdateButton, Qt::LeftButton);
    EXPECT_EQ(Text(form.ConSMTPLabel), "SMTP Connections:");
    EXPECT_TRUE(form.ConResetButton->isEnabled());

    QTest::mouseClick(form.MsgUpdateButton, Qt::LeftButton);
    EXPECT_EQ(Text(form.MsgRecvLabel), "Received:");
    for (QWidget* control :
         {static_cast<QWidget*>(form.MsgRecvLabel), static_cast<QWidget*>(form.MsgDelLabel),
          static_cast<QWidget*>(form.MsgUndelLabel), static_cast<QWidget*>(form.MsgDateLabel),
          static_cast<QWidget*>(form.MsgResetButton),
          static_cast<QWidget*>(form.MsgUpdateButton)}) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_FALSE(form.ApplyButton->isEnabled());
}

TEST_F(StatisticsTest, CheckBoxesSwitchTheirGroupAndMarkAChange) {
    vrel::TPopDlg& form = Form();
    form.CountMsgCheckBox->click();
    EXPECT_TRUE(form.MsgResetButton->isEnabled());
    EXPECT_EQ(Text(form.MsgRecvLabel), "Received: N/A");
    EXPECT_TRUE(form.ApplyButton->isEnabled());
    form.CountMsgCheckBox->click();
    EXPECT_FALSE(form.MsgResetButton->isEnabled());
    EXPECT_FALSE(form.MsgDateLabel->isEnabled());

    form.ApplyButton->setEnabled(false);
    form.CountConCheckBox->click();
    form.CountConCheckBox->click();
    EXPECT_FALSE(form.ConUpdateButton->isEnabled());
    EXPECT_FALSE(form.ConSMTPLabel->isEnabled());
    EXPECT_TRUE(form.ApplyButton->isEnabled());
}

TEST_F(StatisticsTest, ResetAnsweredYesRestartsTheGroupAtOnce) {
    StartHoursAgo(value::ConnectionCountStarted, 100.0);
    StoreCount(value::SMTPConnections, 40);
    StoreCount(value::POP3Connections, 30);
    StoreCount(value::POP3Logons, 20);
    vrel::TPopDlg& form = Form();
    form.CountConCheckBox->click();
    form.ApplyButton->setEnabled(false);

    win::MessageBoxScript boxes({win::IDYES});
    win::RegistryWriteRecorder writes;
    QTest::mouseClick(form.ConResetButton, Qt::LeftButton);

    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text,
              "This will reset the counts and start date for the counters. Continue?");
    EXPECT_EQ(boxes.Shown()[0].buttons, (std::vector<int>{win::IDYES, win::IDNO}));
    const std::string key = "Software\\Tavimere\\POP3 Server";
    EXPECT_EQ(writes.Writes(),
              (std::vector<win::RegistryWrite>{{key, "ConnectionCountStarted", win::REG_BINARY},
                                               {key, "SMTPConnections", win::REG_DWORD},
                                               {key, "POP3Connections", win::REG_DWORD},
                                               {key, "POP3Logons", win::REG_DWORD}}));
    EXPECT_DOUBLE_EQ(settings_.ReadDateTime(value::ConnectionCountStarted), win::Now());
    EXPECT_EQ(Text(form.ConDateLabel), "Since: 12/9/2026 10:00:00 AM");
    EXPECT_EQ(Text(form.ConSMTPLabel), "SMTP Connections: 0     Average: 0/hour");
    EXPECT_EQ(Text(form.ConLogonLabel), "Successful Logons: 0     Average: 0/hour");
    EXPECT_FALSE(form.ApplyButton->isEnabled());
    EXPECT_TRUE(form.CountConCheckBox->isChecked());
}

TEST_F(StatisticsTest, ResetAnsweredNoWritesAndRefreshesNothing) {
    StoreCount(value::MessagesReceived, 8);
    vrel::TPopDlg& form = Form();
    form.CountMsgCheckBox->click();
    ASSERT_EQ(Text(form.MsgRecvLabel), "Received: 8     Average: 0/hour");
    StoreCount(value::MessagesReceived, 9);

    win::MessageBoxScript boxes({win::IDNO});
    win::RegistryWriteRecorder writes;
    QTest::mouseClick(form.MsgResetButton, Qt::LeftButton);
    EXPECT_EQ(boxes.Shown().size(), 1u);
    EXPECT_TRUE(writes.Writes().empty());
    EXPECT_EQ(Text(form.MsgRecvLabel), "Received: 8     Average: 0/hour");
    EXPECT_EQ(settings_.ReadInteger(value::MessagesReceived), 9);
}

TEST_F(StatisticsTest, GeneralPageScreenshotShowsCountersAndAverages) {
    StartHoursAgo(value::ConnectionCountStarted, 50.0);
    StoreCount(value::SMTPConnections, 480);
    StoreCount(value::POP3Connections, 96);
    StoreCount(value::POP3Logons, 90);
    vrel::TPopDlg& form = Form();
    ShowPage(form.GeneralTab);
    form.CountConCheckBox->click();
    const QImage image = vrel::test::SaveScreenshot(form, "popsetup_PopDlg-GeneralTab-counters");
    EXPECT_EQ(image.size(), form.size() * form.devicePixelRatio());
    EXPECT_EQ(Text(form.ConSMTPLabel), "SMTP Connections: 480     Average: 10/hour");
    EXPECT_EQ(Text(form.ConPOP3Label), "POP3 Connections: 96     Average: 2/hour");
    EXPECT_EQ(Text(form.ConLogonLabel), "Successful Logons: 90     Average: 1/hour");
    EXPECT_EQ(Text(form.ConDateLabel), "Since: 12/7/2026 8:00:00 AM");
    for (QLabel* label :
         {form.ConSMTPLabel, form.ConPOP3Label, form.ConLogonLabel, form.ConDateLabel}) {
        EXPECT_TRUE(label->isVisible() && label->isEnabled());
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
        EXPECT_LE(label->geometry().right(), form.CountConCheckBox->geometry().left());
    }
}

}  // namespace
