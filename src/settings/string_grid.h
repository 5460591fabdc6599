// TStringGrid: the component library's string grid as the settings window's alias page uses
// it, over a QTableView and a model of its own. Row 0 is the fixed header row and counts in
// RowCount; the view shows it as its header, so it stays in place while the other rows
// scroll, and its clicks and painting reach the same events as any cell's. Every cell holds
// an 8-bit (Windows-1252) text and may hold an object that the grid owns, released with its
// row. A row exchange, or a whole run of them between BeginUpdate and EndUpdate, reaches the
// view as one change, so sorting thousands of rows does not repaint per swap.
//
// GUI thread only. The events are std::function members; the window runs them inside its
// exception guard.
#pragma once

#include <QStyle>
#include <QTableView>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QPainter;

namespace vrel {

// The library's base object: what a cell's Objects entry holds.
class TObject {
  public:
    virtual ~TObject() = default;
};

// The selected rows, top to bottom (the current row when nothing else is selected).
struct TGridRect {
    int Top = 0;
    int Bottom = 0;
};

class TStringGrid : public QTableView {
  public:
    using DrawCellHandler =
        std::function<void(int col, int row, const QRect& rect, QPainter& canvas)>;
    using MouseUpHandler = std::function<void(Qt::MouseButton button, int col, int row)>;

    TStringGrid(int colCount, QWidget* parent);
    ~TStringGrid() override;

    int ColCount() const;
    int RowCount() const;
    // Rows added at the end are empty; rows taken from the end release their objects. The
    // fixed row always stays.
    void SetRowCount(int count);

    const std::string& Cell(int col, int row) const;
    void SetCell(int col, int row, std::string text);
    TObject* Object(int col, int row) const;
    void SetObject(int col, int row, std::unique_ptr<TObject> object);

    // The first row from first to last whose text in the column equals the text without
    // regard to case (the locale's rule); -1 when none does.
    int FindText(int col, std::string_view text, int first, int last) const;

    // Removes a data row; the rows below move up, with their objects.
    void DeleteRow(int row);
    // Swaps two rows whole: texts and objects.
    void ExchangeRows(int a, int b);
    // Between these, changes reach the view once, at EndUpdate.
    void BeginUpdate();
    void EndUpdate();

    // The current row (1 or more; the fixed row is never current). Setting it also makes
    // it the selection.
    int Row() const;
    void SetRow(int row);
    TGridRect Selection() const;
    void SetSelection(TGridRect rows);

    void SetColWidth(int col, int width);
    void SetDefaultRowHeight(int height);
    // The rectangle of a cell in the viewport's coordinates (the fixed row's lie above it).
    QRect CellRect(int col, int row) const;

    // Runs after the grid has drawn a cell (texts, fixed-row face, selection), with the
    // cell's rectangle in the coordinates of the widget being painted.
    DrawCellHandler OnDrawCell;
    MouseUpHandler OnMouseUp;
    std::function<void()> OnDblClick;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    class Model;
    class Delegate;
    class Header;
    void DrawnCell(int col, int row, const QRect& rect, QPainter& canvas) const;
    Model* model_;
};

}  // namespace vrel
