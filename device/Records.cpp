#include "device/Records.h"

#include "device/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace qrb::device {

namespace {

template <size_t N> void GetBytes(const uint8_t* p, std::array<uint8_t, N>& a) {
    std::memcpy(a.data(), p, N);
}
template <size_t N> void GetBytes(const uint8_t* p, std::array<char, N>& a) {
    std::memcpy(a.data(), p, N);
}
template <size_t N> void PutBytes(uint8_t* p, const std::array<uint8_t, N>& a) {
    std::memcpy(p, a.data(), N);
}
template <size_t N> void PutBytes(uint8_t* p, const std::array<char, N>& a) {
    std::memcpy(p, a.data(), N);
}

template <size_t N> void GetWords(const uint8_t* p, std::array<uint16_t, N>& a) {
    for (size_t i = 0; i < N; ++i)
        a[i] = GetU16(p + 2 * i);
}
template <size_t N> void PutWords(uint8_t* p, const std::array<uint16_t, N>& a) {
    for (size_t i = 0; i < N; ++i)
        PutU16(p + 2 * i, a[i]);
}

// Nested records: the outer record has checked the length already.
template <class T> T GetRecord(const uint8_t* p) {
    T r;
    T::Decode(p, T::Size, r);
    return r;
}

} // namespace

bool TRegisterImage::Decode(const uint8_t* data, size_t len, TRegisterImage& out) {
    if (data == nullptr || len < Size) return false;
    GetWords(data, out.Words);
    return true;
}
void TRegisterImage::Encode(uint8_t* out) const {
    PutWords(out, Words);
}

bool TChannelImage::Decode(const uint8_t* data, size_t len, TChannelImage& out) {
    if (data == nullptr || len < Size) return false;
    out.Image = GetRecord<TRegisterImage>(data);
    out.Spare = data[18];
    out.ADC8LowVal = data[19];
    return true;
}
void TChannelImage::Encode(uint8_t* out) const {
    Image.Encode(out);
    out[18] = Spare;
    out[19] = ADC8LowVal;
}

bool TDeviceInfo::Decode(const uint8_t* data, size_t len, TDeviceInfo& out) {
    if (data == nullptr || len < Size) return false;
    out.Error = data[0];
    out.Parts = data[1];
    out.Status = data[2];
    out.AvailableChannels = data[3];
    out.ActiveChannels = data[4];
    out.State = data[5];
    GetBytes(data + 6, out.Reserved6);
    out.FanRpm = GetU16(data + 8);
    GetBytes(data + 10, out.Reserved10);
    out.ClockHz = GetU32(data + 12);
    out.Supply12V = GetF32(data + 16);
    out.Tst = GetF32(data + 20);
    out.Supply5V = GetF32(data + 24);
    out.LockState = GetU32(data + 28);
    return true;
}
void TDeviceInfo::Encode(uint8_t* out) const {
    out[0] = Error;
    out[1] = Parts;
    out[2] = Status;
    out[3] = AvailableChannels;
    out[4] = ActiveChannels;
    out[5] = State;
    PutBytes(out + 6, Reserved6);
    PutU16(out + 8, FanRpm);
    PutBytes(out + 10, Reserved10);
    PutU32(out + 12, ClockHz);
    PutF32(out + 16, Supply12V);
    PutF32(out + 20, Tst);
    PutF32(out + 24, Supply5V);
    PutU32(out + 28, LockState);
}

bool TChannelInfo::Decode(const uint8_t* data, size_t len, TChannelInfo& out) {
    if (data == nullptr || len < Size) return false;
    out.Version = data[0];
    GetBytes(data + 1, out.Reserved1);
    out.ADC8StatVal = data[8];
    out.ADC8LowVal = data[9];
    out.Serial = GetU16(data + 10);
    out.Features = data[12];
    GetBytes(data + 13, out.Reserved13);
    out.Defaults = GetRecord<TRegisterImage>(data + 14);
    out.Stored = GetRecord<TRegisterImage>(data + 32);
    GetWords(data + 50, out.MaskI);
    GetWords(data + 64, out.MaskO);
    GetWords(data + 78, out.MaskIO);
    GetWords(data + 92, out.MaskP);
    GetWords(data + 106, out.MaskDirty);
    out.FilterType = data[120];
    GetBytes(data + 121, out.Reserved121);
    return true;
}
void TChannelInfo::Encode(uint8_t* out) const {
    out[0] = Version;
    PutBytes(out + 1, Reserved1);
    out[8] = ADC8StatVal;
    out[9] = ADC8LowVal;
    PutU16(out + 10, Serial);
    out[12] = Features;
    PutBytes(out + 13, Reserved13);
    Defaults.Encode(out + 14);
    Stored.Encode(out + 32);
    PutWords(out + 50, MaskI);
    PutWords(out + 64, MaskO);
    PutWords(out + 78, MaskIO);
    PutWords(out + 92, MaskP);
    PutWords(out + 106, MaskDirty);
    out[120] = FilterType;
    PutBytes(out + 121, Reserved121);
}

