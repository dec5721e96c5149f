#pragma once
// The parts of a commit that work on one channel or on texts: the verified write of one pending
// image, snapshot and rollback of one channel, image comparison, the register dump line, the
// bit-error report, and the retry rule of the checked I2C calls.

#include "device/I2CTypes.h"
#include "device/Records.h"
#include "model/QRBRawChannel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qrb::model {

// The bits of each image word the device reported as different in the last commit; words 0..7
// come from the device's verification data, word 8 stays 0.
using TChannelErrorWords = std::array<uint16_t, kRegisterWords>;
// One entry per channel of the model.
using TBitErrorList = std::vector<TChannelErrorWords>;

// The I2C address shown for an image word: the expanders' for words 0..6, the DAC's for 7 and 8.
uint8_t RegisterWordAddress(int word);

// True when one of words 0..8 differs.
bool ImagesDiffer(const device::TRegisterImage& a, const device::TRegisterImage& b);

// The register dump line of the channel's Current image.
std::string RegisterDumpText(const TQRBRawChannel& channel);

// "" when no entry holds a bit, else "Biterror(s) detected:" and one line per differing word.
std::string BitErrorReportText(std::span<const TChannelErrorWords> entries);

bool HasBitErrors(std::span<const TChannelErrorWords> entries);

// The answer buffer of a channel write (the transports' 1024-byte buffer).
inline constexpr std::size_t kChannelAnswerSize = 1024;
using TChannelAnswer = std::array<uint8_t, kChannelAnswerSize>;

// Words 0..7 of the device's verification data (the first 16 bytes of its answer).
TChannelErrorWords BitErrorsFromAnswer(const TChannelAnswer& answer);

// The write of one image: (device, slot, ADC8 low value, image, answer).
using TChannelWriter =
    std::function<device::TI2CResult(int device, uint8_t slot, uint8_t adc8LowVal,
                                     const device::TRegisterImage& image, TChannelAnswer& answer)>;

struct TChannelWriteOutcome {
    device::TI2CResult Result = device::TI2CResult::irOK;
    // Only after a failed write: the result of writing the restored image.
    device::TI2CResult RestoreResult = device::TI2CResult::irOK;
    TChannelErrorWords BitErrors{};

    bool Ok() const { return device::IsOK(Result); }
};

// Sends the channel's pending image (word 0 the sensor type, DAC words cut to 12 bits). Accepted:
// Current := Pending. Refused: Current and Pending go back to the previous image, the low value
// and the open-ground flag to those it ran with, and it is written again. The channel is decoded
// afterwards either way. Each write gets a zeroed answer.
TChannelWriteOutcome WriteChannelImage(TQRBRawChannel& channel, const TChannelWriter& write);

// Snapshot := Current with the sensor type, the low value and the open-ground flag.
void TakeChannelSnapshot(TQRBRawChannel& channel);
// Current and Pending := Snapshot, the sensor type, the low value and the open-ground flag back,
// decoded; nothing is written. False without a snapshot.
bool RollbackChannel(TQRBRawChannel& channel);

// Checked I2C calls: up to this many attempts, again only after "no answer".
inline constexpr int kCheckedI2CAttempts = 5;

template <class TCall> device::TI2CResult RetryOnNoAnswer(TCall&& call) {
    device::TI2CResult result = device::TI2CResult::irNoAnswer;
    for (int attempt = 0; attempt < kCheckedI2CAttempts; ++attempt) {
        result = call();
        if (result != device::TI2CResult::irNoAnswer) break;
    }
    return result;
}

} // namespace qrb::model
