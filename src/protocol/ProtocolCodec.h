#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "protocol/ProtocolFields.h"
#include "protocol/ResultTables.h"

namespace zorvex {

// The two texts a stored protocol keeps in its `protocols` row. No escaping is
// done: a text holding a separator cannot come back unchanged, which
// CheckStorable refuses before anything is stored.
inline constexpr std::string_view kItemSeparator = "$$$";   // field texts; cells of a row
inline constexpr std::string_view kRowSeparator = "%%%";    // rows of a table
inline constexpr std::string_view kTableSeparator = "###";  // tables
inline constexpr int kConstsItemCount = 14;

// Splits at every occurrence of `separator`, from the left; the pieces between
// separators are the items ("" gives one empty item).
std::vector<std::string> SplitTexts(std::string_view text, std::string_view separator);

// The short date text ("05.03.2010"), read back: one to four digits per part,
// separated by "."; a two-digit year falls within 50 years of today. Raises
// EConvertError "'%s' is not a valid date".
TDateTime StrToShortDate(std::string_view text);

// Fourteen items joined by "$$$": the number (untrimmed), fields 1 and 2, the
// date as a short date, then fields 3 .. 12 by number (no field: empty item).
std::string EncodeConsts(const IProtocolFields& fields);
// Cells joined by "$$$" per row, rows by "%%%" per table, the ten tables by "###".
std::string EncodeTabData(const TResultTables& tables);

// Sets the fields from a stored field text. Items 0 to 2 are applied before
// the date is read, so an unreadable date (EConvertError) leaves them set and
// the later fields untouched. Fields without an item keep their text.
void DecodeConsts(const std::string& consts, IProtocolFields& fields);
// Every stored cell replaces the built one; stored tables, rows or columns
// beyond the tables' sizes are not applied.
void DecodeTabData(const std::string& tabdata, TResultTables& tables);

// nullopt when every heading field and cell can be stored and comes back
// unchanged; otherwise the message that names the first one that cannot and
// why: a separator it holds or ends with, or a character the database's code
// page lacks. Called before anything of a protocol is written.
std::optional<std::string> CheckStorable(const IProtocolFields& fields, const TResultTables& tables);

}  // namespace zorvex
