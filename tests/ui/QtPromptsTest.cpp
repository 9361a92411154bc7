#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "base/Paths.h"
#include "support/TempDir.h"
#include "ui/QtPrompts.h"

using namespace zorvex;

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
// Compared as UTF-8: a failing QString comparison would print code units.
std::string S(const QString& s) { return s.toStdString(); }

// Runs `act` on the modal box of type Box that the next prompt opens, once it
// shows. A box that never shows is a failure; whatever is still open then, or
// after `act`, is closed so that the prompt returns and the test cannot hang.
template <typename Box>
void OnModal(std::function<void(Box*)> act) {
    auto* poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        Box* box = qobject_cast<Box*>(modal);
        if (box == nullptr || !box->isVisible()) {
            if (++*tries < 500) return;
            ADD_FAILURE() << "no " << Box::staticMetaObject.className() << " was shown";
            if (modal != nullptr) modal->close();
        } else {
            act(box);
            if (box->isVisible()) {
                ADD_FAILURE() << "the box stayed open";
                box->close();
            }
        }
        poll->stop();
        poll->deleteLater();
    });
    poll->start(10);
}

// The button of `box` whose text is `text`; the test fails when there is none.
QAbstractButton* ButtonTitled(QWidget* box, const QString& text) {
    for (QAbstractButton* button : box->findChildren<QAbstractButton*>())
        if (button->text() == text && button->isVisible()) return button;
    return nullptr;
}

// The texts of the buttons shown, sorted, joined by "|".
std::string VisibleButtonTexts(QWidget* box) {
    QStringList texts;
    for (QAbstractButton* button : box->findChildren<QAbstractButton*>())
        if (button->isVisible()) texts << button->text();
    texts.sort();
    return S(texts.join('|'));
}

}  // namespace

TEST(QtPrompts, InstallsAsTheProgramWideInstance) {
    auto prompts = std::make_shared<QtPrompts>();
    PromptsScope scope(prompts);
    EXPECT_EQ(&Prompts(), prompts.get());
}

TEST(QtPrompts, ConfirmAsksWithDaAndNetAndAnswersThePressedOne) {
    struct Case {
        const char* press;  // a button's text, or nullptr: the box is closed
        bool answer;
    } cases[] = {{"Да", true}, {"Нет", false}, {nullptr, false}};
    for (const auto& c : cases) {
        const std::string name = c.press ? c.press : "closed";
        bool shown = false;
        OnModal<QMessageBox>([&](QMessageBox* box) {
            shown = true;
            EXPECT_EQ(S(box->windowTitle()), "Подтверждение") << name;
            EXPECT_EQ(S(box->text()), "Удалить выбранные измерения?") << name;
            EXPECT_EQ(box->icon(), QMessageBox::Question) << name;
            EXPECT_EQ(VisibleButtonTexts(box), "Да|Нет") << name;
            if (c.press == nullptr) {
                box->close();
            } else if (QAbstractButton* button = ButtonTitled(box, QString::fromUtf8(c.press))) {
                button->click();
            } else {
                ADD_FAILURE() << "no button " << c.press;
            }
        });
        EXPECT_EQ(QtPrompts().Confirm("Удалить выбранные измерения?", "Подтверждение"), c.answer) << name;
        EXPECT_TRUE(shown) << name;
    }
}

TEST(QtPrompts, MessageShowsTextCaptionAndIcon) {
    struct Case {
        MessageIcon icon;
        QMessageBox::Icon shown;
    } cases[] = {
        {MessageIcon::None, QMessageBox::NoIcon},         {MessageIcon::Information, QMessageBox::Information},
        {MessageIcon::Warning, QMessageBox::Warning},     {MessageIcon::Error, QMessageBox::Critical},
        {MessageIcon::Question, QMessageBox::Question},
    };
    for (const auto& c : cases) {
        bool shown = false;
        OnModal<QMessageBox>([&](QMessageBox* box) {
            shown = true;
            EXPECT_EQ(S(box->windowTitle()), "Ошибка");
            EXPECT_EQ(S(box->text()), "Карта памяти пуста");
            EXPECT_EQ(box->icon(), c.shown) << static_cast<int>(c.icon);
            const std::string buttons = VisibleButtonTexts(box);
            EXPECT_TRUE(!buttons.empty() && buttons.find('|') == std::string::npos) << buttons;
            box->close();
        });
        QtPrompts().ShowMessage("Карта памяти пуста", "Ошибка", c.icon);
        EXPECT_TRUE(shown) << static_cast<int>(c.icon);
    }
}

