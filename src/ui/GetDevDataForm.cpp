#include "ui/GetDevDataForm.h"

#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include "base/Clock.h"
#include "ui/HandlerGuard.h"

namespace zorvex {

namespace {

// The lit dot carries over from one download to the next.
int gAnimationCounter = 0;

constexpr int kDotCount = 8;
constexpr std::array<int, kDotCount> kDotX = {106, 131, 157, 183, 209, 235, 261, 286};
constexpr int kDotY = 34;
const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);

QFont FormFont() {
    QFont font;
    font.setFamilies({"Tahoma", "Liberation Sans", "DejaVu Sans"});
    font.setPixelSize(12);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// "запись", "записи" or "записей" as the number before it asks.
QString Plural(std::size_t n, const char* one, const char* few, const char* many) {
    const std::size_t lastTwo = n % 100, last = n % 10;
    if (lastTwo >= 11 && lastTwo <= 14) return many;
    if (last == 1) return one;
    if (last >= 2 && last <= 4) return few;
    return many;
}

std::size_t RecordsOfMethod(const TMeasureDataP& data, int method) {
    std::size_t n = 0;
    for (int kind = 0; kind < kKindCount; ++kind) n += data(method, kind).Records.size();
    return n;
}

}  // namespace

QString StoreCountsText(const TMeasureDataP& data, std::int32_t singleValues,
                        const std::array<TStoreCounts, kMethodCount>& counts) {
    QString text;
    for (int method = 0; method < kMethodCount; ++method) {
        const std::size_t records = RecordsOfMethod(data, method);
        QString line = QString("%1: %2 %3")
                           .arg(method == kMethodSingle ? "Одиночные" : "Мониторинг")
                           .arg(records)
                           .arg(Plural(records, "запись", "записи", "записей"));
        // The driver link counts a 50 Hz reading's two values apart.
        if (method == kMethodSingle && singleValues >= 0 && static_cast<std::size_t>(singleValues) != records)
            line += QString(" (%1 %2)")
                        .arg(singleValues)
                        .arg(Plural(static_cast<std::size_t>(singleValues), "значение", "значения", "значений"));
        line += QString(", новых %1, уже в базе %2").arg(counts[method].added).arg(counts[method].skipped);
        text += (method == 0 ? "" : "\n") + line;
    }
    return text;
}

QPixmap MeterPicture() {
    QPixmap picture(48, 48);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    // The probe on its short neck.
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(90, 90, 100));
    p.drawRect(QRectF(21, 1, 6, 6));
    p.setBrush(QColor(200, 60, 40));
    p.drawEllipse(QRectF(19.5, 0.5, 9, 4));
    // The body.
    QLinearGradient body(10, 0, 38, 0);
    body.setColorAt(0, QColor(70, 80, 95));
    body.setColorAt(0.5, QColor(120, 132, 150));
    body.setColorAt(1, QColor(60, 68, 82));
    p.setBrush(body);
    p.setPen(QPen(QColor(30, 34, 40), 1));
    p.drawRoundedRect(QRectF(11.5, 6.5, 25, 40), 4, 4);
    // The display with a reading.
    p.setBrush(QColor(190, 215, 170));
    p.setPen(QPen(QColor(30, 40, 30), 1));
    p.drawRect(QRectF(14.5, 10.5, 19, 11));
    p.setPen(QColor(20, 30, 20));
    QFont digits;
    digits.setPixelSize(7);
    digits.setBold(true);
    p.setFont(digits);
    p.drawText(QRectF(14.5, 10.5, 19, 11), Qt::AlignCenter, "250");
    // Keys.
    p.setPen(Qt::NoPen);
    const QColor keys[6] = {QColor(220, 220, 220), QColor(220, 220, 220), QColor(220, 220, 220),
                            QColor(90, 170, 90),   QColor(220, 220, 220), QColor(210, 70, 60)};
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) {
            p.setBrush(keys[row * 3 + col]);
            p.drawRoundedRect(QRectF(15 + col * 6.5, 26 + row * 7, 4.5, 4), 1, 1);
        }
    // The cable socket at the foot.
    p.setBrush(QColor(30, 30, 30));
    p.drawRect(QRectF(21, 42, 6, 3));
    return picture;
}

