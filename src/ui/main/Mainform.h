#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/MeasureModel.h"
#include "storage/Levels.h"
#include "ui/graph/GraphSheet.h"
#include "ui/graph/GraphView.h"

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QPainter;
class QPushButton;
class QRubberBand;
class QTabBar;
class QTableWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace zorvex {

class TStringGrid;
class TGraphReadout;
struct TDownloadInfo;
struct TGridDrawState;

// A history tree node's period.
struct TDateNodeRecord {
    int level = 0;  // 0 year, 1 month, 2 day
    int year = 0;
    int month = 0;
    int day = 0;
};

// Band texts and the constant layout tables of the measurement table.
const char* BandText(int band);
// The caption of a kind's tab without the record count ("50Гц", "СВТ - Магнитное поле" ...).
const char* KindCaption(int kind);
inline constexpr std::array<int, kKindCount> kValueColumnsPerKind = {2, 1, 1, 1, 1};
inline constexpr std::array<int, kKindCount> kExtraSingleColumns = {2, 3, 3, 2, 2};

// The main window: the measurements of one mode and kind out of the matrix on
// view, the permissible levels below them, the graph beside them in
// monitoring mode and the history of stored dates at the left.
class TMainform final : public QMainWindow {
    Q_OBJECT
public:
    // Opens (or creates) the database `databaseFile` as the program's
    // database and loads the levels; the program passes the data layout's
    // database (the bare "data.db" when run from its build tree).
    explicit TMainform(const std::string& databaseFile = "data.db", QWidget* parent = nullptr);
    ~TMainform() override;

    // The title says the meter is a demonstration one, so that a screenshot
    // of simulated data is never taken for a real inspection.
    void MarkDemonstrationMeter();

    // ---- state ----
    const TMeasureDataP& Matrix() const { return matrix_; }
    int Mode() const { return Mode_; }
    int Kind() const { return Kind_; }
    int CurrentBand() const { return CurrentBand_; }
    int FirstIndex() const { return FirstIndex_; }
    int LastIndex() const { return LastIndex_; }
    int ShownCount() const { return ShownCount_; }
    int FirstValueColumn() const { return FirstValueColumn_; }
    int ValueColumnCount() const { return ValueColumnCount_; }
    const std::vector<TMeasureSubfield>& ColumnSubfields() const { return ColumnSubfields_; }
    bool HistoryShown() const { return HistoryShown_; }
    const TLevels& Levels() const { return Levels_; }
    const TLimitTable& LimitTable() const { return LimitTable_; }

    // Replaces the matrix on view. `idsOfMainDatabase` tells whether the
    // records' ids are rows of the program's database (loaded from it or
    // stored into it); records of a measurement file are edited in memory
    // only, so an edit never reaches an unrelated row by a file's id.
    void TakeOverMatrix(TMeasureDataP data, bool idsOfMainDatabase);
    bool IdsOfMainDatabase() const { return idsOfMainDatabase_; }
    // The record bound to a data row of the table, or nullptr.
    TMeasureRecord* RecordOfRow(int row);

    // ---- operations other parts call ----
    void ApplyMode();
    bool SelectNewestData();
    void SetupDataGrid();
    void FillValueHeaders(TStringGrid& grid, bool titleRow, int& row, bool bandTitles);
    void UpdateShownRange();
    void FillDataGrid();
    void FillLimGrid();
    void ApplyLevels();
    void SetLevel(int index, double value);
    void BuildDateTree();
    void FillSeriesList();
    void DrawGraph();
    void StoreMeasurements();
    // StoreMeasurements for a download from the meter: a record stored
    // before is not stored again but takes its stored row, and the download
    // itself is recorded.
    void StoreDownloadedMeasurements(const TDownloadInfo& download);

