#pragma once
// The chips of a simulated amplifier, byte for byte: I/O expanders, the DAC, the flashes, the
// DC/DC regulator and the fan controller, grouped into a device, its channel groups and channels.

#include "device/HWVocabulary.h"
#include "device/sim/SimChip.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

inline constexpr size_t kSimFlashSize = 65536;
inline constexpr size_t kSimSequenceSize = 1024;
inline constexpr size_t kMasterFlashImageSize = 68;

// MAX7312 I/O expander. Writes name a register and, with a third byte, its partner; after every
// write the inputs mirror the outputs.
class TSimIOExpander : public TSimChip {
public:
    enum Reg : uint8_t {
        rInput1 = 0,
        rInput2 = 1,
        rOutput1 = 2,
        rOutput2 = 3,
        rPolarity1 = 4,
        rPolarity2 = 5,
        rConfig1 = 6,
        rConfig2 = 7,
        rTimeout = 8,
    };
    static constexpr size_t kRegisterCount = 9;

    void Write(std::span<const uint8_t> data) override;
    // Two bytes: input port 2 XOR configuration 2, then input port 1 XOR configuration 1.
    size_t Read(std::span<uint8_t> out) override;

    uint8_t Register(Reg r) const { return regs_[r]; }

private:
    std::array<uint8_t, kRegisterCount> regs_{};
};

// AD5405 DAC, driven through output port 2 (register 3) of the expander at 0x24.
class TSimDAC : public TSimChip {
public:
    void Write(std::span<const uint8_t> data) override;
    // Two bytes of the selected value, high byte first; nothing when none is selected.
    size_t Read(std::span<uint8_t> out) override;

    uint16_t DACA() const { return dacA_; }
    uint16_t DACB() const { return dacB_; }
    // 1 = A, 2 = B, anything else = none.
    uint8_t DACSelect() const { return select_; }

private:
    uint16_t dacA_ = 0;
    uint16_t dacB_ = 0;
    uint8_t select_ = 0;
};

// One 64 KB EEPROM window. The pointer may be shared with another window (the two halves of
// the channel flash); addresses wrap within the window.
class TSimFlash : public TSimChip {
public:
    TSimFlash(std::span<uint8_t, kSimFlashSize> cells, uint16_t& pointer, bool readAdvances);

    // Bytes 0, 1: address, high byte first; the rest stored from that address.
    void Write(std::span<const uint8_t> data) override;
    size_t Read(std::span<uint8_t> out) override;

private:
    std::span<uint8_t, kSimFlashSize> cells_;
    uint16_t& pointer_;
    bool readAdvances_;
};

// A chip with a register pointer and a fixed set of one-byte registers (DS1094L, MAX6650).
// Byte 0 of a write always sets the pointer; byte 1 is stored when the register exists.
class TSimRegisterChip : public TSimChip {
public:
    struct TRegister {
        uint8_t Number;
        uint8_t Initial;
    };

    TSimRegisterChip(std::span<const TRegister> registers, uint8_t initialPointer);

    void Write(std::span<const uint8_t> data) override;
    // One byte: the register at the pointer; nothing when there is no such register.
    size_t Read(std::span<uint8_t> out) override;

    uint8_t Pointer() const { return pointer_; }
    // The register's value; 0 for a register the chip does not have.
    uint8_t Register(uint8_t number) const;

private:
    uint8_t* Find(uint8_t number);

    std::vector<TRegister> regs_; // Initial holds the current value once created
    uint8_t pointer_;
};

// One simulated channel: eight I/O expanders, the DAC and the 128 KB channel flash.
class TI2CVirtualChannel {
public:
    static constexpr std::array<uint8_t, 8> kExpanderAddresses = {
        ChipAddress(TChipIndex::Expander0), ChipAddress(TChipIndex::Expander1),
        ChipAddress(TChipIndex::Expander2), ChipAddress(TChipIndex::Expander3),
        ChipAddress(TChipIndex::Expander4), ChipAddress(TChipIndex::Expander5),
        ChipAddress(TChipIndex::Expander8), ChipAddress(TChipIndex::Expander9),
    };
    static constexpr uint8_t kDACAddress = ChipAddress(TChipIndex::DACExpander);
    static constexpr uint8_t kFlashLowAddress = ChipAddress(TChipIndex::ChannelFlashLow);
    static constexpr uint8_t kFlashHighAddress = ChipAddress(TChipIndex::ChannelFlashHigh);

