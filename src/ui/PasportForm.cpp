#include "ui/PasportForm.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <cmath>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "device/ZorvexDriver.h"
#include "storage/PassportTexts.h"
#include "ui/GetDevDataForm.h"
#include "ui/HandlerGuard.h"

namespace zorvex {

namespace {

constexpr int kValueX = 224;
constexpr int kTitleX = 32;
constexpr int kFirstRowY = 100;
constexpr int kRowStep = 34;
const char* const kNotFoundText = "(устройство не наёдено)";

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    label->move(x, y);
    label->adjustSize();
    return label;
}

void SetText(QLabel* label, const std::string& text) {
    label->setText(QString::fromStdString(text));
    label->adjustSize();
}

}  // namespace

TPasportForm::TPasportForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName("PasportForm");
    setWindowTitle("Паспорт прибора");
    setFont(QApplication::font());
    setFixedSize(461, 328);

    Shape1 = new QWidget(this);
    Shape1->setObjectName("Shape1");
    Shape1->setGeometry(0, 80, 461, 186);
    Shape1->setAutoFillBackground(true);
    QPalette white = Shape1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Shape1->setPalette(white);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(16, 14, 52, 52);
    Image1->setScaledContents(true);
    Image1->setPixmap(MeterPicture());

    Label1 = MakeLabel(this, "Label1", "Паспорт прибора Zorvex", 84, 0, true);
    QFont heading = Label1->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    Label1->setFont(heading);
    Label1->adjustSize();
    Label1->move(84, 40 - Label1->height() / 2);

    struct Row {
        QLabel** title;
        const char* titleName;
        const char* titleText;
        QLabel** value;
        const char* valueName;
        const char* valueText;
    };
    const Row rows[] = {
        {&Label2, "Label2", "Серийный номер", &Label5, "Label5", kNotFoundText},
        {&Label8, "Label8", "Версия ПО", &Label9, "Label9", kNotFoundText},
        {&Label3, "Label3", "Число включений", &Label6, "Label6", kNotFoundText},
        {&Label4, "Label4", "Время работы", &Label7, "Label7", kNotFoundText},
        {&Label10, "Label10", "Дата последней поверки", &Label11, "Label11", "99.99.9999"},
    };
    int y = kFirstRowY;
    for (const Row& row : rows) {
        *row.title = MakeLabel(this, row.titleName, row.titleText, kTitleX, y, true);
        *row.value = MakeLabel(this, row.valueName, row.valueText, kValueX, y, false);
        y += kRowStep;
    }

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setText("...");
    SpeedButton1->setToolTip("Переустановить дату поверки");
    SpeedButton1->setGeometry(400, kFirstRowY + 4 * kRowStep - 4, 25, 23);
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { RunHandler([this] { SpeedButton1Click(); }); });

    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(193, 284, 75, 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

void TPasportForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) RunHandler([this] { FormShow(); });
}

void TPasportForm::FormShow() {
    TZorvexDriver driver;  // closes the device on every way out
    driver.ImageFile.clear();
    if (!driver.OpenDevice(0)) throw Exception(kDeviceNotFoundText);

    SetText(Label5, driver.GetSerialNumber());
    SetText(Label6, std::to_string(driver.GetPowerOnCount()));
    SetText(Label7, RunningTimeText(driver.GetRunningTime()));
    SetText(Label9, FirmwareVersionText(driver.GetFirmwareVersion()));
    SetText(Label11, CalibrationDateText(driver.GetCalibrationDate()));
    driver.CloseDevice();
}

void TPasportForm::SpeedButton1Click() {
    if (OnResetCalibrationDate) OnResetCalibrationDate();
    FormShow();
}

void TPasportForm::BitBtn1Click() {
    accept();
}

}  // namespace zorvex
