#include "ui/help/Help.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <filesystem>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Prompts.h"
#include "storage/Utilities.h"
#include "ui/HandlerGuard.h"
#include "ui/help/HelpTopics.h"
#include "ui/help/HelpWindow.h"

namespace zorvex {

namespace {

std::string& DirectoryOverride() {
    static std::string directory;
    return directory;
}

std::string& DocumentOverride() {
    static std::string directory;
    return directory;
}

QPointer<THelpWindow>& HelpWindowSlot() {
    static QPointer<THelpWindow> window;
    return window;
}

std::string DocumentFile(const char* name) {
    return Utf8FromPath(PathFromUtf8(DocumentDirectory()) / name);
}

QString QText(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Opens `document` where it exists and tells whether it did; a document the
// desktop cannot open is reported.
bool OpenExistingDocument(const std::string& document) {
    if (!IsExistingFile(document)) return false;
    if (!Prompts().OpenWithRegisteredApp(document))
        throw Exception("Не удалось открыть «" + document + "»: нет приложения для файлов этого типа");
    return true;
}

// Falls back on the built-in manual, or says which document is missing.
void ShowBuiltIn(const QString& chapter, QWidget* from, const std::string& document) {
    if (!ManualAvailable()) throw Exception("Документ не найден: " + document);
    ShowHelp(chapter, from);
}

class THelpKeyFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr) return false;
        // Inside the manual F1 has nothing further to show.
        if (widget->window()->objectName() != QLatin1String("HelpWindow")) {
            QWidget* focus = QApplication::focusWidget();
            RunHandler(
                [&] { OpenUserManual(focus != nullptr && focus->window() == widget->window() ? focus : widget); });
        }
        return true;  // handled once, not again by each parent
    }
};

}  // namespace

std::string DocumentDirectory() {
    return DocumentOverride().empty() ? DataLocations().documentDirectory : DocumentOverride();
}

std::string ManualDirectory() {
    if (!DirectoryOverride().empty()) return DirectoryOverride();
    return Utf8FromPath(PathFromUtf8(DocumentDirectory()) / "manual");
}

bool ManualAvailable() {
    return IsExistingFile(Utf8FromPath(PathFromUtf8(ManualDirectory()) / kHelpIndexChapter));
}

ManualDirectoryScope::ManualDirectoryScope(std::string directory) : previous_(std::move(DirectoryOverride())) {
    DirectoryOverride() = std::move(directory);
}

ManualDirectoryScope::~ManualDirectoryScope() {
    DirectoryOverride() = std::move(previous_);
}

DocumentDirectoryScope::DocumentDirectoryScope(std::string directory) : previous_(std::move(DocumentOverride())) {
    DocumentOverride() = std::move(directory);
}

DocumentDirectoryScope::~DocumentDirectoryScope() {
    DocumentOverride() = std::move(previous_);
}

THelpWindow& ShowHelp(const QString& chapter, QWidget* from) {
    if (!ManualAvailable())
        throw Exception("Руководство пользователя не найдено: " +
                        Utf8FromPath(PathFromUtf8(ManualDirectory()) / kHelpIndexChapter));
    // A modal dialog blocks every window but its own: the manual then opens as one of them.
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr && from != nullptr) owner = from->window();
    QPointer<THelpWindow>& window = HelpWindowSlot();
    if (window != nullptr && window->parentWidget() != owner) delete window.data();
    if (window == nullptr) window = new THelpWindow(QText(ManualDirectory()), owner);
    window->ShowChapter(chapter);
    window->show();
    window->raise();
    window->activateWindow();
    return *window;
}

THelpWindow* OpenHelpWindow() {
    return HelpWindowSlot().data();
}

void OpenUserManual(QWidget* focus) {
    const std::string document = DocumentFile(kManualChmFile);
    if (OpenExistingDocument(document)) return;
    ShowBuiltIn(HelpChapterFor(focus), focus, document);
}

void OpenNormsDocument(QWidget* from) {
    const std::string document = DocumentFile(kNormsChmFile);
    if (OpenExistingDocument(document)) return;
    ShowBuiltIn(QString::fromLatin1(kLevelsChapter), from, document);
}

void InstallHelpKey() {
    static QPointer<THelpKeyFilter> filter;
    if (filter != nullptr || qApp == nullptr) return;
    filter = new THelpKeyFilter(qApp);
    qApp->installEventFilter(filter);
}

}  // namespace zorvex
