// The message box of the program, replaceable so that tests (and headless
// runs) see the text without a modal dialog.
#pragma once

#include <QString>

#include <functional>

namespace zol::platform {

using MessageBoxHandler = std::function<void(const QString& text, const QString& caption)>;

// Shows an information box with `text` under `caption`. Window thread.
void ShowMessageBox(const QString& text, const QString& caption);
// Replaces the handler and returns the previous one; none restores the
// default (a modal box on a screen, standard error when headless).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace zol::platform
