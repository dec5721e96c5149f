// Converter readings (18-bit ADC at 0x68, 12-bit ADC at 0x51, status ADC at 0x54), the
// temperature report, autozero, the charge-clear pulse and the selection wrappers.

#include "device/Format.h"
#include "device/MainLoop.h"
#include "model/ChannelSetters.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawCalibration.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace qrb::model {

namespace {

constexpr uint8_t kADC18Address = 0x68;
constexpr uint8_t kADC12Address = 0x51;
constexpr uint8_t kADC8Address = 0x54;
constexpr uint8_t kChargeExpanderAddress = 0x2B;
constexpr const char* kADC18Start = "8C"; // one-shot 18-bit conversion, gain 1
constexpr uint8_t kADC18NotReady = 0x80;
constexpr int kADC18ReadyPolls = 5;
constexpr uint32_t kADC18ReadyWaitMs = 200;
constexpr uint32_t kADC18SampleGapMs = 100;
constexpr int kMaxAverage = 100;
constexpr uint32_t kTemperatureWaitMs = 500;
constexpr int kAutozeroLoops = 7;
constexpr int32_t kCoarseLimit = 2000;
constexpr double kFineFactor = 1.66666666;
constexpr double kCoarseDivisor = 58.3;
constexpr uint8_t kTemperatureRange = 16;

struct TADC8Flag {
    uint8_t Bit;
    const char* Text;
};
constexpr std::array<TADC8Flag, 6> kADC8Flags = {{
    {0x04, "ADC8---> Cable broken!"},
    {0x08, "ADC8---> Overvoltage"},
    {0x10, "ADC8---> Shortcut!"},
    {0x20, "ADC8---> Charge out of range!"},
    {0x40, "ADC8---> Too hot!"},
    {0x80, "ADC8---> DMS Fuse down!"},
}};

void Wait(uint32_t ms) {
    device::MainLoop().Sleep(ms);
}

int32_t DecodeADC18(const std::array<uint8_t, 4>& b) {
    int32_t value = b[2] + b[1] * 256 + (b[0] & 1) * 65536;
    if ((b[0] & 2) != 0) value -= 131072;
    return value;
}

// Halves to even, as the class library rounds.
int64_t RoundEven(double v) {
    return static_cast<int64_t>(std::nearbyint(v));
}

std::string ChannelPlace(const TQRBRawChannel& ch) {
    return device::Format("(%2.2d:%2.2d)", ch.Device + 1, ch.Slot + 1);
}

} // namespace

// ---- Readings ---------------------------------------------------------------------------------

bool TI2CTranslator::ReadADC18(TQRBRawChannel& channel, int32_t average, int32_t& value) {
    const int32_t n = average < 1 ? 1 : average > kMaxAverage ? kMaxAverage : average;
    value = 0;
    const std::string place = ChannelPlace(channel);
    if (!channel.HasADC18) {
        DoTranslatorError(this, "No adc18 found on this channel " + place);
        return false;
    }
    if (!HAL || !SelectChannelPath(channel.Device, static_cast<uint8_t>(channel.Group),
                                   static_cast<uint8_t>(channel.Slot), 1)) {
        DoTranslatorError(this, "Cannot set path to channel " + place);
        return false;
    }
    int64_t sum = 0;
    int32_t samples = 0;
    bool failed = false;
    for (int32_t i = 0; i < n; ++i) {
        if (failed) {
            DoTranslatorError(this, "Cannot write to adc18 on channel " + place);
            break;
        }
        WriteI2CChecked(channel.Device, kADC18Address, kADC18Start);
        bool ready = false;
        std::array<uint8_t, 4> b{};
        for (int poll = 0; poll < kADC18ReadyPolls && !ready; ++poll) {
            Wait(kADC18ReadyWaitMs);
            b.fill(0);
            // A read that did not arrive is no reading, whatever the buffer holds.
            ready = device::IsOK(HAL->ReadI2C(channel.Device, kADC18Address, 4, b)) &&
                    (b[3] & kADC18NotReady) == 0;
        }
        if (!ready) {
            DoTranslatorError(this, "Error while reading adc18 on channel " + place);
            failed = true;
            continue;
        }
        sum += DecodeADC18(b);
        ++samples;
        if (i < n - 1) Wait(kADC18SampleGapMs);
    }
    if (failed) {
        // The mean of the samples that were read; none read gives 0.
        value = samples > 0 ? static_cast<int32_t>(RoundEven(static_cast<double>(sum) / samples)) : 0;
        return false;
    }
    value = static_cast<int32_t>(RoundEven(static_cast<double>(sum) / n));
    return true;
}

