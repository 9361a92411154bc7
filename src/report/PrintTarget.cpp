#include "report/PrintTarget.h"

#include <QPrinter>
#include <QString>

#include "base/Exceptions.h"
#include "storage/FileSafety.h"

namespace zorvex::report {

void CheckPrintTarget(QPrinter& target) {
    const QString file = target.outputFileName();
    if (target.outputFormat() != QPrinter::PdfFormat || file.isEmpty()) return;
    try {
        CheckOutputPath(file.toStdString());
    } catch (const Exception&) {
        target.setOutputFileName(QString());
        throw;
    }
}

}  // namespace zorvex::report
