// The windowed program on a database in a Russian-named folder: the database,
// the kept memory images, exports, measurement files, graphs and the protocol's
// PDF are all found on disk under the bytes of the names asked for, and read back.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "MainformFixture.h"
#include "base/CodePage1251.h"
#include "base/Paths.h"
#include "device/DriverLoader.h"
#include "device/ImageBuilder.h"
#include "device/SimulatedMeter.h"
#include "device/SimulatedUsbBus.h"
#include "device/UsbBus.h"
#include "report/ReportPreview.h"
#include "storage/FileDataAdapter.h"
#include "support/RawSqlite.h"
#include "ui/GetDevDataForm.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/ReportForm.h"

namespace zorvex::test {
namespace {

namespace fs = std::filesystem;

TDateTime At(int day, int hour, int minute = 0, int second = 0) {
    return EncodeDateTime(2026, 3, day, hour, minute, second, 0);
}

std::string Head(const std::string& file, std::size_t n) {
    return ReadFileBytes(PathFromUtf8(file)).substr(0, n);
}

// Two single magnetic readings at workplaces 3 and 4, and a monitoring run of
// 50 Hz, 10 s apart.
TMeasureDataP Measurements() {
    TMeasureDataP data;
    for (int i = 0; i < 2; ++i) {
        TMeasureRecord r = Record(kKindMagnetic, At(17, 9, i), 100 + i, 0.0, kBandLow, 0, i + 1);
        r.workplace = 3 + i;
        r.height = 2;
        data(kMethodSingle, kKindMagnetic).Records.push_back(r);
    }
    for (int i = 0; i < 3; ++i)
        data(kMethodMonitoring, kKind50Hz).Records.push_back(Record(kKind50Hz, At(17, 10, 0, 10 * i), 12.5 + i, 0.75));
    return data;
}

// The main window on "Лаборатория/Замеры/база.db", with the meter links and
// every modal dialog in the test's hands.
class CyrillicNamesTest : public MainformTest {
protected:
    CyrillicNamesTest()
        : runnerScope([this](QDialog& dialog) { return drive ? drive(dialog) : static_cast<int>(QDialog::Rejected); }) {
        fs::create_directories(folder);
        Reopen();
    }
    // A new window on the same database, as at the next start of the program.
    void Reopen() {
        form.reset();
        SetMainDatabase(nullptr);
        form = std::make_unique<TMainform>(Db());
        form->show();
        QApplication::setActiveWindow(form.get());
    }
    std::string Db() const { return In("база.db"); }
    // A name in the database's folder, as a UTF-8 string.
    std::string In(const std::string& name) const { return Utf8FromPath(folder) + "/" + name; }
    int StoredRows() const { return std::stoi(RawRows(Db(), "select count(*) from measurements")[0][0]); }

