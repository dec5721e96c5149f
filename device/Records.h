#pragma once
// Fixed byte layouts that travel between the amplifier, the transports and the model.
//
// Every record has a byte codec:
//   static bool Decode(const uint8_t* data, size_t len, T& out);
//     reads the first Size bytes; when len < Size it returns false and leaves out untouched
//     (it never reads past len). Extra bytes after Size are ignored.
//   void Encode(uint8_t* out) const;  writes exactly Size bytes.
// Reserved bytes are kept as members, so Decode followed by Encode gives the same bytes.
// Text fields hold 8-bit characters as they are on the device (no conversion here).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qrb::device {

inline constexpr size_t kSlotCount = 8;     // channel slots of one device
inline constexpr size_t kImageWords = 9;    // words of a register image
inline constexpr size_t kMaskWords = 7;     // mask words per mask set (register words 0..6)
inline constexpr size_t kCouplingCount = 7; // coupling codes of a calibration table
inline constexpr size_t kRangeCount = 26;   // range codes of a calibration table
inline constexpr size_t kCapacityCount = 2; // charge capacity codes of a calibration table

// A short string: one length byte, then N character bytes. The length byte and all N bytes
// are kept as stored; Text() clamps the length to N.
template <size_t N> struct TShortString {
    static constexpr size_t Size = N + 1;
    uint8_t Length = 0;
    std::array<char, N> Chars{};

    std::string Text() const { return std::string(Chars.data(), Length < N ? Length : N); }
    // Cuts text to N characters; the bytes after it are zeroed.
    void SetText(std::string_view text) {
        size_t n = text.size() < N ? text.size() : N;
        Chars.fill(0);
        text.copy(Chars.data(), n);
        Length = static_cast<uint8_t>(n);
    }
    bool operator==(const TShortString&) const = default;
};

// Nine words: 0..6 I/O expander outputs, 7 power DAC, 8 offset DAC.
struct TRegisterImage {
    static constexpr size_t Size = 18;
    std::array<uint16_t, kImageWords> Words{};

    static bool Decode(const uint8_t* data, size_t len, TRegisterImage& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TRegisterImage&) const = default;
};

// The model's copy of an image: the register words, a byte never sent, the reported ADC8 low value.
struct TChannelImage {
    static constexpr size_t Size = 20;
    TRegisterImage Image;
    uint8_t Spare = 0;
    uint8_t ADC8LowVal = 0;

    static bool Decode(const uint8_t* data, size_t len, TChannelImage& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TChannelImage&) const = default;
};

struct TDeviceInfo {
    static constexpr size_t Size = 32;
    uint8_t Error = 0;
    uint8_t Parts = 0;
    uint8_t Status = 0;
    uint8_t AvailableChannels = 0;
    uint8_t ActiveChannels = 0;
    uint8_t State = 0;
    std::array<uint8_t, 2> Reserved6{};
    uint16_t FanRpm = 0;
    std::array<uint8_t, 2> Reserved10{};
    uint32_t ClockHz = 0;
    float Supply12V = 0;
    float Tst = 0;
    float Supply5V = 0;
    uint32_t LockState = 0;

    bool IsLocked() const { return LockState == 1; }

    static bool Decode(const uint8_t* data, size_t len, TDeviceInfo& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TDeviceInfo&) const = default;
};

// A channel's description kept in its flash.
struct TChannelInfo {
    static constexpr size_t Size = 124;
    uint8_t Version = 0;
    std::array<uint8_t, 7> Reserved1{};
    uint8_t ADC8StatVal = 0;
    uint8_t ADC8LowVal = 0;
    uint16_t Serial = 0;
    uint8_t Features = 0;
    std::array<uint8_t, 1> Reserved13{};
    TRegisterImage Defaults;
    TRegisterImage Stored;
    std::array<uint16_t, kMaskWords> MaskI{};
    std::array<uint16_t, kMaskWords> MaskO{};
    std::array<uint16_t, kMaskWords> MaskIO{};
    std::array<uint16_t, kMaskWords> MaskP{};
    std::array<uint16_t, kMaskWords> MaskDirty{};
    uint8_t FilterType = 0;
    std::array<uint8_t, 3> Reserved121{};

    static bool Decode(const uint8_t* data, size_t len, TChannelInfo& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TChannelInfo&) const = default;
};

struct TChannelInfoSlot {
    static constexpr size_t Size = 152;
    uint8_t Present = 0;
    uint8_t Fitted = 0;
    uint8_t ADC8Status = 0;
    uint8_t ADC8LowVal = 0;
    uint8_t SlotFlag = 0;
    uint8_t HasADC18 = 0;
    TRegisterImage Current;
    uint8_t HasCalibTable = 0;
    std::array<uint8_t, 3> Reserved25{};
    TChannelInfo Info;

    static bool Decode(const uint8_t* data, size_t len, TChannelInfoSlot& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TChannelInfoSlot&) const = default;
};

// The answer of GetChannelInfo: eight slots, slot 0 first.
struct TChannelInfoBlock {
    static constexpr size_t Size = kSlotCount * TChannelInfoSlot::Size; // 1216
    std::array<TChannelInfoSlot, kSlotCount> Slots{};

