#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "device/DemoMeter.h"
#include "device/DeviceDataSource.h"
#include "device/ImageBuilder.h"
#include "device/SimulatedMeter.h"
#include "device/SimulatedUsbBus.h"
#include "storage/Database.h"
#include "storage/DownloadStore.h"
#include "storage/SQLiteDatabase.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "ui/GetDevDataForm.h"
#include "ui/main/Mainform.h"

using namespace zorvex;

namespace {

// What the two count lines showed right after one report.
struct Lines {
    std::string single;
    bool singleShown, singleBold;
    std::string monitor;
    bool monitorShown, monitorBold;
    bool operator==(const Lines&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Lines& l) {
    return out << "{" << l.single << (l.singleShown ? "" : " hidden") << (l.singleBold ? " bold" : "") << " / "
               << l.monitor << (l.monitorShown ? "" : " hidden") << (l.monitorBold ? " bold" : "") << "}";
}

Lines Snapshot(const TGetDevDataForm& d) {
    return {d.Label1->text().toStdString(), d.Label1->isVisibleTo(&d), d.Label1->font().bold(),
            d.Label2->text().toStdString(), d.Label2->isVisibleTo(&d), d.Label2->font().bold()};
}

// A meter on the driver link serving a memory built here; the USB bus is
// empty, so the download goes through the driver link. The program's
// database is a fresh one.
class DownloadDialog : public ::testing::Test {
protected:
    DownloadDialog() { SetMainDatabase(OpenDatabase(dir.File("data.db"))); }
    ~DownloadDialog() override { SetMainDatabase(nullptr); }

    test::TempDir dir;
    std::shared_ptr<test::ScriptedPrompts> prompts = std::make_shared<test::ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    UsbBusScope busScope{std::make_shared<SimulatedUsbBus>()};
    std::unique_ptr<DriverBackendScope> backendScope;
    std::shared_ptr<TSimulatedMeter> meter;
    const TDateTime start = EncodeDateTime(2024, 3, 5, 10, 0, 0, 0);

    void Attach(const TImageBuilder& builder) {
        meter = std::make_shared<TSimulatedMeter>(builder.Image());
        backendScope.reset();  // restores the previous backend before the next is installed
        backendScope = std::make_unique<DriverBackendScope>(meter);
    }
    TImageBuilder Singles(int count) {
        TImageBuilder b;
        for (int i = 0; i < count; ++i)
            b.AddSingle(100 + i, start + i / 1440.0, SingleFlags(TFieldClass::Workplace, false, false, false));
        return b;
    }
    static void AddMonitoring(TImageBuilder& b, TDateTime at, int count) {
        std::vector<double> values;
        for (int i = 0; i < count; ++i) values.push_back(20 + i);
        b.SetMonitoring(MonitorMode(TFieldClass::General, false, false, false), 0, at, 10, values);
    }

