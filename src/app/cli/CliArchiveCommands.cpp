// The lab archive: init, push, list, protocols, pull, workstation.
#include "app/cli/CliArchiveCommands.h"

#include <string>

#include "base/Exceptions.h"

#ifdef ZORVEX_ARCHIVE
#include "app/cli/CliOutput.h"
#include "app/cli/CliSelection.h"
#include "archive/ArchivePull.h"
#include "archive/ArchivePush.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"
#include "archive/PgConnection.h"
#include "archive/Workstation.h"
#include "base/CodePage1251.h"
#include "base/DateTime.h"
#include "base/Numbers.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#endif

namespace zorvex::cli {
namespace {

constexpr const char* kUnsupported = "архив лаборатории не поддерживается этой сборкой";

#ifdef ZORVEX_ARCHIVE
using namespace zorvex::archive;

std::optional<TDateTime> DateOption(const ParsedArgs& args, const std::string& option) {
    const auto text = args.Value(option);
    if (!text) return std::nullopt;
    const bool shaped = text->size() == 10 && (*text)[4] == '-' && (*text)[7] == '-';
    try {
        if (shaped) return ParseStoredDate(*text);
    } catch (const EConvertError&) {
    }
    throw UsageError("значение " + option + " должно быть датой ГГГГ-ММ-ДД: «" + *text + "»");
}

void CheckDays(std::optional<TDateTime> from, std::optional<TDateTime> to) {
    if (from && to && *from > *to) throw UsageError("дата --from позже даты --to");
}

// Options each action takes; the others are refused rather than ignored.
void AllowOnly(const ParsedArgs& args, const std::string& action, std::initializer_list<const char*> allowed) {
    static const char* const kAll[] = {"--from", "--to",     "--method", "--kind",   "--workstation", "--serial",
                                       "--org",  "--protocol", "--format", "--utf8"};
    for (const char* option : kAll) {
        if (!args.Has(option)) continue;
        bool ok = false;
        for (const char* a : allowed) ok = ok || std::string_view(a) == option;
        if (!ok) throw UsageError(std::string("параметр ") + option + " не относится к archive " + action);
    }
}

// The connection: --archive, or the one remembered in data.db. A given one
// is remembered (without a password) once it has worked.
std::unique_ptr<TPgConnection> Connect(CliContext& context, const ParsedArgs& args) {
    context.CheckDatabasePath();
    const auto given = args.Value("--archive");
    std::string conninfo;
    if (given) {
        conninfo = *given;
    } else {
        context.OpenMainDatabase();
        const auto remembered = RememberedConnection(MainDatabase());
        if (!remembered)
            throw UsageError("не задан архив: --archive СТРОКА_ПОДКЛЮЧЕНИЯ (например postgresql://сервер/zorvex)");
        conninfo = *remembered;
    }
    auto conn = TPgConnection::Connect(conninfo);
    if (given) {
        context.OpenMainDatabase();
        RememberConnection(MainDatabase(), conninfo);
    }
    return conn;
}

std::string WorkstationText(const TWorkstation& w) {
    return w.id + " (компьютер «" + PrintableText(w.host) + "», пользователь «" + PrintableText(w.user) + "»)";
}

int Init(CliContext& context, const ParsedArgs& args) {
    AllowOnly(args, "init", {});
    auto conn = Connect(context, args);
    const TInitOutcome outcome = InitArchive(*conn);
    if (outcome.previousVersion == outcome.version)
        context.out << "Архив " << conn->Target() << " уже готов (версия схемы " << outcome.version << ")\n";
    else if (outcome.previousVersion == 0)
        context.out << "Архив " << conn->Target() << " создан (версия схемы " << outcome.version << ")\n";
    else
        context.out << "Архив " << conn->Target() << " обновлён с версии схемы " << outcome.previousVersion << " до "
                    << outcome.version << "\n";
    return 0;
}

int Push(CliContext& context, const ParsedArgs& args) {
    AllowOnly(args, "push", {});
    auto conn = Connect(context, args);
    context.OpenMainDatabase();
    const TPushReport report = PushToArchive(*conn, MainDatabase());
    context.out << "Архив: " << report.archiveTarget << "\n"
                << "Рабочая станция: " << WorkstationText(report.workstation) << "\n"
                << "Отправлено измерений: новых " << report.measurementsAdded << ", с изменёнными рабочим местом или "
                << "высотой " << report.measurementsChanged << "\n"
                << "Загрузок из прибора: " << report.downloads << "\n"
                << "Протоколов: " << report.protocols << "\n";
    if (report.auditLogFound) context.out << "Записей журнала изменений: " << report.auditEntries << "\n";
    if (report.unreadableRows > 0)
        context.err << "Не отправлено нечитаемых записей (время, число, метод или вид): " << report.unreadableRows
                    << "\n";
    for (const auto& line : report.refusedProtocols) context.err << PrintableText(line) << "\n";
    return report.refusedProtocols.empty() ? 0 : 1;
}

void WriteArchiveTable(std::ostream& out, const std::vector<TArchiveRecord>& records) {
    std::size_t at = 0;
    bool first = true;
    while (at < records.size()) {
        const int m = records[at].method, k = records[at].record.kind;
        std::size_t end = at;
        while (end < records.size() && records[end].method == m && records[end].record.kind == k) ++end;
        if (!first) out << "\n";
        first = false;
        out << MethodCaption(m) << ", " << KindCaption(k) << " (" << end - at << ")\n";
        std::vector<std::string> head = {"Станция", "Прибор", "Ячейка", "Рабочее место", "Высота", "Дата", "Время"};
        AppendMeasuredHeads(head, k);
        std::vector<std::vector<std::string>> rows = {head};
        for (; at < end; ++at) {
            const TArchiveRecord& a = records[at];
            const TMeasureRecord& r = a.record;
            std::vector<std::string> row = {PrintableText(a.host.empty() ? a.workstation : a.host),
                                            a.serial ? std::to_string(*a.serial) : "-",
                                            std::to_string(r.number),
                                            std::to_string(r.workplace),
                                            FormatFixed(r.height / 2.0, 1),
                                            DateToStr(r.time),
                                            TimeToStr(r.time)};
            AppendMeasuredColumns(row, k, r);
            rows.push_back(std::move(row));
        }
        WriteAligned(out, rows);
    }
}

void WriteArchiveJson(std::ostream& out, const std::vector<TArchiveRecord>& records) {
    for (const TArchiveRecord& a : records) {
        const TMeasureRecord& r = a.record;
        out << "{\"method\":" << a.method << ",\"kind\":" << int{r.kind} << ",\"id\":" << r.id
            << ",\"number\":" << r.number << ",\"workplace\":" << r.workplace << ",\"height\":" << r.height
            << ",\"time\":" << JsonString(TimeText(r.time)) << ",\"mvalue\":" << JsonNumber(r.mvalue)
            << ",\"evalue\":" << JsonNumber(r.evalue) << ",\"mvalue2\":" << JsonNumber(r.mvalue2)
            << ",\"evalue2\":" << JsonNumber(r.evalue2) << ",\"band\":" << int{r.band}
            << ",\"rejection\":" << int{r.rejection} << ",\"workstation\":" << JsonString(a.workstation)
            << ",\"host\":" << JsonString(a.host)
            << ",\"serial\":" << (a.serial ? std::to_string(*a.serial) : std::string("null")) << "}\n";
    }
}

void WriteArchiveCsv(std::ostream& out, const std::vector<TArchiveRecord>& records, bool utf8) {
    std::string text =
        "method;kind;id;number;workplace;height;time;mvalue;evalue;mvalue2;evalue2;band;rejection;workstation;host;"
        "serial\r\n";
    for (const TArchiveRecord& a : records) {
        const TMeasureRecord& r = a.record;
        text += std::to_string(a.method) + ";" + std::to_string(r.kind) + ";" + std::to_string(r.id) + ";" +
                std::to_string(r.number) + ";" + std::to_string(r.workplace) + ";" + std::to_string(r.height) + ";" +
                TimeText(r.time) + ";" + CsvNumber(r.mvalue) + ";" + CsvNumber(r.evalue) + ";" + CsvNumber(r.mvalue2) +
                ";" + CsvNumber(r.evalue2) + ";" + std::to_string(r.band) + ";" + std::to_string(r.rejection) + ";" +
                CsvField(PrintableText(a.workstation)) + ";" + CsvField(PrintableText(a.host)) + ";" +
                (a.serial ? std::to_string(*a.serial) : "") + "\r\n";
    }
    // A host name the code page cannot hold must not lose the whole listing.
    out << (utf8 || !FitsCp1251(text) ? text : Utf8ToCp1251(text));
}

int List(CliContext& context, const ParsedArgs& args) {
    AllowOnly(args, "list", {"--from", "--to", "--method", "--kind", "--workstation", "--serial", "--format", "--utf8"});
    const OutputOptions format = ReadFormat(args);
    TArchiveFilter filter;
    filter.from = DateOption(args, "--from");
    filter.to = DateOption(args, "--to");
    CheckDays(filter.from, filter.to);
    filter.method = args.IntValue("--method", 0, kMethodCount - 1);
    filter.kind = args.IntValue("--kind", 0, kKindCount - 1);
    filter.workstation = args.Value("--workstation");
    if (const auto serial = args.Value("--serial")) {
        const auto n = TryStrToInt(*serial);
        if (!n) throw UsageError("значение --serial должно быть целым числом: «" + *serial + "»");
        filter.serial = *n;
    }
    auto conn = Connect(context, args);
    CheckArchive(*conn);
    const auto records = ListArchiveMeasurements(*conn, filter);
    switch (format.format) {
        case RecordFormat::Json: WriteArchiveJson(context.out, records); break;
        case RecordFormat::Csv: WriteArchiveCsv(context.out, records, format.utf8); break;
        default: WriteArchiveTable(context.out, records);
    }
    return 0;
}

int Protocols(CliContext& context, const ParsedArgs& args) {
    AllowOnly(args, "protocols", {"--from", "--to", "--org"});
    const auto from = DateOption(args, "--from"), to = DateOption(args, "--to");
    CheckDays(from, to);
    auto conn = Connect(context, args);
    CheckArchive(*conn);
    const auto list = ListArchiveProtocols(*conn, from, to, args.Value("--org"));
    if (list.empty()) return 0;
    std::vector<std::vector<std::string>> rows = {
        {"№ записи", "Номер", "Дата", "Организация", "Станция", "Пользователь", "Измерений"}};
    for (const TArchiveProtocol& p : list) {
        std::string date = PrintableText(p.dateText);
        try {
            date = DateToStr(ParseStoredDate(p.dateText));
        } catch (const EConvertError&) {
        }
        rows.push_back({std::to_string(p.id), PrintableText(p.number), date, PrintableText(p.organisation),
                        PrintableText(p.host.empty() ? p.workstation : p.host), PrintableText(p.user),
                        std::to_string(p.measurements)});
    }
    WriteAligned(context.out, rows);
    return 0;
}

int Pull(CliContext& context, const ParsedArgs& args) {
    AllowOnly(args, "pull", {"--from", "--to", "--protocol"});
    const auto protocol = args.Value("--protocol");
    const auto from = DateOption(args, "--from"), to = DateOption(args, "--to");
    if (protocol && (from || to)) throw UsageError("укажите либо --protocol, либо --from и --to");
    if (!protocol && !from && !to) throw UsageError("не указано, что получить: --protocol НОМЕР_ЗАПИСИ или --from и --to");
    CheckDays(from, to);
    std::optional<std::int64_t> protocolId;
    if (protocol) {
        protocolId = TryStrToInt64(*protocol);
        if (!protocolId || *protocolId <= 0)
            throw UsageError("номер записи протокола в архиве должен быть положительным целым: «" + *protocol + "»");
    }
    auto conn = Connect(context, args);
    context.OpenMainDatabase();
    if (protocolId) {
        const TPullOutcome outcome = PullProtocol(*conn, MainDatabase(), *protocolId);
        if (outcome.added)
            context.out << "Протокол получен: номер записи в базе " << outcome.localProtocolId << "\n";
        else
            context.out << "Протокол уже есть в базе\n";
        return 0;
    }
    const TPullOutcome outcome = PullMeasurements(*conn, MainDatabase(), from, to);
    context.out << "Получено измерений: " << outcome.added << ", уже были в базе: " << outcome.alreadyHere << "\n";
    return 0;
}

int Workstation(CliContext& context, const ParsedArgs& args) {
    AllowOnly(args, "workstation", {});
    if (args.Has("--archive")) throw UsageError("параметр --archive не относится к archive workstation");
    context.CheckDatabasePath();
    context.OpenMainDatabase();
    context.out << "Рабочая станция: " << WorkstationText(LocalWorkstation(MainDatabase())) << "\n";
    if (const auto remembered = RememberedConnection(MainDatabase()))
        context.out << "Архив: " << PrintableText(*remembered) << "\n";
    return 0;
}

int ArchiveCommand(CliContext& context, const ParsedArgs& args) {
    const auto& operands = args.Operands();
    if (operands.empty()) throw UsageError("не указано действие: init, push, list, protocols, pull или workstation");
    if (operands.size() > 1) throw UsageError("лишний аргумент «" + operands[1] + "»");
    const std::string& action = operands[0];
    if (action == "init") return Init(context, args);
    if (action == "push") return Push(context, args);
    if (action == "list") return List(context, args);
    if (action == "protocols") return Protocols(context, args);
    if (action == "pull") return Pull(context, args);
    if (action == "workstation") return Workstation(context, args);
    throw UsageError("неизвестное действие «" + action + "»: допустимы init, push, list, protocols, pull, workstation");
}
#else
int ArchiveCommand(CliContext&, const ParsedArgs&) { throw Exception(kUnsupported); }
#endif

}  // namespace

std::vector<CliCommand> ArchiveCommands() {
#ifdef ZORVEX_ARCHIVE
    std::vector<OptionDef> options = {{"--archive", true},     {"--from", true},  {"--to", true},
                                      {"--method", true},      {"--kind", true},  {"--workstation", true},
                                      {"--serial", true},      {"--org", true},   {"--protocol", true}};
    for (auto& o : FormatOptions()) options.push_back(o);
    return {{"archive", "ДЕЙСТВИЕ [--archive СТРОКА] [параметры]",
             "архив лаборатории на сервере PostgreSQL: отправить, найти, получить",
             "  init                 создать архив в пустой базе или обновить его схему\n"
             "  push                 отправить в архив всё, чего в нём нет: измерения (и изменённые рабочие\n"
             "                       места и высоты), загрузки с паспортом и образом памяти, протоколы\n"
             "  list [фильтры]       измерения всех рабочих станций; фильтры и виды вывода как у list, и ещё\n"
             "                       --workstation ID|КОМПЬЮТЕР, --serial НОМЕР_ПРИБОРА\n"
             "  protocols [--from Д] [--to Д] [--org ТЕКСТ]   реестр протоколов лаборатории\n"
             "  pull --protocol НОМЕР_ЗАПИСИ | --from Д --to Д   получить протокол или измерения в эту базу\n"
             "  workstation          id этой рабочей станции, компьютер и пользователь\n\n"
             "  --archive СТРОКА     строка подключения libpq или URI (postgresql://сервер/zorvex?sslmode=verify-full);\n"
             "                       запоминается в базе без пароля и служит, когда не указана. Пароль — в\n"
             "                       ~/.pgpass (PGPASSFILE) или в файле служб, в базе он не хранится.\n" +
                 FilterHelp() + "\n" + FormatHelp() +
                 "\n\nНомер протокола в реестре один на год даты протокола; номера сравниваются без пробелов по краям,\n"
                 "с учётом регистра. Протокол с занятым номером не отправляется: команда называет протокол,\n"
                 "его рабочую станцию, пользователя и дату и завершается с кодом 1.",
             options, ArchiveCommand}};
#else
    return {{"archive", "ДЕЙСТВИЕ", std::string(kUnsupported), "", {{"--archive", true}}, ArchiveCommand}};
#endif
}

}  // namespace zorvex::cli
