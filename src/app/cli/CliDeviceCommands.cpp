// Commands that talk to the meter or read a memory image.
#include <csignal>
#include <cstdio>

#include <atomic>

#include "app/cli/CliApp.h"
#include "app/cli/ConsolePrompts.h"
#include "base/Clock.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "device/DeviceDataSource.h"
#include "device/MeterCommands.h"
#include "device/SLDeviceDataSource.h"
#include "device/TestDataSource.h"
#include "device/ZorvexDriver.h"
#include "storage/DBDataAdapter.h"
#include "storage/DownloadStore.h"
#include "storage/PassportTexts.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace zorvex::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

// Ctrl+C during a transfer asks the source to stop at its next report
// instead of killing the process with the device open.
class InterruptGuard {
public:
    InterruptGuard() {
        interrupted = 0;
        previous_ = std::signal(SIGINT, OnInterrupt);
    }
    ~InterruptGuard() { std::signal(SIGINT, previous_); }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*previous_)(int);
};

bool StderrIsTerminal() {
#ifdef _WIN32
    return false;
#else
    return isatty(2) != 0;
#endif
}

std::string ImageOption(CliContext& context, const ParsedArgs& args) {
    const auto image = args.Value("--image");
    return image ? context.InputFile(*image) : std::string();
}

// Runs a source with progress on a terminal and Ctrl+C; false when the user stopped it.
bool ReadSource(CliContext& context, TMDSource& source, TMeasureDataP& data) {
    InterruptGuard guard;
    const bool showProgress = StderrIsTerminal();
    bool stopped = false;
    source.OnProgress = [&](TMDProgress& p) {
        if (showProgress) {
            context.err << "\rОднократных: " << p.Singles << ", мониторинга: " << p.Monitors << "  " << p.Percent
                        << "%   " << std::flush;
        }
        if (interrupted) stopped = true;
        return !stopped;
    };
    data.SetMethodBytes();
    source.GetData("", data);
    if (showProgress) context.err << "\n";
    return !stopped;
}

void PrintCounts(CliContext& context, const TMeasureDataP& data) {
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k)
            context.out << m << "\t" << k << "\t" << data(m, k).Records.size() << "\t" << MethodCaption(m) << ", "
                        << KindCaption(k) << "\n";
}

int DecodeCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 1, "файл образа памяти");
    const OutputOptions format = ReadFormat(args);
    TSLDeviceDataSource source;
    source.ImageFile = context.InputFile(args.Operands()[0]);
    TMeasureDataP data;
    if (!ReadSource(context, source, data)) return 1;
    WriteRecords(context.out, data, format);
    return 0;
}

// Stores generated test data as the windowed program's hidden command does:
// every record as a new row.
void Store(CliContext& context, TMeasureDataP& data) {
    context.OpenMainDatabase();
    TDBDataAdapter().PutData(data, "");
    PrintCounts(context, data);
}

int DownloadCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    context.CheckDatabasePath();
    TDeviceDataSource source;
    source.ImageFile = ImageOption(context, args);
    TMeasureDataP data;
    if (!ReadSource(context, source, data)) return 1;  // stopped: nothing is stored
    TDownloadInfo download = source.LastDownload();
    download.time = Now();
    context.OpenMainDatabase();
    // As the windowed program stores a download: records stored before are not stored again.
    const TStoreCounts counts = StoreDownload(data, download);
    PrintCounts(context, data);
    context.out << "Новых записей: " << counts.added << ", уже были в базе: " << counts.skipped << "\n";
    return 0;
}

int PassportCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    TZorvexDriver driver;
    driver.ImageFile = ImageOption(context, args);
    if (!driver.OpenDevice(0)) throw Exception(kDeviceNotFoundText);
    const TPassportTexts texts = ReadPassportTexts(driver);
    driver.CloseDevice();
    context.out << "Серийный номер: " << texts.serialNumber << "\n"
                << "Версия ПО: " << texts.firmwareVersion << "\n"
                << "Число включений: " << texts.powerOnCount << "\n"
                << "Время работы: " << texts.runningTime << "\n"
                << "Дата последней поверки: " << texts.calibrationDate << "\n";
    return 0;
}

int ClearMeterCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    if (!args.Has("--yes"))
        throw UsageError("команда стирает все записи измерений в памяти прибора; подтвердите её параметром --yes");
    ClearMeterMemory();
    context.out << "Память прибора очищена\n";
    return 0;
}

int TestDataCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    // The source asks method, kind, band and rejection in this order.
    for (const char* option : {"--method", "--kind", "--band", "--rejection"}) {
        const auto value = args.Value(option);
        if (!value) throw UsageError(std::string("не указан параметр ") + option);
        context.console->inputAnswers.push_back(*value);
    }
    context.CheckDatabasePath();
    TTestDataSource source;
    TMeasureDataP data;
    data.SetMethodBytes();
    source.GetData("auto", data);
    Store(context, data);
    return 0;
}

}  // namespace

std::vector<CliCommand> DeviceCommands() {
    std::vector<OptionDef> decodeOptions = FormatOptions();
    return {
        {"decode", "ОБРАЗ [--format ВИД] [--utf8]", "разобрать файл образа памяти прибора (ничего не сохраняется)",
         FormatHelp(), decodeOptions, DecodeCommand},
        {"download", "[--image ФАЙЛ]", "считать прибор и сохранить в базу записи, которых в ней ещё нет",
         "  --image ФАЙЛ   читать файл образа памяти вместо прибора на канале драйвера\n"
         "После числа записей по видам выводится строка «Новых записей: N, уже были в базе: M»:\n"
         "записи, которые уже есть в базе, повторно не сохраняются. Каждое чтение попадает\n"
         "в список загрузок (команда downloads).\n"
         "Ctrl+C прерывает чтение; тогда ничего не сохраняется.",
         {{"--image", true}}, DownloadCommand},
        {"passport", "[--image ФАЙЛ]", "паспорт прибора", "  --image ФАЙЛ   читать файл образа памяти вместо прибора",
         {{"--image", true}}, PassportCommand},
        {"clear-meter", "--yes", "очистить память прибора (канал драйвера)",
         "Записи в памяти прибора стираются безвозвратно; без --yes команда не выполняется.", {{"--yes", false}},
         ClearMeterCommand},
        {"test-data", "--method M --kind K --band B --rejection R",
         "создать и сохранить тестовые измерения (без прибора)", "",
         {{"--method", true}, {"--kind", true}, {"--band", true}, {"--rejection", true}}, TestDataCommand},
    };
}

}  // namespace zorvex::cli
