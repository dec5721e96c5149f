#include "model/SetupRaw.h"

#include "device/ByteOrder.h"
#include "device/Cp1252.h"
#include "device/FileUtil.h"
#include "device/Format.h"
#include "device/StringList.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrb::model {

namespace {

using device::Format;

constexpr size_t kVersionOffset = 232;
constexpr size_t kSerialOffset = 236;
constexpr size_t kSensorTypeOffset = 240;
constexpr size_t kImageOffset = 242;
constexpr size_t kStatValOffset = 262;
constexpr size_t kLowValOffset = 263;

constexpr const char* kInvalidFormat = "invalid fileformat!";

std::string GetShortString(const uint8_t* p, size_t maxChars) {
    const size_t n = std::min<size_t>(p[0], maxChars);
    return device::Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(p + 1), n));
}

void PutShortString(uint8_t* p, size_t maxChars, const std::string& text) {
    const std::string bytes = device::Utf8ToCp1252(text);
    const size_t n = std::min(bytes.size(), maxChars);
    p[0] = static_cast<uint8_t>(n);
    std::memcpy(p + 1, bytes.data(), n);
}

// The whole file with the error code of a failed open or read.
std::string ReadSetupBytes(const std::string& fileName) {
    if (!device::FileExists(fileName)) throw ESetupFileError("Setup file does not exist!");
    const auto fail = [](int code) {
        return ESetupFileError(Format("Error while loading setup file (%d)", code));
    };
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) throw fail(errno);
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(fd);
            throw fail(code);
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > TSetupFile::MaxBytes) {
            ::close(fd);
            throw fail(EFBIG);
        }
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

std::string ChannelKey(const TQRBRawChannel& ch) {
    return Format("%d.%d", ch.Info.Version, ch.Info.Serial);
}

bool NameUsable(const std::string& fileName) {
    return !TrimText(fileName).empty();
}

} // namespace

// ---- Record -------------------------------------------------------------------------------

bool TFileChannelRecord::Decode(const uint8_t* data, size_t len, TFileChannelRecord& out) {
    if (data == nullptr || len < Size) return false;
    out.ChannelName = GetShortString(data, NameField - 1);
    out.Description = GetShortString(data + NameField, DescriptionField - 1);
    out.Version = device::GetI32(data + kVersionOffset);
    out.Serial = device::GetI32(data + kSerialOffset);
    out.SensorType = device::GetU16(data + kSensorTypeOffset);
    device::TChannelImage::Decode(data + kImageOffset, device::TChannelImage::Size, out.Image);
    out.ADC8StatVal = data[kStatValOffset];
    out.ADC8LowVal = data[kLowValOffset];
    return true;
}

void TFileChannelRecord::Encode(uint8_t* out) const {
    std::memset(out, 0, Size);
    PutShortString(out, NameField - 1, ChannelName);
    PutShortString(out + NameField, DescriptionField - 1, Description);
    device::PutU32(out + kVersionOffset, static_cast<uint32_t>(Version));
    device::PutU32(out + kSerialOffset, static_cast<uint32_t>(Serial));
    device::PutU16(out + kSensorTypeOffset, SensorType);
    Image.Encode(out + kImageOffset);
    out[kStatValOffset] = ADC8StatVal;
    out[kLowValOffset] = ADC8LowVal;
}

std::string TFileChannelRecord::Key() const {
    return Format("%d.%d", Version, Serial);
}

bool TFileChannelRecord::IsPlaceholder() const {
    return Version == 0 && Serial == 0 && SensorType == 0 && Image == device::TChannelImage{};
}

