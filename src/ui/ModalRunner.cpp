#include "ui/ModalRunner.h"

#include <QDialog>
#include <utility>

namespace zorvex {

namespace {
TModalRunner& CurrentRunner() {
    static TModalRunner runner;
    return runner;
}
}  // namespace

int RunModal(QDialog& dialog) {
    // A copy: a runner may install another one while it drives the dialog.
    const TModalRunner runner = CurrentRunner();
    if (runner) return runner(dialog);
    return dialog.exec();
}

ModalRunnerScope::ModalRunnerScope(TModalRunner runner) : previous_(std::move(CurrentRunner())) {
    CurrentRunner() = std::move(runner);
}

ModalRunnerScope::~ModalRunnerScope() {
    CurrentRunner() = std::move(previous_);
}

}  // namespace zorvex
