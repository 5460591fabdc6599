// The log options dialog and the main window's "Properties ..." button; see
// log_file_options_form.h.
#include "settings/log_file_options_form.h"

#include <QHideEvent>
#include <QPainter>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyleOptionViewItem>

#include "common/settings_key.h"
#include "platform/help.h"
#include "platform/vcl.h"
#include "settings/artwork.h"
#include "settings/form_controls.h"
#include "settings/node_check_box.h"
#include "settings/pop_dlg.h"

namespace vrel {

TLogFileOptionsForm* LogFileOptionsForm = nullptr;

namespace {

constexpr int kImageSize = 16;
// The state picture sits left of the node's picture, as a tree with state images draws it.
constexpr int kStateGap = 4;
constexpr int kIconWidth = kImageSize + kStateGap + kImageSize;
// From the text's left edge back to the state picture, where the box is placed.
constexpr int kBoxOffset = 36;

constexpr std::int32_t kLoginFull = 62;
constexpr std::int32_t kMessageFull = 30;

// The node's state picture and picture side by side, as one icon.
QIcon NodeIcon(const std::array<QPixmap, 5>& images, int image, int statePicture) {
    QPixmap pixmap(kIconWidth, kImageSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.drawPixmap(0, 0, images[static_cast<std::size_t>(statePicture)]);
    painter.drawPixmap(kImageSize + kStateGap, 0, images[static_cast<std::size_t>(image)]);
    return QIcon(pixmap);
}

std::uint8_t EventState(std::int32_t mask, std::int32_t full) {
    if (mask == 0) return kBoxUnchecked;
    return mask > full ? kBoxChecked : kBoxPartial;
}

// The event's fields folded back into a mask, field i as bit i; frees the boxes.
std::int32_t FoldEvent(QTreeWidgetItem& event) {
    std::int32_t mask = 0;
    for (int i = event.childCount() - 1; i >= 0; --i) {
        QTreeWidgetItem& field = *event.child(i);
        NodeCheckBox* box = BoxOf(&field);
        if (!box) continue;
        mask = (mask << 1) + (box->GetState() != kBoxUnchecked ? 1 : 0);
        delete box;
        AttachBox(field, nullptr);
    }
    delete BoxOf(&event);
    AttachBox(event, nullptr);
    return mask;
}

// The rectangle of the node's text, as the tree's style lays the row out.
QRect TextRect(const QTreeWidget& tree, QTreeWidgetItem* node) {
    QStyleOptionViewItem option;
    option.initFrom(&tree);
    option.rect = tree.visualItemRect(node);
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = tree.iconSize();
    option.icon = node->icon(0);
    option.text = node->text(0);
    option.font = tree.font();
    option.fontMetrics = tree.fontMetrics();
    return tree.style()->subElementRect(QStyle::SE_ItemViewItemText, &option, &tree);
}

}  // namespace

TLogFileOptionsForm::TLogFileOptionsForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::WindowStaysOnTopHint) {
    setObjectName("LogFileOptionsForm");
    setWindowTitle("LogFile Options");
    vcl::SetHelpContext(*this, 11020);
    setFixedSize(kLogFileOptionsClientWidth, kLogFileOptionsClientHeight);
    Label1 = MakeLabel(this, "Label1", "Select the Log File Options", {8, 8});
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 28, 276, 270);
    LogFileTreeView = new QTreeWidget(Panel1);
    LogFileTreeView->setObjectName("LogFileTreeView");
    LogFileTreeView->setGeometry(Panel1->contentsRect());
    LogFileTreeView->setHeaderHidden(true);
    LogFileTreeView->setIndentation(19);
    LogFileTreeView->setIconSize(QSize(kIconWidth, kImageSize));
    LogFileTreeView->setSortingEnabled(false);
    LogFileTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LogFileTreeView->setToolTip("Click a box to choose the fields written to the log file.");
    LogFileImageList = LogFileImages();

    UpdateButton = MakeButton(this, "UpdateButton", "OK", {48, 308});
    SetHint(*UpdateButton, "Close dialog and update list");
    UpdateButton->setEnabled(false);
    UpdateButton->setDefault(true);
    CancelButton = MakeButton(this, "CancelButton", "Cancel", {128, 308});
    SetHint(*CancelButton, "Cancel with no changes");
    HelpButton = MakeButton(this, "HelpButton", "Help", {208, 308});
    vcl::SetHelpContext(*HelpButton, 11020);

