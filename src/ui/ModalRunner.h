#pragma once

#include <functional>

class QDialog;

namespace zorvex {

// Every modal display of the protocol windows goes through RunModal, so that
// tests can drive a dialog (show it, call its handlers, close it) instead of
// blocking in exec().
using TModalRunner = std::function<int(QDialog& dialog)>;

// Runs `dialog` modally and returns its result: exec(), unless a runner is
// installed.
int RunModal(QDialog& dialog);

// Installs `runner` while the guard lives and restores the previous one.
class ModalRunnerScope {
public:
    explicit ModalRunnerScope(TModalRunner runner);
    ~ModalRunnerScope();
    ModalRunnerScope(const ModalRunnerScope&) = delete;
    ModalRunnerScope& operator=(const ModalRunnerScope&) = delete;

private:
    TModalRunner previous_;
};

}  // namespace zorvex
