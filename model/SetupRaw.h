#pragma once
// Raw setups: 264-byte channel records without header, keyed by "%d.%d" of version and serial,
// and the ".prs" branches of the setup file operations.

#include "device/Records.h"
#include "model/QRBRawChannel.h"
#include "model/SetupCommon.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::model {

// One channel of a raw setup. Texts are held as the model holds them (UTF-8 of Windows-1252
// characters) and stored as Windows-1252 short strings.
struct TFileChannelRecord {
    static constexpr size_t Size = 264;
    static constexpr size_t NameField = 31;         // length byte + 30 characters
    static constexpr size_t DescriptionField = 201; // length byte + 200 characters

    std::string ChannelName;
    std::string Description;
    int32_t Version = 0;
    int32_t Serial = 0;
    uint16_t SensorType = 0;
    device::TChannelImage Image;
    uint8_t ADC8StatVal = 0;
    uint8_t ADC8LowVal = 0;

    // False when fewer than Size bytes are given. Length bytes are clamped to their fields.
    static bool Decode(const uint8_t* data, size_t len, TFileChannelRecord& out);
    // Texts cut to their fields; the bytes after a text are zero.
    void Encode(uint8_t* out) const;

    // "%d.%d" of Version and Serial.
    std::string Key() const;
    // What the writer emits for a defect slot: version, serial, sensor type and image all zero
    // (texts and ADC8 bytes are not looked at).
    bool IsPlaceholder() const;
    bool operator==(const TFileChannelRecord&) const = default;
};

// Fills a record from the channel (ToFileRecord).
bool ToFileRecord(const TQRBRawChannel& channel, TFileChannelRecord& rec);
// Sensor type, texts, pending image and ADC8 values from the record; no setter runs.
void ApplyFileRecord(const TFileChannelRecord& rec, TQRBRawChannel& channel);

struct TFileChannel {
    TFileChannelRecord Rec;
};

// Raised by TSetupFile with the message the translator passes on.
class ESetupFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A whole raw setup in memory. Sorted: one entry per key in key order, the first record of a
// key kept, placeholders left out. Unsorted: every record in file order, a placeholder with an
// empty key (it keeps its position but is never found by key).
class TSetupFile {
public:
    // Largest file read (far above 4096 channels).
    static constexpr size_t MaxBytes = 16u * 1024u * 1024u;

    // Reads the file; throws ESetupFileError.
    TSetupFile(const std::string& fileName, bool sorted);
    // The same from bytes already read (throws ESetupFileError for a bad record).
    static TSetupFile FromBytes(std::string_view bytes, bool sorted, std::string fileName = {});

    std::string FileName;

    bool Sorted() const { return sorted_; }
    int Count() const { return static_cast<int>(entries_.size()); }
    const std::string& Key(int index) const { return entries_.at(static_cast<size_t>(index)).Key; }
    const TFileChannel& Channel(int index) const { return entries_.at(static_cast<size_t>(index)).Channel; }
    bool IsPlaceholder(int index) const { return Key(index).empty(); }
    // Position of the first entry with the key, or -1.
    int IndexOf(std::string_view key) const;

private:
    struct TEntry {
        std::string Key;
        TFileChannel Channel;
    };
    TSetupFile(bool sorted, std::string fileName) : FileName(std::move(fileName)), sorted_(sorted) {}
    void Parse(std::string_view bytes);

    bool sorted_;
    std::vector<TEntry> entries_;
};

// ---- File operations (".prs" branches) ------------------------------------------------------

// Every channel object, one record each, written atomically.
bool RawSaveSetup(const std::string& fileName, const TSetupModel& model, std::string& error);
bool RawCheckSetupFile(const std::string& fileName, bool& valid, std::string& error);
bool RawGetSetupChannelCount(const std::string& fileName, int channelCount, bool& countsEqual,
                             std::string& error);
// Only present channels are matched.
bool RawSetupSerialsMatch(const std::string& fileName, const TSetupModel& model, bool& serialsMatch,
                          std::string& error);
// By serial: each present channel gets the first record of its key. By position: present
// channel i gets record i unless that is a placeholder.
bool RawLoadSetup(const std::string& fileName, bool bySerial, const TSetupModel& model, std::string& error);

} // namespace qrb::model
