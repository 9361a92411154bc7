#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QToolButton>
#include <QWheelEvent>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

#include "base/DateTime.h"
#include "base/Paths.h"
#include "protocol/CellReadings.h"
#include "protocol/ProtocolCodec.h"
#include "protocol/ProtocolSession.h"
#include "protocol/ProtocolStore.h"
#include "storage/Database.h"
#include "storage/DownloadStore.h"
#include "storage/InputHistory.h"
#include "storage/ReferenceDirectories.h"
#include "storage/SQLiteDatabase.h"
#include "support/RawSqlite.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "ui/grid/StringGrid.h"
#include "ProtocolWindowsFixture.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/ProtocolWindows.h"
#include "ui/protocol/RefSelectForm.h"
#include "ui/protocol/ReportForm.h"

namespace zorvex::test {
namespace {

TMeasureRecord Single(int kind, int workplace, int height, int band, double m, double e) {
    TMeasureRecord r;
    r.kind = static_cast<std::uint8_t>(kind);
    r.workplace = workplace;
    r.height = height;
    r.band = static_cast<std::uint8_t>(band);
    r.mvalue = m;
    r.evalue = e;
    r.time = EncodeDateTime(2010, 3, 5, 10, 0, 0, 0);
    return r;
}

// Single measurements at workplaces 11, 1 and 2 (met in that order) and one
// monitoring record.
TMeasureDataP ThreeWorkplaces() {
    TMeasureDataP data;
    data(kMethodSingle, kKindMagnetic).Records = {Single(kKindMagnetic, 11, 1, 0, 120.5, 0),
                                                  Single(kKindMagnetic, 1, 2, 0, 80, 0),
                                                  Single(kKindMagnetic, 2, 3, 1, 7.25, 0)};
    data(kMethodSingle, kKind50Hz).Records = {Single(kKind50Hz, 1, 2, 0, 900, 12)};
    data(kMethodMonitoring, kKindMagnetic).Records = {Single(kKindMagnetic, 0, 0, 0, 5, 0)};
    data.SetMethodBytes();
    return data;
}

class ProtocolEditorTest : public ProtocolWindowsTest {
protected:
    // Picks entries in the picker by their list positions and presses "Выбрать";
    // an empty list cancels it.
    void PickRows(std::vector<int> rows) {
        drive = [rows](QDialog& dialog) {
            auto& picker = dynamic_cast<TRefSelectForm&>(dialog);
            picker.show();
            if (rows.empty()) {
                picker.BitBtn2->click();
                return;
            }
            for (const int row : rows) {
                if (picker.MultiSelect) {
                    picker.CheckListBox1->item(row)->setCheckState(Qt::Checked);
                } else {
                    picker.ListBox1->setCurrentRow(row);
                }
            }
            picker.BitBtn1->click();
        };
    }

