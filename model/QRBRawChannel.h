#pragma once
// One channel slot of a device: its register images, the settings decoded from the current
// image, the setter caches the channel list reads, calibration and status.

#include "device/Format.h"
#include "device/I2CTypes.h"
#include "device/Records.h"
#include "model/RegisterTables.h"

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

namespace qrb::model {

class TQRBRawMaster;

// HWVersion of a channel that was never decoded (a defect placeholder).
inline constexpr uint8_t kHWVersionUndecoded = 255;
// ADC8StatVal and ADC8LowVal of a new channel.
inline constexpr uint8_t kDefaultADC8StatVal = 236;
inline constexpr uint8_t kDefaultADC8LowVal = 124;
// Longest user name and description, in characters.
inline constexpr std::size_t kChannelNameLength = 30;
inline constexpr std::size_t kDescriptionLength = 200;

// Coupling codes 0..103.
using TCouplingSet = std::bitset<104>;

class TQRBRawChannel {
public:
    TQRBRawChannel(int device, int group, int slot, int globalIndex, device::TInterfaceKind kind,
                   TQRBRawMaster* master);
    TQRBRawChannel(const TQRBRawChannel&) = delete;
    TQRBRawChannel& operator=(const TQRBRawChannel&) = delete;

    int Device = 0;
    int Group = 0;
    int Slot = 0;
    std::string Name; // "Channel %2d"; the key in the translator's channel list
    uint8_t HWVersion = kHWVersionUndecoded;
    int GlobalIndex = 0;
    TSensorType SensorType = stOff;
    TRangeCode Range = 0;
    device::TInterfaceKind Kind = device::TInterfaceKind::ikNone;
    TQRBRawMaster* Master = nullptr; // not owned
    bool CopySource = false;
    bool SnapshotValid = false;
    TSensorType SnapshotSensorType = stOff;
    device::TChannelImage Snapshot;
    // The fields no image holds, kept with Snapshot: the ADC8 low value every write sends (the
    // images' own byte is the scan's) and the open-ground flag, which is never decoded.
    uint8_t SnapshotADC8LowVal = kDefaultADC8LowVal;
    uint8_t SnapshotOpenGndShield = 0;
    device::TChannelImage Backup;
    // The same two as the device runs them with Current (set by the scan, an accepted write and a
    // rollback); a refused write puts them back with Backup.
    uint8_t BackupADC8LowVal = kDefaultADC8LowVal;
    uint8_t BackupOpenGndShield = 0;
    device::TChannelImage Current;
    device::TChannelImage Pending;
    device::TChannelInfo Info;

    // Decoded settings (0/1 for switches).
    uint8_t coupling = 0;
    uint8_t reference = 0;
    uint8_t vrefplus = 0;
    uint8_t vrefminus = 0;
    uint8_t predivider = 0;
    uint8_t gain = 0;
    uint8_t volt_sense = 0;
    uint8_t charge_mode = 0;
    uint8_t charge_highpass = 0;
    uint8_t charge_capacity = 0;
    uint8_t volt_supply = 0;
    uint8_t offset = 0;
    uint8_t monitor = 0;
    uint8_t offsetdac_filter = 0;
    uint8_t outputfilter = 0;
    uint8_t quarterload = 0;
    uint8_t pwr_at_signal = 0;
    uint8_t dms_shunt = 0;
    uint8_t _120_Ohm = 0;
    uint8_t pwrfilter5M = 0;
    uint8_t current = 0;
    uint8_t led1 = 0;
    uint8_t led2 = 0;
    uint8_t r25_shunt = 0;
    uint8_t dmscableref = 0;
    uint8_t qtrloadsense = 0;
    uint8_t dms_pwr_on = 0;
    uint8_t analog_status_off = 0;
    uint8_t chargeinput = 0;
    uint8_t charge_ac_out = 0;
    uint8_t charge_clear = 0;
    uint8_t charge_man_clearmode = 0;
    uint8_t open_gnd_shield = 0; // kept only in the model, never decoded

    uint16_t PowerDAC = 0;
    uint16_t OffsetDAC = 0;
    uint16_t PowerZero = 0;
    uint16_t OffsetZero = 0;
    device::TChannelCalibTable Calibration;
    std::string ChannelName; // at most kChannelNameLength characters
    std::string Description; // at most kDescriptionLength characters

    // Setter caches: the last values given to the setters.
    TSensorType TypeCache = stOff;
    uint8_t RangeCache = 0;
    uint8_t GainCache = 0;
    uint8_t CouplingCache = 0;
    uint16_t OffsetDACCache = 0;
    uint16_t PowerDACCache = 0;
    uint8_t MonitorCache = 0;
    uint8_t OffsetCache = 0;
    uint8_t OutputFilterCache = 0;
    uint8_t Is350OhmCache = 0;
    uint8_t SenseCache = 0;
    uint16_t PowerDACCache2 = 0;
    uint8_t DMSShuntCache = 0;
    uint8_t PwrAtSignalCache = 0;
    uint8_t ChargeModeCache = 0;
    uint8_t CapacityCache = 0;
    uint8_t HighpassCache = 0;
    uint8_t AutoClearCache = 0;
    uint8_t SupplyCache = 0;
    uint8_t ReferenceCache = 0;
    uint8_t CurrentCache = 0;

    uint8_t ADC8StatVal = kDefaultADC8StatVal;
    uint8_t ADC8LowVal = kDefaultADC8LowVal;
    bool HasADC18 = false;
    TCouplingSet AllowedCouplings;
    bool Present = false;
    bool Defect = false;
    uint8_t ADC8Status = 0;
    uint8_t ADC8History = 0;

    // Recomputes decoded settings, DAC values, zeros, caches and allowed options from Current,
    // Info and Calibration.
    void DecodeRegisters();
    void UpdateAllowedOptions();
    // The default calibration table, dated today (local time) or the given day.
    void InitDefaultCalibration();
    void InitDefaultCalibration(device::TDateTime today);

    bool HasCharge() const { return (Info.Features & 0x01) != 0; }
    bool HasBNC() const { return (Info.Features & 0x02) != 0; }
    bool HasODU() const { return (Info.Features & 0x04) != 0; }
    // SetReference and the decode must agree on the table, or a reference reads back as another.
    bool UsesSecondReferenceTable() const { return HasCharge() && HasODU() && Info.Version < 2; }

    bool IsCouplingAllowed(int code) const {
        return code >= 0 && code < static_cast<int>(AllowedCouplings.size()) && AllowedCouplings.test(code);
    }

    // Cut to their length in characters.
    void SetChannelName(std::string_view text);
    void SetDescription(std::string_view text);
};

} // namespace qrb::model