bool TI2CTranslator::ReadChannelStatus(TQRBRawChannel& channel) {
    if (!HAL) return false;
    std::array<uint8_t, 2> first{}, second{};
    const int32_t d = channel.Device;
    if (!device::IsOK(HAL->WriteReadI2C(d, kADC8Address, "00", 2, first)) ||
        !device::IsOK(HAL->WriteReadI2C(d, kADC8Address, "06", 2, second)))
        return false;
    const bool reset = device::IsOK(HAL->WriteI2C(d, kADC8Address, "060FF0"));
    const unsigned both = (static_cast<unsigned>(first[0] << 8 | first[1]) & (second[0] << 8 | second[1]));
    const auto status = static_cast<uint8_t>((both >> 4) & 0xFF);
    // Active low on the converter; the model keeps a set bit for a present condition.
    uint8_t flags = static_cast<uint8_t>(~status & 0xFC);
    if (channel.dms_pwr_on == 0) flags &= 0x7F;
    channel.ADC8Status = flags;
    channel.ADC8History |= flags;
    if (DebugLevel > 0) {
        DoTranslatorLog(this, device::Format("ADC8---> $%2.2x", status));
        for (const auto& f : kADC8Flags)
            if ((flags & f.Bit) != 0) DoTranslatorLog(this, f.Text);
    }
    return reset;
}

bool TI2CTranslator::ReadChannelADCs(TQRBRawChannel& channel, int32_t& value) {
    value = 0;
    if (channel.HWVersion == 0) return true;
    bool ok = HAL && SelectChannelPath(channel.Device, static_cast<uint8_t>(channel.Group),
                                       static_cast<uint8_t>(channel.Slot), 1);
    if (!ok) DoTranslatorError(this, "Cannot set path to channel " + ChannelPlace(channel));
    if (ok && channel.HasADC18) {
        ok = device::IsOK(HAL->WriteI2C(channel.Device, kADC18Address, kADC18Start));
        bool ready = false;
        std::array<uint8_t, 4> b{};
        // Bounded like ReadADC18: five reads, 200 ms apart.
        for (int poll = 0; ok && poll < kADC18ReadyPolls && !ready; ++poll) {
            Wait(kADC18ReadyWaitMs);
            b.fill(0);
            ready = device::IsOK(HAL->ReadI2C(channel.Device, kADC18Address, 4, b)) &&
                    (b[3] & kADC18NotReady) == 0;
        }
        ok = ok && ready;
        if (ok) {
            if (DebugLevel > 0)
                DoTranslatorLog(this, device::Format("ADC18---> $%2.2x $%2.2x $%2.2x ", b[0], b[1], b[2]));
            value = DecodeADC18(b);
        }
    } else if (ok) {
        std::array<uint8_t, 2> b{};
        WriteReadI2CChecked(channel.Device, kADC12Address, "00", 2, b);
        value = b[0] * 256 + b[1];
        if (DebugLevel > 0) {
            const double volts = 15.0 - (value / 4096.0) * 5.0 * 5.16;
            DoTranslatorLog(
                this, device::Format("ADC12---> Hi: $%2.2x  Lo: $%2.2x   V: %3.3fV", b[0], b[1], volts));
        }
    }
    if (!ok) {
        value = 0;
        HALI2CError(this, "ADC18---> Error while reading ADC18 value!");
        return false;
    }
    return ReadChannelStatus(channel);
}

bool TI2CTranslator::ReadChannelTemperature(int32_t index, int32_t& value) {
    value = 0;
    if (index < 0 || index >= ChannelCount()) {
        // This operation names the index itself.
        LastError = device::Format("Invalid channel %d", index);
        ReportError();
        return false;
    }
    TQRBRawChannel* channel = GetChannel(index);
    if (!channel->Present) {
        LastError = device::Format("Invalid channel %d", index);
        ReportError();
        return false;
    }
    return ReadChannelADCs(*channel, value);
}

// ---- Temperature report -------------------------------------------------------------------------

