#include <gtest/gtest.h>

#include <QLineEdit>

#include "ui/grid/StringGrid.h"

namespace zorvex {
namespace {

TEST(StringGrid, ProviderFillsDataRowsAndTypedTextWins) {
    TStringGrid grid;
    grid.SetColCount(3);
    grid.SetRowCount(100002);
    grid.SetFixedRows(2);
    grid.SetCell(0, 0, "title");
    int calls = 0;
    grid.SetCellProvider([&calls](int col, int row) {
        ++calls;
        return QString("%1:%2").arg(col).arg(row);
    });
    EXPECT_EQ(grid.Cell(0, 0), "title");  // fixed rows never ask the provider
    EXPECT_EQ(grid.Cell(1, 1), "");
    EXPECT_EQ(grid.Cell(2, 100001), "2:100001");
    EXPECT_EQ(grid.model()->rowCount(), 100000);
    EXPECT_EQ(grid.model()->data(grid.model()->index(0, 1)).toString(), "1:2");

    QString reported;
    grid.OnSetEditText = [&reported](int, int, const QString& text) { reported = text; };
    grid.EditCellText(1, 5, "typed");
    EXPECT_EQ(reported, "typed");
    EXPECT_EQ(grid.Cell(1, 5), "typed");
    grid.ClearDataCells();
    EXPECT_EQ(grid.Cell(1, 5), "1:5");
    EXPECT_EQ(grid.Cell(0, 0), "title");
    EXPECT_GT(calls, 0);
}

TEST(StringGrid, ShapeChangesDropCellsOutsideAndKeepWidths) {
    TStringGrid grid;
    grid.SetColCount(4);
    grid.SetRowCount(4);
    grid.SetFixedRows(2);
    grid.SetColWidth(3, 192);
    grid.SetCell(3, 3, "x");
    grid.SetColCount(2);
    grid.SetColCount(4);
    EXPECT_EQ(grid.Cell(3, 3), "");
    EXPECT_EQ(grid.ColWidth(3), 192);
    EXPECT_EQ(grid.ColWidth(2), TStringGrid::kDefaultColWidth);
    grid.SetRowCount(1);
    EXPECT_EQ(grid.FixedRows(), 1);  // never more fixed rows than rows
    EXPECT_EQ(grid.DataRowCount(), 0);
}

TEST(StringGrid, EditableOnlyWhileEditingIsOn) {
    TStringGrid grid;
    grid.SetColCount(2);
    grid.SetRowCount(3);
    const QModelIndex cell = grid.model()->index(0, 0);
    EXPECT_FALSE(grid.model()->flags(cell).testFlag(Qt::ItemIsEditable));
    grid.SetEditingEnabled(true);
    EXPECT_TRUE(grid.model()->flags(cell).testFlag(Qt::ItemIsEditable));
    int selected = -1;
    grid.OnSelectCell = [&selected](int col, int row) { selected = col * 10 + row; };
    grid.SetCurrentCell(1, 2);
    EXPECT_EQ(selected, 12);
    EXPECT_EQ(grid.Row(), 2);

    // Refilling the rows closes an open editor, so its typing cannot reach the new contents.
    grid.show();
    grid.edit(grid.currentIndex());
    ASSERT_TRUE(grid.IsEditing());
    grid.ClearDataCells();
    EXPECT_FALSE(grid.IsEditing());
}

TEST(StringGrid, TheCellEditorKeepsALongTextWhole) {
    TStringGrid grid;
    grid.SetColCount(1);
    grid.SetRowCount(2);
    grid.SetEditingEnabled(true);
    const QString text(40000, QChar(u'ж'));
    grid.SetCell(0, 1, text);
    grid.show();
    grid.SetCurrentCell(0, 1);
    grid.edit(grid.currentIndex());
    auto* editor = grid.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text().size(), text.size());
    editor->end(false);
    editor->insert(QStringLiteral("!"));  // typing at the end still reaches the cell
    EXPECT_EQ(grid.Cell(0, 1), text + QStringLiteral("!"));
}

}  // namespace
}  // namespace zorvex
