#include "device/sim/I2CVirtualControl.h"

#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "device/MainLoop.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <optional>
#include <stdexcept>

namespace qrb::device {

namespace {

constexpr int32_t kMinChannels = 1;
constexpr int32_t kMaxChannels = 64;
constexpr int32_t kMinVersion = 1;
constexpr int32_t kMaxVersion = 3;
constexpr int32_t kMinSCL = 1000;
constexpr int32_t kMaxSCL = 400000;
constexpr uint8_t kMaxFanSpeed = 4;
constexpr uint32_t kAccessPauseMs = 1;
constexpr int32_t kGroupSize = 8;
constexpr size_t kSimulatedHardwareRow = 1;

// Multiplexer control bytes: the 8-way slot multiplexer takes 8 + slot, the path multiplexer
// 4 + path; the group multiplexer takes one bit per group.
constexpr int32_t kSlotMuxBase = 8;
constexpr int32_t kPathMuxBase = 4;

// Fixed answers of a simulated device.
constexpr uint8_t kDeviceParts = 127;
constexpr uint8_t kDeviceStateRunning = 2;
constexpr uint16_t kDCDCSeries = 3;
constexpr uint8_t kSlotADC8LowVal = 124;
constexpr uint8_t kInfoVersion = 3;
constexpr std::array<uint8_t, 7> kInfoBytes1To7 = {0, 1, 184, 0, 0, 0, 0};
constexpr uint8_t kInfoFeatures = 5; // charge input and ODU connector
constexpr uint8_t kInfoFilterType = 2;
constexpr uint8_t kADC8AllSet = 0xFF;
constexpr std::array<int32_t, 4> kFWVersion = {2, 6, 9, 666};

uint16_t SimSerial(int32_t device, int32_t slot) {
    return static_cast<uint16_t>((0xFF00 + 8 * device + slot) % 65536);
}

bool IsMuxAddress(uint8_t addr) {
    return addr >= TI2CVirtualControl::kPathMuxAddress && addr <= TI2CVirtualControl::kGroupMuxAddress;
}

// A decimal integer, nothing else; no value when the text is not one.
std::optional<int32_t> ParseDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

} // namespace

TI2CVirtualControl::TI2CVirtualControl() try : TI2CControl() {
    LogLevel = 0;
    I2CLogLevel = 0;
} catch (const std::exception& e) {
    throw std::runtime_error(std::string("Error on creating virtual device: ") + e.what());
}

TI2CVirtualControl::~TI2CVirtualControl() {
    ClearChannels();
    ClearGroups();
    ClearVirtualMasters();
}

// --- lookups and lists ---

int32_t TI2CVirtualControl::FindChannel(int32_t device, int32_t group, int32_t slot) const {
    for (size_t i = 0; i < Channels.size(); ++i) {
        const auto& c = *Channels[i];
        if (c.Device() == device && c.Group() == group && c.Slot() == slot) return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t TI2CVirtualControl::FindGroup(int32_t device, int32_t group) const {
    for (size_t i = 0; i < Groups.size(); ++i)
        if (Groups[i]->Device() == device && Groups[i]->Group() == group) return static_cast<int32_t>(i);
    return -1;
}

TI2CVirtualMaster* TI2CVirtualControl::GetVirtualMaster(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(VirtualMasters.size())) return nullptr;
    return VirtualMasters[static_cast<size_t>(index)].Master.get();
}

void TI2CVirtualControl::ClearChannels() {
    Channels.clear();
    CurrentChannel = 0;
}

void TI2CVirtualControl::ClearGroups() {
    Groups.clear();
}

void TI2CVirtualControl::ClearVirtualMasters() {
    VirtualMasters.clear();
}

// --- scan ---

bool TI2CVirtualControl::CloseAll() {
    AdvanceGeneration();
    ClearChannels();
    ClearGroups();
    ClearVirtualMasters();
    ClearMasters();
    return true;
}

bool TI2CVirtualControl::Scan() {
    try {
        CloseAll();
        if (ScanTargets.Empty()) return false;
        int32_t count = 0;
        for (size_t i = 0; i < ScanTargets.Count(); ++i) {
            if (i >= static_cast<size_t>(kMaxDevices)) {
                Log(0, Format("[VRT] maximum number of virtual devices (%d) reached.", kMaxDevices));
                break;
            }
            AddTarget(ScanTargets[i], count);
        }
        Log(0, Format("[VRT] device status: %d device(s) found", count));
        return true;
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("Error on adding virtual device:\r\n") + e.what());
    }
}

void TI2CVirtualControl::AddTarget(const std::string& target, int32_t& count) {
    const std::string wrongSyntax =
        "[VRT] wrong syntax for creating virtual device (" + target + ") - skipped.";
    const size_t hyphen = target.find('-');
    if (hyphen == std::string::npos || target.find(':') == std::string::npos) {
        Log(0, wrongSyntax);
        return;
    }
    const std::string name = target.substr(0, hyphen);
    const std::string_view rest = std::string_view(target).substr(hyphen + 1);
    const size_t colon = rest.find(':');
    const auto channels = ParseDecimal(rest.substr(0, colon));
    const auto version =
        colon == std::string_view::npos ? std::nullopt : ParseDecimal(rest.substr(colon + 1));
    if (!channels || !version) {
        Log(0, wrongSyntax);
        return;
    }
    if (*channels < kMinChannels || *channels > kMaxChannels || *version < kMinVersion ||
        *version > kMaxVersion) {
        Log(0, "[VRT] wrong channel/version value for creating virtual device (" + target + ") - skipped.");
        return;
    }

    VirtualMasters.push_back({name, std::make_unique<TI2CVirtualMaster>(name, *channels, *version, count)});
    AddMaster(std::make_unique<TI2CMaster>(Format("VD %2.2d-%2.2d", count, *channels), count));
    for (int32_t c = 0; c < *channels; ++c) {
        if (c % kGroupSize == 0)
            Groups.push_back(std::make_unique<TI2CVirtualChannelGroup>(
                Format("%s_channelgroup_%2.2d", name, c / kGroupSize), count, c / kGroupSize));
        Channels.push_back(
            std::make_unique<TI2CVirtualChannel>(Format("%s_channel_%2.2d", name, c), count, c));
    }
    ++count;
}

// --- multiplexers ---

void TI2CVirtualControl::UpdateSelection(int32_t index) {
    CurrentChannel = FindChannel(index, GroupMux, SlotMux);
    CurrentGroup = FindGroup(index, GroupMux);
}

void TI2CVirtualControl::WriteMux(int32_t index, uint8_t addr, uint8_t value) {
    switch (addr) {
    case kPathMuxAddress:
        PathMux = value - kPathMuxBase;
        break;
    case kSlotMuxAddress:
        SlotMux = value - kSlotMuxBase;
        break;
    // The lowest set bit names the group; no bit selects none.
    case kGroupMuxAddress:
        GroupMux = value == 0 ? -1 : std::countr_zero(value);
        break;
    default:
        return;
    }
    UpdateSelection(index);
}

uint8_t TI2CVirtualControl::ReadMux(uint8_t addr) const {
    // The control byte each multiplexer holds, as a write to it sets it.
    switch (addr) {
    case kPathMuxAddress:
        return static_cast<uint8_t>(PathMux + kPathMuxBase);
    case kSlotMuxAddress:
        return static_cast<uint8_t>(SlotMux + kSlotMuxBase);
    case kGroupMuxAddress:
        return GroupMux >= 0 && GroupMux < 8 ? static_cast<uint8_t>(1u << GroupMux) : uint8_t{0};
    default:
        return 0;
    }
}

TI2CResult TI2CVirtualControl::SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    I2CLog(5, "transmitted SETMUX ...");
    // The model passes group and slot as numbers and the path as 4 + path.
    GroupMux = ondrixMux;
    SlotMux = channelMux;
    PathMux = pathMux - kPathMuxBase;
    UpdateSelection(index);
    return TI2CResult::irOK;
}

