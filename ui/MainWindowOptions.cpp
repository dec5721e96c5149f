// The option commands of the main window: the zero adjustment.

#include "model/I2CTranslator.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/ZeroAdjust.h"

namespace qrb::ui {

void TOndrixMain::ConnectOptionCommands() {
    ConnectCommand("actZeroAdjust", [this] { actZeroAdjustExecute(); });
}

void TOndrixMain::actZeroAdjustExecute() {
    if (!Gate.IsOpen()) return;
    // The rows hold translator indices and a run can start again from the open dialog: no scan
    // and no other device I/O until it is closed; a device loss meanwhile rescans after it.
    TScanGate::TGuard closed(Gate);
    struct TReCheckOff {
        bool& Flag;
        bool Saved;
        explicit TReCheckOff(bool& flag) : Flag(flag), Saved(flag) { Flag = false; }
        ~TReCheckOff() { Flag = Saved; }
    } reCheckOff(Options.TimedReCheck);
    TZeroAdjustForm form(this);
    form.Translator = Translator.get();
    form.exec();
}

} // namespace qrb::ui
