#include "ui/archive/ArchivePushForm.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#ifdef ZORVEX_ARCHIVE
#include "archive/ArchivePush.h"
#include "archive/PgConnection.h"
#include "archive/Workstation.h"
#endif
#include "base/Exceptions.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TArchivePushForm::TArchivePushForm(QWidget* parent) : QDialog(parent) {
    setObjectName("ArchivePushForm");
    setWindowTitle("Отправить в архив лаборатории");
    setMinimumWidth(560);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    ConnectionEdit = new QLineEdit(this);
    ConnectionEdit->setObjectName("ConnectionEdit");
    ConnectionEdit->setPlaceholderText("postgresql://сервер/zorvex?sslmode=verify-full");
    form->addRow("Архив (строка подключения):", ConnectionEdit);
    PasswordLabel = new QLabel("Пароль:", this);
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName("PasswordEdit");
    PasswordEdit->setEchoMode(QLineEdit::Password);
    form->addRow(PasswordLabel, PasswordEdit);
    PasswordLabel->hide();
    PasswordEdit->hide();
    layout->addLayout(form);
    WorkstationLabel = new QLabel(this);
    WorkstationLabel->setObjectName("WorkstationLabel");
    layout->addWidget(WorkstationLabel);
    StageLabel = new QLabel(this);
    StageLabel->setObjectName("StageLabel");
    layout->addWidget(StageLabel);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(0);
    layout->addWidget(ProgressBar);
    ReportMemo = new QPlainTextEdit(this);
    ReportMemo->setObjectName("ReportMemo");
    ReportMemo->setReadOnly(true);
    layout->addWidget(ReportMemo);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    SendBtn = new QPushButton("Отправить", this);
    SendBtn->setObjectName("SendBtn");
    SendBtn->setDefault(true);
    CancelBtn = new QPushButton("Закрыть", this);
    CancelBtn->setObjectName("CancelBtn");
    buttons->addWidget(SendBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(SendBtn, &QPushButton::clicked, this, [this] { SendBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });

#ifdef ZORVEX_ARCHIVE
    if (HasMainDatabase()) {
        try {
            if (const auto remembered = archive::RememberedConnection(MainDatabase()))
                ConnectionEdit->setText(Q(*remembered));
            if (const auto id = archive::KeptWorkstationId(MainDatabase()))
                WorkstationLabel->setText(Q("Рабочая станция: " + *id + " (компьютер «" + archive::HostName() +
                                            "», пользователь «" + archive::UserName() + "»)"));
        } catch (const std::exception& e) {
            ReportMemo->setPlainText(Q(e.what()));
        }
    }
#else
    SendBtn->setEnabled(false);
    ReportMemo->setPlainText("Архив лаборатории не поддерживается этой сборкой");
#endif
}

void TArchivePushForm::SendBtnClick() {
    if (running_) return;  // a click that the progress let through
    running_ = true;
    stopAsked_ = false;
    SendBtn->setEnabled(false);
    ConnectionEdit->setEnabled(false);
    CancelBtn->setText("Отмена");
    try {
        Push();
    } catch (const std::exception& e) {
        StageLabel->setText("Не отправлено");
        ReportMemo->setPlainText(Q(e.what()));
    }
    running_ = false;
    SendBtn->setEnabled(true);
    ConnectionEdit->setEnabled(true);
    CancelBtn->setText("Закрыть");
}

void TArchivePushForm::CancelBtnClick() {
    if (running_)
        stopAsked_ = true;
    else
        accept();
}

void TArchivePushForm::reject() {
    // Esc or the close box while sending stops the push first.
    if (running_)
        stopAsked_ = true;
    else
        QDialog::reject();
}

void TArchivePushForm::AskForPassword(const QString& why) {
    PasswordLabel->show();
    PasswordEdit->show();
    PasswordEdit->clear();
    PasswordEdit->setFocus();
    StageLabel->setText("Введите пароль и нажмите «Отправить»");
    ReportMemo->setPlainText(why);
}

void TArchivePushForm::Push() {
#ifdef ZORVEX_ARCHIVE
    using namespace archive;
    const std::string conninfo = ConnectionEdit->text().trimmed().toStdString();
    if (conninfo.empty()) throw Exception("Не задан архив: укажите строку подключения к серверу архива");
    std::optional<std::string> password;
    if (!PasswordEdit->isHidden() && !PasswordEdit->text().isEmpty()) password = PasswordEdit->text().toStdString();
    StageLabel->setText("Подключение...");
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    std::unique_ptr<TPgConnection> conn;
    try {
        conn = TPgConnection::Connect(conninfo, password);
    } catch (const EArchiveConnectError& e) {
        if (e.Failure() == TConnectFailure::PasswordNeeded || e.Failure() == TConnectFailure::WrongPassword) {
            AskForPassword(Q(e.what()));
            return;
        }
        throw;
    }
    const TPushReport report = PushToArchive(*conn, MainDatabase(), [this](const TPushProgress& p) {
        StageLabel->setText(Q(p.stage));
        ProgressBar->setRange(0, p.total > 0 ? static_cast<int>(std::min<std::int64_t>(p.total, 1 << 30)) : 0);
        if (p.total > 0) ProgressBar->setValue(static_cast<int>(std::min(p.done, p.total)));
        QApplication::processEvents();
        return !stopAsked_;
    });
    RememberConnection(MainDatabase(), conninfo);
    WorkstationLabel->setText(Q("Рабочая станция: " + report.workstation.id + " (компьютер «" +
                                report.workstation.host + "», пользователь «" + report.workstation.user + "»)"));
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(1);
    StageLabel->setText("Отправлено");
    std::string text = "Архив: " + report.archiveTarget + "\nИзмерений новых: " +
                       std::to_string(report.measurementsAdded) + ", с изменёнными рабочим местом или высотой: " +
                       std::to_string(report.measurementsChanged) + "\nЗагрузок из прибора: " +
                       std::to_string(report.downloads) + "\nПротоколов: " + std::to_string(report.protocols);
    if (report.auditLogFound) text += "\nЗаписей журнала изменений: " + std::to_string(report.auditEntries);
    if (report.unreadableRows > 0)
        text += "\nНе отправлено нечитаемых записей: " + std::to_string(report.unreadableRows);
    for (const auto& line : report.refusedProtocols) text += "\n" + line;
    ReportMemo->setPlainText(Q(text));
#endif
}

}  // namespace zorvex
