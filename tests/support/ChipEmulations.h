#pragma once
// Byte-level emulations of the channel-board chips the sensor code talks to: the DS2482 1-Wire
// bridge with its line, the 18-bit ADC, the 12-bit ADC and the 8-bit status ADC. They are
// TSimChip models, so they plug into the simulated transport's scripted peer
// (TScriptedI2CPeer::Attach), into the fake LAN amplifier (TFakeLanAmplifier::SetChip) or into
// any other test transport. Every member is safe to call from any thread; a callback the test
// hands in runs under the chip's lock and must not call back into the transport that drives it.

#include "device/Records.h"
#include "device/sim/SimChip.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace qrb::test {

// A chip whose behaviour follows the channel's register image. A transport that stores the
// image of a channel write (per slot) hands it to every such chip of that slot.
class TChannelImageSink {
public:
    virtual ~TChannelImageSink() = default;
    virtual void ImageStored(const device::TRegisterImage& image) = 0;
};

// Hands image to chip when it follows the image.
void NotifyImageStored(device::TSimChip* chip, const device::TRegisterImage& image);

using TRomNumber = std::array<uint8_t, 8>;

// The ROM number with family code, six serial bytes (serial[0] first) and the matching CRC.
TRomNumber MakeRom(uint8_t family, std::array<uint8_t, 6> serial);

// DS2482-100 at 0x18: status, read-data and configuration registers under a read pointer, the
// commands Device Reset (F0), Write Configuration (D2 [c]), Set Read Pointer (E1 p), 1-Wire Reset
// (B4), Write Byte (A5 b) and Triplet (78 d), and the 1-Wire line behind it: empty, shorted or
// holding devices that take part in a Search ROM (F0) as 1-Wire slaves do.
class TDS2482Emulation : public device::TSimChip, public TChannelImageSink {
public:
    static constexpr uint8_t kBusy = 0x01;
    static constexpr uint8_t kPresence = 0x02;
    static constexpr uint8_t kShort = 0x04;
    static constexpr uint8_t kLogicLevel = 0x08;
    static constexpr uint8_t kDeviceReset = 0x10;
    static constexpr uint8_t kSingleBit = 0x20;
    static constexpr uint8_t kTripletSecond = 0x40;
    static constexpr uint8_t kBranchDirection = 0x80;

    // The devices on the line (an empty list: nobody answers).
    void SetRoms(std::vector<TRomNumber> roms);
    void SetShorted(bool shorted);
    // Whether the line reaches the bridge under the channel's image (the wiring of the
    // identification wires); without a predicate it always does.
    void SetWiring(std::function<bool(const device::TRegisterImage&)> connected);
    // Status reads after each 1-Wire command that still show the busy bit (default 1).
    void SetBusyReads(int reads);
    // Busy for ever after each 1-Wire command.
    void SetStuckBusy(bool stuck);
    // The status a Device Reset leaves (default 0x18: reset done, line high).
    void SetResetStatus(uint8_t status);
    // What a read of the configuration register gives, instead of the configuration.
    void SetConfigReadback(std::optional<uint8_t> value);

    // Commands received, one entry per write (the bytes as written).
    std::vector<std::vector<uint8_t>> Commands() const;
    // 1-Wire bytes written on the line with A5.
    std::vector<uint8_t> LineBytes() const;
    int ResetCount() const;  // Device Reset commands
    int SearchCount() const; // Search ROM commands that reached connected devices
    uint8_t Configuration() const;

    void Write(std::span<const uint8_t> data) override;
    size_t Read(std::span<uint8_t> out) override;
    void ImageStored(const device::TRegisterImage& image) override;

private:
    enum class TLineState { Idle, RomCommand, Search };
    enum class TPointer { Status, Data, Config };

    bool Connected() const;
    void StartBusy();
    uint8_t StatusRead();

    mutable std::mutex mutex_;
    std::vector<TRomNumber> roms_;
    bool shorted_ = false;
    std::function<bool(const device::TRegisterImage&)> wiring_;
    device::TRegisterImage image_;
    int busyReads_ = 1;
    bool stuckBusy_ = false;
    uint8_t resetStatus_ = kDeviceReset | kLogicLevel;
    std::optional<uint8_t> configReadback_;

    uint8_t status_ = kDeviceReset | kLogicLevel;
    uint8_t config_ = 0;
    uint8_t readData_ = 0;
    TPointer pointer_ = TPointer::Status;
    int busyLeft_ = 0;
    TLineState line_ = TLineState::Idle;
    std::vector<bool> taking_; // per ROM: still in the search
    int searchBit_ = 0;

    std::vector<std::vector<uint8_t>> commands_;
    std::vector<uint8_t> lineBytes_;
    int resets_ = 0;
    int searches_ = 0;
};

// What the 18-bit ADC sees of the channel.
struct TAnalogInputs {
    uint16_t OffsetDAC = 2048;
    bool OffsetOn = false; // the offset relay
    bool ZeroInput = true; // 1: the signal reaches the converter; 0: the zero reference
};

