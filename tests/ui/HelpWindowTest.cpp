// F1 opens the built-in manual at the chapter of the window it is pressed in,
// from every window; the help window's contents, search and history; the Help
// menu's documents with and without their .chm files.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <map>

#include "MainformFixture.h"
#include "base/DataLocations.h"
#include "base/Paths.h"
#include "report/ProtocolReport.h"
#include "storage/Levels.h"
#include "ui/ModalRunner.h"
#include "ui/help/Help.h"
#include "ui/help/HelpBrowser.h"
#include "ui/help/HelpWindow.h"
#include "ui/main/Mainform.h"

namespace zorvex::test {
namespace {

QString ManualSourceDirectory() {
    return QDir::cleanPath(QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../../doc/manual")));
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// F1 as the user presses it: to the widget with the focus, else the window.
void PressF1(QWidget& window) {
    QWidget* target = window.focusWidget() != nullptr ? window.focusWidget() : &window;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

QString ChapterOnView() {
    THelpWindow* help = OpenHelpWindow();
    return help != nullptr ? help->CurrentChapter() : QString();
}

void CloseHelp() {
    delete OpenHelpWindow();
}

// The real main window on a fresh database, the manual read from the source
// tree, every modal dialog handed to `onDialog` by objectName.
class HelpKeyTest : public MainformTest {
protected:
    HelpKeyTest()
        : manual(ManualSourceDirectory().toStdString()), runner([this](QDialog& dialog) { return Drive(dialog); }) {
        InstallHelpKey();
    }
    ~HelpKeyTest() override { CloseHelp(); }

    int Drive(QDialog& dialog) {
        const QString name = dialog.objectName();
        opened.push_back(name);
        PressF1(dialog);
        chapterOf[name] = ChapterOnView();
        CheckControls(dialog);
        CloseHelp();
        if (const auto next = inside.find(name); next != inside.end()) next->second(dialog);
        return QDialog::Rejected;
    }

    // Dialogs that run exec() of their own (the print previews) are met by a timer.
    void CatchExecDialog(const QString& name) {
        auto* timer = new QTimer;
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, [this, timer, name] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal->objectName() != name) return;
            timer->stop();
            timer->deleteLater();
            opened.push_back(name);
            PressF1(*modal);
            chapterOf[name] = ChapterOnView();
            // The manual belongs to the modal window, else that window would block it.
            EXPECT_EQ(OpenHelpWindow() != nullptr ? OpenHelpWindow()->parentWidget() : nullptr, modal)
                << name.toStdString();
            CloseHelp();
            static_cast<QDialog*>(modal)->reject();
        });
        timer->start();
    }

    // The controls the manual names in `window` ("Window/Name" marks) exist
    // there, a button with the text the manual gives it.
    void CheckControls(QWidget& window) {
        static const QRegularExpression mark("<span class=\"control\" title=\"([^/\"]+)/([^\"]+)\">([^<]*)</span>");
        for (const QString& file : QDir(ManualSourceDirectory()).entryList({"*.html"}))
            for (auto it = mark.globalMatch(ReadText(QDir(ManualSourceDirectory()).filePath(file))); it.hasNext();) {
                const auto match = it.next();
                if (match.captured(1) != window.objectName()) continue;
                checkedControls.insert(match.captured(1) + "/" + match.captured(2));
                auto* control = window.findChild<QWidget*>(match.captured(2));
                ASSERT_NE(control, nullptr) << file.toStdString() << ": " << match.captured(0).toStdString();
                if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                    EXPECT_EQ(button->text().trimmed(), match.captured(3)) << file.toStdString();
                }
            }
    }

    TMeasureDataP SinglesAndARun() {
        TMeasureDataP data;
        data(kMethodSingle, 1).Records.push_back(Record(1, 46098.5, 120.0, 0.0));
        for (int i = 0; i < 20; ++i)
            data(kMethodMonitoring, 1).Records.push_back(Record(1, 46098.4 + i * 5.0 / 86400, 100.0 + i, 0.0));
        return data;
    }

