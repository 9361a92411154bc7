#include "ui/protocol/ReportForm.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <limits>
#include <utility>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/Prompts.h"
#include "ui/grid/StringGrid.h"
#include "ui/HandlerGuard.h"
#include "ui/ModalRunner.h"
#include "ui/protocol/RefSelectForm.h"

namespace zorvex {

namespace {

constexpr int kWheelStep = 50;
constexpr int kCaptionColumnWidth = 340;
constexpr int kTablesMargin = 12;
constexpr int kMinimumTablesWidth = 860;  // captions are one or two lines wide
constexpr int kCellMargins = 6;           // left and right of a cell's text, and a unit to spare
constexpr const char* kUnit = "uReportForm";
const QColor kContestedColor(255, 243, 196);    // several readings, one shown
const QColor kDroppedHighColor(255, 208, 208);  // a reading at or above the norm not shown

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A line edit keeps at most 32,767 characters unless told otherwise, and
// cuts a longer text silently: a stored text would come back shortened.
void LiftLengthLimit(QLineEdit& edit) {
    edit.setMaxLength(std::numeric_limits<int>::max());
}

// Draws every cell of a result table through the editor's Grid1DrawCell
// (nothing else, so empty cells stay undrawn) and edits only the rows below
// the headings.
class TResultCellDelegate final : public QStyledItemDelegate {
public:
    TResultCellDelegate(TReportForm& form, TStringGrid& grid, int fixedRows)
        : QStyledItemDelegate(&grid), form_(form), grid_(grid), fixedRows_(fixedRows) {}

