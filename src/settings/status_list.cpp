// The service status list of TPopDlg's General page: its two rows worked out from the
// services, the agent's registration and its binding; how a row is drawn; which actions the
// selected row allows; and the four actions. A row's state is read back from its text.
#include <QMouseEvent>
#include <QPainter>
#include <array>

#include "common/agent_binding.h"
#include "platform/dialogs.h"
#include "settings/agent_install.h"
#include "settings/pop3_install.h"
#include "settings/pop_dlg.h"
#include "settings/service_control.h"
#include "settings/smtp_component.h"

namespace vrel {
namespace {

constexpr int kSmtpRow = 0;
constexpr int kPop3Row = 1;

// The icon of each state, tested in this order; placeholders match none.
struct StateIcon {
    const char* state;
    int image;
};
constexpr std::array<StateIcon, 4> kStateIcons = {
    {{"Not Installed", 2}, {"Not Complete", 2}, {"Stopped", 2}, {"Running", 1}}};

// The actions a row's state leaves enabled; the others it takes away.
struct Enabling {
    const char* state;
    bool start, stop, install, remove;
};
constexpr std::array<Enabling, 4> kEnabling = {{
    {"Not Installed", false, false, true, false},
    {"Not Complete", false, false, true, true},
    {"Stopped", true, false, false, true},
    {"Running", false, true, false, true},
}};

struct Actions {
    bool start = true, stop = true, install = true, remove = true;
};

Actions EnabledFor(const QString& rowText) {
    Actions actions;
    for (const Enabling& rule : kEnabling) {
        if (!rowText.contains(rule.state)) continue;
        actions.start = actions.start && rule.start;
        actions.stop = actions.stop && rule.stop;
        actions.install = actions.install && rule.install;
        actions.remove = actions.remove && rule.remove;
    }
    return actions;
}

// The list box selects a row and clicks only with the left button; the right one opens the
// menu over the row that is selected.
class LeftButtonOnly : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const bool mouse = event->type() == QEvent::MouseButtonPress ||
                           event->type() == QEvent::MouseButtonRelease ||
                           event->type() == QEvent::MouseButtonDblClick;
        return mouse && static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton;
    }
};

}  // namespace

void TPopDlg::ConnectStatusList() {
    GenStatusListBox->OnDrawItem = [this](int index, const QRect& rect, QStyle::State state,
                                          QPainter& canvas) {
        GenStatusListBoxDrawItem(index, rect, state, canvas);
    };
    GenStatusListBox->OnClick = [this] { GenStatusListBoxClick(); };
    GenStatusListBox->viewport()->installEventFilter(new LeftButtonOnly(GenStatusListBox));
    GenStatusListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(GenStatusListBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        StatusPopupMenu->popup(GenStatusListBox->mapToGlobal(at));
    });
    Bind(StatusPopupMenu, &QMenu::aboutToShow, this, &TPopDlg::StatusPopupMenuPopup);
    // Each action's button and menu item.
    struct StatusCommand {
        QPushButton* button;
        QAction* action;
        void (TPopDlg::*handler)();
    };
    const std::array<StatusCommand, 4> commands = {{
        {StatusStartButton, StatusStart, &TPopDlg::StatusStartClick},
        {StatusStopButton, StatusStop, &TPopDlg::StatusStopClick},
        {InstallButton, StatusInstall, &TPopDlg::StatusInstallClick},
        {UnInstallButton, StatusRemove, &TPopDlg::StatusRemoveClick},
    }};
    for (const StatusCommand& command : commands) {
        Bind(command.button, &QPushButton::clicked, this, command.handler);
        Bind(command.action, &QAction::triggered, this, command.handler);
    }
    SetServiceProgressDisplay([this](const std::string& serviceName, std::uint32_t waitTime) {
        DrawServiceProgress(serviceName, waitTime);
    });
}

