#pragma once
// The main window TOndrixMain: start and end of the program, the window's controls, menus and
// actions, the translator's event handlers with the log and the error history, the settings
// file and the language. Implemented in files by concern:
//   MainWindow.cpp          construction of the controls, menus and actions; life cycle
//                           (FormCreate, FormShow, FormResize, FormClose, FormDestroy),
//                           power events, busy phases
//   MainWindowEvents.cpp    the translator's event handlers, AddLog, the log buttons,
//                           UpdateErrorHistory, UpdateActions
//   MainWindowLanguage.cpp  ApplyLanguage and the language commands
//   MainWindowSettings.cpp  LoadSettings, SaveSettings, the settings command
//   MainWindowOptions.cpp   the other option commands
// Later concerns (scan, channel list, column menus, commands, configuration server) add their
// own file and a section below.

#include "device/I2CHAL.h"
#include "device/I2CTypes.h"
#include "device/MainLoop.h"
#include "ui/platform/NetworkInfo.h"
#include "ui/platform/ScanGate.h"
#include "ui/platform/Scopes.h"
#include "ui/settings/Settings.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QDialog;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimer;
class QToolBar;
class QToolButton;

namespace qrb::model {
class TI2CTranslator;
}

namespace qrb::ui {

class TBusyPopup;
class TChannelStatusForm;
class TMainWindowChannels;
class TDeviceStatusForm;
class TPowerEvents;

inline constexpr const char* kMainCaption = "QRB Ondrix Interface Software";
inline constexpr const char* kApplicationTitle = "OndrixQRB";
inline constexpr int kMinWidth = 920;
inline constexpr int kMinHeight = 400;

class TConfigServerControl;
class TOndrixMain;

// What the start takes from outside; tests replace parts.
struct TStartOptions {
    // The network information's source (default: the system's interfaces).
    std::function<std::unique_ptr<TNetworkSource>()> NetworkSource;
    // The translator's transports (default: the program's transports).
    std::function<device::TI2CTransportFactory()> TransportFactory;
    // The command line (default: the running process's parameters).
    std::vector<std::string> Arguments;
    bool HaveArguments = false;
    // Creates the configuration server once the translator exists (with "configServer" only).
    std::function<std::unique_ptr<TConfigServerControl>(TOndrixMain&)> ConfigServerFactory;
};

// The configuration server as the main window drives it; the configuration-server component
// implements it. Activate throws std::exception with the reason when it cannot listen.
class TConfigServerControl {
public:
    virtual ~TConfigServerControl() = default;
    virtual void Activate(const std::string& address, uint16_t port, int maxConnections) = 0;
    // Closes every connection and ends the server's threads.
    virtual void Deactivate() = 0;
    virtual bool Active() const = 0;
};

// The texts the channel list and its menus paint from, reloaded by ApplyLanguage.
struct TListTexts {
    std::string DefaultChannelName; // 1500
    std::string PositionFormat;     // 1501
    std::string Sensor, Range, Coupling, Offset, Current, Voltage, Bridgemode, Supply, Shunt, Sense, Resistor,
        Connection;                                                          // 1502..1568
    std::string PoweredDown, PoweredDownHint, Disabled, DisabledHint;        // 1554, 1555, 1569, 1570
    std::string ChargeCoupling, ChargeGain, ChargeHighpass, ChargeClearmode; // 1593..1596
};

// Row pictures of the channel list, in the order of ListGlyphs.
enum TListGlyph { lgSelected = 0, lgStatusOK = 1, lgErrorNow = 2, lgErrorHistory = 3, lgNotPresent = 4 };

// An image of the main image list by its number (empty when the list has none).
QPixmap MainImage(int index);
// "Version: ", the program version, a line break and the maker's line (overview page, about box).
std::string VersionLabelText();

class TOndrixMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TOndrixMain(QWidget* parent = nullptr);
    ~TOndrixMain() override;

    // ---- Life cycle (MainWindow.cpp) -----------------------------------------------------

    // The start-up steps after the single-instance guard: folders, network information,
    // translator with its handlers, sensor database, glyphs, idle handler, configuration
    // server. False when the program must end; the message was shown, the exit code is 0.
    bool FormCreate(const TStartOptions& options = {});
    // The three other long-lived windows (created after the main window, destroyed before it).
    void SetCompanionWindows(TDeviceStatusForm* deviceStatus, TChannelStatusForm* channelStatus,
                             QDialog* channelOffset);
    // Runs once, when the window is first shown.
    void FormShow();
    void FormResize();
    // Writes the settings and sets the front-panel lock; errors are ignored.
    void FormClose();
    // Closes the window as the exit command does; before the first show, right after it.
    void RequestClose();
    // A termination signal: the open boxes are closed with the answer Escape gives, none waits
    // for an answer any more, and the window closes (after a running scan or busy phase).
    void Terminate();
    // Stops the configuration server, frees the translator and the network information.
    void FormDestroy();
    // A power code: 0, 1, 4, 5 disconnect (result 1); 6, 7, 8 rescan; others nothing (0).
    int WMPowerBroadcast(int code);
    void lbWebLinkDblClick();

