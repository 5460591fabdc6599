// The Setup Wizard page of TPopDlg as the form lays it out, before the wizard builds a step:
// the panel with its heading, memo, domain edit and the row of buttons. The buttons on the
// right and the lower bevel keep their distance to the panel's bottom right corner, and the
// bevels stretch with its width.
#include <QEvent>
#include <QVBoxLayout>

#include "settings/pop_dlg.h"

namespace vrel {
namespace {

// The panel's size in the form; anchored controls keep their distances to its edges.
constexpr QSize kDesignPanel(651, 328);

QFrame* MakeBevel(QWidget* panel, const char* name, QRect geometry) {
    auto* bevel = new QFrame(panel);
    bevel->setObjectName(name);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(geometry);
    return bevel;
}

// Moves and stretches the anchored controls of the wizard panel whenever it is resized.
class WizardAnchors : public QObject {
  public:
    explicit WizardAnchors(TPopDlg& form) : QObject(form.WizPanel), form_(form) {
        form.WizPanel->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) Anchor();
        return false;
    }

  private:
    void Anchor() {
        const QSize grow = form_.WizPanel->size() - kDesignPanel;
        form_.Bevel1->setGeometry(8, 40, 635 + grow.width(), 2);
        form_.Bevel2->setGeometry(8, 279 + grow.height(), 635 + grow.width(), 2);
        const int buttonTop = 295 + grow.height();
        form_.WizPrevButton->move(408 + grow.width(), buttonTop);
        form_.WizNextButton->move(488 + grow.width(), buttonTop);
        form_.WizFinishButton->move(568 + grow.width(), buttonTop);
    }

    TPopDlg& form_;
};

}  // namespace

void TPopDlg::BuildWizardTab() {
    WizardTab = new QWidget;
    WizardTab->setObjectName("WizardTab");
    PageControl->AddPage(WizardTab, "Setup Wizard", 14000, {});

    WizPanel = new QFrame(WizardTab);
    WizPanel->setObjectName("WizPanel");
    WizPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    WizPanel->setAutoFillBackground(true);
    WizPanel->setBackgroundRole(QPalette::Base);
    WizStepLabel = MakeLabel(WizPanel, "WizStepLabel", "Step: ", {17, 17});
    QFont heading = WizStepLabel->font();
    heading.setBold(true);
    heading.setPixelSize(16);
    WizStepLabel->setFont(heading);
    WizStepLabel->resize(600, 20);
    Bevel1 = MakeBevel(WizPanel, "Bevel1", {8, 40, 635, 2});
    WizMemo = new QPlainTextEdit(WizPanel);
    WizMemo->setObjectName("WizMemo");
    WizMemo->setGeometry(168, 56, 408, 169);
    WizMemo->setFrameShape(QFrame::NoFrame);
    WizMemo->setReadOnly(true);
    WizDomainEdit = MakeEdit(WizPanel, "WizDomainEdit", "", {68, 232, 357, 21});
    WizDomainEdit->hide();
    WizDomainAddButton = MakeButton(WizPanel, "WizDomainAddButton", "Add", {448, 230});
    WizDomainAddButton->hide();
    WizDomainAddButton->setEnabled(false);
    WizNextLabel =
        MakeLabel(WizPanel, "WizNextLabel", "Click the Next button to continue.", {16, 264});
    QFont bold = WizNextLabel->font();
    bold.setBold(true);
    WizNextLabel->setFont(bold);
    WizNextLabel->adjustSize();
    Bevel2 = MakeBevel(WizPanel, "Bevel2", {8, 279, 635, 2});
    WizStartButton = MakeButton(WizPanel, "WizStartButton", "Start SMTP Server", {16, 295}, 137);
    WizStartButton->hide();
    WizPrevButton = MakeButton(WizPanel, "WizPrevButton", "Previous", {408, 295});
    WizNextButton = MakeButton(WizPanel, "WizNextButton", "Next", {488, 295});
    WizFinishButton = MakeButton(WizPanel, "WizFinishButton", "Finish", {568, 295});
    new WizardAnchors(*this);
    auto* fill = new QVBoxLayout(WizardTab);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(WizPanel);
}

}  // namespace vrel