    static void DoubleClick(QWidget* widget) {
        QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
};

TEST_F(ProtocolEditorTest, PickedEntriesReplaceTheFieldText) {
    SaveDirectory(
        "devices",
        {{"ИЭП-05", "101", "2001", "01.02.2010"}, {"ИЭП-06", "102", "2002", ""}, {"Люксметр", "103", "2003", ""}});
    SaveDirectory("orgs", {{"ООО Ромашка", "Москва", "7701"}, {"ЗАО Лютик", "Тверь", "6901"}});
    SaveDirectory("workplaces", {{"Бухгалтерия", "01"}});
    TReportForm form(NewProtocolSession(ThreeWorkplaces()));
    form.FormShow();
    form.SetFieldText("Edit1", "прежний текст");
    form.SetFieldText("Memo5", "прежняя строка");

    PickRows({0, 1, 2});
    form.SpeedButtons.at("SpeedButton2")->click();
    EXPECT_EQ(form.FieldText("Memo5"),
              "ИЭП-05 (зав. №101, рег. №2001)\r\nИЭП-06 (зав. №102, рег. №2002)\r\nЛюксметр (зав. №103, рег. №2003)");
    EXPECT_EQ(form.Memo5->document()->blockCount(), 3);

    PickRows({1});  // ordered by name: "ЗАО Лютик" before "ООО Ромашка"
    form.SpeedButtons.at("SpeedButton1")->click();
    EXPECT_EQ(form.FieldText("Edit1"), "ООО Ромашка ИНН 7701");

    // A cancelled picker leaves the field; double clicks open the field's picker.
    PickRows({});
    DoubleClick(form.Edit1);
    EXPECT_EQ(form.FieldText("Edit1"), "ООО Ромашка ИНН 7701");
    PickRows({0});
    DoubleClick(form.Edit4);
    EXPECT_EQ(form.FieldText("Edit4"), "ЗАО Лютик ИНН 6901");
    DoubleClick(form.Memo7->viewport());
    EXPECT_EQ(form.FieldText("Memo7"), "Бухгалтерия 01");
    EXPECT_EQ(modalCount, 5);
    EXPECT_TRUE(prompts->Messages().empty());
}

TEST_F(ProtocolEditorTest, MultiLineFieldsKeepTheirTextExactly) {
    TReportForm form(NewProtocolSession(ThreeWorkplaces()));
    form.FormShow();
    // A non-breaking space (pasted norm names carry them), leading and trailing blanks, an empty line.
    const std::string text = "СанПиН\u00A02.2.2 \r\n\r\n  второй абзац ";
    ASSERT_TRUE(form.SetFieldText("Memo6", text));
    EXPECT_EQ(form.FieldText("Memo6"), text);
}

TEST_F(ProtocolEditorTest, CancelLeavesNoTraceWhileFormingStoresAndShowsTheDocument) {
    const auto fill = [](TReportForm& form) {
        form.SetFieldText("Edit0", "12");
        form.SetFieldText("Edit1", "ООО Ромашка");
        form.ComboBoxEx9->setEditText("Петров");
    };
    {
        TReportForm form(NewProtocolSession(ThreeWorkplaces()));
        form.FormShow();
        fill(form);
        form.BitBtn2->click();
        EXPECT_EQ(form.result(), QDialog::Rejected);
    }
    EXPECT_EQ(RawRows(Db(), "select count(*) from protocols")[0][0], "0");
    EXPECT_EQ(RawRows(Db(), "select count(*) from protocollists")[0][0], "0");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "protocols"));

    TReportForm form(NewProtocolSession(ThreeWorkplaces()));
    std::vector<report::ProtocolReportData> shown;
    form.OnShowDocument = [&shown](const report::ProtocolReportData& data) { shown.push_back(data); };
    form.FormShow();
    fill(form);
    EXPECT_EQ(form.ComboBoxEx9->count(), 0);
    form.ResultGrids[7]->EditCellText(1, 2, "0.3");  // the electrostatic table is typed in
    form.BitBtn1->click();

    ASSERT_EQ(shown.size(), 1u) << (prompts->Messages().empty() ? "" : prompts->Messages().front());
    EXPECT_EQ(form.BitBtn2->text(), "Закрыть");
    EXPECT_EQ(RawRows(Db(), "select id, number from protocols"),
              (std::vector<std::vector<std::string>>{{"1", std::string("12\0", 3)}}));  // bound text keeps its zero
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(ProtocolFilePath(1))));
    EXPECT_EQ(HistoryTexts(1), std::vector<std::string>{"ООО Ромашка"});
    EXPECT_EQ(HistoryTexts(9), std::vector<std::string>{"Петров"});
    EXPECT_EQ(shown[0].fields.at("Edit1"), "ООО Ромашка");
    EXPECT_EQ(shown[0].fields.at("DateTimePicker1"), DateToStr(form.Date()));
    EXPECT_EQ(shown[0].tables[7][2][1], "0.3");
    EXPECT_EQ(shown[0].tables[0].size(), 4u);  // heading and three workplaces

    // A new editor lists the remembered signatory.
    TReportForm next(NewProtocolSession(ThreeWorkplaces()));
    next.FormShow();
    ASSERT_EQ(next.ComboBoxEx9->count(), 1);
    EXPECT_EQ(next.ComboBoxEx9->itemText(0), "Петров");
    EXPECT_EQ(next.ComboBoxEx9->currentText(), "");
}

