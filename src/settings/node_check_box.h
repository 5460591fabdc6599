// NodeCheckBox: the three-state check box painted beside a node of the log options tree
// (unchecked, partial, checked), and the walks that keep a node, its children and its
// parents agreeing.
//
// A box is a 16 x 16 child of the tree's viewport, attached to its node as the node's data;
// the tree places it from the node's rectangle after layout. GUI thread only.
#pragma once

#include <QTreeWidgetItem>
#include <QWidget>
#include <cstdint>

namespace vrel {

inline constexpr std::uint8_t kBoxUnchecked = 0;
inline constexpr std::uint8_t kBoxPartial = 1;
inline constexpr std::uint8_t kBoxChecked = 2;

// The node's state picture (0: none, no box shown), kept in the node itself.
int StatePicture(const QTreeWidgetItem& node);
void SetStatePicture(QTreeWidgetItem& node, int picture);

class NodeCheckBox : public QWidget {
  public:
    // Hidden until the tree places it; the owner frees it.
    NodeCheckBox(QWidget* owner, QTreeWidgetItem* node);

    QTreeWidgetItem* node;
    std::uint8_t state = kBoxUnchecked;

    // No repaint of their own.
    void SetState(std::uint8_t value) { state = value; }
    std::uint8_t GetState() const { return state; }

    void BoxPaint(QPainter& canvas);
    void BoxClick();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The box attached to the node, or null.
NodeCheckBox* BoxOf(const QTreeWidgetItem* node);
void AttachBox(QTreeWidgetItem& node, NodeCheckBox* box);

// Whether the node and every node above it are expanded into view.
bool IsVisible(const QTreeWidgetItem& node);

void SetNodeChecked(QTreeWidgetItem* node, bool checked);
bool ChildrenAllInState(const QTreeWidgetItem* node, std::uint8_t state);
void UpdateParentChecks(QTreeWidgetItem* node, bool checked);

}  // namespace vrel