bool ToFileRecord(const TQRBRawChannel& ch, TFileChannelRecord& rec) {
    try {
        rec.ChannelName = device::Utf8Cut(device::ToModelText(ch.ChannelName), kChannelNameLength);
        rec.Description = device::Utf8Cut(device::ToModelText(ch.Description), kDescriptionLength);
        rec.Version = ch.Info.Version;
        rec.Serial = ch.Info.Serial;
        rec.SensorType = ch.SensorType;
        rec.Image = ch.Current;
        rec.ADC8StatVal = ch.ADC8StatVal;
        rec.ADC8LowVal = ch.ADC8LowVal;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void ApplyFileRecord(const TFileChannelRecord& rec, TQRBRawChannel& ch) {
    ch.SensorType = rec.SensorType;
    ch.SetChannelName(rec.ChannelName);
    ch.SetDescription(rec.Description);
    ch.Pending = rec.Image;
    ch.ADC8StatVal = rec.ADC8StatVal;
    ch.ADC8LowVal = rec.ADC8LowVal;
}

// ---- Whole file ---------------------------------------------------------------------------

TSetupFile::TSetupFile(const std::string& fileName, bool sorted) : FileName(fileName), sorted_(sorted) {
    Parse(ReadSetupBytes(fileName));
}

TSetupFile TSetupFile::FromBytes(std::string_view bytes, bool sorted, std::string fileName) {
    TSetupFile f(sorted, std::move(fileName));
    f.Parse(bytes);
    return f;
}

void TSetupFile::Parse(std::string_view bytes) {
    entries_.clear();
    // A trailing part shorter than a record is a cut file.
    if (bytes.size() % TFileChannelRecord::Size != 0) throw ESetupFileError(kInvalidFormat);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t pos = 0; pos < bytes.size(); pos += TFileChannelRecord::Size) {
        TEntry e;
        TFileChannelRecord::Decode(data + pos, TFileChannelRecord::Size, e.Channel.Rec);
        const TFileChannelRecord& r = e.Channel.Rec;
        if (r.IsPlaceholder()) {
            if (!sorted_) entries_.push_back(std::move(e));
            continue;
        }
        if (r.Version < 1 || r.Version > 3) throw ESetupFileError(kInvalidFormat);
        e.Key = r.Key();
        if (!sorted_) {
            entries_.push_back(std::move(e));
            continue;
        }
        const auto at = std::lower_bound(
            entries_.begin(), entries_.end(), e.Key,
            [](const TEntry& a, const std::string& k) { return device::CompareText(a.Key, k) < 0; });
        if (at != entries_.end() && device::SameText(at->Key, e.Key)) continue; // the first one stays
        entries_.insert(at, std::move(e));
    }
}

int TSetupFile::IndexOf(std::string_view key) const {
    if (key.empty()) return -1;
    if (sorted_) {
        const auto at =
            std::lower_bound(entries_.begin(), entries_.end(), key, [](const TEntry& a, std::string_view k) {
                return device::CompareText(a.Key, k) < 0;
            });
        return at != entries_.end() && device::SameText(at->Key, key)
                   ? static_cast<int>(at - entries_.begin())
                   : -1;
    }
    for (size_t i = 0; i < entries_.size(); ++i)
        if (device::SameText(entries_[i].Key, key)) return static_cast<int>(i);
    return -1;
}

// ---- File operations ----------------------------------------------------------------------

bool RawSaveSetup(const std::string& fileName, const TSetupModel& model, std::string& error) {
    std::string bytes;
    bytes.reserve(model.Channels.size() * TFileChannelRecord::Size);
    for (const TQRBRawChannel* ch : model.Channels) {
        TFileChannelRecord rec;
        if (ch == nullptr || !ToFileRecord(*ch, rec)) continue;
        uint8_t buf[TFileChannelRecord::Size];
        rec.Encode(buf);
        bytes.append(reinterpret_cast<const char*>(buf), sizeof buf);
    }
    errno = 0;
    std::string fileError;
    if (device::WriteFileAtomic(fileName, bytes, fileError)) return true;
    error = Format("Error while writing setup file (%d)", LastErrorCode());
    return false;
}

bool RawCheckSetupFile(const std::string& fileName, bool& valid, std::string& error) {
    error.clear();
    valid = false;
    if (!NameUsable(fileName) || !device::FileExists(fileName)) {
        error = "Invalid file or empty filename!";
        return false;
    }
    try {
        TSetupFile file(fileName, true);
        valid = true;
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

bool RawGetSetupChannelCount(const std::string& fileName, int channelCount, bool& countsEqual,
                             std::string& error) {
    error.clear();
    countsEqual = false;
    try {
        TSetupFile file(fileName, false);
        countsEqual = file.Count() == channelCount;
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

bool RawSetupSerialsMatch(const std::string& fileName, const TSetupModel& model, bool& serialsMatch,
                          std::string& error) {
    error.clear();
    serialsMatch = false;
    try {
        TSetupFile file(fileName, true);
        if (file.Count() == 0) throw ESetupFileError("List index out of bounds (0)");
        const std::string& first = file.Key(0);
        const size_t dot = first.find('.');
        int32_t serial = 0;
        if (dot == std::string::npos || !device::TryStrToInt(first.substr(dot + 1), serial))
            throw ESetupFileError(Format("'%s' is not a valid integer value", first));
        // Simulated channels number their serials from 0xFF00.
        if (serial >= 0xFF00) {
            serialsMatch = true;
            return true;
        }
        serialsMatch = EveryPresentChannel(
            model, [&](const TQRBRawChannel& ch) { return file.IndexOf(ChannelKey(ch)) >= 0; });
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

bool RawLoadSetup(const std::string& fileName, bool bySerial, const TSetupModel& model, std::string& error) {
    error.clear();
    if (!NameUsable(fileName)) {
        error = "Invalid or empty filename!";
        return false;
    }
    try {
        TSetupFile file(fileName, bySerial);
        for (size_t i = 0; i < model.Channels.size(); ++i) {
            TQRBRawChannel* ch = model.Channels[i];
            if (ch == nullptr || !ch->Present) continue;
            int at = -1;
            if (bySerial)
                at = file.IndexOf(ChannelKey(*ch));
            else if (static_cast<int>(i) < file.Count() && !file.IsPlaceholder(static_cast<int>(i)))
                at = static_cast<int>(i);
            if (at >= 0) ApplyFileRecord(file.Channel(at).Rec, *ch);
        }
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

} // namespace qrb::model