    // ---- event handlers ----
    void FormCreate(const std::string& databaseFile);
    void FormShow();
    void FormResize();
    // Hidden test commands (Ctrl+T, Ctrl+Shift+T, Ctrl+D); true when the key
    // was one of them. `key` is the Latin key (HiddenCommandKey).
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);
    static bool IsHiddenCommand(int key, Qt::KeyboardModifiers shift);
    // Qt::Key_T or Qt::Key_D for the key that carries that letter on a Latin
    // layout, whatever layout is active; otherwise the event's key.
    static int HiddenCommandKey(const QKeyEvent& event);
    // File, export, device commands.
    void BitBtn1Click();
    void N4Click();
    void N5Click();
    void N17Click();
    void N18Click();
    void N19Click();
    // The CSV bytes of the table on view (code page 1251, CR LF).
    std::string ExportText() const;
    // Dialogs of the menus.
    void N8Click();
    void N12Click();
    void N14Click();
    void N6Click();
    // N27Click .. N33Click: the reference editor of menu item `menuIndex` 0..6.
    void ReferenceItemClick(int menuIndex);
    void AutoBtnClick();
    void N1Click();
    void N2Click();
    void TabControl1Change();
    void N9Click();
    // "Проверить целостность данных" and the audit log, in the program menu.
    void IntegrityItemClick();
    void AuditLogItemClick();
    // "Отправить в архив лаборатории", in the program menu.
    void ArchivePushItemClick();
    void BitBtn3Click();
    void N11Click();
    void N21Click();
    // Opens a document with the application the desktop registers for it;
    // a missing document or one nothing can open is reported, not ignored.
    void OpenDocument(const std::string& path);
    void N15Click();
    void N7Click();
    void HistoryBtnClick();
    void DateTreeClick();
    void DateTreeDeletion(QTreeWidgetItem* node);
    void DataGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect, const TGridDrawState& state);
    void DataGridSelectCell(int col, int row);
    // An in-place edit asked for on a data cell; true when the cell is
    // edited through its own control (the height list) instead of as text.
    bool DataGridEditCell(int col, int row);
    void DataGridSetEditText(int col, int row, const QString& text);
    void MHeightCBoxChange();
    void LimGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect, const TGridDrawState& state);
    void LimGridSelectCell(int col, int row);
    void LimGridSetEditText(int col, int row, const QString& text);
    void MonComboBoxChange();
    void N24Click();
    void N22Click();

    // ---- analysis of the run on view (zoom, statistics, graph export) ----
    // The run on view as a range of the current list; empty outside monitoring mode.
    TIndexRange RunRange() const;
    // The part of the run the graph draws: the whole run unless zoomed.
    TIndexRange View() const;
    bool Zoomed() const;
    // Where the samples of the view stand on the graph's picture.
    TPlotSpan GraphPlotSpan() const;
    // Shows `view` (kept inside the run and at least two samples long).
    void SetView(TIndexRange view);
    // What the graph draws: the view's records and the levels of the run's band.
    TGraphInput GraphInput() const;
    // The statistics of the whole run, and of the view when zoomed.
    std::vector<TGraphSheet::Block> StatisticsBlocks() const;
    // The graph on view as a sheet to save or print.
    TGraphSheet GraphSheet() const;
    void FillStatGrid();
    void ResetZoomBtnClick();
    void SaveGraphBtnClick();
    void PrintGraphBtnClick();

    // Colour in which a marked value of (kind, band, slot) is written, or an
    // invalid colour when that value is never marked.
    static QColor ExceedanceColor(int kind, int band, int slot);
    // Whether the cell of the single layout is drawn as reaching its level,
    // and the colour it is then written in (invalid when it is not marked).
    bool IsMarkedCell(int col, int row) const;
    QColor MarkedCellColour(int col, int row) const;

    // Node record of a history tree node.
    static TDateNodeRecord NodeRecord(const QTreeWidgetItem* node);

    // The database Ctrl+D deletes and creates anew: the main database the
    // window opened (not a same-named file elsewhere).
    std::string RecreatedDatabaseFile;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    void BuildGraphTools(QVBoxLayout* layout);
    // Mouse, wheel, key and menu events of the graph; true when consumed.
    bool GraphEvent(QEvent* event);
    bool GraphKeyPress(const QKeyEvent& key);
    // "Полоса: ..." of the run on view, as BandLabel shows it.
    QString BandCaption() const;
    void BuildMenus();
    QAction* AddItem(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {});
    void LayOutForNewMatrix();
    // Empties every list of the matrix; the method tags stay.
    void EmptyMatrix();
    // Says how many rows of a load could not be placed in the matrix (nothing for none).
    static void ReportSkippedRows(std::int64_t skipped);
    // Says once per opened file that edits of its records stay in the window.
    void NoteEditOfFileRecord();
    void PlaceHeightCombo(int col, int row);
    void HideHeightCombo();
    QString DataCellText(int col, int row) const;
    // Index in the current list of the record bound to a data row, or -1.
    long BoundRecordIndex(int row) const;
    void TestDataCommand();
    void ImageFileCommand();
    void RecreateDatabaseCommand();
    // Steps after a hidden command loaded a matrix: newest view, store, fill.
    void StoreLoadedMatrix();
    // Runs `store` on the matrix; the history tree shows what it stored, also after a failure.
    void StoreMatrix(const std::function<void()>& store);

    // matrix and view state
    TMeasureDataP matrix_;
    bool idsOfMainDatabase_ = false;
    bool fileEditNoticeShown_ = false;  // since the matrix was last replaced
    int Mode_ = 0;
    int Kind_ = 0;
    int CurrentBand_ = 0;
    int FirstIndex_ = 0;
    int LastIndex_ = -1;
    int ShownCount_ = 0;
    int FirstValueColumn_ = 5;
    int ValueColumnCount_ = 2;
    std::vector<TMeasureSubfield> ColumnSubfields_;
    bool HistoryShown_ = false;
    TLevels Levels_ = kLevelDefaults;
    TLimitTable LimitTable_{};
    // the shown range the data rows were filled for
    int filledMode_ = 0;
    int filledKind_ = 0;
    int filledFirst_ = 0;
    int filledCount_ = 0;
    bool heightComboBusy_ = false;
    int graphAxisX_ = 36;  // the graph's value axis in its last drawing (kGraphAxisX before any)
    bool shownOnce_ = false;
    // zoom of the graph: the view and a drag in progress
    TIndexRange view_;
    enum class GraphDrag { None, Select, Pan };
    GraphDrag graphDrag_ = GraphDrag::None;
    int dragStartX_ = 0;
    TIndexRange dragStartView_;

