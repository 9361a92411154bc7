#pragma once

#include <QDialog>
#include <QString>

class QPushButton;
class QTimer;

namespace zorvex {

class TStringGrid;
struct TDirectoryDef;

// Editor of one reference directory: a grid with a header row and an empty
// last row for a new entry. "Сохранить" rewrites the whole directory and
// closes with OK; "Отмена" or the close box writes nothing.
class TReferenceForm final : public QDialog {
    Q_OBJECT
public:
    explicit TReferenceForm(QWidget* parent = nullptr);

    QString TableName;

    void FormShow();
    void BitBtn1Click();  // "Сохранить"
    void BitBtn2Click();  // "Отмена"
    // Keeps an empty row at the bottom: runs every 500 ms while shown.
    void Timer1Timer();

    TStringGrid* StringGrid1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FitColumns();

    const TDirectoryDef* def_ = nullptr;
};

}  // namespace zorvex
