#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>

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
class QRect;
class QScrollArea;
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

    TProtocolSession session_;
    std::map<std::string, QWidget*, std::less<>> fields_;
    QWidget* tablesPanel_ = nullptr;
};

// The printed document of the protocol in its preview window; returns when
// the preview is closed.
void ShowProtocolDocument(const report::ProtocolReportData& data, QWidget* parent);

}  // namespace zorvex