bool TI2CTranslator::TemperatureReport(std::string& text) {
    struct TNoted {
        int32_t Index;
        double FullScale;
        device::TChannelImage Image;
        TSensorType Type;
        uint8_t Offset;
        uint8_t Range;
        int32_t Ground = 0;
        bool GroundRead = false;
    };
    std::vector<TNoted> noted;
    for (int32_t i = 0; i < ChannelCount(); ++i) {
        TQRBRawChannel& ch = *GetChannel(i);
        if (!ch.Present || !IsSelected(i)) continue;
        noted.push_back({i, ch.HasADC18 ? 131072.0 : 4096.0, ch.Current, ch.SensorType, ch.offset, ch.Range});
        SetLED1(i, 0);
        SetLED2(i, 0);
        SetCoupling(i, 0);
        SetOffset(i, 0);
        SetVRefPlus(i, 0);
        SetVRefMinus(i, 0);
        SetRange(i, kTemperatureRange);
        if (ch.HasADC18) SetZeroInput(i, 0);
    }

    bool result = NewConfig(0, true);
    if (result) {
        Wait(kTemperatureWaitMs);
        for (auto& n : noted)
            n.GroundRead = ReadChannelTemperature(n.Index, n.Ground);
        for (const auto& n : noted) {
            if (GetChannel(n.Index)->HasADC18) {
                SetVRefPlus(n.Index, 5);
                SetVRefMinus(n.Index, 0);
                SetZeroInput(n.Index, 1);
            } else {
                SetVRefPlus(n.Index, 0);
                SetVRefMinus(n.Index, 4);
            }
        }
        // One commit for all channels: it fails when any channel's write fails.
        result = NewConfig(0, true);
        Wait(kTemperatureWaitMs);
        for (const auto& n : noted) {
            TQRBRawChannel& ch = *GetChannel(n.Index);
            int32_t temp = 0;
            const bool read = ReadChannelTemperature(n.Index, temp);
            result = read && result;
            // A channel that was not measured gets no temperature.
            if (!read || !n.GroundRead || ch.HWVersion == 0) {
                DoTranslatorError(this,
                                  device::Format("Cannot measure temperature on channel %2.2d", n.Index + 1));
                continue;
            }
            const int32_t d = std::abs(temp - n.Ground);
            const double celsius = ch.HasADC18 ? ((d / 131072.0) * 2.048 * 0.2 * 5.32 - 0.509) / 0.00645
                                               : (d * 1.953125) / 6.666667 - 78.9;
            if (DebugLevel >= 0) {
                auto volts = [&](int32_t reading) { return 15.0 - (reading / n.FullScale) * 5.0 * 5.16; };
                DoTranslatorLog(
                    this, device::Format("CH%2.2d: GND: %6d (%3.3fV) TEMP: %6d (%3.3fV) d: %6d (%3.3fV) "
                                         "Temp: %5.2f°C",
                                         n.Index + 1, n.Ground, volts(n.Ground), temp, volts(temp), d,
                                         (d / n.FullScale) * 5.0 * 5.16, celsius));
            }
            text += device::Format("CH%2.2d:  %5.2f°C", n.Index + 1, celsius) + "\r\n";
        }
        if (DebugLevel > 0) DoTranslatorLog(this, "");
    }

    for (const auto& n : noted) {
        SetSensorType(n.Index, n.Type);
        SetOffset(n.Index, n.Offset);
        SetRange(n.Index, n.Range);
        GetChannel(n.Index)->Pending = n.Image;
    }
    return NewConfig(0, true) && result;
}

// ---- Autozero -----------------------------------------------------------------------------------

