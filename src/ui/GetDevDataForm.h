#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

#include "device/DeviceDataSource.h"
#include "model/MeasureModel.h"
#include "storage/DownloadStore.h"

class QLabel;
class QPushButton;
class QTimer;

namespace zorvex {

// Pictures of our own drawing: a hand-held meter (48 x 48) and a computer
// with screen and tower (48 x 32).
QPixmap MeterPicture();
QPixmap ComputerPicture();

// The finished dialog's note of what the database already holds, a line per
// method: records, new, already stored; on the singles line also the values
// the count above it gave when that is not the number of records (the driver
// link counts the two values of a 50 Hz reading apart).
QString StoreCountsText(const TMeasureDataP& data, std::int32_t singleValues,
                        const std::array<TStoreCounts, kMethodCount>& counts);

// One dot of the download animation: a circle filled navy, or blue with an
// outline while it is the lit one.
class TAnimationDot final : public QWidget {
public:
    explicit TAnimationDot(QWidget* parent);
    void SetLit(bool lit);
    bool Lit() const { return lit_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool lit_ = false;
};

// The modal window in which a download from the meter runs.
//
// Use:
//     TGetDevDataForm dialog;
//     if (dialog.exec() == QDialog::Accepted) {
//         matrix = dialog.Data;  // all ten series
//         StoreDownload(matrix, dialog.Download);
//     }
//
// 50 ms after it is shown it calls GetData of its own TDeviceDataSource (the
// USB bulk link when a meter is on the bus, otherwise the driver link), shows
// the running counts and lets the user cancel; it ends with Accepted (OK, Escape
// or the close box once the totals are shown) or Rejected (cancelled, or closed
// after a failed download).
class TGetDevDataForm final : public QDialog {
    Q_OBJECT
public:
    // Dialog states, kept in Button1's tag.
    static constexpr int kRunning = 1;
    static constexpr int kCancelRequested = -1;
    static constexpr int kFinished = 0;
    static constexpr int kFailed = 2;  // GetData ended with an error; nothing to hand over

    explicit TGetDevDataForm(QWidget* parent = nullptr);
    ~TGetDevDataForm() override;

    // The received matrix, valid when the dialog ended with Accepted.
    TMeasureDataP Data;
    // What the download was (link, meter, its memory), stamped with the
    // moment the transfer ended; valid with Data.
    TDownloadInfo Download;
    // The counts of the last report.
    std::int32_t SinglesCount = 0;
    std::int32_t MonitorsCount = 0;

    TDeviceDataSource& Source() { return *Source_; }
    int State() const { return state_; }

    // The lit dot of the animation (0..7); it lives for the whole program run.
    static int AnimationCounter();

    // ---- event handlers
    void FormCreate();
    void FormDestroy();
    void FormShow();
    void Timer1Timer();
    void Timer2Timer();
    void Button1Click();
    // Bound to Source.OnProgress.
    bool DeviceProgress(TMDProgress& progress);

    // ---- components
    QWidget* Shape1 = nullptr;
    QLabel* InfoLabel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* InfoLabel2 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Panel1 = nullptr;
    QLabel* Label3 = nullptr;  // on Panel1: new and already stored records of each method
    QWidget* Panel2 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Image2 = nullptr;
    std::array<TAnimationDot*, 8> Dots{};  // Shape2 .. Shape9
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

public slots:
    // Escape and the window's close box do what Button1 does: ask to cancel
    // while the transfer runs, hand the data over once the totals are shown
    // (a download is never thrown away by a key), close after a failure.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetBold(QLabel* label, bool bold);
    // Stops the animation and says the download failed.
    void ShowFailed();
    // Label3: how many of Data's records of each method the program's database lacks and holds already.
    void ShowStoreCounts();

    std::unique_ptr<TDeviceDataSource> Source_;
    int state_ = kRunning;
    bool transferRunning_ = false;
};

}  // namespace zorvex
