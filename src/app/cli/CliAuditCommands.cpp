#include "app/cli/CliAuditCommands.h"

#include <array>

#include "app/cli/CliSelection.h"
#include "base/CodePage1251.h"
#include "storage/AuditLog.h"
#include "storage/IntegrityCheck.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex::cli {
namespace {

// Longest value a table cell shows; JSON and CSV give every value whole.
constexpr std::size_t kShownValue = 60;

constexpr std::array<const char*, 10> kAuditFieldNames = {"id",    "time",     "user",  "workstation", "kind",
                                                          "table", "objectid", "field", "old",         "new"};

std::string Shortened(const std::string& text) {
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++characters > kShownValue) return out + "…";
        out += text[i];
    }
    return out;
}

std::string ObjectText(const TAuditChange& c) {
    std::string object = c.table;
    if (!c.objectId.empty()) object += "/" + c.objectId;
    if (!c.field.empty()) object += "/" + c.field;
    return object;
}

void WriteAuditTable(std::ostream& out, const std::vector<TAuditEntry>& entries) {
    if (entries.empty()) return;
    std::vector<std::vector<std::string>> rows = {
        {"№", "Время", "Пользователь", "Станция", "Изменение", "Объект", "Было", "Стало"}};
    const auto value = [](const std::optional<std::string>& v) { return v ? Shortened(PrintableText(*v)) : "-"; };
    for (const TAuditEntry& e : entries)
        rows.push_back({std::to_string(e.id), PrintableText(e.time), PrintableText(e.user),
                        PrintableText(e.workstation), AuditKindCaption(e.change.kind),
                        PrintableText(ObjectText(e.change)), value(e.change.oldValue), value(e.change.newValue)});
    WriteAligned(out, rows);
}

template <typename Text>
std::vector<std::string> AuditFields(const TAuditEntry& e, const std::string& missing, Text text) {
    return {std::to_string(e.id),
            text(e.time),
            text(e.user),
            text(e.workstation),
            text(e.change.kind),
            text(e.change.table),
            text(e.change.objectId),
            text(e.change.field),
            e.change.oldValue ? text(*e.change.oldValue) : missing,
            e.change.newValue ? text(*e.change.newValue) : missing};
}

void WriteAuditJson(std::ostream& out, const std::vector<TAuditEntry>& entries) {
    for (const TAuditEntry& e : entries) {
        const auto fields = AuditFields(e, "null", JsonString);
        std::string line = "{";
        for (std::size_t i = 0; i < fields.size(); ++i)
            line += (i ? ",\"" : "\"") + std::string(kAuditFieldNames[i]) + "\":" + fields[i];
        out << line << "}\n";
    }
}

void WriteAuditCsv(std::ostream& out, const std::vector<TAuditEntry>& entries, bool utf8) {
    std::string text;
    for (std::size_t i = 0; i < kAuditFieldNames.size(); ++i) text += (i ? ";" : "") + std::string(kAuditFieldNames[i]);
    text += "\r\n";
    for (const TAuditEntry& e : entries) {
        const auto fields = AuditFields(e, "", [](const std::string& s) { return CsvField(PrintableText(s)); });
        for (std::size_t i = 0; i < fields.size(); ++i) text += (i ? ";" : "") + fields[i];
        text += "\r\n";
    }
    out << (utf8 ? text : Utf8ToCp1251(text));
}

int AuditCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    const OutputOptions format = ReadFormat(args);
    const std::string filter = BuildFilter(args);
    context.CheckDatabasePath();
    context.OpenMainDatabase();
    const auto entries = ReadAuditLog(MainDatabase(), filter);
    switch (format.format) {
        case RecordFormat::Json:
            WriteAuditJson(context.out, entries);
            break;
        case RecordFormat::Csv:
            WriteAuditCsv(context.out, entries, format.utf8);
            break;
        default:
            WriteAuditTable(context.out, entries);
    }
    return 0;
}

int VerifyCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    const bool json = args.Value("--format").value_or("table") == "json";
    if (!json && args.Value("--format").value_or("table") != "table")
        throw UsageError("неизвестный формат «" + *args.Value("--format") + "»: допустимы table, json");
    context.CheckDatabasePath();
    context.OpenMainDatabase();
    const TIntegrityReport report = VerifyIntegrity();
    if (json) {
        for (const TIntegrityIssue& issue : report.issues)
            context.out << "{\"kind\":" << JsonString(issue.kind) << ",\"object\":" << JsonString(issue.object)
                        << ",\"text\":" << JsonString(issue.text) << "}\n";
    } else {
        for (const TIntegrityIssue& issue : report.issues) context.out << PrintableText(issue.text) << "\n";
        if (!report.issues.empty()) context.out << "\n";
    }
    // The summary goes where the differences do not, so that JSON stays one object a line.
    std::ostream& summary = json ? context.err : context.out;
    for (const std::string& line : IntegritySummary(report)) summary << line << "\n";
    return report.Clean() ? 0 : 1;
}

}  // namespace

std::vector<CliCommand> AuditCommands() {
    std::vector<OptionDef> auditOptions = {{"--from", true}, {"--to", true}};
    for (auto& o : FormatOptions()) auditOptions.push_back(o);
    return {
        {"audit", "[--from ГГГГ-ММ-ДД] [--to ГГГГ-ММ-ДД] [--format ВИД] [--utf8]",
         "журнал изменений: кто, когда и что изменил в сохранённых данных",
         "По строке на изменение, от первого: номер, время, пользователь и компьютер, вид изменения,\n"
         "объект (таблица/запись/поле), прежнее и новое значение («-» — нет). В таблице длинные значения\n"
         "сокращены; JSON и CSV дают их целиком, вид изменения — кодом (measurement.workplace, level.set ...).\n"
         "  --from ГГГГ-ММ-ДД   с этого дня включительно\n"
         "  --to ГГГГ-ММ-ДД     по этот день включительно\n" +
             FormatHelp(),
         auditOptions, AuditCommand},
        {"verify",
         "[--format table|json]",
         "проверить целостность данных: образы памяти, измерения, протоколы",
         "Каждый сохранённый образ памяти сверяется с его отпечатком SHA-256 и декодируется заново;\n"
         "каждая запись загрузки сверяется с её строкой в базе (время, метод, вид, полоса, режекция,\n"
         "значения; рабочее место и высота — пометки пользователя и не сверяются); файл каждого\n"
         "протокола — с отпечатком, записанным при его сохранении. Образы и протоколы, сохранённые\n"
         "прежними версиями, проверяются без отпечатка. Печатает каждое различие и итог.\n"
         "  --format table|json   различия строками текста (по умолчанию) или JSON, итог — в stderr\n"
         "Код завершения: 0 — различий нет, 1 — есть различия или ошибка.",
         {{"--format", true}},
         VerifyCommand},
    };
}

}  // namespace zorvex::cli