TEST_F(ProtocolEditorTest, ResultGridsShowTheTablesOfTheMeasurements) {
    TReportForm form(NewProtocolSession(ThreeWorkplaces()));
    form.FormShow();
    ASSERT_EQ(form.ResultGrids[0]->objectName(), "Grid1");
    ASSERT_EQ(form.ResultGrids[1]->objectName(), "Grid10");
    ASSERT_EQ(form.ResultGrids[2]->objectName(), "Grid2");

    TStringGrid& workplaces = *form.ResultGrids[0];
    EXPECT_EQ(workplaces.RowCount(), 4);
    EXPECT_EQ(workplaces.Cell(0, 0), "№ РМ");
    EXPECT_EQ(workplaces.Cell(0, 1), "1");
    EXPECT_EQ(workplaces.Cell(0, 3), "11");

    TStringGrid& magnetic = *form.ResultGrids[5];  // magnetic flux density, 5 Hz - 2 kHz
    EXPECT_EQ(form.GridCaptions[5]->text().left(28), "Плотность магнитного потока ");
    EXPECT_EQ(magnetic.RowCount(), 5);
    EXPECT_EQ(magnetic.columnSpan(0, 1), 3);  // the heights heading spans the empty heading cells
    EXPECT_EQ(magnetic.columnSpan(0, 4), 1);
    EXPECT_EQ(magnetic.Cell(2, 2), "80.00");               // workplace 1 at 1.0 m
    EXPECT_EQ(magnetic.Cell(1, 4), "120.50");              // workplace 11 at 0.5 m
    EXPECT_EQ(magnetic.Cell(3, 3), "");                    // workplace 2 measured in band 1 only
    EXPECT_EQ(form.ResultGrids[1]->Cell(2, 2), "12.00");   // background electric field (Grid10)
    EXPECT_EQ(form.ResultGrids[4]->Cell(2, 2), "900.00");  // background magnetic field
    EXPECT_FALSE(form.ResultGrids[9]->isVisibleTo(&form));
    EXPECT_EQ(magnetic.height(), form.Session().Tables[5].FittedHeight());

    // Tables stack downwards with their captions directly above them.
    for (int index = 1; index <= 8; ++index) {
        EXPECT_GT(form.ResultGrids[index]->y(),
                  form.ResultGrids[index - 1]->y() + form.ResultGrids[index - 1]->height());
        EXPECT_LE(form.GridCaptions[index]->geometry().bottom(), form.ResultGrids[index]->y());
        EXPECT_GT(form.GridCaptions[index]->y(), form.ResultGrids[index - 1]->geometry().bottom());
    }

    // A visited empty cell becomes " " in the grid and in the stored table.
    magnetic.SetCurrentCell(3, 3);
    EXPECT_EQ(magnetic.Cell(3, 3), " ");
    EXPECT_EQ(form.Session().Tables[5].Cell(3, 3), " ");
}

// The stored table text's cell of table `table`, row `row`, column `col`.
std::string StoredCell(std::int32_t id, int table, int row, int col) {
    const std::string tabdata = MainDatabase().ScalarText("select tabdata from protocols where id=?", {id});
    const auto tables = SplitTexts(tabdata, kTableSeparator);
    const auto rows = SplitTexts(tables.at(static_cast<std::size_t>(table)), kRowSeparator);
    return SplitTexts(rows.at(static_cast<std::size_t>(row)), kItemSeparator).at(static_cast<std::size_t>(col));
}

TEST_F(ProtocolEditorTest, AnErasedValueStaysErasedWhenItsCellIsVisitedAgain) {
    TReportForm form(NewProtocolSession(ThreeWorkplaces()));
    std::vector<report::ProtocolReportData> shown;
    form.OnShowDocument = [&shown](const report::ProtocolReportData& data) { shown.push_back(data); };
    form.FormShow();
    TStringGrid& magnetic = *form.ResultGrids[5];
    ASSERT_EQ(magnetic.Cell(2, 2), "80.00");

    magnetic.SetCurrentCell(2, 2);
    magnetic.EditCellText(2, 2, "");  // the value typed away
    magnetic.SetCurrentCell(1, 2);
    magnetic.SetCurrentCell(2, 2);
    EXPECT_EQ(magnetic.Cell(2, 2), " ");

    form.BitBtn1->click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].tables[5][2][2], " ");
    EXPECT_EQ(StoredCell(1, 5, 2, 2), " ");
}

