// The log options tree's three-state boxes; see node_check_box.h.
#include "settings/node_check_box.h"

#include <QMouseEvent>
#include <QPainter>

#include "platform/vcl.h"

namespace vrel {
namespace {

constexpr int kBoxSize = 16;
constexpr int kBoxRole = Qt::UserRole;
constexpr int kStatePictureRole = Qt::UserRole + 1;

const QColor kSilver(192, 192, 192);
const QColor kGrey(128, 128, 128);

void SetBoxState(QTreeWidgetItem& node, std::uint8_t state) {
    NodeCheckBox* box = BoxOf(&node);
    box->SetState(state);
    box->update();
}

}  // namespace

int StatePicture(const QTreeWidgetItem& node) {
    return node.data(0, kStatePictureRole).toInt();
}

void SetStatePicture(QTreeWidgetItem& node, int picture) {
    node.setData(0, kStatePictureRole, picture);
}

NodeCheckBox* BoxOf(const QTreeWidgetItem* node) {
    if (!node) return nullptr;
    return reinterpret_cast<NodeCheckBox*>(node->data(0, kBoxRole).value<quintptr>());
}

void AttachBox(QTreeWidgetItem& node, NodeCheckBox* box) {
    node.setData(0, kBoxRole, QVariant::fromValue(reinterpret_cast<quintptr>(box)));
}

bool IsVisible(const QTreeWidgetItem& node) {
    if (node.isHidden()) return false;
    for (const QTreeWidgetItem* parent = node.parent(); parent; parent = parent->parent()) {
        if (!parent->isExpanded() || parent->isHidden()) return false;
    }
    return true;
}

NodeCheckBox::NodeCheckBox(QWidget* owner, QTreeWidgetItem* node) : QWidget(owner), node(node) {
    setObjectName("NodeCheckBox");
    resize(kBoxSize, kBoxSize);
    setCursor(Qt::PointingHandCursor);
    hide();
}

void NodeCheckBox::BoxPaint(QPainter& canvas) {
    if (StatePicture(*node) == 0 || !IsVisible(*node)) return;
    canvas.setBrush(state == kBoxPartial ? kSilver : vcl::WindowColor());
    canvas.setPen(kGrey);
    vcl::Rectangle(canvas, 4, 4, 15, 15);
    vcl::Rectangle(canvas, 3, 3, 14, 14);
    canvas.setPen(Qt::black);
    vcl::Rectangle(canvas, 2, 2, 13, 13);
    if (state != kBoxUnchecked) {
        vcl::Polyline(canvas, {{2, 8}, {5, 11}, {15, 2}, {14, 1}, {6, 9}, {4, 7}, {6, 10}});
    }
}

void NodeCheckBox::BoxClick() {
    const bool checked = state == kBoxUnchecked;
    SetNodeChecked(node, checked);
    UpdateParentChecks(node->parent(), checked);
}

void NodeCheckBox::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    BoxPaint(canvas);
}

void NodeCheckBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        vcl::Guarded([this] { BoxClick(); });
    }
}

void SetNodeChecked(QTreeWidgetItem* node, bool checked) {
    if (!BoxOf(node)) return;
    const std::uint8_t state = checked ? kBoxChecked : kBoxUnchecked;
    SetBoxState(*node, state);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (child->childCount() > 0) SetNodeChecked(child, checked);
        if (BoxOf(child)) SetBoxState(*child, state);
    }
}

bool ChildrenAllInState(const QTreeWidgetItem* node, std::uint8_t state) {
    for (int i = 0; i < node->childCount(); ++i) {
        const NodeCheckBox* box = BoxOf(node->child(i));
        if (box && box->GetState() != state) return false;
    }
    return true;
}

void UpdateParentChecks(QTreeWidgetItem* node, bool checked) {
    if (!BoxOf(node)) return;
    const std::uint8_t state = checked ? kBoxChecked : kBoxUnchecked;
    SetBoxState(*node, ChildrenAllInState(node, state) ? state : kBoxPartial);
    UpdateParentChecks(node->parent(), checked);
}

}  // namespace vrel
