#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <functional>
#include <memory>

#include "MainformFixture.h"
#include "device/DriverLoader.h"
#include "device/ImageBuilder.h"
#include "device/SLDeviceDataSource.h"
#include "device/SimulatedMeter.h"
#include "storage/DownloadStore.h"
#include "support/RawSqlite.h"
#include "ui/ModalRunner.h"

using namespace zorvex;
using zorvex::test::RawExec;

namespace {

class AuditForms : public test::MainformTest {
protected:
    // A driver download of two magnetic readings (250 and 25 nT), stored as the window stores one.
    TMeasureDataP Download() {
        TImageBuilder builder;
        const TDateTime at = EncodeDateTime(2026, 3, 17, 9, 20, 0, 0);
        builder.AddSingle(250, at, SingleFlags(TFieldClass::Workplace, false, false, false));
        builder.AddSingle(25, at + 1.0 / 86400, SingleFlags(TFieldClass::Workplace, false, true, false));
        const DriverBackendScope backend(std::make_shared<TSimulatedMeter>(builder.Image()));
        TSLDeviceDataSource source;
        TMeasureDataP data;
        source.GetData("", data);
        StoreDownload(data, source.LastDownload());
        return data;
    }

    // The dialog `item` opens, looked at while it is open.
    void Open(const char* item, const std::function<void(QDialog&)>& look) {
        bool shown = false;
        ModalRunnerScope runner([&](QDialog& dialog) {
            shown = true;
            look(dialog);
            return static_cast<int>(QDialog::Accepted);
        });
        form->findChild<QAction*>(item)->trigger();
        EXPECT_TRUE(shown) << item;
    }
};

TEST_F(AuditForms, TheProgramMenuOffersBothBeforeClose) {
    const QList<QAction*> items = form->findChild<QMenu*>("N10")->actions();
    const auto at = [&](const char* name) {
        for (int i = 0; i < items.size(); ++i)
            if (items[i]->objectName() == name) return i;
        return -1;
    };
    ASSERT_GE(at("IntegrityItem"), 0);
    EXPECT_EQ(items[at("IntegrityItem")]->text(), "Проверить целостность данных");
    EXPECT_EQ(at("AuditLogItem"), at("IntegrityItem") + 1);
    // A separator between them and "Закрыть" (other items of the menu may stand between).
    bool separated = false;
    for (int i = at("AuditLogItem") + 1; i < at("N9"); ++i) separated = separated || items[i]->isSeparator();
    EXPECT_TRUE(separated);
}

TEST_F(AuditForms, TheCheckListsEachDifferenceAndTheLogEachChange) {
    TMeasureDataP data = Download();
    Open("IntegrityItem", [](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Проверка целостности данных");
        EXPECT_TRUE(dialog.findChild<QLabel*>("SummaryLabel")->text().endsWith("Различий нет"));
        EXPECT_EQ(dialog.findChild<QTableWidget*>("IssueGrid")->rowCount(), 0);
    });

    // The user's workplace typed into the table: stored and audited, and no difference.
    form->TakeOverMatrix(data, true);
    form->N1Click();
    form->TabControl1->setCurrentIndex(kKindSvtMagnetic);
    form->SetupDataGrid();
    int row = 0;
    while (form->RecordOfRow(row) == nullptr) ++row;
    const std::int32_t id = form->RecordOfRow(row)->id;
    form->DataGridSetEditText(1, row, "5");
    Open("AuditLogItem", [id](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Журнал изменений");
        auto* grid = dialog.findChild<QTableWidget*>("AuditGrid");
        const int last = grid->rowCount() - 1;
        ASSERT_GE(last, 1);
        EXPECT_EQ(grid->item(last, 4)->text(), "Рабочее место измерения");
        EXPECT_EQ(grid->item(last, 5)->text(), QString("measurements/%1/workplace").arg(id));
        EXPECT_EQ(grid->item(last, 6)->text(), "0");
        EXPECT_EQ(grid->item(last, 7)->text(), "5");
        EXPECT_TRUE(dialog.findChild<QPlainTextEdit*>("DetailMemo")->toPlainText().contains("Стало: 5"));
    });

    RawExec(Data("data.db"), "update measurements set mvalue = 251 where mvalue = 250");
    Open("IntegrityItem", [](QDialog& dialog) {
        EXPECT_TRUE(dialog.findChild<QLabel*>("SummaryLabel")->text().endsWith("Различий: 1"));
        auto* grid = dialog.findChild<QTableWidget*>("IssueGrid");
        ASSERT_EQ(grid->rowCount(), 1);
        EXPECT_TRUE(grid->item(0, 1)->text().contains("изменена — mvalue: в образе 250, в базе 251"))
            << grid->item(0, 1)->text().toStdString();
    });
}

}  // namespace
