#include "ui/grid/StringGrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <algorithm>
#include <limits>
#include <vector>

namespace zorvex {

// ---- model ----------------------------------------------------------------

TStringGridModel::TStringGridModel(TStringGrid& grid) : QAbstractTableModel(&grid), grid_(grid) {}

int TStringGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.DataRowCount();
}

int TStringGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.colCount_;
}

QVariant TStringGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    return grid_.Cell(index.column(), index.row() + grid_.fixedRows_);
}

bool TStringGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) return false;
    grid_.SetCell(index.column(), index.row() + grid_.fixedRows_, value.toString());
    return true;
}

Qt::ItemFlags TStringGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (grid_.editing_) f |= Qt::ItemIsEditable;
    return f;
}

// ---- fixed rows -----------------------------------------------------------

TFixedRowsHeader::TFixedRowsHeader(TStringGrid& grid) : QHeaderView(Qt::Horizontal, &grid), grid_(grid) {
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultSectionSize(TStringGrid::kDefaultColWidth);
    setMinimumSectionSize(1);
}

QSize TFixedRowsHeader::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    size.setHeight(grid_.fixedRows_ * grid_.rowHeight_);
    return size;
}

void TFixedRowsHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    const QPen gridPen(QColor(160, 160, 160));
    for (int row = 0; row < grid_.fixedRows_; ++row) {
        const QRect cell(rect.left(), rect.top() + row * grid_.rowHeight_, rect.width(), grid_.rowHeight_);
        painter->save();
        painter->fillRect(cell, grid_.fixedColor_);
        painter->setPen(Qt::black);
        grid_.DrawText(*painter, cell, grid_.Cell(logicalIndex, row));
        painter->setPen(gridPen);
        painter->drawLine(cell.topRight(), cell.bottomRight());
        painter->drawLine(cell.bottomLeft(), cell.bottomRight());
        painter->restore();
        if (grid_.OnDrawCell) {
            painter->save();
            TGridDrawState state;
            state.fixed = true;
            grid_.OnDrawCell(*painter, logicalIndex, row, cell, state);
            painter->restore();
        }
    }
}

// ---- delegate -------------------------------------------------------------

TStringGridDelegate::TStringGridDelegate(TStringGrid& grid) : QStyledItemDelegate(&grid), grid_(grid) {}

void TStringGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int col = index.column();
    const int row = index.row() + grid_.fixedRows_;
    TGridDrawState state;
    state.selected = option.state.testFlag(QStyle::State_Selected);
    state.focused = option.state.testFlag(QStyle::State_HasFocus);
    painter->save();
    painter->fillRect(option.rect, state.selected ? option.palette.highlight() : option.palette.base());
    painter->setPen(state.selected ? option.palette.highlightedText().color() : option.palette.text().color());
    grid_.DrawText(*painter, option.rect, grid_.Cell(col, row));
    painter->restore();
    if (grid_.OnDrawCell) {
        painter->save();
        painter->setPen(state.selected ? option.palette.highlightedText().color() : option.palette.text().color());
        grid_.OnDrawCell(*painter, col, row, option.rect, state);
        painter->restore();
    }
}

QWidget* TStringGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                           const QModelIndex& index) const {
    auto* editor = new QLineEdit(parent);
    // Qt's default limit of 32,767 characters would cut a longer cell silently.
    editor->setMaxLength(std::numeric_limits<int>::max());
    editor->setFrame(false);
    const int col = index.column();
    const int row = index.row() + grid_.fixedRows_;
    TStringGrid* grid = &grid_;
    QObject::connect(editor, &QLineEdit::textEdited, editor,
                     [grid, col, row](const QString& text) { grid->EditCellText(col, row, text); });
    return editor;
}

void TStringGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    static_cast<QLineEdit*>(editor)->setText(grid_.Cell(index.column(), index.row() + grid_.fixedRows_));
}

void TStringGridDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const {
    // Every change was stored and reported while typing; only keep the text.
    grid_.SetCell(index.column(), index.row() + grid_.fixedRows_, static_cast<QLineEdit*>(editor)->text());
}

// ---- grid -----------------------------------------------------------------

