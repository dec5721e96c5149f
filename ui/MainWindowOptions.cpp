// The option commands of the main window: the zero adjustment.

#include "model/I2CTranslator.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/ZeroAdjust.h"

#include <set>
#include <string>
#include <vector>

namespace qrb::ui {

void TOndrixMain::ConnectOptionCommands() {
    ConnectCommand("actZeroAdjust", [this] { actZeroAdjustExecute(); });
}

void TOndrixMain::actZeroAdjustExecute() {
    if (!Gate.IsOpen()) return;
    std::vector<std::string> unreported;
    {
        // The rows hold translator indices and a run can start again from the open dialog: no
        // scan and no other device I/O until it is closed; a device loss meanwhile rescans after it.
        TScanGate::TGuard closed(Gate);
        struct TReCheckOff {
            bool& Flag;
            bool Saved;
            explicit TReCheckOff(bool& flag) : Flag(flag), Saved(flag) { Flag = false; }
            ~TReCheckOff() { Flag = Saved; }
        } reCheckOff(Options.TimedReCheck);
        // The losses reported while the window is open, to tell them from the silent devices.
        struct TLossWatch {
            model::TI2CTranslator* T;
            device::TI2CTextEvent Previous;
            std::set<std::string> Reported;
            explicit TLossWatch(model::TI2CTranslator* t) : T(t) {
                if (T == nullptr) return;
                Previous = T->OnDeviceLost;
                T->OnDeviceLost = [this](const void* sender, const std::string& text) {
                    Reported.insert(text);
                    if (Previous) Previous(sender, text);
                };
            }
            ~TLossWatch() {
                if (T != nullptr) T->OnDeviceLost = Previous;
            }
        } watch(Translator.get());
        TZeroAdjustForm form(this);
        form.Translator = Translator.get();
        form.exec();
        for (const std::string& name : form.SilentDevices())
            if (watch.Reported.count(name) == 0) unreported.push_back(name);
    }
    // A device that got no answer but still answers the keep-alive's knock (its data side or its
    // converter froze) is reported and rescanned as a loss the keep-alive saw, now that the
    // window is gone and the gate open.
    for (const std::string& name : unreported)
        TranslatorDeviceLost(nullptr, name);
}

} // namespace qrb::ui
