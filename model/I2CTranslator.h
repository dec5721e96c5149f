#pragma once
// The amplifier model's single object: owns the hardware abstraction, the device and channel
// lists, the sensor database list, the commit's error lists and the channel clipboard; forwards
// the hardware abstraction's events and fires its own.
//
// One class, implemented in files by concern:
//   I2CTranslator.cpp       construction, lists, accessors, selection, logging, events,
//                           hardware-abstraction handlers, ReportError
//   TranslatorScan.cpp      Rescan, ScanDevice, Disconnect, CountDevices, IsFirmwareCurrent
//   TranslatorSetters.cpp   channel setters (image arithmetic in ChannelSetters.cpp)
//   TranslatorCommit.cpp    commit, verification, snapshot, rollback, checked I2C calls
//   TranslatorOneWire.cpp   sensor identification over the DS2482 1-Wire bridge
//   TranslatorMeasure.cpp   converter readings, temperature report, autozero, charge clear
//   TranslatorStatus.cpp    status polling and the text reports
//   TranslatorSensorDb.cpp  the sensor database list and its file
//   TranslatorSetupFiles.cpp  XML and raw setups, channel table exports (formats in
//                           SetupXml.cpp, SetupRaw.cpp, ChannelExport.cpp)
// Later concerns add their own file and a section below.