// --- I2C accesses ---

void TI2CVirtualControl::Pause() {
    MainLoop().Sleep(kAccessPauseMs);
}

TSimAccess TI2CVirtualControl::Access(int32_t index, uint8_t addr) const {
    TSimAccess a;
    a.Device = index;
    a.Address = addr;
    if (CurrentChannel >= 0 && static_cast<size_t>(CurrentChannel) < Channels.size()) {
        const auto& c = *Channels[static_cast<size_t>(CurrentChannel)];
        a.ChannelDevice = c.Device();
        a.Group = c.Group();
        a.Slot = c.Slot();
    }
    return a;
}

TI2CVirtualChannel* TI2CVirtualControl::SelectedChannel() {
    if (CurrentChannel >= 0 && static_cast<size_t>(CurrentChannel) < Channels.size())
        return Channels[static_cast<size_t>(CurrentChannel)].get();
    Error(Format("invalid channel: %d", CurrentChannel));
    return nullptr;
}

TSimChip* TI2CVirtualControl::ChannelChip(TI2CVirtualChannel& channel, const TSimAccess& access) {
    if (peer_ != nullptr)
        if (TSimChip* chip = peer_->Route(access)) return chip;
    if (TSimChip* chip = channel.Chip(access.Address)) return chip;
    const int32_t g = FindGroup(channel.Device(), channel.Group());
    if (g >= 0) return Groups[static_cast<size_t>(g)]->Chip(access.Address);
    return nullptr;
}

