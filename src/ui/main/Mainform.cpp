#include "ui/main/Mainform.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "base/DataLocations.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "base/Prompts.h"
#include "base/RunSettings.h"
#include "base/SaveLocation.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/DownloadStore.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/TimeIndex.h"
#include "storage/Utilities.h"
#include "ui/HandlerGuard.h"
#include "ui/MaxLevelsForm.h"
#include "ui/ModalRunner.h"
#include "ui/graph/MonitoringGraph.h"
#include "ui/grid/StringGrid.h"
#include "ui/help/Help.h"

namespace zorvex {

namespace {

// Tab captions before the first fill; the runtime captions lack the space in "50 Гц".
const char* const kResourceTabCaptions[kKindCount] = {"50 Гц", "СВТ - Магнитное поле", "СВТ - Электрическое поле",
                                                      "Магнитное поле", "Электрическое поле"};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TMainform::TMainform(const std::string& databaseFile, QWidget* parent) : QMainWindow(parent) {
    setObjectName("Mainform");
    // The file the window works on, resolved before opening it moves the
    // working directory: Ctrl+D recreates this one and no other.
    RecreatedDatabaseFile = Utf8FromPath(std::filesystem::absolute(PathFromUtf8(databaseFile)));
    BuildWindow();
    BuildMenus();
    // The built-in levels hold until the stored ones are loaded, and stay
    // when loading fails.
    RunHandler([&] { ApplyLevels(); });
    RunHandler([&] { FormCreate(databaseFile); });
    qApp->installEventFilter(this);
    InstallHelpKey();  // F1 in every window, the modal dialogs included
}

TMainform::~TMainform() {
    qApp->removeEventFilter(this);
}

void TMainform::MarkDemonstrationMeter() {
    setWindowTitle(QStringLiteral("Zorvex — демонстрационный прибор"));
}

// ---- building the window ---------------------------------------------------

void TMainform::BuildWindow() {
    setWindowTitle("Zorvex");
    resize(965, 632);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(64);
    ToolBar1->setIconSize(QSize(48, 48));
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    const auto makeToolButton = [this](const char* name, const QString& caption, QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(name);
        button->setText(caption);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setCheckable(true);
        button->setFixedHeight(54);
        button->setMinimumWidth(210);
        button->setAutoRaise(true);
        return button;
    };
    ManualBtn = makeToolButton("ManualBtn", " Однократные измерения ", QStyle::SP_FileDialogDetailedView);
    AutoBtn = makeToolButton("AutoBtn", "Данные мониторинга", QStyle::SP_FileDialogContentsView);
    HistoryBtn = makeToolButton("HistoryBtn", "История измерений", QStyle::SP_FileDialogListView);
    ManualBtn->setAutoExclusive(true);
    AutoBtn->setAutoExclusive(true);
    ManualBtn->setChecked(true);
    ToolBar1->addWidget(ManualBtn);
    ToolBar1->addWidget(AutoBtn);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(HistoryBtn);
    connect(ManualBtn, &QToolButton::clicked, this, [this] { RunHandler([this] { AutoBtnClick(); }); });
    connect(AutoBtn, &QToolButton::clicked, this, [this] { RunHandler([this] { AutoBtnClick(); }); });
    connect(HistoryBtn, &QToolButton::clicked, this, [this] { RunHandler([this] { HistoryBtnClick(); }); });

    auto* central = new QWidget(this);
    central->setObjectName("ClientArea");
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 4);
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    outer->addLayout(row, 1);