    // ---- Settings (MainWindowSettings.cpp) -----------------------------------------------

    void LoadSettings();
    // Every key into SettingsFile; false with the error text.
    bool SaveSettings(std::string& error);
    // The settings command: the settings dialog with every option copied in and, after OK, out.
    void actSettingsExecute();

    // ---- Language (MainWindowLanguage.cpp) -----------------------------------------------

    void ApplyLanguage();
    void actLangEngExecute();
    void actLangGerExecute();

    // ---- Events, log, history (MainWindowEvents.cpp) -------------------------------------

    void AddLog(const std::string& text);
    // The log line of a lost device.
    void LogDeviceLost(const std::string& host);
    void btnLogClearClick();
    void btnLogSaveClick();
    void UpdateErrorHistory();
    void UpdateActions();
    std::vector<std::string> LogLines() const;

    void TranslatorI2CLog(const void* sender, const std::string& text);
    void TranslatorI2CError(const void* sender, const std::string& text);
    void TranslatorDeviceLog(const void* sender, const std::string& text);
    void TranslatorLog(const void* sender, const std::string& text);
    void TranslatorError(const void* sender, const std::string& text);
    void TranslatorConfigError(const void* sender, const std::string& text);
    void TranslatorScanLog(const void* sender, const std::string& text);
    void TranslatorScanError(const void* sender, const std::string& text);
    void TranslatorEndUpdate(const void* sender, int32_t count);
    void TranslatorConfigComplete(const void* sender);
    void TranslatorDeviceChange(const void* sender);
    void TranslatorDeviceLost(const void* sender, const std::string& text);
    // Raised where a notification arrives; both hand the work to the main loop.
    void TranslatorDeviceAlarm(const void* sender, int32_t device, int32_t code);
    void TranslatorDeviceInterrupt(const void* sender, int32_t device, int32_t code);

    // ---- Scanning (the channels component connects Gate.OnRescan) ------------------------

    // The scan: a rescan request to the gate (run at once when it is open).
    void actRescanExecute();
    void timMainTimer();
    // The application's idle pass (the timed re-check).
    void FormIdle();

    // ---- Busy indication ---------------------------------------------------------------

    // BeginBusy for its lifetime, EndBusy at its end; the gate stays closed meanwhile.
    class TBusyPhase {
    public:
        TBusyPhase(TOndrixMain& window, int headerId, int textId);
        ~TBusyPhase();
        TBusyPhase(const TBusyPhase&) = delete;
        TBusyPhase& operator=(const TBusyPhase&) = delete;

    private:
        TOndrixMain& window_;
        TScanGate::TGuard guard_;
        std::unique_ptr<TBusyPopup> popup_;
    };
    void BeginBusy();
    void EndBusy();

    // Holds Busy and keeps the gate closed for a command's whole Busy span; clears Busy on
    // every exit, an exception included, so a device lost midway never leaves the window
    // disabled. Nested scopes keep Busy until the outermost one ends.
    class TBusyScope {
    public:
        explicit TBusyScope(TOndrixMain& window) : guard_(window.Gate), busy_(window.Busy) {}

    private:
        TScanGate::TGuard guard_;
        TFlagScope busy_;
    };

    // The frame of a long device operation: BeginBusy with the pop-up texts, a 100 ms pause
    // and one pass of pending events (so the pop-up and the disabled controls are painted),
    // the blocking call, EndBusy (also when the call throws). Returns the call's result; the
    // caller shows the message after it.
    bool RunLongOperation(int headerId, int textId, const std::function<bool()>& call);

    // ---- Commands that other commands call ----------------------------------------------

    // When the setup was modified and AskSaveonChange is on: offers to save it first (the save
    // command with its own file dialog on Yes). Restore defaults, load setup, turn off and the
    // scan commands begin with it. False when the program ends meanwhile: the command stops.
    bool SaveBeforeSetupChange();
    // After defaults or a loaded setup (file; empty for defaults) went to the devices: the
    // history cleared when ClearHistoryOnConfig is on, actions, history, list and caption anew.
    void ShowNewSetup(const std::string& file);
    void actSaveSetupExecute();
    // The device lock commands (each does nothing when the devices already are in that state).
    void actDevLockExecute();
    void actDevUnlockExecute();