bool TChannelInfoSlot::Decode(const uint8_t* data, size_t len, TChannelInfoSlot& out) {
    if (data == nullptr || len < Size) return false;
    out.Present = data[0];
    out.Fitted = data[1];
    out.ADC8Status = data[2];
    out.ADC8LowVal = data[3];
    out.SlotFlag = data[4];
    out.HasADC18 = data[5];
    out.Current = GetRecord<TRegisterImage>(data + 6);
    out.HasCalibTable = data[24];
    GetBytes(data + 25, out.Reserved25);
    out.Info = GetRecord<TChannelInfo>(data + 28);
    return true;
}
void TChannelInfoSlot::Encode(uint8_t* out) const {
    out[0] = Present;
    out[1] = Fitted;
    out[2] = ADC8Status;
    out[3] = ADC8LowVal;
    out[4] = SlotFlag;
    out[5] = HasADC18;
    Current.Encode(out + 6);
    out[24] = HasCalibTable;
    PutBytes(out + 25, Reserved25);
    Info.Encode(out + 28);
}

bool TChannelInfoBlock::Decode(const uint8_t* data, size_t len, TChannelInfoBlock& out) {
    if (data == nullptr || len < Size) return false;
    for (size_t i = 0; i < kSlotCount; ++i)
        out.Slots[i] = GetRecord<TChannelInfoSlot>(data + i * TChannelInfoSlot::Size);
    return true;
}
void TChannelInfoBlock::Encode(uint8_t* out) const {
    for (size_t i = 0; i < kSlotCount; ++i)
        Slots[i].Encode(out + i * TChannelInfoSlot::Size);
}

bool TDCDCEntry::Decode(const uint8_t* data, size_t len, TDCDCEntry& out) {
    if (data == nullptr || len < Size) return false;
    out.Present = data[0];
    out.Series = GetU16(data + 1);
    out.Serial = GetU16(data + 3);
    GetBytes(data + 5, out.Reserved5);
    return true;
}
void TDCDCEntry::Encode(uint8_t* out) const {
    out[0] = Present;
    PutU16(out + 1, Series);
    PutU16(out + 3, Serial);
    PutBytes(out + 5, Reserved5);
}

bool TDCDCInfo::Decode(const uint8_t* data, size_t len, TDCDCInfo& out) {
    if (data == nullptr || len < Size) return false;
    for (size_t i = 0; i < kSlotCount; ++i)
        out.Entries[i] = GetRecord<TDCDCEntry>(data + i * TDCDCEntry::Size);
    return true;
}
void TDCDCInfo::Encode(uint8_t* out) const {
    for (size_t i = 0; i < kSlotCount; ++i)
        Entries[i].Encode(out + i * TDCDCEntry::Size);
}

bool TDeviceADC8::Decode(const uint8_t* data, size_t len, TDeviceADC8& out) {
    if (data == nullptr || len < Size) return false;
    GetBytes(data, out.Status);
    return true;
}
void TDeviceADC8::Encode(uint8_t* out) const {
    PutBytes(out, Status);
}

bool TIRQMessage::Decode(const uint8_t* data, size_t len, TIRQMessage& out) {
    if (data == nullptr || len < Size) return false;
    out.Magic = GetU32(data);
    out.IRQWord = GetU16(data + 4);
    GetBytes(data + 6, out.ChannelStatus);
    GetBytes(data + 14, out.Reserved14);
    return true;
}
void TIRQMessage::Encode(uint8_t* out) const {
    PutU32(out, Magic);
    PutU16(out + 4, IRQWord);
    PutBytes(out + 6, ChannelStatus);
    PutBytes(out + 14, Reserved14);
}

bool TFWVersion::Decode(const uint8_t* data, size_t len, TFWVersion& out) {
    if (data == nullptr || len < Size) return false;
    for (size_t i = 0; i < 4; ++i)
        out.Components[i] = GetI32(data + 4 * i);
    return true;
}
void TFWVersion::Encode(uint8_t* out) const {
    for (size_t i = 0; i < 4; ++i)
        PutI32(out + 4 * i, Components[i]);
}

bool TFlashDate::Decode(const uint8_t* data, size_t len, TFlashDate& out) {
    if (data == nullptr || len < Size) return false;
    out.Day = data[0];
    out.Month = data[1];
    out.Year = GetU16(data + 2);
    return true;
}
void TFlashDate::Encode(uint8_t* out) const {
    out[0] = Day;
    out[1] = Month;
    PutU16(out + 2, Year);
}

