#pragma once
// Every modal dialog of the settings and setup dialogs runs through one function, so tests can
// play the user's part inside it (the default runs the dialog's own event loop).

#include <functional>

class QDialog;

namespace qrb::ui {

using TModalRunner = std::function<int(QDialog& dialog)>;

// The dialog's modal result.
int RunModal(QDialog& dialog);
// Installs runner (empty: the dialog's own loop); returns the previous one.
TModalRunner SetModalRunner(TModalRunner runner);

} // namespace qrb::ui
