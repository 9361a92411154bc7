#include "app/cli/pdf/ProtocolPdf.h"

#include <QGuiApplication>
#include <memory>

#include "report/ProtocolReportFill.h"

namespace zorvex::cli {

void RenderStoredProtocolPdf(int id, const std::string& pdfPath) {
    // Fonts and the PDF writer need an application object; the offscreen
    // platform needs no display.
    std::unique_ptr<QGuiApplication> app;
    if (!QGuiApplication::instance()) {
        static int argc = 3;
        static char name[] = "zorvex-cli", option[] = "-platform", platform[] = "offscreen";
        static char* argv[] = {name, option, platform, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    report::ExportProtocolPdf(report::StoredProtocolReportData(id), pdfPath);
}

}  // namespace zorvex::cli
