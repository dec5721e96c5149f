#include "ui/dialogs/ModalRunner.h"

#include <QDialog>

#include <utility>

namespace qrb::ui {

namespace {
TModalRunner& Runner() {
    static TModalRunner runner;
    return runner;
}
} // namespace

int RunModal(QDialog& dialog) {
    if (Runner()) return Runner()(dialog);
    return dialog.exec();
}

TModalRunner SetModalRunner(TModalRunner runner) {
    return std::exchange(Runner(), std::move(runner));
}

} // namespace qrb::ui