    fs::path folder = dir.path() / PathFromUtf8("Лаборатория/Замеры");
    UsbBusScope busScope{std::make_shared<SimulatedUsbBus>()};
    std::unique_ptr<DriverBackendScope> backendScope;
    std::function<int(QDialog&)> drive;
    ModalRunnerScope runnerScope;
};

}  // namespace

TEST_F(CyrillicNamesTest, TheDatabaseAndTheKeptMemoryImagesLiveInTheRussianFolder) {
    EXPECT_EQ(NamesIn(folder), std::vector<std::string>{"база.db"});

    const TMeasureDataP contents = Measurements();
    const std::vector<std::uint8_t> image = BuildImage(contents);
    backendScope = std::make_unique<DriverBackendScope>(std::make_shared<TSimulatedMeter>(image));
    drive = [](QDialog& dialog) {
        auto& download = dynamic_cast<TGetDevDataForm&>(dialog);
        download.show();
        download.Timer1Timer();
        EXPECT_EQ(download.State(), TGetDevDataForm::kFinished);
        download.Button1Click();  // "ОК"
        return download.result();
    };
    form->BitBtn1->click();
    EXPECT_TRUE(prompts->Messages().empty()) << prompts->Messages().front();
    EXPECT_EQ(StoredRows(), contents.TotalRecords());

    EXPECT_EQ(NamesIn(folder), Sorted({"база.db", "downloads"}));
    const std::vector<std::string> images = NamesIn(folder / "downloads");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(images[0].ends_with(".bin")) << images[0];
    EXPECT_EQ(ReadFileBytes(PathFromUtf8(In("downloads/" + images[0]))), std::string(image.begin(), image.end()));

    // The next start finds the same database: its history lists the year, whose records load.
    Reopen();
    ASSERT_EQ(form->DateTree->topLevelItemCount(), 1);
    EXPECT_EQ(form->DateTree->topLevelItem(0)->text(0), "2026");
    form->DateTree->setCurrentItem(form->DateTree->topLevelItem(0));
    form->DateTreeClick();
    EXPECT_EQ(form->Matrix().TotalRecords(), contents.TotalRecords());
    EXPECT_TRUE(form->IdsOfMainDatabase());
    EXPECT_EQ(NamesIn(folder), Sorted({"база.db", "downloads"}));
}

TEST_F(CyrillicNamesTest, AnImageFileUnderARussianNameIsReadAndTheDatabaseIsRecreatedUnderItsOwnName) {
    const auto press = [this](int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(form->DataGrid, &event);
    };
    const std::vector<std::uint8_t> image = BuildImage(Measurements());
    fs::create_directories(folder / PathFromUtf8("Образы/日本"));
    WriteFileBytes(PathFromUtf8(In("Образы/日本/память № 1.bin")), std::string(image.begin(), image.end()));
    prompts->fileAnswers = {In("Образы/日本/память № 1.bin")};
    press(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);  // the trial command: an image file as the meter
    EXPECT_TRUE(prompts->Messages().empty()) << prompts->Messages().front();
    EXPECT_EQ(StoredRows(), Measurements().TotalRecords());

    EXPECT_EQ(form->RecreatedDatabaseFile, Db());
    prompts->confirmAnswers = {true};
    press(Qt::Key_D, Qt::ControlModifier);  // recreate the database
    EXPECT_TRUE(prompts->Messages().empty()) << prompts->Messages().front();
    EXPECT_EQ(StoredRows(), 0);
    EXPECT_EQ(NamesIn(folder), Sorted({"база.db", "Образы"}));
    form->TakeOverMatrix(Measurements(), false);
    form->StoreMeasurements();  // the new file is the program's database
    EXPECT_EQ(StoredRows(), Measurements().TotalRecords());
}

TEST_F(CyrillicNamesTest, ExportsFilesAndGraphsAreWrittenUnderTheNamesGivenAndReadBack) {
    Show(Measurements(), kMethodMonitoring, kKind50Hz);
    const std::string csv =
        Utf8ToCp1251("Магнитное поле;Электрическое поле\r\nнТл;В/м\r\n12,50;0,75\r\n13,50;0,75\r\n14,50;0,75\r\n");
    const struct {
        const char* name;
        std::function<void()> command;
        std::string answer;  // in the database's folder
        std::function<void(const std::string&)> check;
    } cases[] = {
        {"CSV export", [&] { form->N17Click(); }, "экспорт.csv",
         [&](const std::string& file) { EXPECT_EQ(ReadFileBytes(PathFromUtf8(file)), csv); }},
        {"CSV export into a folder made for it", [&] { form->N17Click(); }, "日本/экспорт № 5.csv",
         [&](const std::string& file) { EXPECT_EQ(ReadFileBytes(PathFromUtf8(file)), csv); }},
        {"measurement file", [&] { form->N5Click(); }, "замеры № 5.zorvex",
         [&](const std::string& file) {
             TMeasureDataP read;
             TFileDataAdapter().GetData(file, read);
             EXPECT_EQ(read.TotalRecords(), Measurements().TotalRecords());
         }},
        {"graph as PNG", [&] { form->SaveGraphBtnClick(); }, "график «офис».png",
         [&](const std::string& file) { EXPECT_EQ(Head(file, 8), "\x89PNG\r\n\x1a\n"); }},
        {"graph as PDF", [&] { form->SaveGraphBtnClick(); }, "Графики Ивана/График.pdf",
         [&](const std::string& file) { EXPECT_EQ(Head(file, 5), "%PDF-"); }},
    };
    fs::create_directories(folder / PathFromUtf8("Графики Ивана"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        prompts->fileAnswers = {In(c.answer)};
        prompts->confirmAnswers = {false};  // the export asks whether to open its file
        c.command();
        EXPECT_TRUE(prompts->Messages().empty()) << prompts->Messages().front();
        ASSERT_FALSE(prompts->shown.empty());
        EXPECT_EQ(prompts->shown[0].kind, "save");
        c.check(In(c.answer));
    }
    EXPECT_EQ(NamesIn(folder),
              Sorted({"база.db", "экспорт.csv", "日本", "замеры № 5.zorvex", "график «офис».png", "Графики Ивана"}));
    EXPECT_EQ(NamesIn(folder / PathFromUtf8("日本")), std::vector<std::string>{"экспорт № 5.csv"});
    EXPECT_EQ(NamesIn(folder / PathFromUtf8("Графики Ивана")), std::vector<std::string>{"График.pdf"});

    // The file opens back into the window with its records.
    Show(TMeasureDataP(), kMethodSingle, kKindMagnetic);
    prompts->fileAnswers = {In("замеры № 5.zorvex")};
    form->N4Click();
    EXPECT_TRUE(prompts->Messages().empty()) << prompts->Messages().front();
    EXPECT_EQ(form->Matrix().TotalRecords(), Measurements().TotalRecords());
    EXPECT_FALSE(form->IdsOfMainDatabase());
}

TEST_F(CyrillicNamesTest, SaveDialogsOfferTheRussianFolderAndANameMadeOfWhatIsSaved) {
    Show(Measurements(), kMethodMonitoring, kKind50Hz);
    const struct {
        const char* name;
        std::function<void()> command;
        std::string offered;
    } cases[] = {
        {"measurement file", [&] { form->N5Click(); }, In("Измерения 17.03.2026.zorvex")},
        {"export", [&] { form->N17Click(); }, In("Мониторинг 50Гц 17.03.2026 10-00-00.csv")},
        {"graph", [&] { form->SaveGraphBtnClick(); }, In("График 50Гц 17.03.2026 10-00-00.png")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        prompts->fileAnswers = {std::nullopt};
        c.command();
        ASSERT_EQ(prompts->shown.size(), 1u);
        EXPECT_EQ(prompts->shown[0].directory, c.offered);
    }
    EXPECT_EQ(NamesIn(folder), std::vector<std::string>{"база.db"});  // every dialog was cancelled
}

TEST_F(CyrillicNamesTest, AProtocolFormedInTheWindowKeepsItsFileBesideTheDatabaseAndSavesItsPdf) {
    form->TakeOverMatrix(Measurements(), false);
    form->StoreMeasurements();
    ASSERT_TRUE(form->IdsOfMainDatabase());

    const std::string pdf = In("Протокол № 5-Л.pdf");
    bool previewSeen = false;
    drive = [&](QDialog& dialog) {
        auto& editor = dynamic_cast<TReportForm&>(dialog);
        editor.FormShow();
        editor.SetFieldText("Edit0", "5-Л");
        editor.SetFieldText("Edit1", "ООО «Иван и партнёры»");
        editor.ComboBoxEx9->setEditText("Иванов");
        // The preview runs its own loop: "Сохранить в PDF" is pressed from inside it.
        QTimer::singleShot(0, [&] {
            auto* preview = qobject_cast<report::ReportPreviewDialog*>(QApplication::activeModalWidget());
            if (preview == nullptr) {
                if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
                return;
            }
            previewSeen = true;
            prompts->fileAnswers = {pdf};
            preview->SavePdfAction()->trigger();
            preview->reject();
        });
        editor.BitBtn1->click();  // "Сформировать"
        return static_cast<int>(QDialog::Accepted);
    };
    prompts->shown.clear();
    form->N14Click();
    EXPECT_TRUE(previewSeen);
    EXPECT_TRUE(prompts->Messages().empty()) << prompts->Messages().front();

    // The dialog offered the protocol's own name in the database's folder.
    const auto save = std::find_if(prompts->shown.begin(), prompts->shown.end(),
                                   [](const ScriptedPrompts::Shown& s) { return s.kind == "save"; });
    ASSERT_NE(save, prompts->shown.end());
    EXPECT_EQ(save->directory, pdf);
    EXPECT_EQ(Head(pdf, 5), "%PDF-");
    EXPECT_EQ(NamesIn(folder), Sorted({"база.db", "protocols", "Протокол № 5-Л.pdf"}));
    EXPECT_EQ(NamesIn(folder / "protocols"), std::vector<std::string>{"1.zorvexpro"});
    EXPECT_EQ(RawRows(Db(), "select count(*) from protocols")[0][0], "1");
    // The protocol's file holds its measurements.
    TMeasureDataP kept;
    TFileDataAdapter().GetData(In("protocols/1.zorvexpro"), kept);
    EXPECT_EQ(kept(kMethodSingle, kKindMagnetic).Records.size(), 2u);
}

}  // namespace zorvex::test