    // history panel
    HistoryPnl = new QWidget(central);
    HistoryPnl->setObjectName("HistoryPnl");
    HistoryPnl->setFixedWidth(169);
    auto* historyLayout = new QVBoxLayout(HistoryPnl);
    historyLayout->setContentsMargins(0, 0, 0, 0);
    Label5 = new QLabel("Дата", HistoryPnl);
    Label5->setObjectName("Label5");
    QFont bold = Label5->font();
    bold.setBold(true);
    Label5->setFont(bold);
    DateTree = new QTreeWidget(HistoryPnl);
    DateTree->setObjectName("DateTree");
    DateTree->setHeaderHidden(true);
    DateTree->setIndentation(19);
    DateTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    historyLayout->addWidget(Label5);
    historyLayout->addWidget(DateTree, 1);
    HistoryPnl->hide();
    row->addWidget(HistoryPnl);
    connect(DateTree, &QTreeWidget::itemClicked, this, [this] { RunHandler([this] { DateTreeClick(); }); });
    // The tree opens a node when it is selected.
    connect(DateTree, &QTreeWidget::currentItemChanged, this, [](QTreeWidgetItem* current, QTreeWidgetItem*) {
        if (current != nullptr) current->setExpanded(true);
    });

    // data panel
    Panel1 = new QWidget(central);
    Panel1->setObjectName("Panel1");
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(2);
    auto* title = new QLabel("Данные измерений", Panel1);
    title->setObjectName("Label6");
    title->setFont(bold);
    panelLayout->addWidget(title);
    TabControl1 = new QTabBar(Panel1);
    TabControl1->setObjectName("TabControl1");
    TabControl1->setExpanding(false);
    TabControl1->setDrawBase(true);
    for (const char* caption : kResourceTabCaptions) TabControl1->addTab(caption);
    panelLayout->addWidget(TabControl1);
    connect(TabControl1, &QTabBar::currentChanged, this, [this](int) { RunHandler([this] { TabControl1Change(); }); });

    auto* page = new QFrame(Panel1);
    page->setObjectName("TabSheet");
    page->setFrameShape(QFrame::StyledPanel);
    auto* pageLayout = new QHBoxLayout(page);
    pageLayout->setContentsMargins(4, 4, 4, 4);
    panelLayout->addWidget(page, 1);

    GroupBox1 = new QGroupBox("Показатели", page);
    GroupBox1->setObjectName("GroupBox1");
    auto* groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->setContentsMargins(4, 4, 4, 4);
    MonComboBox = new QComboBox(GroupBox1);
    MonComboBox->setObjectName("MonComboBox");
    MonComboBox->hide();
    groupLayout->addWidget(MonComboBox);
    connect(MonComboBox, &QComboBox::currentIndexChanged, this,
            [this](int) { RunHandler([this] { MonComboBoxChange(); }); });
    DataGrid = new TStringGrid(GroupBox1);
    DataGrid->setObjectName("DataGrid");
    DataGrid->SetColCount(7);
    DataGrid->SetRowCount(3);
    DataGrid->SetFixedRows(2);
    groupLayout->addWidget(DataGrid, 1);
    DataGrid->OnDrawCell = [this](QPainter& canvas, int col, int r, const QRect& rect, const TGridDrawState& state) {
        RunHandler([&] { DataGridDrawCell(canvas, col, r, rect, state); });
    };
    DataGrid->OnSelectCell = [this](int col, int r) { RunHandler([&] { DataGridSelectCell(col, r); }); };
    DataGrid->OnSetEditText = [this](int col, int r, const QString& text) {
        RunHandler([&] { DataGridSetEditText(col, r, text); });
    };
    DataGrid->OnEditCell = [this](int col, int r) {
        bool ownEditor = false;
        RunHandler([&] { ownEditor = DataGridEditCell(col, r); });
        return ownEditor;
    };
    BandLabel = new QLabel("Полоса: ", GroupBox1);
    BandLabel->setObjectName("BandLabel");
    BandLabel->hide();
    groupLayout->addWidget(BandLabel);
    LimPnl = new QWidget(GroupBox1);
    LimPnl->setObjectName("LimPnl");
    auto* limLayout = new QVBoxLayout(LimPnl);
    limLayout->setContentsMargins(0, 4, 0, 0);
    limLayout->setSpacing(2);
    Label8 = new QLabel("Допустимый уровень", LimPnl);
    Label8->setObjectName("Label8");
    LimGrid = new TStringGrid(LimPnl);
    LimGrid->setObjectName("LimGrid");
    LimGrid->setFocusPolicy(Qt::NoFocus);
    LimGrid->setSelectionMode(QAbstractItemView::NoSelection);
    LimGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LimGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LimGrid->SetColCount(7);
    LimGrid->SetRowCount(3);
    LimGrid->SetFixedRows(2);
    LimGrid->OnDrawCell = [this](QPainter& canvas, int col, int r, const QRect& rect, const TGridDrawState& state) {
        RunHandler([&] { LimGridDrawCell(canvas, col, r, rect, state); });
    };
    LimGrid->OnSelectCell = [this](int col, int r) { RunHandler([&] { LimGridSelectCell(col, r); }); };
    LimGrid->OnSetEditText = [this](int col, int r, const QString& text) {
        RunHandler([&] { LimGridSetEditText(col, r, text); });
    };
    limLayout->addWidget(Label8);
    limLayout->addWidget(LimGrid);
    groupLayout->addWidget(LimPnl);
    // The height list belongs to one cell; it goes when the rows move away.
    connect(DataGrid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { HideHeightCombo(); });
    // The level row keeps in step with the table's horizontal scroll.
    connect(DataGrid->horizontalScrollBar(), &QScrollBar::valueChanged, LimGrid->horizontalScrollBar(),
            &QScrollBar::setValue);

