#include "ui/QtPrompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace zorvex {
namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Warning: return QMessageBox::Warning;
        case MessageIcon::Error: return QMessageBox::Critical;
        case MessageIcon::Question: return QMessageBox::Question;
        default: return QMessageBox::NoIcon;
    }
}

}  // namespace

void QtPrompts::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    QMessageBox box(IconOf(icon), Q(caption), Q(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtPrompts::Confirm(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtPrompts::InputText(const std::string& caption, const std::string& prompt,
                                                const std::string& initial) {
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), Q(caption), Q(prompt),
                                               QLineEdit::Normal, Q(initial), &ok);
    if (!ok) return std::nullopt;
    return S(text);
}

std::optional<std::string> QtPrompts::OpenFileName(const std::string& title, const std::string& filter,
                                                   const std::string& directory) {
    const QString name =
        QFileDialog::getOpenFileName(QApplication::activeWindow(), Q(title), Q(directory), Q(filter));
    if (name.isEmpty()) return std::nullopt;
    return S(name);
}

std::optional<std::string> QtPrompts::SaveFileName(const std::string& title, const std::string& filter,
                                                   const std::string& defaultExtension,
                                                   const std::string& directory) {
    QFileDialog dialog(QApplication::activeWindow(), Q(title), Q(directory), Q(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(Q(defaultExtension).remove(0, defaultExtension.starts_with('.') ? 1 : 0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return S(dialog.selectedFiles().first());
}

void QtPrompts::Beep() { QApplication::beep(); }

bool QtPrompts::OpenWithRegisteredApp(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(Q(path)).absoluteFilePath()));
}

}  // namespace zorvex
