#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace zorvex {

// The seven reference directories that feed the protocol's heading fields.
// Each is a table of the main database; every function here works on
// MainDatabase().
struct TDirectoryDef {
    std::string_view table;
    std::string_view title;  // caption of the editor and the picker
    int historyField;        // the protocol field it feeds, the key of its input history
    // Entry text: %0:s .. %3:s are the entry's columns in table order after `id`.
    std::string_view displayFormat;
    std::array<std::string_view, 4> captions;  // shown columns; unused ones empty
    std::string_view columnList;               // for inserting
    std::string_view orderColumn;

    // Number of leading non-empty captions: the editor's columns.
    int ColumnCount() const;
    // At most three: the columns the picker fills the display format from.
    int PickerColumnCount() const;
};

extern const std::array<TDirectoryDef, 7> kDirectories;
// The definition of a table (exact name), or nullptr.
const TDirectoryDef* FindDirectory(std::string_view table);

// The main window's menu "Справочники", in menu order.
struct TDirectoryMenuItem {
    std::string_view itemName;  // "N27"
    std::string_view caption;
    std::string_view table;
};
extern const std::array<TDirectoryMenuItem, 7> kDirectoryMenu;

// Fills %0:s .. %3:s of `format`; missing arguments are empty texts.
std::string FillDisplayFormat(std::string_view format, const std::vector<std::string>& args);

using TDirectoryRow = std::vector<std::string>;

// What the editor shows: the entries in the directory's order, each with
// ColumnCount() texts (the id left out). `def` is nullptr for an unknown table,
// and then there are no rows.
struct TDirectoryContents {
    const TDirectoryDef* def = nullptr;
    std::vector<TDirectoryRow> rows;
};
TDirectoryContents LoadDirectory(std::string_view table);

// True when a row holds text in any cell after trimming blanks: the editor
// keeps one row without text at its bottom, and saving skips such rows.
bool RowHasText(const TDirectoryRow& row);

// Width of each editor column for a grid of that client width.
int DirectoryColumnWidth(int clientWidth, int columnCount);

// Replaces the directory's entries by `rows` (the editor's rows below its
// header) and records each entry's text in the input history of the field the
// directory feeds, all in one transaction. Cell texts are trimmed; a row
// without text is left out, which is how an entry is deleted. On failure the
// transaction is rolled back, leaving directory and history as they were, and
// the error is raised. Unknown table: nothing happens.
void SaveDirectory(std::string_view table, const std::vector<TDirectoryRow>& rows);

// The picker's items for a table, in the directory's order; empty for an
// unknown table.
std::vector<std::string> PickerItems(std::string_view table);

// The picker's result in multiple choice: the checked items in list order
// with CR LF between them and no break after the last.
std::string ResultText(const std::vector<std::string>& items, const std::vector<bool>& checked);
// Whether "Выбрать" is enabled: in single choice an item is selected
// (`selected` >= 0), in multiple choice at least one item is checked.
bool CanChoose(bool multiSelect, int selected, const std::vector<bool>& checked);

}  // namespace zorvex