#include "device/I2CControl.h"
#include "device/I2CHAL.h"
#include "device/I2CTypes.h"
#include "device/Records.h"
#include "model/ChannelCommit.h"
#include "model/ObjectList.h"
#include "model/QRBRawChannel.h"
#include "model/QRBRawMaster.h"
#include "model/RegisterTables.h"
#include "model/SensorRecord.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
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
using TSensorEntryList = TSensorBlockList; // sorted by sensor ID, duplicates ignored

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
    // Raised right after OnConfigComplete at the end of every commit, whoever made it: the
    // channel views' own notification (OnConfigComplete is the main window's).
    device::TNotifyEvent OnConfigCommitted;

    bool DevicesFound = false;
    // Per device index of the hardware abstraction; they grow with the device count and keep
    // their values across scans.
    std::vector<device::TDeviceInfo> DeviceInfos;
    std::vector<device::TDeviceADC8> DeviceADC8;
    // Per device index: operations that got no answer (7), counted as each one returns, so that
    // a silent or lost device is known before its loss is reported.
    std::vector<uint32_t> NoAnswers;
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
    void HALNoAnswer(int32_t device);

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

    // Each changes only the pending image and the caches of the channel at index (nothing
    // reaches a device before NewConfig). False after ReportError, with nothing changed, for an
    // index outside the list or a channel that is not present ("Invalid channel %d", index + 1)
    // and for a code outside the setter's table ("Invalid value %d for channel %d").
    bool SetCoupling(int32_t index, uint8_t code); // and the offset follow-up
    bool SetReference(int32_t index, uint8_t code);
    bool SetOpenGndShield(int32_t index, uint8_t code); // then SetReference with ReferenceCache
    bool SetVRefPlus(int32_t index, uint8_t code);
    bool SetVRefMinus(int32_t index, uint8_t code);
    bool SetRange(int32_t index, uint8_t code); // pre-divider, gain, then the offset follow-up
    bool SetPreDivider(int32_t index, uint8_t code);
    bool SetGain(int32_t index, uint8_t code);
    bool SetTEDSPower(int32_t index, uint8_t code);
    bool SetSense(int32_t index, uint8_t code);
    bool SetOffset(int32_t index, uint8_t code);
    bool SetMonitor(int32_t index, uint8_t code);
    bool SetOffsetDACFilter(int32_t index, uint8_t code);
    bool SetZeroInput(int32_t index, uint8_t code);
    bool SetOutputFilter(int32_t index, uint8_t code);
    bool SetQuarterLoad(int32_t index, uint8_t code);
    bool SetPwrAtSignal(int32_t index, uint8_t code);
    bool SetDMSShunt(int32_t index, uint8_t code);
    bool Set120Ohm(int32_t index, uint8_t code);
    bool SetPwrFilter5M(int32_t index, uint8_t code);
    bool SetCurrent(int32_t index, uint8_t code);
    bool SetLED1(int32_t index, uint8_t code);
    bool SetLED2(int32_t index, uint8_t code);
    bool SetR25Shunt(int32_t index, uint8_t code);
    bool SetQtrLoadSense(int32_t index, uint8_t code);
    bool SetDMSPwrOn(int32_t index, uint8_t code);
    bool SetDMSCableRef(int32_t index, uint8_t code);
    bool SetChargeMode(int32_t index, uint8_t code);
    bool SetChargeHighpass(int32_t index, uint8_t code);
    bool SetChargeCapacity(int32_t index, uint8_t code);
    bool SetChargeInput(int32_t index, uint8_t code);
    bool SetChargeACOut(int32_t index, uint8_t code);
    bool SetChargeClear(int32_t index, uint8_t code);
    bool SetChargeManClearMode(int32_t index, uint8_t code);
    // Every supply code has a row: codes other than 1 (voltage) and 2 (current) switch it off.
    bool SetSupply(int32_t index, uint8_t supply);
    // Values above 4095 become 4095.
    bool SetDACs(int32_t index, uint16_t powerDAC, uint16_t offsetDAC);

    // ---- Commit, verification and rollback (TranslatorCommit.cpp) ------------------------

    // Mode 0 writes the pending images (WriteChannelImages); modes 1 and 2 raise
    // ETranslatorError (retired); any other mode fails. A failed commit with bit errors reports
    // them; OnConfigComplete and then OnConfigCommitted end every commit that does not raise.
    bool NewConfig(uint8_t mode, bool onlyChanged);
    // Writes every present channel's pending image (with onlyChanged only those that differ
    // from Current), one after another; a refused image is restored in the model and written
    // again, a failed restore is reported. True when no channel failed.
    bool WriteChannelImages(bool onlyChanged);
    [[noreturn]] void NewConfigShort(bool onlyChanged);
    [[noreturn]] void NewConfigDAC(bool onlyChanged);
    // Snapshot := Current of every present channel, with its sensor type and the model-only low
    // value and open-ground flag; Rollback puts them back without writing to a device.
    void TakeSnapshot();
    void Rollback();
    static bool ImagesDiffer(const device::TRegisterImage& a, const device::TRegisterImage& b);
    void DumpRegisters(const TQRBRawChannel& channel, std::string& text) const;
    // BitErrors holds one zeroed entry per channel afterwards.
    void ClearBitErrors();
    bool HasBitErrors() const;
    void BitErrorReport(std::string& text) const;
    // Up to five attempts, another one only after 7 (no answer). Raise ETranslatorError when
    // the last attempt failed; otherwise true.
    bool WriteI2CChecked(int32_t device, uint8_t addr, std::string_view hexText);
    bool WriteReadI2CChecked(int32_t device, uint8_t addr, std::string_view hexText, uint16_t length,
                             std::span<uint8_t> buffer);

    // ---- Sensor-type presets, defaults, clipboard (TranslatorPresets.cpp) ----------------

    // Operations with an index refuse one outside the list or a channel that is not present
    // with the invalid-channel report ("Invalid channel %d", index + 1). Nothing reaches a
    // device except through the commits named.

    // The preset of type (0..10) without commit, then SensorType and TypeCache := type; a type
    // above 10 runs no preset and gives false, but is stored.
    bool SetSensorType(int32_t index, TSensorType type);
    // The preset of type, SensorType := type, one commit, a decode; true when both the preset
    // and the commit held. A type above 10: "Invalid sensortype %d on channel %d", nothing changed.
    bool ApplySensorType(int32_t index, TSensorType type);
    // The fixed setter sequences of the eleven sensor types; each but PresetOff starts with it.
    bool PresetOff(int32_t index);
    bool PresetVolt(int32_t index);
    bool PresetICP(int32_t index);
    bool PresetDMSCurrent(int32_t index);
    bool PresetDMSFullbridge(int32_t index);
    bool PresetDMSHalfbridge(int32_t index);
    bool PresetDMSQuarterbridge(int32_t index);
    bool PresetCurrent(int32_t index);
    bool PresetRTD(int32_t index);
    bool PresetCharge(int32_t index);
    bool PresetDebug(int32_t index);
    // The defaults of the channel information (type OFF, range 4, offset and output filter off)
    // for every present channel, or the present selected ones, then one commit, its result.
    bool DefaultSettingsAll();
    bool ResetSelectedChannels();
    // The channel's 124-byte information as held in the model into its device.
    bool StoreDefaults(int32_t index);
    // The information's defaults as the pending image, committed with the channel's path
    // routed; false without changing anything when the path cannot be routed.
    bool LoadDefaults(int32_t index);
    // The channel's setter caches into Clipboard; it becomes the only CopySource.
    bool CopyChannel(int32_t index);
    // The clipboard onto every present selected channel (a CHARGE copy only onto channels with
    // charge input), without commit; false only without a copy.
    bool PasteChannel();
    void ClearClipboard();

    // ---- Device operations (TranslatorDevice.cpp) ----------------------------------------

    // Every device means every device object of the model, in list order, by its Device.

    // The present channel at index, or null after the invalid-channel report.
    TQRBRawChannel* PresentChannel(int32_t index);
    // Stores (store) or clears the configuration every device keeps, with the front panel
    // locked meanwhile; the lock state is restored on every path, an exception included.
    // LastDeviceConfigError names each device that refused.
    bool StoreDeviceConfig(bool store);
    // False with no channel in the model. DeviceLocked := locked only when every device took
    // it; a refusal leaves DeviceLocked, names each refusing device and is reported.
    bool SetDeviceLock(bool locked);
    // Writes the start lock into every master flash. A device whose master flash is not valid
    // is skipped and makes the result false.
    bool SetHWStartLock(uint8_t value);
    // False without hardware abstraction.
    bool SetKeepAlive(bool enabled);
    // Keep-alive off, then per device group 0 on the group multiplexer and the power-off write;
    // the first failure ends it and is added to LastError, unreported. turnedOff (when given)
    // gets the number of devices switched off.
    bool TurnOffDevices(int32_t* turnedOff = nullptr);
    // Speed 0 (maximum) .. 4 (off); other values do nothing. A refusal is logged.
    void SetFanSpeed(int32_t speed);
    // Routes (release 0) or releases (release 1) a channel's path multiplexer.
    bool SelectChannelPath(int32_t device, uint8_t group, uint8_t slot, uint8_t release);
    // Groups 0..7; a failure (a group beyond them too) goes to OnScanError.
    bool SetChannelGroupMux(int32_t device, uint8_t group);
    // Writes table into the flash of the selected channel, 64 bytes a page; the first refused
    // page ends it.
    bool WriteCalibrationFlash(int32_t device, const device::TChannelCalibTable& table);
    // The present channel's Calibration into its flash, with its path routed meanwhile. When a
    // page is refused, Calibration becomes what the flash holds, read as a scan reads it.
    bool StoreCalibration(int32_t index);
    // Defaults into the present selected channels, one commit, then each one switched off in
    // its device (its slot's enable bit inverted) and taken out of the model; the first
    // failure leaves the remaining channels alone.
    bool DisableSelectedChannels();
    // Toggles the present channel's two LEDs five times, one commit per step, then restores
    // them; true when every commit held.
    bool BlinkChannel(int32_t index);

    // ---- Sensor identification over 1-Wire (TranslatorOneWire.cpp) -----------------------

    // The 1-Wire search state, one set for the whole program (Maxim's ROM search).
    struct TOneWireSearchState {
        std::array<uint8_t, 8> ROM{}; // family code, six serial bytes, CRC byte
        int32_t LastDiscrepancy = 0;
        int32_t LastFamilyDiscrepancy = 0;
        bool LastDeviceFlag = false;
        uint8_t CRC8 = 0;
    };
    TOneWireSearchState OneWireState;

    // Reads the first ROM number on the present channel's identification wires, trying three
    // wirings, and puts the channel back as it was. False for an invalid or absent channel and
    // when a commit, the multiplexers or the bridge failed; true otherwise, also without sensor.
    bool ReadSensorId(int32_t index, bool& shorted, bool& found, std::string& id);
    // Bridge steps on the DS2482 at 0x18 of a device; each failing exchange fails the step.
    bool DS2482Init(int32_t device);
    bool DS2482Reset(int32_t device);
    bool DS2482WriteConfig(int32_t device, uint8_t config);
    bool OneWireReset(int32_t device, bool& presence, bool& shorted);
    bool OneWireWriteByte(int32_t device, uint8_t value);
    // The last status byte; 0 on failure.
    uint8_t OneWireTriplet(int32_t device, uint8_t direction);
    // Clears the search state, then OneWireSearch.
    bool OneWireFirst(int32_t index, std::string& id);
    // One search step on the channel's device; id gets the ROM number found.
    bool OneWireSearch(int32_t index, std::string& id);
    // 16 upper-case hex digits, byte 0 first.
    static std::string RomToText(const std::array<uint8_t, 8>& rom);

    // ---- Measurements and autozero (TranslatorMeasure.cpp) -------------------------------

    // The averaged 18-bit reading (average limited to 1..100); a failed sample is never counted.
    bool ReadADC18(TQRBRawChannel& channel, int32_t average, int32_t& value);
    // One reading (18-bit or 12-bit ADC) and the status byte update; a channel with HWVersion 0
    // is not read (true, value 0).
    bool ReadChannelADCs(TQRBRawChannel& channel, int32_t& value);
    // ReadChannelADCs of the present channel at index.
    bool ReadChannelTemperature(int32_t index, int32_t& value);
    // Measures every present selected channel and appends one line per measured channel.
    bool TemperatureReport(std::string& text);
    // Adjusts the present channel's offset DAC to its zero reference and stores the result in
    // OffsetZero and the model's calibration table.
    bool Autozero(int32_t index, int32_t average);
    bool AutozeroSelected();
    bool SetOpenGndShieldSelected(uint8_t value);
    bool SetMonitorSelected(uint8_t value);
    bool ClearChargeSelected();
    // The channel's status ADC into ADC8Status and ADC8History; false (nothing changed) when a
    // read failed.
    bool ReadChannelStatus(TQRBRawChannel& channel);

    // ---- Status polling and text reports (TranslatorStatus.cpp) --------------------------

    // Every device's status bytes; the present channels are updated when any device reported a
    // change. True then.
    bool PollChannelStatus();
    void DeviceStatusReport(std::string& text);
    void OffsetReport(std::string& text) const;
    void DeviceInfoReport(bool allDevices, int32_t device, std::string& text) const;

    // ---- Sensor database (TranslatorSensorDb.cpp) ----------------------------------------

    // The file is read into a new list that replaces SensorEntries only on success (a missing
    // file is an empty database). While the last load of an existing file failed, saving over
    // that file is refused.
    bool LoadSensorDatabase(const std::string& fileName);
    // Writes every entry atomically; the new flags are cleared when the file was written.
    bool SaveSensorDatabase(const std::string& fileName);
    // The index of the entry's ID; the list takes entry only when the ID was not listed.
    int32_t AddSensorEntry(std::unique_ptr<TTEDSBlock>& entry);
    int32_t FindSensorEntry(std::string_view id) const;
    int32_t DeleteSensorEntry(std::string_view id);
    TTEDSBlock* GetSensorEntry(int32_t index) const;
    int32_t SensorEntryCount() const;
    void ClearSensorEntries();
    // The file whose last load failed (its resolved path); empty when the last load succeeded.
    std::string SensorDatabaseLoadFailed;

    // ---- Setup files and exports (TranslatorSetupFiles.cpp) -------------------------------

    // The file type is the extension after the last '.' behind the last '/': ".xml" or ".prs",
    // compared case-sensitively; the reading operations return false with LastFileError empty
    // for any other. Each operation clears LastFileError first and leaves a failure's text in it.
    // Kinds: bit 0 the raw setup, bit 1 the XML setup; Exports: bit 0 text, bit 1 spreadsheet,
    // bit 2 the third export (writes nothing and fails), each as base name + its extension.
    // Raises std::runtime_error when the XML document or the spreadsheet cannot be written.
    bool SaveSetup(const std::string& fileName, uint8_t kinds, uint8_t exports);
    bool CheckSetupFile(const std::string& fileName, bool& valid);
    bool GetSetupChannelCount(const std::string& fileName, bool& countsEqual);
    // Only present channels are looked for.
    bool SetupSerialsMatch(const std::string& fileName, bool& serialsMatch);
    // Changes the present channels' model state only; the caller commits. A failed XML load
    // puts every channel it touched back.
    bool LoadSetup(const std::string& fileName, bool bySerial);
    bool ExportText(const std::string& fileName);
    bool ExportXls(const std::string& fileName);
    bool ExportXml(const std::string& fileName);

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
