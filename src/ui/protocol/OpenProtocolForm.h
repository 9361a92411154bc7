#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace zorvex {

// The list of stored protocols: open one in the protocol editor, or delete one.
class TOpenProtocolForm final : public QDialog {
    Q_OBJECT
public:
    explicit TOpenProtocolForm(QWidget* parent = nullptr);

    void FormShow();
    void FillList();
    void BitBtn1Click();  // "Открыть"
    void BitBtn2Click();  // "Отмена"
    void BitBtn3Click();  // "Удалить"
    void ListView1DblClick();

    QLabel* Label1 = nullptr;
    QListWidget* ListView1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The selected item; false, after telling the user, without one.
    bool SelectedItem(int& id, QString& caption) const;
};

}  // namespace zorvex