    // ---- File, edit and about commands (MainWindowCommands.cpp) --------------------------

    // Connects them (CreateActions calls it).
    void ConnectMainCommands();
    // The edit menu's opening and the focus it reads (CreateMenus calls it).
    void ConnectEditMenu();
    void actDefaultSetupExecute();
    void actLoadSetupExecute();
    void actSaveAsDefaultExecute();
    void actClearDefaultExecute();
    // actClearDefault enabled exactly when DefaultSetupFile exists.
    void UpdateClearDefault();
    // The edit commands act on the focused control: an edit control, or the channel list.
    void acteditcutExecute();
    void acteditcopyExecute();
    void acteditpasteExecute();
    void acteditselectallExecute();
    // The control the edit commands act on: the focused one, or while the menu bar has the
    // keyboard the one that had the focus before.
    QWidget* EditFocus() const;
    // Their enabled states from that control; run while the application is idle.
    void acteditcutUpdate();
    void acteditcopyUpdate();
    void acteditpasteUpdate();
    void acteditselectallUpdate();
    void actAboutExecute();

    // ---- Device commands (MainWindowDevice.cpp) -----------------------------------------

    // Connects the Device menu's commands and the offset table; called with the window's own.
    void ConnectDeviceCommands();
    void actSaveDevConfigExecute();
    void actClearDevConfigExecute();
    void actDevInformationExecute();
    void actChannelOffsetsExecute();
    void actDevStatusExecute();
    void actTurnOffExecute();

    // ---- Option commands (MainWindowOptions.cpp) -----------------------------------------

    void ConnectOptionCommands();
    // The zero adjustment dialog, with the timed re-check off while it is open.
    void actZeroAdjustExecute();

    // ---- Lookup for extensions and tests -------------------------------------------------

    // The action named as in the window description (actNewScan ...); null for other names.
    QAction* Action(const std::string& name) const;
    // Connects a command's handler and marks the command available.
    void ConnectCommand(const std::string& name, std::function<void()> handler);
    bool CommandConnected(const std::string& name) const { return connected_.count(name) != 0; }
    // Sets a command's enabled state; a command without a handler stays disabled.
    void SetCommandEnabled(const std::string& name, bool enabled);
    const std::map<std::string, QAction*>& Actions() const { return actions_; }
    bool ChannelsPresent() const;

    // ---- Fields --------------------------------------------------------------------------

    std::string ExeFolder; // with a trailing '/'
    std::string UserFolder;
    bool UserFolderOK = false;
    std::string SetupFolder;
    std::string DefaultSetupFile;
    std::string SettingsFile;
    std::string SensorDatabaseFile;
    std::unique_ptr<model::TI2CTranslator> Translator;
    std::unique_ptr<TNetworkInfo> NetworkInfo;
    std::unique_ptr<TConfigServerControl> ConfigServer; // made by TStartOptions::ConfigServerFactory

    // The values of every settings key (Interfaces, VirtDevices, VirtChannels, LANAddresses,
    // the options and colours); the geometry and the language are the window's own.
    TSettings Options;
    device::TInterfaceMask SavedInterfaces;
    std::vector<std::string> HistoryList;
    std::array<QPixmap, 5> ListGlyphs;
    TListTexts ListTexts;

    bool FirstScanPending = true;
    bool SetupModified = false;
    bool Busy = false;
    bool AskingRescan = false;
    bool ReCheckRequest = false;
    bool DeviceShutDown = false;
    bool ChangesPending = false;
    bool SelectionSyncing = false;
    uint16_t PopupSensorType = 0;
    uint32_t ReCheckBase = 0;
    uint32_t LastReCheck = 0;
    int SupplyColumnLeft = 0;
    int OffsetColumnLeft = 0;
    int OffsetColumnRight = 0;
    // The text of the last OnScanError; the scan shows it after it ended.
    std::string PendingScanError;

    // Device I/O started from the event loop waits behind this gate.
    TScanGate Gate;
    TPowerEvents* PowerEvents = nullptr;
    // The channel list, its column menus and the scan (ui/MainWindowChannels.h): created by
    // FormCreate once the translator exists, freed by FormDestroy before it.
    std::unique_ptr<TMainWindowChannels> Channels;

    // The clock of the log's time stamps (tests pin it).
    std::function<double()> Clock;

    // ---- Controls (names of the window description) --------------------------------------