TI2CResult TI2CVirtualControl::ApplyWrite(int32_t index, uint8_t addr, std::span<const uint8_t> bytes) {
    const TSimAccess access = Access(index, addr);
    if (addr == TI2CVirtualMaster::kMasterFlashAddress || IsMuxAddress(addr)) {
        if (peer_ != nullptr) peer_->Written(access, bytes);
        if (IsMuxAddress(addr))
            WriteMux(index, addr, TSimWriteBuffer(bytes)[0]);
        else
            GetVirtualMaster(index)->MasterFlash().Write(bytes);
    } else {
        TI2CVirtualChannel* channel = SelectedChannel();
        if (channel == nullptr) return TI2CResult::irInvalidDevice;
        if (peer_ != nullptr) peer_->Written(access, bytes);
        if (TSimChip* chip = ChannelChip(*channel, access)) chip->Write(bytes);
    }
    Pause();
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    const auto bytes = ParseHexText(hexText);
    if (!bytes) {
        Error("invalid write value: " + std::string(hexText));
        return TI2CResult::irInvalidWriteValue;
    }
    I2CLog(5, Format("transmitted WRITEI2C to SlvAdr %d [$%2.2x] ...", addr, addr));
    return ApplyWrite(index, addr, *bytes);
}

TI2CResult TI2CVirtualControl::WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    if (data.size() < kMinBlockLength || data.size() > kMaxBlockLength) {
        Error(Format("invalid write length: %d", data.size()));
        return TI2CResult::irInvalidWriteLength;
    }
    I2CLog(5, Format("transmitted WRITEI2CBlock to SlvAdr %d [$%2.2x] ...", addr, addr));
    return ApplyWrite(index, addr, data);
}

TI2CResult TI2CVirtualControl::ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    if (len > kMaxReadLength) {
        Error(Format("invalid read length: %d", len));
        return TI2CResult::irInvalidReadLength;
    }
    // A chip that delivers nothing leaves zeros.
    std::array<uint8_t, kMaxReadLength> bytes{};
    const std::span<uint8_t> read(bytes.data(), len);
    if (addr == TI2CVirtualMaster::kMasterFlashAddress) {
        GetVirtualMaster(index)->MasterFlash().Read(read);
    } else if (IsMuxAddress(addr)) {
        if (!read.empty()) read[0] = ReadMux(addr);
    } else {
        TI2CVirtualChannel* channel = SelectedChannel();
        if (channel == nullptr) return TI2CResult::irInvalidDevice;
        if (TSimChip* chip = ChannelChip(*channel, Access(index, addr))) chip->Read(read);
    }
    std::copy_n(bytes.begin(), std::min<size_t>(len, buf.size()), buf.begin());
    Pause();
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText,
                                            uint16_t len, std::span<uint8_t> buf) {
    const TI2CResult r = WriteI2C(index, addr, hexText);
    if (r != TI2CResult::irOK) return r;
    Pause();
    return ReadI2C(index, addr, len, buf);
}

