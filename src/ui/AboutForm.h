#pragma once

#include <QDialog>
#include <QImage>
#include <string>

class QLabel;
class QPushButton;
class QTimer;

namespace zorvex {

// The steps of the about dialog's animation on its off-screen picture
// (32 bits per pixel: blue, green, red and a fourth byte).
// Fade: a pixel whose |blue - green - red| is below 32 turns to (254, 254, 254)
// at once, any other moves a third of the way towards it; the fourth byte becomes 0.
void FadePicture(QImage& picture);
// Shift: the left half moves 15 pixels left, then is repeated from W/2 + 15 on.
void ShiftPicture(QImage& picture);
// Eight discs of diameter 16 in greenish blues, drifting around two thirds of the height.
void DrawDiscs(QImage& picture);

// The program's version and the number of stored measurements over a small
// animation of drifting, fading discs.
//
// Use:
//     TAboutForm dialog;
//     dialog.exec();
class TAboutForm final : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // The file whose version stamp is shown; the running program by default.
    std::string ProgramFileName;

    const QImage& Picture() const { return picture_; }

    // ---- event handlers
    // Starts the animation, then fills the information label; an error of the
    // count query leaves the label empty and is raised.
    void FormShow();
    void FormClose();
    void Timer1Timer();

    // ---- components
    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;     // "Zorvex"
    QLabel* Label2 = nullptr;     // publisher's notice
    QLabel* InfoLabel = nullptr;  // version and count
    QPushButton* Button1 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

}  // namespace zorvex
