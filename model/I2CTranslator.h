#pragma once
// The amplifier model's single object: owns the hardware abstraction, the device and channel
// lists, the sensor database list, the commit's error lists and the channel clipboard; forwards
// the hardware abstraction's events and fires its own.
//
// One class, implemented in files by concern:
//   I2CTranslator.cpp       construction, lists, accessors, selection, logging, events,
//                           hardware-abstraction handlers, ReportError
//   TranslatorScan.cpp      Rescan, ScanDevice, Disconnect, CountDevices, IsFirmwareCurrent
// Later concerns add their own file and a section below.

#include "device/I2CControl.h"
#include "device/I2CHAL.h"
#include "device/I2CTypes.h"
#include "device/Records.h"
#include "model/ObjectList.h"
#include "model/QRBRawChannel.h"
#include "model/QRBRawMaster.h"
#include "model/RegisterTables.h"
#include "model/SensorRecord.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::model {

// ---- Types shared by the translator's concerns -------------------------------------------

// An error the translator raises (a missing configuration-complete handler, retired commit
// modes, checked I2C writes); the text is what the user sees.
class ETranslatorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// (Sender: the translator; Device: the hardware abstraction's device index; Code).
using TTranslatorInterruptEvent = std::function<void(const void* sender, int32_t device, int32_t code)>;

// The bits of each register image word the device reported as different in the last commit;
// word 8 is never filled.
using TChannelErrorWords = std::array<uint16_t, kRegisterWords>;
// One entry per channel of the model.
using TBitErrorList = std::vector<TChannelErrorWords>;

// The user-visible settings of one channel, copied for pasting onto others.
struct TChannelClipboard {
    bool HasCharge = false; // of the source; not used when pasting
    TSensorType SensorType = stOff;
    uint8_t Range = 0;
    uint8_t Gain = 0;
    uint8_t Coupling = 0;
    uint16_t OffsetDAC = 0;
    uint16_t PowerDAC = 0;
    bool Offset = false;
    bool OutputFilter = false;
    bool Is350Ohm = false;
    bool Sense = false;
    uint16_t PowerDAC2 = 0;
    uint8_t DMSShunt = 0;
    uint8_t PwrAtSignal = 0;
    uint8_t ChargeMode = 0;
    uint8_t Capacity = 0;
    uint8_t Highpass = 0;
    uint8_t AutoClear = 0;
};

using TMasterList = TObjectList<TQRBRawMaster>;
using TChannelList = TObjectList<TQRBRawChannel>;
using TSensorEntryList = TObjectList<TSensorRecord>; // sorted by sensor ID, duplicates ignored

inline constexpr int kSelectionSize = 4096;
// The firmware a device needs at least (major, minor, build).
inline constexpr int kMinFirmwareMajor = 2;
inline constexpr int kMinFirmwareMinor = 6;
inline constexpr int kMinFirmwareBuild = 9;

class TI2CTranslator {
public:
    // ---- Construction (I2CTranslator.cpp) ------------------------------------------------

    // Creates the hardware abstraction with interfaces and no scan, then, with scanNow, only
    // lets it scan (the model stays empty until Rescan). Tests hand in their transports
    // through factory. Throws the hardware abstraction's creation error.
    explicit TI2CTranslator(device::TInterfaceMask interfaces, bool scanNow = false,
                            const device::TI2CTransportFactory& factory = device::DefaultTransportFactory());
    // Frees the hardware abstraction first, then the devices, the channels, the sensor entries.
    ~TI2CTranslator();
    TI2CTranslator(const TI2CTranslator&) = delete;
    TI2CTranslator& operator=(const TI2CTranslator&) = delete;

    // ---- Fields, in the model's order ----------------------------------------------------

    TMasterList Masters;   // text: device index as decimal text
    TChannelList Channels; // text: the channel's Name; the position is the channel index
    std::unique_ptr<device::TI2CHAL> HAL;
    device::TInterfaceMask Interfaces;
    int32_t DebugLevel = 0;
    TChannelClipboard Clipboard;
    bool RegisterDump = false;
    std::string LastError; // collected until ReportError sends and clears it
    std::string LastScanError;
    std::string LastDeviceConfigError;
    std::string LastFileError;
    int32_t LastDeviceCount = 0;
    TBitErrorList BitErrors;
    bool DeviceLocked = false;
    bool ClipboardValid = false;
    bool ICPCompVoltage = false;
    bool OfflineMode = false;
    int32_t SettleTime = 250; // ms
    int32_t ZeroAverage = 4;  // 1..30
    TSensorEntryList SensorEntries{true};
    std::string AppDataFolder; // with a trailing '/'; empty when there is none

    // Events, in declaration order; an unassigned event is skipped.
    device::TNotifyEvent OnScanStart;
    device::TI2CScanEndEvent OnScanEnd;
    device::TI2CTextEvent OnDeviceLog;
    device::TNotifyEvent OnDeviceChange;
    device::TI2CTextEvent OnI2CLog;
    device::TI2CTextEvent OnI2CError; // only while DebugLevel >= 1
    device::TI2CTextEvent OnScanError;
    device::TNotifyEvent OnBeginUpdate;
    device::TI2CScanEndEvent OnEndUpdate;
    device::TI2CTextEvent OnScanLog;
    device::TNotifyEvent OnDeviceScanStart;
    device::TI2CTextEvent OnError;
    device::TI2CTextEvent OnRegisterDump;
    device::TNotifyEvent OnConfigComplete; // Rescan refuses to run without it
    TTranslatorInterruptEvent OnSpareInterrupt;
    TTranslatorInterruptEvent OnDeviceAlarm;
    device::TI2CTextEvent OnTranslatorLog;
    device::TI2CTextEvent OnTranslatorError;
    TTranslatorInterruptEvent OnDeviceInterrupt;
    device::TI2CTextEvent OnDeviceLost;

