#include "device/sim/SimChips.h"

#include "device/HWVocabulary.h"

#include <algorithm>
#include <cstring>

namespace qrb::device {

namespace {

constexpr uint8_t kNone = 0xFF;

// Expander write by register: the register the first value goes to and the one the second
// value (third byte) goes to.
struct TExpanderPair {
    uint8_t First;
    uint8_t Second;
};
constexpr std::array<TExpanderPair, TSimIOExpander::kRegisterCount> kExpanderPairs = {{
    {kNone, kNone},                                           // 0 input port 1
    {kNone, kNone},                                           // 1 input port 2
    {TSimIOExpander::rOutput1, TSimIOExpander::rOutput2},     // 2
    {TSimIOExpander::rOutput2, TSimIOExpander::rOutput1},     // 3
    {TSimIOExpander::rPolarity1, TSimIOExpander::rPolarity2}, // 4
    {TSimIOExpander::rPolarity2, TSimIOExpander::rPolarity1}, // 5
    {TSimIOExpander::rConfig1, TSimIOExpander::rConfig2},     // 6
    {TSimIOExpander::rConfig2, TSimIOExpander::rConfig1},     // 7
    {TSimIOExpander::rTimeout, kNone},                        // 8
}};

// DAC commands in the high nibble of the byte after register 3.
constexpr uint8_t kDACSelectA = 0x20;
constexpr uint8_t kDACSelectB = 0x30;
constexpr uint8_t kDACWriteA = 0x40;
constexpr uint8_t kDACWriteB = 0x50;

constexpr std::array<TSimRegisterChip::TRegister, 3> kDS1094LRegisters = {{
    {2, 0xCD},
    {8, 0xF0},
    {13, 0xF0},
}};

constexpr std::array<TSimRegisterChip::TRegister, 9> kMAX6650Registers = {{
    {0x00, 0},    // speed
    {0x02, 0x0A}, // configuration
    {0x04, 0xFF}, // GPIO definition
    {0x06, 0},    // DAC
    {0x08, 0},    // alarm enable
    {0x0A, 0},    // alarm
    {0x0C, 0},    // tachometer 0
    {0x14, 0x1F}, // GPIO status
    {0x16, 2},    // count
}};

constexpr uint8_t kRegisterChipInitialPointer = 2;

// Addresses a simulated device answers in its I2C scan, by hardware version.
constexpr std::string_view kAddressListV1 = "24,32,33,34,37,42,36,43,44,35,84,81,86,87,88,112,113,114";
constexpr std::string_view kAddressListV2 =
    "24,32,33,34,37,38,42,36,43,44,35,84,81,86,87,88,112,113,114,27,82,83,80,54";

// The expanders the sequences drive, E0..E5.
constexpr std::array<uint8_t, 6> kSequenceExpanders = {
    ChipAddress(TChipIndex::Expander0), ChipAddress(TChipIndex::Expander1),
    ChipAddress(TChipIndex::Expander2), ChipAddress(TChipIndex::Expander3),
    ChipAddress(TChipIndex::Expander4), ChipAddress(TChipIndex::Expander5),
};

void PutU16(std::span<uint8_t> out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::span<uint8_t> out, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Two bytes of a value, high byte first, cut to what the read asks for.
size_t DeliverBigEndian(std::span<uint8_t> out, uint8_t high, uint8_t low) {
    const uint8_t bytes[2] = {high, low};
    const size_t n = std::min<size_t>(out.size(), 2);
    std::copy_n(bytes, n, out.begin());
    return n;
}

} // namespace

// --- TSimIOExpander ---

void TSimIOExpander::Write(std::span<const uint8_t> data) {
    const TSimWriteBuffer b(data);
    const uint8_t r = b[0];
    if (r < kRegisterCount) {
        const TExpanderPair pair = kExpanderPairs[r];
        if (pair.First != kNone) regs_[pair.First] = b[1];
        if (pair.Second != kNone && b.Len() > 2) regs_[pair.Second] = b[2];
    }
    regs_[rInput1] = regs_[rOutput1];
    regs_[rInput2] = regs_[rOutput2];
}

size_t TSimIOExpander::Read(std::span<uint8_t> out) {
    return DeliverBigEndian(out, regs_[rInput2] ^ regs_[rConfig2], regs_[rInput1] ^ regs_[rConfig1]);
}

// --- TSimDAC ---

void TSimDAC::Write(std::span<const uint8_t> data) {
    const TSimWriteBuffer b(data);
    if (b[0] != TSimIOExpander::rOutput2) return;
    const uint8_t command = b[1] & 0xF0;
    const uint16_t value = static_cast<uint16_t>((b[1] & 0x0F) << 8 | b[2]);
    switch (command) {
    case kDACSelectA:
        select_ = 1;
        break;
    case kDACSelectB:
        select_ = 2;
        break;
    case kDACWriteA:
        dacA_ = value;
        break;
    case kDACWriteB:
        dacB_ = value;
        break;
    default:
        break;
    }
}

size_t TSimDAC::Read(std::span<uint8_t> out) {
    uint16_t value;
    if (select_ == 1)
        value = dacA_;
    else if (select_ == 2)
        value = dacB_;
    else
        return 0;
    return DeliverBigEndian(out, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value));
}

// --- TSimFlash ---

TSimFlash::TSimFlash(std::span<uint8_t, kSimFlashSize> cells, uint16_t& pointer, bool readAdvances)
    : cells_(cells), pointer_(pointer), readAdvances_(readAdvances) {}

void TSimFlash::Write(std::span<const uint8_t> data) {
    const TSimWriteBuffer b(data);
    pointer_ = static_cast<uint16_t>(b[0] << 8 | b[1]);
    // The address wraps within the 64 KB window; the pointer itself stays at the start.
    for (size_t i = 2; i < b.Len(); ++i)
        cells_[(pointer_ + i - 2) % kSimFlashSize] = b[i];
}

size_t TSimFlash::Read(std::span<uint8_t> out) {
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = cells_[(pointer_ + i) % kSimFlashSize];
    if (readAdvances_) pointer_ = static_cast<uint16_t>((pointer_ + out.size()) % kSimFlashSize);
    return out.size();
}

// --- TSimRegisterChip ---

TSimRegisterChip::TSimRegisterChip(std::span<const TRegister> registers, uint8_t initialPointer)
    : regs_(registers.begin(), registers.end()), pointer_(initialPointer) {}

uint8_t* TSimRegisterChip::Find(uint8_t number) {
    for (auto& r : regs_)
        if (r.Number == number) return &r.Initial;
    return nullptr;
}

uint8_t TSimRegisterChip::Register(uint8_t number) const {
    for (const auto& r : regs_)
        if (r.Number == number) return r.Initial;
    return 0;
}

void TSimRegisterChip::Write(std::span<const uint8_t> data) {
    const TSimWriteBuffer b(data);
    pointer_ = b[0];
    if (b.Len() > 1)
        if (uint8_t* reg = Find(pointer_)) *reg = b[1];
}

size_t TSimRegisterChip::Read(std::span<uint8_t> out) {
    const uint8_t* reg = Find(pointer_);
    if (reg == nullptr || out.empty()) return 0;
    out[0] = *reg;
    return 1;
}

// --- TI2CVirtualChannel ---

TI2CVirtualChannel::TI2CVirtualChannel(std::string name, int32_t device, int32_t index)
    : name_(std::move(name)), device_(device), index_(index), flash_(2 * kSimFlashSize, 0),
      flashLow_(std::span<uint8_t, kSimFlashSize>(flash_.data(), kSimFlashSize), flashPointer_, false),
      flashHigh_(std::span<uint8_t, kSimFlashSize>(flash_.data() + kSimFlashSize, kSimFlashSize),
                 flashPointer_, false) {}

TSimIOExpander* TI2CVirtualChannel::Expander(uint8_t address) {
    for (size_t i = 0; i < kExpanderAddresses.size(); ++i)
        if (kExpanderAddresses[i] == address) return &expanders_[i];
    return nullptr;
}

TSimChip* TI2CVirtualChannel::Chip(uint8_t address) {
    if (TSimIOExpander* e = Expander(address)) return e;
    switch (address) {
    case kDACAddress:
        return &dac_;
    case kFlashLowAddress:
        return &flashLow_;
    case kFlashHighAddress:
        return &flashHigh_;
    default:
        return nullptr;
    }
}

void TI2CVirtualChannel::SetOutputs(size_t k, uint8_t first, uint8_t second) {
    const uint8_t bytes[3] = {TSimIOExpander::rOutput2, first, second};
    Expander(kSequenceExpanders[k])->Write(bytes);
}

void TI2CVirtualChannel::SetConfiguration(size_t k, uint8_t first, uint8_t second) {
    const uint8_t bytes[3] = {TSimIOExpander::rConfig2, first, second};
    Expander(kSequenceExpanders[k])->Write(bytes);
}

void TI2CVirtualChannel::ReadBack(size_t k, std::span<uint8_t, kSimSequenceSize> answer, size_t at) {
    Expander(kSequenceExpanders[k])->Read(answer.subspan(at, 2));
}

void TI2CVirtualChannel::SequenceC(std::span<const uint8_t, kSimSequenceSize> data) {
    for (size_t k = 0; k < kSequenceExpanders.size(); ++k)
        SetOutputs(k, data[2 * k], data[2 * k + 1]);
    for (size_t k = 0; k < kSequenceExpanders.size(); ++k)
        SetConfiguration(k, data[12 + 2 * k], data[13 + 2 * k]);
}

void TI2CVirtualChannel::AddressPairs(std::span<uint8_t, kSimSequenceSize> answer) {
    for (size_t k = 0; k < kSequenceExpanders.size(); ++k) {
        for (size_t base : {size_t{0}, size_t{12}, size_t{48}}) {
            answer[base + 2 * k] = kSequenceExpanders[k];
            answer[base + 2 * k + 1] = 1;
        }
    }
}

void TI2CVirtualChannel::RunSequence(uint8_t seqId, std::span<const uint8_t, kSimSequenceSize> data,
                                     std::span<uint8_t, kSimSequenceSize> answer,
                                     const std::function<void(int)>& pause) {
    const size_t n = kSequenceExpanders.size();
    switch (seqId) {
    case 'C':
        SequenceC(data);
        break;
    case 'A':
        SequenceC(data);
        AddressPairs(answer);
        for (size_t k = 0; k < n; ++k)
            ReadBack(k, answer, 26 + 4 * k);
        for (size_t k = 0; k < n; ++k)
            SetOutputs(k, data[24 + 2 * k], data[25 + 2 * k]);
        for (size_t k = 0; k < n; ++k)
            ReadBack(k, answer, 62 + 4 * k);
        break;
    case 'B':
        SequenceC(data);
        AddressPairs(answer);
        if (pause) pause(data[36]);
        for (size_t k = 0; k < n; ++k)
            ReadBack(k, answer, 26 + 4 * k);
        if (pause) pause(data[37]);
        for (size_t k = 0; k < n; ++k)
            SetConfiguration(k, data[24 + 2 * k], data[25 + 2 * k]);
        break;
    case 'D': {
        const uint8_t a[3] = {TSimIOExpander::rOutput2, static_cast<uint8_t>(kDACWriteA | (data[0] & 15)),
                              data[1]};
        const uint8_t b[3] = {TSimIOExpander::rOutput2, static_cast<uint8_t>(kDACWriteB | (data[16] & 15)),
                              data[17]};
        dac_.Write(a);
        dac_.Write(b);
        for (size_t i = 0; i < 14; i += 2) {
            answer[i] = kDACAddress;
            answer[i + 1] = 1;
        }
        answer[16] = data[0] & 15;
        answer[17] = data[1];
        for (size_t i = 18; i < 34; i += 2) {
            answer[i] = kDACAddress;
            answer[i + 1] = 1;
        }
        answer[36] = data[16] & 15;
        answer[37] = data[17];
        answer[38] = kDACAddress;
        answer[39] = 1;
        break;
    }
    case 'E':
        std::fill(answer.begin(), answer.end(), uint8_t{1});
        break;
    default:
        break;
    }
}

// --- TI2CVirtualChannelGroup ---

TI2CVirtualChannelGroup::TI2CVirtualChannelGroup(std::string name, int32_t device, int32_t group)
    : name_(std::move(name)), device_(device), group_(group),
      regulator_(kDS1094LRegisters, kRegisterChipInitialPointer),
      fan_(kMAX6650Registers, kRegisterChipInitialPointer) {}

TSimChip* TI2CVirtualChannelGroup::Chip(uint8_t address) {
    switch (address) {
    case kFanAddress:
        return &fan_;
    case kRegulatorAddress:
        return &regulator_;
    default:
        return nullptr;
    }
}

// --- TI2CVirtualMaster ---

TI2CVirtualMaster::TI2CVirtualMaster(std::string name, int32_t channels, int32_t version, int32_t index)
    : index_(index), name_(std::move(name)), channels_(channels), version_(version),
      addressList_(version == 1 ? kAddressListV1 : kAddressListV2), flash_(kSimFlashSize, 0),
      masterFlash_(std::span<uint8_t, kSimFlashSize>(flash_.data(), kSimFlashSize), flashPointer_, true) {
    const uint32_t serial = 0xFF00u + 8u * static_cast<uint32_t>(index);
    std::memcpy(Image.data(), kMasterFlashMagic.data(), kMasterFlashMagic.size());
    PutU16(Image, 16, 8);
    PutU32(Image, 18, 3);
    PutU32(Image, 22, serial);
    PutU32(Image, 26, 3);
    PutU32(Image, 30, serial);
    for (size_t date : {34, 38, 42, 46}) {
        Image[date] = 1;
        Image[date + 1] = 1;
        PutU16(Image, date + 2, 2010);
    }
    Image[50] = 10;
    Image[51] = 226;
    PutU32(Image, 52, 0);
    PutU32(Image, 56, 3);
    PutU32(Image, 60, static_cast<uint32_t>(index) + 990u);
    PutU32(Image, 64, 0);
}

} // namespace qrb::device
