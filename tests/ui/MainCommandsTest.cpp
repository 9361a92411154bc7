#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "MainformFixture.h"
#include "base/Clock.h"
#include "base/CodePage1251.h"
#include "base/Paths.h"
#include "base/RunSettings.h"
#include "device/DemoMeter.h"
#include "device/DriverLoader.h"
#include "device/ImageBuilder.h"
#include "device/SimulatedMeter.h"
#include "device/SimulatedUsbBus.h"
#include "device/UsbBus.h"
#include "storage/DBDataAdapter.h"
#include "storage/DownloadStore.h"
#include "storage/FileDataAdapter.h"
#include "storage/Levels.h"
#include "support/FileSizeLimit.h"
#include "support/RawSqlite.h"
#include "ui/AboutForm.h"
#include "ui/GetDevDataForm.h"
#include "ui/PasportForm.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/ReferenceForm.h"
#include "ui/protocol/ReportForm.h"

namespace zorvex::test {
namespace {

TDateTime At(int y, int mo, int d, int h = 10, int mi = 0, int s = 0) {
    return EncodeDateTime(y, mo, d, h, mi, s, 0);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a download of the meter can give: two single magnetic measurements
// and a monitoring run of the electric field, 10 s apart.
TMeasureDataP MeterContents(TDateTime singlesAt, TDateTime monitoringAt) {
    TMeasureDataP data;
    for (int i = 0; i < 2; ++i) {
        TMeasureRecord r = Record(kKindMagnetic, singlesAt + i / 1440.0, 100 + i, 0.0, kBandLow, 0, i + 1);
        data(kMethodSingle, kKindMagnetic).Records.push_back(r);
    }
    TDateTime time = monitoringAt;
    for (double value : {10.5, 20.25, 30.0}) {
        data(kMethodMonitoring, kKindElectric).Records.push_back(Record(kKindElectric, time, kAbsentValue, value));
        time = (time * 86400 + 10) / 86400;
    }
    return data;
}

std::string Count(const std::string& db, const std::string& where = "") {
    return RawRows(db, "select count(*) from measurements" + where)[0][0];
}

// The main window with the device seams installed (no meter on the USB bus,
// `meter` behind the driver link) and every modal dialog driven by `drive`.
class CommandsTest : public MainformTest {
protected:
    CommandsTest()
        : runnerScope([this](QDialog& dialog) {
              ++modalCount;
              return drive ? drive(dialog) : static_cast<int>(QDialog::Rejected);
          }) {
        QApplication::setActiveWindow(form.get());
    }
    void Attach(std::vector<std::uint8_t> image) {
        meter = std::make_shared<TSimulatedMeter>(std::move(image));
        backendScope.reset();  // restores the previous backend before the next is installed
        backendScope = std::make_unique<DriverBackendScope>(meter);
    }
    // The download dialog runs its transfer and is closed with "ОК".
    void AcceptFinishedDownload() {
        drive = [](QDialog& dialog) {
            auto& download = dynamic_cast<TGetDevDataForm&>(dialog);
            download.show();
            download.Timer1Timer();
            EXPECT_EQ(download.State(), TGetDevDataForm::kFinished);
            download.Button1Click();  // "ОК"
            return download.result();
        };
    }
    void Press(int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(form->DataGrid, &press);
    }
    void Trigger(const char* item) {
        auto* action = form->findChild<QAction*>(item);
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }

    UsbBusScope busScope{std::make_shared<SimulatedUsbBus>()};
    std::shared_ptr<TSimulatedMeter> meter;
    std::unique_ptr<DriverBackendScope> backendScope;
    std::function<int(QDialog&)> drive;
    int modalCount = 0;
    ModalRunnerScope runnerScope;
};

// ---- CSV export ---------------------------------------------------------------------

struct CsvCase {
    const char* name;
    int mode, kind;
    std::vector<TMeasureRecord> records;
    std::string expected;  // UTF-8; the file holds it in code page 1251
};

TEST_F(CommandsTest, ExportWritesTheTableOnViewAsCsv) {
    const std::vector<CsvCase> cases = {
        {"single layout",
         kMethodSingle,
         kKindSvtMagnetic,
         {[] {
             TMeasureRecord r = Record(kKindSvtMagnetic, At(2010, 3, 5, 9, 8, 7), 123.45, -1, kBandHigh, 1, 7);
             r.workplace = 12;
             r.height = 3;
             return r;
         }()},
         "Ячейка;Рабочее;Уровень;Дата;Время;Магнитное поле;Полоса;Режекция\r\n"
         ";место;по высоте;;;нТл;;\r\n"
         "7;12;1,5;05.03.2010;09:08:07;123,45;2кГц - 400кГц;50Гц\r\n"},
        {"empty kind",
         kMethodSingle,
         kKindMagnetic,
         {},
         "Ячейка;Рабочее;Уровень;Дата;Время;Значение;Полоса\r\n"
         ";место;по высоте;;;нТл;\r\n"
         ";;;;;;\r\n"},
        {"monitoring of kind 0",
         kMethodMonitoring,
         kKind50Hz,
         {Record(kKind50Hz, At(2010, 3, 5), 12.5, 0.75)},
         "Магнитное поле;Электрическое поле\r\nнТл;В/м\r\n12,50;0,75\r\n"},
    };
    for (const CsvCase& c : cases) {
        SCOPED_TRACE(c.name);
        TMeasureDataP data;
        data(c.mode, c.kind).Records = c.records;
        Show(data, c.mode, c.kind);
        const std::string file = Data(std::string("export/") + c.name + ".csv");  // the directory is created
        prompts->shown.clear();
        prompts->fileAnswers = {file};
        prompts->confirmAnswers = {true};
        Trigger("N17");
        EXPECT_EQ(ReadBytes(file), Utf8ToCp1251(c.expected));
        ASSERT_EQ(prompts->shown.size(), 3u);
        EXPECT_EQ(prompts->shown[0].text, "Экспорт данных мониторинга");
        EXPECT_EQ(prompts->shown[1].text, "Открыть экспортированный файл?");
        EXPECT_EQ(prompts->shown[2].kind, "open-app");
        EXPECT_EQ(prompts->shown[2].text, file);
    }
}

// Names of the files in `directory`, sorted.
std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(directory)))
        names.push_back(Utf8FromPath(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(CommandsTest, AnExportThatCannotBeWrittenSaysSoInsteadOfAsking) {
    std::filesystem::create_directories(PathFromUtf8(Data("folder")));
    std::ofstream(PathFromUtf8(Data("blocker"))) << "a file, not a directory";
    struct Case {
        const char* name;
        std::string path;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a directory", Data("folder"), "«" + Data("folder") + "» — каталог, а не файл"},
        {"a device", "/dev/full", "Не удалось записать файл «/dev/full»: это не обычный файл"},
        {"the main database", Data("data.db"),
         "Файл «" + Data("data.db") + "» — основная база данных программы; выберите другое имя"},
        {"below a file", Data("blocker/out.csv"), "Не удалось записать файл «" + Data("blocker/out.csv") + "»"},
    };
    const std::vector<std::string> files = FilesIn(Data(""));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        prompts->fileAnswers = {c.path};
        Trigger("N17");
        EXPECT_EQ(prompts->Messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(prompts->shown.back().icon, MessageIcon::Error);
        for (const auto& s : prompts->shown) EXPECT_NE(s.kind, "confirm");
    }
    EXPECT_EQ(FilesIn(Data("")), files);  // nothing left behind
    EXPECT_TRUE(FilesIn(Data("folder")).empty());
    EXPECT_EQ(ReadBytes(Data("blocker")), "a file, not a directory");
    EXPECT_EQ(Count(Data("data.db")), "0");
}

TEST_F(CommandsTest, AnExportThatFailsWhileWritingLeavesTheEarlierFileAsItWas) {
    TMeasureDataP data;
    data(kMethodSingle, kKindSvtMagnetic).Records = {Record(kKindSvtMagnetic, At(2010, 3, 5), 123.45, -1)};
    Show(data, kMethodSingle, kKindSvtMagnetic);
    const std::string file = Data("kept.csv");
    std::ofstream(PathFromUtf8(file)) << "earlier export";
    const std::vector<std::string> files = FilesIn(Data(""));
    prompts->fileAnswers = {file};
    {
        // The table's bytes run past the limit: a write fails half-way, as on a full disk.
        FileSizeLimit limit(32);
        Trigger("N17");
    }
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Не удалось записать файл «" + file + "»"});
    EXPECT_EQ(ReadBytes(file), "earlier export");
    EXPECT_EQ(FilesIn(Data("")), files);

    // Written whole, the new export replaces it.
    prompts->shown.clear();
    prompts->fileAnswers = {file};
    prompts->confirmAnswers = {false};
    Trigger("N17");
    EXPECT_TRUE(prompts->Messages().empty());
    EXPECT_EQ(ReadBytes(file), form->ExportText());
    EXPECT_EQ(FilesIn(Data("")), files);
}

TEST_F(CommandsTest, AnExportNothingCanOpenIsReported) {
    prompts->fileAnswers = {Data("out.csv")};
    prompts->confirmAnswers = {true};
    prompts->openAppResult = false;
    Trigger("N17");
    ASSERT_EQ(prompts->Messages().size(), 1u);
    EXPECT_EQ(prompts->Messages()[0],
              "Не удалось открыть «" + Data("out.csv") + "»: нет приложения для файлов этого типа");
}

// ---- download ---------------------------------------------------------------------------

struct DownloadCase {
    const char* name;
    TDateTime singlesAt, monitoringAt;
    int mode, kind;
    int rowsAfter;  // rows in data.db after the download
};

TEST_F(CommandsTest, DownloadStoresEveryRecordOnceAndShowsTheNewestList) {
    const std::vector<DownloadCase> cases = {
        {"monitoring newest", At(2024, 3, 5), At(2024, 3, 6), kMethodMonitoring, kKindElectric, 5},
        // The monitoring run of 6 March came with the first download already.
        {"singles newest", At(2024, 3, 7), At(2024, 3, 6), kMethodSingle, kKindMagnetic, 7},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TMeasureDataP contents = MeterContents(c.singlesAt, c.monitoringAt);
        Attach(BuildImage(contents));
        AcceptFinishedDownload();
        form->BitBtn1->click();
        EXPECT_EQ(Count(Data("data.db")), std::to_string(c.rowsAfter));
        EXPECT_EQ(form->Mode(), c.mode);
        EXPECT_EQ(form->Kind(), c.kind);
        EXPECT_EQ(form->TabControl1->currentIndex(), c.kind);
        for (int method = 0; method < kMethodCount; ++method) {
            for (int kind = 0; kind < kKindCount; ++kind) {
                const auto& got = form->Matrix()(method, kind).Records;
                ASSERT_EQ(got.size(), contents(method, kind).Records.size());
                for (const auto& r : got) EXPECT_NE(r.id, 0);  // every record has its row
            }
        }
        EXPECT_TRUE(form->IdsOfMainDatabase());
        EXPECT_EQ(form->DataGrid->RowCount(), 2 + (c.mode == kMethodSingle ? 2 : 3));
    }
    ASSERT_EQ(form->DateTree->topLevelItemCount(), 1);
    EXPECT_EQ(form->DateTree->topLevelItem(0)->text(0), "2024");
    EXPECT_EQ(form->DateTree->topLevelItem(0)->child(0)->childCount(), 3);  // 5, 6 and 7 March
}

TEST_F(CommandsTest, AnImageThatCannotBeKeptYetIsSaidAndTheRecordsAreStored) {
    std::ofstream(PathFromUtf8(Data("downloads"))) << "not a folder";  // downloads/ cannot be made
    Attach(BuildImage(MeterContents(At(2024, 3, 5), At(2024, 3, 6))));
    AcceptFinishedDownload();
    form->BitBtn1->click();
    EXPECT_EQ(Count(Data("data.db")), "5");
    ASSERT_EQ(prompts->Messages().size(), 1u);
    EXPECT_NE(prompts->Messages()[0].find("пока не записан в downloads"), std::string::npos) << prompts->Messages()[0];
    EXPECT_EQ(prompts->shown.back().icon, MessageIcon::Warning);
    EXPECT_EQ(RawRows(Data("data.db"), "select count(*) from downloadimages")[0][0], "1");  // kept for the next start
}

TEST_F(CommandsTest, TheSameMemoryDownloadedTwiceIsStoredOnceAndBothDownloadsAreRecorded) {
    TImageBuilder builder;
    builder.SetBytes(0, BuildImage(MeterContents(At(2024, 3, 5), At(2024, 3, 6))));
    TPassport passport;
    passport.serialNumber = 1207;
    passport.calibration = {0, 0, 12, 5, 3, 23};  // 05.03.2023
    builder.SetPassport(passport);
    Attach(builder.Image());
    const auto clock = std::make_shared<FixedClock>(At(2024, 3, 7, 9));
    const ClockScope clockScope(clock);
    AcceptFinishedDownload();

    form->BitBtn1->click();
    const TMeasureDataP first = form->Matrix();
    clock->Set(At(2024, 3, 7, 11));
    form->BitBtn1->click();
    EXPECT_EQ(Count(Data("data.db")), "5");
    EXPECT_EQ(form->Matrix(), first);  // the records on view are the stored rows
    const std::vector<TDownloadRow> downloads = ListDownloads();
    ASSERT_EQ(downloads.size(), 2u);
    const struct {
        TDateTime time;
        std::int64_t added, skipped;
    } expected[] = {{At(2024, 3, 7, 9), 5, 0}, {At(2024, 3, 7, 11), 0, 5}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(downloads[i].time, expected[i].time);
        EXPECT_EQ(downloads[i].link, kLinkDriver);
        EXPECT_EQ(downloads[i].serialNumber, 1207);
        EXPECT_EQ(downloads[i].added, expected[i].added);
        EXPECT_EQ(downloads[i].skipped, expected[i].skipped);
    }

    // The protocol editor knows the meter of the records on view, and knows
    // nothing of records read back from a file, whose ids are the file's own.
    std::vector<std::string> calibrationShown;
    drive = [&](QDialog& dialog) {
        const auto& editor = dynamic_cast<TReportForm&>(dialog);
        calibrationShown.push_back(editor.CalibrationLabel->isVisibleTo(&editor)
                                       ? editor.CalibrationLabel->text().toStdString()
                                       : "hidden");
        return static_cast<int>(QDialog::Rejected);
    };
    form->N14Click();
    prompts->fileAnswers = {Data("set.zorvex"), Data("set.zorvex")};
    form->N5Click();
    form->N4Click();
    form->N14Click();
    EXPECT_EQ(calibrationShown, (std::vector<std::string>{"Прибор № 1207: поверка от 05.03.2023", "hidden"}));
}

TEST_F(CommandsTest, TheDemonstrationMeterGivesItsWholeDayOnceAndTheTitleSaysSo) {
    const TMeasureDataP day = DemoMeasurements();
    for (const TDemoLink link : {TDemoLink::Driver, TDemoLink::Usb}) {
        SCOPED_TRACE(static_cast<int>(link));
        RawExec(Data("data.db"), "delete from measurements");
        const TDemoMeter demo(link);
        AcceptFinishedDownload();
        form->BitBtn1->click();
        EXPECT_EQ(Count(Data("data.db")), std::to_string(day.TotalRecords()));
        for (int method = 0; method < kMethodCount; ++method)
            for (int kind = 0; kind < kKindCount; ++kind)
                EXPECT_EQ(form->Matrix()(method, kind).Records.size(), day(method, kind).Records.size());
    }
    EXPECT_EQ(form->windowTitle(), "Zorvex");
    form->MarkDemonstrationMeter();
    EXPECT_EQ(form->windowTitle(), "Zorvex — демонстрационный прибор");
}

TEST_F(CommandsTest, CancelledDownloadChangesNothing) {
    TMeasureDataP before;
    before(kMethodSingle, kKind50Hz).Records = {Record(kKind50Hz, At(2012, 1, 1), 1, 2)};
    Show(before, kMethodSingle, kKind50Hz);
    Attach(BuildImage(MeterContents(At(2024, 3, 5), At(2024, 3, 6))));
    drive = [](QDialog& dialog) {
        auto& download = dynamic_cast<TGetDevDataForm&>(dialog);
        download.show();
        download.Button1Click();  // "Отмена" before the transfer started
        return download.result();
    };
    form->N15Click();
    EXPECT_EQ(modalCount, 1);
    EXPECT_EQ(form->Matrix(), before);
    EXPECT_EQ(Count(Data("data.db")), "0");
    EXPECT_EQ(form->Mode(), kMethodSingle);
    EXPECT_EQ(form->DateTree->topLevelItemCount(), 0);
}

// ---- measurement files -----------------------------------------------------------------

TEST_F(CommandsTest, SavingKeepsTheRecordsOfTheDatabaseAndOpenedFileRecordsNeverWriteIntoIt) {
    // Three other rows first, so that the file's ids name other rows of data.db.
    TMeasureDataP other;
    other(kMethodSingle, kKind50Hz).Records = {Record(0, At(2011, 1, 1), 1, 1), Record(0, At(2011, 1, 2), 1, 1),
                                               Record(0, At(2011, 1, 3), 1, 1)};
    form->TakeOverMatrix(other, false);
    form->StoreMeasurements();
    TMeasureDataP mine;
    mine(kMethodSingle, kKindMagnetic).Records = {Record(3, At(2012, 5, 1), 5, 0), Record(3, At(2012, 5, 2), 6, 0)};
    form->TakeOverMatrix(mine, false);
    form->SelectNewestData();
    form->StoreMeasurements();
    ASSERT_EQ(form->Matrix()(0, kKindMagnetic).Records[0].id, 4);

    const std::string file = Data("set.zorvex");
    prompts->fileAnswers = {file};
    Trigger("N5");
    TMeasureDataP inFile;
    TFileDataAdapter().GetData(file, inFile);
    ASSERT_EQ(inFile(0, kKindMagnetic).Records.size(), 2u);
    EXPECT_EQ(inFile(0, kKindMagnetic).Records[0].id, 1);  // the file's own rows
    // The records on view are still those of data.db: an edit after the backup lands on its own row.
    EXPECT_EQ(form->Matrix()(0, kKindMagnetic).Records[0].id, 4);
    EXPECT_TRUE(form->IdsOfMainDatabase());
    form->DataGrid->EditCellText(1, 2, "44");
    EXPECT_EQ(RawRows(Data("data.db"), "select id, workplace from measurements where workplace <> 0"),
              (std::vector<std::vector<std::string>>{{"4", "44"}}));

    // Opened while a longer monitoring run of the same kind is on view: the
    // view is laid out for the file's lists before it is filled.
    TMeasureDataP run;
    for (int i = 0; i < 4; ++i) {
        run(1, kKindMagnetic).Records.push_back(Record(3, At(2013, 1, 1, 10, 0, i * 10), i + 1, 0));
    }
    Show(run, kMethodMonitoring, kKindMagnetic);
    ASSERT_EQ(form->ShownCount(), 4);
    prompts->fileAnswers = {file};
    Trigger("N4");
    EXPECT_TRUE(prompts->Messages().empty());
    EXPECT_EQ(form->Mode(), kMethodSingle);
    EXPECT_EQ(form->Kind(), kKindMagnetic);
    EXPECT_EQ(Cell(5, 3), "6.00");
    form->DataGrid->EditCellText(1, 3, "45");
    EXPECT_FALSE(form->IdsOfMainDatabase());
    EXPECT_EQ(Count(Data("data.db"), " where workplace <> 0"), "1");  // only the edit of row 4
    EXPECT_EQ(Count(Data("data.db")), "5");

    // A cancelled dialog loads nothing.
    prompts->fileAnswers = {std::nullopt};
    form->N4Click();
    EXPECT_EQ(form->Matrix()(0, kKindMagnetic).Records[1].workplace, 45);
}

TEST_F(CommandsTest, SaveDialogsStartBesideTheDatabaseThenWhereTheUserSavedAndOfferWhatIsSaved) {
    TMeasureDataP data;
    data(kMethodSingle, kKindMagnetic).Records = {Record(3, At(2024, 3, 5, 9), 5, 0),
                                                  Record(3, At(2024, 3, 6, 9), 6, 0)};
    for (int i = 0; i < 3; ++i)
        data(kMethodMonitoring, kKind50Hz).Records.push_back(Record(0, At(2024, 3, 7, 10, 0, i * 10), 1 + i, 2));
    Show(data, kMethodSingle, kKindMagnetic);
    std::filesystem::create_directories(PathFromUtf8(Data("stick")));
    const auto inStick = [this](const std::string& name) { return Data("stick/" + name); };
    const auto showRun = [this] {
        form->N2Click();
        form->TabControl1->setCurrentIndex(kKind50Hz);
    };
    struct Case {
        const char* name;
        std::function<void()> command;
        const char* dialog;
        std::string start;  // where the dialog starts, with the name it offers
        std::optional<std::string> answer;
    };
    const std::vector<Case> cases = {
        {"measurement file", [&] { Trigger("N5"); }, "save", Data("Измерения 05.03.2024-07.03.2024.zorvex"),
         std::nullopt},
        {"open", [&] { Trigger("N4"); }, "open", Utf8FromPath(dir.path()), std::nullopt},
        {"export of the singles", [&] { Trigger("N17"); }, "save",
         Data("Однократные Магнитное поле 05.03.2024-06.03.2024.csv"), inStick("singles.csv")},
        // From here on the dialogs start where the user saved.
        {"measurement file again", [&] { Trigger("N5"); }, "save", inStick("Измерения 05.03.2024-07.03.2024.zorvex"),
         std::nullopt},
        {"open again", [&] { Trigger("N4"); }, "open", Utf8FromPath(dir.path() / "stick"), std::nullopt},
        {"export of the run",
         [&] {
             showRun();
             Trigger("N17");
         },
         "save", inStick("Мониторинг 50Гц 07.03.2024 10-00-00.csv"), std::nullopt},
        {"graph", [&] { form->SaveGraphBtnClick(); }, "save", inStick("График 50Гц 07.03.2024 10-00-00.png"),
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        prompts->fileAnswers = {c.answer};
        prompts->confirmAnswers = {false};  // the export asks whether to open its file
        c.command();
        ASSERT_FALSE(prompts->shown.empty());
        EXPECT_EQ(prompts->shown[0].kind, c.dialog);
        EXPECT_EQ(prompts->shown[0].directory, c.start);
        EXPECT_TRUE(prompts->Messages().empty());
    }
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(inStick("singles.csv"))));
}

TEST_F(CommandsTest, SavingNothingNeverEmptiesAFileOfMeasurements) {
    TMeasureDataP two;
    two(kMethodSingle, kKindMagnetic).Records = {Record(3, At(2012, 5, 1), 5, 0), Record(3, At(2012, 5, 2), 6, 0)};
    TFileDataAdapter().PutData(two, Data("full.zorvex"));
    TMeasureDataP none;
    TFileDataAdapter().PutData(none, Data("empty.zorvex"));
    std::ofstream(PathFromUtf8(Data("notes.txt"))) << "not a measurement file";
    const std::string full = ReadBytes(Data("full.zorvex"));
    struct Case {
        const char* name;
        bool nothingOnView;
        std::string file;
        std::vector<std::string> messages;
        std::int64_t inFileAfter;  // measurements in the file after the save; -1: the file kept its bytes
    };
    const std::vector<Case> cases = {
        {"nothing over measurements", true, Data("full.zorvex"),
         {"Нет измерений для сохранения: файл «" + Data("full.zorvex") + "» с измерениями (2) оставлен как был."},
         -1},
        {"nothing as a new file", true, Data("new.zorvex"), {}, 0},
        {"nothing over an empty file", true, Data("empty.zorvex"), {}, 0},
        {"nothing over a file of something else", true, Data("notes.txt"), {}, 0},
        {"measurements over measurements", false, Data("full.zorvex"), {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMeasureDataP onView;
        if (!c.nothingOnView) onView(kMethodSingle, kKind50Hz).Records = {Record(0, At(2013, 1, 1), 1, 2)};
        Show(onView, kMethodSingle, kKind50Hz);
        prompts->shown.clear();
        prompts->fileAnswers = {c.file};
        Trigger("N5");
        EXPECT_EQ(prompts->Messages(), c.messages);
        if (c.inFileAfter < 0) {
            EXPECT_EQ(ReadBytes(c.file), full);
            EXPECT_EQ(prompts->shown.back().icon, MessageIcon::Warning);
        } else {
            TMeasureDataP read;
            TFileDataAdapter().GetData(c.file, read);
            EXPECT_EQ(static_cast<std::int64_t>(read.TotalRecords()), c.inFileAfter);
        }
    }
}

TEST_F(CommandsTest, AnEditOfRecordsFromAFileSaysOnceItStaysInTheWindow) {
    TMeasureDataP stored;
    stored(kMethodSingle, kKindMagnetic).Records = {Record(3, At(2012, 5, 1), 5, 0), Record(3, At(2012, 5, 2), 6, 0)};
    TFileDataAdapter().PutData(stored, Data("set.zorvex"));
    const std::string notice =
        "Изменения рабочего места и высоты у измерений из файла не записываются ни в файл, ни в базу и пропадут при "
        "следующей загрузке. Чтобы сохранить их, сохраните данные в файл (F2).";
    const auto open = [this] {
        prompts->fileAnswers = {Data("set.zorvex")};
        Trigger("N4");
        ASSERT_EQ(form->Kind(), kKindMagnetic);
    };
    open();
    const std::string before = ReadBytes(Data("set.zorvex"));
    struct Step {
        const char* name;
        int col, row;
        const char* text;
        std::size_t notices;  // notices shown so far
    };
    const std::vector<Step> steps = {
        {"same workplace", 1, 2, "0", 0},
        {"first edit", 1, 2, "7", 1},
        {"second edit", 1, 3, "8", 1},
        {"height", 2, 2, "1.5", 1},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        form->DataGrid->EditCellText(s.col, s.row, s.text);
        EXPECT_EQ(prompts->Messages(), std::vector<std::string>(s.notices, notice));
    }
    EXPECT_EQ(form->Matrix()(kMethodSingle, kKindMagnetic).Records[0].height, 3);
    EXPECT_EQ(ReadBytes(Data("set.zorvex")), before);
    ASSERT_EQ(prompts->shown.back().icon, MessageIcon::Information);

    // The next file opened is told about again: a height edit says it as well.
    open();
    form->DataGrid->EditCellText(2, 3, "0.5");
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>(2, notice));

    // Records of the program's database are written where they belong: no notice.
    form->TakeOverMatrix(stored, false);
    form->StoreMeasurements();
    form->SetupDataGrid();
    form->DataGrid->EditCellText(1, 2, "9");
    EXPECT_EQ(prompts->Messages().size(), 2u);
    EXPECT_EQ(Count(Data("data.db"), " where workplace = 9"), "1");
}

TEST_F(CommandsTest, RowsOutsideTheMatrixAreCountedOncePerLoad) {
    TMeasureDataP two;
    two(kMethodSingle, kKindMagnetic).Records = {Record(3, At(2012, 5, 1), 5, 0), Record(3, At(2012, 5, 2), 6, 0)};
    for (const std::string& file : {std::string(), Data("set.zorvex"), Data("clean.zorvex")}) {
        TMeasureDataP copy = two;
        TDBDataAdapter().PutData(copy, file);  // "": the program's database
    }
    // A method and a kind that no tab shows, stored by another program.
    const std::string alien =
        "insert into measurements (method, kind, number, workplace, height, time, mvalue, mvalue2, evalue, evalue2, "
        "band, rejection) select 2, kind, number, workplace, height, time, mvalue, mvalue2, evalue, evalue2, band, "
        "rejection from measurements; update measurements set kind = 7 where id = 1";
    RawExec(Data("data.db"), alien);
    RawExec(Data("set.zorvex"), alien);
    form->BuildDateTree();
    const auto skipped = [](int n) {
        return std::vector<std::string>{"Не показано записей: " + std::to_string(n) +
                                        " — их режим или вид измерения программе неизвестен."};
    };
    struct Case {
        const char* name;
        std::function<void()> load;
        std::vector<std::string> messages;
        std::size_t shown;  // records on view
    };
    const std::vector<Case> cases = {
        {"a measurement file",
         [&] {
             prompts->fileAnswers = {Data("set.zorvex")};
             Trigger("N4");
         },
         skipped(3), 1},
        {"a file without such rows",
         [&] {
             prompts->fileAnswers = {Data("clean.zorvex")};
             Trigger("N4");
         },
         {}, 2},
        {"a day of the history",
         [&] {
             QTreeWidgetItem* day = form->DateTree->topLevelItem(0)->child(0)->child(0);
             form->DateTree->setCurrentItem(day);
             form->DateTreeClick();
         },
         skipped(2), 0},
        {"the same day again",
         [&] { form->DateTreeClick(); },
         skipped(2), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        c.load();
        EXPECT_EQ(prompts->Messages(), c.messages);
        EXPECT_EQ(form->Matrix().TotalRecords(), c.shown);
    }
}

// ---- clearing --------------------------------------------------------------------------

TEST_F(CommandsTest, ClearHistoryDeletesOnlyWhenConfirmed) {
    TMeasureDataP data;
    data(kMethodMonitoring, kKind50Hz).Records = {Record(0, At(2012, 5, 1), 1, 2)};
    data(kMethodSingle, kKindElectric).Records = {Record(4, At(2012, 5, 2), 0, 3)};
    form->TakeOverMatrix(data, false);
    form->SelectNewestData();
    form->StoreMeasurements();
    const int kind = form->Kind();

    prompts->confirmAnswers = {false};
    Trigger("N18");
    EXPECT_EQ(prompts->shown.back().text, "Вы уверены, что хотите стереть все записи в истории измерений?");
    EXPECT_EQ(Count(Data("data.db")), "2");
    EXPECT_EQ(form->Matrix()(kMethodSingle, kKindElectric).Records.size(), 1u);
    EXPECT_EQ(form->DateTree->topLevelItemCount(), 1);

    prompts->confirmAnswers = {true};
    Trigger("N18");
    EXPECT_EQ(Count(Data("data.db")), "0");
    for (int method = 0; method < kMethodCount; ++method)
        for (int k = 0; k < kKindCount; ++k) EXPECT_TRUE(form->Matrix()(method, k).Records.empty());
    EXPECT_EQ(form->DateTree->topLevelItemCount(), 0);
    EXPECT_EQ(form->Kind(), kind);  // mode and kind stay
    EXPECT_EQ(form->DataGrid->RowCount(), 3);
    EXPECT_EQ(Cell(5, 2), "");
}

TEST_F(CommandsTest, AClearHistoryTheDatabaseRefusesSaysWhyInRussianAndChangesNothing) {
    TMeasureDataP data;
    data(kMethodSingle, kKindElectric).Records = {Record(4, At(2012, 5, 2), 0, 3)};
    form->TakeOverMatrix(data, false);
    form->SelectNewestData();
    form->StoreMeasurements();
    const TMeasureDataP stored = form->Matrix();
    std::unique_ptr<TSQLiteDatabase> other;  // another program on the same file
    struct Case {
        const char* name;
        std::function<void()> refuse, allow;  // make the database refuse the delete, and undo that
        std::string message;
    };
    const std::vector<Case> cases = {
        {"read-only", [] { MainDatabase().Execute("pragma query_only = 1"); },
         [] { MainDatabase().Execute("pragma query_only = 0"); },
         "Не удалось стереть историю измерений: база данных открыта только для чтения"},
        {"busy",
         [&] {
             MainDatabase().SetBusyTimeout(0);
             other = TSQLiteDatabase::Open(Data("data.db"));
             other->Execute("begin immediate");
         },
         [&] {
             other.reset();
             MainDatabase().SetBusyTimeout(TSQLiteDatabase::kDefaultBusyTimeoutMs);
         },
         "Не удалось стереть историю измерений: база данных занята другой программой, повторите позже"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        prompts->confirmAnswers = {true};
        c.refuse();
        Trigger("N18");
        c.allow();
        EXPECT_EQ(prompts->Messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(prompts->shown.back().icon, MessageIcon::Error);
        EXPECT_EQ(Count(Data("data.db")), "1");
        EXPECT_EQ(form->Matrix(), stored);
        EXPECT_EQ(form->DateTree->topLevelItemCount(), 1);
        EXPECT_EQ(Cell(5, 2), "3.00");
    }
}

TEST_F(CommandsTest, ClearMeterMemoryZeroesTheSingleCountOnly) {
    struct Case {
        const char* name;
        bool answer, present;
        std::uint8_t acknowledgement;
        std::vector<std::string> messages;
        MessageIcon icon;
        bool cleared;
    };
    const std::string cleared =
        "Записи однократных измерений удалены из памяти прибора. Данные мониторинга остались в приборе.";
    const std::vector<Case> cases = {
        {"confirmed", true, true, 0x11, {cleared}, MessageIcon::Information, true},
        {"answered No", false, true, 0x11, {}, MessageIcon::None, false},
        {"no meter", true, false, 0x11, {"Устройство не найдено"}, MessageIcon::Error, false},
        {"wrong acknowledgement", true, true, 0x12, {"Ошибка обмена"}, MessageIcon::Error, false},
    };
    TImageBuilder builder;
    builder.AddSingle(5.0, At(2020, 1, 1), 0).AddSingle(6.0, At(2020, 1, 2), 0);
    // A monitoring run as well: the message says it stays, and the image shows it does.
    builder.SetMonitoring(0x20, 0, At(2020, 1, 3), 10, {1.0, 2.0, 3.0});
    const std::vector<std::uint8_t> image = builder.Image();
    ASSERT_NE(image[5194], 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Attach(image);
        meter->present = c.present;
        meter->acknowledgement = c.acknowledgement;
        prompts->shown.clear();
        prompts->confirmAnswers = {c.answer};
        Trigger("N19");
        EXPECT_EQ(prompts->shown.at(0).text, "Удалить все записи измерений из карты памяти?");
        EXPECT_EQ(prompts->Messages(), c.messages);
        if (!c.messages.empty()) {
            EXPECT_EQ(prompts->shown.back().icon, c.icon);
        }
        std::vector<std::uint8_t> expected = image;
        if (c.cleared) expected[5194] = 0;
        // A wrong acknowledgement still leaves the meter's own write in place.
        if (c.acknowledgement != 0x11) expected[5194] = meter->Image()[5194];
        EXPECT_EQ(meter->Image(), expected);
        EXPECT_FALSE(meter->IsOpen());
    }
}

// ---- hidden test commands -----------------------------------------------------------------

TEST_F(CommandsTest, ImageFileIsReadAsTheMeterAndACancelledDialogStoresNothingTwice) {
    const std::string image = Data("meter.bin");
    TImageBuilder builder;
    builder.SetBytes(0, BuildImage(MeterContents(At(2024, 3, 5), At(2024, 3, 6))));
    builder.WriteFile(image);

    prompts->fileAnswers = {image};
    Press(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Count(Data("data.db")), "5");
    EXPECT_EQ(form->Mode(), kMethodMonitoring);
    EXPECT_EQ(form->Kind(), kKindElectric);
    EXPECT_EQ(form->DataGrid->RowCount(), 5);
    EXPECT_EQ(form->DateTree->topLevelItemCount(), 1);

    const TMeasureDataP shown = form->Matrix();
    prompts->fileAnswers = {std::nullopt};
    Press(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Count(Data("data.db")), "5");
    EXPECT_EQ(form->Matrix(), shown);
    EXPECT_TRUE(prompts->Messages().empty());
    EXPECT_TRUE(ListDownloads().empty());  // a trial command, not a download of the meter
}

TEST_F(CommandsTest, RecreateDatabaseOnlyWhenConfirmedAndShowsTheNewOneAfterwards) {
    // The file recreated is the one the window opened, wherever the program lies.
    EXPECT_EQ(form->RecreatedDatabaseFile, Data("data.db"));
    TMeasureDataP data;
    data(kMethodSingle, kKind50Hz).Records = {Record(0, At(2012, 5, 1), 1, 2)};
    form->TakeOverMatrix(data, false);
    form->SelectNewestData();
    form->StoreMeasurements();
    const TMeasureDataP stored = form->Matrix();
    RawExec(Data("data.db"), "insert into orgs (name) values ('kept until recreated')");
    form->SetLevel(msfMF50hz, 123.0);
    form->ApplyLevels();
    const std::string question = "Создать базу данных программы заново? Все данные в ней будут потеряны!";

    prompts->confirmAnswers = {false};
    Press(Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(prompts->shown.back().text, question);
    EXPECT_EQ(Count(Data("data.db")), "1");
    EXPECT_EQ(form->Matrix(), stored);
    EXPECT_DOUBLE_EQ(form->Levels()[msfMF50hz], 123.0);
    EXPECT_EQ(form->LimGrid->Cell(5, 2), "123.00");

    prompts->confirmAnswers = {true};
    Press(Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(prompts->shown.back().text, question);
    EXPECT_TRUE(prompts->Messages().empty());
    EXPECT_EQ(Count(Data("data.db")), "0");
    EXPECT_EQ(RawRows(Data("data.db"), "select count(*) from orgs")[0][0], "0");
    // What the window shows is the new file's: no history, no records of the
    // removed file, the levels it was created with.
    EXPECT_EQ(form->DateTree->topLevelItemCount(), 0);
    EXPECT_TRUE(form->Matrix().IsEmpty());
    EXPECT_EQ(form->DataGrid->RowCount(), 3);
    EXPECT_EQ(Cell(5, 2), "");
    EXPECT_EQ(form->Levels(), kLevelDefaults);
    EXPECT_EQ(form->LimGrid->Cell(5, 2), "5000.00");
    form->TakeOverMatrix(data, false);
    form->StoreMeasurements();  // the new database is the program's now
    EXPECT_EQ(Count(Data("data.db")), "1");
    EXPECT_EQ(form->DateTree->topLevelItemCount(), 1);
}

TEST_F(CommandsTest, HiddenCommandsFollowThePhysicalKeyWhateverTheLayout) {
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* firstPrompt;  // "" when the key is no command
    };
    const std::vector<Case> cases = {
        {"Ctrl+T", Qt::Key_T, Qt::ControlModifier, "input"},
        {"Ctrl+Shift+T", Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier, "open"},
        {"Ctrl+D", Qt::Key_D, Qt::ControlModifier, "confirm"},
        {"Ctrl+Е (Russian layout)", 0x0415, Qt::ControlModifier, "input"},
        {"Ctrl+Shift+Е", 0x0415, Qt::ControlModifier | Qt::ShiftModifier, "open"},
        {"Ctrl+В", 0x0412, Qt::ControlModifier, "confirm"},
        {"T alone", Qt::Key_T, Qt::NoModifier, ""},
        {"Ctrl+Alt+D", Qt::Key_D, Qt::ControlModifier | Qt::AltModifier, ""},
        {"Ctrl+У", 0x0423, Qt::ControlModifier, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        prompts->inputAnswers = {"x"};  // the test source stops at once
        prompts->fileAnswers = {std::nullopt};
        prompts->confirmAnswers = {false};
        Press(c.key, c.modifiers);
        const std::string first = prompts->shown.empty() ? "" : prompts->shown[0].kind;
        EXPECT_EQ(first, c.firstPrompt);
    }
    EXPECT_EQ(Count(Data("data.db")), "0");
}

// ---- dialogs of the menus ----------------------------------------------------------------

TEST_F(CommandsTest, EveryMenuItemOpensItsDialogThroughTheModalSeam) {
    struct Case {
        const char* item;
        const char* dialogClass;
        const char* table;  // the reference editor's directory
    };
    const std::vector<Case> cases = {
        {"N8", "zorvex::TPasportForm", ""},
        {"N12", "zorvex::TAboutForm", ""},
        {"N14", "zorvex::TReportForm", ""},
        {"N6", "zorvex::TOpenProtocolForm", ""},
        {"N24", "zorvex::TMaxLevelsForm", ""},
        {"N27", "zorvex::TReferenceForm", "devices"},
        {"N28", "zorvex::TReferenceForm", "techdocs"},
        {"N29", "zorvex::TReferenceForm", "orgs"},
        {"N30", "zorvex::TReferenceForm", "presenters"},
        {"N31", "zorvex::TReferenceForm", "checkplaces"},
        {"N32", "zorvex::TReferenceForm", "workplaces"},
        {"N33", "zorvex::TReferenceForm", "checkgoals"},
    };
    TMeasureDataP data;
    data(kMethodSingle, kKindSvtMagnetic).Records = {Record(1, At(2012, 5, 1), 3, -1)};
    Show(data, kMethodSingle, kKindSvtMagnetic);
    std::string opened;
    QString table;
    std::function<void()> resetCalibration;
    drive = [&](QDialog& dialog) {
        opened = dialog.metaObject()->className();
        if (auto* editor = qobject_cast<TReferenceForm*>(&dialog)) table = editor->TableName;
        if (auto* passport = qobject_cast<TPasportForm*>(&dialog)) resetCalibration = passport->OnResetCalibrationDate;
        return static_cast<int>(QDialog::Rejected);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        opened.clear();
        table.clear();
        Trigger(c.item);
        EXPECT_EQ(opened, c.dialogClass);
        EXPECT_EQ(table.toStdString(), c.table);
    }
    EXPECT_EQ(modalCount, static_cast<int>(cases.size()));
    EXPECT_TRUE(static_cast<bool>(resetCalibration));
    EXPECT_TRUE(prompts->Messages().empty());

    // No single measurement: no editor, the rule's message instead.
    data(kMethodSingle, kKindSvtMagnetic).Records.clear();
    data(kMethodMonitoring, kKind50Hz).Records = {Record(0, At(2012, 5, 1), 3, 4)};
    Show(data, kMethodMonitoring, kKind50Hz);
    Trigger("N14");
    EXPECT_EQ(modalCount, static_cast<int>(cases.size()));
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Нет данных для формирования отчёта!"});
}

}  // namespace
}  // namespace zorvex::test