    MHeightCBox = new QComboBox(GroupBox1);
    MHeightCBox->setObjectName("MHeightCBox");
    MHeightCBox->hide();
    MHeightCBox->installEventFilter(this);
    connect(MHeightCBox, &QComboBox::activated, this, [this](int) { RunHandler([this] { MHeightCBoxChange(); }); });

    GroupBox2 = new QGroupBox("График", page);
    GroupBox2->setObjectName("GroupBox2");
    auto* graphLayout = new QVBoxLayout(GroupBox2);
    Graph = new QLabel(GroupBox2);
    Graph->setObjectName("Graph");
    Graph->setCursor(Qt::PointingHandCursor);
    Graph->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    Graph->setMinimumSize(1, 1);
    Graph->setMouseTracking(true);
    graphLayout->addWidget(Graph, 1);
    auto* legend = new QHBoxLayout;
    const QColor swatchColours[4] = {QColor(0, 0, 255), QColor(0, 128, 0), QColor(0, 128, 128), QColor(128, 0, 128)};
    for (int j = 0; j < 4; ++j) {
        auto* shape = new QFrame(GroupBox2);
        shape->setObjectName(QString("Shape%1").arg(j + 1));
        shape->setFixedSize(18, 10);
        shape->setStyleSheet(
            QString("background:%1; border:1px solid white; border-radius:3px;").arg(swatchColours[j].name()));
        auto* label = new QLabel(GroupBox2);
        label->setObjectName(QString("Label%1").arg(j + 1));
        legend->addWidget(shape);
        legend->addWidget(label);
        Shapes[j] = shape;
        LegendLabels[j] = label;
    }
    legend->addStretch(1);
    graphLayout->addLayout(legend);
    BuildGraphTools(graphLayout);
    GroupBox2->hide();
    pageLayout->addWidget(GroupBox1, 1);
    pageLayout->addWidget(GroupBox2, 2);

    row->addWidget(Panel1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BitBtn1 = new QPushButton("Получить из прибора", central);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn3 = new QPushButton("Закрыть", central);
    BitBtn3->setObjectName("BitBtn3");
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn3);
    outer->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn1Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { RunHandler([this] { BitBtn3Click(); }); });

    GraphTmr = new QTimer(this);
    GraphTmr->setObjectName("GraphTmr");
    GraphTmr->setInterval(40);
    TGraphReadout::Hooks hooks;
    // The read-out points into the view; the table lists the whole run, so
    // a row of the view is the table row of the same sample.
    hooks.ShownCount = [this] { return View().Count(); };
    hooks.RowCount = [this] { return View().Count() + 2; };
    hooks.SelectRow = [this](int r) {
        DataGrid->SetCurrentCell(std::max(DataGrid->Col(), 0), r + View().First - FirstIndex_);
    };
    hooks.AxisX = [this] { return graphAxisX_; };
    GraphReadout = new TGraphReadout(Graph, GraphTmr, std::move(hooks), this);

    setCentralWidget(central);
}

QAction* TMainform::AddItem(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    return action;
}