TEST_F(ProtocolEditorTest, ACharacterOutsideTheCodePageIsRefusedBeforeAnythingIsStored) {
    TReportForm form(NewProtocolSession(ThreeWorkplaces()));
    form.OnShowDocument = [](const report::ProtocolReportData&) { ADD_FAILURE() << "document shown"; };
    form.FormShow();
    form.SetFieldText("Edit1", "ООО Ромашка");
    form.ComboBoxEx9->setEditText("Петров");
    form.ResultGrids[2]->EditCellText(4, 2, "≤ 0.3");  // the norm of the first workplace

    form.BitBtn1->click();
    form.BitBtn1->click();

    const std::string where = "Таблица «" + form.Session().Tables[2].caption + "», строка 3, столбец 5: символ «≤»";
    ASSERT_EQ(prompts->Messages().size(), 2u);
    for (const std::string& message : prompts->Messages()) EXPECT_NE(message.find(where), std::string::npos) << message;
    EXPECT_EQ(RawRows(Db(), "select count(*) from protocollists")[0][0], "0");
    EXPECT_EQ(RawRows(Db(), "select count(*) from protocols")[0][0], "0");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "protocols"));
    EXPECT_EQ(form.BitBtn2->text(), "Отмена");
}

::testing::AssertionResult SameText(const std::string& actual, const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size();
}

// Far longer than a line edit keeps by default (32,767 characters).
TEST_F(ProtocolEditorTest, LongTextsSurviveLoadingAndForming) {
    std::string text;
    for (int i = 0; i < 40000; ++i) text += i % 50 == 49 ? " " : "ж";
    {
        TProtocolSession session = NewProtocolSession(ThreeWorkplaces());
        TProtocolFields fields;
        PrepareEditor(session, fields);
        fields.SetFieldText("Edit1", text);
        fields.SetFieldText("ComboBoxEx9", text);
        session.Tables[0].Cell(3, 1) = text;
        ASSERT_EQ(FormProtocol(session, fields), TFormOutcome::Stored);
    }

    TReportForm form(StoredProtocolSession(1));
    form.OnShowDocument = [](const report::ProtocolReportData&) {};
    form.FormShow();
    EXPECT_TRUE(SameText(form.FieldText("Edit1").value_or(""), text));
    // The cell's editor opens on the stored text and puts back what it holds,
    // as it does whenever a cell of the workplace table is selected.
    TStringGrid& workplaces = *form.ResultGrids[0];
    QAbstractItemDelegate& delegate = *workplaces.itemDelegate();
    const QModelIndex cell = workplaces.model()->index(1, 3);
    const std::unique_ptr<QWidget> editor(delegate.createEditor(nullptr, QStyleOptionViewItem(), cell));
    ASSERT_NE(editor, nullptr);
    delegate.setEditorData(editor.get(), cell);
    delegate.setModelData(editor.get(), workplaces.model(), cell);
    prompts->confirmAnswers = {true};
    form.BitBtn1->click();

    ASSERT_EQ(form.BitBtn2->text(), "Закрыть") << (prompts->Messages().empty() ? "" : prompts->Messages().back());
    const std::vector<std::string> consts =
        SplitTexts(MainDatabase().ScalarText("select consts from protocols where id=1"), kItemSeparator);
    EXPECT_TRUE(SameText(consts.at(1), text)) << "field 1";
    EXPECT_TRUE(SameText(consts.at(10), text)) << "field 9";
    EXPECT_TRUE(SameText(StoredCell(1, 0, 1, 3), text)) << "cell";
}