    TI2CVirtualChannel(std::string name, int32_t device, int32_t index);
    TI2CVirtualChannel(const TI2CVirtualChannel&) = delete;
    TI2CVirtualChannel& operator=(const TI2CVirtualChannel&) = delete;

    const std::string& Name() const { return name_; }
    int32_t Index() const { return index_; }
    int32_t Device() const { return device_; }
    int32_t Group() const { return index_ / 8; }
    int32_t Slot() const { return index_ % 8; }

    // The chip of this channel at the address, or null.
    TSimChip* Chip(uint8_t address);
    // The expander at the address, or null.
    TSimIOExpander* Expander(uint8_t address);
    TSimDAC& DAC() { return dac_; }
    uint16_t FlashPointer() const { return flashPointer_; }
    // 0x56 half first, then 0x57.
    std::span<const uint8_t> Flash() const { return flash_; }

    // Runs built-in sequence seqId ('A'..'E'; others do nothing) with the data bytes into the
    // answer, which the caller has zeroed. Pause(ms) waits between steps of sequence 'B'.
    void RunSequence(uint8_t seqId, std::span<const uint8_t, kSimSequenceSize> data,
                     std::span<uint8_t, kSimSequenceSize> answer, const std::function<void(int)>& pause);

private:
    void SetOutputs(size_t k, uint8_t first, uint8_t second);
    void SetConfiguration(size_t k, uint8_t first, uint8_t second);
    void ReadBack(size_t k, std::span<uint8_t, kSimSequenceSize> answer, size_t at);
    void SequenceC(std::span<const uint8_t, kSimSequenceSize> data);
    void AddressPairs(std::span<uint8_t, kSimSequenceSize> answer);

    std::string name_;
    int32_t device_;
    int32_t index_;
    std::array<TSimIOExpander, kExpanderAddresses.size()> expanders_{};
    TSimDAC dac_;
    std::vector<uint8_t> flash_;
    uint16_t flashPointer_ = 0;
    TSimFlash flashLow_;
    TSimFlash flashHigh_;
};

// One simulated group of eight channels: DC/DC regulator and fan controller.
class TI2CVirtualChannelGroup {
public:
    static constexpr uint8_t kFanAddress = ChipAddress(TChipIndex::Fan);
    static constexpr uint8_t kRegulatorAddress = ChipAddress(TChipIndex::DCDC);

    TI2CVirtualChannelGroup(std::string name, int32_t device, int32_t group);
    TI2CVirtualChannelGroup(const TI2CVirtualChannelGroup&) = delete;
    TI2CVirtualChannelGroup& operator=(const TI2CVirtualChannelGroup&) = delete;

    const std::string& Name() const { return name_; }
    int32_t Device() const { return device_; }
    int32_t Group() const { return group_; }

    TSimChip* Chip(uint8_t address);
    TSimRegisterChip& Regulator() { return regulator_; }
    TSimRegisterChip& Fan() { return fan_; }

private:
    std::string name_;
    int32_t device_;
    int32_t group_;
    TSimRegisterChip regulator_;
    TSimRegisterChip fan_;
};

// One simulated device: its address list, the 64 KB master flash and the master-flash image.
class TI2CVirtualMaster {
public:
    static constexpr uint8_t kMasterFlashAddress = ChipAddress(TChipIndex::MasterFlash);
    static constexpr int32_t kInitialSCL = 200000;

    TI2CVirtualMaster(std::string name, int32_t channels, int32_t version, int32_t index);
    TI2CVirtualMaster(const TI2CVirtualMaster&) = delete;
    TI2CVirtualMaster& operator=(const TI2CVirtualMaster&) = delete;

    int32_t Index() const { return index_; }
    const std::string& Name() const { return name_; }
    int32_t Channels() const { return channels_; }
    int32_t Version() const { return version_; }
    // The decimal addresses the device answers, joined by commas.
    const std::string& AddressList() const { return addressList_; }

    int32_t SCL = kInitialSCL;
    int32_t FanSpeed = 0;
    // The record answered by GetMasterflash, little-endian.
    std::array<uint8_t, kMasterFlashImageSize> Image{};

    TSimChip& MasterFlash() { return masterFlash_; }
    uint16_t FlashPointer() const { return flashPointer_; }
    std::span<const uint8_t> Flash() const { return flash_; }

private:
    int32_t index_;
    std::string name_;
    int32_t channels_;
    int32_t version_;
    std::string addressList_;
    std::vector<uint8_t> flash_;
    uint16_t flashPointer_ = 0;
    TSimFlash masterFlash_;
};

} // namespace qrb::device
