#include "device/I2CHAL.h"

#include "device/Format.h"
#include "device/StringList.h"

#include <algorithm>

namespace qrb::device {

namespace {
const char kCreateError[] =
    "Error on creating I2C HAL/Fehler beim Erstellen der I2C Abstraktionsschicht:\r\n";
const char kScanError[] = "Error while scanning devices:";

std::unique_ptr<TI2CControl> Create(const std::function<std::unique_ptr<TI2CControl>()>& make) {
    return make ? make() : nullptr;
}
} // namespace

TI2CHAL::TI2CHAL(TInterfaceMask interfaces, bool scanNow, const TI2CTransportFactory& factory)
    : interfaces_(interfaces) {
    try {
        lan_ = Create(factory.CreateLAN);
        usb_ = Create(factory.CreateUSB);
        virtual_ = Create(factory.CreateVirtual);
    } catch (const std::exception& e) {
        throw EI2CHALError(kCreateError + std::string(e.what()));
    } catch (...) {
        throw EI2CHALError(kCreateError);
    }
    for (const TTransport& t : Transports())
        if (t.Control) Hook(*t.Control);
    if (scanNow) ScanDevices();
}

TI2CHAL::~TI2CHAL() {
    try {
        ClearDevices();
    } catch (...) {
        // A transport that fails to close must not end the process while it is torn down.
    }
    lan_.reset();
    usb_.reset();
    virtual_.reset();
}

std::vector<TI2CHAL::TTransport> TI2CHAL::Transports() const {
    return {
        {lan_.get(), TInterfaceKind::ikLAN, TInterfaceMask::imLAN,
         "Unable to connect to LAN/Keine Verbindung zum Netzwerk möglich!"},
        {usb_.get(), TInterfaceKind::ikUSB, TInterfaceMask::imUSB,
         "Unable to connect to USB/Keine USB Verbindung möglich!"},
        {virtual_.get(), TInterfaceKind::ikOffline, TInterfaceMask::imOffline,
         "Unable to create virtual device/Virtuelles Gerät kann nicht erstellt werden!"},
    };
}

TI2CControl* TI2CHAL::ControlFor(TInterfaceKind kind) const {
    switch (kind) {
    case TInterfaceKind::ikUSB:
        return usb_.get();
    case TInterfaceKind::ikLAN:
        return lan_.get();
    case TInterfaceKind::ikOffline:
        return virtual_.get();
    default:
        return nullptr;
    }
}

void TI2CHAL::Hook(TI2CControl& control) {
    control.OnDeviceChange = [this](const void* sender) {
        if (OnDeviceChange) OnDeviceChange(sender);
    };
    control.OnLog = [this](const void* sender, const std::string& text) {
        if (OnLog) OnLog(sender, text);
    };
    control.OnDeviceLost = [this](const void* sender, const std::string& text) {
        if (OnDeviceLost) OnDeviceLost(sender, text);
    };
    control.OnI2CLog = [this](const void* sender, const std::string& text) {
        if (OnI2CLog) OnI2CLog(sender, text);
    };
    control.OnError = [this](const void* sender, const std::string& text) {
        if (OnError) OnError(sender, text);
    };
    control.OnIRQ = [this](const void* sender, int32_t index, const TIRQMessage* data) {
        ControlIRQ(sender, index, data);
    };
}

void TI2CHAL::ControlIRQ(const void* sender, int32_t index, const TIRQMessage* data) {
    if (!OnIRQ || sender == nullptr) return;
    const TTransport* from = nullptr;
    const auto transports = Transports();
    for (const TTransport& t : transports)
        if (t.Control == sender) from = &t;
    if (from == nullptr) return;
    for (size_t pos = 0; pos < devices_.size(); ++pos) {
        if (devices_[pos]->Kind == from->Kind && devices_[pos]->Index == index) {
            OnIRQ(sender, static_cast<int32_t>(pos), data);
            return;
        }
    }
}

void TI2CHAL::SetLogLevel(int32_t level) {
    for (const TTransport& t : Transports())
        if (t.Control) t.Control->LogLevel = level;
}

void TI2CHAL::SetI2CLogLevel(int32_t level) {
    for (const TTransport& t : Transports())
        if (t.Control) t.Control->I2CLogLevel = level;
}

int32_t TI2CHAL::AddScanTarget(std::string_view target, TInterfaceMask mask) {
    int32_t result = -1;
    for (const TTransport& t : Transports())
        if (t.Control && mask.Has(t.MaskBit) && interfaces_.Has(t.MaskBit))
            result = static_cast<int32_t>(t.Control->ScanTargets.Add(target));
    return result;
}

void TI2CHAL::ClearScanTargets() {
    for (const TTransport& t : Transports())
        if (t.Control) t.Control->ScanTargets.Clear();
}

void TI2CHAL::ClearScanTargets2() {
    for (const TTransport& t : Transports())
        if (t.Control) t.Control->ScanTargets2.Clear();
}

int32_t TI2CHAL::SetKeepAlive(bool enable) {
    for (const TTransport& t : Transports())
        if (t.Control && interfaces_.Has(t.MaskBit)) t.Control->SetKeepAlive(enable);
    return 0;
}

const TI2CDevice* TI2CHAL::GetDevice(int32_t device) const {
    if (device < 0 || device >= DeviceCount()) return nullptr;
    return devices_[static_cast<size_t>(device)].get();
}

void TI2CHAL::ClearDevices() {
    for (const TTransport& t : Transports())
        if (t.Control) t.Control->CloseAll();
    devices_.clear();
}

void TI2CHAL::AddDevice(std::unique_ptr<TI2CDevice> device) {
    auto pos = std::lower_bound(devices_.begin(), devices_.end(), device->Name,
                                [](const std::unique_ptr<TI2CDevice>& d, const std::string& name) {
                                    return CompareText(d->Name, name) < 0;
                                });
    if (pos != devices_.end() && SameText((*pos)->Name, device->Name)) return; // the first one stays
    devices_.insert(pos, std::move(device));
}

int32_t TI2CHAL::ScanDevices() {
    try {
        if (OnScanStart) OnScanStart(this);
        ClearDevices();
        for (const TTransport& t : Transports()) {
            if (!interfaces_.Has(t.MaskBit)) continue;
            if (t.Control == nullptr) throw EI2CHALError(t.MissingText);
            TI2CControl& c = *t.Control;
            c.Scan();
            for (int32_t i = 0; i < c.MasterCount(); ++i) {
                c.SetIRQ(i, 2);
                const TMasterEntry& m = c.Masters[static_cast<size_t>(i)];
                auto device = std::make_unique<TI2CDevice>(m.Name, m.Master ? m.Master->Index : i, t.Kind);
                c.GetDeviceName(i, device->DeviceName);
                c.GetModel(i, device->Model);
                c.GetVendor(i, device->Vendor);
                c.GetVersion(i, device->Version);
                device->Valid = c.IsDeviceValid(i);
                AddDevice(std::move(device));
            }
        }
        if (OnScanEnd) OnScanEnd(this, DeviceCount());
        return DeviceCount();
    } catch (const std::exception& e) {
        throw EI2CHALError(kScanError + std::string(e.what()));
    } catch (...) {
        throw EI2CHALError(kScanError);
    }
}

template <class F> TI2CResult TI2CHAL::Route(int32_t device, F&& call) {
    const TI2CDevice* d = GetDevice(device);
    if (d == nullptr) return TI2CResult::irInvalidDevice;
    TI2CControl* c = ControlFor(d->Kind);
    if (c == nullptr) return TI2CResult::irUnknownInterface;
    const TI2CResult result = call(*c, d->Index);
    if (result == TI2CResult::irNoAnswer && OnNoAnswer) OnNoAnswer(device);
    return result;
}

template <class F> TI2CResult TI2CHAL::RouteWrite(const char* operation, int32_t device, F&& call) {
    if (writesRefused_ && writeAllowances_ == 0) {
        // Not a device fault: nothing is retried and no device counts as lost.
        if (OnLog)
            OnLog(this,
                  Format("[ERR] %s to device %2.2d refused: the program ends", {operation, device + 1}));
        return TI2CResult::irTransferFailed;
    }
    return Route(device, std::forward<F>(call));
}

TI2CResult TI2CHAL::SetFan(int32_t device, uint8_t speed) {
    return RouteWrite("SetFan", device, [&](TI2CControl& c, int32_t i) { return c.SetFan(i, speed); });
}
TI2CResult TI2CHAL::SetMux(int32_t device, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) {
    return RouteWrite("SetMux", device,
                      [&](TI2CControl& c, int32_t i) { return c.SetMux(i, ondrixMux, channelMux, pathMux); });
}
TI2CResult TI2CHAL::WriteI2C(int32_t device, uint8_t addr, std::string_view hexText) {
    return RouteWrite("WriteI2C", device,
                      [&](TI2CControl& c, int32_t i) { return c.WriteI2C(i, addr, hexText); });
}
TI2CResult TI2CHAL::WriteI2CBlock(int32_t device, uint8_t addr, std::span<const uint8_t> data) {
    return RouteWrite("WriteI2CBlock", device,
                      [&](TI2CControl& c, int32_t i) { return c.WriteI2CBlock(i, addr, data); });
}
TI2CResult TI2CHAL::ReadI2C(int32_t device, uint8_t addr, uint16_t len, std::span<uint8_t> buf) {
    return Route(device, [&](TI2CControl& c, int32_t i) { return c.ReadI2C(i, addr, len, buf); });
}
TI2CResult TI2CHAL::WriteReadI2C(int32_t device, uint8_t addr, std::string_view hexText, uint16_t len,
                                 std::span<uint8_t> buf) {
    return RouteWrite("WriteReadI2C", device,
                      [&](TI2CControl& c, int32_t i) { return c.WriteReadI2C(i, addr, hexText, len, buf); });
}
TI2CResult TI2CHAL::WriteChannel(int32_t device, uint8_t channel, uint8_t adc8LowVal,
                                 const TRegisterImage& image, TI2CBuffer& answer) {
    return RouteWrite("WriteChannel", device, [&](TI2CControl& c, int32_t i) {
        return c.WriteChannel(i, channel, adc8LowVal, image, answer);
    });
}
TI2CResult TI2CHAL::SaveAllConfig(int32_t device, uint8_t channel) {
    return RouteWrite("SaveAllConfig", device,
                      [&](TI2CControl& c, int32_t i) { return c.SaveAllConfig(i, channel); });
}
TI2CResult TI2CHAL::GetDeviceInfo(int32_t device, TDeviceInfo& info) {
    return Route(device, [&](TI2CControl& c, int32_t i) { return c.GetDeviceInfo(i, info); });
}
TI2CResult TI2CHAL::GetChannelInfo(int32_t device, TChannelInfoBlock& block) {
    return Route(device, [&](TI2CControl& c, int32_t i) { return c.GetChannelInfo(i, block); });
}
TI2CResult TI2CHAL::SetChannelInfo(int32_t device, int32_t channel, const TChannelInfo& info) {
    return RouteWrite("SetChannelInfo", device,
                      [&](TI2CControl& c, int32_t i) { return c.SetChannelInfo(i, channel, info); });
}
TI2CResult TI2CHAL::GetDCDCInfo(int32_t device, TDCDCInfo& info) {
    return Route(device, [&](TI2CControl& c, int32_t i) { return c.GetDCDCInfo(i, info); });
}
TI2CResult TI2CHAL::GetChannelCalibTable(int32_t device, uint8_t channel, TChannelCalibTable& table) {
    return Route(device,
                 [&](TI2CControl& c, int32_t i) { return c.GetChannelCalibTable(i, channel, table); });
}
TI2CResult TI2CHAL::GetMasterflash(int32_t device, TMasterFlash& flash) {
    return Route(device, [&](TI2CControl& c, int32_t i) { return c.GetMasterflash(i, flash); });
}
TI2CResult TI2CHAL::SetMasterflash(int32_t device, const TMasterFlash& flash) {
    return RouteWrite("SetMasterflash", device,
                      [&](TI2CControl& c, int32_t i) { return c.SetMasterflash(i, flash); });
}
TI2CResult TI2CHAL::GetDeviceADC8(int32_t device, TDeviceADC8& status, bool& changed) {
    return Route(device, [&](TI2CControl& c, int32_t i) { return c.GetDeviceADC8(i, status, changed); });
}

void TI2CHAL::GetFWVersion(int32_t device, TFWVersion& version, std::string& text) {
    text = "FW: <invalid>";
    Route(device, [&](TI2CControl& c, int32_t i) {
        c.GetFWVersion(i, version, text);
        return TI2CResult::irOK;
    });
}

TI2CResult TI2CHAL::SetDeviceLockState(int32_t device, bool locked) {
    if (GetDevice(device) == nullptr) return TI2CResult::irUnknownInterface;
    return RouteWrite("SetDeviceLockState", device,
                      [&](TI2CControl& c, int32_t i) { return c.SetDeviceLockState(i, locked); });
}

} // namespace qrb::device
