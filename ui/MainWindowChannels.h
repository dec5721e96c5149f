#pragma once
// The main window's channel list, column menus and scan: owns the three and is their host on
// TOndrixMain (its controls, actions, dialogs and shared fields). Created by FormCreate once the
// translator exists, destroyed by FormDestroy before it.

#include "ui/channels/ChannelsHost.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qrb::ui {

class TBusyPopup;
class TChannelCommands;
class TChannelList;
class TColumnMenus;
class TOndrixMain;
class TScanController;

class TMainWindowChannels : public TChannelsHost {
public:
    explicit TMainWindowChannels(TOndrixMain& window);
    ~TMainWindowChannels() override;
    TMainWindowChannels(const TMainWindowChannels&) = delete;
    TMainWindowChannels& operator=(const TMainWindowChannels&) = delete;

    TChannelList& List() { return *list_; }
    TColumnMenus& Menus() { return *menus_; }
    TScanController& Scan() { return *scan_; }
    TChannelCommands& Commands() { return *commands_; }

    // The channel status and offset windows, once the window has them.
    void AttachCompanions();

    // ---- Host ------------------------------------------------------------------------------
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    int Confirm(int captionId, int headerId, int textId) override;
    void SetEnabled(const std::string& name, bool enabled) override;
    void SetCaption(const std::string& caption) override;
    void UpdateActions() override;
    void UpdateErrorHistory() override;
    void ShowChannelMenu(const std::vector<TChannelMenuItemState>& items, const QPoint& screenPos) override;
    void ProcessPendingMessages() override;
    void ApplyLanguage() override;
    void BeginScanPopup(const std::string& header, const std::string& text) override;
    void EndScanPopup() override;
    void SetOverviewText(const std::string& text) override;
    void SetRunMode(bool offline) override;
    void SetStatusPanel(int panel, const std::string& text) override;
    void ShowPage(TPage page) override;
    TPage CurrentPage() const override;
    void SetDeviceMenusVisible(bool visible) override;
    void ResetHistoryIcon() override;
    void SaveBeforeSetupChange() override;
    bool RunOfflineDialog(int& devices, int& channels) override;
    void UpdateChannelStatusWindow() override;
    std::string DefaultSetupFile() const override;
    void RunBusy(const std::function<void()>& fn) override;
    bool RunLongOperation(int headerId, int textId, const std::function<bool()>& call) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    std::string SensorDatabaseFile() const override;
    void AddLog(const std::string& text) override;

    // Whether a channel menu item (miRenamechannel ...) has a command; one without stays disabled.
    bool ItemHasCommand(const std::string& name) const { return itemCommands_.count(name) != 0; }

    // The sensor database command (all entries; saved after OK, reloaded otherwise).
    void actTedsInfoExecute();

private:
    TMainWindowState State();
    void ConnectCommands();

    TOndrixMain& w_;
    std::unique_ptr<TChannelList> list_;
    std::unique_ptr<TColumnMenus> menus_;
    std::unique_ptr<TScanController> scan_;
    std::unique_ptr<TChannelCommands> commands_;
    std::set<std::string> itemCommands_;
    std::unique_ptr<TBusyPopup> popup_;
};

} // namespace qrb::ui