// MCP3421 at 0x68. A write of a configuration byte with bit 0x80 set starts a one-shot
// conversion, which samples its input when it completes (the first ready read); a read gives the value
// (18-bit two's complement, b0 holding bits 17..16 and the sign extension) and the configuration byte, whose
// bit 0x80 stays set until the conversion is ready. The value follows the channel: the zero reference while
// the zero input is 0, else Signal - gain * (OffsetDAC - 2048) with the fine gain (offset relay off) or the
// coarse gain (relay on): raising the offset DAC lowers the reading, by 0.6 counts per DAC step with the
// relay off and 58.3 with it on, which is what the autozero loops assume.
class TADC18Emulation : public device::TSimChip, public TChannelImageSink {
public:
    static constexpr double kFineGain = 0.6;
    static constexpr double kCoarseGain = 58.3;
    static constexpr int32_t kMin = -131072;
    static constexpr int32_t kMax = 131071;

    // Encodes an 18-bit value as the converter's three data bytes.
    static std::array<uint8_t, 3> EncodeValue(int32_t value);

    void SetZeroReference(int32_t value);
    void SetSignal(int32_t value);
    void SetGains(double fine, double coarse);
    // The inputs used until an image arrives (or when no decoder is set).
    void SetInputs(const TAnalogInputs& inputs);
    // Turns a stored channel image into the inputs.
    void SetImageDecoder(std::function<TAnalogInputs(const device::TRegisterImage&)> decoder);
    // Replaces the model of the reading.
    void SetValueSource(std::function<int32_t(const TAnalogInputs&)> source);
    // Reads after a start that still show "not ready" (default 0: the first read is ready).
    void SetNotReadyReads(int reads);
    void SetNeverReady(bool never);

    int Conversions() const;
    int Reads() const;
    TAnalogInputs Inputs() const;
    // The reading a conversion would give now.
    int32_t Reading() const;

    void Write(std::span<const uint8_t> data) override;
    size_t Read(std::span<uint8_t> out) override;
    void ImageStored(const device::TRegisterImage& image) override;

private:
    int32_t ReadingLocked() const;

    mutable std::mutex mutex_;
    int32_t zeroReference_ = 0;
    int32_t signal_ = 0;
    double fineGain_ = kFineGain;
    double coarseGain_ = kCoarseGain;
    TAnalogInputs inputs_;
    std::function<TAnalogInputs(const device::TRegisterImage&)> decoder_;
    std::function<int32_t(const TAnalogInputs&)> source_;
    int notReadyReads_ = 0;
    bool neverReady_ = false;

    uint8_t config_ = 0x10; // 12-bit continuous, as after power-up
    int32_t value_ = 0;
    bool converted_ = false;
    bool latched_ = false;
    int notReadyLeft_ = 0;
    int conversions_ = 0;
    int reads_ = 0;
};

// The 12-bit ADC at 0x51: a write sets the register pointer; a read gives the value, high byte
// first.
class TADC12Emulation : public device::TSimChip, public TChannelImageSink {
public:
    void SetValue(uint16_t value);
    // The value as a function of the last stored image (nullopt before one arrives).
    void SetValueSource(std::function<uint16_t(const std::optional<device::TRegisterImage>&)> source);

    std::vector<uint8_t> Pointers() const; // every pointer written
    int Reads() const;

    void Write(std::span<const uint8_t> data) override;
    size_t Read(std::span<uint8_t> out) override;
    void ImageStored(const device::TRegisterImage& image) override;

private:
    mutable std::mutex mutex_;
    uint16_t value_ = 0;
    std::function<uint16_t(const std::optional<device::TRegisterImage>&)> source_;
    std::optional<device::TRegisterImage> image_;
    std::vector<uint8_t> pointers_;
    int reads_ = 0;
};

// The 8-bit status ADC at 0x54: register 0 the conversion result, register 6 the lowest result
// since its last reset, both 16-bit with the 8-bit status (active low) in bits 11..4. A write of
// one byte sets the pointer; "06 hh ll" also sets the lowest register (the reset writes 0x0FF0).
// Every read of register 0 folds the result into the lowest register (AND).
class TADC8Emulation : public device::TSimChip {
public:
    // The status byte as the converter reads it (a cleared bit: the condition is present).
    void SetStatus(uint8_t status);
    // A condition seen since the last reset: lowest := lowest AND (status << 4).
    void Latch(uint8_t status);

    uint16_t Lowest() const;
    std::vector<std::vector<uint8_t>> Writes() const;

    void Write(std::span<const uint8_t> data) override;
    size_t Read(std::span<uint8_t> out) override;

private:
    mutable std::mutex mutex_;
    uint16_t result_ = 0x0FF0;
    uint16_t lowest_ = 0x0FF0;
    uint8_t pointer_ = 0;
    std::vector<std::vector<uint8_t>> writes_;
};

} // namespace qrb::test