TI2CResult TI2CVirtualControl::WriteSeq(int32_t index, uint8_t seqId, const TI2CBuffer& data, uint8_t len,
                                        TI2CBuffer& answer) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    if (len > kMaxReadLength) {
        Error(Format("invalid read length: %d", len));
        return TI2CResult::irInvalidReadLength;
    }
    TI2CVirtualChannel* channel = SelectedChannel();
    if (channel == nullptr) return TI2CResult::irInvalidDevice;
    answer.fill(0);
    channel->RunSequence(seqId, data, answer, [](int ms) { MainLoop().Sleep(static_cast<uint32_t>(ms)); });
    Pause();
    return TI2CResult::irOK;
}

// --- device-level operations ---

TI2CResult TI2CVirtualControl::GetSCL(int32_t index, int32_t& hz) {
    hz = -1;
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    hz = GetVirtualMaster(index)->SCL;
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::SetSCL(int32_t index, int32_t hz) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    if (hz < kMinSCL || hz > kMaxSCL) {
        Error(Format("invalid SCL: %d", hz));
        return TI2CResult::irInvalidValue;
    }
    GetVirtualMaster(index)->SCL = hz;
    I2CLog(5, "transmitted SETSCLHL ...");
    I2CLog(3, Format("received new SCL: %d Hz", hz));
    Pause();
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::ScanI2C(int32_t index, std::string& list) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    list.clear();
    I2CLog(5, "transmitted SCANI2C ...");
    Pause();
    if (CurrentChannel != -1 && CurrentGroup != -1) list = GetVirtualMaster(index)->AddressList();
    I2CLog(3, "received I2CScan results: " + list);
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::ScanI2CMux(int32_t index, std::vector<std::string>& list) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    list.clear();
    I2CLog(5, "transmitted ScanI2CMux ...");
    const int32_t channels = GetVirtualMaster(index)->Channels();
    for (int32_t c = 0; c < channels; ++c)
        list.push_back(Format("%d%d", c / kGroupSize, c % kGroupSize));
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::WriteChannel(int32_t index, uint8_t, uint8_t, const TRegisterImage&,
                                            TI2CBuffer&) {
    return CheckIndex(index) ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CVirtualControl::SaveAllConfig(int32_t index, uint8_t) {
    return CheckIndex(index) ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CVirtualControl::SetChannelInfo(int32_t index, int32_t, const TChannelInfo&) {
    return CheckIndex(index) ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CVirtualControl::SetDCDCInfo(int32_t index, const TDCDCInfo&) {
    return CheckIndex(index) ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CVirtualControl::SetDCDCClock(int32_t index, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {
    return CheckIndex(index) ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CVirtualControl::SetIRQ(int32_t index, uint8_t) {
    return CheckIndex(index) ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CVirtualControl::GetDeviceInfo(int32_t index, TDeviceInfo& info) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    const auto channels = static_cast<uint8_t>(GetVirtualMaster(index)->Channels());
    info.Error = 0;
    info.Parts = kDeviceParts;
    info.Status = 0;
    info.AvailableChannels = channels;
    info.ActiveChannels = channels;
    info.State = kDeviceStateRunning;
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::GetChannelInfo(int32_t index, TChannelInfoBlock& block) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    const TRegisterImage image = DefaultRegisterImage(kSimulatedHardwareRow);
    const int32_t slots = std::min<int32_t>(GetVirtualMaster(index)->Channels(), kSlotCount);
    for (int32_t s = 0; s < slots; ++s) {
        TChannelInfoSlot& slot = block.Slots[static_cast<size_t>(s)];
        slot.Present = 1;
        slot.Fitted = 1;
        slot.ADC8Status = 0;
        slot.ADC8LowVal = kSlotADC8LowVal;
        slot.SlotFlag = 0;
        slot.HasADC18 = 1;
        slot.Current = image;
        slot.HasCalibTable = 1;
        slot.Reserved25 = {};
        TChannelInfo& info = slot.Info;
        info.Version = kInfoVersion;
        info.Reserved1 = kInfoBytes1To7;
        info.ADC8StatVal = 0;
        info.ADC8LowVal = 0;
        info.Serial = SimSerial(index, s);
        info.Features = kInfoFeatures;
        info.Reserved13 = {};
        ApplyDefaultChannelInfo(info, kSimulatedHardwareRow);
        info.Stored = image;
        info.FilterType = kInfoFilterType;
    }
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::GetDCDCInfo(int32_t index, TDCDCInfo& info) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    for (size_t s = 0; s < kSlotCount; ++s) {
        info.Entries[s].Present = 1;
        info.Entries[s].Series = kDCDCSeries;
        info.Entries[s].Serial = SimSerial(index, static_cast<int32_t>(s));
    }
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::GetChannelCalibTable(int32_t index, uint8_t, TChannelCalibTable&) {
    return CheckIndex(index) ? TI2CResult::irOK : TI2CResult::irInvalidDevice;
}

TI2CResult TI2CVirtualControl::GetMasterflash(int32_t index, TMasterFlash& flash) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    const auto& image = GetVirtualMaster(index)->Image;
    TMasterFlash::Decode(image.data(), image.size(), flash);
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::SetMasterflash(int32_t index, const TMasterFlash& flash) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    static_assert(TMasterFlash::Size == kMasterFlashImageSize);
    flash.Encode(GetVirtualMaster(index)->Image.data());
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::GetDeviceADC8(int32_t index, TDeviceADC8& status, bool&) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    status.Status.fill(kADC8AllSet);
    return TI2CResult::irOK;
}

TI2CResult TI2CVirtualControl::SetFan(int32_t index, uint8_t speed) {
    if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
    if (speed > kMaxFanSpeed) {
        Error(Format("invalid speed: %d", speed));
        return TI2CResult::irInvalidSpeed;
    }
    GetVirtualMaster(index)->FanSpeed = speed;
    return TI2CResult::irOK;
}

void TI2CVirtualControl::GetDeviceName(int32_t index, std::string& text) {
    if (CheckIndex(index, text)) text = Format("Virtual Controler #%d", index);
}

void TI2CVirtualControl::GetVendor(int32_t index, std::string& text) {
    if (CheckIndex(index, text)) text = "QRB GmbH";
}

void TI2CVirtualControl::GetModel(int32_t index, std::string& text) {
    if (CheckIndex(index, text)) text = "VC";
}

void TI2CVirtualControl::GetVersion(int32_t index, std::string& text) {
    if (CheckIndex(index, text)) text = Format("%d", 2200 + index);
}

uint16_t TI2CVirtualControl::IsDeviceValid(int32_t index) {
    return CheckIndex(index) ? 1 : 0;
}

bool TI2CVirtualControl::GetDeviceLockState(int32_t index) {
    CheckIndex(index);
    return LockState;
}

TI2CResult TI2CVirtualControl::SetDeviceLockState(int32_t index, bool locked) {
    if (!CheckIndex(index, TBadIndexReport::brSilent)) return TI2CResult::irInvalidDevice;
    LockState = locked;
    return TI2CResult::irOK;
}

void TI2CVirtualControl::GetFWVersion(int32_t index, TFWVersion& version, std::string& text) {
    if (!CheckIndex(index, version, text)) return;
    version.Components = kFWVersion;
    text = "FW: <simulator>";
}

void TI2CVirtualControl::KeepAliveTimer(const void*) {}

} // namespace qrb::device
