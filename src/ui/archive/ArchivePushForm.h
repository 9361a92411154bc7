#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace zorvex {

// "Отправить в архив лаборатории": sends what the main database holds and the
// lab archive lacks. The connection starts as the one remembered in data.db;
// when the server asks for a password the dialog shows a password field,
// whose text serves this dialog only and is never stored. The push runs on
// the window's thread and lets events through from its progress, so "Отмена"
// stops it; a stopped or failed push leaves the archive as it was.
//
// Use:
//     TArchivePushForm dialog(parent);
//     RunModal(dialog);
class TArchivePushForm final : public QDialog {
public:
    explicit TArchivePushForm(QWidget* parent = nullptr);

    QLineEdit* ConnectionEdit = nullptr;
    QLabel* PasswordLabel = nullptr;
    QLineEdit* PasswordEdit = nullptr;  // shown when the server asks for a password
    QLabel* WorkstationLabel = nullptr;
    QLabel* StageLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPlainTextEdit* ReportMemo = nullptr;
    QPushButton* SendBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // "Отправить": connects and pushes; the outcome goes to ReportMemo.
    void SendBtnClick();
    // "Отмена" while a push runs stops it; otherwise closes the dialog.
    void CancelBtnClick();
    bool Running() const { return running_; }

protected:
    void reject() override;

private:
    void Push();
    void AskForPassword(const QString& why);

    bool running_ = false;
    bool stopAsked_ = false;
};

}  // namespace zorvex
