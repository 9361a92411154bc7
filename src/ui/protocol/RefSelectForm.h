#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace zorvex {

// Picker of reference entries for a protocol field: a plain list for one
// entry or a check list for several. Closes with OK and ResultText, or with
// Cancel.
class TRefSelectForm final : public QDialog {
    Q_OBJECT
public:
    explicit TRefSelectForm(QWidget* parent = nullptr);

    QString TableName;
    bool MultiSelect = false;
    // Set when the picker closes with OK.
    std::string ResultText;

    void FormShow();
    void LoadList();
    // Enables "Выбрать" by the current choice; runs after every click or key
    // press in the lists.
    void UpdateChooseButton();
    void BitBtn1Click();  // "Выбрать"
    void BitBtn2Click();  // "Отмена"
    void BitBtn3Click();  // "Добавить/удалить"

    QListWidget* ListBox1 = nullptr;       // single choice
    QListWidget* CheckListBox1 = nullptr;  // several
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<std::string> items_;
    bool CanChooseNow() const;
    std::vector<bool> Checks() const;
};

}  // namespace zorvex
