#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvex {

// One stored protocol as the protocol list shows it.
struct TProtocolListItem {
    std::string caption;  // "Протокол №12 от 15.02.2011"
    std::int32_t id = 0;
};

// Appends one item per row of `protocols`, then sorts all items by caption
// text (equal captions keep the table's order). A `date` that is no stored
// date raises EConvertError; the items of the rows before it stay in `items`,
// followed by the empty item appended for the failing row.
void FillList(std::vector<TProtocolListItem>& items);

}  // namespace zorvex
