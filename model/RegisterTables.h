#pragma once
// The setting tables of the channel register image: for every setting the register word, the
// decode mask (bits that belong to the setting), the and-mask (bits a setter keeps) and the value
// of every code, each per hardware variant (HWVersion 0 or 1). Setters compute
// word := (word AND and-mask) OR value[code]; DecodeRegisters compares (word AND decode mask)
// with the values. Defined once, in RegisterTables.cpp.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace qrb::model {

// ---- Setting codes ------------------------------------------------------------------------

using TSensorType = uint16_t;
inline constexpr TSensorType stOff = 0;
inline constexpr TSensorType stVolt = 1;
inline constexpr TSensorType stICP = 2;
inline constexpr TSensorType stDMSCurrent = 3;
inline constexpr TSensorType stDMSFullbridge = 4;
inline constexpr TSensorType stDMSHalfbridge = 5;
inline constexpr TSensorType stDMSQuarterbridge = 6;
inline constexpr TSensorType stCurrent = 7;
inline constexpr TSensorType stRTD = 8;
inline constexpr TSensorType stCharge = 9;
inline constexpr TSensorType stDebug = 10;

using TRangeCode = uint8_t;          // 0..25
using TCouplingCode = uint8_t;       // 0..6, 99 not used
using TReferenceCode = uint8_t;      // 0..5
using TSupplyCode = uint8_t;         // 0 none, 1 voltage, 2 current
using TSenseCode = uint8_t;          // 0..3
using TChargeModeCode = uint8_t;     // 0 ground, 1 DC, 2 AC 1Hz, 3 AC 10Hz
using TChargeCapacityCode = uint8_t; // 0 10 nF, 1 100 pF
using TChargeHighpassCode = uint8_t; // 0, 1

inline constexpr TCouplingCode kCouplingNotUsed = 99;

// The entry of the second reference table SetReference writes for code 5 with ground and shield
// open.
inline constexpr uint8_t kReference2OpenCode5 = 2;

// ---- Setting tables -----------------------------------------------------------------------

// Hardware variants the tables are indexed by.
inline constexpr int kHWVariants = 2;
// The longest value table (pre-divider).
inline constexpr int kMaxSettingCodes = 11;
// Words of a register image.
inline constexpr int kRegisterWords = 9;

// The rows of the setting table, in table order.
enum class TSetting : uint8_t {
    PreDivider,
    OutputSelect, // amplifier output select, written by SetPreDivider
    Offset,
    Gain,
    Monitor,
    OutputFilter,
    OffsetDACFilter,
    ZeroInput,
    DMSShuntWord3, // decode only
    QuarterLoad,
    PwrAtSignal,
    Ohm120,
    PwrFilter5M,
    CurrentWord3, // decode only
    LED1,
    LED2,
    TEDSPower,
    GroundShield, // set by SetReference, no decode mask
    VRefPlus,
    R25Shunt,
    DMSCableRef,
    QtrLoadSense,
    DMSPwrOn,
    CurrentWord4A,
    CurrentWord4B,
    AnalogStatusOff, // decode only
    VRefMinus,
    VoltSense,
    ChargeHighpass,
    ChargeCapacity,
    ChargeInput,
    ChargeACOut,
    ChargeClear,
    ChargeManClearMode,
    Coupling,
    Reference1, // first reference table
    Reference2, // second reference table (older charge channels with ODU connector)
    CurrentWord6,
    DMSShuntWord6,
};

inline constexpr std::size_t kSettingCount = static_cast<std::size_t>(TSetting::DMSShuntWord6) + 1;

// A mask per hardware variant, or none (a row without decode mask or without and-mask).
struct TVariantMask {
    bool Present = false;
    std::array<uint16_t, kHWVariants> Mask{};
};

struct TSettingTable {
    TSetting Id;
    const char* Name;   // the setting's name
    const char* Setter; // nullptr for a decode-only row
    uint8_t Word;
    TVariantMask DecodeMask;
    TVariantMask AndMask;
    uint8_t CodeCount;
    std::array<std::array<uint16_t, kMaxSettingCodes>, kHWVariants> Values;

    bool IsDecodable() const { return DecodeMask.Present; }
    bool IsSettable() const { return AndMask.Present; }
    bool IsValidCode(int code) const { return code >= 0 && code < CodeCount; }
};

// All rows, indexed by TSetting.
extern const std::array<TSettingTable, kSettingCount> kSettingTables;

const TSettingTable& SettingTable(TSetting s);

inline constexpr bool IsValidHWVariant(int version) {
    return version >= 0 && version < kHWVariants;
}

// (word AND and-mask) OR value[code]; nullopt for a row without and-mask, a variant outside 0..1
// or a code outside the table.
std::optional<uint16_t> ApplySetting(TSetting s, int version, uint16_t word, int code);

// True when (word AND decode mask) equals the value of code 1. False for a row without decode
// mask or an unknown variant.
bool DecodeSwitch(TSetting s, int version, uint16_t word);

// The first code in first..last whose value equals (word AND decode mask); 0 when none matches
// (also for a row without decode mask or an unknown variant). last is cut to the table.
uint8_t DecodeSearch(TSetting s, int version, uint16_t word, int first = 0, int last = kMaxSettingCodes - 1);

// ---- Ranges -------------------------------------------------------------------------------

inline constexpr int kRangeCount = 26;       // TRangeCode 0..25
inline constexpr uint8_t kNoRange = 26;      // no range found
inline constexpr uint8_t kFallbackRange = 4; // decode of an unlisted pre-divider/gain pair

struct TRangePair {
    uint8_t PreDivider;
    uint8_t Gain;
};

// The pre-divider and gain codes SetRange applies for each range code.
extern const std::array<TRangePair, kRangeCount> kRangePairs;

// The range code DecodeRegisters gives for a pre-divider and gain: kFallbackRange for any pair
// not listed (pre-divider 0 among them).
uint8_t RangeFromDividerGain(int preDivider, int gain);

// ---- Compound setters ---------------------------------------------------------------------

// SetChargeMode: the codes given to the single setters, in call order.
struct TChargeModeStep {
    uint8_t ChargeInput;
    uint8_t VRefMinusADC18; // VRefMinus code for a channel with an 18-bit ADC
    uint8_t VRefMinus;      // and without
    uint8_t VRefPlusADC18;
    uint8_t VRefPlus;
    uint8_t ChargeACOut;
    uint8_t ChargeClear;
};

inline constexpr int kChargeModeCount = 4;
extern const std::array<TChargeModeStep, kChargeModeCount> kChargeModeSteps;

// SetSupply: the codes given to the single setters, in call order, and the power step added to
// PowerZero.
enum class TSupplyPower : uint8_t { Zero, VoltageStep, CurrentStep };

struct TSupplyStep {
    uint8_t DMSPwrOn;
    uint8_t Current;
    uint8_t PwrAtSignal;
    TSupplyPower Power;
    uint8_t LED2;
};

// Index 0 is the row for every supply code other than 1 and 2.
extern const std::array<TSupplyStep, 3> kSupplySteps;
const TSupplyStep& SupplyStep(int supply);

// Power DAC steps per unit of supply, for channel information version >= 2 and below.
struct TPowerSteps {
    float Voltage;
    float Current;
};
inline constexpr TPowerSteps kPowerStepsV2{105.4583f, 78.635765f};
inline constexpr TPowerSteps kPowerStepsV1{102.4f, 30.634666f};
inline constexpr const TPowerSteps& PowerSteps(int infoVersion) {
    return infoVersion >= 2 ? kPowerStepsV2 : kPowerStepsV1;
}

} // namespace qrb::model