void TMainform::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    const auto addMenu = [bar](const char* name, const QString& caption) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(name);
        return menu;
    };
    const auto connectHandler = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this,
                [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
    };

    QMenu* program = addMenu("N10", "Программа");
    connectHandler(AddItem(program, "IntegrityItem", "Проверить целостность данных"), &TMainform::IntegrityItemClick);
    connectHandler(AddItem(program, "AuditLogItem", "Журнал изменений..."), &TMainform::AuditLogItemClick);
    connectHandler(AddItem(program, "ArchivePushItem", "Отправить в архив лаборатории"), &TMainform::ArchivePushItemClick);
    program->addSeparator();
    connectHandler(AddItem(program, "N9", "Закрыть", QKeySequence(Qt::Key_F10)), &TMainform::N9Click);

    QMenu* device = addMenu("N20", "Прибор");
    connectHandler(AddItem(device, "N8", "Паспорт прибора"), &TMainform::N8Click);
    N22 = AddItem(device, "N22", "Переустановить дату поверки...");
    N22->setVisible(false);
    N22->setEnabled(false);
    connectHandler(N22, &TMainform::N22Click);
    connectHandler(AddItem(device, "N19", "Очистить память прибора"), &TMainform::N19Click);

    QMenu* data = addMenu("H1", "Показатели");
    auto* modes = new QActionGroup(this);
    N1 = AddItem(data, "N1", "Однократные измерения");
    N2 = AddItem(data, "N2", "Данные мониторинга");
    for (QAction* item : {N1, N2}) {
        item->setCheckable(true);
        modes->addAction(item);
    }
    N1->setChecked(true);
    connectHandler(N1, &TMainform::N1Click);
    connectHandler(N2, &TMainform::N2Click);
    data->addSeparator();
    connectHandler(AddItem(data, "N15", "Получить из прибора", QKeySequence(Qt::Key_F4)), &TMainform::N15Click);
    connectHandler(AddItem(data, "N4", "Открыть файл....", QKeySequence(Qt::Key_F3)), &TMainform::N4Click);
    connectHandler(AddItem(data, "N5", "Сохранить в файл....", QKeySequence(Qt::Key_F2)), &TMainform::N5Click);
    connectHandler(AddItem(data, "N17", "Экспорт данных...", QKeySequence(Qt::SHIFT | Qt::Key_F2)),
                   &TMainform::N17Click);
    data->addSeparator();
    connectHandler(AddItem(data, "N24", "Задать допустимые уровни"), &TMainform::N24Click);
    data->addSeparator();
    N7 = AddItem(data, "N7", "История измерений", QKeySequence(Qt::CTRL | Qt::Key_H));
    N7->setCheckable(true);
    connectHandler(N7, &TMainform::N7Click);
    connectHandler(AddItem(data, "N18", "Очистить историю измерений"), &TMainform::N18Click);

    QMenu* protocols = addMenu("Ghjnjrjks1", "Протоколы");
    connectHandler(AddItem(protocols, "N14", "Сформировать протокол...", QKeySequence(Qt::CTRL | Qt::Key_P)),
                   &TMainform::N14Click);
    connectHandler(AddItem(protocols, "N6", "Список протоколов..."), &TMainform::N6Click);

    QMenu* references = addMenu("N26", "Справочники");
    const char* const referenceCaptions[7] = {"Измерительные приборы",
                                              "Нормативно-технические документы",
                                              "Организации",
                                              "Представители объектов",
                                              "Места проведения измерений и оценки",
                                              "Наименования и коды подразделений рабочих мест",
                                              "Цели проведения измерений и оценки"};
    for (int i = 0; i < 7; ++i) {
        const QByteArray name = QByteArray("N") + QByteArray::number(27 + i);
        QAction* item = AddItem(references, name.constData(), referenceCaptions[i]);
        connect(item, &QAction::triggered, this, [this, i] { RunHandler([this, i] { ReferenceItemClick(i); }); });
    }

    QMenu* help = addMenu("N16", "Справка");
    connectHandler(AddItem(help, "N11", "Руководство пользователя", QKeySequence(Qt::Key_F1)), &TMainform::N11Click);
    connectHandler(AddItem(help, "N21", "Нормативные документы"), &TMainform::N21Click);
    help->addSeparator();
    connectHandler(AddItem(help, "N12", "О программе...."), &TMainform::N12Click);
}