    static bool Decode(const uint8_t* data, size_t len, TChannelInfoBlock& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TChannelInfoBlock&) const = default;
};

// One slot's DC/DC converter; Series and Serial sit at odd offsets 1 and 3.
struct TDCDCEntry {
    static constexpr size_t Size = 8;
    uint8_t Present = 0;
    uint16_t Series = 0;
    uint16_t Serial = 0;
    std::array<uint8_t, 3> Reserved5{};

    static bool Decode(const uint8_t* data, size_t len, TDCDCEntry& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TDCDCEntry&) const = default;
};

struct TDCDCInfo {
    static constexpr size_t Size = kSlotCount * TDCDCEntry::Size; // 64
    std::array<TDCDCEntry, kSlotCount> Entries{};

    static bool Decode(const uint8_t* data, size_t len, TDCDCInfo& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TDCDCInfo&) const = default;
};

// One status byte per slot; a set bit signals the condition.
struct TDeviceADC8 {
    static constexpr size_t Size = kSlotCount;
    std::array<uint8_t, kSlotCount> Status{};

    static bool Decode(const uint8_t* data, size_t len, TDeviceADC8& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TDeviceADC8&) const = default;
};

// A notification a LAN device sends on its own; IRQWord and ChannelStatus are active low.
struct TIRQMessage {
    static constexpr size_t Size = 16;
    static constexpr uint32_t MagicValue = 0xFACEFACE;
    uint32_t Magic = 0;
    uint16_t IRQWord = 0;
    std::array<uint8_t, kSlotCount> ChannelStatus{};
    std::array<uint8_t, 2> Reserved14{};

    static bool Decode(const uint8_t* data, size_t len, TIRQMessage& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TIRQMessage&) const = default;
};

// Controller firmware version, most significant component first.
struct TFWVersion {
    static constexpr size_t Size = 16;
    std::array<int32_t, 4> Components{};

    static bool Decode(const uint8_t* data, size_t len, TFWVersion& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TFWVersion&) const = default;
};

struct TFlashDate {
    static constexpr size_t Size = 4;
    uint8_t Day = 0;
    uint8_t Month = 0;
    uint16_t Year = 0;

    static bool Decode(const uint8_t* data, size_t len, TFlashDate& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TFlashDate&) const = default;
};

// The device record in the master flash.
struct TMasterFlash {
    static constexpr size_t Size = 68;
    static constexpr std::string_view MagicText = "QRB24_ONDRIX_V20"; // 16 characters, no terminator
    std::array<char, 16> Magic{};
    std::array<uint8_t, 2> Reserved16{};
    uint32_t HardwareSeries = 0;
    uint32_t HardwareSerial = 0;
    uint32_t BackboneSeries = 0;
    uint32_t BackboneSerial = 0;
    TFlashDate ControlledDate;
    TFlashDate MastertestDate;
    TFlashDate CalibrationDate;
    std::array<uint8_t, 6> Reserved46{};
    uint32_t HWStartLock = 0;
    uint32_t DeviceSeries = 0;
    uint32_t DeviceSerial = 0;
    std::array<uint8_t, 4> Reserved64{};

    // The 16 magic bytes equal MagicText.
    bool IsMagicValid() const;
    void SetMagic();

    static bool Decode(const uint8_t* data, size_t len, TMasterFlash& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TMasterFlash&) const = default;
};

// A channel's calibration table.
struct TChannelCalibTable {
    static constexpr size_t Size = 866;
    static constexpr std::string_view UsableSource = "QRBCAL730";
    static constexpr uint8_t UsableMarker = 174;
    using TOffsetPair = std::array<uint16_t, 2>; // offset relay off, on

    std::array<char, 10> CalibSource{}; // text up to the first NUL
    uint8_t AdjustMarker = 0;
    TShortString<10> CalibDate; // length byte at 11, "yyyy-mm-dd" at 12
    std::array<std::array<TOffsetPair, kRangeCount>, kCouplingCount> ZeroOffsets{};
    std::array<float, kRangeCount> RangeFactors{};
    std::array<float, kCapacityCount> CapacityFactors{};
    std::array<uint8_t, 4> Reserved862{};

    // The characters of CalibSource before the first NUL (all ten when there is none).
    std::string Source() const;
    // Cuts text to ten bytes; the rest of the field is NUL.
    void SetSource(std::string_view text);
    // The one test every reader applies: "QRBCAL730" ended by a NUL, and marker 174.
    bool IsUsable() const;

    static bool Decode(const uint8_t* data, size_t len, TChannelCalibTable& out);
    void Encode(uint8_t* out) const;
    bool operator==(const TChannelCalibTable&) const = default;
};

// Encodes a record into a fresh byte array.
template <class T> std::array<uint8_t, T::Size> ToBytes(const T& record) {
    std::array<uint8_t, T::Size> bytes{};
    record.Encode(bytes.data());
    return bytes;
}

} // namespace qrb::device