TStringGrid::TStringGrid(QWidget* parent) : QTableView(parent) {
    model_ = new TStringGridModel(*this);
    header_ = new TFixedRowsHeader(*this);
    setHorizontalHeader(header_);
    setModel(model_);
    setItemDelegate(new TStringGridDelegate(*this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    rowHeight_ = fontMetrics().height() + 6;
    verticalHeader()->setDefaultSectionSize(rowHeight_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    ApplyWidths();
}

void TStringGrid::Reshape(int cols, int rows, int fixed) {
    cols = std::max(cols, 0);
    rows = std::max(rows, 0);
    fixed = std::clamp(fixed, 0, rows);
    if (cols == colCount_ && rows == rowCount_ && fixed == fixedRows_) return;
    const int oldCol = Col();
    const int oldRow = Row();
    model_->BeginReset();
    colCount_ = cols;
    rowCount_ = rows;
    fixedRows_ = fixed;
    if (!cells_.empty()) {
        std::vector<std::uint64_t> gone;
        for (const auto& [key, text] : cells_) {
            const int col = static_cast<int>(key & 0xFFFFFFFFu);
            const int row = static_cast<int>(key >> 32);
            if (col >= cols || row >= rows) gone.push_back(key);
        }
        for (const auto key : gone) cells_.erase(key);
    }
    model_->EndReset();
    header_->setVisible(fixedRows_ > 0);
    ApplyWidths();
    updateGeometries();
    header_->viewport()->update();
    if (oldRow >= fixedRows_ && oldRow < rowCount_ && oldCol >= 0 && oldCol < colCount_) {
        SetCurrentCell(oldCol, oldRow);
    }
}

void TStringGrid::SetColCount(int count) {
    Reshape(count, rowCount_, fixedRows_);
}
void TStringGrid::SetRowCount(int count) {
    Reshape(colCount_, count, fixedRows_);
}
void TStringGrid::SetFixedRows(int count) {
    Reshape(colCount_, rowCount_, count);
}

QString TStringGrid::Cell(int col, int row) const {
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return {};
    const auto it = cells_.find(Key(col, row));
    if (it != cells_.end()) return it->second;
    if (provider_ && row >= fixedRows_) return provider_(col, row);
    return {};
}

void TStringGrid::SetCell(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return;
    cells_[Key(col, row)] = text;
    if (row < fixedRows_) {
        header_->viewport()->update();
    } else {
        const QModelIndex index = model_->index(row - fixedRows_, col);
        emit model_->dataChanged(index, index);
    }
}

void TStringGrid::ClearRow(int row) {
    for (int col = 0; col < colCount_; ++col) cells_.erase(Key(col, row));
    if (row < fixedRows_) {
        header_->viewport()->update();
    } else if (row < rowCount_ && colCount_ > 0) {
        emit model_->dataChanged(model_->index(row - fixedRows_, 0), model_->index(row - fixedRows_, colCount_ - 1));
    }
}

void TStringGrid::ClearCells() {
    cells_.clear();
    header_->viewport()->update();
    viewport()->update();
}

void TStringGrid::CancelEditing() {
    if (state() != QAbstractItemView::EditingState) return;
    if (QWidget* editor = indexWidget(currentIndex())) closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void TStringGrid::ClearDataCells() {
    CancelEditing();
    std::erase_if(cells_, [this](const auto& item) { return static_cast<int>(item.first >> 32) >= fixedRows_; });
    viewport()->update();
}

void TStringGrid::SetCellProvider(CellProvider provider) {
    provider_ = std::move(provider);
    viewport()->update();
}

int TStringGrid::ColWidth(int col) const {
    const auto it = widths_.find(col);
    return it == widths_.end() ? kDefaultColWidth : it->second;
}

void TStringGrid::SetColWidth(int col, int width) {
    if (col < 0) return;
    widths_[col] = width;
    if (col < colCount_) header_->resizeSection(col, width);
}

void TStringGrid::ApplyWidths() {
    for (int col = 0; col < colCount_; ++col) header_->resizeSection(col, ColWidth(col));
}

void TStringGrid::SetDefaultRowHeight(int height) {
    rowHeight_ = std::max(height, 1);
    verticalHeader()->setDefaultSectionSize(rowHeight_);
    updateGeometries();
}

int TStringGrid::FullHeight() const {
    return fixedRows_ * rowHeight_ + DataRowCount() * rowHeight_ + 2 * frameWidth() + 1;
}

void TStringGrid::SetFixedColor(const QColor& color) {
    fixedColor_ = color;
    header_->viewport()->update();
}

void TStringGrid::SetRowSelect(bool on) {
    setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    const QModelIndex current = currentIndex();
    if (current.isValid()) {
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect |
                                              (on ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
    }
}

int TStringGrid::Col() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.column() : -1;
}

int TStringGrid::Row() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() + fixedRows_ : -1;
}

void TStringGrid::SetCurrentCell(int col, int row) {
    if (col < 0 || col >= colCount_ || row < fixedRows_ || row >= rowCount_) return;
    const QModelIndex index = model_->index(row - fixedRows_, col);
    setCurrentIndex(index);
    scrollTo(index);
}

QRect TStringGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount_) return {};
    if (row < fixedRows_) {
        const int x = header_->sectionViewportPosition(col);
        return QRect(header_->geometry().left() + x, header_->geometry().top() + row * rowHeight_, ColWidth(col),
                     rowHeight_);
    }
    const QRect rect = visualRect(model_->index(row - fixedRows_, col));
    return rect.translated(viewport()->geometry().topLeft());
}

void TStringGrid::SetSpan(int col, int row, int count) {
    if (col < 0 || count < 1 || col + count > colCount_ || row < fixedRows_ || row >= rowCount_) return;
    setSpan(row - fixedRows_, col, 1, count);
}

void TStringGrid::ClearSpans() {
    clearSpans();
}

void TStringGrid::EditCellText(int col, int row, const QString& text) {
    SetCell(col, row, text);
    if (OnSetEditText) OnSetEditText(col, row, text);
}

void TStringGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid() && OnSelectCell) OnSelectCell(current.column(), current.row() + fixedRows_);
}

bool TStringGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // A plain press or a current-cell change only passes the event on to the delegate.
    const bool editRequest =
        trigger == AllEditTriggers || (trigger != NoEditTriggers && editTriggers().testFlag(trigger));
    if (editRequest && index.isValid() && OnEditCell && OnEditCell(index.column(), index.row() + fixedRows_)) {
        return true;
    }
    return QTableView::edit(index, trigger, event);
}

void TStringGrid::DrawText(QPainter& painter, const QRect& rect, const QString& text) const {
    if (text.isEmpty()) return;
    painter.drawText(rect.adjusted(2, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

}  // namespace zorvex
