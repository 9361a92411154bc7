#include "ui/AboutForm.h"

#include <QApplication>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <cstdlib>
#include <cstring>

#include "base/Clock.h"
#include "base/RunSettings.h"
#include "storage/SQLiteDatabase.h"
#include "storage/Utilities.h"
#include "ui/HandlerGuard.h"

namespace zorvex {

namespace {

constexpr int kClientWidth = 439;
constexpr int kClientHeight = 255;
constexpr int kShift = 15;
constexpr int kDisc = 16;

// A small monochrome mark: a coil with field lines around it.
QPixmap LogoPicture() {
    QPixmap picture(40, 40);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(4, 12, 32, 16));
    p.drawEllipse(QRectF(11, 5, 18, 30));
    p.setBrush(Qt::black);
    p.drawRect(QRectF(16, 15, 8, 10));
    return picture;
}

}  // namespace

void FadePicture(QImage& picture) {
    for (int y = 0; y < picture.height(); ++y) {
        auto* px = picture.scanLine(y);
        for (int x = 0; x < picture.width(); ++x, px += 4) {
            const int b = px[0], g = px[1], r = px[2];
            const int k = std::abs(b - g - r) >= 32 ? 3 : 1;
            for (int c = 0; c < 3; ++c) px[c] = static_cast<std::uint8_t>(((k - 1) * px[c] + 254) / k);
            px[3] = 0;
        }
    }
}

void ShiftPicture(QImage& picture) {
    const int w = picture.width();
    const int half = w / 2;
    if (half <= kShift) return;
    for (int y = 0; y < picture.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(picture.scanLine(y));
        // Columns kShift .. half - 1 land on 0 .. half - 1 - kShift.
        std::memmove(row, row + kShift, sizeof(std::uint32_t) * (half - kShift));
        // The shifted left half again from half + kShift on, as far as the picture reaches.
        const int count = std::min(half, w - (half + kShift));
        if (count > 0) std::memmove(row + half + kShift, row, sizeof(std::uint32_t) * count);
    }
}

void DrawDiscs(QImage& picture) {
    const int w = picture.width();
    const int h = picture.height();
    QPainter p(&picture);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 8; ++i) {
        const int x = ((Random(w / 2) - Random(w / 2)) & ~(kDisc - 1)) + w / 2;
        const int y = ((Random(h / 20) - Random(h / 20)) & ~(kDisc - 1)) + 2 * h / 3;
        p.setBrush(QColor(128, 192, 128 + Random(128)));
        p.drawEllipse(QRect(x, y, kDisc, kDisc));
    }
}

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ProgramFileName(ProgramFile()) {
    setObjectName("AboutForm");
    setWindowTitle("О программе Zorvex");
    setFont(QApplication::font());
    setFixedSize(kClientWidth, kClientHeight);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(8, 8, 425, 105);
    Panel1->setAutoFillBackground(true);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName("Image1");
    Image1->setGeometry(8, 8, 40, 40);
    Image1->setPixmap(LogoPicture());

    Label1 = new QLabel("Zorvex", Panel1);
    Label1->setObjectName("Label1");
    QFont name = font();
    name.setPixelSize(32);
    name.setBold(true);
    Label1->setFont(name);
    Label1->move(56, 6);
    Label1->adjustSize();

    Label2 = new QLabel("© Zorvex. Все права защищены.", Panel1);
    Label2->setObjectName("Label2");
    QFont notice = font();
    notice.setPixelSize(17);
    notice.setBold(true);
    Label2->setFont(notice);
    Label2->move(58, 46);
    Label2->adjustSize();

    InfoLabel = new QLabel(Panel1);
    InfoLabel->setObjectName("InfoLabel");
    QFont courier;
    courier.setFamilies({"Courier New", "Liberation Mono", "DejaVu Sans Mono"});
    courier.setPixelSize(12);
    courier.setBold(true);
    InfoLabel->setFont(courier);
    InfoLabel->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    InfoLabel->setGeometry(8, 60, 425 - 16, 105 - 60 - 6);

    Button1 = new QPushButton("Закрыть", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(188, 200, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { accept(); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(123);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    // The picture of the client area, taken at creation.
    picture_ = QImage(kClientWidth, kClientHeight, QImage::Format_RGB32);
    picture_.fill(Qt::white);
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) RunHandler([this] { FormShow(); });
}

void TAboutForm::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) FormClose();
    QDialog::hideEvent(event);
}

void TAboutForm::FormShow() {
    Timer1->start();
    const std::int64_t count = MainDatabase().ScalarInt("select count(*) from measurements");
    const std::string text = "Версия " + FileVersionText(ProgramFileName, "%d.%d") + "\n" + "В базе данных " +
                             std::to_string(count) + " измерений";
    InfoLabel->setText(QString::fromStdString(text));
}

void TAboutForm::FormClose() {
    Timer1->stop();
}

void TAboutForm::Timer1Timer() {
    FadePicture(picture_);
    ShiftPicture(picture_);
    DrawDiscs(picture_);
    update();
}

void TAboutForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

}  // namespace zorvex
