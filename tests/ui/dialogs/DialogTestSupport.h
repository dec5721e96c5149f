#pragma once
// Shared pieces of the settings and setup dialog tests: the user's part inside modal dialogs,
// the size-hint check of a dialog's controls, a network with two local networks, and no
// firmware library.

#include "ui/dialogs/ModalRunner.h"
#include "ui/platform/FirmwareLibrary.h"
#include "ui/platform/NetworkInfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace qrb::test {

// No firmware library while it lives, unless a test names one; the box about the missing library
// is taken out of the way, as it is no part of these tests.
class TNoFirmwareLibrary {
public:
    TNoFirmwareLibrary() {
        ui::SetFWLibraryPath("/nonexistent/librozezerir.so");
        ui::ResetFWLibReport();
        ui::LoadFWLibrary();
        ui::FWLibErrorToShow();
    }
    ~TNoFirmwareLibrary() {
        ui::SetFWLibraryPath("");
        ui::ResetFWLibReport();
    }
    TNoFirmwareLibrary(const TNoFirmwareLibrary&) = delete;
    TNoFirmwareLibrary& operator=(const TNoFirmwareLibrary&) = delete;
};

// Plays the user inside every modal dialog: the dialog is shown, the step for its class runs
// (it clicks, edits, and accepts or rejects), and the dialog's result is returned. A dialog
// without a step is rejected.
class TModalScript {
public:
    using TStep = std::function<void(QDialog&)>;
    TModalScript() {
        previous_ = ui::SetModalRunner([this](QDialog& dialog) {
            Opened.push_back(dialog.metaObject()->className());
            dialog.setResult(0);
            dialog.show();
            QApplication::processEvents();
            auto it = std::find_if(steps_.begin(), steps_.end(),
                                   [&](const auto& s) { return dialog.inherits(s.first.c_str()); });
            if (it != steps_.end())
                it->second(dialog);
            else
                dialog.reject();
            const int result = dialog.result();
            dialog.hide();
            return result;
        });
    }
    ~TModalScript() { ui::SetModalRunner(previous_); }
    TModalScript(const TModalScript&) = delete;
    TModalScript& operator=(const TModalScript&) = delete;

    // The step for dialogs of class name (later steps for the same class replace earlier ones).
    void On(const std::string& className, TStep step) {
        for (auto& s : steps_)
            if (s.first == className) {
                s.second = std::move(step);
                return;
            }
        steps_.emplace_back(className, std::move(step));
    }

    std::vector<std::string> Opened;

private:
    std::vector<std::pair<std::string, TStep>> steps_;
    ui::TModalRunner previous_;
};

// Every visible control of dialog gets at least its size hint; each page of a tab widget in turn.
inline void ExpectControlsGetTheirSizeHints(QDialog& dialog, const std::string& where) {
    dialog.show();
    QApplication::processEvents();
    std::vector<QTabWidget*> tabs;
    for (QTabWidget* t : dialog.findChildren<QTabWidget*>())
        tabs.push_back(t);
    auto check = [&] {
        if (dialog.layout() != nullptr) dialog.layout()->activate();
        QApplication::processEvents();
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (!w->isVisibleTo(&dialog)) continue;
            const bool control =
                qobject_cast<QAbstractButton*>(w) != nullptr || qobject_cast<QComboBox*>(w) != nullptr ||
                qobject_cast<QSpinBox*>(w) != nullptr || qobject_cast<QProgressBar*>(w) != nullptr;
            auto* label = qobject_cast<QLabel*>(w);
            if (!control && (label == nullptr || label->wordWrap())) continue;
            const QSize hint = w->sizeHint();
            EXPECT_GE(w->width(), hint.width()) << where << ": " << w->objectName().toStdString();
            EXPECT_GE(w->height(), hint.height()) << where << ": " << w->objectName().toStdString();
        }
    };
    if (tabs.empty()) {
        check();
    } else {
        for (QTabWidget* t : tabs)
            for (int i = 0; i < t->count(); ++i) {
                t->setCurrentIndex(i);
                check();
            }
        for (QTabWidget* t : tabs)
            t->setCurrentIndex(0);
    }
    dialog.hide();
}

// Two local networks (10.0.0.5/255.0.0.0 on eth0, 192.168.7.20/255.255.255.0 on eth1) and the
// loopback. No test talks to them: the stand-in library only receives their texts.
class TTwoNetworkSource : public ui::TNetworkSource {
public:
    bool ReadTables(ui::TNetTables& tables, std::string&) override {
        ui::TIfRow lo;
        lo.Index = 1;
        lo.Type = 24;
        lo.OperStatus = 5;
        ui::TIfRow eth0;
        eth0.Index = 2;
        eth0.Type = 6;
        eth0.OperStatus = 5;
        ui::TIfRow eth1 = eth0;
        eth1.Index = 3;
        tables.Interfaces = {lo, eth0, eth1};
        ui::TIpAddrRow loAddr{0x0100007F, 1, 0x000000FF, 0, 0, 1};
        ui::TIpAddrRow a{0x0500000A, 2, 0x000000FF, 0, 0, 1};
        ui::TIpAddrRow b{0x1407A8C0, 3, 0x00FFFFFF, 0, 0, 1};
        tables.Addresses = {a, loAddr, b};
        return true;
    }
    bool ReadNetworkParams(ui::TNetworkParams& params, std::string&) override {
        params.HostName = "testhost";
        return true;
    }
    bool ReadSocketInfo(ui::TSocketInfo& info) override {
        info.Version = "Linux 9.9-test";
        return true;
    }
};

} // namespace qrb::test