TEST_F(ProtocolEditorTest, CellsAreDrawnOnlyWhereTheyHoldText) {
    TReportForm form(NewProtocolSession(ThreeWorkplaces()));
    form.FormShow();
    TStringGrid& grid = *form.ResultGrids[5];
    const QRect rect(0, 0, 96, 64);
    const auto draw = [&](int col, int row, bool fixed) {
        QImage image(rect.size(), QImage::Format_ARGB32);
        image.fill(Qt::green);
        QPainter painter(&image);
        TGridDrawState state;
        state.fixed = fixed;
        form.Grid1DrawCell(grid, painter, col, row, rect, state);
        painter.end();
        return image;
    };
    const QImage empty = draw(3, 3, false);
    EXPECT_EQ(empty.pixelColor(50, 30), QColor(Qt::green));
    EXPECT_EQ(empty.pixelColor(0, 0), QColor(Qt::green));

    const QImage heading = draw(1, 0, true);
    EXPECT_EQ(heading.pixelColor(50, 0), QColor(Qt::black));  // the rule along the top
    EXPECT_EQ(heading.pixelColor(50, 1), QColor(Qt::black));
    EXPECT_EQ(heading.pixelColor(1, 62), QColor(Qt::white));  // filled with the fixed colour
}

TEST_F(ProtocolEditorTest, WheelScrollsTheAreaNotTheTable) {
    TReportForm form(NewProtocolSession(ThreeWorkplaces()));
    form.resize(900, 500);
    form.show();  // prepares itself when shown
    QScrollBar* bar = form.ScrollBox1->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 200);
    const auto wheel = [](QWidget* target, int delta) {
        QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    };
    wheel(form.ResultGrids[2]->viewport(), -120);
    EXPECT_EQ(bar->value(), 50);
    wheel(form.ScrollBox1->viewport(), -120);
    EXPECT_EQ(bar->value(), 100);
    wheel(form.ResultGrids[0]->viewport(), 120);
    EXPECT_EQ(bar->value(), 50);
    form.SetHistoryItems("ComboBoxEx9", {"Иванов", "Петров"});
    wheel(form.ComboBoxEx9, -120);  // scrolls past the signatory without picking one
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(form.FieldText("ComboBoxEx9"), "");
    form.hide();
}

TEST_F(ProtocolEditorTest, OpensOnlyWithSingleMeasurements) {
    TMeasureDataP monitoringOnly;
    monitoringOnly(kMethodMonitoring, kKindMagnetic).Records = {Single(kKindMagnetic, 3, 2, 0, 5, 0)};
    EXPECT_FALSE(OpenProtocolEditor(monitoringOnly, false));
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Нет данных для формирования отчёта!"});
    EXPECT_EQ(modalCount, 0);

    const TMeasureDataP matrix = ThreeWorkplaces();
    drive = [&matrix](QDialog& dialog) {
        auto& form = dynamic_cast<TReportForm&>(dialog);
        EXPECT_EQ(form.Session().ProtocolId, 0);
        EXPECT_EQ(form.Session().Measurements, matrix);  // all ten series
        EXPECT_EQ(form.BitBtn2->text(), "Отмена");
        EXPECT_EQ(form.windowTitle(), "Формирование протокола");
        dialog.show();
        EXPECT_EQ(form.FieldText("Memo11"), kDefaultConclusion);
        form.BitBtn2->click();
    };
    EXPECT_TRUE(OpenProtocolEditor(matrix, false));
    EXPECT_EQ(modalCount, 1);
}

