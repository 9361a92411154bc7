// Commands that talk to the meter or read a memory image.
#include <csignal>
#include <cstdio>

#include <atomic>
#include <filesystem>

#include "app/cli/CliApp.h"
#include "app/cli/ConsolePrompts.h"
#include "base/Clock.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "base/Paths.h"
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

// The exit status of a command Ctrl+C stopped: 128 + SIGINT, as a shell
// reports a process the signal ended.
constexpr int kExitInterrupted = 130;

// Ctrl+C while the guard lives asks the command to stop at its next chance
// (the source at its next report, a store before its commit) instead of
// killing the process with the device open or half a download written.
class InterruptGuard {
public:
    InterruptGuard() {
        interrupted = 0;
        previous_ = std::signal(SIGINT, OnInterrupt);
    }
    ~InterruptGuard() {
        if (!keep_) std::signal(SIGINT, previous_);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Once the download is stored a late Ctrl+C must not kill the process on
    // its way out: the exit status would say it stopped.
    void KeepForTheRestOfTheRun() { keep_ = true; }

private:
    void (*previous_)(int);
    bool keep_ = false;
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

// Runs a source with progress on a terminal; false when Ctrl+C stopped it
// (the caller holds the InterruptGuard).
bool ReadSource(CliContext& context, TMDSource& source, TMeasureDataP& data) {
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
    InterruptGuard guard;
    if (!ReadSource(context, source, data)) return kExitInterrupted;
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
    InterruptGuard guard;
    const auto stopped = [&context] {
        context.err << "Ничего не сохранено\n";
        return kExitInterrupted;
    };
    if (!ReadSource(context, source, data)) return stopped();
    TDownloadInfo download = source.LastDownload();
    download.time = Now();
    context.OpenMainDatabase();
    // As the windowed program stores a download: records stored before are not
    // stored again. Ctrl+C counts until the commit; after it the download is
    // stored and is reported so.
    TStoreCounts counts;
    try {
        counts = StoreDownload(data, download, [] { return interrupted == 0; });
    } catch (const EDownloadStopped& e) {
        context.err << e.what() << "\n";
        return stopped();
    }
    guard.KeepForTheRestOfTheRun();
    PrintCounts(context, data);
    context.out << "Новых записей: " << counts.added << ", уже были в базе: " << counts.skipped << "\n" << std::flush;
    if (!counts.imageProblem.empty()) context.err << PendingImageNotice(counts) << "\n";
    return 0;
}

int PassportCommand(CliContext& context, const ParsedArgs& args) {
    ExpectOperands(args, 0, "");
    TZorvexDriver driver;
    driver.ImageFile = ImageOption(context, args);
    if (!driver.OpenDevice(0)) throw Exception(kDeviceNotFoundText);
    if (!driver.ImageFile.empty()) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(PathFromUtf8(driver.ImageFile), ec);
        // Fields past the end of a short file read as zeros and would pass for the meter's.
        if (!ec && size < static_cast<std::uintmax_t>(kMemoryImageSize)) {
            const int bytes = static_cast<int>(size);
            context.err << ShortImageFileText(
                               bytes, bytes < kPassportEndOffset ? TShortImageLoss::Passport : TShortImageLoss::Nothing)
                        << "\n";
        }
    }
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
    // The source asks method, kind, band and rejection in this order. It keeps
    // only the low byte of what it is given, so a value out of range would be
    // stored as another one.
    const struct {
        const char* option;
        int last;
    } ranges[] = {{"--method", kMethodCount - 1}, {"--kind", kKindCount - 1}, {"--band", kBandMid}, {"--rejection", 1}};
    for (const auto& [option, last] : ranges) {
        const auto value = args.Value(option);
        if (!value) throw UsageError(std::string("не указан параметр ") + option);
        const auto number = TryStrToInt(*value);
        if (!number || *number < 0 || *number > last)
            throw UsageError(std::string(option) + ": недопустимое значение «" + *value + "», допустимо от 0 до " +
                             std::to_string(last));
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
         "Ctrl+C, пока загрузка не сохранена, прерывает её: ничего не сохраняется, код\n"
         "завершения 130. Если всё уже сохранено, выводятся числа записей и код завершения 0.",
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
