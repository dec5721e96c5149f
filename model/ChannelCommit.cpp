#include "model/ChannelCommit.h"

#include "device/Format.h"
#include "device/HWVocabulary.h"

namespace qrb::model {

namespace {

// Image words 7 and 8 are the DAC's.
constexpr int kFirstDACWord = 7;
constexpr int kPowerDACWord = 7;
constexpr int kOffsetDACWord = 8;
// Words of the verification data in a channel write's answer.
constexpr int kVerifiedWords = 8;

} // namespace

uint8_t RegisterWordAddress(int word) {
    if (word >= 0 && word < kFirstDACWord) return device::kChipAddresses[word];
    return device::ChipAddress(device::TChipIndex::DACExpander);
}

bool ImagesDiffer(const device::TRegisterImage& a, const device::TRegisterImage& b) {
    for (std::size_t w = 0; w < device::kImageWords; ++w) {
        if (a.Words[w] != b.Words[w]) return true;
    }
    return false;
}

std::string RegisterDumpText(const TQRBRawChannel& channel) {
    const auto& w = channel.Current.Image.Words;
    auto a = [](int word) { return RegisterWordAddress(word); };
    return device::Format(
        "%s:   $%2.2x:$%4.4x   $%2.2x:$%4.4x   $%2.2x:$%4.4x  $%2.2x:$%4.4x   $%2.2x:$%4.4x   "
        "$%2.2x:$%4.4x    $%2.2x:$%4.4x   $%2.2x:$%4.4x   $%2.2x:$%4.4x",
        {channel.Name, a(0), w[0], a(1), w[1], a(2), w[2], a(3), w[3], a(4), w[4], a(5), w[5], a(6), w[6],
         a(7), w[7], a(8), w[8]});
}

std::string BitErrorReportText(std::span<const TChannelErrorWords> entries) {
    std::string text;
    for (std::size_t c = 0; c < entries.size(); ++c) {
        for (int w = 0; w < kRegisterWords; ++w) {
            const uint16_t e = entries[c][w];
            if (e == 0) continue;
            text += text.empty() ? "Biterror(s) detected:\r\n" : "\r\n";
            text += device::Format("  Ch%2.2d: $%2.2x->$%4.4x", {c, RegisterWordAddress(w), e});
            if (w < kFirstDACWord) {
                for (unsigned b = 0; b < 16; ++b) {
                    if (e & (1u << b)) text += device::Format("    ->%s", {device::RegisterBitName(w, b)});
                }
            } else if (w == kPowerDACWord) {
                text += device::Format("    -> power dac: %d", {e});
            } else if (w == kOffsetDACWord) {
                text += device::Format("    -> offset dac: %d", {e});
            }
        }
    }
    return text;
}

bool HasBitErrors(std::span<const TChannelErrorWords> entries) {
    for (const TChannelErrorWords& entry : entries) {
        for (uint16_t e : entry) {
            if (e != 0) return true;
        }
    }
    return false;
}

TChannelErrorWords BitErrorsFromAnswer(const TChannelAnswer& answer) {
    TChannelErrorWords words{};
    for (int w = 0; w < kVerifiedWords; ++w)
        words[w] = static_cast<uint16_t>(answer[2 * w] | (answer[2 * w + 1] << 8));
    return words;
}

TChannelWriteOutcome WriteChannelImage(TQRBRawChannel& channel, const TChannelWriter& write) {
    TChannelWriteOutcome outcome;
    const uint8_t slot = static_cast<uint8_t>(channel.Slot);
    channel.Backup = channel.Current;
    auto& pending = channel.Pending.Image.Words;
    pending[0] = channel.SensorType;
    pending[7] &= 0xFFF;
    pending[8] &= 0xFFF;

    TChannelAnswer answer{};
    outcome.Result = write(channel.Device, slot, channel.ADC8LowVal, channel.Pending.Image, answer);
    if (outcome.Ok()) {
        channel.Current = channel.Pending;
        channel.BackupADC8LowVal = channel.ADC8LowVal;
        channel.BackupOpenGndShield = channel.open_gnd_shield;
    } else {
        channel.Current = channel.Backup;
        channel.Pending = channel.Current;
        // The restore write sends the low value the device ran with.
        channel.ADC8LowVal = channel.BackupADC8LowVal;
        channel.open_gnd_shield = channel.BackupOpenGndShield;
        outcome.BitErrors = BitErrorsFromAnswer(answer);
        TChannelAnswer restoreAnswer{};
        outcome.RestoreResult =
            write(channel.Device, slot, channel.ADC8LowVal, channel.Current.Image, restoreAnswer);
    }
    channel.DecodeRegisters();
    return outcome;
}

void TakeChannelSnapshot(TQRBRawChannel& channel) {
    channel.SnapshotSensorType = channel.SensorType;
    channel.Snapshot = channel.Current;
    channel.SnapshotADC8LowVal = channel.ADC8LowVal;
    channel.SnapshotOpenGndShield = channel.open_gnd_shield;
    channel.SnapshotValid = true;
}

bool RollbackChannel(TQRBRawChannel& channel) {
    if (!channel.SnapshotValid) return false;
    channel.Current = channel.Snapshot;
    channel.Pending = channel.Snapshot;
    channel.SensorType = channel.SnapshotSensorType;
    channel.ADC8LowVal = channel.SnapshotADC8LowVal;
    channel.open_gnd_shield = channel.SnapshotOpenGndShield;
    channel.BackupADC8LowVal = channel.SnapshotADC8LowVal;
    channel.BackupOpenGndShield = channel.SnapshotOpenGndShield;
    channel.DecodeRegisters();
    return true;
}

} // namespace qrb::model
