#include "ui/help/HelpWindow.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/help/HelpBrowser.h"
#include "ui/help/HelpTopics.h"

namespace zorvex {

namespace {

QString ReadUtf8(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

bool IsChapterLink(const QString& href) {
    return !href.isEmpty() && !href.contains(QLatin1String("://")) && !href.startsWith(QLatin1Char('#'));
}

QString WithoutAnchor(const QString& chapter) {
    return chapter.section(QLatin1Char('#'), 0, 0);
}

}  // namespace

std::vector<THelpChapter> ManualContents(const QString& manualDirectory) {
    std::vector<THelpChapter> contents;
    contents.push_back({QString::fromLatin1(kHelpIndexChapter), QStringLiteral("Содержание")});
    QTextDocument index;
    index.setHtml(ReadUtf8(QDir(manualDirectory).filePath(QString::fromLatin1(kHelpIndexChapter))));
    for (QTextBlock block = index.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString href = fragment.charFormat().anchorHref();
            if (!fragment.charFormat().isAnchor() || !IsChapterLink(href)) continue;
            const QString file = WithoutAnchor(href);
            bool known = false;
            for (const THelpChapter& chapter : contents) known = known || chapter.file == file;
            if (!known) contents.push_back({file, fragment.text().trimmed()});
        }
    }
    return contents;
}

THelpWindow::THelpWindow(const QString& manualDirectory, QWidget* parent)
    : QWidget(parent, Qt::Window), directory_(manualDirectory), contents_(ManualContents(manualDirectory)) {
    setObjectName("HelpWindow");
    setWindowTitle(QStringLiteral("Руководство пользователя Zorvex"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(980, 680);

    auto* buttons = new QHBoxLayout;
    const auto addButton = [this, buttons](const char* name, const QString& text, const QString& tip) {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setText(text);
        button->setToolTip(tip);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        buttons->addWidget(button);
        return button;
    };
    BackBtn = addButton("BackBtn", QStringLiteral("← Назад"), QStringLiteral("Назад (Alt+←)"));
    ForwardBtn = addButton("ForwardBtn", QStringLiteral("Вперёд →"), QStringLiteral("Вперёд (Alt+→)"));
    HomeBtn = addButton("HomeBtn", QStringLiteral("Содержание"), QStringLiteral("Содержание руководства"));
    BackBtn->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    ForwardBtn->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    buttons->addStretch();

    HelpTabs = new QTabWidget(this);
    HelpTabs->setObjectName("HelpTabs");
    ContentsList = new QListWidget(HelpTabs);
    ContentsList->setObjectName("ContentsList");
    for (const THelpChapter& chapter : contents_) ContentsList->addItem(chapter.title);
    HelpTabs->addTab(ContentsList, QStringLiteral("Содержание"));

    auto* searchPage = new QWidget(HelpTabs);
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->setContentsMargins(4, 4, 4, 4);
    SearchEdit = new QLineEdit(searchPage);
    SearchEdit->setObjectName("SearchEdit");
    SearchEdit->setPlaceholderText(QStringLiteral("Слова для поиска, Enter"));
    SearchResults = new QListWidget(searchPage);
    SearchResults->setObjectName("SearchResults");
    searchLayout->addWidget(SearchEdit);
    searchLayout->addWidget(SearchResults);
    HelpTabs->addTab(searchPage, QStringLiteral("Поиск"));

    Browser = new THelpBrowser(this);
    Browser->setSearchPaths({directory_});

    auto* splitter = new QSplitter(this);
    splitter->addWidget(HelpTabs);
    splitter->addWidget(Browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({280, 700});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);

    connect(BackBtn, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardBtn, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(HomeBtn, &QToolButton::clicked, this, [this] { ShowChapter(QString::fromLatin1(kHelpIndexChapter)); });
    connect(Browser, &QTextBrowser::backwardAvailable, BackBtn, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardBtn, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] { SourceChanged(); });
    connect(ContentsList, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        ShowChapter(contents_[static_cast<std::size_t>(ContentsList->row(item))].file);
    });
    connect(ContentsList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        ShowChapter(contents_[static_cast<std::size_t>(ContentsList->row(item))].file);
    });
    connect(SearchEdit, &QLineEdit::returnPressed, this, [this] { Search(SearchEdit->text()); });
    connect(SearchResults, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { OpenSearchResult(SearchResults->row(item)); });
    connect(SearchResults, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { OpenSearchResult(SearchResults->row(item)); });
    BackBtn->setEnabled(false);
    ForwardBtn->setEnabled(false);
}

void THelpWindow::ShowChapter(const QString& chapter) {
    const QString file = WithoutAnchor(chapter);
    QUrl url = QUrl::fromLocalFile(QDir(directory_).filePath(file));
    if (chapter.contains(QLatin1Char('#'))) url.setFragment(chapter.section(QLatin1Char('#'), 1));
    // The same chapter again: shown anew, so the levels in it are those in force now.
    if (Browser->source().adjusted(QUrl::RemoveFragment) == url.adjusted(QUrl::RemoveFragment)) Browser->reload();
    Browser->setSource(url);
}

QString THelpWindow::CurrentChapter() const {
    const QUrl source = Browser->source();
    const QString file = source.fileName();
    return source.hasFragment() ? file + QLatin1Char('#') + source.fragment() : file;
}

void THelpWindow::SourceChanged() {
    const QString file = Browser->source().fileName();
    setWindowTitle(Browser->documentTitle().isEmpty()
                       ? QStringLiteral("Руководство пользователя Zorvex")
                       : Browser->documentTitle() + QStringLiteral(" — Руководство пользователя Zorvex"));
    const QSignalBlocker blocker(ContentsList);
    for (std::size_t i = 0; i < contents_.size(); ++i)
        if (contents_[i].file == file) ContentsList->setCurrentRow(static_cast<int>(i));
}

const QString& THelpWindow::PlainText(std::size_t chapter) {
    if (plainTexts_.size() != contents_.size()) {
        plainTexts_.assign(contents_.size(), QString());
        for (std::size_t i = 0; i < contents_.size(); ++i) {
            QTextDocument document;
            document.setHtml(ReadUtf8(QDir(directory_).filePath(contents_[i].file)));
            plainTexts_[i] = document.toPlainText();
        }
    }
    return plainTexts_[chapter];
}

void THelpWindow::Search(const QString& words) {
    SearchResults->clear();
    searchWords_ = words.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    HelpTabs->setCurrentIndex(1);
    if (searchWords_.isEmpty()) return;
    for (std::size_t i = 0; i < contents_.size(); ++i) {
        const QString& text = PlainText(i);
        bool all = true;
        for (const QString& word : searchWords_) all = all && text.contains(word, Qt::CaseInsensitive);
        if (!all) continue;
        auto* item = new QListWidgetItem(contents_[i].title, SearchResults);
        item->setData(Qt::UserRole, contents_[i].file);
    }
    if (SearchResults->count() == 0) {
        auto* none = new QListWidgetItem(QStringLiteral("Ничего не найдено"), SearchResults);
        none->setFlags(Qt::NoItemFlags);
    }
}

void THelpWindow::OpenSearchResult(int row) {
    QListWidgetItem* item = SearchResults->item(row);
    if (item == nullptr || !item->data(Qt::UserRole).isValid() || searchWords_.isEmpty()) return;
    ShowChapter(item->data(Qt::UserRole).toString());
    Browser->moveCursor(QTextCursor::Start);
    Browser->find(searchWords_.front());
}

}  // namespace zorvex