// ---- start ------------------------------------------------------------------

void TMainform::FormCreate(const std::string& databaseFile) {
    ResetNumericLocale();
    DataGrid->SetFixedColor(QColor(239, 239, 239));
    LimGrid->SetFixedColor(QColor(239, 239, 239));
    LimGrid->setStyleSheet("QTableView { background: rgb(239,239,239); }");
    // Saved files go beside the database in use until the user saves elsewhere.
    SetDefaultSaveDirectory(Utf8FromPath(std::filesystem::absolute(PathFromUtf8(databaseFile)).parent_path()));
    SetMainDatabase(OpenDatabase(databaseFile));
    FinishPendingDownloads();  // a download killed after its commit gets its image file
    try {
        LoadLevels(MainDatabase(), Levels_);
    } catch (...) {
        // The levels loaded before the failure are in force: the level row and
        // the marking show them too, not the built-in ones, and the error is shown.
        ApplyLevels();
        throw;
    }
    ApplyLevels();
}

void TMainform::FormShow() {
    // The height list first: a database that cannot be read must not leave
    // the table without its height choices.
    MHeightCBox->clear();
    MHeightCBox->addItems({"", "0.5", "1.0", "1.5"});
    SetupDataGrid();
    BuildDateTree();
}

void TMainform::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        RunHandler([this] { FormShow(); });
    }
}

void TMainform::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    RunHandler([this] { FormResize(); });
}

void TMainform::FormResize() {
    DrawGraph();
}

// ---- modes and tabs ----------------------------------------------------------

void TMainform::ApplyMode() {
    Mode_ = ManualBtn->isChecked() ? kMethodSingle : kMethodMonitoring;
    HideHeightCombo();
    if (Mode_ == kMethodMonitoring) {
        GroupBox1->setFixedWidth(313);
        GroupBox2->show();
        MonComboBox->show();
        DataGrid->SetRowSelect(true);
        N2->setChecked(true);
        BandLabel->show();
    } else {
        GroupBox1->setMinimumWidth(0);
        GroupBox1->setMaximumWidth(QWIDGETSIZE_MAX);
        GroupBox2->hide();
        MonComboBox->hide();
        DataGrid->SetRowSelect(false);
        N1->setChecked(true);
        BandLabel->hide();
    }
    SetupDataGrid();
}

void TMainform::AutoBtnClick() {
    ApplyMode();
    FillDataGrid();
}

void TMainform::N1Click() {
    ManualBtn->setChecked(true);
    AutoBtnClick();
}

void TMainform::N2Click() {
    AutoBtn->setChecked(true);
    AutoBtnClick();
}

void TMainform::TabControl1Change() {
    SetupDataGrid();
}

bool TMainform::SelectNewestData() {
    std::size_t total = 0;
    double newest = 0.0;
    int chosenMethod = -1, chosenKind = -1;
    int firstMethod = -1, firstKind = -1;
    for (const int method : {kMethodMonitoring, kMethodSingle}) {
        for (int kind = 0; kind < kKindCount; ++kind) {
            const auto& records = matrix_(method, kind).Records;
            total += records.size();
            if (records.empty()) continue;
            if (firstMethod < 0) {
                firstMethod = method;
                firstKind = kind;
            }
            if (records.back().time > newest) {
                newest = records.back().time;
                chosenMethod = method;
                chosenKind = kind;
            }
        }
    }
    if (total == 0) return false;
    if (chosenMethod < 0) {
        // Every list ends at or before the zero date: take the first in scan order.
        chosenMethod = firstMethod;
        chosenKind = firstKind;
    }
    (chosenMethod == kMethodSingle ? ManualBtn : AutoBtn)->setChecked(true);
    ApplyMode();
    {
        const QSignalBlocker blocker(TabControl1);
        TabControl1->setCurrentIndex(chosenKind);
    }
    SetupDataGrid();
    return true;
}

