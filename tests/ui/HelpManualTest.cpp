// The manual as shipped: every link and picture resolves, and every menu item
// and zorvex-cli command it names exists in the program under that name.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <set>

#include "MainformFixture.h"
#include "ui/help/HelpBrowser.h"
#include "ui/help/HelpWindow.h"

namespace zorvex::test {
namespace {

QString ManualSourceDirectory() {
    return QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../../doc/manual"));
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString Unescape(QString text) {
    return text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
}

struct Chapter {
    QString file;
    QString html;
};

std::vector<Chapter> Chapters() {
    std::vector<Chapter> chapters;
    const QDir dir(ManualSourceDirectory());
    for (const QString& file : dir.entryList({"*.html"}, QDir::Files, QDir::Name))
        chapters.push_back({file, ReadText(dir.filePath(file))});
    return chapters;
}

// Every (title, text) of the marks <span class="KIND" title="...">text</span>.
std::vector<std::pair<QString, QString>> Marks(const QString& kind) {
    std::vector<std::pair<QString, QString>> marks;
    const QRegularExpression mark(QStringLiteral("<span class=\"%1\" title=\"([^\"]+)\">([^<]*)</span>").arg(kind));
    for (const Chapter& chapter : Chapters())
        for (auto it = mark.globalMatch(chapter.html); it.hasNext();) {
            const auto match = it.next();
            marks.emplace_back(match.captured(1), Unescape(match.captured(2)));
        }
    return marks;
}

TEST(HelpManual, EveryLinkAndPictureResolves) {
    const std::vector<Chapter> chapters = Chapters();
    ASSERT_GT(chapters.size(), 10u) << ManualSourceDirectory().toStdString();
    const QRegularExpression reference(QStringLiteral("(href|src)=\"([^\"]*)\""));
    const QDir dir(ManualSourceDirectory());
    int pictures = 0;
    for (const Chapter& chapter : chapters) {
        for (auto it = reference.globalMatch(chapter.html); it.hasNext();) {
            const auto match = it.next();
            const QString target = match.captured(2);
            const std::string where = chapter.file.toStdString() + ": " + target.toStdString();
            ASSERT_FALSE(target.isEmpty()) << where;
            EXPECT_FALSE(target.contains("://")) << "the manual is read offline: " << where;
            const QString file = target.section('#', 0, 0);
            const QString anchor = target.section('#', 1);
            const QString path = file.isEmpty() ? dir.filePath(chapter.file) : dir.filePath(file);
            ASSERT_TRUE(QFileInfo(path).isFile()) << where;
            if (!anchor.isEmpty()) {
                EXPECT_TRUE(ReadText(path).contains("id=\"" + anchor + "\"")) << "no such anchor: " << where;
            }
            if (match.captured(1) == "src") {
                ++pictures;
                const QImage picture(path);
                EXPECT_FALSE(picture.isNull()) << where;
                EXPECT_LE(QFileInfo(path).size(), 400 * 1024) << "keep the pictures small: " << where;
                EXPECT_LE(picture.width(), 1280) << where;
            }
        }
    }
    EXPECT_GT(pictures, 10);
}

// The pictures are made by the picture tool from the real windows, and none
// lies in doc/images unshown.
TEST(HelpManual, EveryPictureIsOneTheToolMakesAndEveryOneIsShown) {
    const QString tool = ReadText(QFileInfo(QStringLiteral(__FILE__))
                                      .dir()
                                      .filePath(QStringLiteral("../../src/app/docimages/doc_images_main.cpp")));
    ASSERT_FALSE(tool.isEmpty());
    QSet<QString> shown;
    const QRegularExpression picture(QStringLiteral("<img src=\"../images/([^\"]+)\\.png\""));
    for (const Chapter& chapter : Chapters())
        for (auto it = picture.globalMatch(chapter.html); it.hasNext();) shown.insert(it.next().captured(1));
    ASSERT_FALSE(shown.isEmpty());
    for (const QString& name : shown)
        EXPECT_TRUE(tool.contains("\"" + name + "\"")) << name.toStdString() << ".png is not made by the tool";
    const QDir images(QDir(ManualSourceDirectory()).filePath("../images"));
    for (const QString& file : images.entryList({"*.png"}, QDir::Files))
        EXPECT_TRUE(shown.contains(QFileInfo(file).completeBaseName())) << file.toStdString() << " is shown nowhere";
}

TEST(HelpManual, TheContentsListEveryChapterOnce) {
    const std::vector<THelpChapter> contents = ManualContents(ManualSourceDirectory());
    std::set<QString> listed;
    for (const THelpChapter& chapter : contents) {
        EXPECT_TRUE(listed.insert(chapter.file).second) << chapter.file.toStdString();
        EXPECT_FALSE(chapter.title.isEmpty()) << chapter.file.toStdString();
    }
    for (const Chapter& chapter : Chapters()) EXPECT_TRUE(listed.count(chapter.file)) << chapter.file.toStdString();
    ASSERT_FALSE(contents.empty());
    EXPECT_EQ(contents.front().file, "index.html");
}

TEST(HelpManual, TheLevelsChapterHasItsPlaceForTheCurrentValues) {
    EXPECT_TRUE(ReadText(QDir(ManualSourceDirectory()).filePath("levels.html")).contains(kCurrentLevelsMarker));
}

using HelpManualMenus = MainformTest;

TEST_F(HelpManualMenus, EveryMenuItemNamedExistsWithThatCaption) {
    const auto marks = Marks("menu");
    ASSERT_GT(marks.size(), 20u);
    QSet<QString> named;
    for (const auto& [name, text] : marks) {
        named.insert(name);
        const auto* item = form->findChild<QAction*>(name);
        ASSERT_NE(item, nullptr) << name.toStdString();
        EXPECT_EQ(item->text(), text) << name.toStdString();
    }
    // Every visible item of the menus is described somewhere.
    for (const QAction* item : form->findChildren<QAction*>(QRegularExpression("^N\\d+$")))
        if (item->isVisible() && item->menu() == nullptr) {
            EXPECT_TRUE(named.contains(item->objectName())) << item->objectName().toStdString();
        }
}

// ---- zorvex-cli ----------------------------------------------------------------

QString CliProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../src/app/zorvex-cli"));
}

QString CliHelp(const QStringList& arguments) {
    QProcess process;
    process.start(CliProgram(), arguments);
    if (!process.waitForFinished(20000)) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The command lines of zorvex-cli in the manual: lines of <pre class="cli">
// blocks and <code> texts, comments dropped.
std::vector<QStringList> CliLines() {
    std::vector<QStringList> lines;
    const QRegularExpression block(QStringLiteral("<pre class=\"cli\">(.*?)</pre>|<code>(zorvex-cli [^<]*)</code>"),
                                   QRegularExpression::DotMatchesEverythingOption);
    for (const Chapter& chapter : Chapters())
        for (auto it = block.globalMatch(chapter.html); it.hasNext();) {
            const auto match = it.next();
            const QString text = Unescape(match.captured(1).isEmpty() ? match.captured(2) : match.captured(1));
            for (QString line : text.split('\n')) {
                line = line.section(" #", 0, 0).trimmed();
                if (!line.startsWith("zorvex-cli ")) continue;
                lines.push_back(QProcess::splitCommand(line));
            }
        }
    return lines;
}

TEST(HelpManual, EveryZorvexCliCommandAndOptionNamedExists) {
    ASSERT_TRUE(QFileInfo(CliProgram()).isExecutable())
        << "zorvex-cli is built with the tests: " << CliProgram().toStdString();
    const QString overall = CliHelp({"--help"});
    ASSERT_FALSE(overall.isEmpty());
    const std::vector<QStringList> lines = CliLines();
    ASSERT_GT(lines.size(), 15u);
    std::set<QString> commands;
    for (const QStringList& words : lines) {
        const std::string line = words.join(' ').toStdString();
        int i = 1;
        while (i < words.size() && words[i].startsWith("--")) {
            EXPECT_TRUE(overall.contains(words[i].section('=', 0, 0))) << line;
            i += words[i] == "--db" ? 2 : 1;
        }
        if (i == words.size()) continue;  // global options only ("zorvex-cli --help")
        const QString command = words[i];
        commands.insert(command);
        EXPECT_TRUE(overall.contains(QRegularExpression("\\n  " + QRegularExpression::escape(command) + "\\s")))
            << "not a command: " << line;
        const QString help = CliHelp({command, "--help"});
        for (int k = i + 1; k < words.size(); ++k) {
            if (!words[k].startsWith("--") || words[k] == "--help") continue;  // every command has --help
            EXPECT_TRUE(help.contains(words[k].section('=', 0, 0)))
                << "not an option of " << command.toStdString() << ": " << line;
        }
        if (command == "protocol" && i + 1 < words.size()) {
            EXPECT_TRUE(help.contains(words[i + 1])) << line;
        }
    }
    // The chapter on the tool shows every command it has.
    for (const char* command : {"decode", "download", "downloads", "list", "stats", "dates", "save", "open", "levels",
                                "passport", "clear-meter", "protocol", "audit", "verify", "archive"})
        EXPECT_TRUE(commands.count(QString(command))) << "the manual has no example of " << command;
}

}  // namespace
}  // namespace zorvex::test
