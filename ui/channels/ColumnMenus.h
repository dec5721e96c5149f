#pragma once
// The column menus of the channel list and the one place where a setting change is applied.
// A right click on a selected row opens the menu of the column under the mouse (or the offset
// window); ten shortcuts open the same menus for the first selected channel. Menus are built
// as item lists (caption, tag, checked, enabled, handler), so they are tested without widgets;
// a picked item runs its handler over every selected channel that can take the setting, then
// ApplyChanges commits at once (ad-hoc mode) or leaves the changes collected (setup mode) for
// the commit and rollback buttons.

#include "model/QRBRawChannel.h"
#include "ui/channels/ChannelsHost.h"
#include "ui/settings/Settings.h"

#include <QObject>
#include <QPoint>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QDialog;
class QMenu;
class QPushButton;
class QRadioButton;

namespace qrb::model {
class TI2CTranslator;
}

namespace qrb::ui {

class TChannelList;
class TChannelOffsetForm;
class TScanGate;

// Supply steps by the channel's Info.Version (single precision): power-DAC counts per volt and
// per mA.
float VoltStep(uint8_t version);
float CurrentStep(uint8_t version);

enum class TMenuHandler : uint8_t {
    None,
    Sensor,
    Range,
    Coupling,
    ChargeCoupling,
    ChargeGain,
    ChargeHighPass,
    ChargeClearMode,
    ClearCharge, // the channel menu's discharge command
    CurrentOut,
    VoltageOut,
    SupplyOff,
    SupplyCurrent,
    SupplyVoltage,
    SupplyToVoltage,
    SupplyToCurrent,
    Sense,
    Resistor,
    Shunt,
    Connection,
};

struct TMenuItem {
    std::string Caption; // "-" is a separator
    int Tag = 0;
    bool Checked = false;
    bool Enabled = true;
    TMenuHandler Handler = TMenuHandler::None;
    bool IsSeparator() const { return Caption == "-"; }
    bool operator==(const TMenuItem&) const = default;
};
using TMenuItems = std::vector<TMenuItem>;

enum class TColumnMenu : uint8_t {
    None,
    Channel,
    Sensor,
    Range,
    Coupling,
    ChargeCoupling,
    ChargeGain,
    ChargeHighPass,
    ChargeClearMode,
    Resistor,
    Connection,
    Sense,
    Shunt,
    VoltageOut,
    Supply,
    CurrentOut,
    OffsetEditor,
};

struct TColumnBounds {
    int SupplyLeft = 656;
    int OffsetLeft = 720;
    int OffsetRight = 783;
};

// The menu of the supply column at x (strictly between its bounds), or None.
TColumnMenu SupplyColumnMenuAt(int x, int typeCache, const TColumnBounds& bounds);
// The menu after the supply column's: the offset editor (strictly inside the offset column),
// nothing beyond the offset column, else the fixed columns' menu for the type.
TColumnMenu FixedColumnMenuAt(int x, int typeCache, int supplyCache, const TColumnBounds& bounds);
// Both, in the order a right click opens them.
std::vector<TColumnMenu> ColumnMenusAt(int x, int typeCache, int supplyCache, const TColumnBounds& bounds);

struct TMenuOptions {
    bool UseExtendedRanges = false;
    int FanSpeed = 1;
};

// The items of a settings menu for a channel; empty when nothing opens (a channel that is not
// present, a type the menu is not for, a charge menu without charge input).
TMenuItems BuildSettingsMenu(TColumnMenu menu, const model::TQRBRawChannel& channel,
                             const TMenuOptions& options);

// The states of the channel menu's fixed items for row, with selectedRows rows selected.
std::vector<TChannelMenuItemState> ChannelMenuStates(const model::TI2CTranslator& translator, int row,
                                                     int selectedRows);

// The ten keyboard shortcuts (Alt+1 .. Alt+0).
enum class TShortcut : uint8_t {
    Channel,
    Sensor,
    Range,
    Coupling,
    Resistor,
    Shunt,
    Sense,
    Connect,
    Supply,
    Offset
};

// The mode radio buttons and the setup-mode buttons of the control page.
struct TModeControls {
    QRadioButton* AdHocMode = nullptr;
    QRadioButton* SetupMode = nullptr;
    QPushButton* Commit = nullptr;
    QPushButton* Rollback = nullptr;
};

class TColumnMenus : public QObject {
    Q_OBJECT
public:
    TColumnMenus(model::TI2CTranslator& translator, const TSettings& settings, const TScanGate& gate,
                 TMainWindowState state, TChannelsHost& host, TChannelList& list, TModeControls controls);
    ~TColumnMenus() override;
    TColumnMenus(const TColumnMenus&) = delete;
    TColumnMenus& operator=(const TColumnMenus&) = delete;

    // The offset window (created at program start, not owned).
    TChannelOffsetForm* OffsetForm = nullptr;
    // Runs a menu at a screen position and gives the picked item (tests script the pick).
    std::function<QAction*(QMenu& menu, const QPoint& screenPos)> ExecMenu;
    // Runs a dialog modally and gives its result.
    std::function<int(QDialog& dialog)> ExecDialog;
    // The channel menu's discharge command (the clear-mode menu's last item).
    std::function<void()> ClearChargeCommand;
    // Discharges the selected CHARGE channels after an ad-hoc commit (the translator's
    // ClearChargeSelected).
    std::function<bool()> DischargeSelected;

    QMenu* popControl;

    bool AdHocMode() const;
    // Checks the ad-hoc radio button (the mode switch reacts when it was not checked).
    void SetAdHocMode();

    // The list's context menu at a point in list client pixels.
    void lbDevControlContextPopup(const QPoint& pos);
    void ShortcutContext(TShortcut shortcut);

    // Builds the menu for row and opens it at (x, y) in list client pixels; the picked item's
    // handler runs before it returns.
    void ShowMenu(TColumnMenu menu, int x, int y, int row);
    void ShowChannelPopup(int x, int y, int row);
    void ShowOffsetEditor(int x, int y, int row);

    // An item handler over the selected channels.
    void RunHandler(TMenuHandler handler, int tag);
    void ApplyChanges(bool clearClipboard);
    // Before a command changes pending images: in setup mode the change joins the collected ones
    // (the first takes the snapshot a rollback returns to); nothing in ad-hoc mode.
    void JoinSetupChanges();
    void btnCommitClick();
    void btnRollbackClick();
    void rbAdHocModeClick();
    // After every commit of the translator (its OnConfigCommitted): while setup mode is
    // selected a fresh snapshot, nothing pending, the commit and rollback buttons disabled.
    void SetupModeCommitted();
    void SetCommitButtonsEnabled(bool enabled);

private:
    bool CanOpen() const;
    QPoint ScreenPos(int x, int y) const;
    void Guarded(const std::function<void()>& fn);
    void ApplySetters(TMenuHandler handler, int tag, int index);
    void EnableSaveSetup();

    model::TI2CTranslator& translator_;
    const TSettings& settings_;
    const TScanGate& gate_;
    TMainWindowState state_;
    TChannelsHost& host_;
    TChannelList& list_;
    TModeControls controls_;
    TMenuItems items_; // of the menu open now
};

} // namespace qrb::ui
