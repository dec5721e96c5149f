#pragma once
// The transport of offline mode: simulated amplifiers built from scan targets
// "name-channels:version", whose I2C accesses land in the simulated chips.

#include "device/I2CControl.h"
#include "device/sim/SimChip.h"
#include "device/sim/SimChips.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

// One I2C access as the simulated transport sees it.
struct TSimAccess {
    int32_t Device = -1; // the index the operation named
    uint8_t Address = 0;
    // Device, group and slot of the selected channel (the selection is global to the
    // transport, so its device may differ from Device); -1 when no channel is selected.
    int32_t ChannelDevice = -1;
    int32_t Group = -1;
    int32_t Slot = -1;
};

// Test seam: chips of the caller's own behind chosen addresses, and a record of every write.
class TSimPeer {
public:
    virtual ~TSimPeer() = default;
    // The chip that answers a channel-level access in place of the simulated chips, or null.
    virtual TSimChip* Route(const TSimAccess& access) = 0;
    // Every I2C write the transport applies (device-level ones included), before it is applied.
    virtual void Written(const TSimAccess& access, std::span<const uint8_t> bytes) = 0;
};

class TI2CVirtualControl : public TI2CControl {
public:
    static constexpr int32_t kMaxDevices = 8;
    static constexpr size_t kMaxReadLength = 128;
    static constexpr size_t kMinBlockLength = 2;
    static constexpr size_t kMaxBlockLength = 131;
    static constexpr uint8_t kPathMuxAddress = 0x70;
    static constexpr uint8_t kSlotMuxAddress = 0x71;
    static constexpr uint8_t kGroupMuxAddress = 0x72;

    TI2CVirtualControl();
    ~TI2CVirtualControl() override;

    struct TVirtualMasterEntry {
        std::string Name; // the target's name part
        std::unique_ptr<TI2CVirtualMaster> Master;
    };

    // Fields. Positions in VirtualMasters are device indices, parallel to Masters.
    std::vector<TVirtualMasterEntry> VirtualMasters;
    std::vector<std::unique_ptr<TI2CVirtualChannel>> Channels; // all devices, creation order
    std::vector<std::unique_ptr<TI2CVirtualChannelGroup>> Groups;
    int32_t SlotMux = 0;
    int32_t GroupMux = 0; // -1: the group multiplexer selects none
    int32_t PathMux = 0;
    bool LockState = false;     // one front-panel lock for all simulated devices
    int32_t CurrentChannel = 0; // position in Channels, -1 when none matches
    int32_t CurrentGroup = 0;   // position in Groups, -1 when none matches

    int32_t FindChannel(int32_t device, int32_t group, int32_t slot) const;
    int32_t FindGroup(int32_t device, int32_t group) const;
    TI2CVirtualMaster* GetVirtualMaster(int32_t index) const;
    void ClearChannels();
    void ClearGroups();
    void ClearVirtualMasters();

    // Test seam (not owned; null removes it).
    void SetPeer(TSimPeer* peer) { peer_ = peer; }

    bool Scan() override;
    bool CloseAll() override;
    TI2CResult GetSCL(int32_t index, int32_t& hz) override;
    TI2CResult SetSCL(int32_t index, int32_t hz) override;
    TI2CResult ScanI2C(int32_t index, std::string& list) override;
    TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) override;
    TI2CResult WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) override;
    TI2CResult ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) override;
    TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                            std::span<uint8_t> buf) override;
    TI2CResult ScanI2CMux(int32_t index, std::vector<std::string>& list) override;
    TI2CResult WriteSeq(int32_t index, uint8_t seqId, const TI2CBuffer& data, uint8_t len,
                        TI2CBuffer& answer) override;
    TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal, const TRegisterImage& image,
                            TI2CBuffer& answer) override;
    TI2CResult SaveAllConfig(int32_t index, uint8_t channel) override;
    TI2CResult GetDeviceInfo(int32_t index, TDeviceInfo& info) override;
    TI2CResult GetChannelInfo(int32_t index, TChannelInfoBlock& block) override;
    TI2CResult SetChannelInfo(int32_t index, int32_t channel, const TChannelInfo& info) override;
    TI2CResult GetDCDCInfo(int32_t index, TDCDCInfo& info) override;
    TI2CResult SetDCDCInfo(int32_t index, const TDCDCInfo& info) override;
    TI2CResult SetDCDCClock(int32_t index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                            uint8_t b4) override;
    TI2CResult GetChannelCalibTable(int32_t index, uint8_t channel, TChannelCalibTable& table) override;
    TI2CResult GetMasterflash(int32_t index, TMasterFlash& flash) override;
    TI2CResult SetMasterflash(int32_t index, const TMasterFlash& flash) override;
    TI2CResult GetDeviceADC8(int32_t index, TDeviceADC8& status, bool& changed) override;
    TI2CResult SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) override;
    TI2CResult SetFan(int32_t index, uint8_t speed) override;
    TI2CResult SetIRQ(int32_t index, uint8_t mode) override;
    void GetDeviceName(int32_t index, std::string& text) override;
    void GetVendor(int32_t index, std::string& text) override;
    void GetModel(int32_t index, std::string& text) override;
    void GetVersion(int32_t index, std::string& text) override;
    uint16_t IsDeviceValid(int32_t index) override;
    bool GetDeviceLockState(int32_t index) override;
    TI2CResult SetDeviceLockState(int32_t index, bool locked) override;
    void GetFWVersion(int32_t index, TFWVersion& version, std::string& text) override;
    void KeepAliveTimer(const void* sender) override;

private:
    void AddTarget(const std::string& target, int32_t& count);
    // Selection store of one multiplexer write, then the lookup of channel and group.
    void WriteMux(int32_t index, uint8_t addr, uint8_t value);
    void UpdateSelection(int32_t index);
    uint8_t ReadMux(uint8_t addr) const;
    TSimAccess Access(int32_t index, uint8_t addr) const;
    // The selected channel, or null after reporting "invalid channel: ".
    TI2CVirtualChannel* SelectedChannel();
    // The chip a channel-level access reaches, or null when none answers.
    TSimChip* ChannelChip(TI2CVirtualChannel& channel, const TSimAccess& access);
    TI2CResult ApplyWrite(int32_t index, uint8_t addr, std::span<const uint8_t> bytes);
    static void Pause();

    TSimPeer* peer_ = nullptr;
};

} // namespace qrb::device
