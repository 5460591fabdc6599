// The string grid; see string_grid.h.
#include "settings/string_grid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "settings/form_controls.h"

namespace vrel {

class TStringGrid::Model : public QAbstractTableModel {
  public:
    // Starts with the fixed row alone.
    explicit Model(int colCount, QObject* parent)
        : QAbstractTableModel(parent),
          cols_(colCount),
          keys_(static_cast<std::size_t>(colCount), std::vector<std::size_t>(1, EmptyKey())) {
        rows_.emplace_back(cols_);
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : cols_;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return Ansi(Cell(index.column(), index.row()));
    }
    // The fixed row's texts, which the view's header shows.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= cols_) {
            return {};
        }
        return Ansi(Cell(section, 0));
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        return index.row() == 0 ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

    const std::string& Cell(int col, int row) const { return At(row).cells[Col(col)]; }
    void SetCell(int col, int row, std::string text) {
        const std::size_t c = Col(col);
        keys_[c][static_cast<std::size_t>(row)] = Key(text);
        At(row).cells[c] = std::move(text);
        if (row == 0) emit headerDataChanged(Qt::Horizontal, col, col);
        Changed(row, row);
    }

    int Find(int col, std::string_view text, int first, int last) const {
        const std::size_t key = Key(text);
        const std::vector<std::size_t>& keys = keys_[Col(col)];
        last = std::min(last, rowCount() - 1);
        for (int row = std::max(first, 0); row <= last; ++row) {
            if (keys[static_cast<std::size_t>(row)] == key &&
                win::AnsiSameText(Cell(col, row), text)) {
                return row;
            }
        }
        return -1;
    }
    std::unique_ptr<TObject>& Object(int col, int row) { return At(row).objects[Col(col)]; }
    TObject* Object(int col, int row) const { return At(row).objects[Col(col)].get(); }

    // The fixed row always stays.
    void Resize(int count) {
        const int old = rowCount();
        count = std::max(count, 1);
        if (count > old) {
            beginInsertRows({}, old, count - 1);
            for (int i = old; i < count; ++i) rows_.emplace_back(cols_);
            for (std::vector<std::size_t>& keys : keys_) keys.resize(rows_.size(), EmptyKey());
            endInsertRows();
        } else if (count < old) {
            beginRemoveRows({}, count, old - 1);
            rows_.erase(rows_.begin() + count, rows_.end());
            for (std::vector<std::size_t>& keys : keys_) keys.resize(rows_.size());
            endRemoveRows();
        }
    }

    void Remove(int row) {
        if (row == 0) throw std::out_of_range("the grid's fixed row");
        At(row);
        beginRemoveRows({}, row, row);
        rows_.erase(rows_.begin() + row);
        for (std::vector<std::size_t>& keys : keys_) keys.erase(keys.begin() + row);
        endRemoveRows();
    }

    void Exchange(int a, int b) {
        std::swap(At(a), At(b));
        for (std::vector<std::size_t>& keys : keys_) {
            std::swap(keys[static_cast<std::size_t>(a)], keys[static_cast<std::size_t>(b)]);
        }
        Changed(std::min(a, b), std::max(a, b));
    }

    void BeginUpdate() { ++updating_; }
    void EndUpdate() {
        if (updating_ == 0 || --updating_ > 0 || !pending_) return;
        pending_ = false;
        emit dataChanged(index(0, 0), index(rowCount() - 1, cols_ - 1));
    }

  private:
    struct GridRow {
        explicit GridRow(int cols)
            : cells(static_cast<std::size_t>(cols)), objects(static_cast<std::size_t>(cols)) {}
        std::vector<std::string> cells;
        std::vector<std::unique_ptr<TObject>> objects;
    };

    // A text's search key: equal for texts that are equal without regard to case.
    static std::size_t Key(std::string_view text) {
        return std::hash<std::string>{}(win::AnsiUpperCase(text));
    }
    static std::size_t EmptyKey() {
        static const std::size_t key = Key({});
        return key;
    }

    GridRow& At(int row) { return rows_.at(static_cast<std::size_t>(row)); }
    const GridRow& At(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
    std::size_t Col(int col) const {
        if (col < 0 || col >= cols_) throw std::out_of_range("grid column");
        return static_cast<std::size_t>(col);
    }

    void Changed(int first, int last) {
        if (updating_ > 0) {
            pending_ = true;
            return;
        }
        emit dataChanged(index(first, 0), index(last, cols_ - 1));
    }

    int cols_;
    std::vector<GridRow> rows_;
    // Each column's search keys by row, beside the rows so that a search walks one
    // contiguous array rather than every row's cells.
    std::vector<std::vector<std::size_t>> keys_;
    int updating_ = 0;
    bool pending_ = false;
};

// Draws a cell as the view does, then lets the grid's owner draw over it.
class TStringGrid::Delegate : public QStyledItemDelegate {
  public:
    explicit Delegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        grid_->DrawnCell(index.column(), index.row(), option.rect, *painter);
    }

