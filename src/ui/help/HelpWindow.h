#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QToolButton;

namespace zorvex {

class THelpBrowser;

// One entry of the manual's contents: a chapter file and its title.
struct THelpChapter {
    QString file;
    QString title;
};

// The chapters the manual's index links to, in its order.
std::vector<THelpChapter> ManualContents(const QString& manualDirectory);

// The manual's window: contents and search at the left, the chapter at the
// right, with back, forward and the contents page above it.
class THelpWindow final : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(const QString& manualDirectory, QWidget* parent = nullptr);

    // Shows `chapter` ("protocols.html", "protocols.html#list").
    void ShowChapter(const QString& chapter);
    // The chapter on view, as ShowChapter takes it.
    QString CurrentChapter() const;
    // Lists the chapters holding every word of `words` (case ignored).
    void Search(const QString& words);
    // Opens the search result in row `row` and shows the first place of the words.
    void OpenSearchResult(int row);
    const std::vector<THelpChapter>& Contents() const { return contents_; }

    QToolButton* BackBtn = nullptr;
    QToolButton* ForwardBtn = nullptr;
    QToolButton* HomeBtn = nullptr;
    QTabWidget* HelpTabs = nullptr;
    QListWidget* ContentsList = nullptr;
    QLineEdit* SearchEdit = nullptr;
    QListWidget* SearchResults = nullptr;
    THelpBrowser* Browser = nullptr;

private:
    void SourceChanged();
    const QString& PlainText(std::size_t chapter);

    QString directory_;
    std::vector<THelpChapter> contents_;
    std::vector<QString> plainTexts_;  // filled on the first search
    QStringList searchWords_;
};

}  // namespace zorvex
