#pragma once
// The settings dialog TSettingsForm: the options on eight pages, the LAN address list, the six
// colours of the channel list, and, while the firmware library is loaded, the USB and LAN
// device setup dialogs. The settings command copies the options in before showing it and back
// after OK; the dialog itself never touches the settings file. TAddLANAddressForm asks for one
// address (the settings dialog's new LAN address, the setup dialogs' address change).

#include "ui/settings/Settings.h"

#include <QComboBox>
#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QFontMetrics;

namespace qrb::model {
class TI2CTranslator;
}

namespace qrb::ui {

class TNetworkInfo;
class TScanGate;

// A colour box: the named colours of the class library and its system colours, plus the value
// it was given when that has no name, so every 32-bit colour value comes back as it went in.
class TColorBox : public QComboBox {
    Q_OBJECT
public:
    explicit TColorBox(QWidget* parent = nullptr);
    void SetSelected(int32_t value);
    int32_t Selected() const;
    // Names with the "cl" prefix, or without it.
    void SetPrettyNames(bool pretty);

private:
    void Fill();
    bool pretty_ = false;
    int32_t custom_ = 0;
    bool hasCustom_ = false;
};

// The port text of a LAN address row cut until it fits available pixels; a cut text ends in
// "...". Stops when nothing is left to cut.
QString ShortenPortText(const QFontMetrics& metrics, const QString& port, int available);

// The comma text of a list, as the class library writes it (an item with a blank, a comma or a
// double quote is quoted, quotes doubled).
std::string CommaText(const std::vector<std::string>& items);

class TAddLANAddressForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddLANAddressForm(QWidget* parent = nullptr);

    // Format("%d.%d.%d.%d:%d") of the address and the port; the mask "%d.%d.%d.%d".
    std::string AddressText() const;
    std::string AddressOnly() const;
    std::string MaskText() const;
    void SetAddress(uint32_t address); // first octet in the lowest byte

    QLabel* lbLANHeader;
    QLabel* lbLANText;
    QLabel* lbIPAddress;
    QLabel* lbPort;
    QLabel* lbPortHint;
    QLabel* lbSubnet;
    QSpinBox* seLANadr1;
    QSpinBox* seLANadr2;
    QSpinBox* seLANadr3;
    QSpinBox* seLANadr4;
    QSpinBox* seLANport;
    QSpinBox* seMask1;
    QSpinBox* seMask2;
    QSpinBox* seMask3;
    QSpinBox* seMask4;
    QPushButton* btnApplyLAN;
    QPushButton* btnCancelLAN;

    void SetMaskEnabled(bool enabled);

protected:
    void showEvent(QShowEvent* event) override;
};