void TPopDlg::StatusButtonClick() {
    vcl::TOwnerDrawListBox& list = *GenStatusListBox;
    list.clear();
    list.AddItem("SMTP Service");
    list.AddItem("POP3 Service");
    installComplete = true;
    const auto setRow = [&list, this](int row, const char* text, bool complete) {
        list.item(row)->setText(text);
        installComplete = installComplete && complete;
    };
    if (!IsServiceInstalled(kSmtpServiceName)) {
        setRow(kSmtpRow, "SMTP Service (Not Installed)", false);
    } else if (IsServiceRunning(kSmtpServiceName)) {
        setRow(kSmtpRow, "SMTP Service (Running)", true);
    } else {
        setRow(kSmtpRow, "SMTP Service (Stopped)", false);
    }
    if (!IsServiceInstalled(kPop3ServiceName)) {
        setRow(kPop3Row, "POP3 Service (Not Installed)", false);
        return;
    }
    if (IsServiceRunning(kPop3ServiceName)) {
        setRow(kPop3Row, "POP3 Service (Running)", true);
    } else {
        setRow(kPop3Row, "POP3 Service (Stopped)", false);
    }
    if (!IsMessageAgentRegistered()) {
        setRow(kPop3Row, "POP3 Service (Not Installed)", false);
        return;
    }
    if (FindAgentBinding(kAgentSinkClass).empty()) {
        setRow(kPop3Row, "POP3 Service (Not Complete)", false);
    }
}

void TPopDlg::GenStatusListBoxDrawItem(int index, const QRect& rect, QStyle::State,
                                       QPainter& canvas) {
    const QString text = GenStatusListBox->ItemText(index);
    canvas.fillRect(rect, canvas.brush());
    for (const StateIcon& icon : kStateIcons) {
        if (text.contains(icon.state)) {
            canvas.drawPixmap(rect.left() + 5, rect.top() + 2, ServerImageList[icon.image]);
        }
    }
    const QRect textRect(rect.left() + 30, rect.top() + 2, rect.width() - 30, rect.height() - 2);
    canvas.drawText(textRect, Qt::AlignLeft | Qt::AlignTop, text);
}

// The menu items as the menu's own handler sets them, then the buttons alike.
void TPopDlg::GenStatusListBoxClick() {
    if (GenStatusListBox->ItemIndex() < 0) return;
    StatusPopupMenuPopup();
    const Actions actions = EnabledFor(GenStatusListBox->ItemText(GenStatusListBox->ItemIndex()));
    StatusStartButton->setEnabled(actions.start);
    StatusStopButton->setEnabled(actions.stop);
    InstallButton->setEnabled(actions.install);
    UnInstallButton->setEnabled(actions.remove);
}

void TPopDlg::StatusPopupMenuPopup() {
    if (GenStatusListBox->ItemIndex() < 0) return;
    const Actions actions = EnabledFor(GenStatusListBox->ItemText(GenStatusListBox->ItemIndex()));
    StatusStart->setEnabled(actions.start);
    StatusStop->setEnabled(actions.stop);
    StatusInstall->setEnabled(actions.install);
    StatusRemove->setEnabled(actions.remove);
}

// The selected row, acted on under the hourglass; the list is rebuilt afterwards.
void TPopDlg::StatusAction(const std::function<void(int row)>& action) {
    const vcl::THourGlass hourGlass;
    const int row = GenStatusListBox->ItemIndex();
    if (row == kSmtpRow || row == kPop3Row) action(row);
    StatusButtonClick();
}

void TPopDlg::StatusStartClick() {
    StatusAction([](int row) {
        StartServiceAndWait(row == kSmtpRow ? kSmtpServiceName : kPop3ServiceName);
    });
}

void TPopDlg::StatusStopClick() {
    StatusAction(
        [](int row) { StopServiceAndWait(row == kSmtpRow ? kSmtpServiceName : kPop3ServiceName); });
}

void TPopDlg::StatusInstallClick() {
    StatusAction([](int row) {
        if (row == kSmtpRow) {
            SetSmtpComponent(true);
        } else if (IsServiceInstalled(kSmtpServiceName)) {
            RegisterMessageAgent();
            InstallPop3Service();
            StartServiceAndWait(kPop3ServiceName);
        } else {
            win::MessageDlg("The SMTP service needs to be installed first.", win::mtCustom,
                            win::mbOK, 0);
        }
    });
}

void TPopDlg::StatusRemoveClick() {
    StatusAction([](int row) {
        if (row == kSmtpRow) {
            SetSmtpComponent(false);
            return;
        }
        UnregisterMessageAgent();
        RemovePop3Service();
    });
}

void TPopDlg::DrawServiceProgress(const std::string& serviceName, std::uint32_t waitTime) {
    vrel::DrawServiceProgress(*GenStatusListBox, progressOffset, serviceName, waitTime);
}

}  // namespace vrel
