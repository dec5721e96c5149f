#include "model/QRBRawChannel.h"

#include "device/Cp1252.h"
#include "model/QRBRawCalibration.h"

namespace qrb::model {

namespace {

uint8_t B(bool b) {
    return b ? 1 : 0;
}

} // namespace

TQRBRawChannel::TQRBRawChannel(int device, int group, int slot, int globalIndex, device::TInterfaceKind kind,
                               TQRBRawMaster* master)
    : Device(device), Group(group), Slot(slot), GlobalIndex(globalIndex), Kind(kind), Master(master) {}

void TQRBRawChannel::DecodeRegisters() {
    using S = TSetting;
    const auto& w = Current.Image.Words;
    HWVersion = Info.Version == 0 ? 0 : 1;
    const int v = HWVersion;
    const bool v1 = v == 1;

    predivider = DecodeSearch(S::PreDivider, v, w[1]);
    offset = B(DecodeSwitch(S::Offset, v, w[1]));
    gain = DecodeSearch(S::Gain, v, w[2]);
    monitor = B(DecodeSwitch(S::Monitor, v, w[2]));
    MonitorCache = monitor;
    // Settings the version 0 hardware lacks: their version 0 tables would match anything.
    offsetdac_filter = B(v1 && DecodeSwitch(S::OffsetDACFilter, v, w[2]));
    outputfilter = B(v1 && DecodeSwitch(S::OutputFilter, v, w[2]));
    vrefplus = DecodeSearch(S::VRefPlus, v, w[3]);
    volt_sense = DecodeSearch(S::VoltSense, v, w[4]);
    quarterload = B(v1 && DecodeSwitch(S::QuarterLoad, v, w[3]));
    dms_shunt = B(v1 ? DecodeSwitch(S::DMSShuntWord6, v, w[6]) : DecodeSwitch(S::DMSShuntWord3, v, w[3]));
    pwr_at_signal = B(DecodeSwitch(S::PwrAtSignal, v, w[3]));
    _120_Ohm = B(DecodeSwitch(S::Ohm120, v, w[3]));
    pwrfilter5M = B(DecodeSwitch(S::PwrFilter5M, v, w[3]));
    led1 = B(DecodeSwitch(S::LED1, v, w[3]));
    led2 = B(DecodeSwitch(S::LED2, v, w[3]));
    vrefminus = DecodeSearch(S::VRefMinus, v, w[4]);
    r25_shunt = B(DecodeSwitch(S::R25Shunt, v, w[4]));
    dmscableref = B(DecodeSwitch(S::DMSCableRef, v, w[4]));
    qtrloadsense = B(v1 && DecodeSwitch(S::QtrLoadSense, v, w[4]));
    dms_pwr_on = B(v1 && DecodeSwitch(S::DMSPwrOn, v, w[4]));
    analog_status_off = B(v1 && DecodeSwitch(S::AnalogStatusOff, v, w[4]));
    ADC8StatVal = analog_status_off ? 0 : kDefaultADC8StatVal;
    charge_highpass = DecodeSearch(S::ChargeHighpass, v, w[5]);
    charge_capacity = DecodeSearch(S::ChargeCapacity, v, w[5]);
    chargeinput = B(v1 && DecodeSwitch(S::ChargeInput, v, w[5]));
    charge_ac_out = B(v1 && DecodeSwitch(S::ChargeACOut, v, w[5]));
    charge_clear = B(v1 && DecodeSwitch(S::ChargeClear, v, w[5]));
    charge_man_clearmode = B(v1 && DecodeSwitch(S::ChargeManClearMode, v, w[5]));
    coupling = DecodeSearch(S::Coupling, v, w[6]);
    const TSetting referenceTable = UsesSecondReferenceTable() ? S::Reference2 : S::Reference1;
    const int firstReference = HasBNC() ? 0 : 4;
    reference = DecodeSearch(referenceTable, v, w[6], firstReference, 5);
    // Without BNC the value written for code 5 with open ground and shield is no other code's.
    if (referenceTable == S::Reference2 && !HasBNC() && reference == 0 &&
        DecodeSearch(referenceTable, v, w[6], kReference2OpenCode5, kReference2OpenCode5) ==
            kReference2OpenCode5)
        reference = 5;
    if (v1) {
        current = B(DecodeSwitch(S::CurrentWord6, v, w[6]) && DecodeSwitch(S::CurrentWord4A, v, w[4]) &&
                    DecodeSwitch(S::CurrentWord4B, v, w[4]));
    } else {
        current = B(DecodeSwitch(S::CurrentWord6, v, w[6]) && DecodeSwitch(S::CurrentWord3, v, w[3]));
    }
    CurrentCache = current;

    SensorType = w[0];
    Range = RangeFromDividerGain(predivider, gain);
    PowerDAC = w[7];
    OffsetDAC = w[8];
    PowerZero = (HasADC18 ? 0 : Info.Defaults.Words[7]) & 0xFFF;
    OffsetZero = UsableZeroOffset(Calibration, coupling, Range, offset, Info.Defaults.Words[8]) & 0xFFF;

    UpdateAllowedOptions();

    TypeCache = SensorType;
    RangeCache = Range;
    GainCache = gain;
    CouplingCache = coupling;
    PowerDACCache = PowerDAC;
    PowerDACCache2 = PowerDAC;
    OffsetDACCache = OffsetDAC;
    OffsetCache = offset;
    OutputFilterCache = outputfilter;
    Is350OhmCache = B(!_120_Ohm);
    SenseCache = B(volt_sense == 1 || volt_sense == 3);
    DMSShuntCache = dms_shunt;
    PwrAtSignalCache = pwr_at_signal;
    CapacityCache = charge_capacity;
    HighpassCache = charge_highpass;
    AutoClearCache = B(!charge_man_clearmode);
    ReferenceCache = reference;

    ADC8Status = 0;

    if (TypeCache == stCharge) {
        if (charge_ac_out) {
            ChargeModeCache = 3;
        } else if (Info.Version >= 2) {
            if (vrefminus == 0)
                ChargeModeCache = 0;
            else if (vrefminus == 4)
                ChargeModeCache = 2;
            else if (vrefminus == 6)
                ChargeModeCache = 1;
        } else {
            if (vrefplus == 0)
                ChargeModeCache = 0;
            else if (vrefplus == 5)
                ChargeModeCache = 2;
            else if (vrefplus == 6)
                ChargeModeCache = 1;
        }
    }
    charge_mode = ChargeModeCache;

    volt_supply = 0;
    if (TypeCache == stVolt && dms_pwr_on) volt_supply = current ? 2 : 1;
    SupplyCache = volt_supply;
}

void TQRBRawChannel::UpdateAllowedOptions() {
    auto set = [this](std::initializer_list<int> codes) {
        AllowedCouplings.reset();
        for (int c : codes)
            AllowedCouplings.set(c);
    };
    switch (SensorType) {
    case stOff:
    case stCharge:
        set({kCouplingNotUsed});
        break;
    case stVolt:
    case stDebug:
        set({0, 1, 2, 3, 4, 5, 6});
        break;
    case stICP:
    case stDMSCurrent:
        set({1, 3, 4, 5, 6});
        break;
    case stDMSFullbridge:
    case stRTD:
        set({0, 3, 4});
        break;
    case stDMSHalfbridge:
    case stDMSQuarterbridge:
        set({0, 1, 5, 6});
        break;
    case stCurrent:
        set({3, 4});
        break;
    default:
        break; // other types keep the set
    }
}

void TQRBRawChannel::InitDefaultCalibration() {
    InitDefaultCalibration(device::Now());
}

void TQRBRawChannel::InitDefaultCalibration(device::TDateTime today) {
    FillDefaultCalibration(Calibration, today);
}

void TQRBRawChannel::SetChannelName(std::string_view text) {
    ChannelName = device::Utf8Cut(text, kChannelNameLength);
}

void TQRBRawChannel::SetDescription(std::string_view text) {
    Description = device::Utf8Cut(text, kDescriptionLength);
}

} // namespace qrb::model