void TMainform::TakeOverMatrix(TMeasureDataP data, bool idsOfMainDatabase) {
    HideHeightCombo();
    matrix_ = std::move(data);
    idsOfMainDatabase_ = idsOfMainDatabase;
    fileEditNoticeShown_ = false;
    // No row may stay bound to a record of the replaced matrix.
    filledCount_ = 0;
    DataGrid->ClearDataCells();
}

void TMainform::LayOutForNewMatrix() {
    SetupDataGrid();
}

// ---- commands -----------------------------------------------------------------

void TMainform::N9Click() {
    close();
    QCoreApplication::quit();
}

void TMainform::BitBtn3Click() {
    N9Click();
}

void TMainform::N15Click() {
    BitBtn1->click();
}

// The help documents where they exist, otherwise the built-in manual: at the
// chapter of the part of the window that has the focus, and for the norms at
// the chapter on the permissible levels with the values in force.
void TMainform::N11Click() {
    QWidget* focus = focusWidget();  // the part of this window last given the focus
    OpenUserManual(focus != nullptr ? focus : this);
}

void TMainform::N21Click() {
    OpenNormsDocument(this);
}

void TMainform::OpenDocument(const std::string& path) {
    if (!IsExistingFile(path)) throw Exception("Документ не найден: " + path);
    if (!Prompts().OpenWithRegisteredApp(path))
        throw Exception("Не удалось открыть «" + path + "»: нет приложения для файлов этого типа");
}

void TMainform::N22Click() {}

void TMainform::N24Click() {
    TMaxLevelsForm dialog(*this);
    RunModal(dialog);
}

void TMainform::StoreMeasurements() {
    StoreMatrix([this] { TDBDataAdapter().PutData(matrix_, ""); });
}

void TMainform::StoreDownloadedMeasurements(const TDownloadInfo& download) {
    TStoreCounts counts;
    StoreMatrix([this, &download, &counts] { counts = StoreDownload(matrix_, download); });
    // The records are stored; only the copy of the raw memory waits.
    if (!counts.imageProblem.empty())
        Prompts().ShowMessage(PendingImageNotice(counts), "Загрузка из прибора", MessageIcon::Warning);
}

void TMainform::StoreMatrix(const std::function<void()>& store) {
    // From here on the records' ids are rows of the program's database;
    // records not stored because of a failure keep id 0.
    idsOfMainDatabase_ = true;
    try {
        store();
    } catch (...) {
        BuildDateTree();  // the rows stored before the failure are in the history
        throw;
    }
    BuildDateTree();
}

