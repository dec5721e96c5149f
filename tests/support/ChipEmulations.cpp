#include "tests/support/ChipEmulations.h"

#include "device/HWVocabulary.h"

#include <algorithm>
#include <cmath>

namespace qrb::test {

namespace {

constexpr uint8_t kCmdDeviceReset = 0xF0;
constexpr uint8_t kCmdSetReadPointer = 0xE1;
constexpr uint8_t kCmdWriteConfig = 0xD2;
constexpr uint8_t kCmdOneWireReset = 0xB4;
constexpr uint8_t kCmdWriteByte = 0xA5;
constexpr uint8_t kCmdTriplet = 0x78;
constexpr uint8_t kPointerStatus = 0xF0;
constexpr uint8_t kPointerData = 0xE1;
constexpr uint8_t kPointerConfig = 0xC3;
constexpr uint8_t kSearchRom = 0xF0;

bool RomBit(const TRomNumber& rom, int bit) {
    return ((rom[static_cast<size_t>(bit / 8)] >> (bit % 8)) & 1) != 0;
}

} // namespace

void NotifyImageStored(device::TSimChip* chip, const device::TRegisterImage& image) {
    if (auto* sink = dynamic_cast<TChannelImageSink*>(chip)) sink->ImageStored(image);
}

TRomNumber MakeRom(uint8_t family, std::array<uint8_t, 6> serial) {
    TRomNumber rom{};
    rom[0] = family;
    std::copy(serial.begin(), serial.end(), rom.begin() + 1);
    rom[7] = device::OneWireCRC8(std::span<const uint8_t>(rom.data(), 7));
    return rom;
}

// ---- DS2482 -------------------------------------------------------------------------------

void TDS2482Emulation::SetRoms(std::vector<TRomNumber> roms) {
    std::lock_guard lock(mutex_);
    roms_ = std::move(roms);
    line_ = TLineState::Idle;
}

void TDS2482Emulation::SetShorted(bool shorted) {
    std::lock_guard lock(mutex_);
    shorted_ = shorted;
}

void TDS2482Emulation::SetWiring(std::function<bool(const device::TRegisterImage&)> connected) {
    std::lock_guard lock(mutex_);
    wiring_ = std::move(connected);
}

void TDS2482Emulation::SetBusyReads(int reads) {
    std::lock_guard lock(mutex_);
    busyReads_ = std::max(0, reads);
}

void TDS2482Emulation::SetStuckBusy(bool stuck) {
    std::lock_guard lock(mutex_);
    stuckBusy_ = stuck;
}

void TDS2482Emulation::SetResetStatus(uint8_t status) {
    std::lock_guard lock(mutex_);
    resetStatus_ = status;
}

void TDS2482Emulation::SetConfigReadback(std::optional<uint8_t> value) {
    std::lock_guard lock(mutex_);
    configReadback_ = value;
}

std::vector<std::vector<uint8_t>> TDS2482Emulation::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<uint8_t> TDS2482Emulation::LineBytes() const {
    std::lock_guard lock(mutex_);
    return lineBytes_;
}

int TDS2482Emulation::ResetCount() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

int TDS2482Emulation::SearchCount() const {
    std::lock_guard lock(mutex_);
    return searches_;
}

uint8_t TDS2482Emulation::Configuration() const {
    std::lock_guard lock(mutex_);
    return config_;
}

void TDS2482Emulation::ImageStored(const device::TRegisterImage& image) {
    std::lock_guard lock(mutex_);
    image_ = image;
}

bool TDS2482Emulation::Connected() const {
    return !wiring_ || wiring_(image_);
}

void TDS2482Emulation::StartBusy() {
    busyLeft_ = busyReads_;
    pointer_ = TPointer::Status;
}

uint8_t TDS2482Emulation::StatusRead() {
    if (stuckBusy_) return static_cast<uint8_t>(status_ | kBusy);
    if (busyLeft_ > 0) {
        --busyLeft_;
        return static_cast<uint8_t>(status_ | kBusy);
    }
    return status_;
}

void TDS2482Emulation::Write(std::span<const uint8_t> data) {
    std::lock_guard lock(mutex_);
    commands_.emplace_back(data.begin(), data.end());
    if (data.empty()) return;
    const uint8_t param = data.size() > 1 ? data[1] : 0;
    const uint8_t lineLevel = shorted_ && Connected() ? 0 : kLogicLevel;
    switch (data[0]) {
    case kCmdDeviceReset:
        ++resets_;
        status_ = resetStatus_;
        config_ = 0;
        busyLeft_ = 0;
        line_ = TLineState::Idle;
        pointer_ = TPointer::Status;
        break;
    case kCmdWriteConfig:
        // The configuration byte counts only with its one's complement in the upper nibble.
        if (data.size() > 1 && (param >> 4) == (~param & 0x0F)) config_ = param & 0x0F;
        status_ = static_cast<uint8_t>(status_ & ~kDeviceReset);
        pointer_ = TPointer::Config;
        break;
    case kCmdSetReadPointer:
        if (data.size() < 2) break;
        if (param == kPointerStatus) pointer_ = TPointer::Status;
        if (param == kPointerData) pointer_ = TPointer::Data;
        if (param == kPointerConfig) pointer_ = TPointer::Config;
        break;
    case kCmdOneWireReset: {
        const bool connected = Connected();
        uint8_t s = static_cast<uint8_t>(status_ & kDeviceReset);
        if (connected && shorted_) {
            s |= kShort;
        } else {
            s |= kLogicLevel;
            if (connected && !roms_.empty()) s |= kPresence;
        }
        status_ = s;
        line_ = TLineState::RomCommand;
        StartBusy();
        break;
    }
    case kCmdWriteByte:
        lineBytes_.push_back(param);
        if (line_ == TLineState::RomCommand && param == kSearchRom && Connected() && !shorted_) {
            ++searches_;
            line_ = TLineState::Search;
            taking_.assign(roms_.size(), true);
            searchBit_ = 0;
        } else {
            line_ = TLineState::Idle;
        }
        status_ = static_cast<uint8_t>((status_ & (kDeviceReset | kPresence | kShort)) | lineLevel);
        StartBusy();
        break;
    case kCmdTriplet: {
        const bool wanted = (param & 0x80) != 0;
        bool idBit = true, complementBit = true;
        if (line_ == TLineState::Search && searchBit_ < 64) {
            // Wired-AND: a device with a 0 pulls the id bit low, one with a 1 the complement.
            for (size_t i = 0; i < roms_.size(); ++i) {
                if (!taking_[i]) continue;
                if (RomBit(roms_[i], searchBit_))
                    complementBit = false;
                else
                    idBit = false;
            }
        }
        const bool direction = idBit != complementBit ? idBit : wanted;
        if (line_ == TLineState::Search && searchBit_ < 64) {
            for (size_t i = 0; i < roms_.size(); ++i)
                if (taking_[i] && RomBit(roms_[i], searchBit_) != direction) taking_[i] = false;
            ++searchBit_;
        }
        status_ = static_cast<uint8_t>((status_ & (kDeviceReset | kPresence | kShort)) | lineLevel |
                                       (idBit ? kSingleBit : 0) | (complementBit ? kTripletSecond : 0) |
                                       (direction ? kBranchDirection : 0));
        StartBusy();
        break;
    }
    default:
        break;
    }
}

size_t TDS2482Emulation::Read(std::span<uint8_t> out) {
    std::lock_guard lock(mutex_);
    if (out.empty()) return 0;
    switch (pointer_) {
    case TPointer::Status:
        out[0] = StatusRead();
        break;
    case TPointer::Data:
        out[0] = readData_;
        break;
    case TPointer::Config:
        out[0] = configReadback_ ? *configReadback_ : config_;
        break;
    }
    return 1;
}

// ---- ADC18 --------------------------------------------------------------------------------

std::array<uint8_t, 3> TADC18Emulation::EncodeValue(int32_t value) {
    value = std::clamp(value, kMin, kMax);
    const uint32_t raw = static_cast<uint32_t>(value) & 0x3FFFF;
    const uint8_t high = static_cast<uint8_t>((raw >> 16) | (value < 0 ? 0xFC : 0x00));
    return {high, static_cast<uint8_t>(raw >> 8), static_cast<uint8_t>(raw)};
}

void TADC18Emulation::SetZeroReference(int32_t value) {
    std::lock_guard lock(mutex_);
    zeroReference_ = value;
}

void TADC18Emulation::SetSignal(int32_t value) {
    std::lock_guard lock(mutex_);
    signal_ = value;
}

void TADC18Emulation::SetGains(double fine, double coarse) {
    std::lock_guard lock(mutex_);
    fineGain_ = fine;
    coarseGain_ = coarse;
}

void TADC18Emulation::SetInputs(const TAnalogInputs& inputs) {
    std::lock_guard lock(mutex_);
    inputs_ = inputs;
}

void TADC18Emulation::SetImageDecoder(std::function<TAnalogInputs(const device::TRegisterImage&)> decoder) {
    std::lock_guard lock(mutex_);
    decoder_ = std::move(decoder);
}

void TADC18Emulation::SetValueSource(std::function<int32_t(const TAnalogInputs&)> source) {
    std::lock_guard lock(mutex_);
    source_ = std::move(source);
}

void TADC18Emulation::SetNotReadyReads(int reads) {
    std::lock_guard lock(mutex_);
    notReadyReads_ = std::max(0, reads);
}

void TADC18Emulation::SetNeverReady(bool never) {
    std::lock_guard lock(mutex_);
    neverReady_ = never;
}

int TADC18Emulation::Conversions() const {
    std::lock_guard lock(mutex_);
    return conversions_;
}

int TADC18Emulation::Reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

TAnalogInputs TADC18Emulation::Inputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

int32_t TADC18Emulation::Reading() const {
    std::lock_guard lock(mutex_);
    return ReadingLocked();
}

int32_t TADC18Emulation::ReadingLocked() const {
    if (source_) return std::clamp(source_(inputs_), kMin, kMax);
    if (!inputs_.ZeroInput) return zeroReference_;
    const double gain = inputs_.OffsetOn ? coarseGain_ : fineGain_;
    const double v = signal_ - gain * (static_cast<double>(inputs_.OffsetDAC) - 2048.0);
    return std::clamp(static_cast<int32_t>(std::lround(v)), kMin, kMax);
}

void TADC18Emulation::ImageStored(const device::TRegisterImage& image) {
    std::lock_guard lock(mutex_);
    if (decoder_) inputs_ = decoder_(image);
}

void TADC18Emulation::Write(std::span<const uint8_t> data) {
    std::lock_guard lock(mutex_);
    if (data.empty()) return;
    config_ = static_cast<uint8_t>(data[0] & 0x7F);
    if ((data[0] & 0x80) != 0) {
        ++conversions_;
        converted_ = true;
        latched_ = false;
        notReadyLeft_ = notReadyReads_;
    }
}

size_t TADC18Emulation::Read(std::span<uint8_t> out) {
    std::lock_guard lock(mutex_);
    ++reads_;
    bool ready = converted_ && !neverReady_;
    if (ready && notReadyLeft_ > 0) {
        --notReadyLeft_;
        ready = false;
    }
    // The input is sampled when the conversion completes.
    if (ready && !latched_) {
        value_ = ReadingLocked();
        latched_ = true;
    }
    const auto bytes = EncodeValue(ready ? value_ : 0);
    const std::array<uint8_t, 4> answer = {bytes[0], bytes[1], bytes[2],
                                           static_cast<uint8_t>(config_ | (ready ? 0x00 : 0x80))};
    const size_t n = std::min(out.size(), answer.size());
    std::copy_n(answer.begin(), n, out.begin());
    return n;
}

// ---- ADC12 --------------------------------------------------------------------------------

void TADC12Emulation::SetValue(uint16_t value) {
    std::lock_guard lock(mutex_);
    value_ = value;
}

void TADC12Emulation::SetValueSource(
    std::function<uint16_t(const std::optional<device::TRegisterImage>&)> source) {
    std::lock_guard lock(mutex_);
    source_ = std::move(source);
}

std::vector<uint8_t> TADC12Emulation::Pointers() const {
    std::lock_guard lock(mutex_);
    return pointers_;
}

int TADC12Emulation::Reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

void TADC12Emulation::ImageStored(const device::TRegisterImage& image) {
    std::lock_guard lock(mutex_);
    image_ = image;
}

void TADC12Emulation::Write(std::span<const uint8_t> data) {
    std::lock_guard lock(mutex_);
    if (!data.empty()) pointers_.push_back(data[0]);
}

size_t TADC12Emulation::Read(std::span<uint8_t> out) {
    std::lock_guard lock(mutex_);
    ++reads_;
    const uint16_t v = source_ ? source_(image_) : value_;
    const std::array<uint8_t, 2> answer = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    const size_t n = std::min(out.size(), answer.size());
    std::copy_n(answer.begin(), n, out.begin());
    return n;
}

// ---- ADC8 ---------------------------------------------------------------------------------

void TADC8Emulation::SetStatus(uint8_t status) {
    std::lock_guard lock(mutex_);
    result_ = static_cast<uint16_t>(status << 4);
}

void TADC8Emulation::Latch(uint8_t status) {
    std::lock_guard lock(mutex_);
    lowest_ = static_cast<uint16_t>(lowest_ & (status << 4));
}

uint16_t TADC8Emulation::Lowest() const {
    std::lock_guard lock(mutex_);
    return lowest_;
}

std::vector<std::vector<uint8_t>> TADC8Emulation::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

void TADC8Emulation::Write(std::span<const uint8_t> data) {
    std::lock_guard lock(mutex_);
    writes_.emplace_back(data.begin(), data.end());
    if (data.empty()) return;
    pointer_ = data[0];
    if (pointer_ == 6 && data.size() >= 3) lowest_ = static_cast<uint16_t>((data[1] << 8) | data[2]);
}

size_t TADC8Emulation::Read(std::span<uint8_t> out) {
    std::lock_guard lock(mutex_);
    uint16_t v = 0;
    if (pointer_ == 0) {
        v = result_;
        lowest_ &= result_;
    } else if (pointer_ == 6) {
        v = lowest_;
    }
    const std::array<uint8_t, 2> answer = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    const size_t n = std::min(out.size(), answer.size());
    std::copy_n(answer.begin(), n, out.begin());
    return n;
}

} // namespace qrb::test