class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSettingsForm(QWidget* parent = nullptr);
    ~TSettingsForm() override;

    // Set by the settings command before showing it.
    model::TI2CTranslator* Translator = nullptr;
    const TNetworkInfo* NetworkInfo = nullptr; // the LAN setup's local networks
    TScanGate* Gate = nullptr;                 // closed while a setup dialog works

    bool DevicesChanged = false;
    bool FWLibLoaded = false;
    std::string ShownLANList;
    int FanIndex = 1, RangeModeIndex = 0, ZeroAverageIndex = 1;

    // The settings command's conversions: every option into its control (the LAN list as its
    // items), and back after OK (Interfaces rebuilt from the two boxes alone).
    void LoadOptions(const TSettings& settings, const std::vector<std::string>& lanAddresses);
    void StoreOptions(TSettings& settings) const;

    // The LAN address list.
    std::vector<std::string> LANAddresses() const;
    std::string LANCommaText() const { return CommaText(LANAddresses()); }
    bool HasLANAddress(const std::string& text) const;
    // Sorted into place unless the list holds it already; false then.
    bool AddLANAddress(const std::string& text);
    // Deletes oldText and adds newText (unless the list holds it already); false when the list
    // does not hold oldText.
    bool ReplaceLANAddress(const std::string& oldText, const std::string& newText);

    // Handlers.
    void FormShow();
    void cbUSBClick();
    void cbTimedReCheckClick();
    void lb_lanaddressClick();
    void btnIntfAddClick();
    void btnIntfDelClick();
    void btnUSBSetupClick();
    void btnLANSetupClick();
    void btnresetColorsClick();
    void btnOKClick();
    void FillUSBDeviceList();

    QLabel* lbMainTitle;
    QLabel* lbTopic1Text;
    QTabWidget* pcSettings;
    QWidget* tabDevices;
    QWidget* tabDisplay;
    QWidget* tabConfirm;
    QWidget* tabConfig;
    QWidget* tabTEDS;
    QWidget* tabExtended;
    QWidget* tabColors;
    QWidget* tabAutoZero;
    // Devices
    QCheckBox* cbUSB;
    QCheckBox* cbLAN;
    QGroupBox* gbLAN;
    QLabel* lbLANText;
    QListWidget* lb_lanaddress;
    QPushButton* btnIntfAdd;
    QPushButton* btnIntfDel;
    QPushButton* btnLANSetup;
    QGroupBox* gbUSB;
    QLabel* lbUSBText;
    QListWidget* lbUSB;
    QPushButton* btnUSBSetup;
    // Display
    QLabel* lbRangeMode;
    QComboBox* cbRangeMode;
    QCheckBox* cbKeepADC8quiet;
    QCheckBox* cbDebugLevel;
    QCheckBox* cbClearHistOnConfig;
    QGroupBox* gbxSensor;
    QLabel* lbSWStartLock;
    QLabel* lbSWStopLock;
    QLabel* lbHWStartLock;
    QComboBox* cbSWStartLock;
    QComboBox* cbSWStopLock;
    QComboBox* cbHWStartLock;
    QCheckBox* cbUseDevNames;
    // Confirmations
    QCheckBox* cbAskOnCurrent;
    QCheckBox* cbAskOnTEDSCheck;
    QCheckBox* cbAskOnUDMSCheck;
    QCheckBox* cbAskOnTempCheck;
    QCheckBox* cbAskOnRescan;
    QCheckBox* cbAskOnTurnOff;
    // Settings
    QCheckBox* cbAskOnSaveDevConfig;
    QCheckBox* cbAskOninitDevConfig;
    QCheckBox* cbAskSaveonChange;
    QCheckBox* cbAskOnDefault;
    QLabel* lbSaveConfig;
    QCheckBox* cbSaveAsText;
    QCheckBox* cbSaveAsXLS;
    QCheckBox* cbWarnOnSetupDiff;
    QCheckBox* cbWarnOnSerNoDiff;
    QCheckBox* cbUseDefaultSetup;
    // TEDS
    QCheckBox* cbAskForNewTEDS;
    QCheckBox* cbAutoTEDSConfig;
    // Extended
    QLabel* lbFanControl;
    QComboBox* cbFanControl;
    QCheckBox* cbRescanAfterDown;
    QCheckBox* cbChannelDisable;
    QCheckBox* cbTimedReCheck;
    QSpinBox* seTimedReCheckIntv;
    QLabel* lbSeconds;
    QCheckBox* cbExtendedRanges;
    QCheckBox* cbOfflineCheck;
    // Colors
    QLabel* lbControlBGsel;
    QLabel* lbControlBGnor;
    QLabel* lbControlFG;
    QLabel* lbControlCN;
    QLabel* lbControlText;
    QLabel* lbControlSelect;
    TColorBox* cbControlBGsel;
    TColorBox* cbControlBGnor;
    TColorBox* cbControlFG;
    TColorBox* cbControlCN;
    TColorBox* cbControlText;
    TColorBox* cbControlSelect;
    QPushButton* btnresetColors;
    // Autozero
    QLabel* lbZeroAverage;
    QComboBox* cbZeroAverage;
    // Buttons
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool shown_ = false;
};

} // namespace qrb::ui