    QTimer* timMain;
    QMenuBar* mnbMain;
    QToolBar* atbMain;
    QStackedWidget* pctMain;
    QWidget* tabMain;
    QWidget* tabControl;
    QWidget* tabLog;
    QLabel* stbPanels[3];
    // Overview page
    QLabel* lbMainTitle;
    QLabel* lbMainVersion;
    QLabel* lbOverview;
    QLabel* lbRunMode;
    QLabel* lbWebLink;
    QLabel* imgLogo;
    std::array<QLabel*, 7> lbTopicHeader;
    std::array<QLabel*, 7> lbTopicText;
    QToolButton* sbtRescan;
    QToolButton* sbtViewControl;
    QToolButton* sbtViewLog;
    QToolButton* sbtdevinfo;
    QToolButton* sbtdevstatus;
    QToolButton* sbtDevLock;
    QToolButton* sbtdevUnlock;
    // Control page
    QLabel* lbControlTitle;
    QLabel* lbControlText;
    QGroupBox* gbxControl;
    QListWidget* lbDevControl;
    QCheckBox* cbDevConAllCh;
    QRadioButton* rbAdHocMode;
    QRadioButton* rbSetupMode;
    QPushButton* btnRollback;
    QPushButton* btnCommit;
    QLabel* imgHistory;
    QLabel* lbAllStats;
    // Log page
    QLabel* lbLogTitle;
    QLabel* lbLogText;
    QPlainTextEdit* mmLog;
    QPushButton* btnLogSave;
    QPushButton* btnLogClear;
    // Menus
    QMenu* miFile;
    QMenu* miEdit;
    QMenu* miView;
    QMenu* miOptions;
    QMenu* milanguage;
    QMenu* miDevice;
    QMenu* miChannel;
    QMenu* miHelp;
    QMenu* popChannel;
    QMenu* popHistory;
    std::map<std::string, QAction*> ChannelMenuItems; // miRenamechannel ... miResetChannel
    QAction* miResetHistory;
    QAction* miShowHistory;
    QAction* miRefreshAllStats;

    // Destroyed before the main window: the pointers become null then.
    QPointer<TDeviceStatusForm> DeviceStatusForm;
    QPointer<TChannelStatusForm> ChannelStatusForm;
    QPointer<QDialog> ChannelOffsetForm; // the channel offset window

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreatePages();
    QWidget* CreateMainPage();
    QWidget* CreateControlPage();
    QWidget* CreateLogPage();
    QAction* AddAction(const char* name, const char* icon = nullptr);
    void SetHistoryIcon(int image, int hintId);
    void AssignTranslatorEvents();
    void ShowOverviewText();
    std::string Stamp() const;
    void DoDeviceAlarm(int32_t device, int32_t code);
    // The alarm's box and the rescan after it; duringScan: it arrived while a scan ran. name
    // keys the device's box.
    void ShowDeviceAlarm(int32_t device, const std::string& name, const std::string& message,
                         bool duringScan);
    // The device's name, which stays the same across scans (its index does not).
    std::string AlarmDeviceName(int32_t device) const;
    // A log line that a device repeats: its key's first line is logged, its repeats only count.
    // The counts are logged, and every key forgotten, when a line of another kind is logged, a
    // scan starts, or a second after the first repeat counted since the last flush.
    void LogRepeatable(const std::string& key, const std::string& text);
    void FlushLogRepeats();
    void AppendLog(const std::string& text);
    void DoDeviceInterrupt(int32_t device, int32_t code);

    std::map<std::string, QAction*> actions_;
    std::set<std::string> connected_;
    bool shown_ = false;
    bool settingsLoaded_ = false;
    bool closeAfterShow_ = false;
    bool closing_ = false;
    bool closeQueued_ = false;
    bool destroyed_ = false;
    QPointer<QWidget> editFocus_;
    // Lost-device messages waiting for their rescan.
    std::set<std::string> lossMessages_;
    // Devices (by name) whose alarm box is open or waiting, and the scan in which each last
    // raised an alarm; scans are counted as they start and end.
    std::set<std::string> alarmBoxes_;
    std::map<std::string, uint64_t> alarmScans_;
    uint64_t scansStarted_ = 0;
    uint64_t scansDone_ = 0;
    // The repeatable lines logged since the last flush, in logging order, with their keys' index.
    struct TLogRepeat {
        std::string Text;
        int64_t Count = 0;
    };
    std::vector<TLogRepeat> repeats_;
    std::map<std::string, size_t> repeatKeys_;
    // Runs from the first repeat counted since the last flush (at StartMs) and flushes a second
    // after it.
    struct TRepeatTimer {
        device::TMainLoop* Loop = nullptr;
        device::TTimerId Id = 0;
        uint64_t StartMs = 0;
        bool Running() const { return Id != 0; }
        void Stop();
        ~TRepeatTimer() { Stop(); }
    } repeatTimer_;
    // Why the settings file or the sensor database could not be read at start.
    std::string settingsError_;
    std::string sensorDatabaseError_;
    device::TLifetime lifetime_;
};

} // namespace qrb::ui
