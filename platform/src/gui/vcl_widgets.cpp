// The radio group and the owner-drawn list box; see vcl.h.
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QStyledItemDelegate>

#include "platform/vcl.h"

namespace vcl {

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent) {
    new QGridLayout(this);
}

void TRadioGroup::SetItems(const QStringList& items) {
    for (QRadioButton* button : buttons_) delete button;
    buttons_.clear();
    itemIndex_ = -1;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(objectName() + QString::number(i));
        connect(button, &QRadioButton::toggled, this, [this, i](bool checked) {
            if (!checked) return;
            if (programmatic_) {
                Select(i);
            } else {
                Guarded([this, i] { Select(i); });
            }
        });
        buttons_.push_back(button);
    }
    Layout();
}

QStringList TRadioGroup::Items() const {
    QStringList items;
    for (const QRadioButton* button : buttons_) items << button->text();
    return items;
}

void TRadioGroup::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(buttons_.size())) index = -1;
    programmatic_ = true;
    if (index >= 0) {
        buttons_[index]->setChecked(true);
    } else if (itemIndex_ >= 0) {
        QRadioButton* checked = buttons_[itemIndex_];
        checked->setAutoExclusive(false);
        checked->setChecked(false);
        checked->setAutoExclusive(true);
        Select(-1);
    }
    programmatic_ = false;
}

void TRadioGroup::SetColumns(int columns) {
    columns_ = std::max(1, columns);
    Layout();
}

QRadioButton* TRadioGroup::Button(int index) const {
    return index >= 0 && index < static_cast<int>(buttons_.size()) ? buttons_[index] : nullptr;
}

// Items fill the columns top to bottom, as the library places them.
void TRadioGroup::Layout() {
    auto* grid = static_cast<QGridLayout*>(layout());
    const int count = static_cast<int>(buttons_.size());
    const int rows = (count + columns_ - 1) / columns_;
    for (int i = 0; i < count; ++i)
        grid->addWidget(buttons_[i], i % std::max(rows, 1), i / std::max(rows, 1));
}

void TRadioGroup::Select(int index) {
    if (index == itemIndex_) return;
    itemIndex_ = index;
    if (OnClick) OnClick();
}

// Prepares the painter as the library prepares the canvas, then lets the owner draw.
class TOwnerDrawListBox::Delegate : public QStyledItemDelegate {
  public:
    explicit Delegate(TOwnerDrawListBox& list) : QStyledItemDelegate(&list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& palette = list_.palette();
        painter->save();
        painter->setBrush(selected ? palette.highlight() : palette.base());
        painter->setPen(selected ? palette.highlightedText().color() : palette.text().color());
        painter->setFont(list_.font());
        if (list_.OnDrawItem) list_.OnDrawItem(index.row(), option.rect, option.state, *painter);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(option.rect.width(), list_.ItemHeight());
    }

  private:
    TOwnerDrawListBox& list_;
};

TOwnerDrawListBox::TOwnerDrawListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new Delegate(*this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QAbstractItemModel* rows = model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, [this] { ClearOverlay(); });
    connect(rows, &QAbstractItemModel::rowsRemoved, this, [this] { ClearOverlay(); });
    connect(rows, &QAbstractItemModel::modelReset, this, [this] { ClearOverlay(); });
    connect(rows, &QAbstractItemModel::dataChanged, this, [this] { ClearOverlay(); });
}

// The list's base class empties the model after this part is gone; the overlay must not hear it.
TOwnerDrawListBox::~TOwnerDrawListBox() {
    model()->disconnect(this);
}

void TOwnerDrawListBox::SetItemHeight(int height) {
    itemHeight_ = height;
    doItemsLayout();
}

void TOwnerDrawListBox::SetItemIndex(int index) {
    if (index < 0 || index >= count()) {
        selectionModel()->clear();
    } else {
        setCurrentRow(index);
    }
}

void TOwnerDrawListBox::AddItem(const QString& text) {
    addItem(text);
}

QString TOwnerDrawListBox::ItemText(int index) const {
    const QListWidgetItem* row = item(index);
    return row ? row->text() : QString();
}

QPainter& TOwnerDrawListBox::Canvas() {
    if (overlay_.isNull()) {
        overlay_ = QImage(viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        overlay_.fill(Qt::transparent);
    }
    if (!canvas_) canvas_ = std::make_unique<QPainter>(&overlay_);
    return *canvas_;
}

void TOwnerDrawListBox::ShowCanvasNow() {
    canvas_.reset();
    viewport()->repaint();
}

void TOwnerDrawListBox::ClearOverlay() {
    if (overlay_.isNull()) return;
    canvas_.reset();
    overlay_ = QImage();
    viewport()->update();
}

void TOwnerDrawListBox::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    if (overlay_.isNull() || canvas_) return;
    QPainter painter(viewport());
    painter.drawImage(0, 0, overlay_);
}

void TOwnerDrawListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (OnClick) Guarded(OnClick);
}

void TOwnerDrawListBox::keyPressEvent(QKeyEvent* event) {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && OnClick) Guarded(OnClick);
}

}  // namespace vcl