bool TI2CTranslator::Autozero(int32_t index, int32_t average) {
    if (!CheckChannelIndex(index, "Invalid channel %2.2d")) return false;
    TQRBRawChannel& ch = *GetChannel(index);
    if (!ch.Present) {
        LastError = device::Format("Invalid channel %2.2d", index + 1);
        ReportError();
        return false;
    }
    const std::string place = ChannelPlace(ch);
    if (!ch.HasADC18) {
        DoTranslatorError(this, device::Format("Channel %2.2d:%2.2d has no adc18 hardware! Autozero aborted!",
                                               ch.Device + 1, ch.Slot + 1));
        return false;
    }
    auto fail = [&](const char* what) {
        DoTranslatorError(this, std::string(what) + place);
        return false;
    };

    // A commit that did not take leaves the channel in another state than the one measured.
    SetZeroInput(index, 0);
    SetDACs(index, ch.PowerDAC, ch.OffsetZero);
    SetOffset(index, 0);
    int32_t z = 0;
    if (!NewConfig(0, true)) return fail("Error while getting zero reference on channel ");
    Wait(static_cast<uint32_t>(SettleTime < 0 ? 0 : SettleTime));
    if (!ReadADC18(ch, average, z)) return fail("Error while getting zero reference on channel ");

    SetZeroInput(index, 1);
    int32_t s = 0;
    if (!NewConfig(0, true)) return fail("Error while getting signal value on channel ");
    Wait(static_cast<uint32_t>(SettleTime < 0 ? 0 : SettleTime));
    if (!ReadADC18(ch, average, s)) return fail("Error while getting signal value on channel ");

    int32_t diff = z - s;
    const int32_t threshold = ch.Range <= 16 ? 3 : 7;
    if (std::abs(diff) < threshold) return true;

    auto storePair = [&](uint16_t off, uint16_t on) {
        ch.OffsetZero = ch.OffsetDAC;
        if (ch.coupling < device::kCouplingCount && ch.Range < device::kRangeCount)
            ch.Calibration.ZeroOffsets[ch.coupling][ch.Range] = {off, on};
    };

    int count = 0;
    if (std::abs(diff) < kCoarseLimit) {
        do {
            const uint16_t dac = ClampDAC(ch.OffsetDAC - RoundEven(diff * kFineFactor));
            SetDACs(index, ch.PowerDAC, dac);
            if (!NewConfig(0, true) || !ReadADC18(ch, average, s))
                return fail("Error while fine getting signal value on channel ");
            diff = z - s;
            ++count;
        } while (std::abs(diff) >= threshold && count < kAutozeroLoops);
        if (std::abs(diff) >= threshold) {
            DoTranslatorError(
                this, device::Format("Cannot get fine zerolevel after %d loops on channel (%2.2d:%2.2d)",
                                     count, ch.Device + 1, ch.Slot + 1));
            return false;
        }
        storePair(ch.OffsetDAC, kNeutralOffsetZero);
        return true;
    }

    int64_t step = RoundEven(diff / kCoarseDivisor);
    SetOffset(index, 1);
    do {
        const uint16_t dac = ClampDAC(ch.OffsetDAC - step);
        SetDACs(index, ch.PowerDAC, dac);
        if (!NewConfig(0, true) || !ReadADC18(ch, average, s))
            return fail("Error while getting normal signal value on channel ");
        step = RoundEven((z - s) / kCoarseDivisor);
        ++count;
    } while (step != 0 && count < kAutozeroLoops);
    if (step != 0) {
        DoTranslatorError(
            this, device::Format("Cannot get normal zerolevel after %d loops on channel (%2.2d:%2.2d)", count,
                                 ch.Device + 1, ch.Slot + 1));
        return false;
    }
    storePair(kNeutralOffsetZero, ch.OffsetDAC);
    return true;
}

bool TI2CTranslator::AutozeroSelected() {
    bool ok = true;
    for (int32_t i = 0; i < ChannelCount(); ++i)
        if (GetChannel(i)->Present && IsSelected(i)) ok = Autozero(i, ZeroAverage) && ok;
    return ok;
}

// ---- Selection wrappers and the charge-clear pulse ------------------------------------------------

bool TI2CTranslator::SetOpenGndShieldSelected(uint8_t value) {
    bool ok = true;
    for (int32_t i = 0; i < ChannelCount(); ++i)
        if (GetChannel(i)->Present && IsSelected(i)) ok = SetOpenGndShield(i, value) && ok;
    return ok;
}

bool TI2CTranslator::SetMonitorSelected(uint8_t value) {
    bool ok = true;
    for (int32_t i = 0; i < ChannelCount(); ++i) {
        const TQRBRawChannel& ch = *GetChannel(i);
        if (ch.Present && ch.HasADC18 && IsSelected(i)) ok = SetMonitor(i, value) && ok;
    }
    return ok;
}

bool TI2CTranslator::ClearChargeSelected() {
    if (!HAL) return false;
    // Devices in the order their first qualifying channel appears.
    std::vector<int32_t> devices;
    std::vector<uint8_t> baseMasks, pulseMasks;
    for (int32_t i = 0; i < ChannelCount(); ++i) {
        const TQRBRawChannel& ch = *GetChannel(i);
        if (!ch.Present || !ch.HasCharge() || ch.SensorType != stCharge) continue;
        if (ch.Slot < 0 || ch.Slot > 7) continue;
        size_t k = 0;
        while (k < devices.size() && devices[k] != ch.Device)
            ++k;
        if (k == devices.size()) {
            devices.push_back(ch.Device);
            baseMasks.push_back(0);
            pulseMasks.push_back(0);
        }
        const auto bit = static_cast<uint8_t>(1u << ch.Slot);
        if (ch.ChargeModeCache != 0) baseMasks[k] |= bit;
        if (IsSelected(i)) pulseMasks[k] |= bit;
    }
    bool ok = true;
    for (size_t k = 0; k < devices.size(); ++k) {
        if (pulseMasks[k] == 0) continue;
        const uint8_t base = baseMasks[k];
        // Each clear line toggles once and returns to its resting level, also after a refusal.
        for (const std::string& text : {std::string("0700"), "03" + device::IntToHex(base ^ pulseMasks[k], 2),
                                        "03" + device::IntToHex(base, 2)})
            ok = device::IsOK(HAL->WriteI2C(devices[k], kChargeExpanderAddress, text)) && ok;
    }
    return ok;
}

} // namespace qrb::model
