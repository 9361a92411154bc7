#pragma once

#include <string>

namespace zorvex {

// The program's top-level error handler: shows the message of the exception
// being handled in an error box through the prompts seam. Call it only from a
// catch block.
void ShowCurrentException();

// The message the error box shows for the exception being handled.
std::string CurrentExceptionMessage();

// Runs one event handler. A failure ends the handler and is shown, and the
// window goes on; nothing is let through into Qt's event dispatch.
template <class Handler>
void RunHandler(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        ShowCurrentException();
    }
}

}  // namespace zorvex