TEST_F(ProtocolEditorTest, AnOutOfDateCalibrationIsAskedAboutBeforeAnythingIsStored) {
    const struct {
        const char* name;
        int monthsOld;                // the calibration on the day of the measurements
        std::deque<bool> answers;     // to the calibration question, then to replacing the file
        std::string shownState;       // CalibrationLabel
        std::vector<std::string> questions;
        bool stored;
    } cases[] = {
        // No stores nothing, and the next "Сформировать" asks again.
        {"13 months, No",
         13,
         {false, false},
         "Поверка прибора № 100 от 05.02.2009 старше года на дату измерений 05.03.2010",
         {"Поверка прибора № 100 от 05.02.2009 старше года на дату измерений 05.03.2010. Продолжить?",
          "Поверка прибора № 100 от 05.02.2009 старше года на дату измерений 05.03.2010. Продолжить?"},
         false},
        // Asked once: the second "Сформировать" asks only about the file.
        {"13 months, Yes",
         13,
         {true, true},
         "Поверка прибора № 101 от 06.02.2009 старше года на дату измерений 06.03.2010",
         {"Поверка прибора № 101 от 06.02.2009 старше года на дату измерений 06.03.2010. Продолжить?",
          "Файл с имененим " + ProtocolFilePath(1) + " уже существует, заменить?"},
         true},
        {"11 months",
         11,
         {true},
         "Прибор № 102: поверка от 07.04.2009",
         {"Файл с имененим " + ProtocolFilePath(2) + " уже существует, заменить?"},
         true},
    };
    int day = 5;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Measurements of their own day, downloaded from a meter of their own.
        TMeasureDataP matrix = ThreeWorkplaces();
        for (auto& method : matrix.series)
            for (auto& series : method)
                for (auto& r : series.Records) r.time = EncodeDateTime(2010, 3, day, 10, 0, 0, 0);
        TDownloadInfo download;
        download.link = kLinkDriver;
        download.serialNumber = 95 + day;
        download.calibrationDate = IncMonth(EncodeDate(2010, 3, day), -c.monthsOld);
        StoreDownload(matrix, download);
        ++day;

        const std::string protocolsBefore = RawRows(Db(), "select count(*) from protocols")[0][0];
        prompts->shown.clear();
        prompts->confirmAnswers = c.answers;
        std::string shownState;
        int documents = 0;
        drive = [&](QDialog& dialog) {
            auto& form = dynamic_cast<TReportForm&>(dialog);
            form.OnShowDocument = [&documents](const report::ProtocolReportData&) { ++documents; };
            dialog.show();
            shownState = form.CalibrationLabel->isVisibleTo(&form) ? form.CalibrationLabel->text().toStdString()
                                                                    : "hidden";
            form.Edit1->setText("ООО Ромашка");
            form.BitBtn1->click();
            form.BitBtn1->click();
            form.BitBtn2->click();
        };
        ASSERT_TRUE(OpenProtocolEditor(matrix, true));
        EXPECT_EQ(shownState, c.shownState);
        std::vector<std::string> questions;
        for (const auto& shown : prompts->shown)
            if (shown.kind == "confirm") questions.push_back(shown.text);
        EXPECT_EQ(questions, c.questions);
        EXPECT_TRUE(prompts->confirmAnswers.empty());
        EXPECT_EQ(documents, c.stored ? 2 : 0);
        if (!c.stored) {
            EXPECT_EQ(RawRows(Db(), "select count(*) from protocols")[0][0], protocolsBefore);
            EXPECT_EQ(RawRows(Db(), "select count(*) from protocollists")[0][0], "0");
            EXPECT_FALSE(std::filesystem::exists(dir.path() / "protocols"));
        }
    }
    EXPECT_EQ(RawRows(Db(), "select count(*) from protocols")[0][0], "2");
}

// Workplace 9 at 0.5 m measured twice in the magnetic field, 5 Hz - 2 kHz:
// 900 nT, then 5 nT, against the norm 250.
TMeasureDataP ReMeasured() {
    TMeasureDataP data;
    TMeasureRecord high = Single(kKindMagnetic, 9, 1, 0, 900, -1);
    high.time = EncodeDateTime(2026, 3, 17, 10, 0, 5, 0);
    TMeasureRecord low = Single(kKindMagnetic, 9, 1, 0, 5, -1);
    low.time = EncodeDateTime(2026, 3, 17, 10, 2, 0, 0);
    data(kMethodSingle, kKindMagnetic).Records = {high, low};
    data.SetMethodBytes();
    return data;
}

constexpr int kMagneticLowTable = 5;

std::vector<std::string> Confirmations(const ScriptedPrompts& prompts) {
    std::vector<std::string> texts;
    for (const auto& shown : prompts.shown)
        if (shown.kind == "confirm") texts.push_back(shown.text);
    return texts;
}

