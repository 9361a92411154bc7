// Makes the pictures of the user manual from the real windows: the main
// window and its dialogs on a fresh database in a temporary directory, fed by
// the demonstration meter, each grabbed as it is drawn and written as PNG.
//
//   zorvex-doc-images OUTPUT_DIR MANUAL_DIR
//
// Run it under a display (scripts/doc-images starts Xvfb). Nothing is drawn
// by this tool itself: every picture is a window of the program.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/Paths.h"
#include "base/Prompts.h"
#include "base/RunSettings.h"
#include "device/DemoMeter.h"
#include "storage/ReferenceDirectories.h"
#include "storage/SQLiteDatabase.h"
#include "ui/HandlerGuard.h"
#include "ui/ModalRunner.h"
#include "ui/help/Help.h"
#include "ui/help/HelpWindow.h"
#include "ui/main/Mainform.h"

namespace zorvex {
namespace {

// Answers every question Yes and tells every notice on the terminal: a box
// on the display would stop the run.
class TAutomaticPrompts final : public IUserPrompts {
public:
    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
        std::cerr << "doc-images: сообщение: " << text << "\n";
    }
    bool Confirm(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> InputText(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> OpenFileName(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> SaveFileName(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    void Beep() override {}
    bool OpenWithRegisteredApp(const std::string&) override { return true; }
};

QString outputDirectory;
int failures = 0;

// Lets the windows lay out and paint.
void Settle(int ms = 300) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Save(QWidget& window, const char* name) {
    Settle();
    const QString file = QDir(outputDirectory).filePath(QString::fromLatin1(name) + ".png");
    if (!window.grab().save(file, "PNG", 9)) {
        std::cerr << "doc-images: не удалось записать " << file.toStdString() << "\n";
        ++failures;
        return;
    }
    std::cout << file.toStdString() << "\n";
}

template <class T>
T& Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr)
        throw std::runtime_error(std::string("нет элемента ") + name + " в " + window.objectName().toStdString());
    return *child;
}

// What to do with each modal dialog while it is shown, by objectName: the
// dialog is grabbed between the two steps and then closed.
using TDialogStep = std::function<void(QDialog&)>;
struct TDialogPicture {
    const char* picture;
    TDialogStep before;
    TDialogStep after;
};
std::map<QString, TDialogPicture> dialogSteps;

int RunDialog(QDialog& dialog) {
    dialog.show();
    Settle();
    const auto step = dialogSteps.find(dialog.objectName());
    int result = QDialog::Rejected;
    if (step != dialogSteps.end()) {
        const TDialogPicture what = step->second;  // a step may open this dialog kind again
        if (what.before) what.before(dialog);
        Save(dialog, what.picture);
        if (what.after) what.after(dialog);
        result = dialog.result();
    } else {
        std::cerr << "doc-images: окно без снимка: " << dialog.objectName().toStdString() << "\n";
    }
    if (dialog.isVisible()) dialog.done(result);
    return result;
}

// Dialogs run with exec() of their own (the print previews): grabbed and
// closed from a timer once they are the active modal window.
void GrabNextExecDialog(const char* objectName, const char* picture) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(100);
    QObject::connect(timer, &QTimer::timeout, [timer, objectName, picture] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->objectName() != QLatin1String(objectName)) return;
        timer->stop();
        timer->deleteLater();
        Save(*modal, picture);
        static_cast<QDialog*>(modal)->reject();
    });
    timer->start();
}

void WaitForDownload(QDialog& dialog) {
    QElapsedTimer timer;
    timer.start();
    auto& button = Child<QPushButton>(dialog, "Button1");
    while (button.text() != QStringLiteral("ОК") && timer.elapsed() < 20000) Settle(50);
}

void FillReferences() {
    SaveDirectory("orgs", {{"ООО «Северный проектный институт»", "г. Вологда, ул. Мира, 12", "3525000000"},
                           {"АО «Городские сети»", "г. Вологда, ул. Ленина, 3", "3525111111"}});
    SaveDirectory("devices", {{"Zorvex", "21457", "00000-00", "24.09.2025"}});
    SaveDirectory("presenters", {{"Иванова А. П., инженер по охране труда"}});
    SaveDirectory("checkgoals", {{"Производственный контроль"}});
    SaveDirectory("checkplaces", {{"Отдел проектирования, 2 этаж"}});
    SaveDirectory("workplaces", {{"Инженер-проектировщик", "01"}, {"Техник", "02"}});
}

// Workplace numbers and heights for the single measurements of `kind`, typed
// into the table as a user does: two points per workplace.
void EnterWorkplaces(TMainform& form, int kind) {
    form.N1Click();
    form.TabControl1->setCurrentIndex(kind);
    const int rows = form.ShownCount();
    for (int i = 0; i < rows; ++i) {
        const int row = i + 2;
        form.DataGridSetEditText(1, row, QString::number(i / 2 + 1));
        form.DataGridSetEditText(2, row, i % 2 == 0 ? QStringLiteral("0.5") : QStringLiteral("1.0"));
    }
    form.FillDataGrid();
}

// The heading of protocol 77 as a lab fills it in.
void FillHeading(QDialog& dialog) {
    Child<QLineEdit>(dialog, "Edit0").setText(QStringLiteral("77"));
    Child<QLineEdit>(dialog, "Edit1").setText(QStringLiteral("ООО «Северный проектный институт» ИНН 3525000000"));
    Child<QLineEdit>(dialog, "Edit2").setText(QStringLiteral("Иванова А. П., инженер по охране труда"));
    Child<QLineEdit>(dialog, "Edit3").setText(QStringLiteral("Производственный контроль"));
    Child<QPlainTextEdit>(dialog, "Memo5").setPlainText(QStringLiteral("Zorvex (зав. №21457, рег. №00000-00)"));
    Child<QLineEdit>(dialog, "Edit8").setText(QStringLiteral("Отдел проектирования, 2 этаж"));
}