    void SetFixedRows(int rows) { fixedRows_ = rows; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        TGridDrawState state;
        state.selected = option.state.testFlag(QStyle::State_Selected);
        state.focused = option.state.testFlag(QStyle::State_HasFocus);
        state.fixed = index.row() < fixedRows_;
        painter->save();
        form_.Grid1DrawCell(grid_, *painter, index.column(), index.row(), option.rect, state);
        painter->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
        if (index.row() < fixedRows_) return nullptr;
        auto* editor = new QLineEdit(parent);
        LiftLengthLimit(*editor);
        editor->setFrame(false);
        editor->setAlignment(Qt::AlignHCenter);
        TStringGrid* grid = &grid_;
        const int col = index.column();
        const int row = index.row();
        QObject::connect(editor, &QLineEdit::textEdited, editor,
                         [grid, col, row](const QString& text) { grid->EditCellText(col, row, text); });
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        static_cast<QLineEdit*>(editor)->setText(grid_.Cell(index.column(), index.row()));
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        grid_.SetCell(index.column(), index.row(), static_cast<QLineEdit*>(editor)->text());
    }

private:
    TReportForm& form_;
    TStringGrid& grid_;
    int fixedRows_;
};

QLabel* CaptionLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setFixedWidth(kCaptionColumnWidth);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

TReportForm::TReportForm(TProtocolSession session, QWidget* parent) : QDialog(parent), session_(std::move(session)) {
    setObjectName("ReportForm");
    setWindowTitle("Формирование протокола");
    setSizeGripEnabled(true);
    resize(1080, 760);
    BuildWindow();
    FormCreate();
}

TReportForm::~TReportForm() {
    // The grids outlive this object's members while Qt deletes the children.
    for (TStringGrid* grid : ResultGrids) {
        if (!grid) continue;
        grid->OnSelectCell = nullptr;
        grid->OnSetEditText = nullptr;
        grid->viewport()->removeEventFilter(this);
    }
    if (ContestedGrid) ContestedGrid->viewport()->removeEventFilter(this);
}

// ---- window -----------------------------------------------------------------

void TReportForm::BuildWindow() {
    auto* heading = new QFrame(this);
    heading->setObjectName("Panel1");
    heading->setAutoFillBackground(true);
    QPalette white = heading->palette();
    white.setColor(QPalette::Window, Qt::white);
    heading->setPalette(white);
    auto* picture = new QLabel(heading);
    picture->setObjectName("Image1");
    picture->setPixmap(style()->standardIcon(QStyle::SP_FileIcon).pixmap(48, 48));
    auto* title = new QLabel("Ввод данных для формирования протокола", heading);
    title->setObjectName("Label1");
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* hint = new QLabel(
        "Заполните поля для заполнения протокола. Сформированные отчёты в дальнейшем доступны из меню Протоколы - "
        "Список протоколов",
        heading);
    hint->setObjectName("Label2");
    hint->setWordWrap(true);
    CalibrationLabel = new QLabel(heading);
    CalibrationLabel->setObjectName("CalibrationLabel");
    CalibrationLabel->setWordWrap(true);
    CalibrationLabel->setTextFormat(Qt::PlainText);
    ShowCalibration();
    auto* headingText = new QVBoxLayout;
    headingText->addWidget(title);
    headingText->addWidget(hint);
    headingText->addWidget(CalibrationLabel);
    auto* headingLayout = new QHBoxLayout(heading);
    headingLayout->addWidget(picture, 0, Qt::AlignTop);
    headingLayout->addLayout(headingText, 1);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setWidgetResizable(true);
    ScrollBox1->setBackgroundRole(QPalette::Base);
    auto* content = new QWidget;
    content->setObjectName("ScrollContent");
    content->setAutoFillBackground(true);
    content->setBackgroundRole(QPalette::Base);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->addWidget(BuildFieldsPanel());

    OmittedLabel = new QLabel(content);
    OmittedLabel->setObjectName("OmittedLabel");
    OmittedLabel->setWordWrap(true);
    OmittedLabel->setTextFormat(Qt::PlainText);
    OmittedLabel->hide();
    contentLayout->addWidget(OmittedLabel);
    ContestedLabel = new QLabel(content);
    ContestedLabel->setObjectName("ContestedLabel");
    ContestedLabel->setWordWrap(true);
    ContestedLabel->setTextFormat(Qt::PlainText);
    ContestedLabel->hide();
    contentLayout->addWidget(ContestedLabel);
    ContestedGrid = new QTableWidget(content);
    ContestedGrid->setObjectName("ContestedGrid");
    ContestedGrid->setColumnCount(8);
    ContestedGrid->setHorizontalHeaderLabels(
        {"Величина", "№ РМ", "Высота, м", "Норма", "Значение", "Вид измерения", "Время", "В таблице"});
    ContestedGrid->verticalHeader()->hide();
    ContestedGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ContestedGrid->setSelectionMode(QAbstractItemView::NoSelection);
    ContestedGrid->setWordWrap(true);
    ContestedGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ContestedGrid->viewport()->installEventFilter(this);
    ContestedGrid->hide();
    contentLayout->addWidget(ContestedGrid);

    tablesPanel_ = new QWidget(content);
    tablesPanel_->setObjectName("TablesPanel");
    for (int number = 1; number <= kResultTableCount; ++number) {
        auto* label = new QLabel(tablesPanel_);
        label->setObjectName(QString("GridLabel%1").arg(number));
        label->setWordWrap(true);
        label->setProperty("tag", number == 1 ? 1 : number == 10 ? 2 : number + 1);
        auto* grid = new TStringGrid(tablesPanel_);
        grid->setObjectName(QString("Grid%1").arg(number));
        grid->setProperty("tag", label->property("tag"));
    }
    contentLayout->addWidget(tablesPanel_);

    auto* conclusion = new QWidget(content);
    conclusion->setObjectName("Panel3");
    auto* conclusionLayout = new QVBoxLayout(conclusion);
    conclusionLayout->setContentsMargins(0, 0, 0, 0);
    auto* conclusionCaption = new QLabel("Заключение", conclusion);
    conclusionCaption->setObjectName("Label11");
    conclusionCaption->setFont(bold);
    Memo11 = new QPlainTextEdit(conclusion);
    Memo11->setObjectName("Memo11");
    Memo11->setPlainText(ToQ(kDefaultConclusion).replace("\r\n", "\n"));
    Memo11->setMinimumHeight(8 * fontMetrics().lineSpacing());
    conclusionLayout->addWidget(conclusionCaption);
    conclusionLayout->addWidget(Memo11);
    contentLayout->addWidget(conclusion);
    contentLayout->addStretch(1);
    ScrollBox1->setWidget(content);

    BitBtn1 = new QPushButton("Сформировать", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn2 = new QPushButton("Отмена", this);
    BitBtn2->setObjectName("BitBtn2");
    for (QPushButton* button : {BitBtn1, BitBtn2}) button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(heading);
    layout->addWidget(ScrollBox1, 1);
    auto* buttonsMargin = new QHBoxLayout;
    buttonsMargin->setContentsMargins(8, 0, 8, 0);
    buttonsMargin->addLayout(buttons);
    layout->addLayout(buttonsMargin);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });

