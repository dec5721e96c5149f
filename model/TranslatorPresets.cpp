// The translator's sensor-type presets (fixed setter sequences per sensor type), the channel
// defaults kept in the device's channel information, and the channel clipboard.
//
// In a preset, `ok = ok && Step()` is a chained step: it runs only while every chained step
// before it held, and its result becomes the preset's.

#include "device/Format.h"
#include "model/ChannelSetters.h"
#include "model/I2CTranslator.h"

#include <cmath>

namespace qrb::model {

namespace {

// PowerZero plus the nearest integer of steps current steps of the channel's information
// version (single precision, halves to even).
uint16_t CurrentPowerDAC(const TQRBRawChannel& channel, float steps) {
    const float step = PowerSteps(channel.Info.Version).Current;
    return ClampDAC(static_cast<int64_t>(channel.PowerZero) +
                    static_cast<int64_t>(std::nearbyint(steps * step)));
}

// Pending words 0..8 and the ADC8 values from the channel information.
void LoadInfoDefaults(TQRBRawChannel& channel) {
    channel.Pending.Image = channel.Info.Defaults;
    channel.ADC8StatVal = channel.Info.ADC8StatVal;
    channel.ADC8LowVal = channel.Info.ADC8LowVal;
}

// The defaults of a present channel, without commit.
void ApplyChannelDefaults(TI2CTranslator& t, int32_t index) {
    TQRBRawChannel& ch = *t.GetChannel(index);
    LoadInfoDefaults(ch);
    ch.SensorType = stOff;
    ch.open_gnd_shield = 0;
    t.SetSensorType(index, stOff);
    t.SetRange(index, 4);
    t.SetOffset(index, 0);
    t.SetOutputFilter(index, 0);
}

// The three bridge presets share their steps.
bool PresetDMSBridge(TI2CTranslator& t, int32_t index) {
    TQRBRawChannel* ch = t.PresentChannel(index);
    if (!ch) return false;
    bool ok = t.PresetOff(index);
    ok = ok && t.SetLED1(index, 1);
    ok = ok && t.SetLED2(index, 1);
    ok = ok && t.SetVRefPlus(index, 2);
    ok = ok && t.SetVRefMinus(index, 2);
    ok = ok && t.SetReference(index, 5);
    ok = ok && t.SetCoupling(index, 0);
    ok = ok && t.SetDMSPwrOn(index, 1);
    ok = ok && t.SetSense(index, 0);
    ok = ok && t.SetDACs(index, ClampDAC(static_cast<int64_t>(ch->PowerZero) + 3), ch->OffsetDAC);
    return ok;
}

// The steps ICP, DMS current and RTD share, in their order; they differ in the power at the
// signal pins and in what follows.
bool CurrentFedSteps(TI2CTranslator& t, int32_t index, uint8_t pwrAtSignal) {
    bool ok = t.PresetOff(index);
    ok = ok && t.SetLED1(index, 1);
    ok = ok && t.SetLED2(index, 1);
    ok = ok && t.SetVRefPlus(index, 0);
    ok = ok && t.SetVRefMinus(index, 0);
    ok = ok && t.SetReference(index, 5);
    ok = ok && t.SetCoupling(index, 4);
    ok = ok && t.SetDMSPwrOn(index, 1);
    ok = ok && t.SetCurrent(index, 1);
    ok = ok && t.SetPwrAtSignal(index, pwrAtSignal);
    return ok;
}

// The preset of a type 0..10; false for any other type.
bool RunPreset(TI2CTranslator& t, int32_t index, TSensorType type) {
    switch (type) {
    case stOff:
        return t.PresetOff(index);
    case stVolt:
        return t.PresetVolt(index);
    case stICP:
        return t.PresetICP(index);
    case stDMSCurrent:
        return t.PresetDMSCurrent(index);
    case stDMSFullbridge:
        return t.PresetDMSFullbridge(index);
    case stDMSHalfbridge:
        return t.PresetDMSHalfbridge(index);
    case stDMSQuarterbridge:
        return t.PresetDMSQuarterbridge(index);
    case stCurrent:
        return t.PresetCurrent(index);
    case stRTD:
        return t.PresetRTD(index);
    case stCharge:
        return t.PresetCharge(index);
    case stDebug:
        return t.PresetDebug(index);
    default:
        return false;
    }
}

// No channel marks the clipboard's source.
void ClearCopySource(TI2CTranslator& t) {
    for (const auto& entry : t.Channels)
        entry.Object->CopySource = false;
}

} // namespace

// ---- Presets --------------------------------------------------------------------------------

bool TI2CTranslator::PresetOff(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    bool ok = SetLED1(index, 0);
    ok = ok && SetLED2(index, 0);
    if (ch->HasADC18 && ok) SetZeroInput(index, 1);
    if (!ch->HasADC18) ok = SetMonitor(index, 1);
    ok = ok && SetCurrent(index, 0);
    ok = ok && SetR25Shunt(index, 0);
    ok = ok && SetPwrAtSignal(index, 0);
    ok = ok && SetPwrFilter5M(index, 0);
    ok = ok && SetOffsetDACFilter(index, 0);
    ok = ok && SetDMSPwrOn(index, 0);
    ok = ok && SetDMSShunt(index, 0);
    ok = ok && Set120Ohm(index, 0);
    ok = ok && SetQuarterLoad(index, 0);
    ok = ok && SetDMSCableRef(index, 0);
    ok = ok && SetQtrLoadSense(index, 0);
    ok = ok && SetChargeInput(index, 0);
    if (ch->HasCharge() && ok) {
        SetChargeHighpass(index, 0);
        SetChargeCapacity(index, 0);
        SetChargeACOut(index, 0);
        SetChargeClear(index, 1);
        SetChargeManClearMode(index, 1);
    }
    ok = ok && SetSense(index, 0);
    ok = ok && SetVRefPlus(index, 0);
    ok = ok && SetVRefMinus(index, 0);
    ok = ok && SetReference(index, 4); // ODU off
    ok = ok && SetCoupling(index, 0);
    ok = ok && SetSupply(index, 0);
    if (ch->HasADC18) ok = ok && SetQtrLoadSense(index, 1);
    ok = ok && SetDACs(index, ch->PowerZero, ch->OffsetDAC);
    return ok;
}

bool TI2CTranslator::PresetVolt(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    bool ok = PresetOff(index);
    ok = ok && SetLED1(index, 1);
    ok = ok && SetLED2(index, 0);
    ok = ok && SetVRefPlus(index, 0);
    ok = ok && SetVRefMinus(index, 0);
    ok = ok && SetReference(index, 5);
    ok = ok && SetCoupling(index, 0);
    ok = ok && SetDACs(index, ch->PowerZero, ch->OffsetDAC);
    return ok;
}

bool TI2CTranslator::PresetICP(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    bool ok = CurrentFedSteps(*this, index, 1);
    if (ch->HasADC18) ok = ok && SetQtrLoadSense(index, ICPCompVoltage ? 1 : 0);
    ok = ok && SetDACs(index, CurrentPowerDAC(*ch, 4.0f), ch->OffsetDAC);
    return ok;
}

bool TI2CTranslator::PresetDMSCurrent(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    bool ok = CurrentFedSteps(*this, index, 0);
    ok = ok && SetDACs(index, CurrentPowerDAC(*ch, 10.0f), ch->OffsetDAC);
    return ok;
}

bool TI2CTranslator::PresetDMSFullbridge(int32_t index) {
    return PresetDMSBridge(*this, index);
}

bool TI2CTranslator::PresetDMSHalfbridge(int32_t index) {
    return PresetDMSBridge(*this, index);
}

bool TI2CTranslator::PresetDMSQuarterbridge(int32_t index) {
    return PresetDMSBridge(*this, index);
}

bool TI2CTranslator::PresetCurrent(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    bool ok = PresetOff(index);
    ok = ok && SetLED1(index, 1);
    ok = ok && SetLED2(index, 0);
    ok = ok && SetVRefPlus(index, 0);
    ok = ok && SetVRefMinus(index, 0);
    ok = ok && SetReference(index, 5);
    ok = ok && SetCoupling(index, 3);
    ok = ok && SetR25Shunt(index, 1);
    ok = ok && SetDACs(index, ch->PowerZero, ch->OffsetDAC);
    ok = ok && SetRange(index, 14);
    return ok;
}

bool TI2CTranslator::PresetRTD(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    bool ok = CurrentFedSteps(*this, index, 0);
    ok = ok && SetDACs(index, ClampDAC(static_cast<int64_t>(ch->PowerZero) + 79), ch->OffsetDAC);
    return ok;
}

bool TI2CTranslator::PresetCharge(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    bool ok = PresetOff(index);
    ok = ok && SetLED1(index, 1);
    ok = ok && SetLED2(index, 0);
    ok = ok && SetReference(index, 4);
    ok = ok && SetCoupling(index, 0);
    ok = ok && SetChargeInput(index, 0);
    ok = ok && SetChargeMode(index, 0);
    ok = ok && SetChargeHighpass(index, 0);
    ok = ok && SetChargeCapacity(index, 0);
    ok = ok && SetChargeACOut(index, 0);
    ok = ok && SetChargeClear(index, 1);
    ok = ok && SetChargeManClearMode(index, 1);
    ok = ok && SetDACs(index, ch->PowerZero, ch->OffsetDAC);
    ok = ok && SetRange(index, 12);
    return ok;
}

bool TI2CTranslator::PresetDebug(int32_t index) {
    return PresetOff(index);
}

bool TI2CTranslator::SetSensorType(int32_t index, TSensorType type) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    const bool ok = type <= stDebug && RunPreset(*this, index, type);
    ch->SensorType = type;
    ch->TypeCache = type;
    return ok;
}

