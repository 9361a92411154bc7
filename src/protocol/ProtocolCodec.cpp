#include "protocol/ProtocolCodec.h"

#include <cctype>
#include <cstdint>

#include "base/Clock.h"
#include "base/CodePage1251.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "storage/InputHistory.h"
#include "storage/Utilities.h"

namespace zorvex {

std::vector<std::string> SplitTexts(std::string_view text, std::string_view separator) {
    std::vector<std::string> items;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        if (at == std::string_view::npos) break;
        items.emplace_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    items.emplace_back(text.substr(from));
    return items;
}

TDateTime StrToShortDate(std::string_view text) {
    const auto fail = [text]() { return EConvertError(Format("'%s' is not a valid date", {text})); };
    const std::string trimmed = TrimBlanks(text);
    const std::vector<std::string> parts = SplitTexts(trimmed, ".");
    if (parts.size() != 3) throw fail();
    int numbers[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::string& part = parts[static_cast<std::size_t>(i)];
        if (part.empty() || part.size() > 4) throw fail();
        for (const char c : part)
            if (!std::isdigit(static_cast<unsigned char>(c))) throw fail();
        numbers[i] = StrToInt(part);
    }
    int year = numbers[2];
    if (parts[2].size() <= 2) {
        const int thisYear = DecodeDate(Now()).year;
        year += thisYear / 100 * 100;
        if (year < thisYear - 50) year += 100;
        if (year > thisYear + 50) year -= 100;
    }
    const auto date = TryEncodeDate(year, numbers[1], numbers[0]);
    if (!date) throw fail();
    return *date;
}

namespace {

std::string TextOf(const IProtocolFields& fields, const std::string& control) {
    return fields.FieldText(control).value_or(std::string());
}

TFieldLookup LookupIn(const IProtocolFields& fields) {
    return [&fields](const std::string& name) { return fields.FieldText(name); };
}

}  // namespace

std::string EncodeConsts(const IProtocolFields& fields) {
    std::vector<std::string> items(kConstsItemCount);
    items[0] = TextOf(fields, "Edit0");
    items[1] = TextOf(fields, "Edit1");
    items[2] = TextOf(fields, "Edit2");
    items[3] = DateToStr(fields.Date());
    const TFieldLookup lookup = LookupIn(fields);
    for (int k = 4; k < kConstsItemCount; ++k) {
        if (auto field = FindField(lookup, k - 1)) items[static_cast<std::size_t>(k)] = std::move(field->text);
    }
    return JoinTexts(items, kItemSeparator);
}

std::string EncodeTabData(const TResultTables& tables) {
    std::vector<std::string> tableTexts;
    for (const TResultTable& t : tables) {
        std::vector<std::string> rowTexts;
        for (int r = 0; r < t.rowCount; ++r) {
            std::vector<std::string> cells;
            for (int c = 0; c < t.colCount; ++c) cells.push_back(t.Cell(c, r));
            rowTexts.push_back(JoinTexts(cells, kItemSeparator));
        }
        tableTexts.push_back(JoinTexts(rowTexts, kRowSeparator));
    }
    return JoinTexts(tableTexts, kTableSeparator);
}

void DecodeConsts(const std::string& consts, IProtocolFields& fields) {
    const std::vector<std::string> items = SplitTexts(consts, kItemSeparator);
    const auto setFirst = [&fields](int number, const std::string& text, int kinds) {
        for (int k = 0; k < kinds; ++k)
            if (fields.SetFieldText(std::string(kFieldControlPrefixes[k]) + IntToStr(number), text)) return;
    };
    for (std::size_t k = 0; k < items.size(); ++k) {
        const std::string& item = items[k];
        if (k == 0)
            fields.SetFieldText("Edit0", item);
        else if (k <= 2)
            setFirst(static_cast<int>(k), item, 2);
        else if (k == 3)
            fields.SetDate(StrToShortDate(item));
        else
            setFirst(static_cast<int>(k) - 1, item, 3);
    }
}

void DecodeTabData(const std::string& tabdata, TResultTables& tables) {
    const std::vector<std::string> tableTexts = SplitTexts(tabdata, kTableSeparator);
    for (std::size_t t = 0; t < tableTexts.size() && t < tables.size(); ++t) {
        TResultTable& table = tables[t];
        const std::vector<std::string> rowTexts = SplitTexts(tableTexts[t], kRowSeparator);
        for (std::size_t r = 0; r < rowTexts.size() && static_cast<int>(r) < table.rowCount; ++r) {
            const std::vector<std::string> cells = SplitTexts(rowTexts[r], kItemSeparator);
            for (std::size_t c = 0; c < cells.size() && static_cast<int>(c) < table.colCount; ++c)
                table.Cell(static_cast<int>(c), static_cast<int>(r)) = cells[c];
        }
    }
}

namespace {

bool EndsWithAny(std::string_view text, std::string_view chars) {
    return !text.empty() && chars.find(text.back()) != std::string_view::npos;
}

// The caption a field is known by in the editor, without its trailing blanks.
std::string FieldTitle(const std::string& control) {
    const TProtocolFieldDef* def = FindFieldDef(control);
    return def ? TrimBlanks(def->caption) : control;
}

// "«≤» (U+2264)" for the first character of `text` that has no byte in the
// code page the database stores; nullopt when every character has one.
std::optional<std::string> FirstUnstorableCharacter(std::string_view text) {
    if (FitsCp1251(text)) return std::nullopt;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string_view character = text.substr(at, length);
        if (!FitsCp1251(character)) {
            std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
            for (std::size_t i = 1; i < character.size(); ++i)
                code = (code << 6) | (static_cast<unsigned char>(character[i]) & 0x3Fu);
            return Format("«%s» (U+%s)", {character, HexCodePoint(code)});
        }
        at += length;
    }
    return std::string("«?»");
}

constexpr std::string_view kCodePageTail = ": символ %s нельзя сохранить, он не входит в кодировку Windows-1251.";

}  // namespace