bool TMainform::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MHeightCBox && event->type() == QEvent::FocusOut) {
        const auto* focus = static_cast<QFocusEvent*>(event);
        // Opening the combo's own list is no leaving of the combo.
        const bool ownPopup = focus->reason() == Qt::PopupFocusReason || MHeightCBox->view()->isVisible() ||
                              QApplication::activePopupWidget() != nullptr;
        if (!ownPopup && MHeightCBox->isVisible()) {
            RunHandler([this] { MHeightCBoxChange(); });
        }
        return false;
    }
    if (watched == Graph && GraphEvent(event)) return true;
    if (watched == Graph && event->type() == QEvent::Resize) {
        RunHandler([this] { DrawGraph(); });
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        // The window sees every key before the focused control does.
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this && isActiveWindow()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const int latinKey = HiddenCommandKey(*key);
            if (IsHiddenCommand(latinKey, key->modifiers())) {
                // Consumed even when the command fails, so that the key does
                // not travel on to the parents and run the command again.
                RunHandler([&] { FormKeyDown(latinKey, key->modifiers()); });
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- history ------------------------------------------------------------------

namespace {
constexpr int kNodeRole = Qt::UserRole + 1;
}

TDateNodeRecord TMainform::NodeRecord(const QTreeWidgetItem* node) {
    TDateNodeRecord record;
    if (node == nullptr) return record;
    const QList<QVariant> fields = node->data(0, kNodeRole).toList();
    if (fields.size() != 4) {
        record.level = -1;
        return record;
    }
    record.level = fields[0].toInt();
    record.year = fields[1].toInt();
    record.month = fields[2].toInt();
    record.day = fields[3].toInt();
    return record;
}

void TMainform::BuildDateTree() {
    const std::vector<std::string> dates = StoredDays(MainDatabase());

    // Convert everything before touching the tree, so a bad row leaves it as it was.
    std::vector<DateParts> parts;
    parts.reserve(dates.size());
    for (const auto& text : dates) parts.push_back(DecodeDate(ParseStoredDate(text)));

    DateTree->setUpdatesEnabled(false);
    while (DateTree->topLevelItemCount() > 0) DateTreeDeletion(DateTree->topLevelItem(0));
    const QIcon yearIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon dayIcon = style()->standardIcon(QStyle::SP_FileIcon);
    int previousYear = 0, previousMonth = 0, previousDay = 0;
    QTreeWidgetItem* yearNode = nullptr;
    QTreeWidgetItem* monthNode = nullptr;
    const auto makeNode = [](const QString& caption, const QIcon& icon, const TDateNodeRecord& r) {
        auto* node = new QTreeWidgetItem(QStringList{caption});
        node->setIcon(0, icon);
        node->setData(0, kNodeRole, QList<QVariant>{r.level, r.year, r.month, r.day});
        return node;
    };
    for (const DateParts& date : parts) {
        if (date.year != previousYear) {
            yearNode = makeNode(QString::number(date.year), yearIcon, {0, date.year, 0, 0});
            DateTree->addTopLevelItem(yearNode);
            previousYear = date.year;
            previousMonth = 0;
            previousDay = 0;
        }
        if (date.month != previousMonth) {
            monthNode = makeNode(Q(MonthName(date.month)), dayIcon, {1, date.year, date.month, 0});
            yearNode->addChild(monthNode);
            previousMonth = date.month;
            previousDay = 0;
        }
        if (date.day != previousDay) {
            monthNode->addChild(makeNode(QString::number(date.day), dayIcon, {2, date.year, date.month, date.day}));
            previousDay = date.day;
        }
    }
    DateTree->setUpdatesEnabled(true);
}

void TMainform::DateTreeDeletion(QTreeWidgetItem* node) {
    // The node's record lives in the node's own data and goes with it.
    delete node;
}

void TMainform::DateTreeClick() {
    const QTreeWidgetItem* node = DateTree->currentItem();
    if (node == nullptr) return;
    const TDateNodeRecord r = NodeRecord(node);
    TDBDataAdapter adapter;
    // Half-open day ranges: a row stored at a day's last second carries a
    // zero byte after it and sorts above "... 23:59:59".
    switch (r.level) {
        case 0:
            adapter.Filter = StoredDaysFilter(EncodeDate(r.year, 1, 1), EncodeDate(r.year, 12, 31));
            break;
        case 1:
            adapter.Filter = StoredDaysFilter(EncodeDate(r.year, r.month, 1),
                                              EncodeDate(r.year, r.month, DaysInMonth(r.year, r.month)));
            break;
        case 2:
            adapter.Filter = StoredDaysFilter(EncodeDate(r.year, r.month, r.day), EncodeDate(r.year, r.month, r.day));
            break;
        default:
            Assert(false, "uMain");
    }
    TMeasureDataP data;
    adapter.GetData("", data);
    TakeOverMatrix(std::move(data), true);
    SetupDataGrid();
    SelectNewestData();
    ReportSkippedRows(adapter.SkippedRows);
}

void TMainform::HistoryBtnClick() {
    const int step = HistoryPnl->maximumWidth() + 4;
    const bool maximized = isMaximized();
    if (!HistoryShown_) {
        HistoryPnl->show();
        if (!maximized) resize(width() + step, height());
        HistoryShown_ = true;
    } else {
        HistoryPnl->hide();
        if (!maximized) resize(width() - step, height());
        HistoryShown_ = false;
    }
    N7->setChecked(HistoryShown_);
    HistoryBtn->setChecked(HistoryShown_);
}

void TMainform::N7Click() {
    HistoryBtnClick();
}

}  // namespace zorvex
