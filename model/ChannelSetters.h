#pragma once
// The register-image arithmetic behind the translator's channel setters. Every operation edits
// only the channel's Pending image, its setter caches and the few model fields the setters own
// (OffsetZero, OffsetDAC, volt_sense, open_gnd_shield, ADC8LowVal); nothing reaches a device.
// A code outside a setter's table is refused (false) with nothing changed. The translator checks
// the channel (index, Present, a decoded hardware variant) before it calls.

#include "model/QRBRawChannel.h"

#include <cstdint>

namespace qrb::model {

// Highest value of a 12-bit DAC.
inline constexpr uint16_t kDACMax = 4095;

// A DAC value computed as a signed number, saturated to 0..4095.
constexpr uint16_t ClampDAC(int64_t value) {
    return static_cast<uint16_t>(value < 0 ? 0 : value > kDACMax ? kDACMax : value);
}

// The channel's pending offset DAC value (12 bits of pending word 8).
uint16_t PendingOffsetDAC(const TQRBRawChannel& channel);

// The offset DAC zero of (coupling, range, offset) in the channel's calibration when it is
// usable, else 2048.
uint16_t ChannelOffsetZero(const TQRBRawChannel& channel, int coupling, int range, int offset);

// The power DAC value of a supply: PowerZero plus the step of the channel's information version,
// rounded half to even (single precision); PowerZero for any supply other than 1 and 2.
uint16_t SupplyPowerDAC(const TQRBRawChannel& channel, uint8_t supply);

class TChannelEditor {
public:
    explicit TChannelEditor(TQRBRawChannel& channel) : ch_(channel) {}

    // The channel has a hardware variant the tables know (it was decoded).
    bool CanEdit() const;

    // Word 6 and the offset follow-up.
    bool SetCoupling(uint8_t code);
    // Words 6 and 3.
    bool SetReference(uint8_t code);
    // open_gnd_shield, then SetReference with ReferenceCache.
    bool SetOpenGndShield(uint8_t code);
    bool SetVRefPlus(uint8_t code);
    bool SetVRefMinus(uint8_t code);
    // SetPreDivider and SetGain with the range's pair, then the offset follow-up.
    bool SetRange(uint8_t code);
    // Word 1 and the output select of word 2.
    bool SetPreDivider(uint8_t code);
    bool SetGain(uint8_t code);
    bool SetTEDSPower(uint8_t code);
    // Word 4 and the TEDS power of word 3.
    bool SetSense(uint8_t code);
    bool SetOffset(uint8_t code);
    bool SetMonitor(uint8_t code);
    bool SetOffsetDACFilter(uint8_t code);
    bool SetZeroInput(uint8_t code);
    bool SetOutputFilter(uint8_t code);
    bool SetQuarterLoad(uint8_t code);
    bool SetPwrAtSignal(uint8_t code);
    bool SetDMSShunt(uint8_t code);
    bool Set120Ohm(uint8_t code);
    bool SetPwrFilter5M(uint8_t code);
    // Word 4 (two tables), then word 6.
    bool SetCurrent(uint8_t code);
    bool SetLED1(uint8_t code);
    bool SetLED2(uint8_t code);
    bool SetR25Shunt(uint8_t code);
    bool SetQtrLoadSense(uint8_t code);
    bool SetDMSPwrOn(uint8_t code);
    bool SetDMSCableRef(uint8_t code);
    // Charge input, VRefMinus, VRefPlus, charge AC output and charge clear of the mode's row.
    bool SetChargeMode(uint8_t code);
    bool SetChargeHighpass(uint8_t code);
    bool SetChargeCapacity(uint8_t code);
    bool SetChargeInput(uint8_t code);
    bool SetChargeACOut(uint8_t code);
    bool SetChargeClear(uint8_t code);
    bool SetChargeManClearMode(uint8_t code);
    // Every supply code has a row (codes other than 1 and 2 switch the supply off).
    bool SetSupply(uint8_t supply);
    // Values above 4095 become 4095.
    bool SetDACs(uint16_t powerDAC, uint16_t offsetDAC);

private:
    // One table step on the setting's word; false for a code outside the table.
    bool Apply(TSetting setting, uint8_t code);
    bool IsValid(TSetting setting, uint8_t code) const;
    uint16_t& Word(int word);
    // Moves the offset DAC to the zero of the pending coupling, range and offset; a set offset
    // keeps its distance from the zero of the caches as they were before the change.
    void OffsetFollowUp(uint8_t oldCoupling, uint8_t oldRange);
    void SetPendingOffsetDAC(uint16_t value);

    TQRBRawChannel& ch_;
};

} // namespace qrb::model
