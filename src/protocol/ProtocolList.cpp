#include "protocol/ProtocolList.h"

#include <algorithm>

#include "base/Format.h"
#include "base/Numbers.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"

namespace zorvex {

void FillList(std::vector<TProtocolListItem>& items) {
    const auto table = MainDatabase().Query("select id, number, date from protocols");
    items.clear();
    for (; !table->AtEnd(); table->MoveNext()) {
        TProtocolListItem& item = items.emplace_back();
        const TDateTime date = ParseStoredDate(table->TextByName("date"));
        item.caption = Format("Протокол №%s от %s", {table->TextByName("number"), DateToStr(date)});
        item.id = StrToInt(table->TextByName("id"));
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const TProtocolListItem& a, const TProtocolListItem& b) { return a.caption < b.caption; });
}

}  // namespace zorvex
