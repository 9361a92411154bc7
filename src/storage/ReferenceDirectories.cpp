#include "storage/ReferenceDirectories.h"

#include <algorithm>
#include <cctype>

#include "storage/AuditLog.h"
#include "storage/InputHistory.h"
#include "storage/SQLiteDatabase.h"
#include "storage/Utilities.h"

namespace zorvex {

const std::array<TDirectoryDef, 7> kDirectories = {{
    {"devices",
     "Измерительные приборы",
     5,
     "%0:s (зав. №%1:s, рег. №%2:s)",
     {"Тип прибора", "Зав. номер", "Номер в гос. реестре", "Дата поверки"},
     "kind, plantnumber, regnumber, checkdate",
     "regnumber"},
    {"techdocs", "Нормативно-техниеские документы", 6, "%0:s", {"Наименование", "", "", ""}, "name", "name"},
    {"orgs", "Предприятия", 1, "%0:s ИНН %2:s", {"Название", "Адрес", "ИНН", ""}, "name, address, inn", "name"},
    {"presenters", "Представители объектов", 2, "%0:s", {"Представитель", "", "", ""}, "name", "name"},
    {"workplaces", "Рабочие места", 7, "%0:s %1:s", {"Наименование", "Коды", "", ""}, "name, code", "name"},
    {"checkplaces", "Места проведения измерений и оценки", 8, "%0:s", {"Наименоваание", "", "", ""}, "name", "name"},
    {"checkgoals", "Цели проведения измерений и оценки", 3, "%0:s", {"Цель", "", "", ""}, "name", "name"},
}};

const std::array<TDirectoryMenuItem, 7> kDirectoryMenu = {{
    {"N27", "Измерительные приборы", "devices"},
    {"N28", "Нормативно-технические документы", "techdocs"},
    {"N29", "Организации", "orgs"},
    {"N30", "Представители объектов", "presenters"},
    {"N31", "Места проведения измерений и оценки", "checkplaces"},
    {"N32", "Наименования и коды подразделений рабочих мест", "workplaces"},
    {"N33", "Цели проведения измерений и оценки", "checkgoals"},
}};

int TDirectoryDef::ColumnCount() const {
    int count = 0;
    while (count < static_cast<int>(captions.size()) && !captions[count].empty()) ++count;
    return count;
}

int TDirectoryDef::PickerColumnCount() const {
    return std::min(ColumnCount(), 3);
}

const TDirectoryDef* FindDirectory(std::string_view table) {
    for (const TDirectoryDef& def : kDirectories)
        if (def.table == table) return &def;
    return nullptr;
}

std::string FillDisplayFormat(std::string_view format, const std::vector<std::string>& args) {
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        // "%N:s" with one digit N; anything else is copied as it stands.
        if (format[i] == '%' && i + 3 < format.size() && std::isdigit(static_cast<unsigned char>(format[i + 1])) &&
            format[i + 2] == ':' && format[i + 3] == 's') {
            const std::size_t index = static_cast<std::size_t>(format[i + 1] - '0');
            if (index < args.size()) out += args[index];
            i += 3;
        } else {
            out += format[i];
        }
    }
    return out;
}

namespace {

std::string SelectSql(const TDirectoryDef& def) {
    return "select * from " + std::string(def.table) + " order by " + std::string(def.orderColumn);
}

// The first `count` columns after `id` of every entry.
std::vector<TDirectoryRow> ReadEntries(const TDirectoryDef& def, int count) {
    std::vector<TDirectoryRow> rows;
    const auto table = MainDatabase().Query(SelectSql(def));
    for (; !table->AtEnd(); table->MoveNext()) {
        TDirectoryRow row;
        for (int c = 0; c < count; ++c) row.push_back(table->TextAt(c + 1));
        rows.push_back(std::move(row));
    }
    return rows;
}

// A text as an SQL literal: quotes written twice, so it is stored as typed.
std::string SqlLiteral(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

}  // namespace

TDirectoryContents LoadDirectory(std::string_view table) {
    TDirectoryContents contents;
    contents.def = FindDirectory(table);
    if (contents.def) contents.rows = ReadEntries(*contents.def, contents.def->ColumnCount());
    return contents;
}

bool RowHasText(const TDirectoryRow& row) {
    return std::any_of(row.begin(), row.end(), [](const std::string& cell) { return !TrimBlanks(cell).empty(); });
}

int DirectoryColumnWidth(int clientWidth, int columnCount) {
    return columnCount > 0 ? (clientWidth - 20) / columnCount : clientWidth - 20;
}

void SaveDirectory(std::string_view table, const std::vector<TDirectoryRow>& rows) {
    const TDirectoryDef* def = FindDirectory(table);
    if (!def) return;
    const int columns = def->ColumnCount();
    TSQLiteDatabase& db = MainDatabase();
    db.RunInTransaction([&] {
        // Every entry before and after, in the directory's order: a save that
        // changes nothing (the ids aside) leaves no entry in the audit log.
        const std::string before = JsonRows(ReadEntries(*def, columns));
        db.Execute("delete from " + std::string(def->table));
        for (const TDirectoryRow& row : rows) {
            if (!RowHasText(row)) continue;
            std::vector<std::string> cells;
            for (int c = 0; c < columns; ++c)
                cells.push_back(c < static_cast<int>(row.size()) ? TrimBlanks(row[c]) : std::string());
            std::string values;
            for (const std::string& cell : cells) values += (values.empty() ? "" : ",") + SqlLiteral(cell);
            db.Execute("insert into " + std::string(def->table) + " (" + std::string(def->columnList) + ") values(" +
                       values + ")");
            RememberValue(def->historyField, FillDisplayFormat(def->displayFormat, cells));
        }
        const std::string after = JsonRows(ReadEntries(*def, columns));
        if (after != before) AppendAudit(db, {audit::kDirectory, std::string(def->table), "", "", before, after});
    });
}

std::vector<std::string> PickerItems(std::string_view table) {
    std::vector<std::string> items;
    const TDirectoryDef* def = FindDirectory(table);
    if (!def) return items;
    for (const TDirectoryRow& row : ReadEntries(*def, def->PickerColumnCount()))
        items.push_back(FillDisplayFormat(def->displayFormat, row));
    return items;
}

std::string ResultText(const std::vector<std::string>& items, const std::vector<bool>& checked) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < checked.size(); ++i)
        if (checked[i]) text += items[i] + "\r\n";
    return TrimBlanks(text);
}

bool CanChoose(bool multiSelect, int selected, const std::vector<bool>& checked) {
    if (!multiSelect) return selected >= 0;
    return std::any_of(checked.begin(), checked.end(), [](bool b) { return b; });
}

}  // namespace zorvex
