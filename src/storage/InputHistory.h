#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvex {

// The input history of the protocol editor's heading fields (table
// `protocollists` of the main database). An entry is a (field number, text)
// pair with its use count and the moment of its last use. Every function here
// works on MainDatabase().

// The editor names its heading fields by kind and number ("Edit1",
// "ComboBoxEx9", "Memo5"); a number is looked for in this order of kinds.
inline constexpr std::array<std::string_view, 3> kFieldControlPrefixes = {"Edit", "ComboBoxEx", "Memo"};
inline constexpr std::string_view kComboFieldPrefix = "ComboBoxEx";

// The text of the editor's control of that name, or nullopt when the editor
// has no such control. A multi-line field gives its lines joined by CR LF.
using TFieldLookup = std::function<std::optional<std::string>(const std::string& controlName)>;

struct TFoundField {
    std::string controlName;
    std::string text;
};
// The field numbered `number` in the order of kFieldControlPrefixes; nullopt
// when no control of that number exists.
std::optional<TFoundField> FindField(const TFieldLookup& lookup, int number);

// Records one use of `text` in field `fieldNumber`. A text that is empty after
// trimming blanks is not recorded; otherwise it is stored exactly as given, so
// a leading or trailing space makes a different entry.
void RememberValue(std::int32_t fieldNumber, const std::string& text);

// Deletes the entries last used more than a year ago, then those used once and
// last used more than a month ago (calendar months back from Now()).
void PurgeHistory();

// The remembered texts of one field, in ascending byte order of the stored text.
std::vector<std::string> HistoryTexts(std::int32_t fieldNumber);

// Walks the fields from number 1 up to the first number without a field and
// gives every combo field its remembered texts through `fill`.
void FillHistoryLists(
    const TFieldLookup& lookup,
    const std::function<void(const std::string& comboName, const std::vector<std::string>& items)>& fill);

// Records the texts of fields 1, 2, ... up to the first number without a
// field, in one transaction. On any failure the transaction is rolled back, so
// the history is left as it was, and the error is raised.
void RecordFieldTexts(const TFieldLookup& lookup);

}  // namespace zorvex
