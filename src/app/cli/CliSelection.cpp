#include "app/cli/CliSelection.h"

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "storage/DBDataAdapter.h"
#include "storage/StoredTimes.h"
#include "storage/Utilities.h"

namespace zorvex::cli {
namespace {

// A date operand "YYYY-MM-DD"; UsageError for anything else.
TDateTime ParseDateOption(const std::string& option, const std::string& text) {
    const bool shaped = text.size() == 10 && text[4] == '-' && text[7] == '-';
    try {
        if (shaped) return ParseStoredDate(text);
    } catch (const EConvertError&) {
    }
    throw UsageError("значение " + option + " должно быть датой ГГГГ-ММ-ДД: «" + text + "»");
}

}  // namespace

std::vector<OptionDef> FilterOptions(bool withMethod) {
    std::vector<OptionDef> options = {{"--from", true}, {"--to", true}, {"--kind", true}};
    if (withMethod) options.push_back({"--method", true});
    return options;
}

std::string FilterHelp(bool withMethod) {
    return std::string(
               "  --from ГГГГ-ММ-ДД   с этого дня включительно\n"
               "  --to ГГГГ-ММ-ДД     по этот день включительно\n") +
           (withMethod ? "  --method 0|1        0 — однократные измерения, 1 — данные мониторинга\n" : "") +
           "  --kind 0..4         0 — 50 Гц, 1 — СВТ магнитное, 2 — СВТ электрическое, 3 — магнитное, 4 — "
           "электрическое";
}

std::string BuildFilter(const ParsedArgs& args, std::optional<int> method) {
    std::vector<std::string> conditions;
    std::optional<TDateTime> from, to;
    if (const auto v = args.Value("--from")) from = ParseDateOption("--from", *v);
    if (const auto v = args.Value("--to")) to = ParseDateOption("--to", *v);
    if (from && to && *from > *to) throw UsageError("дата --from позже даты --to");
    if (from || to) {
        try {
            const TDateTime first = from.value_or(EncodeDate(1, 1, 1)), last = to.value_or(EncodeDate(9999, 12, 31));
            conditions.push_back(StoredDaysFilter(first, last));
        } catch (const EConvertError& e) {
            throw UsageError(e.what());
        }
    }
    if (!method) method = args.IntValue("--method", 0, kMethodCount - 1);
    if (method) conditions.push_back(Format("(method = %d)", {*method}));
    if (const auto k = args.IntValue("--kind", 0, kKindCount - 1)) conditions.push_back(Format("(kind = %d)", {*k}));
    return JoinTexts(conditions, " and ");
}

TMeasureDataP LoadSelection(CliContext& context, const std::string& filter) {
    TDBDataAdapter store;
    store.Filter = filter;
    context.CheckDatabasePath();
    context.OpenMainDatabase();
    TMeasureDataP data;
    data.SetMethodBytes();
    store.GetData("", data);
    // Rows no matrix cell can hold are not in any output: say so, or the
    // counts of a listing or a saved file would silently fall short.
    if (store.SkippedRows > 0)
        context.err << "Пропущено записей с недопустимым методом или видом: " << store.SkippedRows << "\n";
    return data;
}

}  // namespace zorvex::cli