TEST(QtPrompts, InputBoxOffersTheInitialTextAndReturnsTheTypedOne) {
    OnModal<QInputDialog>([](QInputDialog* box) {
        EXPECT_EQ(S(box->windowTitle()), "Номер");
        EXPECT_EQ(S(box->labelText()), "Рабочее место");
        EXPECT_EQ(S(box->textValue()), "7");
        box->setTextValue("Цех 12");
        box->accept();
    });
    EXPECT_EQ(QtPrompts().InputText("Номер", "Рабочее место", "7"), std::optional<std::string>("Цех 12"));

    OnModal<QInputDialog>([](QInputDialog* box) { box->reject(); });
    EXPECT_EQ(QtPrompts().InputText("Номер", "Рабочее место", "7"), std::nullopt);
}

namespace {

constexpr const char* kFilter = "Рисунок PNG (*.png)";

// The name a user would type into the file dialog's name field.
void TypeName(QFileDialog* dialog, const QString& name) {
    if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) edit->setText(name);
    else ADD_FAILURE() << "no name field";
}

QString NameField(QFileDialog* dialog) {
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    return edit ? edit->text() : QString("<no name field>");
}

}  // namespace

TEST(QtPrompts, SaveDialogStartsWithTheSuggestedNameAndAddsTheSuffix) {
    test::TempDir dir;
    const std::string folder = Utf8FromPath(dir.path() / PathFromUtf8("графики"));
    QDir().mkpath(Q(folder));
    const std::string suggested = folder + "/сеанс 2012-05-01.png";
    struct Case {
        const char* what;
        std::string start;        // the directory argument
        std::string extension;    // the default extension given
        QString typed;            // typed over the name field; empty: left as offered
        QString offeredName;      // what the name field holds when the dialog shows
        std::optional<std::string> chosen;
    } cases[] = {
        {"suggested name kept", suggested, "png", {}, "сеанс 2012-05-01.png", suggested},
        {"suffix added", suggested, "png", "график", "сеанс 2012-05-01.png", folder + "/график.png"},
        {"extension with a point", folder, ".png", "график", "", folder + "/график.png"},
        {"own suffix kept", folder, "png", "график.pdf", "", folder + "/график.pdf"},
        {"cancelled", suggested, "png", {}, "сеанс 2012-05-01.png", std::nullopt},
    };
    for (const auto& c : cases) {
        bool shown = false;
        OnModal<QFileDialog>([&](QFileDialog* dialog) {
            shown = true;
            EXPECT_EQ(S(dialog->windowTitle()), "Сохранить график") << c.what;
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave) << c.what;
            EXPECT_EQ(S(QDir(dialog->directory()).canonicalPath()), S(QDir(Q(folder)).canonicalPath())) << c.what;
            EXPECT_EQ(S(NameField(dialog)), S(c.offeredName)) << c.what;
            EXPECT_TRUE(dialog->nameFilters().contains(kFilter)) << c.what;
            if (!c.chosen) {
                dialog->reject();
                return;
            }
            if (!c.typed.isEmpty()) TypeName(dialog, c.typed);
            static_cast<QDialog*>(dialog)->accept();  // as the dialog's Save or Open button does
        });
        const auto chosen = QtPrompts().SaveFileName("Сохранить график", kFilter, c.extension, c.start);
        EXPECT_TRUE(shown) << c.what;
        EXPECT_EQ(chosen, c.chosen) << c.what;
    }
}

TEST(QtPrompts, OpenDialogStartsInTheDirectoryAndReturnsThePickedFile) {
    test::TempDir dir;
    const std::string directory = Utf8FromPath(dir.path());
    const std::string file = Utf8FromPath(dir.path() / PathFromUtf8("замеры.zorvex"));
    test::WriteFileBytes(PathFromUtf8(file), "x");
    for (const bool pick : {true, false}) {
        OnModal<QFileDialog>([&](QFileDialog* dialog) {
            EXPECT_EQ(S(dialog->windowTitle()), "Открыть");
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
            EXPECT_EQ(S(QDir(dialog->directory()).canonicalPath()), S(QDir(Q(directory)).canonicalPath()));
            if (!pick) {
                dialog->reject();
                return;
            }
            TypeName(dialog, "замеры.zorvex");
            static_cast<QDialog*>(dialog)->accept();  // as the dialog's Save or Open button does
        });
        const auto chosen = QtPrompts().OpenFileName("Открыть", "Файлы измерений (*.zorvex)", directory);
        if (pick) {
            ASSERT_TRUE(chosen.has_value());
            EXPECT_EQ(S(QFileInfo(Q(*chosen)).canonicalFilePath()), S(QFileInfo(Q(file)).canonicalFilePath()));
        } else {
            EXPECT_EQ(chosen, std::nullopt);
        }
    }
}