  private:
    TStringGrid* grid_;
};

// The fixed row: the view's header, a row high, showing row 0 of the model (whose own row is
// hidden in the view) so that it stays in place while the other rows scroll. Its sections
// keep the columns' widths; a click reaches the grid's mouse-up handler as a click on row 0,
// and it never selects or resizes anything.
class TStringGrid::Header : public QHeaderView {
  public:
    explicit Header(TStringGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {
        setSectionsClickable(false);
        setSectionResizeMode(QHeaderView::Fixed);
        setHighlightSections(false);
        setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    QSize sizeHint() const override {
        return {QHeaderView::sizeHint().width(), grid_->verticalHeader()->defaultSectionSize()};
    }

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        grid_->DrawnCell(logicalIndex, 0, rect, *painter);
    }
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseMoveEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (grid_->OnMouseUp) {
            grid_->OnMouseUp(event->button(), logicalIndexAt(event->position().toPoint()), 0);
        }
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && grid_->OnDblClick) grid_->OnDblClick();
    }

  private:
    TStringGrid* grid_;
};

TStringGrid::TStringGrid(int colCount, QWidget* parent)
    : QTableView(parent), model_(new Model(colCount, this)) {
    setHorizontalHeader(new Header(this));
    setModel(model_);
    setItemDelegate(new Delegate(this));
    verticalHeader()->hide();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    model_->Resize(2);
    setRowHidden(0, true);
}

TStringGrid::~TStringGrid() = default;

int TStringGrid::ColCount() const {
    return model_->columnCount();
}

int TStringGrid::RowCount() const {
    return model_->rowCount();
}

void TStringGrid::SetRowCount(int count) {
    model_->Resize(count);
}

const std::string& TStringGrid::Cell(int col, int row) const {
    return model_->Cell(col, row);
}

void TStringGrid::SetCell(int col, int row, std::string text) {
    model_->SetCell(col, row, std::move(text));
}

TObject* TStringGrid::Object(int col, int row) const {
    return static_cast<const Model*>(model_)->Object(col, row);
}

void TStringGrid::SetObject(int col, int row, std::unique_ptr<TObject> object) {
    model_->Object(col, row) = std::move(object);
}

int TStringGrid::FindText(int col, std::string_view text, int first, int last) const {
    return model_->Find(col, text, first, last);
}

void TStringGrid::DeleteRow(int row) {
    model_->Remove(row);
}

void TStringGrid::ExchangeRows(int a, int b) {
    model_->Exchange(a, b);
}

void TStringGrid::BeginUpdate() {
    model_->BeginUpdate();
}

void TStringGrid::EndUpdate() {
    model_->EndUpdate();
}

int TStringGrid::Row() const {
    const QModelIndex current = currentIndex();
    return current.isValid() && current.row() > 0 ? current.row() : 1;
}

void TStringGrid::SetRow(int row) {
    SetSelection({row, row});
}

TGridRect TStringGrid::Selection() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) return {Row(), Row()};
    TGridRect selection{rows.front().row(), rows.front().row()};
    for (const QModelIndex& index : rows) {
        selection.Top = std::min(selection.Top, index.row());
        selection.Bottom = std::max(selection.Bottom, index.row());
    }
    return selection;
}

void TStringGrid::SetSelection(TGridRect rows) {
    if (rows.Top < 1 || rows.Bottom < rows.Top || rows.Bottom >= RowCount()) return;
    selectionModel()->setCurrentIndex(model_->index(rows.Top, 0), QItemSelectionModel::NoUpdate);
    selectionModel()->select(
        QItemSelection(model_->index(rows.Top, 0), model_->index(rows.Bottom, ColCount() - 1)),
        QItemSelectionModel::ClearAndSelect);
}

void TStringGrid::SetColWidth(int col, int width) {
    setColumnWidth(col, width);
}

void TStringGrid::SetDefaultRowHeight(int height) {
    verticalHeader()->setMinimumSectionSize(height);
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->updateGeometry();
    updateGeometries();
}

// The fixed row lies above the viewport, so its cells have negative tops here.
QRect TStringGrid::CellRect(int col, int row) const {
    if (row != 0) return visualRect(model_->index(row, col));
    const QHeaderView& header = *horizontalHeader();
    const QPoint origin = viewport()->mapFrom(this, header.viewport()->mapTo(this, QPoint()));
    return {origin.x() + header.sectionViewportPosition(col), origin.y(), header.sectionSize(col),
            header.height()};
}

void TStringGrid::DrawnCell(int col, int row, const QRect& rect, QPainter& canvas) const {
    if (!OnDrawCell) return;
    canvas.save();
    OnDrawCell(col, row, rect, canvas);
    canvas.restore();
}

// Only the left button selects; the right button opens the popup over the current row.
void TStringGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (OnMouseUp) {
        OnMouseUp(event->button(), index.isValid() ? index.column() : -1,
                  index.isValid() ? index.row() : -1);
    }
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick();
}

}  // namespace vrel