    bool DevicesFound = false;
    // Per device index of the hardware abstraction; they grow with the device count and keep
    // their values across scans.
    std::vector<device::TDeviceInfo> DeviceInfos;
    std::vector<device::TDeviceADC8> DeviceADC8;
    std::array<bool, kSelectionSize> Selected{}; // per channel index, written by the UI

    // ---- Lists and accessors (I2CTranslator.cpp) -----------------------------------------

    // Null outside 0..count-1.
    TQRBRawChannel* GetChannel(int32_t index) const;
    TQRBRawMaster* GetMaster(int32_t index) const;
    int32_t ChannelCount() const;
    int32_t MasterCount() const;
    void ClearChannels();
    void ClearMasters();
    // DeviceInfos and DeviceADC8 hold at least count entries afterwards.
    void GrowDeviceArrays(int32_t count);

    // True for a channel index of the list. Otherwise LastError := format with index + 1
    // ("Invalid channel %d", or the caller's form), ReportError, false.
    bool CheckChannelIndex(int32_t index, std::string_view format = "Invalid channel %d");

    // ---- Selection (I2CTranslator.cpp) ---------------------------------------------------

    void ClearSelection();
    void SelectAll();
    // False outside the selection array.
    bool IsSelected(int32_t index) const;

    // ---- Options and hardware-abstraction settings (I2CTranslator.cpp) -------------------

    void SetInterfaces(device::TInterfaceMask mask);
    void SetDebugLevel(int32_t level);
    void SetHALLogLevel(int32_t level);
    void SetHALI2CLogLevel(int32_t level);
    // -1 without hardware abstraction.
    int32_t AddScanTarget(std::string_view target, device::TInterfaceMask mask);
    void ClearScanTargets();
    void ClearScanTargets2();
    void SetICPCompVoltage(int32_t value);
    void SetZeroAverage(int32_t count);
    void ClearErrorHistory();

    // ---- Logging and errors (I2CTranslator.cpp) ------------------------------------------

    void DoTranslatorLog(const void* sender, const std::string& text);
    void DoTranslatorError(const void* sender, const std::string& text);
    // Sends LastError to OnTranslatorError (DebugLevel > 0) and OnError, then clears it.
    void ReportError();

    // ---- Hardware-abstraction handlers (I2CTranslator.cpp) -------------------------------

    void HALScanStart(const void* sender);
    void HALScanEnd(const void* sender, int32_t count);
    void HALDeviceLog(const void* sender, const std::string& text);
    void HALI2CLog(const void* sender, const std::string& text);
    void HALI2CError(const void* sender, const std::string& text);
    void HALDeviceChange(const void* sender);
    // A device notification (status word and eight channel bytes, active low): channel status
    // bits, then a supply alarm (256), a fan alarm (1024) or a device interrupt. Main thread.
    void HALNotify(const void* sender, int32_t device, const device::TIRQMessage* msg);
    void HALDeviceLost(const void* sender, const std::string& text);

    // ---- Scan (TranslatorScan.cpp) -------------------------------------------------------

    // Rebuilds the model; the channel count, 0 when no device was found or a device scan
    // failed, -1 without hardware abstraction. Throws ETranslatorError without OnConfigComplete.
    int32_t Rescan();
    // Examines device d and adds its objects; the channel count afterwards, -1 when the device
    // was refused before its channels were read.
    int32_t ScanDevice(int32_t device);
    static bool IsFirmwareCurrent(const device::TFWVersion& version);
    // Empties the model and closes the devices.
    void Disconnect();
    // The hardware abstraction's scan and its device count, without touching the model.
    int32_t CountDevices();

    // ---- Channel setters (TranslatorSetters.cpp) -----------------------------------------
    // ---- Commit, verification and rollback (TranslatorCommit.cpp) ------------------------
    // ---- Sensor-type presets, defaults, clipboard (TranslatorPresets.cpp) ----------------
    // ---- Device operations (TranslatorDevice.cpp) ----------------------------------------
    // ---- Sensor identification over 1-Wire ------------------------------------------------
    // ---- Measurements and autozero --------------------------------------------------------
    // ---- Status polling and text reports --------------------------------------------------
    // ---- Setup files, exports, sensor database --------------------------------------------

private:
    // The master objects' device calls, through HAL.
    class THALMasterAccess : public TMasterDeviceAccess {
    public:
        explicit THALMasterAccess(TI2CTranslator& owner) : owner_(owner) {}
        device::TI2CResult GetMasterflash(int device, device::TMasterFlash& flash) override;
        device::TI2CResult SetMasterflash(int device, const device::TMasterFlash& flash) override;
        device::TI2CResult GetDCDCInfo(int device, device::TDCDCInfo& info) override;

    private:
        TI2CTranslator& owner_;
    };

    // Scan steps (TranslatorScan.cpp).
    int32_t FailDevice(const std::string& text);
    void ScanError(const std::string& text);
    void ScanLog(const std::string& text);
    void AddChannels(int32_t device, const device::TI2CDevice& entry, device::TChannelInfoBlock& block);
    void RepairM21(int32_t device, int slot, device::TChannelInfoBlock& block, TQRBRawChannel& channel);
    std::string ReadCalibration(int32_t device, int slot, const device::TChannelInfoSlot& info,
                                TQRBRawChannel& channel);

    THALMasterAccess masterAccess_{*this};
};

} // namespace qrb::model