bool TMasterFlash::IsMagicValid() const {
    static_assert(MagicText.size() == std::tuple_size_v<decltype(Magic)>);
    return std::equal(Magic.begin(), Magic.end(), MagicText.begin());
}
void TMasterFlash::SetMagic() {
    std::copy(MagicText.begin(), MagicText.end(), Magic.begin());
}

bool TMasterFlash::Decode(const uint8_t* data, size_t len, TMasterFlash& out) {
    if (data == nullptr || len < Size) return false;
    GetBytes(data, out.Magic);
    GetBytes(data + 16, out.Reserved16);
    out.HardwareSeries = GetU32(data + 18);
    out.HardwareSerial = GetU32(data + 22);
    out.BackboneSeries = GetU32(data + 26);
    out.BackboneSerial = GetU32(data + 30);
    out.ControlledDate = GetRecord<TFlashDate>(data + 34);
    out.MastertestDate = GetRecord<TFlashDate>(data + 38);
    out.CalibrationDate = GetRecord<TFlashDate>(data + 42);
    GetBytes(data + 46, out.Reserved46);
    out.HWStartLock = GetU32(data + 52);
    out.DeviceSeries = GetU32(data + 56);
    out.DeviceSerial = GetU32(data + 60);
    GetBytes(data + 64, out.Reserved64);
    return true;
}
void TMasterFlash::Encode(uint8_t* out) const {
    PutBytes(out, Magic);
    PutBytes(out + 16, Reserved16);
    PutU32(out + 18, HardwareSeries);
    PutU32(out + 22, HardwareSerial);
    PutU32(out + 26, BackboneSeries);
    PutU32(out + 30, BackboneSerial);
    ControlledDate.Encode(out + 34);
    MastertestDate.Encode(out + 38);
    CalibrationDate.Encode(out + 42);
    PutBytes(out + 46, Reserved46);
    PutU32(out + 52, HWStartLock);
    PutU32(out + 56, DeviceSeries);
    PutU32(out + 60, DeviceSerial);
    PutBytes(out + 64, Reserved64);
}

std::string TChannelCalibTable::Source() const {
    auto end = std::find(CalibSource.begin(), CalibSource.end(), '\0');
    return std::string(CalibSource.begin(), end);
}
void TChannelCalibTable::SetSource(std::string_view text) {
    CalibSource.fill(0);
    text.copy(CalibSource.data(), std::min(text.size(), CalibSource.size()));
}
bool TChannelCalibTable::IsUsable() const {
    // Nine characters and their NUL fill the ten bytes exactly.
    static_assert(UsableSource.size() + 1 == std::tuple_size_v<decltype(CalibSource)>);
    return std::equal(UsableSource.begin(), UsableSource.end(), CalibSource.begin()) &&
           CalibSource[UsableSource.size()] == '\0' && AdjustMarker == UsableMarker;
}

bool TChannelCalibTable::Decode(const uint8_t* data, size_t len, TChannelCalibTable& out) {
    if (data == nullptr || len < Size) return false;
    GetBytes(data, out.CalibSource);
    out.AdjustMarker = data[10];
    out.CalibDate.Length = data[11];
    GetBytes(data + 12, out.CalibDate.Chars);
    const uint8_t* p = data + 22;
    for (auto& coupling : out.ZeroOffsets)
        for (auto& pair : coupling)
            for (auto& v : pair) {
                v = GetU16(p);
                p += 2;
            }
    for (size_t i = 0; i < kRangeCount; ++i)
        out.RangeFactors[i] = GetF32(data + 750 + 4 * i);
    for (size_t i = 0; i < kCapacityCount; ++i)
        out.CapacityFactors[i] = GetF32(data + 854 + 4 * i);
    GetBytes(data + 862, out.Reserved862);
    return true;
}
void TChannelCalibTable::Encode(uint8_t* out) const {
    PutBytes(out, CalibSource);
    out[10] = AdjustMarker;
    out[11] = CalibDate.Length;
    PutBytes(out + 12, CalibDate.Chars);
    uint8_t* p = out + 22;
    for (const auto& coupling : ZeroOffsets)
        for (const auto& pair : coupling)
            for (uint16_t v : pair) {
                PutU16(p, v);
                p += 2;
            }
    for (size_t i = 0; i < kRangeCount; ++i)
        PutF32(out + 750 + 4 * i, RangeFactors[i]);
    for (size_t i = 0; i < kCapacityCount; ++i)
        PutF32(out + 854 + 4 * i, CapacityFactors[i]);
    PutBytes(out + 862, Reserved862);
}

} // namespace qrb::device
