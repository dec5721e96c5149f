// The translator's commit: verified writes of the pending images, the bit-error report, snapshot
// and rollback, the register dump, and the checked I2C calls.

#include "device/Format.h"
#include "model/ChannelCommit.h"
#include "model/I2CTranslator.h"

#include <algorithm>

namespace qrb::model {

namespace {

// A zero-terminated text ends at its first NUL.
std::string_view UpToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

} // namespace

bool TI2CTranslator::NewConfig(uint8_t mode, bool onlyChanged) {
    ClearBitErrors();
    bool ok = false;
    switch (mode) {
    case 0:
        ok = WriteChannelImages(onlyChanged);
        break;
    case 1:
        NewConfigShort(onlyChanged);
    case 2:
        NewConfigDAC(onlyChanged);
    default:
        break;
    }
    if (!ok && HasBitErrors()) {
        std::string report;
        BitErrorReport(report);
        LastError += report;
        ReportError();
    }
    if (OnConfigComplete) OnConfigComplete(this);
    if (OnConfigCommitted) OnConfigCommitted(this);
    return ok;
}

bool TI2CTranslator::WriteChannelImages(bool onlyChanged) {
    const TChannelWriter write = [this](int device, uint8_t slot, uint8_t adc8LowVal,
                                        const device::TRegisterImage& image, TChannelAnswer& answer) {
        if (!HAL) return device::TI2CResult::irInvalidDevice;
        return HAL->WriteChannel(device, slot, adc8LowVal, image, answer);
    };
    bool ok = true;
    bool anyWritten = false;
    const int32_t count = ChannelCount();
    if (BitErrors.size() < static_cast<std::size_t>(std::max(count, 0))) BitErrors.resize(count);
    for (int32_t i = 0; i < count; ++i) {
        TQRBRawChannel* channel = GetChannel(i);
        if (!channel || !channel->Present) continue;
        // Word 0 is written as the sensor type, so a new type alone is a change too (the
        // bridge types share one image).
        const bool typeChanged = channel->SensorType != channel->Current.Image.Words[0];
        if (onlyChanged && !typeChanged &&
            !model::ImagesDiffer(channel->Pending.Image, channel->Current.Image))
            continue;
        anyWritten = true;
        const TChannelWriteOutcome outcome = WriteChannelImage(*channel, write);
        if (outcome.Ok()) continue;
        ok = false;
        BitErrors[i] = outcome.BitErrors;
        if (!device::IsOK(outcome.RestoreResult)) {
            // Counted from 0, as the bit error report beside it counts.
            LastError += device::Format("Error %d while restoring channel %2.2d",
                                        device::ToInt(outcome.RestoreResult), static_cast<int64_t>(i));
            ReportError();
        }
    }
    if (anyWritten && RegisterDump && OnRegisterDump) {
        if (const TQRBRawChannel* last = GetChannel(count - 1)) {
            std::string line;
            DumpRegisters(*last, line);
            OnRegisterDump(this, line);
        }
    }
    return ok;
}

void TI2CTranslator::NewConfigShort(bool) {
    throw ETranslatorError("Don''t use NewConfigShort any longer!");
}

void TI2CTranslator::NewConfigDAC(bool) {
    throw ETranslatorError("Don''t use NewConfigDAC any longer!");
}

void TI2CTranslator::TakeSnapshot() {
    for (int32_t i = 0; i < ChannelCount(); ++i) {
        TQRBRawChannel* channel = GetChannel(i);
        // A defect slot's placeholder has no image and is never decoded.
        if (channel && channel->Present) TakeChannelSnapshot(*channel);
    }
}

void TI2CTranslator::Rollback() {
    for (int32_t i = 0; i < ChannelCount(); ++i) {
        TQRBRawChannel* channel = GetChannel(i);
        if (channel && channel->Present) RollbackChannel(*channel);
    }
}

bool TI2CTranslator::ImagesDiffer(const device::TRegisterImage& a, const device::TRegisterImage& b) {
    return model::ImagesDiffer(a, b);
}

void TI2CTranslator::DumpRegisters(const TQRBRawChannel& channel, std::string& text) const {
    text = RegisterDumpText(channel);
}

void TI2CTranslator::ClearBitErrors() {
    BitErrors.assign(static_cast<std::size_t>(std::max(ChannelCount(), 0)), TChannelErrorWords{});
}

bool TI2CTranslator::HasBitErrors() const {
    const std::size_t n = std::min(BitErrors.size(), static_cast<std::size_t>(std::max(ChannelCount(), 0)));
    return model::HasBitErrors(std::span<const TChannelErrorWords>(BitErrors.data(), n));
}

void TI2CTranslator::BitErrorReport(std::string& text) const {
    const std::size_t n = std::min(BitErrors.size(), static_cast<std::size_t>(std::max(ChannelCount(), 0)));
    text = BitErrorReportText(std::span<const TChannelErrorWords>(BitErrors.data(), n));
}

bool TI2CTranslator::WriteI2CChecked(int32_t device, uint8_t addr, std::string_view hexText) {
    hexText = UpToNul(hexText);
    const device::TI2CResult result = RetryOnNoAnswer(
        [&] { return HAL ? HAL->WriteI2C(device, addr, hexText) : device::TI2CResult::irInvalidDevice; });
    if (!device::IsOK(result)) {
        throw ETranslatorError(device::Format("Error %d while writing %s to slave $%2.2x on device %d.",
                                              device::ToInt(result), hexText, addr, device));
    }
    return true;
}

bool TI2CTranslator::WriteReadI2CChecked(int32_t device, uint8_t addr, std::string_view hexText,
                                         uint16_t length, std::span<uint8_t> buffer) {
    hexText = UpToNul(hexText);
    const device::TI2CResult result = RetryOnNoAnswer([&] {
        return HAL ? HAL->WriteReadI2C(device, addr, hexText, length, buffer)
                   : device::TI2CResult::irInvalidDevice;
    });
    if (!device::IsOK(result)) {
        throw ETranslatorError(device::Format("Error %d while reading %s to slave $%2.2x on device %d.",
                                              device::ToInt(result), hexText, addr, device));
    }
    return true;
}

} // namespace qrb::model
