#pragma once
// The commands of the channel menu and of the error-history menu: rename, blink, extended
// channel information, sensor detection with the stored configurations, temperature, autozero,
// the open-ground/shield and floating-output toggles, the output filter, discharge, copy, paste,
// reset, and show and reset of the error history. Two notions of "which channel": the focus row
// (rename, blink, copy, and the channel whose state the two toggles invert) and the selected
// present channels (everything else). Long commands hold Busy for their whole span through the
// host, so the gate stays closed and no rescan renumbers the channels they work on. In setup mode
// a command that changes pending images joins the collected changes, so a rollback undoes it;
// every commit a command makes (reset, detection, blink, temperature, autozero) is followed by a
// fresh snapshot through the translator's commit notification.

#include "model/SensorDatabase.h"
#include "ui/channels/ChannelsHost.h"
#include "ui/settings/Settings.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QDialog;
class QWidget;

namespace qrb::model {
class TI2CTranslator;
class TQRBRawChannel;
} // namespace qrb::model

namespace qrb::ui {

class TChannelList;
class TColumnMenus;
class TScanGate;

// One sensor found by the detection: the translator's channel index and the sensor's ID.
struct TFoundSensor {
    int Channel = 0;
    std::string ID;
    bool operator==(const TFoundSensor&) const = default;
};

class TChannelCommands : public QObject {
    Q_OBJECT
public:
    TChannelCommands(model::TI2CTranslator& translator, const TSettings& settings, TScanGate& gate,
                     TMainWindowState state, TChannelsHost& host, TChannelList& list, TColumnMenus& menus);
    ~TChannelCommands() override;
    TChannelCommands(const TChannelCommands&) = delete;
    TChannelCommands& operator=(const TChannelCommands&) = delete;

    // Runs a dialog modally and gives its result (tests script it): the sensor database dialog,
    // the extended channel information and the history viewer.
    std::function<int(QDialog& dialog)> ExecDialog;
    // The owner of the dialogs (the main window).
    QWidget* DialogParent = nullptr;

    void miRenamechannelClick();
    void miBlinkClick();
    void actChInfoExecute();
    void miTEDSClick();
    void miTEMPClick();
    void miAutozeroClick();
    void miHydrophoneClick();
    void miOutputfloatingClick();
    // Both filter items: tag 1 switches the filter on, 0 off.
    void miOutputFilterOnClick(int tag);
    void miClearChargeClick();
    void miCopyChannelClick();
    void miPasteChannelClick();
    void miResetChannelClick();
    // The history menu's opening: whether show and reset are enabled.
    bool HistoryItemsEnabled() const;
    void miShowHistoryClick();
    void miResetHistoryClick();

    // The sensor database dialog over the translator's list (all entries, or the new ones with
    // the change flag set); afterwards the list is saved to the file after OK, reloaded from
    // it otherwise. A file that cannot be read again is reported, and the list goes back to what
    // it held before. True after OK.
    bool RunSensorDatabase(bool newOnly);

    // The focus row when it is a channel of the translator's list, else -1.
    int FocusRow() const;
    // The channel of that row, or nullptr.
    model::TQRBRawChannel* FocusChannel() const;

private:
    bool CanRun() const;
    // When the command may run, inside its Busy span: change on the focus channel; the menus
    // apply and the list repaints when it reports a change.
    void ChangeFocusChannel(const std::function<bool(const model::TQRBRawChannel&)>& change);
    void DetectSensors();
    // The database dialog as above; before is the list as it was before the command changed it.
    bool RunSensorDatabase(bool newOnly, model::TSensorBlockList before);
    // The stored configuration of record onto channel c, then applied.
    void ApplyStoredConfiguration(int c, const model::TSensorRecord& record);

    model::TI2CTranslator& translator_;
    const TSettings& settings_;
    TScanGate& gate_;
    TMainWindowState state_;
    TChannelsHost& host_;
    TChannelList& list_;
    TColumnMenus& menus_;
};

} // namespace qrb::ui