TEST_F(ProtocolEditorTest, ADroppedReadingAboveTheNormIsShownAndChosenBeforeForming) {
    TReportForm form(NewProtocolSession(ReMeasured()));
    std::vector<report::ProtocolReportData> shown;
    form.OnShowDocument = [&shown](const report::ProtocolReportData& data) { shown.push_back(data); };
    form.FormShow();
    TStringGrid& magnetic = *form.ResultGrids[kMagneticLowTable];
    ASSERT_EQ(magnetic.Cell(1, 2), "5.00");

    // Both readings listed, the held one checked, the dropped exceedance marked.
    ASSERT_TRUE(form.ContestedGrid->isVisibleTo(&form));
    ASSERT_EQ(form.ContestedGrid->rowCount(), 2);
    EXPECT_EQ(form.ContestedGrid->item(0, 0)->text().toStdString(), "Плотность магнитного потока 5 Гц – 2 кГц, нТл");
    EXPECT_EQ(form.ContestedGrid->item(0, 1)->text(), "9");
    EXPECT_EQ(form.ContestedGrid->item(0, 2)->text(), "0.5");
    EXPECT_EQ(form.ContestedGrid->item(0, 3)->text(), "250");
    EXPECT_EQ(form.ContestedGrid->item(0, 4)->text(), "900.00");
    EXPECT_EQ(form.ContestedGrid->item(1, 4)->text(), "5.00");
    EXPECT_EQ(form.ContestedGrid->item(0, 5)->text(), "Магнитное поле");
    EXPECT_EQ(form.ContestedGrid->item(0, 6)->text(), "17.03.2026 10:00:05");
    EXPECT_FALSE(form.ContestedChoice(0, 0)->isChecked());
    EXPECT_TRUE(form.ContestedChoice(0, 1)->isChecked());
    EXPECT_NE(form.ContestedGrid->item(0, 4)->background(), form.ContestedGrid->item(1, 4)->background());
    EXPECT_NE(form.ContestedLabel->text().toStdString().find("Не показано значение не ниже нормы в ячейках: 1"),
              std::string::npos);

    // The cell itself is marked in its table, and the mark follows the choice.
    const auto cellColour = [&form, &magnetic] {
        QImage image(96, 24, QImage::Format_ARGB32);
        QPainter painter(&image);
        form.Grid1DrawCell(magnetic, painter, 1, 2, QRect(0, 0, 96, 24), TGridDrawState{});
        painter.end();
        return image.pixelColor(3, 20);
    };
    const QColor droppedHigh = cellColour();
    EXPECT_NE(droppedHigh, magnetic.palette().base().color());

    // Forming as it is asks first; No stores nothing.
    prompts->confirmAnswers = {false};
    form.BitBtn1->click();
    const std::vector<std::string> asked = Confirmations(*prompts);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("РМ 9, 0.5 м: в таблице 5.00, не показано 900.00 (норма 250)"), std::string::npos)
        << asked[0];
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(RawRows(Db(), "select count(*) from protocols")[0][0], "0");

    // Choosing the exceedance puts it into the table; forming then asks nothing.
    form.ContestedChoice(0, 0)->click();
    EXPECT_EQ(magnetic.Cell(1, 2), "900.00");
    EXPECT_TRUE(form.ContestedChoice(0, 0)->isChecked());
    EXPECT_FALSE(form.ContestedChoice(0, 1)->isChecked());
    EXPECT_EQ(form.ContestedLabel->text().toStdString().find("не ниже нормы"), std::string::npos);
    EXPECT_NE(cellColour(), droppedHigh);
    EXPECT_NE(cellColour(), magnetic.palette().base().color());
    form.BitBtn1->click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(Confirmations(*prompts).size(), 1u);
    EXPECT_EQ(shown[0].tables[kMagneticLowTable][2][1], "900.00");
    EXPECT_EQ(StoredCell(1, kMagneticLowTable, 2, 1), "900.00");

    // The stored protocol keeps the choice in its cell text.
    TReportForm reopened(StoredProtocolSession(1));
    reopened.FormShow();
    EXPECT_EQ(reopened.ResultGrids[kMagneticLowTable]->Cell(1, 2), "900.00");
    EXPECT_TRUE(reopened.ContestedChoice(0, 0)->isChecked());
    EXPECT_FALSE(reopened.ContestedChoice(0, 1)->isChecked());
}