    installEventFilter(this);
    ScrollBox1->viewport()->installEventFilter(this);
}

QWidget* TReportForm::BuildFieldsPanel() {
    auto* panel = new QWidget;
    panel->setObjectName("Panel2");
    auto* grid = new QGridLayout(panel);
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(8);

    using Handler = void (TReportForm::*)();
    const std::map<std::string_view, Handler> buttonHandlers = {
        {"SpeedButton1", &TReportForm::SpeedButton1Click}, {"SpeedButton2", &TReportForm::SpeedButton2Click},
        {"SpeedButton3", &TReportForm::SpeedButton3Click}, {"SpeedButton4", &TReportForm::SpeedButton4Click},
        {"SpeedButton5", &TReportForm::SpeedButton5Click}, {"SpeedButton6", &TReportForm::SpeedButton6Click},
        {"SpeedButton7", &TReportForm::SpeedButton7Click}, {"SpeedButton8", &TReportForm::SpeedButton8Click}};

    int row = 0;
    for (const TProtocolFieldDef& def : kProtocolFieldDefs) {
        const QString name = ToQ(def.control);
        if (def.control == "Memo11") continue;  // in the conclusion panel below the tables
        if (def.control == "ComboBoxEx9") {
            auto* line = new QFrame(panel);
            line->setObjectName("Bevel1");
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            grid->addWidget(line, row++, 0, 1, 3);
        }
        QLabel* caption = CaptionLabel(ToQ(def.caption), panel);
        caption->setObjectName(name + "Caption");
        QWidget* field = nullptr;
        if (def.control == kDateControl) {
            DateTimePicker1 = new QDateEdit(panel);
            DateTimePicker1->setCalendarPopup(true);
            DateTimePicker1->setDisplayFormat("dd.MM.yyyy");
            field = DateTimePicker1;
            DateSpanLabel = new QLabel(panel);
            DateSpanLabel->setObjectName("DateSpanLabel");
            DateSpanLabel->setTextFormat(Qt::PlainText);
            DateSpanLabel->hide();
            grid->addWidget(DateSpanLabel, row + 1, 1);
        } else if (def.control.starts_with("Memo")) {
            auto* memo = new QPlainTextEdit(panel);
            memo->setFixedHeight(4 * fontMetrics().lineSpacing() + 12);
            memo->viewport()->installEventFilter(this);
            field = memo;
        } else if (def.control.starts_with("ComboBoxEx")) {
            auto* combo = new QComboBox(panel);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            LiftLengthLimit(*combo->lineEdit());
            field = combo;
        } else {
            auto* edit = new QLineEdit(panel);
            LiftLengthLimit(*edit);
            edit->installEventFilter(this);
            field = edit;
        }
        field->setObjectName(name);
        if (def.control == "Edit0") {
            QFont bold = caption->font();
            bold.setBold(true);
            caption->setFont(bold);
            caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            field->setMaximumWidth(200);
            grid->addWidget(caption, row, 0, Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(field, row, 1, Qt::AlignLeft);
        } else {
            grid->addWidget(caption, row, 0);
            grid->addWidget(field, row, 1);
        }
        if (!def.pickerButton.empty()) {
            auto* button = new QToolButton(panel);
            button->setObjectName(ToQ(def.pickerButton));
            button->setText("...");
            const Handler handler = buttonHandlers.at(def.pickerButton);
            connect(button, &QToolButton::clicked, this,
                    [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
            SpeedButtons.emplace(std::string(def.pickerButton), button);
            grid->addWidget(button, row, 2, Qt::AlignTop);
        }
        row += def.control == kDateControl ? 2 : 1;
    }
    return panel;
}

void TReportForm::ShowCalibration() {
    QStringList lines;
    bool expired = false;
    for (const TMeterCalibration& calibration : session_.Calibrations) {
        lines << ToQ(CalibrationStateText(calibration));
        expired = expired || calibration.Expired();
    }
    CalibrationLabel->setText(lines.join('\n'));
    CalibrationLabel->setVisible(!lines.isEmpty());
    if (expired) {
        QPalette palette = CalibrationLabel->palette();
        palette.setColor(QPalette::WindowText, QColor(170, 0, 0));
        CalibrationLabel->setPalette(palette);
    }
}

void TReportForm::FormCreate() {
    Edit0 = findChild<QLineEdit*>("Edit0");
    Edit1 = findChild<QLineEdit*>("Edit1");
    Edit2 = findChild<QLineEdit*>("Edit2");
    Edit3 = findChild<QLineEdit*>("Edit3");
    Edit4 = findChild<QLineEdit*>("Edit4");
    Edit8 = findChild<QLineEdit*>("Edit8");
    Memo5 = findChild<QPlainTextEdit*>("Memo5");
    Memo6 = findChild<QPlainTextEdit*>("Memo6");
    Memo7 = findChild<QPlainTextEdit*>("Memo7");
    ComboBoxEx9 = findChild<QComboBox*>("ComboBoxEx9");
    ComboBoxEx10 = findChild<QComboBox*>("ComboBoxEx10");
    for (const TProtocolFieldDef& def : kProtocolFieldDefs) {
        if (def.number < 0) continue;
        QWidget* field = findChild<QWidget*>(ToQ(def.control));
        Assert(field != nullptr, kUnit);
        fields_.emplace(std::string(def.control), field);
    }

    // The result tables in their order numbers (tags): Grid1, Grid10, Grid2 .. Grid9.
    for (int number = 1; number <= kResultTableCount; ++number) {
        auto* grid = findChild<TStringGrid*>(QString("Grid%1").arg(number));
        auto* label = findChild<QLabel*>(QString("GridLabel%1").arg(number));
        Assert(grid != nullptr && label != nullptr, kUnit);
        const int index = grid->property("tag").toInt() - 1;
        Assert(index >= 0 && index < kResultTableCount && !ResultGrids[index], kUnit);
        ResultGrids[index] = grid;
        GridCaptions[index] = label;
    }
    for (int index = 0; index < kResultTableCount; ++index) {
        TStringGrid& grid = *ResultGrids[index];
        Assert(grid.objectName().toStdString() == session_.Tables[index].gridName, kUnit);
        grid.setItemDelegate(new TResultCellDelegate(*this, grid, session_.Tables[index].fixedRows));
        grid.SetEditingEnabled(true);
        grid.SetFixedColor(Qt::white);
        grid.setFrameShape(QFrame::Box);
        grid.setFrameShadow(QFrame::Plain);
        grid.setLineWidth(1);
        grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid.setWordWrap(true);
        grid.viewport()->installEventFilter(this);
        TStringGrid* target = &grid;
        grid.OnSelectCell = [this, target](int col, int row) { Grid1SelectCell(*target, col, row); };
        // A value typed into a contested cell changes what the list shows as held.
        grid.OnSetEditText = [this, index](int col, int row, const QString&) {
            if (marks_.contains({index, col, row})) RefreshContested();
        };
    }
    // A wheel turned over a combo or the date while scrolling past them must
    // not change the signatory or the date.
    for (QWidget* field : std::initializer_list<QWidget*>{ComboBoxEx9, ComboBoxEx10, DateTimePicker1})
        field->installEventFilter(this);
    // A new protocol is dated by its measurements, not by the day it is written.
    const std::optional<TDaySpan> days = MeasurementDays(session_.Measurements);
    SetDate(days ? days->first : DateOf(Now()));
    const std::string daysNote = MeasurementDaysNote(session_.Measurements);
    DateSpanLabel->setText(ToQ(daysNote));
    DateSpanLabel->setVisible(!daysNote.empty());
    LayOutTables();
}

void TReportForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window restored from minimised is not prepared again: that would
    // rebuild the tables over what the user typed.
    if (!event->spontaneous()) FormShow();
}

void TReportForm::FormShow() {
    // A failing step ends the preparation; what was done stays and the window opens.
    RunHandler([this] { PrepareEditor(session_, *this); });
    LayOutTables();
    ShowReadingNotes();
}

// ---- fields -----------------------------------------------------------------

std::optional<std::string> TReportForm::FieldText(const std::string& control) const {
    const auto it = fields_.find(control);
    if (it == fields_.end()) return std::nullopt;
    QWidget* field = it->second;
    if (auto* edit = qobject_cast<QLineEdit*>(field)) return edit->text().toStdString();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(field)) {
        // The raw text keeps non-breaking spaces (the plain text turns them
        // into spaces); its line separators become CR LF.
        QString text = memo->document()->toRawText();
        text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
        text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
        return text.toStdString();
    }
    if (auto* combo = qobject_cast<QComboBox*>(field)) return combo->currentText().toStdString();
    return std::nullopt;
}

bool TReportForm::SetFieldText(const std::string& control, const std::string& text) {
    const auto it = fields_.find(control);
    if (it == fields_.end()) return false;
    QWidget* field = it->second;
    const QString value = QString::fromStdString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->setText(value);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(field)) {
        QString lines = value;
        memo->setPlainText(lines.replace("\r\n", "\n"));
    } else if (auto* combo = qobject_cast<QComboBox*>(field)) {
        combo->setEditText(value);
    } else {
        return false;
    }
    return true;
}

void TReportForm::SetHistoryItems(const std::string& control, const std::vector<std::string>& items) {
    const auto it = fields_.find(control);
    auto* combo = it == fields_.end() ? nullptr : qobject_cast<QComboBox*>(it->second);
    if (!combo) return;
    // Replacing the list must not put its first item into the field.
    const QString text = combo->currentText();
    combo->clear();
    for (const std::string& item : items) combo->addItem(QString::fromStdString(item));
    combo->setEditText(text);
}

TDateTime TReportForm::Date() const {
    const QDate date = DateTimePicker1->date();
    return EncodeDate(date.year(), date.month(), date.day());
}

void TReportForm::SetDate(TDateTime date) {
    const DateParts parts = DecodeDate(date);
    DateTimePicker1->setDate(QDate(parts.year, parts.month, parts.day));
}

// ---- pickers ----------------------------------------------------------------

std::optional<std::string> TReportForm::PickReference(const std::string& table, bool several) {
    TRefSelectForm picker(this);
    picker.TableName = QString::fromStdString(table);
    picker.MultiSelect = several;
    if (RunModal(picker) != QDialog::Accepted) return std::nullopt;
    return picker.ResultText;
}

void TReportForm::PickInto(const std::string& control) {
    const TProtocolFieldDef* def = FindFieldDef(control);
    Assert(def != nullptr && !def->pickerTable.empty(), kUnit);
    // The picked text replaces the field's text; a cancelled picker leaves it.
    if (const auto picked = PickReference(std::string(def->pickerTable), def->multiSelect))
        SetFieldText(control, *picked);
}

void TReportForm::SpeedButton1Click() {
    PickInto("Edit1");
}
void TReportForm::SpeedButton5Click() {
    PickInto("Edit2");
}
void TReportForm::SpeedButton6Click() {
    PickInto("Edit3");
}
void TReportForm::SpeedButton4Click() {
    PickInto("Edit4");
}
void TReportForm::SpeedButton2Click() {
    PickInto("Memo5");
}
void TReportForm::SpeedButton3Click() {
    PickInto("Memo6");
}
void TReportForm::SpeedButton8Click() {
    PickInto("Memo7");
}
void TReportForm::SpeedButton7Click() {
    PickInto("Edit8");
}

void TReportForm::Memo5DblClick() {
    SpeedButtons.at("SpeedButton2")->click();
}
void TReportForm::Memo6DblClick() {
    SpeedButtons.at("SpeedButton3")->click();
}
void TReportForm::Memo7DblClick() {
    SpeedButtons.at("SpeedButton8")->click();
}

// ---- events -----------------------------------------------------------------

bool TReportForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        // The whole area scrolls, never a single table.
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int delta = wheel->angleDelta().y();
        if (delta < 0) Grid1MouseWheelDown();
        if (delta > 0) Grid1MouseWheelUp();
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == Memo5->viewport())
            Memo5DblClick();
        else if (watched == Memo6->viewport())
            Memo6DblClick();
        else if (watched == Memo7->viewport())
            Memo7DblClick();
        else if (const TProtocolFieldDef* def = FindFieldDef(watched->objectName().toStdString());
                 def && !def->pickerButton.empty() && qobject_cast<QLineEdit*>(watched)) {
            // A one-line field runs its button's handler directly.
            RunHandler([this, def] { PickInto(std::string(def->control)); });
        } else {
            return QDialog::eventFilter(watched, event);
        }
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        // The heading rows of a result table are not cells to select.
        for (int index = 0; index < kResultTableCount; ++index) {
            TStringGrid* grid = ResultGrids[index];
            if (!grid || watched != grid->viewport()) continue;
            const int row = grid->rowAt(static_cast<QMouseEvent*>(event)->position().toPoint().y());
            if (row >= 0 && row < session_.Tables[index].fixedRows) return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TReportForm::Grid1MouseWheelDown() {
    QScrollBar* bar = ScrollBox1->verticalScrollBar();
    bar->setValue(bar->value() + kWheelStep);
}

void TReportForm::Grid1MouseWheelUp() {
    QScrollBar* bar = ScrollBox1->verticalScrollBar();
    bar->setValue(bar->value() - kWheelStep);
}

// ---- result tables ----------------------------------------------------------

int TReportForm::TableIndexOf(const TStringGrid& grid) const {
    for (int index = 0; index < kResultTableCount; ++index)
        if (ResultGrids[index] == &grid) return index;
    return -1;
}

void TReportForm::Grid1DrawCell(TStringGrid& grid, QPainter& canvas, int col, int row, const QRect& rect,
                                const TGridDrawState& state) {
    const QString text = grid.Cell(col, row);
    if (text.isEmpty()) return;  // not even filled
    QRect area = rect;
    if (row == 0) {
        // A heading reaches over the empty heading cells after it: the view
        // spans them (set from HeadingSpan), so `rect` already covers them.
        canvas.fillRect(QRect(area.left(), area.top(), area.width(), 2), Qt::black);
        area.setTop(area.top() + 2);
    }
    const QPalette& palette = grid.palette();
    const auto mark = marks_.find({TableIndexOf(grid), col, row});
    if (state.selected) {
        canvas.fillRect(area, palette.highlight());
        canvas.setPen(palette.highlightedText().color());
    } else if (mark != marks_.end()) {
        canvas.fillRect(area, mark->second == TCellMark::DropsAtOrAboveNorm ? kDroppedHighColor : kContestedColor);
        canvas.setPen(palette.text().color());
    } else {
        canvas.fillRect(area, state.fixed ? grid.FixedColor() : palette.base().color());
        canvas.setPen(palette.text().color());
    }
    area.adjust(2, 5, -2, -2);
    canvas.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
}

void TReportForm::Grid1SelectCell(TStringGrid& grid, int col, int row) {
    const int index = TableIndexOf(grid);
    if (index < 0) return;
    TResultTable& table = session_.Tables[index];
    if (row < table.fixedRows) {
        // Keys moved onto a heading: back to the first row below the headings.
        QTimer::singleShot(0, &grid, [&grid, col, fixed = table.fixedRows] { grid.SetCurrentCell(col, fixed); });
        return;
    }
    if (col < 0 || col >= table.colCount || row >= table.rowCount) return;
    // The rule looks at what the cell holds now: the window's copy of the
    // tables is brought up to date only by "Сформировать", and a value the
    // user erased must not come back from it.
    if (grid.Cell(col, row).isEmpty()) {
        table.Cell(col, row).clear();
        table.VisitCell(col, row);
        grid.SetCell(col, row, QString::fromStdString(table.Cell(col, row)));
    }
    if (table.editorAlwaysOpen) {
        QTimer::singleShot(0, &grid, [&grid] {
            if (grid.currentIndex().isValid()) grid.edit(grid.currentIndex());
        });
    }
}

void TReportForm::ShowTable(int index) {
    const TResultTable& table = session_.Tables[index];
    TStringGrid& grid = *ResultGrids[index];
    QLabel& caption = *GridCaptions[index];

    // The heading rows are ordinary rows of the view (painted and spanned by
    // this window); the delegate keeps them from being edited.
    grid.clearSpans();
    grid.ClearCells();
    grid.SetFixedRows(0);
    grid.SetColCount(table.colCount);
    grid.SetRowCount(table.rowCount);
    static_cast<TResultCellDelegate*>(grid.itemDelegate())->SetFixedRows(table.fixedRows);
    for (int row = 0; row < table.rowCount; ++row)
        for (int col = 0; col < table.colCount; ++col)
            if (!table.Cell(col, row).empty()) grid.SetCell(col, row, QString::fromStdString(table.Cell(col, row)));

    int width = 2 * grid.frameWidth();
    for (int col = 0; col < table.colCount; ++col) {
        const int stated = table.colWidths[static_cast<std::size_t>(col)];
        int w = stated == kMeasureSampleWidth ? grid.fontMetrics().horizontalAdvance(ToQ(kNumberColumnSample)) : stated;
        // A heading word wider than its column would be cut: the desktop font
        // may be wider than the one the stated widths were made for.
        for (int row = 0; row < table.fixedRows; ++row) {
            if (row == 0 && table.HeadingSpan(col) > 1) continue;
            const QStringList words = QString::fromStdString(table.Cell(col, row)).split(' ', Qt::SkipEmptyParts);
            for (const QString& word : words)
                w = std::max(w, grid.fontMetrics().horizontalAdvance(word) + kCellMargins);
        }
        grid.SetColWidth(col, w);
        width += w;
    }
    for (int col = 0; col < table.colCount; ++col) {
        if (table.Cell(col, 0).empty()) continue;
        const int span = table.HeadingSpan(col);
        if (span > 1) grid.setSpan(0, col, 1, span);
    }

    // Rows as the table states them, one more unit for each line between
    // rows. The grid is as high as the fitted height that places the tables,
    // or less where its rows need less (a short row, as in the background
    // magnetic table): the last row takes what is left, the gap what is over.
    int natural = 2 * grid.frameWidth();
    for (int row = 0; row < table.rowCount; ++row)
        natural += table.rowHeights[static_cast<std::size_t>(row)] + (row > 0 ? 1 : 0);
    const int height = std::min(table.FittedHeight(), natural);
    int used = 2 * grid.frameWidth();
    for (int row = 0; row + 1 < table.rowCount; ++row) {
        const int h = table.rowHeights[static_cast<std::size_t>(row)] + (row > 0 ? 1 : 0);
        grid.setRowHeight(row, h);
        used += h;
    }
    if (table.rowCount > 0) grid.setRowHeight(table.rowCount - 1, std::max(height - used, 1));
    grid.setFixedSize(width, height);

    caption.setText(QString::fromStdString(table.caption));
    grid.setVisible(table.visible);
    caption.setVisible(table.visible);
}

void TReportForm::LayOutTables() {
    int panelWidth = 0;
    for (int index = 0; index < kResultTableCount; ++index) {
        ShowTable(index);
        if (session_.Tables[index].visible) panelWidth = std::max(panelWidth, ResultGrids[index]->width());
    }
    panelWidth = std::max(panelWidth, kMinimumTablesWidth);

    int captionHeight = 0;
    for (QLabel* caption : GridCaptions) {
        caption->setFixedWidth(panelWidth);
        captionHeight = std::max(captionHeight, caption->heightForWidth(panelWidth));
    }
    const std::vector<int> tops = zorvex::LayOutTables(session_.Tables, captionHeight + kCaptionOffset + kTablesMargin);
    // The gap between two tables holds a one-line caption; a caption that
    // wraps moves its table and those below it down by the extra lines, so it
    // never covers the table above.
    const int captionRoom = kTableGap - kCaptionOffset - kTablesMargin;
    int shift = 0;
    int bottom = 0;
    for (int index = 0; index < kResultTableCount; ++index) {
        TStringGrid& grid = *ResultGrids[index];
        QLabel& caption = *GridCaptions[index];
        const int h = caption.heightForWidth(panelWidth);
        if (index > 0 && session_.Tables[index].visible) shift += std::max(0, h - captionRoom);
        const int top = tops[static_cast<std::size_t>(index)] + shift;
        grid.move(kTablesMargin, top);
        // The caption ends just above its table.
        caption.setGeometry(kTablesMargin, top - kCaptionOffset - h, panelWidth, h);
        if (session_.Tables[index].visible) bottom = std::max(bottom, top + grid.height());
    }
    tablesPanel_->setMinimumSize(panelWidth + 2 * kTablesMargin, bottom + kTablesMargin);
    tablesPanel_->updateGeometry();
    ScrollBox1->widget()->layout()->activate();
    ScrollBox1->widget()->update();
}

void TReportForm::ReadTablesFromGrids() {
    for (int index = 0; index < kResultTableCount; ++index) {
        TResultTable& table = session_.Tables[index];
        const TStringGrid& grid = *ResultGrids[index];
        if (grid.ColCount() != table.colCount || grid.RowCount() != table.rowCount) continue;
        for (int row = 0; row < table.rowCount; ++row)
            for (int col = 0; col < table.colCount; ++col) table.Cell(col, row) = grid.Cell(col, row).toStdString();
    }
}

// ---- commands ---------------------------------------------------------------

report::ProtocolReportData TReportForm::DocumentData() const {
    report::ProtocolReportData data;
    for (const TProtocolFieldDef& def : kProtocolFieldDefs) {
        if (def.number >= 0) data.fields[std::string(def.control)] = FieldText(std::string(def.control)).value_or("");
    }
    data.fields[std::string(kDateControl)] = DateToStr(Date());
    for (int index = 0; index < kResultTableCount; ++index) {
        const TResultTable& table = session_.Tables[index];
        report::ResultTableCells& cells = data.tables[static_cast<std::size_t>(index)];
        for (int row = 0; row < table.rowCount; ++row) {
            std::vector<std::string> line;
            for (int col = 0; col < table.colCount; ++col) line.push_back(table.Cell(col, row));
            cells.push_back(std::move(line));
        }
    }
    return data;
}

void TReportForm::BitBtn1Click() {
    ReadTablesFromGrids();
    // A reading at or above the norm that the tables do not show is never
    // dropped without the user knowing.
    const std::string question = HiddenExceedanceQuestion(contested_, session_.Tables);
    if (!question.empty()) {
        if (!Prompts().Confirm(question, "Подтверждение")) return;
        AcceptHiddenExceedances(contested_, session_.Tables);
    }
    if (FormProtocol(session_, *this) == TFormOutcome::NotStored) return;
    ReportGridIndex = 0;
    const report::ProtocolReportData data = DocumentData();
    if (OnShowDocument) {
        OnShowDocument(data);
    } else {
        ShowProtocolDocument(data, this);
    }
    BitBtn2->setText("Закрыть");
}

void TReportForm::BitBtn2Click() {
    reject();
}

void ShowProtocolDocument(const report::ProtocolReportData& data, QWidget* parent) {
    report::ShowProtocolPreview(data, parent);
}

}  // namespace zorvex
