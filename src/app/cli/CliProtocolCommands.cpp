// Stored protocols: the list and a protocol printed to PDF.
#include "app/cli/CliApp.h"
#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "storage/FileSafety.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/Utilities.h"

namespace zorvex::cli {
namespace {

ProtocolPdfRenderer& Renderer() {
    static ProtocolPdfRenderer renderer;
    return renderer;
}

int ProtocolCommand(CliContext& context, const ParsedArgs& args) {
    const auto& operands = args.Operands();
    if (operands.empty()) throw UsageError("не указано действие: list или pdf");
    if (operands[0] == "list") {
        ExpectOperands(args, 1, "");
        context.CheckDatabasePath();
        context.OpenMainDatabase();
        const auto table = MainDatabase().Query("select id, number, date from protocols order by id");
        while (!table->AtEnd()) {
            const std::string date = table->TextByName("date");
            const std::string number = PrintableText(TrimBlanks(table->TextByName("number")));
            context.out << table->TextByName("id") << "\t" << number << "\t"
                        << FormatDateTime("yyyy-mm-dd", ParseStoredDate(date)) << "\n";
            table->MoveNext();
        }
        return 0;
    }
    if (operands[0] == "pdf") {
        if (operands.size() != 3) throw UsageError("ожидается: protocol pdf НОМЕР_ЗАПИСИ ФАЙЛ.pdf");
        const auto id = TryStrToInt(operands[1]);
        if (!id || *id <= 0) throw UsageError("номер записи протокола должен быть положительным целым: «" + operands[1] + "»");
        if (!Renderer()) throw Exception("Печать протоколов в PDF в этой сборке недоступна");
        context.CheckDatabasePath();
        const std::string pdf = context.OutputFile(operands[2]);
        context.OpenMainDatabase();
        CheckOutputPath(pdf);  // not the main database, a file the program keeps, a device or a FIFO
        Renderer()(*id, pdf);
        return 0;
    }
    throw UsageError("неизвестное действие «" + operands[0] + "»: допустимы list и pdf");
}

}  // namespace

void SetProtocolPdfRenderer(ProtocolPdfRenderer renderer) { Renderer() = std::move(renderer); }

std::vector<CliCommand> ProtocolCommands() {
    // A build without the report engine (no Qt) says so before the command is tried.
    const bool pdf = static_cast<bool>(Renderer());
    return {{"protocol", "list | pdf НОМЕР_ЗАПИСИ ФАЙЛ.pdf",
             pdf ? "сохранённые протоколы: список или печать в PDF"
                 : "сохранённые протоколы: список (печать в PDF в этой сборке недоступна)",
             std::string("  list                       номер записи, номер протокола и дата, по строке на протокол;\n"
                         "                             управляющие символы в номере показаны как \\xNN\n"
                         "  pdf НОМЕР_ЗАПИСИ ФАЙЛ.pdf  документ протокола в файл PDF (без окна); прежний файл\n"
                         "                             заменяется только целиком записанным новым") +
                 (pdf ? "" : "\n                             (в этой сборке недоступно: она собрана без Qt)"),
             {}, ProtocolCommand}};
}

}  // namespace zorvex::cli