bool TI2CTranslator::ApplySensorType(int32_t index, TSensorType type) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    if (type > stDebug) {
        LastError =
            device::Format("Invalid sensortype %d on channel %d", type, static_cast<int64_t>(index) + 1);
        ReportError();
        return false;
    }
    const bool ok = RunPreset(*this, index, type);
    ch->SensorType = type;
    const bool committed = NewConfig(0, true);
    ch->DecodeRegisters();
    return ok && committed;
}

// ---- Defaults -------------------------------------------------------------------------------

bool TI2CTranslator::DefaultSettingsAll() {
    for (int32_t i = 0; i < ChannelCount(); ++i)
        if (GetChannel(i)->Present) ApplyChannelDefaults(*this, i);
    return NewConfig(0, true);
}

bool TI2CTranslator::ResetSelectedChannels() {
    for (int32_t i = 0; i < ChannelCount(); ++i)
        if (GetChannel(i)->Present && IsSelected(i)) ApplyChannelDefaults(*this, i);
    return NewConfig(0, true);
}

bool TI2CTranslator::StoreDefaults(int32_t index) {
    const TQRBRawChannel* ch = PresentChannel(index);
    if (!ch || !HAL) return false;
    return device::IsOK(HAL->SetChannelInfo(ch->Device, ch->Slot, ch->Info));
}

