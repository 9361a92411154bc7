// The windowed program. Until the main window arrives it opens (or creates)
// data.db in the start-up directory and shows how many measurements it holds.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>

#include "base/Exceptions.h"
#include "base/RunSettings.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"

int main(int argc, char* argv[]) {
    zorvex::ApplyRunSettings();
    QApplication app(argc, argv);
    zorvex::ResetNumericLocale();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Zorvex"));
    auto* label = new QLabel(&window);
    label->setAlignment(Qt::AlignCenter);
    try {
        zorvex::SetMainDatabase(zorvex::OpenDatabase("data.db"));
        const auto count = zorvex::MainDatabase().ScalarInt("select count(*) from measurements");
        label->setText(QStringLiteral("Измерений в базе: %1").arg(count));
    } catch (const zorvex::Exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Ошибка"), QString::fromUtf8(e.Message()));
        label->setText(QStringLiteral("База данных не открыта"));
    }
    window.setCentralWidget(label);
    window.resize(480, 200);
    window.show();
    return QApplication::exec();
}