TEST_F(ProtocolEditorTest, GoingOnPastADroppedExceedanceIsAskedOnceAndTypingIsFollowed) {
    TReportForm form(NewProtocolSession(ReMeasured()));
    int documents = 0;
    form.OnShowDocument = [&documents](const report::ProtocolReportData&) { ++documents; };
    form.FormShow();
    TStringGrid& magnetic = *form.ResultGrids[kMagneticLowTable];

    // A value typed into the cell is neither reading: none is checked.
    magnetic.EditCellText(1, 2, "7");
    EXPECT_FALSE(form.ContestedChoice(0, 0)->isChecked());
    EXPECT_FALSE(form.ContestedChoice(0, 1)->isChecked());
    magnetic.EditCellText(1, 2, "5.00");
    EXPECT_TRUE(form.ContestedChoice(0, 1)->isChecked());

    prompts->confirmAnswers = {true, true};
    form.BitBtn1->click();
    form.BitBtn1->click();
    EXPECT_EQ(documents, 2);
    const std::vector<std::string> asked = Confirmations(*prompts);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[0].find("не показано 900.00"), std::string::npos);
    EXPECT_EQ(asked[1], "Файл с имененим " + ProtocolFilePath(1) + " уже существует, заменить?");
    EXPECT_EQ(StoredCell(1, kMagneticLowTable, 2, 1), "5.00");
}

TEST_F(ProtocolEditorTest, TheDateAndTheMeasurementsLeftOutOfTheTablesComeFromTheMeasurements) {
    const auto at = [](int day, int workplace, int height) {
        TMeasureRecord r = Single(kKindMagnetic, workplace, height, 0, 5, -1);
        r.time = EncodeDateTime(2026, 3, day, 11, 0, 0, 0);
        return r;
    };
    TMeasureDataP days;
    days(kMethodSingle, kKindMagnetic).Records = {at(16, 0, 1), at(17, 1, 1), at(17, 2, 0), at(18, 3, 2), at(18, 0, 0)};
    days.SetMethodBytes();
    TMeasureDataP unnumbered;
    unnumbered(kMethodSingle, kKindMagnetic).Records = {at(16, 0, 1), at(17, 0, 2)};
    unnumbered.SetMethodBytes();

    const struct {
        const char* name;
        TMeasureDataP data;
        TDateTime date;
        std::string daysNote;  // "" hidden
        std::string omitted;   // "" hidden
    } cases[] = {
        {"one day, all in the tables", ThreeWorkplaces(), EncodeDate(2010, 3, 5), "", ""},
        {"several days, some left out", days, EncodeDate(2026, 3, 17),
         "Измерения проведены с 17.03.2026 по 18.03.2026.",
         "Не вошли в таблицы одиночных измерений: 3 (без номера рабочего места: 2; без высоты: 1)."},
        {"no numbered workplace", unnumbered, EncodeDate(2026, 3, 16),
         "Измерения проведены с 16.03.2026 по 17.03.2026.",
         "Не вошли в таблицы одиночных измерений: 2 (без номера рабочего места: 2)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->shown.clear();
        TReportForm form(NewProtocolSession(c.data));
        form.FormShow();
        EXPECT_EQ(DateToStr(form.Date()), DateToStr(c.date));
        EXPECT_EQ(form.DateSpanLabel->isVisibleTo(&form), !c.daysNote.empty());
        EXPECT_EQ(form.DateSpanLabel->text().toStdString(), c.daysNote);
        EXPECT_EQ(form.OmittedLabel->isVisibleTo(&form), !c.omitted.empty());
        EXPECT_EQ(form.OmittedLabel->text().toStdString(), c.omitted);
        EXPECT_FALSE(form.ContestedGrid->isVisibleTo(&form));
    }
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Нет данных для формирования отчёта"});
}

}  // namespace
}  // namespace zorvex::test