bool TI2CTranslator::LoadDefaults(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    const auto group = static_cast<uint8_t>(ch->Group);
    const auto slot = static_cast<uint8_t>(ch->Slot);
    bool ok = false;
    if (SelectChannelPath(ch->Device, group, slot, 0)) {
        LoadInfoDefaults(*ch);
        ch->open_gnd_shield = 0;
        ch->SensorType = stOff;
        ok = NewConfig(0, true);
        SelectChannelPath(ch->Device, group, slot, 1);
    }
    if (RegisterDump && OnRegisterDump) {
        std::string line;
        DumpRegisters(*ch, line);
        OnRegisterDump(this, line);
    }
    return ok;
}

// ---- Channel clipboard ----------------------------------------------------------------------

bool TI2CTranslator::CopyChannel(int32_t index) {
    TQRBRawChannel* ch = PresentChannel(index);
    if (!ch) return false;
    ClearCopySource(*this);
    TChannelClipboard& c = Clipboard;
    c.HasCharge = ch->HasCharge();
    c.SensorType = ch->TypeCache;
    c.Range = ch->RangeCache;
    c.Gain = ch->GainCache;
    c.Coupling = ch->CouplingCache;
    c.OffsetDAC = ch->OffsetDACCache;
    c.PowerDAC = ch->PowerDACCache2;
    c.Offset = ch->OffsetCache != 0;
    c.OutputFilter = ch->OutputFilterCache != 0;
    c.Is350Ohm = ch->Is350OhmCache != 0;
    c.Sense = ch->SenseCache != 0;
    c.PowerDAC2 = ch->PowerDACCache2;
    c.DMSShunt = ch->DMSShuntCache;
    c.PwrAtSignal = ch->PwrAtSignalCache;
    c.ChargeMode = ch->ChargeModeCache;
    c.Capacity = ch->CapacityCache;
    c.Highpass = ch->HighpassCache;
    c.AutoClear = ch->AutoClearCache;
    ch->CopySource = true;
    ClipboardValid = true;
    return true;
}

bool TI2CTranslator::PasteChannel() {
    if (!ClipboardValid) return false;
    const TChannelClipboard c = Clipboard;
    for (int32_t i = 0; i < ChannelCount(); ++i) {
        const TQRBRawChannel& ch = *GetChannel(i);
        if (!ch.Present || !IsSelected(i)) continue;
        if (c.SensorType == stCharge && !ch.HasCharge()) continue;
        SetSensorType(i, c.SensorType);
        SetRange(i, c.Range);
        SetCoupling(i, c.Coupling);
        SetOffset(i, c.Offset ? 1 : 0);
        SetDACs(i, c.PowerDAC, c.OffsetDAC);
        SetOutputFilter(i, c.OutputFilter ? 1 : 0);
        // The two caches hold the inverse of their switch.
        Set120Ohm(i, c.Is350Ohm ? 0 : 1);
        SetSense(i, c.Sense ? 1 : 0);
        SetDMSShunt(i, c.DMSShunt);
        SetPwrAtSignal(i, c.PwrAtSignal);
        SetChargeMode(i, c.ChargeMode);
        SetChargeCapacity(i, c.Capacity);
        SetChargeHighpass(i, c.Highpass);
        SetChargeManClearMode(i, c.AutoClear != 0 ? 0 : 1);
    }
    return true;
}

void TI2CTranslator::ClearClipboard() {
    ClearCopySource(*this);
    ClipboardValid = false;
}

} // namespace qrb::model
