#include "app/cli/CliApp.h"

#include <filesystem>
#include <optional>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Prompts.h"
#include "app/cli/CliArchiveCommands.h"
#include "app/cli/CliAuditCommands.h"
#include "app/cli/ConsolePrompts.h"
#include "device/DemoMeter.h"
#include "storage/Database.h"
#include "storage/DownloadStore.h"
#include "storage/FileSafety.h"
#include "storage/SQLiteDatabase.h"
#include "storage/Utilities.h"

namespace zorvex::cli {
namespace {

constexpr const char* kProgram = "zorvex-cli";

void CheckRegularIfExists(const std::string& path, const std::string& given) {
    std::error_code ec;
    const auto status = std::filesystem::status(PathFromUtf8(path), ec);
    if ((std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) || NamesSystemDevice(path))
        throw Exception("«" + given + "» — не обычный файл");
}

std::vector<CliCommand> AllCommands() {
    std::vector<CliCommand> commands = DeviceCommands();
    for (auto& c : StoreCommands()) commands.push_back(std::move(c));
    for (auto& c : StatsCommands()) commands.push_back(std::move(c));
    for (auto& c : ProtocolCommands()) commands.push_back(std::move(c));
    for (auto& c : ArchiveCommands()) commands.push_back(std::move(c));
    for (auto& c : AuditCommands()) commands.push_back(std::move(c));
    return commands;
}

// Where the database is when --db is not given; the data directory itself is not made for the help.
std::string DefaultDatabaseText() {
    try {
        const TDataLocations& locations = DataLocations();
        if (locations.installed) return locations.databaseFile;
    } catch (const Exception&) {
        return "data.db в каталоге данных пользователя";
    }
    return "data.db в текущем каталоге";
}

void PrintOverallHelp(std::ostream& out, const std::vector<CliCommand>& commands) {
    out << "Использование: " << kProgram << " [--db ФАЙЛ] [--demo[=usb]] КОМАНДА [параметры]\n\n"
        << "Работа с прибором и сохранёнными измерениями из командной строки.\n\n"
        << "  --db ФАЙЛ       база данных (по умолчанию " << DefaultDatabaseText() << ")\n"
        << "  --demo[=usb]    демонстрационный прибор вместо настоящего: на связи через драйвер\n"
        << "                  или, с =usb, через USB; его память живёт до конца команды\n"
        << "  --help          эта справка; КОМАНДА --help — справка по команде\n\n"
        << "Команды:\n";
    for (const auto& c : commands) {
        std::string name = c.name;
        name.resize(14, ' ');
        out << "  " << name << c.summary << "\n";
    }
    out << "\nКоды завершения: 0 — успех, 1 — ошибка, 2 — неверная командная строка, 130 — прервано (Ctrl+C).\n";
}

void PrintCommandHelp(std::ostream& out, const CliCommand& c) {
    out << "Использование: " << kProgram << " [--db ФАЙЛ] " << c.name << (c.synopsis.empty() ? "" : " ")
        << c.synopsis << "\n\n"
        << c.summary << "\n";
    if (!c.details.empty()) out << "\n" << c.details << "\n";
}

}  // namespace

CliContext::CliContext(std::ostream& o, std::ostream& e, std::string databasePath)
    : out(o),
      err(e),
      startDirectory_(Utf8FromPath(std::filesystem::current_path())),
      givenDatabase_(std::move(databasePath)) {
    databasePath_ = ResolvePath(givenDatabase_);
}

void CliContext::CheckDatabasePath() const {
    try {
        CheckFilePath(givenDatabase_);
        CheckRegularIfExists(databasePath_, givenDatabase_);
    } catch (const Exception& e) {
        throw Exception(std::string("--db: ") + e.what());
    }
}

std::string CliContext::OutputFile(const std::string& given) const {
    CheckFilePath(given);
    return ResolvePath(given);
}

std::string CliContext::InputFile(const std::string& given) const {
    const std::string path = OutputFile(given);
    if (!IsExistingFile(path)) throw Exception("Файл не найден: " + given);
    CheckRegularIfExists(path, given);
    return path;
}

std::string CliContext::ResolvePath(const std::string& path) const {
    const std::filesystem::path p = PathFromUtf8(path);
    return Utf8FromPath(p.is_absolute() ? p : (PathFromUtf8(startDirectory_) / p).lexically_normal());
}

void CliContext::OpenMainDatabase() {
    if (HasMainDatabase()) return;
    SetMainDatabase(OpenDatabase(databasePath_));
    FinishPendingDownloads();  // a download killed after its commit gets its image file
}

std::vector<OptionDef> FormatOptions() { return {{"--format", true}, {"--utf8", false}}; }

std::string FormatHelp() {
    return "  --format table|json|csv   вид вывода (по умолчанию table)\n"
           "  --utf8                    CSV в UTF-8 вместо Windows-1251";
}

OutputOptions ReadFormat(const ParsedArgs& args) {
    OutputOptions options;
    const std::string format = args.Value("--format").value_or("table");
    if (format == "table") options.format = RecordFormat::Table;
    else if (format == "json") options.format = RecordFormat::Json;
    else if (format == "csv") options.format = RecordFormat::Csv;
    else throw UsageError("неизвестный формат «" + format + "»: допустимы table, json, csv");
    options.utf8 = args.Has("--utf8");
    if (options.utf8 && options.format != RecordFormat::Csv) throw UsageError("--utf8 относится только к --format csv");
    return options;
}

void ExpectOperands(const ParsedArgs& args, std::size_t count, const std::string& what) {
    if (args.Operands().size() < count) throw UsageError("не указан " + what);
    if (args.Operands().size() > count) throw UsageError("лишний аргумент «" + args.Operands()[count] + "»");
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::vector<CliCommand> commands = AllCommands();
    std::optional<std::string> database;  // the program's own when not given
    std::optional<TDemoLink> demo;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            PrintOverallHelp(out, commands);
            return 0;
        }
        if (a == "--db" && i + 1 < args.size()) {
            database = args[++i];
        } else if (a.rfind("--db=", 0) == 0) {
            database = a.substr(5);
        } else if (a == "--demo" || a.rfind("--demo=", 0) == 0) {
            try {
                demo = ParseDemoOption(a);
            } catch (const Exception& e) {
                err << kProgram << ": " << e.what() << "\n";
                return 2;
            }
        } else if (a.rfind("-", 0) == 0) {
            err << kProgram << ": " << (a == "--db" ? "для параметра --db нужно значение" : "неизвестный параметр " + a)
                << "\n";
            return 2;
        } else {
            break;
        }
    }
    if (i == args.size()) {
        PrintOverallHelp(err, commands);
        return 2;
    }
    const std::string name = args[i];
    const CliCommand* command = nullptr;
    for (const auto& c : commands)
        if (c.name == name) command = &c;
    if (!command) {
        err << kProgram << ": неизвестная команда «" << name << "» (список команд: " << kProgram << " --help)\n";
        return 2;
    }
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    for (const auto& a : rest)
        if (a == "--help" || a == "-h") {
            PrintCommandHelp(out, *command);
            return 0;
        }

    auto prompts = std::make_shared<ConsolePrompts>(err);
    PromptsScope scope(prompts);
    try {
        std::vector<OptionDef> options = command->options;
        const ParsedArgs parsed = ParseArgs(rest, options);
        if (!database) {
            EnsureDataDirectory();
            database = DataLocations().databaseFile;
        }
        CliContext context(out, err, *database);
        context.console = prompts.get();
        std::optional<TDemoMeter> demoMeter;
        if (demo) demoMeter.emplace(*demo);
        const int status = command->run(context, parsed);
        SetMainDatabase(nullptr);
        // Output that never reached its file (a full disk, a closed pipe) is no success.
        out.flush();
        if (!out) {
            err << kProgram << " " << name << ": не удалось записать вывод команды\n";
            return 1;
        }
        return status;
    } catch (const UsageError& e) {
        SetMainDatabase(nullptr);
        err << kProgram << " " << name << ": " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        SetMainDatabase(nullptr);
        err << kProgram << " " << name << ": " << PrintableText(e.what(), true) << "\n";
        return 1;
    }
}

}  // namespace zorvex::cli
