// The window's "Отправить в архив лаборатории", driven offscreen.
#ifdef ZORVEX_ARCHIVE_WINDOW
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "archive/ArchiveTestSupport.h"
#include "archive/Workstation.h"
#include "base/RunSettings.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "ui/archive/ArchivePushForm.h"

using namespace zorvex;
using namespace zorvex::archive;
using namespace zorvex::test;

namespace {

// One QApplication for the program, gone before the program's statics are.
class QtApplicationEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        // No display needed, also when the program is started by hand.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
        ResetNumericLocale();
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "test_archive";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

class ArchiveWindow : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (IsSkipped()) return;
        db_ = DbFile("lab");
        MakeLabDatabase(db_, {.measurements = 30000, .downloads = 2, .protocols = 2});
        SetMainDatabase(OpenDatabase(db_));
    }
    std::string Measurements() { return Rows(Archive(), "select count(*) from measurements")[0]; }
    std::string LocalMeasurements() { return RawRows(db_, "select count(*) from measurements")[0][0]; }
    std::string db_;
};

TEST_F(ArchiveWindow, SendsWithTheRememberedConnection) {
    RememberConnection(MainDatabase(), conninfo_);
    TArchivePushForm form;
    EXPECT_EQ(form.ConnectionEdit->text().toStdString(), ConnInfoWithoutPassword(conninfo_));
    form.SendBtnClick();
    const std::string report = form.ReportMemo->toPlainText().toStdString();
    EXPECT_NE(report.find("Измерений новых: " + LocalMeasurements()), std::string::npos) << report;
    EXPECT_NE(form.WorkstationLabel->text().toStdString().find(HostName()), std::string::npos);
    EXPECT_EQ(Measurements(), LocalMeasurements());
    EXPECT_FALSE(form.Running());
}

TEST_F(ArchiveWindow, CancelStopsThePushAndTheArchiveStaysAsItWas) {
    TArchivePushForm form;
    form.ConnectionEdit->setText(QString::fromStdString(conninfo_));
    // Pressed once the measurements are on their way, inside the archive's
    // transaction: the progress lets the click through.
    QTimer clicker;
    clicker.setInterval(0);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (form.StageLabel->text() == "Измерения" && form.ProgressBar->value() > 0) {
            clicker.stop();
            form.CancelBtn->click();
        }
    });
    clicker.start();
    form.SendBtnClick();
    EXPECT_EQ(form.ReportMemo->toPlainText().toStdString(), "Прервано пользователем");
    EXPECT_EQ(Measurements(), "0");
    EXPECT_EQ(RawRows(db_, "select count(*) from archivesent")[0][0], "0");
    // Not remembered: the push did not get through.
    EXPECT_FALSE(RememberedConnection(MainDatabase()));
}

TEST_F(ArchiveWindow, AsksForAPasswordAndKeepsItNowhere) {
    unsetenv("PGPASSWORD");
    setenv("PGPASSFILE", (dir_->path() / "no-such-pgpass").c_str(), 1);
    EnsurePasswordRole(*server_, Archive());
    const std::string database = conninfo_.substr(conninfo_.find("dbname=") + 7,
                                                  conninfo_.find(" user=") - conninfo_.find("dbname=") - 7);
    TArchivePushForm form;
    form.ConnectionEdit->setText(QString::fromStdString(server_->ConnInfo(database, "pwuser")));
    form.SendBtnClick();
    ASSERT_FALSE(form.PasswordEdit->isHidden());
    EXPECT_NE(form.ReportMemo->toPlainText().toStdString().find("требует пароль"), std::string::npos);
    form.PasswordEdit->setText("wrong");
    form.SendBtnClick();
    EXPECT_NE(form.ReportMemo->toPlainText().toStdString().find("не принял пароль"), std::string::npos);
    form.PasswordEdit->setText(kPassword);
    form.SendBtnClick();
    unsetenv("PGPASSFILE");
    EXPECT_EQ(Measurements(), LocalMeasurements());
    SetMainDatabase(nullptr);
    EXPECT_EQ(ReadFileBytes(db_).find(kPassword), std::string::npos);
    EXPECT_EQ(Stored(RawRows(db_, "select value from archivesettings where name like 'connection%'")[0][0]),
              ConnInfoWithoutPassword(server_->ConnInfo(database, "pwuser")));
}

}  // namespace
#endif