public:
    // components, named as the window's designer names them
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ManualBtn = nullptr;
    QToolButton* AutoBtn = nullptr;
    QToolButton* HistoryBtn = nullptr;
    QWidget* Panel1 = nullptr;
    QTabBar* TabControl1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    TStringGrid* DataGrid = nullptr;
    TStringGrid* LimGrid = nullptr;
    QComboBox* MonComboBox = nullptr;
    QComboBox* MHeightCBox = nullptr;
    QLabel* BandLabel = nullptr;
    QWidget* LimPnl = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Graph = nullptr;
    std::array<QFrame*, 4> Shapes{};
    std::array<QLabel*, 4> LegendLabels{};
    QWidget* HistoryPnl = nullptr;
    QLabel* Label5 = nullptr;
    QTreeWidget* DateTree = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QTimer* GraphTmr = nullptr;
    TGraphReadout* GraphReadout = nullptr;  // pointer read-out of the graph
    QTableWidget* StatGrid = nullptr;       // statistics of the run on view
    QPushButton* ResetZoomBtn = nullptr;
    QPushButton* SaveGraphBtn = nullptr;
    QPushButton* PrintGraphBtn = nullptr;
    QMenu* GraphMenu = nullptr;  // the graph's context menu
    QAction* GraphResetAction = nullptr;
    QAction* GraphSaveAction = nullptr;
    QAction* GraphPrintAction = nullptr;
    QRubberBand* GraphRubberBand = nullptr;  // the range a left-button drag selects
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N7 = nullptr;
    QAction* N22 = nullptr;
};

}  // namespace zorvex
