#pragma once
// The scan and the interface modes of the main window: actRescanExecute asks the gate for a
// scan, which runs in two phases (A: targets from the settings and the translator's Rescan;
// B, also after an error in A: the window rebuilt around the result, then A's error passed
// on). The new-scan, online, offline and refresh commands, the 500 ms main timer and the idle
// pass of the timed re-check. Every handler that would reach a device does nothing while the
// gate is closed; rescan requests made meanwhile are coalesced by the gate.

#include "device/I2CTypes.h"
#include "ui/channels/ChannelsHost.h"
#include "ui/settings/ScanTargets.h"
#include "ui/settings/Settings.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QTimer;

namespace qrb::model {
class TI2CTranslator;
}

namespace qrb::ui {

class TChannelList;
class TColumnMenus;
class TScanGate;

// The fan limit after a committed default setup: 1 with a bridge, DMS current or RTD channel,
// else 2 with an ICP channel whose offset DAC lies above 123, else 5 (no limit).
int FanLimit(const model::TI2CTranslator& translator);

// The enabled states after a scan, by name, with channels (C), offline mode (O), the lock
// state and whether the default setup file exists.
std::vector<std::pair<std::string, bool>> ScanEnabledStates(bool channels, bool offline, bool locked,
                                                            bool defaultSetupExists);

// The mask online mode uses: the one before the last switch to offline mode without its
// offline bit, or USB and LAN when that leaves no interface.
device::TInterfaceMask OnlineInterfaces(device::TInterfaceMask saved);

class TScanController : public QObject {
    Q_OBJECT
public:
    TScanController(model::TI2CTranslator& translator, TSettings& settings, TScanGate& gate,
                    TMainWindowState state, TChannelsHost& host, TChannelList& list, TColumnMenus& menus);
    ~TScanController() override;
    TScanController(const TScanController&) = delete;
    TScanController& operator=(const TScanController&) = delete;

    // The channel status poll, true when a state changed (the translator's PollChannelStatus).
    std::function<bool()> PollChannelStatus;
    // The millisecond tick count (wraps at 32 bits).
    std::function<uint32_t()> TickCount;

    // A scan request through the gate (at once when it is open); after runs once it was done.
    void actRescanExecute(std::function<void()> after = {});

    // Whether a lost device or an alarm may start a rescan. Automatic rescans do not chain:
    // none while a scan runs, none within one keep-alive interval after the end of a rescan
    // that such a request started (unless a scan of the user's followed it).
    enum class TAutoRescan : uint8_t { Allowed, ScanRunning, JustRescanned };
    TAutoRescan AutomaticRescan() const;
    // A rescan a lost device or an alarm asks for (see AutomaticRescan).
    void actAutoRescanExecute(std::function<void()> after = {});
    bool Scanning() const { return scanning_; }
    // The scan itself (the gate's OnRescan).
    void Rescan();
    void actNewScanExecute();
    void actOnlineExecute();
    void actOfflineExecute();
    void actrefreshExecute();
    void timMainTimer();
    // The idle pass; true when it did the re-check (the application waits for the next event).
    bool FormIdle();

    // The front-panel lock as the lock and unlock commands set it.
    void SetFrontPanelLock(bool locked);

private:
    void PhaseA();
    void PhaseB();
    void LoadDefaultSetup();

    model::TI2CTranslator& translator_;
    TSettings& settings_;
    TScanGate& gate_;
    TMainWindowState state_;
    TChannelsHost& host_;
    TChannelList& list_;
    TColumnMenus& menus_;
    QTimer* idleTimer_;
    bool scanning_ = false;
    bool autoRequested_ = false; // an automatic rescan waits at the gate
    bool autoEnded_ = false;     // the last scan was an automatic rescan, it ended at autoEnd_
    uint32_t autoEnd_ = 0;
};

} // namespace qrb::ui