    // Runs the dialog modally as the main window does; `step` runs every
    // 10 ms meanwhile (nested in the transfer's event processing as well).
    // The dialog is ended after 5 s should the test's script not end it.
    static int Exec(TGetDevDataForm& dialog, std::function<void()> step) {
        QTimer pump;
        pump.setInterval(10);
        QObject::connect(&pump, &QTimer::timeout, [&] { step(); });
        pump.start();
        QTimer::singleShot(5000, &dialog, [&] { dialog.done(99); });
        return dialog.exec();
    }
    static std::function<void()> OkWhenFinished(TGetDevDataForm& dialog) {
        return [&dialog] {
            if (dialog.State() == TGetDevDataForm::kFinished) dialog.Button1->click();
        };
    }
    static void Record(TGetDevDataForm& dialog, std::vector<Lines>& lines,
                       std::function<void(std::size_t)> afterReport = {}) {
        dialog.Source().OnProgress = [&dialog, &lines, afterReport](TMDProgress& progress) {
            const bool goOn = dialog.DeviceProgress(progress);
            lines.push_back(Snapshot(dialog));
            if (afterReport) afterReport(lines.size());
            return goOn;
        };
    }
};

TEST_F(DownloadDialog, CountsTheRecordsWithTheLineBeingFilledInBold) {
    struct Case {
        const char* name;
        int singles, monitors;
        std::vector<Lines> reports;
        Lines final;
    };
    const std::vector<Case> cases = {
        {"singles and monitoring",
         2,
         2,
         {{"1", true, true, "0", false, false},
          {"2", true, true, "0", false, false},
          {"2", true, false, "1", true, true},
          {"2", true, false, "2", true, true}},
         {"2", true, false, "2", true, false}},
        {"monitoring only",
         0,
         2,
         {{"0", true, false, "1", true, true}, {"0", true, false, "2", true, true}},
         {"0", true, false, "2", true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageBuilder builder = Singles(c.singles);
        if (c.monitors > 0) AddMonitoring(builder, start + 1, c.monitors);
        Attach(builder);
        TGetDevDataForm dialog;
        std::vector<Lines> lines;
        Record(dialog, lines);
        Lines shownAtFinish{};
        const int result = Exec(dialog, [&] {
            if (dialog.State() == TGetDevDataForm::kFinished) {
                shownAtFinish = Snapshot(dialog);
                EXPECT_EQ(dialog.windowTitle(), "Готово");
                EXPECT_EQ(dialog.Button1->text(), "ОК");
                EXPECT_TRUE(dialog.Panel1->isVisible());
                EXPECT_FALSE(dialog.Panel2->isVisible());
                dialog.Button1->click();
            }
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(lines, c.reports);
        EXPECT_EQ(shownAtFinish, c.final);
    }
}

TEST_F(DownloadDialog, OkHandsOverExactlyTheSeriesTheSourceRead) {
    TImageBuilder builder = Singles(3);
    AddMonitoring(builder, start + 1, 5);
    Attach(builder);
    TMeasureDataP expected;
    TDeviceDataSource().GetData("", expected);
    ASSERT_EQ(expected.TotalRecords(), 8u);

    TGetDevDataForm dialog;
    ASSERT_EQ(Exec(dialog, OkWhenFinished(dialog)), QDialog::Accepted);
    EXPECT_EQ(dialog.Data, expected);
    EXPECT_TRUE(prompts->Messages().empty());
}

TEST_F(DownloadDialog, TheTotalsSayPerMethodHowManyRecordsAreNewToTheDatabaseInTermsThatAddUp) {
    // The demonstration day: 60 single records, 8 of them 50 Hz pairs the
    // driver link counts as two values, and a monitoring run of 1441.
    const ClockScope clock(std::make_shared<FixedClock>(start + 2));
    const std::string stored =
        "Одиночные: 60 записей, новых 0, уже в базе 60\n"
        "Мониторинг: 1441 запись, новых 0, уже в базе 1441";
    const struct {
        const char* name;
        TDemoLink link;
        std::string singles, monitors, counts;
    } cases[] = {
        {"first download, over the driver link", TDemoLink::Driver, "68", "1441",
         "Одиночные: 60 записей (68 значений), новых 60, уже в базе 0\n"
         "Мониторинг: 1441 запись, новых 1441, уже в базе 0"},
        {"the same meter over USB", TDemoLink::Usb, "60", "1441", stored},
        {"and over the driver link again", TDemoLink::Driver, "68", "1441",
         "Одиночные: 60 записей (68 значений), новых 0, уже в базе 60\n"
         "Мониторинг: 1441 запись, новых 0, уже в базе 1441"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TDemoMeter demo(c.link);
        TGetDevDataForm dialog;
        std::string shown = "not finished";
        const int result = Exec(dialog, [&] {
            if (dialog.State() != TGetDevDataForm::kFinished) return;
            shown = dialog.Label3->isVisible() ? dialog.Label3->text().toStdString() : "hidden";
            dialog.Button1->click();
        });
        ASSERT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(dialog.Label1->text().toStdString(), c.singles);
        EXPECT_EQ(dialog.Label2->text().toStdString(), c.monitors);
        EXPECT_EQ(shown, c.counts);
        // Each line is whole on the panel.
        const QFontMetrics metrics(dialog.Label3->font());
        for (const QString& line : dialog.Label3->text().split('\n'))
            EXPECT_LE(metrics.horizontalAdvance(line), dialog.Label3->width()) << line.toStdString();
        EXPECT_GE(dialog.Label3->height(), 2 * metrics.height());
        EXPECT_EQ(dialog.Download.link, c.link == TDemoLink::Usb ? kLinkUsb : kLinkDriver);
        EXPECT_EQ(dialog.Download.time, start + 2);
        // As the main window stores what the dialog hands over.
        StoreDownload(dialog.Data, dialog.Download);
    }
}

TEST(DownloadDialogCounts, PluralsFollowTheNumber) {
    const struct {
        std::size_t records;
        std::int32_t values;
        std::string line;
    } cases[] = {
        {1, 1, "Одиночные: 1 запись, новых 1, уже в базе 0"},
        {2, 3, "Одиночные: 2 записи (3 значения), новых 2, уже в базе 0"},
        {11, 21, "Одиночные: 11 записей (21 значение), новых 11, уже в базе 0"},
        {22, 25, "Одиночные: 22 записи (25 значений), новых 22, уже в базе 0"},
        {112, 114, "Одиночные: 112 записей (114 значений), новых 112, уже в базе 0"},
    };
    for (const auto& c : cases) {
        TMeasureDataP data;
        data.SetMethodBytes();
        data(kMethodSingle, kKindSvtMagnetic).Records.resize(c.records);
        std::array<TStoreCounts, kMethodCount> counts{};
        counts[kMethodSingle].added = c.records;
        EXPECT_EQ(StoreCountsText(data, c.values, counts).toStdString(),
                  c.line + "\nМониторинг: 0 записей, новых 0, уже в базе 0");
    }
}

TEST_F(DownloadDialog, CancelBetweenReportsStopsTheSourceAtItsNextReport) {
    Attach(Singles(5));
    TGetDevDataForm dialog;
    std::vector<Lines> lines;
    Record(dialog, lines, [&](std::size_t report) {
        if (report == 1) dialog.Button1->click();
    });
    const int result = Exec(dialog, OkWhenFinished(dialog));
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(lines.size(), 2u);  // the second report told the source to stop
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Прервано пользователем"});
}

TEST_F(DownloadDialog, AFailedDownloadStopsTheAnimationSaysSoAndClosesRejected) {
    struct Case {
        const char* name;
        bool usbMeter;  // otherwise no meter at all
        std::string message;
        bool byEscape;  // otherwise Button1
    } const cases[] = {
        {"no meter, closed by the button", false, "Устройство не найдено", false},
        {"USB meter stops answering after two records, closed by Escape", true, "Ошибка обмена", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Attach(Singles(2));
        meter->present = false;
        auto bus = std::make_shared<SimulatedUsbBus>();
        if (c.usbMeter) {
            SimulatedUsbMeter& usb = bus->AddMeter();
            UsbRecordReply reply;
            reply.type = 6;
            usb.singles.assign(3, EncodeUsbRecordReply(reply));
            usb.faults = {{true, 3, UsbFault::Timeout}};  // the reply to the third record request
        }
        const UsbBusScope caseBus(bus);
        prompts->shown.clear();
        TGetDevDataForm dialog;
        bool checked = false;
        const int result = Exec(dialog, [&] {
            if (prompts->shown.empty() || checked) return;
            checked = true;
            EXPECT_EQ(prompts->shown.back().text, c.message);
            EXPECT_EQ(prompts->shown.back().icon, MessageIcon::Error);
            EXPECT_EQ(dialog.State(), TGetDevDataForm::kFailed);
            EXPECT_EQ(dialog.InfoLabel1->text().toStdString(), "Загрузка не выполнена");
            EXPECT_FALSE(dialog.Label1->isVisible());
            EXPECT_FALSE(dialog.InfoLabel2->isVisible());
            EXPECT_FALSE(dialog.Label2->isVisible());
            EXPECT_EQ(dialog.Button1->text().toStdString(), "Закрыть");
            EXPECT_FALSE(dialog.Timer2->isActive());
            for (const TAnimationDot* dot : dialog.Dots) EXPECT_FALSE(dot->Lit());
            if (c.byEscape) {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&dialog, &escape);
            } else {
                dialog.Button1->click();
            }
            EXPECT_FALSE(dialog.isVisible());
        });
        EXPECT_TRUE(checked);
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_TRUE(dialog.Data.IsEmpty());
    }
}

TEST_F(DownloadDialog, EscapeAndTheCloseBoxAfterTheTotalsHandTheDataOver) {
    Attach(Singles(3));
    TMeasureDataP expected;
    TDeviceDataSource().GetData("", expected);
    ASSERT_EQ(expected.TotalRecords(), 3u);

    for (const bool byEscape : {true, false}) {
        SCOPED_TRACE(byEscape ? "Escape" : "close box");
        TGetDevDataForm dialog;
        const int result = Exec(dialog, [&] {
            if (dialog.State() != TGetDevDataForm::kFinished || !dialog.isVisible()) return;
            if (byEscape) {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&dialog, &escape);
            } else {
                QCloseEvent close;
                QApplication::sendEvent(&dialog, &close);
                EXPECT_TRUE(close.isAccepted());
            }
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(dialog.Data, expected);
    }
}

TEST_F(DownloadDialog, AnEmptyMemoryFinishesWithNoRecords) {
    Attach(TImageBuilder());
    TGetDevDataForm dialog;
    Lines shownAtFinish{};
    const int result = Exec(dialog, [&] {
        if (dialog.State() != TGetDevDataForm::kFinished) return;
        shownAtFinish = Snapshot(dialog);
        dialog.Button1->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(shownAtFinish, (Lines{"0", true, false, "0", true, false}));
    EXPECT_TRUE(dialog.Data.IsEmpty());
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Карта памяти пуста"});
}

TEST_F(DownloadDialog, TheAnimationGoesOnFromTheDotWhereTheLastDialogStopped) {
    Attach(TImageBuilder());
    int counter = 0;
    {
        TGetDevDataForm first;
        for (int i = 0; i < 11; ++i) first.Timer2Timer();
        counter = TGetDevDataForm::AnimationCounter();
    }
    TGetDevDataForm second;
    second.Timer2Timer();
    EXPECT_EQ(TGetDevDataForm::AnimationCounter(), (counter + 1) % 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(second.Dots[i]->Lit(), i == (counter + 1) % 8) << i;
}

}  // namespace

TEST(MainWindowStart, WritesTheImageOfADownloadThatStoppedRightAfterItsCommit) {
    test::TempDir dir;
    const auto prompts = std::make_shared<test::ScriptedPrompts>();
    const PromptsScope promptsScope(prompts);
    const std::string file = dir.File("data.db");
    std::vector<std::uint8_t> memory;
    {
        const TDemoMeter demo(TDemoLink::Driver);
        TDeviceDataSource source;
        TMeasureDataP data;
        source.GetData("", data);
        memory = source.LastDownload().image;
        SetMainDatabase(OpenDatabase(file));
        // As a process that ends there.
        SetDownloadStepHook([](TDownloadStep step) {
            if (step == TDownloadStep::Committed) throw std::runtime_error("gone");
        });
        EXPECT_THROW(StoreDownload(data, source.LastDownload()), std::runtime_error);
        SetDownloadStepHook({});
        SetMainDatabase(nullptr);
    }
    ASSERT_FALSE(std::filesystem::exists(dir.path() / "downloads"));

    {
        TMainform form(file);
        const auto downloads = ListDownloads();
        ASSERT_EQ(downloads.size(), 1u);
        EXPECT_EQ(test::ReadFileBytes(PathFromUtf8(downloads[0].imageFile)), std::string(memory.begin(), memory.end()));
    }
    SetMainDatabase(nullptr);
}
