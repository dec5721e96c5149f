#pragma once
// What the channel list, the column menus, the offset window and the scan need of the main
// window: references to the state they share with it, and the window operations they call.
// The main window implements the host; tests implement it with a recording fake.

#include "device/I2CTypes.h"
#include "ui/platform/Scopes.h"

#include <QPoint>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qrb::ui {

// References into the main window's fields (the window outlives every user of them).
struct TMainWindowState {
    bool& Busy;
    bool& ChangesPending;
    bool& SetupModified;
    uint16_t& PopupSensorType;
    int& SupplyColumnLeft;
    int& OffsetColumnLeft;
    int& OffsetColumnRight;
    bool& SelectionSyncing;
    // The scan and the main timer.
    bool& FirstScanPending;
    bool& ReCheckRequest;
    uint32_t& ReCheckBase;
    uint32_t& LastReCheck;
    bool& DeviceShutDown;
    device::TInterfaceMask& SavedInterfaces;
    // The text of the last scan error; the scan shows it once it has ended.
    std::string& PendingScanError;
    std::vector<std::string>& HistoryList;
};

// The pages of the main window's page control.
enum class TPage : uint8_t { Main, Control, Log };

// The state of one fixed item of the channel menu, by its name (miRenamechannel ...).
struct TChannelMenuItemState {
    std::string Name;
    bool Enabled = false;
    bool Checked = false;
    bool Visible = true;
    std::string Caption; // empty: the item keeps its caption
    bool operator==(const TChannelMenuItemState&) const = default;
};

class TChannelsHost {
public:
    virtual ~TChannelsHost() = default;

    // Dialogs: a message box, the error box, the yes/no confirmation (6 Yes).
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void ShowError(const std::string& text) { ShowMessage(text); }
    virtual int Confirm(int captionId, int headerId, int textId) = 0;

    // The window's actions, speed buttons and frame controls (mnbMain, atbMain, pctMain) by name.
    virtual void SetEnabled(const std::string& name, bool enabled) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void UpdateActions() {}
    virtual void UpdateErrorHistory() {}

    // The channel menu with its items' states, at a screen position; returns when it closed.
    virtual void ShowChannelMenu(const std::vector<TChannelMenuItemState>& items,
                                 const QPoint& screenPos) = 0;

    // ---- The scan ---------------------------------------------------------------------------

    virtual void ProcessPendingMessages() {}
    virtual void ApplyLanguage() {}
    // The scan pop-up; shown until EndScanPopup.
    virtual void BeginScanPopup(const std::string& header, const std::string& text) = 0;
    virtual void EndScanPopup() = 0;
    virtual void SetOverviewText(const std::string& text) = 0;
    // "Offline" in red or "Online" in the window-text colour.
    virtual void SetRunMode(bool offline) = 0;
    virtual void SetStatusPanel(int panel, const std::string& text) = 0;
    virtual void ShowPage(TPage page) = 0;
    virtual TPage CurrentPage() const = 0;
    // The "Device" and "Channel" menus of the menu bar.
    virtual void SetDeviceMenusVisible(bool visible) = 0;
    // The history icon back to "no errors" (image 75, hint 1571), repainted.
    virtual void ResetHistoryIcon() = 0;
    // The offer to save a modified setup before a command replaces it (the window's rule).
    virtual void SaveBeforeSetupChange() {}
    // The offline dialog; false when cancelled. Both values arrive with their start values.
    virtual bool RunOfflineDialog(int& devices, int& channels) = 0;
    // The channel status window updates when it is visible.
    virtual void UpdateChannelStatusWindow() {}
    // The default setup file (it may not exist).
    virtual std::string DefaultSetupFile() const = 0;

    // ---- The channel menu commands -----------------------------------------------------------

    // A command's whole Busy span: Busy set and the gate closed while fn runs, both restored on
    // every exit (an exception included).
    virtual void RunBusy(const std::function<void()>& fn) { fn(); }
    // The frame of a long device operation: the busy pop-up with the two texts, a pause and one
    // pass of pending events, the call, the pop-up's end (also when the call throws); the call's
    // result.
    virtual bool RunLongOperation(int headerId, int textId, const std::function<bool()>& call) {
        (void)headerId;
        (void)textId;
        return call();
    }
    // A one-line input box; false when cancelled (value unchanged).
    virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
        (void)caption;
        (void)prompt;
        (void)value;
        return false;
    }
    // The sensor database file ("TEDSinfo.bin" in the user folder).
    virtual std::string SensorDatabaseFile() const { return {}; }
    // A line in the window's log.
    virtual void AddLog(const std::string& text) { (void)text; }
};

} // namespace qrb::ui
