#include "storage/InputHistory.h"

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Numbers.h"
#include "storage/SQLiteDatabase.h"
#include "storage/Utilities.h"

namespace zorvex {

std::optional<TFoundField> FindField(const TFieldLookup& lookup, int number) {
    for (const std::string_view prefix : kFieldControlPrefixes) {
        std::string name = std::string(prefix) + IntToStr(number);
        if (auto text = lookup(name)) return TFoundField{std::move(name), std::move(*text)};
    }
    return std::nullopt;
}

void RememberValue(std::int32_t fieldNumber, const std::string& text) {
    if (TrimBlanks(text).empty()) return;
    TSQLiteDatabase& db = MainDatabase();
    const std::int64_t count =
        db.ScalarInt("select count(*) from protocollists where (const=?) and (value=?)", {fieldNumber, text});
    if (count != 0) {
        db.Execute("update protocollists set used=used+1, lastuse=? where (const=?) and (value=?)",
                   {Now(), fieldNumber, text});
    } else {
        db.Execute("insert into protocollists (const, value, used, lastuse) values(?,?,?,?)",
                   {fieldNumber, text, std::int32_t{1}, Now()});
    }
}

void PurgeHistory() {
    TSQLiteDatabase& db = MainDatabase();
    const TDateTime now = Now();
    db.Execute("delete from protocollists where lastuse<?", {IncMonth(now, -12)});
    db.Execute("delete from protocollists where (used=1) and (lastuse<?)", {IncMonth(now, -1)});
}

std::vector<std::string> HistoryTexts(std::int32_t fieldNumber) {
    std::vector<std::string> texts;
    MainDatabase().ColumnTexts(
        "select value from protocollists where const=" + IntToStr(fieldNumber) + " order by value", texts);
    return texts;
}

void FillHistoryLists(const TFieldLookup& lookup,
                      const std::function<void(const std::string&, const std::vector<std::string>&)>& fill) {
    for (int number = 1;; ++number) {
        const auto field = FindField(lookup, number);
        if (!field) return;
        if (field->controlName.starts_with(kComboFieldPrefix)) fill(field->controlName, HistoryTexts(number));
    }
}

void RecordFieldTexts(const TFieldLookup& lookup) {
    TSQLiteDatabase& db = MainDatabase();
    db.RunInTransaction([&] {
        for (int number = 1;; ++number) {
            const auto field = FindField(lookup, number);
            if (!field) break;
            RememberValue(number, field->text);
        }
    });
}

}  // namespace zorvex
