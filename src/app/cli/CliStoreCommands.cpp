// Commands on the stored data: list, dates, downloads, save, open, levels.
#include <map>
#include <string>

#include "app/cli/CliApp.h"
#include "app/cli/CliSelection.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "storage/DownloadStore.h"
#include "storage/FileDataAdapter.h"
#include "storage/Levels.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/TimeIndex.h"
#include "storage/Utilities.h"

namespace zorvex::cli {
namespace {

int ListCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    const OutputOptions format = ReadFormat(args);
    WriteRecords(context.out, LoadSelection(context, BuildFilter(args)), format);
    return 0;
}

int DatesCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    context.CheckDatabasePath();
    context.OpenMainDatabase();
    for (const auto& text : StoredDays(MainDatabase())) context.out << FormatDateTime("yyyy-mm-dd", ParseStoredDate(text)) << "\n";
    return 0;
}

int DownloadsCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    const OutputOptions format = ReadFormat(args);
    context.CheckDatabasePath();
    context.OpenMainDatabase();
    WriteDownloads(context.out, ListDownloads(), format);
    return 0;
}

int SaveCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 1, "файл");
    const std::string file = context.OutputFile(args.Operands()[0]);
    TMeasureDataP data = LoadSelection(context, BuildFilter(args));
    // A filter that matches nothing (a typo in a date) must not wipe a file
    // that holds measurements.
    if (data.TotalRecords() == 0 && !args.Has("--empty") && IsExistingFile(file))
        throw Exception("Не выбрано ни одного измерения: файл «" + args.Operands()[0] +
                        "» не заменён (заменить его пустым: --empty)");
    // Written beside the old file and renamed over it once complete: a failed
    // save leaves the old file as it was; the main database is refused.
    try {
        TFileDataAdapter().PutData(data, file);
    } catch (const ESQLiteException& e) {
        throw Exception("Не удалось записать файл «" + args.Operands()[0] + "»\n" + e.what());
    }
    context.out << "Сохранено измерений: " << data.TotalRecords() << "\n";
    return 0;
}

int OpenCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 1, "файл");
    const OutputOptions format = ReadFormat(args);
    const std::string file = context.InputFile(args.Operands()[0]);
    TMeasureDataP data;
    data.SetMethodBytes();
    TFileDataAdapter().GetData(file, data);
    WriteRecords(context.out, data, format);
    return 0;
}

int LevelsCommand(CliContext& context, const ParsedArgs& args) {
    // Every assignment is checked before anything is written.
    std::map<int, double> changes;
    for (const auto& operand : args.Operands()) {
        const std::size_t eq = operand.find('=');
        const std::string name = operand.substr(0, eq);
        int index = -1;
        for (int i = 1; i < kSubfieldCount; ++i)
            if (LevelNames[i] == name) index = i;
        if (eq == std::string::npos || index < 0)
            throw UsageError("ожидается ИМЯ=ЗНАЧЕНИЕ с именем уровня из списка команды levels: «" + operand + "»");
        const auto value = TryStrToFloat(operand.substr(eq + 1));
        if (!value) throw UsageError("значение уровня " + name + " не число: «" + operand.substr(eq + 1) + "»");
        changes[index] = *value;
    }
    context.CheckDatabasePath();
    context.OpenMainDatabase();
    TLevels levels = kLevelDefaults;
    // All the assignments or none: a failed write leaves every level as it was.
    // They are written before the levels are loaded, so that setting a level
    // whose row is missing repairs the file instead of failing at the load.
    MainDatabase().RunInTransaction([&] {
        for (const auto& [index, value] : changes) SetLevel(MainDatabase(), levels, index, value);
    });
    LoadLevels(MainDatabase(), levels);
    for (int i = 1; i < kSubfieldCount; ++i)
        context.out << LevelNames[i] << "\t" << Format("%g", {levels[i]}) << "\t" << kLevelLabels[i] << "\n";
    return 0;
}

}  // namespace

std::vector<CliCommand> StoreCommands() {
    auto withFormat = [](std::vector<OptionDef> options) {
        for (auto& o : FormatOptions()) options.push_back(o);
        return options;
    };
    const std::string filterHelp = FilterHelp();
    const std::string formatHelp = FormatHelp();
    return {
        {"list", "[фильтры] [--format ВИД] [--utf8]", "сохранённые измерения, по времени",
         filterHelp + "\n" + formatHelp, withFormat(FilterOptions()), ListCommand},
        {"dates", "", "даты, за которые есть измерения (ГГГГ-ММ-ДД)", "", {}, DatesCommand},
        {"downloads", "[--format ВИД] [--utf8]", "загрузки из прибора: когда, каким каналом, какой прибор",
         "По строке на загрузку, от первой: номер, время (ГГГГ-ММ-ДД чч:мм:сс), канал (usb или driver),\n"
         "серийный номер, версия ПО и дата поверки прибора, число новых записей и записей, которые\n"
         "уже были в базе, файл образа памяти. Чего прибор не сообщил, показано как «-».\n" +
             formatHelp,
         FormatOptions(), DownloadsCommand},
        {"save", "ФАЙЛ [фильтры] [--empty]", "записать выбранные измерения в файл .zorvex; пустую выборку — с --empty",
         filterHelp +
             "\n  --empty             заменить существующий файл, даже если не выбрано ни одного измерения\n"
             "Прежний файл заменяется только целиком записанным новым; при ошибке он остаётся как был.",
         [] {
             std::vector<OptionDef> options = FilterOptions();
             options.push_back({"--empty", false});
             return options;
         }(),
         SaveCommand},
        {"open", "ФАЙЛ [--format ВИД] [--utf8]", "показать измерения файла измерений", formatHelp,
         FormatOptions(), OpenCommand},
        {"levels", "[ИМЯ=ЗНАЧЕНИЕ ...]", "допустимые уровни: показать или задать",
         "Имена: swtmflb, swtmfhb, swteflb, swtefhb, mf50hz, ef50hz. Десятичный разделитель — точка.\n"
         "Значения записываются все вместе: при ошибке не меняется ни одно.",
         {},
         LevelsCommand},
    };
}

}  // namespace zorvex::cli
