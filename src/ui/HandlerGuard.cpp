#include "ui/HandlerGuard.h"

#include <exception>

#include "base/Exceptions.h"
#include "base/Prompts.h"

namespace zorvex {

std::string CurrentExceptionMessage() {
    try {
        throw;
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Неизвестная ошибка";
    }
}

void ShowCurrentException() {
    const std::string message = CurrentExceptionMessage();
    try {
        Prompts().ShowMessage(message, "Zorvex", MessageIcon::Error);
    } catch (...) {
        // The box itself failed; there is nobody left to tell.
    }
}

}  // namespace zorvex
