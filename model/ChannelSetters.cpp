#include "model/ChannelSetters.h"

#include "model/QRBRawCalibration.h"

#include <cmath>

namespace qrb::model {

namespace {

using S = TSetting;

// Codes of the ground and shield row.
constexpr uint8_t kGroundOpen = 0;
constexpr uint8_t kGroundConnected = 1;
// Pre-divider codes from this one on select the second amplifier output.
constexpr uint8_t kFirstHighPreDivider = 7;
// ADC8 low value with DMS power on or an 18-bit ADC, and without.
constexpr uint8_t kADC8LowValPowered = 252;

bool IsSwitch(uint8_t code) {
    return code <= 1;
}

} // namespace

uint16_t PendingOffsetDAC(const TQRBRawChannel& channel) {
    return channel.Pending.Image.Words[8] & 0xFFF;
}

uint16_t ChannelOffsetZero(const TQRBRawChannel& channel, int coupling, int range, int offset) {
    return UsableZeroOffset(channel.Calibration, coupling, range, offset, kNeutralOffsetZero);
}

uint16_t SupplyPowerDAC(const TQRBRawChannel& channel, uint8_t supply) {
    const TPowerSteps& steps = PowerSteps(channel.Info.Version);
    float step = 0.0f;
    switch (SupplyStep(supply).Power) {
    case TSupplyPower::Zero:
        return channel.PowerZero;
    case TSupplyPower::VoltageStep:
        step = steps.Voltage;
        break;
    case TSupplyPower::CurrentStep:
        step = steps.Current;
        break;
    }
    // 16-bit sum; SetDACs limits it.
    return static_cast<uint16_t>(channel.PowerZero + static_cast<int>(std::nearbyint(step)));
}

bool TChannelEditor::CanEdit() const {
    return IsValidHWVariant(ch_.HWVersion);
}

uint16_t& TChannelEditor::Word(int word) {
    return ch_.Pending.Image.Words[word];
}

bool TChannelEditor::IsValid(TSetting setting, uint8_t code) const {
    return CanEdit() && SettingTable(setting).IsValidCode(code);
}

bool TChannelEditor::Apply(TSetting setting, uint8_t code) {
    uint16_t& word = Word(SettingTable(setting).Word);
    const std::optional<uint16_t> value = ApplySetting(setting, ch_.HWVersion, word, code);
    if (!value) return false;
    word = *value;
    return true;
}

void TChannelEditor::SetPendingOffsetDAC(uint16_t value) {
    ch_.OffsetDAC = value;
    Word(8) = value;
    // The cache shows the pending offset, as after SetDACs.
    ch_.OffsetDACCache = value;
}

void TChannelEditor::OffsetFollowUp(uint8_t oldCoupling, uint8_t oldRange) {
    const uint16_t oldZero = ChannelOffsetZero(ch_, oldCoupling, oldRange, ch_.OffsetCache);
    ch_.OffsetZero = ChannelOffsetZero(ch_, ch_.CouplingCache, ch_.RangeCache, ch_.OffsetCache);
    if (ch_.OffsetCache == 0) {
        SetPendingOffsetDAC(ClampDAC(ch_.OffsetZero));
    } else {
        const int64_t distance = int64_t{PendingOffsetDAC(ch_)} - oldZero;
        SetPendingOffsetDAC(ClampDAC(ch_.OffsetZero + distance));
    }
}

bool TChannelEditor::SetCoupling(uint8_t code) {
    if (!IsValid(S::Coupling, code)) return false;
    const uint8_t oldCoupling = ch_.CouplingCache;
    Apply(S::Coupling, code);
    ch_.CouplingCache = code;
    OffsetFollowUp(oldCoupling, ch_.RangeCache);
    return true;
}

bool TChannelEditor::SetReference(uint8_t code) {
    if (!IsValid(S::Reference1, code)) return false;
    ch_.ReferenceCache = code;
    const bool open = ch_.open_gnd_shield != 0;
    const uint8_t ground = open ? kGroundOpen : kGroundConnected;
    if (ch_.UsesSecondReferenceTable()) {
        Apply(S::Reference2, code == 5 && open ? kReference2OpenCode5 : code);
    } else {
        Apply(S::Reference1, code);
    }
    Apply(S::GroundShield, code == 3 || code == 5 ? ground : kGroundOpen);
    return true;
}

bool TChannelEditor::SetOpenGndShield(uint8_t code) {
    if (!CanEdit() || !IsSwitch(code) || !SettingTable(S::Reference1).IsValidCode(ch_.ReferenceCache))
        return false;
    ch_.open_gnd_shield = code;
    return SetReference(ch_.ReferenceCache);
}

bool TChannelEditor::SetVRefPlus(uint8_t code) {
    return Apply(S::VRefPlus, code);
}

bool TChannelEditor::SetVRefMinus(uint8_t code) {
    return Apply(S::VRefMinus, code);
}

bool TChannelEditor::SetRange(uint8_t code) {
    if (!CanEdit() || code >= kRangeCount) return false;
    const uint8_t oldRange = ch_.RangeCache;
    const TRangePair pair = kRangePairs[code];
    SetPreDivider(pair.PreDivider);
    SetGain(pair.Gain);
    ch_.RangeCache = code;
    OffsetFollowUp(ch_.CouplingCache, oldRange);
    return true;
}

bool TChannelEditor::SetPreDivider(uint8_t code) {
    if (!IsValid(S::PreDivider, code)) return false;
    Apply(S::PreDivider, code);
    Apply(S::OutputSelect, code < kFirstHighPreDivider ? 0 : 1);
    return true;
}

bool TChannelEditor::SetGain(uint8_t code) {
    if (!Apply(S::Gain, code)) return false;
    ch_.GainCache = code;
    return true;
}

bool TChannelEditor::SetTEDSPower(uint8_t code) {
    return Apply(S::TEDSPower, code);
}

bool TChannelEditor::SetSense(uint8_t code) {
    if (!IsValid(S::VoltSense, code)) return false;
    Apply(S::VoltSense, code);
    Apply(S::TEDSPower, code >= 2 ? 1 : 0);
    ch_.SenseCache = code == 1 || code == 3 ? 1 : 0;
    ch_.volt_sense = code;
    return true;
}

bool TChannelEditor::SetOffset(uint8_t code) {
    if (!Apply(S::Offset, code)) return false;
    ch_.OffsetCache = code;
    ch_.OffsetZero = ChannelOffsetZero(ch_, ch_.CouplingCache, ch_.RangeCache, code);
    if (code == 0) SetPendingOffsetDAC(ClampDAC(ch_.OffsetZero));
    return true;
}

bool TChannelEditor::SetMonitor(uint8_t code) {
    if (!Apply(S::Monitor, code)) return false;
    ch_.MonitorCache = code;
    return true;
}

bool TChannelEditor::SetOffsetDACFilter(uint8_t code) {
    return Apply(S::OffsetDACFilter, code);
}

bool TChannelEditor::SetZeroInput(uint8_t code) {
    return Apply(S::ZeroInput, code);
}

bool TChannelEditor::SetOutputFilter(uint8_t code) {
    if (!Apply(S::OutputFilter, code)) return false;
    ch_.OutputFilterCache = code;
    return true;
}

bool TChannelEditor::SetQuarterLoad(uint8_t code) {
    return Apply(S::QuarterLoad, code);
}

bool TChannelEditor::SetPwrAtSignal(uint8_t code) {
    if (!Apply(S::PwrAtSignal, code)) return false;
    ch_.PwrAtSignalCache = code;
    return true;
}

bool TChannelEditor::SetDMSShunt(uint8_t code) {
    if (!Apply(S::DMSShuntWord6, code)) return false;
    ch_.DMSShuntCache = code;
    return true;
}

bool TChannelEditor::Set120Ohm(uint8_t code) {
    if (!Apply(S::Ohm120, code)) return false;
    ch_.Is350OhmCache = code == 0 ? 1 : 0;
    return true;
}

bool TChannelEditor::SetPwrFilter5M(uint8_t code) {
    return Apply(S::PwrFilter5M, code);
}

bool TChannelEditor::SetCurrent(uint8_t code) {
    if (!IsValid(S::CurrentWord6, code)) return false;
    Apply(S::CurrentWord4A, code);
    Apply(S::CurrentWord4B, code);
    Apply(S::CurrentWord6, code);
    ch_.CurrentCache = code;
    return true;
}

bool TChannelEditor::SetLED1(uint8_t code) {
    return Apply(S::LED1, code);
}

bool TChannelEditor::SetLED2(uint8_t code) {
    return Apply(S::LED2, code);
}

bool TChannelEditor::SetR25Shunt(uint8_t code) {
    return Apply(S::R25Shunt, code);
}

bool TChannelEditor::SetQtrLoadSense(uint8_t code) {
    return Apply(S::QtrLoadSense, code);
}

bool TChannelEditor::SetDMSPwrOn(uint8_t code) {
    if (!Apply(S::DMSPwrOn, code)) return false;
    ch_.ADC8LowVal = code == 1 || ch_.HasADC18 ? kADC8LowValPowered : kDefaultADC8LowVal;
    return true;
}

bool TChannelEditor::SetDMSCableRef(uint8_t code) {
    return Apply(S::DMSCableRef, code);
}

bool TChannelEditor::SetChargeMode(uint8_t code) {
    if (!CanEdit() || code >= kChargeModeCount) return false;
    const TChargeModeStep& step = kChargeModeSteps[code];
    const bool adc18 = ch_.HasADC18;
    // The steps' codes all lie in their tables, so each step succeeds.
    SetChargeInput(step.ChargeInput);
    SetVRefMinus(adc18 ? step.VRefMinusADC18 : step.VRefMinus);
    SetVRefPlus(adc18 ? step.VRefPlusADC18 : step.VRefPlus);
    SetChargeACOut(step.ChargeACOut);
    SetChargeClear(step.ChargeClear);
    ch_.ChargeModeCache = code;
    return true;
}

bool TChannelEditor::SetChargeHighpass(uint8_t code) {
    if (!Apply(S::ChargeHighpass, code)) return false;
    ch_.HighpassCache = code;
    return true;
}

bool TChannelEditor::SetChargeCapacity(uint8_t code) {
    if (!Apply(S::ChargeCapacity, code)) return false;
    ch_.CapacityCache = code;
    return true;
}

bool TChannelEditor::SetChargeInput(uint8_t code) {
    return Apply(S::ChargeInput, code);
}

bool TChannelEditor::SetChargeACOut(uint8_t code) {
    return Apply(S::ChargeACOut, code);
}

bool TChannelEditor::SetChargeClear(uint8_t code) {
    return Apply(S::ChargeClear, code);
}

bool TChannelEditor::SetChargeManClearMode(uint8_t code) {
    if (!Apply(S::ChargeManClearMode, code)) return false;
    ch_.AutoClearCache = code == 0 ? 1 : 0;
    return true;
}

bool TChannelEditor::SetSupply(uint8_t supply) {
    if (!CanEdit()) return false;
    const TSupplyStep& step = SupplyStep(supply);
    // Each step only while the one before succeeded; the offset stays the pending one.
    const bool ok = SetDMSPwrOn(step.DMSPwrOn) && SetCurrent(step.Current) &&
                    SetPwrAtSignal(step.PwrAtSignal) &&
                    SetDACs(SupplyPowerDAC(ch_, supply), PendingOffsetDAC(ch_)) && SetLED2(step.LED2);
    ch_.SupplyCache = supply;
    return ok;
}

bool TChannelEditor::SetDACs(uint16_t powerDAC, uint16_t offsetDAC) {
    if (!CanEdit()) return false;
    if (powerDAC > kDACMax) powerDAC = kDACMax;
    if (offsetDAC > kDACMax) offsetDAC = kDACMax;
    Word(7) = powerDAC & 0xFFF;
    Word(8) = offsetDAC & 0xFFF;
    ch_.PowerDACCache = powerDAC;
    ch_.PowerDACCache2 = powerDAC;
    ch_.OffsetDACCache = offsetDAC;
    return true;
}

} // namespace qrb::model
