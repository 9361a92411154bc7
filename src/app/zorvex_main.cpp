// The windowed program: run-wide settings, the Qt boxes behind the prompts
// seam, the main window on data.db in the start-up directory, and the
// top-level handler that shows a failure of any event handler in an error box
// while the window stays usable.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

#include "base/Prompts.h"
#include "base/RunSettings.h"
#include "ui/QtPrompts.h"
#include "ui/HandlerGuard.h"
#include "ui/main/Mainform.h"

namespace {

class TZorvexApplication final : public QApplication {
public:
    using QApplication::QApplication;

    // Last line of defence: handlers guard themselves, but a failure that
    // still reaches the dispatch is shown here instead of ending the program.
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            zorvex::ShowCurrentException();
            return false;
        }
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    zorvex::ApplyRunSettings();
    TZorvexApplication app(argc, argv);
    zorvex::ResetNumericLocale();
    // Qt's own dialog texts (file dialogs, standard buttons) in Russian too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    zorvex::InstallPrompts(std::make_shared<zorvex::QtPrompts>());

    zorvex::TMainform mainform("data.db");
    mainform.show();
    return QApplication::exec();
}
