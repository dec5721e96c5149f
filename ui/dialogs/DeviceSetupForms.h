#pragma once
// The USB and LAN device setup dialogs TUSBSetupForm and TLanSetupForm, opened by the settings
// dialog while the firmware library is loaded: they find amplifiers through the library and
// update their firmware or set their IP address. Both share TDeviceSetupForm; they differ in the
// title, the scan, the row layout, the version prefix, the device value of the address upload
// and the LAN dialog's "Add device". Scans and uploads are synchronous library calls on the
// main thread; the scan gate stays closed while they run, and the dialog cannot be closed.

#include "ui/platform/FirmwareLibrary.h"

#include <QDialog>
#include <QPixmap>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace qrb::model {
class TI2CTranslator;
}

namespace qrb::ui {

class TNetworkInfo;
class TScanGate;
class TSettingsForm;

// Picture 2 of the dialogs' image list: an amplifier.
QPixmap SetupDeviceImage();

// One found device, made from a scan record.
struct TNodeEntry {
    uint32_t Address = 0;
    std::string AddressText;
    uint32_t Kind = 0;
    uint32_t Index = 0;
    std::string Number;
    std::string Version;       // "HW ..." (USB) or "FW ..." (LAN)
    uint32_t DeviceHandle = 0; // USB only

    static TNodeEntry FromRecord(const TFWScanRecord& record, const char* versionPrefix);
};

// The phase (bits 8-15) and percentage (bits 0-7) of a progress status, and the phase's text.
int ProgressPhase(int32_t status);
int ProgressPercent(int32_t status);
std::string PhaseText(int phase);

class TDeviceSetupForm : public QDialog {
    Q_OBJECT
public:
    ~TDeviceSetupForm() override;

    // Set by the settings dialog before showing it; the translator is not used here.
    model::TI2CTranslator* Translator = nullptr;
    TScanGate* Gate = nullptr;

    bool Busy() const { return busy_; }
    const std::vector<TNodeEntry>& Entries() const { return entries_; }
    const TNodeEntry* SelectedEntry() const;

    // Handlers.
    void FormShow();
    void TimerTick();
    void Scan();
    void btnFirmwareClick();
    void btnIPChangeClick();
    void lbDevicesClick();
    // The progress callback's work on the main thread.
    void Progress(int32_t status);

    QLabel* lbMainTitle;
    QLabel* lbTopic1Text;
    QListWidget* lbDevices;
    QPushButton* btnRescan;
    QPushButton* btnAddDevice = nullptr; // LAN only
    QPushButton* btnIPChange;
    QPushButton* btnFirmware;
    QPushButton* btnOK;
    QLabel* lbStatus;
    QProgressBar* pbStatus;

    // The library's progress callback; userData is the dialog.
    static int32_t ProgressCallback(void* userData, int32_t status);

protected:
    TDeviceSetupForm(QWidget* parent, TSettingsForm* settings, const char* name, int titleId, bool lan);

    virtual void ScanDevices() = 0;
    virtual int32_t UploadFirmware(const TNodeEntry& entry, void* image, uint32_t size) = 0;
    virtual int32_t UploadAddress(const TNodeEntry& entry, void* image, uint32_t size) = 0;
    virtual std::string ItemText(const TNodeEntry& entry) const = 0;
    // The phase of the previous progress callback of this dialog kind, for the program's run.
    virtual int& LastPhase() = 0;
    // After a successful address change (LAN: the settings dialog's list follows).
    virtual void AddressChanged(const std::string& oldEntry, const std::string& newAddress);
    virtual void UpdateButtons();

    void AddEntry(const TNodeEntry& entry);
    void Repaint();
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

    TSettingsForm* settings_;
    const bool lan_;

private:
    void BeginWork();
    void EndWork();
    void WaitAndRescan();
    void DisableButtons();
    // The program ended while a scan or upload ran (the dialog refused to close meanwhile): it
    // closes now as rejected. False when the program goes on.
    bool EndedAfterWork();

    bool busy_ = true;
    bool shown_ = false;
    std::vector<TNodeEntry> entries_;
    uint64_t timer_ = 0;
};

class TUSBSetupForm : public TDeviceSetupForm {
    Q_OBJECT
public:
    explicit TUSBSetupForm(TSettingsForm* settings);

    // The phase of the previous progress callback of a USB dialog, for the program's run.
    static int& PreviousPhase();

protected:
    void ScanDevices() override;
    int32_t UploadFirmware(const TNodeEntry& entry, void* image, uint32_t size) override;
    int32_t UploadAddress(const TNodeEntry& entry, void* image, uint32_t size) override;
    std::string ItemText(const TNodeEntry& entry) const override;
    int& LastPhase() override { return PreviousPhase(); }
};

class TLanSetupForm : public TDeviceSetupForm {
    Q_OBJECT
public:
    explicit TLanSetupForm(TSettingsForm* settings);

    const TNetworkInfo* NetworkInfo = nullptr;

    void btnAddDeviceClick();
    static int& PreviousPhase();

protected:
    void ScanDevices() override;
    int32_t UploadFirmware(const TNodeEntry& entry, void* image, uint32_t size) override;
    int32_t UploadAddress(const TNodeEntry& entry, void* image, uint32_t size) override;
    std::string ItemText(const TNodeEntry& entry) const override;
    int& LastPhase() override { return PreviousPhase(); }
    void AddressChanged(const std::string& oldEntry, const std::string& newAddress) override;
    void UpdateButtons() override;
};

} // namespace qrb::ui
