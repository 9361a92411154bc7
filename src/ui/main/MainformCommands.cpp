// The main window's commands that move data in and out (download, files,
// export, clearing), the hidden test commands and the dialogs of the menus.

#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

#include "base/CodePage1251.h"
#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Prompts.h"
#include "base/SaveLocation.h"
#include "device/DeviceDataSource.h"
#include "device/MeterCommands.h"
#include "device/TestDataSource.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/FileDataAdapter.h"
#include "storage/FileSafety.h"
#include "storage/Levels.h"
#include "storage/MeasurementEdits.h"
#include "storage/SQLiteDatabase.h"
#include "storage/Utilities.h"
#include "ui/AboutForm.h"
#include "ui/GetDevDataForm.h"
#include "ui/PasportForm.h"
#include "ui/grid/StringGrid.h"
#include "ui/main/Mainform.h"
#include "ui/main/SaveNames.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/ProtocolWindows.h"

namespace zorvex {

namespace {

const char* const kDataFileFilter = "Данные измерений Zorvex (*.zorvex);;Все файлы (*.*)";
const char* const kCsvFilter = "Файлы CSV (*.csv);;Все файлы (*.*)";

// The measurements a file holds, or nothing when it is no measurement file
// (absent, not a database, no measurements table).
std::optional<std::int64_t> MeasurementsInFile(const std::string& fileName) {
    if (!IsExistingFile(fileName)) return std::nullopt;
    try {
        return TSQLiteDatabase::Open(fileName)->ScalarInt("select count(*) from measurements");
    } catch (const ESQLiteException&) {
        return std::nullopt;
    }
}

// The database layer reports in SQLite's English; the user is told in
// Russian what failed, and why where the reason is a common one.
[[noreturn]] void ThrowDatabaseFailure(const std::string& what, const ESQLiteException& error) {
    constexpr int kBusy = 5, kLocked = 6, kReadOnly = 8, kFull = 13;
    const int code = error.PrimaryResultCode();
    switch (code) {
        case kReadOnly:
            throw Exception(what + ": база данных открыта только для чтения");
        case kBusy:
        case kLocked:
            throw Exception(what + ": база данных занята другой программой, повторите позже");
        case kFull:
            throw Exception(what + ": на диске нет места");
        default:
            break;
    }
    throw Exception(what + ": ошибка базы данных" + (code >= 0 ? " (код " + std::to_string(code) + ")" : ""));
}

// X11 key codes (evdev + 8) of the keys that carry T and D on a Latin layout.
constexpr quint32 kX11KeyCodeT = 28;
constexpr quint32 kX11KeyCodeD = 40;

}  // namespace

// ---- download and stored history -------------------------------------------------

void TMainform::BitBtn1Click() {
    TGetDevDataForm dialog;
    if (RunModal(dialog) != QDialog::Accepted) return;
    TakeOverMatrix(dialog.Data, false);
    if (SelectNewestData()) {
        StoreDownloadedMeasurements(dialog.Download);
        SetupDataGrid();
    } else {
        LayOutForNewMatrix();
    }
}

void TMainform::N18Click() {
    if (!Prompts().Confirm("Вы уверены, что хотите стереть все записи в истории измерений?", "Подтверждение")) return;
    try {
        ClearMeasurementHistory(MainDatabase());
    } catch (const ESQLiteException& error) {
        // Nothing was deleted: the tree and the table stay as they are.
        ThrowDatabaseFailure("Не удалось стереть историю измерений", error);
    }
    EmptyMatrix();
    BuildDateTree();
    SetupDataGrid();
}

void TMainform::EmptyMatrix() {
    TMeasureDataP emptied = matrix_;  // the method tags stay
    for (int method = 0; method < kMethodCount; ++method)
        for (int kind = 0; kind < kKindCount; ++kind) emptied(method, kind).Records.clear();
    TakeOverMatrix(std::move(emptied), idsOfMainDatabase_);
}

void TMainform::NoteEditOfFileRecord() {
    if (idsOfMainDatabase_ || fileEditNoticeShown_) return;
    fileEditNoticeShown_ = true;
    Prompts().ShowMessage(
        "Изменения рабочего места и высоты у измерений из файла не записываются ни в файл, ни в базу и пропадут "
        "при следующей загрузке. Чтобы сохранить их, сохраните данные в файл (F2).",
        "Информация", MessageIcon::Information);
}

void TMainform::ReportSkippedRows(std::int64_t skipped) {
    if (skipped <= 0) return;
    Prompts().ShowMessage(
        "Не показано записей: " + std::to_string(skipped) + " — их режим или вид измерения программе неизвестен.",
        "Предупреждение", MessageIcon::Warning);
}

// ---- measurement files ------------------------------------------------------------

void TMainform::N4Click() {
    // Files are opened where they are saved: beside the database or where the user last saved.
    const auto fileName = Prompts().OpenFileName("", kDataFileFilter, SaveDirectory());
    if (!fileName) return;
    TMeasureDataP data;
    std::int64_t skipped = 0;
    {
        // Read as the file adapter reads, to learn how many rows the matrix cannot hold.
        CheckFilePath(*fileName);
        TDBDataAdapter reader;
        reader.GetData(*fileName, data);
        skipped = reader.SkippedRows;
    }
    // The file's ids are its own rows: edits stay in memory.
    TakeOverMatrix(std::move(data), false);
    LayOutForNewMatrix();
    SelectNewestData();
    ReportSkippedRows(skipped);
}

void TMainform::N5Click() {
    const auto fileName = AskSaveFileName("", kDataFileFilter, "zorvex", MeasurementFileName(matrix_));
    if (!fileName) return;
    CheckOutputPath(*fileName);  // the main database, a directory or a device first: counting could block
    if (matrix_.IsEmpty()) {
        // Nothing on view would silently empty a file of measurements; a new
        // or empty file is written as asked.
        if (const auto held = MeasurementsInFile(*fileName); held && *held > 0) {
            Prompts().ShowMessage("Нет измерений для сохранения: файл «" + *fileName + "» с измерениями (" +
                                      std::to_string(*held) + ") оставлен как был.",
                                  "Информация", MessageIcon::Warning);
            return;
        }
    }
    // A copy goes to the file: the records on view keep the ids they have, so
    // measurements of the program's database stay editable there after a backup.
    TMeasureDataP saved = matrix_;
    TFileDataAdapter adapter;
    adapter.PutData(saved, *fileName);
}

// ---- export ------------------------------------------------------------------------

std::string TMainform::ExportText() const {
    std::string text;
    for (int row = 0; row < DataGrid->RowCount(); ++row) {
        std::string line;
        for (int col = 0; col < DataGrid->ColCount(); ++col) {
            std::string cell = DataGrid->Cell(col, row).toStdString();
            if (TryStrToFloat(cell)) cell = ReplaceFirst(cell, ".", ",");
            line += cell;
            line += ';';
        }
        if (!line.empty()) line.pop_back();
        text += line;
        text += "\r\n";
    }
    return Utf8ToCp1251(text);
}

void TMainform::N17Click() {
    const auto& list = matrix_(Mode_, Kind_).Records;
    const std::span<const TMeasureRecord> shown =
        ShownCount_ > 0 ? std::span(list).subspan(FirstIndex_, ShownCount_) : std::span<const TMeasureRecord>();
    const auto fileName =
        AskSaveFileName("Экспорт данных мониторинга", kCsvFilter, "csv", TableFileName(Mode_, Kind_, shown));
    if (!fileName) return;
    // Converted before the file is touched, so a failure leaves no half file.
    const std::string bytes = ExportText();
    // Written beside the target and renamed over it once complete: a failed
    // export leaves an existing file as it was. The main database, a
    // directory and a device are refused before anything is written.
    WriteFileReplacing(*fileName, bytes);
    if (Prompts().Confirm("Открыть экспортированный файл?", "Подтверждение")) {
        OpenDocument(*fileName);
    }
}

// ---- the meter ---------------------------------------------------------------------

void TMainform::N19Click() {
    if (!Prompts().Confirm("Удалить все записи измерений из карты памяти?", "Подтверждение")) return;
    ClearMeterMemory();
    // The meter's memory map keeps the monitoring run apart from the single
    // measurements, and only their count is reset.
    Prompts().ShowMessage(
        "Записи однократных измерений удалены из памяти прибора. Данные мониторинга остались в приборе.", "Информация",
        MessageIcon::Information);
}

// ---- dialogs -----------------------------------------------------------------------

void TMainform::N8Click() {
    TPasportForm dialog;
    dialog.OnResetCalibrationDate = [this] { N22Click(); };
    RunModal(dialog);
}

void TMainform::N12Click() {
    TAboutForm dialog;
    RunModal(dialog);
}

void TMainform::N14Click() {
    OpenProtocolEditor(matrix_, idsOfMainDatabase_);
}

void TMainform::N6Click() {
    OpenProtocolList();
}

void TMainform::ReferenceItemClick(int menuIndex) {
    OpenReferenceEditor(menuIndex);
}

// ---- hidden test commands ------------------------------------------------------------

int TMainform::HiddenCommandKey(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_T:
        case 0x0415:  // "Е" sits on the T key of the Russian layout
        case 0x0435:
            return Qt::Key_T;
        case Qt::Key_D:
        case 0x0412:  // "В" on the D key
        case 0x0432:
            return Qt::Key_D;
        default:
            break;
    }
    // A Latin layout names its letters itself; any other layout by the physical key.
    if (event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z) return event.key();
#ifdef Q_OS_WIN
    if (event.nativeVirtualKey() == 'T') return Qt::Key_T;
    if (event.nativeVirtualKey() == 'D') return Qt::Key_D;
#else
    if (QGuiApplication::platformName() == "xcb") {
        if (event.nativeScanCode() == kX11KeyCodeT) return Qt::Key_T;
        if (event.nativeScanCode() == kX11KeyCodeD) return Qt::Key_D;
    }
#endif
    return event.key();
}

