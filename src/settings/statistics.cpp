// The usage counters of both pages: each counter shown with its average per hour since the
// group's start date, the reset that restarts a group at once, and the check boxes that
// switch counting (stored by Apply).
#include "settings/statistics.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "common/settings_key.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/registry.h"
#include "settings/pop_dlg.h"

namespace vrel {
namespace {

// Five blanks before the word.
constexpr std::string_view kAverageText = "     Average: ";

void SetText(QLabel& label, const std::string& text) {
    label.setText(Ansi(text));
}

// The divisor of the averages: whole days since the start, times 24; 1 on the first day. A
// missing start counts from day 0, so small counts average 0. The date label shows the start.
std::int64_t HoursSince(win::TRegistry& registry, std::string_view startName, QLabel& dateLabel) {
    win::TDateTime start = 0.0;
    if (registry.ValueExists(startName)) {
        start = registry.ReadDateTime(startName);
        SetText(dateLabel, "Since: " + win::DateTimeText(win::DateTimeToSystemTime(start)));
    }
    const double days = std::trunc(win::Now() - start);
    const auto hours = static_cast<std::int64_t>(days * 24.0);
    return hours == 0 ? 1 : hours;
}

std::string CountText(std::string_view caption, std::int64_t count, std::int64_t hours) {
    return std::string(caption) + std::to_string(count) + std::string(kAverageText) +
           std::to_string(count / hours) + "/hour";
}

// The counter's line, or caption + "N/A" when the counter is missing; the count (0 when
// missing).
std::int64_t ShowCounter(win::TRegistry& registry, std::string_view name, std::string_view caption,
                         std::int64_t hours, QLabel& label) {
    if (!registry.ValueExists(name)) {
        SetText(label, std::string(caption) + "N/A");
        return 0;
    }
    const std::int64_t count = registry.ReadInteger(name);
    SetText(label, CountText(caption, count, hours));
    return count;
}

// Each group's counters, in the order a restart zeroes them.
constexpr std::string_view kConnectionCounters[] = {
    settings_value::SMTPConnections, settings_value::POP3Connections, settings_value::POP3Logons};
constexpr std::string_view kMessageCounters[] = {settings_value::MessagesReceived,
                                                 settings_value::MessagesDelivered};

std::span<const std::string_view> Counters(CounterGroup group) {
    if (group == CounterGroup::Connections) return kConnectionCounters;
    return kMessageCounters;
}

// Asks first; restarts the group at once, pauses so that an increment racing the reset lands
// before the refresh, then refreshes.
void ResetCounters(CounterGroup group, const std::function<void()>& refresh) {
    if (win::MessageDlg("This will reset the counts and start date for the counters. Continue?",
                        win::mtConfirmation, win::mbYes | win::mbNo, 0) != win::mrYes) {
        return;
    }
    {
        win::TRegistry registry;
        if (registry.OpenKey(kSettingsKey, true)) {
            RestartCounters(registry, group);
            registry.CloseKey();
        }
    }
    win::Sleep(50);
    refresh();
}

// A group's four labels and its reset and update buttons.
using GroupControls = std::array<QWidget*, 6>;

GroupControls ConnectionControls(TPopDlg& form) {
    return {form.ConSMTPLabel, form.ConPOP3Label,   form.ConLogonLabel,
            form.ConDateLabel, form.ConResetButton, form.ConUpdateButton};
}

GroupControls MessageControls(TPopDlg& form) {
    return {form.MsgRecvLabel, form.MsgDelLabel,    form.MsgUndelLabel,
            form.MsgDateLabel, form.MsgResetButton, form.MsgUpdateButton};
}

void EnableAll(const GroupControls& controls, bool enabled) {
    for (QWidget* control : controls) control->setEnabled(enabled);
}

// The check box switches its group and shows the counters at once; whether counting is on is
// stored only by Apply.
void SwitchCounting(const QCheckBox& box, const GroupControls& controls,
                    const std::function<void()>& update, QPushButton& applyButton) {
    EnableAll(controls, box.isChecked());
    if (box.isChecked()) update();
    applyButton.setEnabled(true);
}

}  // namespace

std::string_view CountStartedName(CounterGroup group) {
    return group == CounterGroup::Connections ? settings_value::ConnectionCountStarted
                                              : settings_value::MessageCountStarted;
}

void RestartCounters(win::TRegistry& registry, CounterGroup group) {
    registry.WriteDateTime(CountStartedName(group), win::Now());
    for (const std::string_view counter : Counters(group)) registry.WriteInteger(counter, 0);
}

void TPopDlg::ConUpdateButtonClick() {
    if (!CountConCheckBox->isChecked()) return;
    win::TRegistry registry;
    if (!registry.OpenKeyReadOnly(kSettingsKey)) return;
    const std::int64_t hours =
        HoursSince(registry, settings_value::ConnectionCountStarted, *ConDateLabel);
    ShowCounter(registry, settings_value::SMTPConnections, "SMTP Connections: ", hours,
                *ConSMTPLabel);
    ShowCounter(registry, settings_value::POP3Connections, "POP3 Connections: ", hours,
                *ConPOP3Label);
    ShowCounter(registry, settings_value::POP3Logons, "Successful Logons: ", hours, *ConLogonLabel);
    registry.CloseKey();
}

void TPopDlg::MsgUpdateButtonClick() {
    if (!CountMsgCheckBox->isChecked()) {
        EnableAll(MessageControls(*this), false);
        return;
    }
    win::TRegistry registry;
    if (!registry.OpenKeyReadOnly(kSettingsKey)) return;
    const std::int64_t hours =
        HoursSince(registry, settings_value::MessageCountStarted, *MsgDateLabel);
    const std::int64_t received =
        ShowCounter(registry, settings_value::MessagesReceived, "Received: ", hours, *MsgRecvLabel);
    const std::int64_t delivered = ShowCounter(registry, settings_value::MessagesDelivered,
                                               "Delivered: ", hours, *MsgDelLabel);
    SetText(*MsgUndelLabel, received + delivered != 0
                                ? CountText("Undeliverable: ", received - delivered, hours)
                                : std::string("Undeliverable: N/A"));
    registry.CloseKey();
}

void TPopDlg::ConResetButtonClick() {
    ResetCounters(CounterGroup::Connections, [this] { ConUpdateButtonClick(); });
}

void TPopDlg::MsgResetButtonClick() {
    ResetCounters(CounterGroup::Messages, [this] { MsgUpdateButtonClick(); });
}

void TPopDlg::CountConCheckBoxClick() {
    SwitchCounting(
        *CountConCheckBox, ConnectionControls(*this), [this] { ConUpdateButtonClick(); },
        *ApplyButton);
}

void TPopDlg::CountMsgCheckBoxClick() {
    SwitchCounting(
        *CountMsgCheckBox, MessageControls(*this), [this] { MsgUpdateButtonClick(); },
        *ApplyButton);
}

void TPopDlg::ConnectStatistics() {
    Bind(ConUpdateButton, &QPushButton::clicked, this, &TPopDlg::ConUpdateButtonClick);
    Bind(MsgUpdateButton, &QPushButton::clicked, this, &TPopDlg::MsgUpdateButtonClick);
    Bind(ConResetButton, &QPushButton::clicked, this, &TPopDlg::ConResetButtonClick);
    Bind(MsgResetButton, &QPushButton::clicked, this, &TPopDlg::MsgResetButtonClick);
    Bind(CountConCheckBox, &QCheckBox::toggled, this, &TPopDlg::CountConCheckBoxClick);
    Bind(CountMsgCheckBox, &QCheckBox::toggled, this, &TPopDlg::CountMsgCheckBoxClick);
}

}  // namespace vrel
