#pragma once

#include <QPrintPreviewDialog>
#include <string>

#include "report/ReportEngine.h"

class QAction;

namespace zorvex::report {

// The preview window of a prepared document: page navigation and zoom,
// printing through the system's printers and page setup (all of
// QPrintPreviewDialog), and "Сохранить в PDF". Run it with exec(); the
// document is painted from its prepared pages, so repaints after a page
// setup change do not read the data sources again.
class ReportPreviewDialog : public QPrintPreviewDialog {
    Q_OBJECT
public:
    explicit ReportPreviewDialog(PreparedReport report, QWidget* parent = nullptr);

    const PreparedReport& Report() const { return report_; }
    QAction* SavePdfAction() const { return savePdf_; }
    // The name "Сохранить в PDF" offers (without extension; empty: none).
    void SetPdfFileName(std::string name) { pdfFileName_ = std::move(name); }
    const std::string& PdfFileName() const { return pdfFileName_; }

public slots:
    // Asks for a file name, starting where files are saved (AskSaveFileName),
    // and writes the document there; a failure is reported in a message box.
    void SaveAsPdf();

private slots:
    void PaintPages(QPrinter* printer);

private:
    PreparedReport report_;
    QAction* savePdf_ = nullptr;
    std::string pdfFileName_;
};

// The name a protocol's PDF is offered under: "Протокол № 77", or "Протокол"
// when the protocol has no number.
std::string ProtocolPdfFileName(const std::string& protocolNumber);

}  // namespace zorvex::report
