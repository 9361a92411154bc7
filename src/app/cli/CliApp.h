#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/CliArgs.h"
#include "app/cli/CliOutput.h"

namespace zorvex::cli {

class ConsolePrompts;

// What a command works with.
class CliContext {
public:
    CliContext(std::ostream& out, std::ostream& err, std::string databasePath);

    std::ostream& out;
    std::ostream& err;
    ConsolePrompts* console = nullptr;  // the prompts installed for this run

    // Refuses a --db name that cannot be the database (empty, a directory, a
    // device or a FIFO). Commands on the database call it before they read the
    // meter, so nothing is read and then stored into a throw-away database.
    void CheckDatabasePath() const;
    // Opens (or creates) the main database once, as the windowed program does.
    void OpenMainDatabase();
    // A path given on the command line, made absolute against the directory
    // the tool was started in (opening a database moves the working directory).
    std::string ResolvePath(const std::string& path) const;
    // A file to write, resolved; refuses an empty name and a directory. Called
    // before the first database is opened, while the working directory is
    // still the one the names were given in.
    std::string OutputFile(const std::string& given) const;
    // A file to read, resolved; refuses as OutputFile, then a missing file and
    // anything but a regular file (reading a FIFO would block for good).
    std::string InputFile(const std::string& given) const;
    const std::string& DatabasePath() const { return databasePath_; }

private:
    std::string startDirectory_;
    std::string givenDatabase_;
    std::string databasePath_;
};

struct CliCommand {
    std::string name;
    std::string synopsis;  // operands and options after the name
    std::string summary;   // one line for the overall help
    std::string details;   // further help lines
    std::vector<OptionDef> options;
    std::function<int(CliContext&, const ParsedArgs&)> run;
};

// Runs the tool with the arguments after the program name; returns the exit
// status: 0 success, 1 error, 2 usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The command tables of the groups of commands.
std::vector<CliCommand> StoreCommands();
std::vector<CliCommand> DeviceCommands();
std::vector<CliCommand> ProtocolCommands();
std::vector<CliCommand> StatsCommands();

// Prints stored protocol `id` to a PDF file. The document needs Qt, so the
// program installs it when it is built with the report engine; without one
// `protocol pdf` says it is unavailable.
using ProtocolPdfRenderer = std::function<void(int id, const std::string& pdfPath)>;
void SetProtocolPdfRenderer(ProtocolPdfRenderer renderer);

// Options shared by the commands that print records.
std::vector<OptionDef> FormatOptions();
std::string FormatHelp();  // their help lines
OutputOptions ReadFormat(const ParsedArgs& args);

// Exactly `count` operands, or UsageError naming what is missing.
void ExpectOperands(const ParsedArgs& args, std::size_t count, const std::string& what);

}  // namespace zorvex::cli
