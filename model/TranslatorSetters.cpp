// The translator's channel setters: the channel checks and error texts around the register-image
// arithmetic of TChannelEditor.

#include "device/Format.h"
#include "model/ChannelSetters.h"
#include "model/I2CTranslator.h"

namespace qrb::model {

namespace {

using TSetter = bool (TChannelEditor::*)(uint8_t);

// The present, decoded channel at index, or null after the invalid-channel report.
TQRBRawChannel* EditableChannel(TI2CTranslator& t, int32_t index) {
    if (!t.CheckChannelIndex(index)) return nullptr;
    TQRBRawChannel* channel = t.GetChannel(index);
    if (channel && channel->Present && TChannelEditor(*channel).CanEdit()) return channel;
    t.LastError = device::Format("Invalid channel %d", static_cast<int64_t>(index) + 1);
    t.ReportError();
    return nullptr;
}

bool Edit(TI2CTranslator& t, int32_t index, uint8_t code, TSetter setter) {
    TQRBRawChannel* channel = EditableChannel(t, index);
    if (!channel) return false;
    TChannelEditor editor(*channel);
    if ((editor.*setter)(code)) return true;
    t.LastError = device::Format("Invalid value %d for channel %d", code, static_cast<int64_t>(index) + 1);
    t.ReportError();
    return false;
}

} // namespace

bool TI2CTranslator::SetCoupling(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetCoupling);
}

bool TI2CTranslator::SetReference(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetReference);
}

bool TI2CTranslator::SetOpenGndShield(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetOpenGndShield);
}

bool TI2CTranslator::SetVRefPlus(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetVRefPlus);
}

bool TI2CTranslator::SetVRefMinus(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetVRefMinus);
}

bool TI2CTranslator::SetRange(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetRange);
}

bool TI2CTranslator::SetPreDivider(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetPreDivider);
}

bool TI2CTranslator::SetGain(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetGain);
}

bool TI2CTranslator::SetTEDSPower(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetTEDSPower);
}

bool TI2CTranslator::SetSense(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetSense);
}

bool TI2CTranslator::SetOffset(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetOffset);
}

bool TI2CTranslator::SetMonitor(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetMonitor);
}

bool TI2CTranslator::SetOffsetDACFilter(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetOffsetDACFilter);
}

bool TI2CTranslator::SetZeroInput(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetZeroInput);
}

bool TI2CTranslator::SetOutputFilter(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetOutputFilter);
}

bool TI2CTranslator::SetQuarterLoad(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetQuarterLoad);
}

bool TI2CTranslator::SetPwrAtSignal(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetPwrAtSignal);
}

bool TI2CTranslator::SetDMSShunt(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetDMSShunt);
}

bool TI2CTranslator::Set120Ohm(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::Set120Ohm);
}

bool TI2CTranslator::SetPwrFilter5M(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetPwrFilter5M);
}

bool TI2CTranslator::SetCurrent(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetCurrent);
}

bool TI2CTranslator::SetLED1(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetLED1);
}

bool TI2CTranslator::SetLED2(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetLED2);
}

bool TI2CTranslator::SetR25Shunt(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetR25Shunt);
}

bool TI2CTranslator::SetQtrLoadSense(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetQtrLoadSense);
}

bool TI2CTranslator::SetDMSPwrOn(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetDMSPwrOn);
}

bool TI2CTranslator::SetDMSCableRef(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetDMSCableRef);
}

bool TI2CTranslator::SetChargeMode(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetChargeMode);
}

bool TI2CTranslator::SetChargeHighpass(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetChargeHighpass);
}

bool TI2CTranslator::SetChargeCapacity(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetChargeCapacity);
}

bool TI2CTranslator::SetChargeInput(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetChargeInput);
}

bool TI2CTranslator::SetChargeACOut(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetChargeACOut);
}

bool TI2CTranslator::SetChargeClear(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetChargeClear);
}

bool TI2CTranslator::SetChargeManClearMode(int32_t index, uint8_t code) {
    return Edit(*this, index, code, &TChannelEditor::SetChargeManClearMode);
}

bool TI2CTranslator::SetSupply(int32_t index, uint8_t supply) {
    TQRBRawChannel* channel = EditableChannel(*this, index);
    return channel && TChannelEditor(*channel).SetSupply(supply);
}

bool TI2CTranslator::SetDACs(int32_t index, uint16_t powerDAC, uint16_t offsetDAC) {
    TQRBRawChannel* channel = EditableChannel(*this, index);
    return channel && TChannelEditor(*channel).SetDACs(powerDAC, offsetDAC);
}

} // namespace qrb::model