bool TMainform::IsHiddenCommand(int key, Qt::KeyboardModifiers shift) {
    if (!shift.testFlag(Qt::ControlModifier) || shift.testFlag(Qt::AltModifier)) return false;
    return key == Qt::Key_T || key == Qt::Key_D;
}

bool TMainform::FormKeyDown(int key, Qt::KeyboardModifiers shift) {
    if (!IsHiddenCommand(key, shift)) return false;
    if (key == Qt::Key_D) {
        RecreateDatabaseCommand();
    } else if (shift.testFlag(Qt::ShiftModifier)) {
        ImageFileCommand();
    } else {
        TestDataCommand();
    }
    return true;
}

void TMainform::StoreLoadedMatrix() {
    if (!SelectNewestData()) LayOutForNewMatrix();
    StoreMeasurements();
    FillDataGrid();
}

void TMainform::TestDataCommand() {
    TMeasureDataP data;
    TTestDataSource source;
    source.GetData("auto", data);
    TakeOverMatrix(std::move(data), false);
    StoreLoadedMatrix();
}

void TMainform::ImageFileCommand() {
    const auto fileName = Prompts().OpenFileName("", "", "");
    // Without a file nothing was loaded; storing the matrix on view again
    // would only duplicate its rows.
    if (!fileName) return;
    TMeasureDataP data;
    TDeviceDataSource source;
    source.ImageFile = *fileName;
    source.GetData("", data);
    TakeOverMatrix(std::move(data), false);
    StoreLoadedMatrix();
}

void TMainform::RecreateDatabaseCommand() {
    if (!Prompts().Confirm("Создать базу данных программы заново? Все данные в ней будут потеряны!", "Подтверждение")) {
        return;
    }
    const std::string path = RecreatedDatabaseFile;
    SetMainDatabase(nullptr);
    std::error_code error;
    std::filesystem::remove(PathFromUtf8(path), error);
    try {
        SetMainDatabase(OpenDatabase(path));
    } catch (const ESQLiteException& failure) {
        ThrowDatabaseFailure("Не удалось открыть базу данных «" + path + "»", failure);
    }
    // Not removed: the old database is open again and everything on view still holds.
    if (error) throw Exception("Не удалось удалить файл «" + path + "»");
    // The records on view were rows of the removed file; their ids would
    // name the new file's rows. The levels and the history are the new file's.
    EmptyMatrix();
    BuildDateTree();
    SetupDataGrid();
    Levels_ = kLevelDefaults;
    LoadLevels(MainDatabase(), Levels_);
    ApplyLevels();
}

}  // namespace zorvex
