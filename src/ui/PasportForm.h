#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

#include "base/DateTime.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace zorvex {

// The passport of the attached meter, read anew through the driver link every
// time the dialog is shown and after "...".
//
// Use:
//     TPasportForm dialog;
//     dialog.exec();
//
// When no meter answers, "Устройство не найдено" is shown in an error box
// through the prompts seam and the dialog stays open with the texts it had.
class TPasportForm final : public QDialog {
    Q_OBJECT
public:
    explicit TPasportForm(QWidget* parent = nullptr);

    // Called by "..." before the passport is read again; the main window sets
    // its handler of "Переустановить дату поверки..." here.
    std::function<void()> OnResetCalibrationDate;

    // ---- event handlers
    // Reads the passport; raises "Устройство не найдено" or a link error,
    // leaving the values shown so far.
    void FormShow();
    void SpeedButton1Click();
    void BitBtn1Click();

    // ---- components
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QWidget* Shape1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label5 = nullptr;   // serial number
    QLabel* Label6 = nullptr;   // power-on count
    QLabel* Label7 = nullptr;   // running time
    QLabel* Label9 = nullptr;   // firmware version
    QLabel* Label11 = nullptr;  // calibration date
    QToolButton* SpeedButton1 = nullptr;
    QPushButton* BitBtn1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace zorvex
