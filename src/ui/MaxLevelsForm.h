#pragma once

#include <QDialog>

class QPushButton;

namespace zorvex {

class TMainform;
class TStringGrid;

// The permissible levels editor: one row per level with its label and value.
// Saving writes every level through the main window and refreshes its view.
class TMaxLevelsForm final : public QDialog {
    Q_OBJECT
public:
    explicit TMaxLevelsForm(TMainform& mainform, QWidget* parent = nullptr);

    void FormShow();
    void BitBtn1Click();  // "Сохранить"
    void BitBtn2Click();  // "Отмена"

    TStringGrid* ValueListEditor1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMainform& mainform_;
};

}  // namespace zorvex