QPixmap ComputerPicture() {
    QPixmap picture(48, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    // The screen.
    p.setPen(QPen(QColor(40, 40, 45), 1));
    p.setBrush(QColor(200, 200, 195));
    p.drawRoundedRect(QRectF(0.5, 0.5, 30, 23), 2, 2);
    QLinearGradient glass(0, 3, 0, 20);
    glass.setColorAt(0, QColor(70, 130, 220));
    glass.setColorAt(1, QColor(20, 50, 140));
    p.setBrush(glass);
    p.drawRect(QRectF(3.5, 3.5, 24, 17));
    // A curve on the screen, as the program draws it.
    p.setPen(QPen(QColor(255, 255, 255), 1));
    const QPointF curve[] = {{5, 17}, {9, 13}, {13, 15}, {17, 9}, {21, 11}, {26, 6}};
    p.drawPolyline(curve, 6);
    // The stand.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(QRectF(12, 24, 7, 4));
    p.drawRoundedRect(QRectF(6, 28, 19, 3), 1, 1);
    // The tower.
    p.setPen(QPen(QColor(40, 40, 45), 1));
    p.setBrush(QColor(200, 200, 195));
    p.drawRoundedRect(QRectF(34.5, 1.5, 13, 30), 1.5, 1.5);
    p.setPen(QPen(QColor(110, 110, 110), 1));
    p.drawLine(QPointF(37, 6.5), QPointF(45, 6.5));
    p.drawLine(QPointF(37, 9.5), QPointF(45, 9.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 190, 60));
    p.drawEllipse(QRectF(39.5, 24, 3, 3));
    return picture;
}

TAnimationDot::TAnimationDot(QWidget* parent) : QWidget(parent) {}

void TAnimationDot::SetLit(bool lit) {
    lit_ = lit;
    update();
}

void TAnimationDot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A circle as wide as the shape, in the middle of its height.
    const double d = std::min(width(), height()) - 1.0;
    const QRectF circle((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    p.setPen(lit_ ? QPen(Qt::black, 1) : QPen(Qt::NoPen));
    p.setBrush(lit_ ? kBlue : kNavy);
    p.drawEllipse(circle);
}

TGetDevDataForm::TGetDevDataForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName("GetDevDataForm");
    setWindowTitle("Получение данных");
    setFont(FormFont());
    setFixedSize(432, 235);

    Shape1 = new QWidget(this);
    Shape1->setObjectName("Shape1");
    Shape1->setGeometry(0, 103, 432, 88);
    Shape1->setAutoFillBackground(true);
    QPalette white = Shape1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Shape1->setPalette(white);

    InfoLabel1 = MakeLabel(this, "InfoLabel1", 65, 125, "Получение записей одиночных измерений...");
    Label1 = MakeLabel(this, "Label1", 314, 125, "0");
    InfoLabel2 = MakeLabel(this, "InfoLabel2", 65, 151, "Получение записей мониторинга...");
    InfoLabel2->hide();
    Label2 = MakeLabel(this, "Label2", 314, 151, "0");
    Label2->hide();

    Button1 = new QPushButton("Отмена", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(177, 198, 80, 27);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { RunHandler([this] { Button1Click(); }); });

    Panel1 = new QLabel("Данные получены", this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(34, 17, 372, 79);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setAlignment(Qt::AlignCenter);
    QFont bold = font();
    bold.setBold(true);
    Panel1->setFont(bold);
    Panel1->setContentsMargins(0, 0, 0, 40);  // room for Label3's two lines below the caption
    Label3 = new QLabel(Panel1);
    Label3->setObjectName("Label3");
    Label3->setGeometry(2, 38, 368, 38);
    Label3->setAlignment(Qt::AlignCenter);
    QFont regular = font();
    regular.setBold(false);  // not the panel's bold
    Label3->setFont(regular);
    Panel1->hide();

    Panel2 = new QWidget(this);
    Panel2->setObjectName("Panel2");
    Panel2->setGeometry(17, 9, 398, 87);
    Image2 = new QLabel(Panel2);
    Image2->setObjectName("Image2");
    Image2->setGeometry(43, 17, 52, 52);
    Image2->setScaledContents(true);
    Image2->setPixmap(MeterPicture());
    for (int i = 0; i < kDotCount; ++i) {
        auto* dot = new TAnimationDot(Panel2);
        dot->setObjectName(QString("Shape%1").arg(i + 2));
        dot->setGeometry(kDotX[i], kDotY, 10, 19);
        Dots[i] = dot;
    }
    Image1 = new QLabel(Panel2);
    Image1->setObjectName("Image1");
    Image1->setGeometry(311, 23, 48, 32);
    Image1->setPixmap(ComputerPicture());

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(50);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] { RunHandler([this] { Timer1Timer(); }); });
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer2->setInterval(123);
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    Timer2->start();

    FormCreate();
}

TGetDevDataForm::~TGetDevDataForm() {
    FormDestroy();
}

int TGetDevDataForm::AnimationCounter() {
    return gAnimationCounter;
}

void TGetDevDataForm::FormCreate() {
    Source_ = std::make_unique<TDeviceDataSource>();
    Source_->OnProgress = [this](TMDProgress& progress) { return DeviceProgress(progress); };
    Source_->Tag = 0;
}

void TGetDevDataForm::FormDestroy() {
    Source_.reset();
}

void TGetDevDataForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TGetDevDataForm::FormShow() {
    Panel1->hide();
    Panel2->show();
    Label1->hide();
    InfoLabel2->hide();
    Label2->hide();
    Label1->setText("0");
    Label2->setText("0");
    Button1->setText("Отмена");
    state_ = kRunning;
    Timer1->start();
    setCursor(Qt::BusyCursor);
}

void TGetDevDataForm::Timer1Timer() {
    Timer1->stop();
    if (transferRunning_) return;
    QCoreApplication::processEvents();
    if (state_ != kRunning) return;  // cancelled before the transfer began

    TMeasureDataP received;
    transferRunning_ = true;
    try {
        Source_->GetData("", received);
    } catch (...) {
        // The error box follows over a dialog that already says the download
        // failed. A cancel already asked for closes it now.
        transferRunning_ = false;
        setCursor(Qt::ArrowCursor);
        if (state_ == kCancelRequested)
            done(QDialog::Rejected);
        else
            ShowFailed();
        throw;
    }
    transferRunning_ = false;
    Data = received;
    Download = Source_->LastDownload();
    Download.time = Now();

    SetBold(Label1, false);
    SetBold(Label2, false);
    Label1->setText(QString::number(SinglesCount));
    Label2->setText(QString::number(MonitorsCount));
    Label1->adjustSize();
    Label2->adjustSize();
    setCursor(Qt::ArrowCursor);

    if (state_ == kCancelRequested) {
        done(QDialog::Rejected);
        return;
    }
    // Both totals, also when no report came (an empty memory shows 0 and 0).
    Label1->show();
    InfoLabel2->show();
    Label2->show();
    setWindowTitle("Готово");
    InfoLabel1->setText("Получено записей одиночных измерений:");
    InfoLabel1->adjustSize();
    InfoLabel2->setText("Получено записей мониторинга:");
    InfoLabel2->adjustSize();
    ShowStoreCounts();
    state_ = kFinished;
    Button1->setText("ОК");
    Button1->setDefault(true);
    Button1->setFocus();
    Panel2->hide();
    Panel1->show();
    Panel1->raise();
}

bool TGetDevDataForm::DeviceProgress(TMDProgress& progress) {
    SinglesCount = progress.Singles;
    MonitorsCount = progress.Monitors;
    Label1->setText(QString::number(progress.Singles));
    Label1->adjustSize();
    Label1->show();
    // The line being filled is bold.
    if (progress.Singles > 0 && progress.Monitors == 0) {
        SetBold(Label1, true);
    } else if (progress.Monitors == 1) {
        SetBold(Label1, false);
        SetBold(Label2, true);
    }
    if (progress.Monitors > 0) {
        InfoLabel2->show();
        Label2->setText(QString::number(progress.Monitors));
        Label2->adjustSize();
        Label2->show();
    }
    // Decided before the events run: a click handled below counts at the next report.
    const bool goOn = state_ != kCancelRequested;
    QCoreApplication::processEvents();
    return goOn;
}

void TGetDevDataForm::ShowStoreCounts() {
    try {
        const auto counts = CountNewMeasurementsByMethod(Data, Download.link);
        Label3->setText(StoreCountsText(Data, SinglesCount, counts));
    } catch (const std::exception&) {
        // Only a note: the records are still handed over, and storing them
        // reports what is wrong with the database.
        Label3->setText("Не удалось сверить записи с базой данных");
    }
}

void TGetDevDataForm::ShowFailed() {
    state_ = kFailed;
    Timer2->stop();
    for (TAnimationDot* dot : Dots) dot->SetLit(false);
    // Counts of a broken-off download would read as if something had been received.
    Label1->hide();
    InfoLabel2->hide();
    Label2->hide();
    InfoLabel1->setText("Загрузка не выполнена");
    InfoLabel1->adjustSize();
    Button1->setText("Закрыть");
    Button1->setDefault(true);
    Button1->setFocus();
}

void TGetDevDataForm::Button1Click() {
    if (state_ == kFailed) {
        done(QDialog::Rejected);
    } else if (state_ != kFinished) {
        state_ = kCancelRequested;
        // While the transfer runs the dialog closes once it has returned.
        if (!transferRunning_) {
            Timer1->stop();
            done(QDialog::Rejected);
        }
    } else {
        done(QDialog::Accepted);
    }
}

void TGetDevDataForm::Timer2Timer() {
    Dots[gAnimationCounter]->SetLit(false);
    gAnimationCounter = (gAnimationCounter + 1) % kDotCount;
    Dots[gAnimationCounter]->SetLit(true);
}

void TGetDevDataForm::reject() {
    Button1Click();
}

void TGetDevDataForm::SetBold(QLabel* label, bool bold) {
    QFont f = label->font();
    if (f.bold() == bold) return;
    f.setBold(bold);
    label->setFont(f);
    label->adjustSize();
}

}  // namespace zorvex