void MakePictures(TMainform& form, const QString& manualDirectory) {
    dialogSteps = {
        {"GetDevDataForm", {"download", WaitForDownload, [](QDialog& d) { Child<QPushButton>(d, "Button1").click(); }}},
        {"MaxLevelsForm", {"levels", nullptr, nullptr}},
        {"PasportForm", {"passport", nullptr, nullptr}},
        {"ReferenceForm", {"references", nullptr, nullptr}},
        {"OpenProtocolForm", {"protocol-list", nullptr, nullptr}},
        {"AboutForm", {"about", nullptr, nullptr}},
        {"IntegrityForm", {"integrity", nullptr, nullptr}},
        {"AuditLogForm", {"audit-log", nullptr, nullptr}},
        {"ArchivePushForm",
         {"archive-push",
          [](QDialog& dialog) {
              Child<QLineEdit>(dialog, "ConnectionEdit")
                  .setText(QStringLiteral("postgresql://archive.lab/zorvex?sslmode=verify-full"));
          },
          nullptr}},
    };
    const ModalRunnerScope runner(RunDialog);

    Save(form, "main-empty");
    form.BitBtn1Click();  // download from the demonstration meter
    Save(form, "main-download");

    // The kinds the result tables are made of; the others are left without a workplace.
    for (int kind = 0; kind <= 2; ++kind) EnterWorkplaces(form, kind);
    form.TabControl1->setCurrentIndex(1);
    Save(form, "main-single");

    form.HistoryBtnClick();
    form.DateTree->expandAll();
    Save(form, "history");
    form.HistoryBtnClick();

    form.N24Click();
    form.N8Click();
    FillReferences();
    form.ReferenceItemClick(2);  // "Организации"

    dialogSteps["ReportForm"] = {"protocol-editor", FillHeading, nullptr};
    form.N14Click();
    // The result tables, then "Сформировать": the protocol is stored and its
    // document shown in the preview.
    dialogSteps["ReportForm"] = {
        "protocol-tables",
        [](QDialog& dialog) {
            FillHeading(dialog);
            // The first result table with values, the one after the workplaces.
            auto& scroll = Child<QScrollArea>(dialog, "ScrollBox1");
            scroll.widget()->adjustSize();
            Settle();
            const QWidget& from = Child<QWidget>(dialog, "GridLabel2");
            scroll.verticalScrollBar()->setValue(from.mapTo(scroll.widget(), QPoint(0, 0)).y() - 8);
        },
        [](QDialog& dialog) {
            GrabNextExecDialog("ReportPreview", "protocol-preview");
            RunHandler([&] { Child<QPushButton>(dialog, "BitBtn1").click(); });
        }};
    form.N14Click();
    form.N6Click();

    // The graph wider than the window's first size, so the statistics show more columns.
    form.resize(1180, 720);
    form.N2Click();
    form.TabControl1->setCurrentIndex(1);
    Save(form, "graph");
    const TIndexRange run = form.RunRange();
    form.SetView({run.First + run.Count() / 4, run.First + run.Count() / 2});
    Save(form, "graph-zoomed");
    form.ResetZoomBtnClick();
    GrabNextExecDialog("GraphPrintPreview", "graph-print");
    form.PrintGraphBtnClick();

    form.resize(965, 632);
    form.N12Click();
    form.SetLevel(msfMFLB, 250);  // written back as it was: one more entry of the audit log
    form.IntegrityItemClick();
    form.AuditLogItemClick();
    form.ArchivePushItemClick();

    {
        const ManualDirectoryScope manual(manualDirectory.toStdString());
        THelpWindow& help = ShowHelp(QStringLiteral("protocols.html"), &form);
        help.resize(960, 620);
        Save(help, "help");
        help.close();
    }
}

}  // namespace
}  // namespace zorvex

int main(int argc, char* argv[]) {
    zorvex::ApplyRunSettings();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::cerr << "Использование: zorvex-doc-images КАТАЛОГ_РИСУНКОВ КАТАЛОГ_РУКОВОДСТВА\n";
        return 2;
    }
    zorvex::ResetNumericLocale();
    zorvex::outputDirectory = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(zorvex::outputDirectory);
    const QString manualDirectory = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    zorvex::InstallPrompts(std::make_shared<zorvex::TAutomaticPrompts>());

    // A fresh database in a directory of its own, so the pictures show the
    // demonstration day and nothing else.
    const QString work =
        QDir::temp().filePath(QStringLiteral("zorvex-doc-images-%1").arg(QCoreApplication::applicationPid()));
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    QDir::setCurrent(work);
    int status = 0;
    {
        const zorvex::TDemoMeter meter(zorvex::TDemoLink::Driver);
        zorvex::TMainform form(QDir(work).filePath(QStringLiteral("data.db")).toStdString());
        form.MarkDemonstrationMeter();
        form.show();
        zorvex::Settle(500);
        try {
            zorvex::MakePictures(form, manualDirectory);
        } catch (const std::exception& e) {
            std::cerr << "doc-images: " << e.what() << "\n";
            status = 1;
        }
    }
    zorvex::SetMainDatabase(nullptr);
    QDir(work).removeRecursively();
    return status != 0 || zorvex::failures != 0 ? 1 : 0;
}