    connect(UpdateButton, &QPushButton::clicked, this, [this] { vcl::EndModal(*this, vcl::mrOk); });
    connect(CancelButton, &QPushButton::clicked, this,
            [this] { vcl::EndModal(*this, vcl::mrCancel); });
    Bind(HelpButton, &QPushButton::clicked, this, &TLogFileOptionsForm::HelpButtonClick);
    for (auto signal : {&QTreeWidget::itemExpanded, &QTreeWidget::itemCollapsed}) {
        Bind(LogFileTreeView, signal, this, &TLogFileOptionsForm::PlaceBoxes);
    }
    Bind(LogFileTreeView->verticalScrollBar(), &QScrollBar::valueChanged, this,
         &TLogFileOptionsForm::PlaceBoxes);
    Bind(LogFileTreeView->horizontalScrollBar(), &QScrollBar::valueChanged, this,
         &TLogFileOptionsForm::PlaceBoxes);
}

QTreeWidgetItem* TLogFileOptionsForm::AddNode(QTreeWidgetItem* parent, const char* text, int image,
                                              int statePicture) {
    auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(LogFileTreeView);
    node->setText(0, text);
    node->setIcon(0, NodeIcon(LogFileImageList, image, statePicture));
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    SetStatePicture(*node, statePicture);
    return node;
}

void TLogFileOptionsForm::AddEvent(QTreeWidgetItem* root, const char* name, std::int32_t mask,
                                   std::int32_t full, std::initializer_list<const char*> fields) {
    QTreeWidgetItem* event = AddNode(root, name, 1, 3);
    auto* eventBox = new NodeCheckBox(LogFileTreeView->viewport(), event);
    AttachBox(*event, eventBox);
    eventBox->SetState(EventState(mask, full));
    for (const char* fieldName : fields) {
        QTreeWidgetItem* field = AddNode(event, fieldName, 2, 3);
        const bool bit = (mask & 1) != 0;
        mask >>= 1;
        auto* box = new NodeCheckBox(LogFileTreeView->viewport(), field);
        box->SetState(bit ? kBoxChecked : kBoxUnchecked);
        AttachBox(*field, box);
    }
}

void TLogFileOptionsForm::FormShow() {
    const vcl::THourGlass hourGlass;
    const std::int32_t login = loginMask;
    const std::int32_t logout = logoutMask;
    const std::int32_t message = messageMask;
    UpdateButton->setEnabled(true);
    LogFileTreeView->clear();
    update();
    QTreeWidgetItem* root = AddNode(nullptr, "Log File Options", 4, 0);
    const auto sessionFields = {"Date/Time",  "Event",    "Username",
                                "IP address", "Hostname", "Message Count"};
    AddEvent(root, "Login Event", login, kLoginFull, sessionFields);
    LogFileTreeView->setCurrentItem(root->child(0));
    AddEvent(root, "Logout Event", logout, kLoginFull, sessionFields);
    AddEvent(root, "Message Event", message, kMessageFull,
             {"Date/Time", "Event", "IP address", "From: address", "Recipient List"});
    // Every field in view at once, so the choice needs no expanding first.
    LogFileTreeView->expandAll();
    PlaceBoxes();
}

void TLogFileOptionsForm::FormClose() {
    QTreeWidgetItem* root = LogFileTreeView->topLevelItem(0);
    if (!root) return;
    std::int32_t* masks[] = {&loginMask, &logoutMask, &messageMask};
    for (int i = 0; i < root->childCount() && i < 3; ++i) *masks[i] = FoldEvent(*root->child(i));
    LogFileTreeView->clear();
}

void TLogFileOptionsForm::LogFileTreeViewCustomDrawItem(QTreeWidgetItem* node) {
    NodeCheckBox* box = BoxOf(node);
    if (!box || StatePicture(*node) == 0 || !IsVisible(*node)) return;
    const QRect text = TextRect(*LogFileTreeView, node);
    box->move(text.left() - kBoxOffset, text.top());
    box->show();
}

void TLogFileOptionsForm::PlaceBoxes() {
    for (QTreeWidgetItemIterator it(LogFileTreeView); *it; ++it) {
        QTreeWidgetItem* node = *it;
        NodeCheckBox* box = BoxOf(node);
        if (box && !IsVisible(*node)) box->hide();
        LogFileTreeViewCustomDrawItem(node);
    }
}

void TLogFileOptionsForm::HelpButtonClick() {
    win::HelpContext(11025);
}

void TLogFileOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    if (const QWidget* owner = parentWidget()) {
        move(owner->geometry().center() - rect().center());
    }
    vcl::Guarded([this] { FormShow(); });
}

void TLogFileOptionsForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;
    vcl::Guarded([this] { FormClose(); });
}

void TLogFileOptionsForm::LoadStoredMasks() {
    loginMask = GetLoginEventLogOption();
    logoutMask = GetLogoutEventLogOption();
    messageMask = GetMessageEventLogOption();
}

void TPopDlg::LogFilePropButtonClick() {
    if (vcl::ShowModal(*LogFileOptionsForm) == vcl::mrOk) {
        ApplyButton->setEnabled(true);
        return;
    }
    LogFileOptionsForm->LoadStoredMasks();
}

}  // namespace vrel
