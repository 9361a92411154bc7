#include "report/ReportPreview.h"

#include <QAction>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QToolBar>

#include "base/Exceptions.h"
#include "base/Prompts.h"
#include "base/SaveLocation.h"
#include "storage/Utilities.h"
#include "report/PrintTarget.h"

namespace zorvex::report {

ReportPreviewDialog::ReportPreviewDialog(PreparedReport report, QWidget* parent)
    : QPrintPreviewDialog(parent), report_(std::move(report)) {
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(QStringLiteral("Предварительный просмотр"));
    setModal(true);
    // The window's own close box ends the preview; no context-help button.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinMaxButtonsHint);

    // The document is placed from the sheet's corner, so the printer must
    // address the whole sheet.
    QPrinter* sheet = printer();
    sheet->setFullPage(true);
    sheet->setPageLayout(QPageLayout(QPageSize(QSizeF(report_.pageWidth, report_.pageHeight), QPageSize::Millimeter),
                                     QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));

    savePdf_ = new QAction(QStringLiteral("Сохранить в PDF"), this);
    savePdf_->setObjectName(QStringLiteral("SavePdfAction"));
    savePdf_->setToolTip(QStringLiteral("Сохранить в PDF"));
    connect(savePdf_, &QAction::triggered, this, &ReportPreviewDialog::SaveAsPdf);
    if (auto* toolbar = findChild<QToolBar*>()) {
        toolbar->addSeparator();
        toolbar->addAction(savePdf_);
    } else {
        addAction(savePdf_);
    }

    connect(this, &QPrintPreviewDialog::paintRequested, this, &ReportPreviewDialog::PaintPages);
}

void ReportPreviewDialog::PaintPages(QPrinter* target) {
    try {
        CheckPrintTarget(*target);
        RenderReport(report_, *target);
    } catch (const Exception& error) {
        Prompts().ShowMessage(error.Message(), "Ошибка", MessageIcon::Error);
    }
}

void ReportPreviewDialog::SaveAsPdf() {
    const auto path = AskSaveFileName("Сохранить в PDF", "Документ PDF (*.pdf)", "pdf", pdfFileName_);
    if (!path) return;
    try {
        ExportPdf(report_, *path);
    } catch (const Exception& error) {
        Prompts().ShowMessage(error.Message(), "Ошибка", MessageIcon::Error);
    }
}

std::string ProtocolPdfFileName(const std::string& protocolNumber) {
    const std::string number = FileNamePart(TrimBlanks(protocolNumber));
    return number.empty() ? std::string("Протокол") : "Протокол № " + number;
}

}  // namespace zorvex::report
