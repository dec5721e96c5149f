// Sensor identification: the DS2482 1-Wire bridge at 0x18, the ROM search and ReadSensorId.

#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"

#include <array>

namespace qrb::model {

namespace {

constexpr uint8_t kBridgeAddress = 0x18;
constexpr uint8_t kStatusBusy = 0x01;
constexpr uint8_t kStatusPresence = 0x02;
constexpr uint8_t kStatusShort = 0x04;
constexpr uint8_t kStatusLogicLevel = 0x08;
constexpr uint8_t kStatusDeviceReset = 0x10;
constexpr uint8_t kStatusSingleBit = 0x20;
constexpr uint8_t kStatusTripletSecond = 0x40;
constexpr uint8_t kStatusDirection = 0x80;
constexpr int kBusyPolls = 5;
constexpr uint8_t kSearchRom = 0xF0;

// Sense codes and connector of the three wirings tried.
constexpr uint8_t kSenseTEDSFirst = 2;  // TEDS (T-@S+&-)(T+@CatT+)
constexpr uint8_t kSenseTEDSSecond = 3; // TEDS (T-@S+)(T+@CatT+&S-)
constexpr uint8_t kPowerAtODU = 0;
constexpr uint8_t kPowerAtBNC = 1;
constexpr uint8_t kReferenceODUOn = 5;

// One bridge exchange: the write of hex, then one byte read from the bridge.
bool Exchange(TI2CTranslator& t, int32_t device, std::string_view hex, uint8_t& status) {
    if (!t.HAL) return false;
    std::array<uint8_t, 1> answer{};
    if (!device::IsOK(t.HAL->WriteReadI2C(device, kBridgeAddress, hex, 1, answer))) return false;
    status = answer[0];
    return true;
}

// The status after a 1-Wire command: up to five polls while the busy bit is set (their results
// are not examined; each read byte replaces the status). False when still busy.
bool WaitWhileBusy(TI2CTranslator& t, int32_t device, uint8_t& status) {
    for (int poll = 0; poll < kBusyPolls && (status & kStatusBusy) != 0; ++poll) {
        uint8_t next = status;
        if (Exchange(t, device, "E1F0", next)) status = next;
    }
    return (status & kStatusBusy) == 0;
}

} // namespace

std::string TI2CTranslator::RomToText(const std::array<uint8_t, 8>& rom) {
    std::string text;
    for (uint8_t b : rom)
        text += device::IntToHex(b, 2);
    return text;
}

bool TI2CTranslator::DS2482Reset(int32_t device) {
    uint8_t status = 0;
    if (!Exchange(*this, device, "F0", status)) return false;
    return (status & ~kStatusLogicLevel & 0xFF) == kStatusDeviceReset;
}

bool TI2CTranslator::DS2482WriteConfig(int32_t device, uint8_t config) {
    // The command byte alone; the bridge answers with its configuration register.
    uint8_t readBack = 0;
    if (Exchange(*this, device, "D2", readBack) && readBack == config) return true;
    DS2482Reset(device);
    return false;
}

bool TI2CTranslator::DS2482Init(int32_t device) {
    return DS2482Reset(device) && DS2482WriteConfig(device, 0);
}

bool TI2CTranslator::OneWireReset(int32_t device, bool& presence, bool& shorted) {
    presence = false;
    shorted = false;
    uint8_t status = 0;
    if (!Exchange(*this, device, "B4", status)) return false;
    if (!WaitWhileBusy(*this, device, status)) {
        DS2482Reset(device);
        return false;
    }
    presence = (status & kStatusPresence) != 0;
    shorted = (status & kStatusShort) != 0;
    return true;
}

bool TI2CTranslator::OneWireWriteByte(int32_t device, uint8_t value) {
    uint8_t status = 0;
    if (!Exchange(*this, device, "A5" + device::IntToHex(value, 2), status)) return false;
    if (!WaitWhileBusy(*this, device, status)) {
        DS2482Reset(device);
        return false;
    }
    return true;
}

uint8_t TI2CTranslator::OneWireTriplet(int32_t device, uint8_t direction) {
    uint8_t status = 0;
    if (!Exchange(*this, device, direction > 0 ? "7880" : "7800", status)) return 0;
    if (!WaitWhileBusy(*this, device, status)) {
        DS2482Reset(device);
        return 0;
    }
    return status;
}

bool TI2CTranslator::OneWireFirst(int32_t index, std::string& id) {
    for (size_t i = 0; i < 7; ++i)
        OneWireState.ROM[i] = 0;
    OneWireState.LastDiscrepancy = 0;
    OneWireState.LastFamilyDiscrepancy = 0;
    OneWireState.LastDeviceFlag = false;
    return OneWireSearch(index, id);
}

bool TI2CTranslator::OneWireSearch(int32_t index, std::string& id) {
    TQRBRawChannel* channel = GetChannel(index);
    if (!channel) return false;
    const int32_t device = channel->Device;
    auto& s = OneWireState;
    auto clearState = [&s] {
        s.LastDiscrepancy = 0;
        s.LastDeviceFlag = false;
        s.LastFamilyDiscrepancy = 0;
    };

    int32_t bitNumber = 1;
    int32_t lastZero = 0;
    size_t byteNumber = 0;
    uint8_t mask = 1;
    s.CRC8 = 0;
    bool result = false;

    if (!s.LastDeviceFlag) {
        bool presence = false, shorted = false;
        if (!OneWireReset(device, presence, shorted)) {
            clearState();
            return false;
        }
        OneWireWriteByte(device, kSearchRom);
        while (byteNumber < 8) {
            uint8_t direction;
            if (bitNumber < s.LastDiscrepancy)
                direction = (s.ROM[byteNumber] & mask) != 0 ? 1 : 0;
            else
                direction = bitNumber == s.LastDiscrepancy ? 1 : 0;

            const uint8_t status = OneWireTriplet(device, direction);
            const bool idBit = (status & kStatusSingleBit) != 0;
            const bool complementBit = (status & kStatusTripletSecond) != 0;
            direction = (status & kStatusDirection) != 0 ? 1 : 0;
            if (idBit && complementBit) break; // nobody answers

            if (!idBit && !complementBit && direction == 0) {
                lastZero = bitNumber;
                if (lastZero < 9) s.LastFamilyDiscrepancy = lastZero;
            }
            if (direction != 0)
                s.ROM[byteNumber] |= mask;
            else
                s.ROM[byteNumber] &= static_cast<uint8_t>(~mask);
            ++bitNumber;
            mask = static_cast<uint8_t>(mask << 1);
            if (mask == 0) {
                s.CRC8 = device::OneWireCRC8Step(s.CRC8, s.ROM[byteNumber]);
                ++byteNumber;
                mask = 1;
            }
            if (bitNumber == 65 && s.CRC8 == 0) {
                s.LastDiscrepancy = lastZero;
                s.LastDeviceFlag = s.LastDiscrepancy == 0;
                result = true;
            }
        }
    }

    if (!result || s.ROM[0] == 0) {
        clearState();
        return false;
    }
    id = RomToText(s.ROM);
    return true;
}

bool TI2CTranslator::ReadSensorId(int32_t index, bool& shorted, bool& found, std::string& id) {
    shorted = false;
    found = false;
    id.clear();
    TQRBRawChannel* channel = PresentChannel(index);
    if (!channel) return false;
    const int32_t device = channel->Device;
    const auto group = static_cast<uint8_t>(channel->Group);
    const auto slot = static_cast<uint8_t>(channel->Slot);
    const device::TChannelImage kept = channel->Current;
    const TSensorType keptType = channel->SensorType;

    bool ok = true;
    auto attempt = [&](uint8_t sense, uint8_t powerAtSignal, bool routePath) {
        SetSensorType(index, stOff);
        SetTEDSPower(index, 1);
        SetSense(index, sense);
        SetPwrAtSignal(index, powerAtSignal);
        SetReference(index, kReferenceODUOn);
        bool presence = false, lineShorted = false;
        ok = NewConfig(0, true) && (!routePath || SelectChannelPath(device, group, slot, 0)) &&
             DS2482Init(device) && OneWireReset(device, presence, lineShorted);
        if (!ok) return;
        if (lineShorted)
            shorted = true;
        else
            found = OneWireFirst(index, id);
    };
    auto restore = [&] {
        SetTEDSPower(index, 0);
        SetSensorType(index, keptType);
        channel->Pending = kept;
        const bool committed = NewConfig(0, true);
        SelectChannelPath(device, group, slot, 1);
        return committed;
    };

    try {
        attempt(kSenseTEDSFirst, kPowerAtODU, true);
        if (ok && !found && !shorted) attempt(kSenseTEDSSecond, kPowerAtODU, false);
        if (ok && !found && !shorted) attempt(kSenseTEDSSecond, kPowerAtBNC, false);
    } catch (...) {
        restore();
        throw;
    }
    return restore() && ok;
}

} // namespace qrb::model
