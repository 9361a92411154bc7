#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <unordered_map>

namespace zorvex {

class TStringGrid;

// How a cell is being drawn, for owner drawing.
struct TGridDrawState {
    bool selected = false;
    bool focused = false;
    bool fixed = false;
};

// The cells of a TStringGrid: texts stored by (column, row), and for the data
// rows optionally a provider that produces a text on demand. A stored text
// wins over the provider, so a cell typed into keeps what was typed.
class TStringGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TStringGridModel(TStringGrid& grid);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }

private:
    friend class TStringGrid;
    TStringGrid& grid_;
};

// Draws the fixed rows of a grid as its horizontal header, so they stay in
// view while the data rows scroll.
class TFixedRowsHeader final : public QHeaderView {
    Q_OBJECT
public:
    explicit TFixedRowsHeader(TStringGrid& grid);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    TStringGrid& grid_;
};

class TStringGridDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TStringGridDelegate(TStringGrid& grid);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    TStringGrid& grid_;
};

// The one string grid of the program: cells by column and row, fixed rows at
// the top, column widths, a uniform row height, owner drawing after the
// default drawing, and in-place editing that reports every change of text.
// Row numbers count the fixed rows, as the callers' layouts do.
class TStringGrid final : public QTableView {
    Q_OBJECT
public:
    // Text of a data cell (row >= FixedRows) that has no stored text.
    using CellProvider = std::function<QString(int col, int row)>;
    using DrawCellEvent =
        std::function<void(QPainter& canvas, int col, int row, const QRect& rect, const TGridDrawState& state)>;
    using SelectCellEvent = std::function<void(int col, int row)>;
    using SetEditTextEvent = std::function<void(int col, int row, const QString& text)>;
    using EditCellEvent = std::function<bool(int col, int row)>;

    explicit TStringGrid(QWidget* parent = nullptr);
    // The view's public edit(index) stays callable beside the override below.
    using QTableView::edit;

    int ColCount() const { return colCount_; }
    void SetColCount(int count);
    int RowCount() const { return rowCount_; }
    void SetRowCount(int count);
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int count);
    int DataRowCount() const { return rowCount_ > fixedRows_ ? rowCount_ - fixedRows_ : 0; }

    QString Cell(int col, int row) const;
    void SetCell(int col, int row, const QString& text);
    // Empties the stored texts of one row, or of all cells.
    void ClearRow(int row);
    void ClearCells();
    // Drops every stored text of the data rows (the provider shows again)
    // and closes an open in-place editor, whose cell no longer holds what it
    // was opened on.
    void ClearDataCells();
    // Closes the in-place editor, if one is open, without storing its text.
    void CancelEditing();
    bool IsEditing() const { return state() == QAbstractItemView::EditingState; }
    void SetCellProvider(CellProvider provider);

    int ColWidth(int col) const;
    void SetColWidth(int col, int width);
    static constexpr int kDefaultColWidth = 128;
    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultRowHeight(int height);
    // Height the grid needs to show all its rows without scrolling.
    int FullHeight() const;

    QColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(const QColor& color);

    bool EditingEnabled() const { return editing_; }
    void SetEditingEnabled(bool on) { editing_ = on; }
    void SetRowSelect(bool on);

    // The current cell; -1 when there is none.
    int Col() const;
    int Row() const;
    void SetCurrentCell(int col, int row);
    // Rectangle of a cell in the grid widget's own coordinates; a joined
    // cell's rectangle covers all its columns.
    QRect CellRect(int col, int row) const;

    // Joins `count` cells of a data row, from `col` on, into one cell drawn
    // without inner grid lines; only its first column is drawn (text and
    // OnDrawCell) and that over the whole width.
    void SetSpan(int col, int row, int count);
    void ClearSpans();

    // Runs the in-place editing path as typing would: stores the text and
    // reports it through OnSetEditText.
    void EditCellText(int col, int row, const QString& text);

    DrawCellEvent OnDrawCell;
    SelectCellEvent OnSelectCell;
    SetEditTextEvent OnSetEditText;
    // An edit of a data cell was asked for (double click, click on the
    // current cell, F2, typing); returning true means the owner edits that
    // cell its own way (a drop-down list), so no text editor opens there.
    EditCellEvent OnEditCell;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    friend class TStringGridModel;
    friend class TFixedRowsHeader;
    friend class TStringGridDelegate;

    static std::uint64_t Key(int col, int row) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(row)) << 32) | static_cast<std::uint32_t>(col);
    }
    void Reshape(int cols, int rows, int fixed);
    void ApplyWidths();
    void DrawText(QPainter& painter, const QRect& rect, const QString& text) const;

    TStringGridModel* model_;
    TFixedRowsHeader* header_;
    int colCount_ = 5;
    int rowCount_ = 5;
    int fixedRows_ = 1;
    int rowHeight_ = 20;
    bool editing_ = false;
    QColor fixedColor_{239, 239, 239};
    std::unordered_map<std::uint64_t, QString> cells_;
    std::unordered_map<int, int> widths_;
    CellProvider provider_;
};

}  // namespace zorvex
