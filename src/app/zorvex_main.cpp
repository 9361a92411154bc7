// The windowed program: run-wide settings, the Qt boxes behind the prompts
// seam, the main window on the program's data.db (in the start-up directory,
// or in the user's data directory once installed), and the top-level handler
// that shows a failure of any event handler in an error box while the window
// stays usable.
#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Prompts.h"
#include "base/RunSettings.h"
#include "device/DemoMeter.h"
#include "ui/QtPrompts.h"
#include "ui/HandlerGuard.h"
#include "ui/main/Mainform.h"

namespace {

// Where the window's database is, for --help; the data directory itself is not made for it.
std::string DatabaseHelpText() {
    try {
        const zorvex::TDataLocations& locations = zorvex::DataLocations();
        if (locations.installed) return "База данных — " + locations.databaseFile + ".\n";
    } catch (const zorvex::Exception&) {
        return "База данных data.db — в каталоге данных пользователя.\n";
    }
    return "База данных data.db — в каталоге, из которого запущена программа.\n";
}

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

// The demonstration meter asked for on the command line ("--demo", "--demo=usb");
// nothing else is simulated. Exits with a message for an unknown option.
std::optional<zorvex::TDemoLink> DemoOption(int argc, char* argv[]) {
    std::optional<zorvex::TDemoLink> demo;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        try {
            if (const auto link = zorvex::ParseDemoOption(argument)) {
                demo = link;
                continue;
            }
        } catch (const zorvex::Exception& e) {
            std::cerr << "zorvex: " << e.what() << "\n";
            std::exit(2);
        }
        if (argument == "--help" || argument == "-h") {
            std::cout << "Использование: zorvex [--demo[=usb]]\n"
                         "  --demo[=usb]  демонстрационный прибор вместо настоящего: на связи через драйвер\n"
                         "                или, с =usb, через USB\n"
                      << DatabaseHelpText();
            std::exit(0);
        }
        std::cerr << "zorvex: неизвестный параметр " << argument << "\n";
        std::exit(2);
    }
    return demo;
}

}  // namespace

int main(int argc, char* argv[]) {
    zorvex::ApplyRunSettings();
    TZorvexApplication app(argc, argv);  // takes Qt's own options out of argv
    // Ties the window to the installed menu entry and its icon (Wayland shells, task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zorvex.Zorvex"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.zorvex.Zorvex")));
    const std::optional<zorvex::TDemoLink> demo = DemoOption(argc, argv);
    std::optional<zorvex::TDemoMeter> demoMeter;
    if (demo) demoMeter.emplace(*demo);
    zorvex::ResetNumericLocale();
    // Qt's own dialog texts (file dialogs, standard buttons) in Russian too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    zorvex::InstallPrompts(std::make_shared<zorvex::QtPrompts>());

    std::string databaseFile;
    try {
        zorvex::EnsureDataDirectory();
        databaseFile = zorvex::DataLocations().databaseFile;
    } catch (...) {
        zorvex::ShowCurrentException();
        return 1;
    }
    zorvex::TMainform mainform(databaseFile);
    if (demo) mainform.MarkDemonstrationMeter();
    mainform.show();
    return QApplication::exec();
}