std::optional<std::string> CheckStorable(const IProtocolFields& fields, const TResultTables& tables) {
    std::vector<std::string> controls = {"Edit0", "Edit1", "Edit2"};
    const TFieldLookup lookup = LookupIn(fields);
    for (int number = 3; number < kConstsItemCount - 1; ++number)
        if (auto field = FindField(lookup, number)) controls.push_back(field->controlName);
    for (const std::string& control : controls) {
        const std::string text = TextOf(fields, control);
        const std::string where = Format("Поле «%s»", {FieldTitle(control)});
        if (text.find(kItemSeparator) != std::string::npos || EndsWithAny(text, "$"))
            return where + ": текст не может содержать «$$$» и не может оканчиваться знаком «$».";
        if (const auto character = FirstUnstorableCharacter(text))
            return where + Format(kCodePageTail, {*character});
    }
    for (const TResultTable& t : tables) {
        for (int r = 0; r < t.rowCount; ++r) {
            for (int c = 0; c < t.colCount; ++c) {
                const std::string& text = t.Cell(c, r);
                const std::string where =
                    Format("Таблица «%s», строка %d, столбец %d", {TrimBlanks(t.caption), r + 1, c + 1});
                if (text.find(kItemSeparator) != std::string::npos || text.find(kRowSeparator) != std::string::npos ||
                    text.find(kTableSeparator) != std::string::npos || EndsWithAny(text, "$%#")) {
                    return where +
                           ": текст не может содержать «$$$», «%%%» или «###» и не может оканчиваться знаком «$», "
                           "«%» или «#».";
                }
                if (const auto character = FirstUnstorableCharacter(text))
                    return where + Format(kCodePageTail, {*character});
            }
        }
    }
    return std::nullopt;
}

}  // namespace zorvex
