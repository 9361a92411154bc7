#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/CellReadings.h"
#include "protocol/ProtocolFields.h"
#include "protocol/ProtocolSession.h"
#include "report/ProtocolReport.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QRect;
class QScrollArea;
class QTableWidget;
class QToolButton;
class QWidget;

namespace zorvex {

class TStringGrid;
struct TGridDrawState;

// The protocol editor: heading fields with their reference pickers, the result
// tables built from the measurements and the conclusion. "Сформировать"
// records, stores and shows the document; closing stores nothing.
class TReportForm final : public QDialog, public IProtocolFields {
    Q_OBJECT
public:
    explicit TReportForm(TProtocolSession session, QWidget* parent = nullptr);
    ~TReportForm() override;

    TProtocolSession& Session() { return session_; }
    const TProtocolSession& Session() const { return session_; }

    // The fields as the protocol core reads and writes them, found by name.
    std::optional<std::string> FieldText(const std::string& control) const override;
    bool SetFieldText(const std::string& control, const std::string& text) override;
    void SetHistoryItems(const std::string& control, const std::vector<std::string>& items) override;
    TDateTime Date() const override;
    void SetDate(TDateTime date) override;

    void FormCreate();
    void FormShow();
    void BitBtn1Click();  // "Сформировать"
    void BitBtn2Click();  // "Отмена" / "Закрыть"

    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton8Click();
    void Memo5DblClick();
    void Memo6DblClick();
    void Memo7DblClick();
    void Grid1MouseWheelDown();
    void Grid1MouseWheelUp();

    // Shared by the ten result tables.
    void Grid1DrawCell(TStringGrid& grid, QPainter& canvas, int col, int row, const QRect& rect,
                       const TGridDrawState& state);
    void Grid1SelectCell(TStringGrid& grid, int col, int row);

    // Opens the picker of `table`; the chosen text when it closed with OK.
    std::optional<std::string> PickReference(const std::string& table, bool several);

    // Puts the tables of the session into the grids and lays them out.
    void LayOutTables();
    // The grids' cells back into the session's tables.
    void ReadTablesFromGrids();
    // What the printed document shows.
    report::ProtocolReportData DocumentData() const;

    // The cells of the level tables that several measurements are written
    // into, as found when the window was prepared.
    const std::vector<TContestedCell>& ContestedCells() const { return contested_; }
    // The table cell takes that reading's value (the user's choice).
    void HoldContestedReading(std::size_t cell, std::size_t reading);
    // The choice button of a reading in ContestedGrid; null outside the list.
    QRadioButton* ContestedChoice(std::size_t cell, std::size_t reading) const;

    // Shows the document; ShowProtocolDocument unless replaced (tests).
    std::function<void(const report::ProtocolReportData&)> OnShowDocument;

    std::array<TStringGrid*, kResultTableCount> ResultGrids{};
    std::array<QLabel*, kResultTableCount> GridCaptions{};
    int ReportGridIndex = 0;
    int ReportRow = 0;

    QScrollArea* ScrollBox1 = nullptr;
    QLineEdit* Edit0 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QDateEdit* DateTimePicker1 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QPlainTextEdit* Memo5 = nullptr;
    QPlainTextEdit* Memo6 = nullptr;
    QPlainTextEdit* Memo7 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QComboBox* ComboBoxEx9 = nullptr;
    QComboBox* ComboBoxEx10 = nullptr;
    QPlainTextEdit* Memo11 = nullptr;
    std::map<std::string, QToolButton*, std::less<>> SpeedButtons;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    // The calibration of each meter that took the measurements; hidden when
    // no measurement came from a recorded download.
    QLabel* CalibrationLabel = nullptr;
    // Several days of measurements, under the date; hidden for one day.
    QLabel* DateSpanLabel = nullptr;
    // How many single measurements the tables leave out, and why.
    QLabel* OmittedLabel = nullptr;
    // The contested cells: every reading, the one the table holds, a choice.
    QLabel* ContestedLabel = nullptr;
    QTableWidget* ContestedGrid = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    QWidget* BuildFieldsPanel();
    void ShowCalibration();
    void PickInto(const std::string& control);
    void ShowTable(int index);
    int TableIndexOf(const TStringGrid& grid) const;
    // Readings notes of FormShow: left-out measurements, contested cells.
    void ShowReadingNotes();
    void FillContestedGrid();
    // Brings the list's choices, marks and the grids' colours up to what
    // the cells hold now.
    void RefreshContested();
    std::string GridText(const TContestedCell& cell) const;

    enum class TCellMark { Contested, DropsAtOrAboveNorm };

    TProtocolSession session_;
    std::map<std::string, QWidget*, std::less<>> fields_;
    QWidget* tablesPanel_ = nullptr;
    std::vector<TContestedCell> contested_;
    std::vector<std::vector<QRadioButton*>> choices_;       // [cell][reading]
    std::map<std::tuple<int, int, int>, TCellMark> marks_;  // (table, col, row)
};

// The printed document of the protocol in its preview window; returns when
// the preview is closed.
void ShowProtocolDocument(const report::ProtocolReportData& data, QWidget* parent);

}  // namespace zorvex