    ManualDirectoryScope manual;
    ModalRunnerScope runner;
    std::vector<QString> opened;
    std::map<QString, QString> chapterOf;
    std::map<QString, std::function<void(QDialog&)>> inside;
    std::set<QString> checkedControls;
};

TEST_F(HelpKeyTest, F1OpensTheChapterOfEveryWindow) {
    struct Case {
        const char* window;
        const char* chapter;
        std::function<void()> open;
    };
    const std::vector<Case> cases = {
        {"GetDevDataForm", "download.html", [&] { form->BitBtn1Click(); }},
        {"PasportForm", "passport.html", [&] { form->N8Click(); }},
        {"MaxLevelsForm", "levels.html", [&] { form->N24Click(); }},
        {"ReferenceForm", "references.html", [&] { form->ReferenceItemClick(2); }},
        {"OpenProtocolForm", "protocols.html#list", [&] { form->N6Click(); }},
        {"AboutForm", "index.html", [&] { form->N12Click(); }},
        {"IntegrityForm", "audit.html#verify", [&] { form->IntegrityItemClick(); }},
        {"AuditLogForm", "audit.html#log", [&] { form->AuditLogItemClick(); }},
        {"ArchivePushForm", "archive.html#push", [&] { form->ArchivePushItemClick(); }},
        {"ReportForm", "protocols.html",
         [&] {
             Show(SinglesAndARun(), kMethodSingle, 1);
             form->N14Click();
         }},
        {"RefSelectForm", "references.html#picker",
         [&] {
             inside["ReportForm"] = [](QDialog& editor) { editor.findChild<QToolButton*>("SpeedButton1")->click(); };
             form->N14Click();
             inside.clear();
         }},
        {"GraphPrintPreview", "graph.html#print",
         [&] {
             Show(SinglesAndARun(), kMethodMonitoring, 1);
             CatchExecDialog("GraphPrintPreview");
             form->PrintGraphBtnClick();
         }},
        {"ReportPreview", "protocols.html#preview",
         [&] {
             CatchExecDialog("ReportPreview");
             report::ShowProtocolPreview(report::ProtocolReportData{}, form.get());
         }},
    };
    for (const Case& c : cases) {
        opened.clear();
        chapterOf.clear();
        c.open();
        ASSERT_FALSE(opened.empty()) << c.window << " did not open";
        ASSERT_TRUE(chapterOf.count(c.window)) << c.window << " not among the opened windows";
        EXPECT_EQ(chapterOf[c.window].toStdString(), c.chapter) << c.window;
        // The chapter F1 opens is the one that describes the window.
        const QString file = QString(c.chapter).section('#', 0, 0);
        if (QString(c.window) != "AboutForm") {
            EXPECT_TRUE(ReadText(QDir(ManualSourceDirectory()).filePath(file))
                            .contains(QString("class=\"window\" title=\"%1\"").arg(c.window)))
                << file.toStdString() << " does not name " << c.window;
        }
    }

    // Every window the manual names is one of those opened here.
    static const QRegularExpression mark("<span class=\"window\" title=\"([^\"]+)\">");
    std::set<std::string> tested;
    for (const Case& c : cases) tested.insert(c.window);
    for (const QString& file : QDir(ManualSourceDirectory()).entryList({"*.html"}))
        for (auto it = mark.globalMatch(ReadText(QDir(ManualSourceDirectory()).filePath(file))); it.hasNext();)
            EXPECT_TRUE(tested.count(it.next().captured(1).toStdString())) << file.toStdString();
}

TEST_F(HelpKeyTest, F1InTheMainWindowFollowsThePartWithTheFocus) {
    Show(SinglesAndARun(), kMethodMonitoring, 1);
    form->HistoryBtnClick();
    const std::vector<std::pair<QWidget*, const char*>> parts = {
        {form->DataGrid, "table.html"},
        {form->DateTree, "history.html"},
        {form->findChild<QWidget*>("StatGrid"), "graph.html#statistics"},
        {form->findChild<QWidget*>("Graph"), "graph.html"},
    };
    for (const auto& [part, chapter] : parts) {
        ASSERT_NE(part, nullptr) << chapter;
        // The menu item's F1 runs N11Click with the focus where it is.
        part->setFocus();
        form->N11Click();
        EXPECT_EQ(ChapterOnView().toStdString(), chapter);
        CloseHelp();
        // F1 reaching a widget of the window (no shortcut took it) ends in the same chapter.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(part, &press);
        EXPECT_EQ(ChapterOnView().toStdString(), chapter);
        CloseHelp();
    }
    CheckControls(*form);
    EXPECT_TRUE(checkedControls.count("Mainform/BitBtn1"));
}

TEST_F(HelpKeyTest, TheHelpWindowHasContentsSearchAndHistory) {
    THelpWindow& help = ShowHelp("index.html", form.get());
    CheckControls(help);
    ASSERT_GT(help.ContentsList->count(), 10);
    EXPECT_EQ(help.ContentsList->item(0)->text(), "Содержание");

    // A link between chapters, then back and forward.
    help.ShowChapter("download.html");
    help.Browser->setSource(QUrl("troubleshooting.html#usb"));
    EXPECT_EQ(help.CurrentChapter(), "troubleshooting.html#usb");
    EXPECT_TRUE(help.BackBtn->isEnabled());
    help.BackBtn->click();
    EXPECT_EQ(help.CurrentChapter(), "download.html");
    EXPECT_EQ(help.ContentsList->currentItem()->text(), "Получение данных из прибора");
    help.ForwardBtn->click();
    EXPECT_EQ(help.CurrentChapter(), "troubleshooting.html#usb");
    help.HomeBtn->click();
    EXPECT_EQ(help.CurrentChapter(), "index.html");

    // An anchor shows its part of the chapter, not the chapter's top.
    help.resize(900, 500);
    help.ShowChapter("protocols.html#list");
    QApplication::processEvents();
    EXPECT_GT(help.Browser->verticalScrollBar()->value(), 0);

    // Search: chapters holding every word, case ignored; a result opens its chapter at the word.
    help.Search("ПРОЦЕНТИЛЬ ближайшему");
    ASSERT_GE(help.SearchResults->count(), 1);
    QStringList found;
    for (int i = 0; i < help.SearchResults->count(); ++i)
        found << help.SearchResults->item(i)->data(Qt::UserRole).toString();
    EXPECT_TRUE(found.contains("graph.html")) << found.join(',').toStdString();
    EXPECT_FALSE(found.contains("passport.html"));
    help.OpenSearchResult(static_cast<int>(found.indexOf("graph.html")));
    EXPECT_EQ(help.CurrentChapter(), "graph.html");
    EXPECT_TRUE(help.Browser->textCursor().hasSelection());
    EXPECT_EQ(help.Browser->textCursor().selectedText().toLower(), "процентиль");

    help.Search("словоКоторогоНетВРуководстве");
    ASSERT_EQ(help.SearchResults->count(), 1);
    EXPECT_EQ(help.SearchResults->item(0)->flags(), Qt::NoItemFlags);
}

TEST_F(HelpKeyTest, TheNormsChapterShowsTheLevelsSetInTheDatabaseNow) {
    form->SetLevel(msfMFLB, 222.5);
    form->N21Click();  // no sanpin.chm beside this test program
    ASSERT_EQ(ChapterOnView(), "levels.html");
    EXPECT_TRUE(prompts->shown.empty());
    const QString text = OpenHelpWindow()->Browser->toPlainText();
    EXPECT_TRUE(text.contains("222.5")) << text.toStdString();
    EXPECT_TRUE(text.contains("swtmflb"));
    EXPECT_TRUE(text.contains("норматив"));
    // Shown again after a change: the chapter never shows stale values.
    form->SetLevel(msfMFLB, 333);
    form->N21Click();
    EXPECT_TRUE(OpenHelpWindow()->Browser->toPlainText().contains("333"));
    EXPECT_FALSE(OpenHelpWindow()->Browser->toPlainText().contains("222.5"));
}

TEST_F(HelpKeyTest, WithoutTheBuiltInManualTheMissingDocumentIsNamed) {
    const DocumentDirectoryScope docs(dir.File("doc"));
    const ManualDirectoryScope nowhere(dir.File("no-manual"));
    form->findChild<QAction*>("N11")->trigger();
    form->findChild<QAction*>("N21")->trigger();
    ASSERT_EQ(prompts->shown.size(), 2u);
    EXPECT_TRUE(prompts->shown[0].text.ends_with("/doc/zorvex-user-manual.chm")) << prompts->shown[0].text;
    EXPECT_TRUE(prompts->shown[1].text.ends_with("/doc/sanpin.chm")) << prompts->shown[1].text;
    EXPECT_EQ(OpenHelpWindow(), nullptr);
}

// The .chm documents keep working where they exist: opened with the desktop's
// application, and the built-in manual stays closed.
TEST_F(HelpKeyTest, TheChmDocumentsAreOpenedWhereTheyExist) {
    const DocumentDirectoryScope docs(dir.File("doc"));
    std::filesystem::create_directories(PathFromUtf8(dir.File("doc")));
    for (const char* name : {kManualChmFile, kNormsChmFile}) {
        QFile file(QString::fromStdString(dir.File(std::string("doc/") + name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    form->DataGrid->setFocus();
    form->N11Click();
    form->N21Click();
    ASSERT_EQ(prompts->shown.size(), 2u);
    EXPECT_EQ(prompts->shown[0].kind, "open-app");
    EXPECT_TRUE(prompts->shown[0].text.ends_with(kManualChmFile)) << prompts->shown[0].text;
    EXPECT_TRUE(prompts->shown[1].text.ends_with(kNormsChmFile)) << prompts->shown[1].text;
    EXPECT_EQ(OpenHelpWindow(), nullptr);
}

}  // namespace
}  // namespace zorvex::test
