#include "device/lan/I2CLANControl.h"

#include "device/Format.h"
#include "device/lan/LanSocket.h"

#include <exception>
#include <stdexcept>

namespace qrb::device {

TI2CLANControl::TI2CLANControl() {
    LogLevel = 0;
    I2CLogLevel = 0;
    SetKeepAlive(false);
}

TI2CLANControl::~TI2CLANControl() {
    SetKeepAlive(false);
    CloseAllSockets();
}

// ---- connections ---------------------------------------------------------------------------

void TI2CLANControl::CloseAllSockets() {
    // Each connection stops, shuts down and joins its reader before it closes.
    devices_.clear();
}

TI2CSocket* TI2CLANControl::FindSocket(const std::string& host) {
    for (auto& [name, socket] : devices_)
        if (SameText(name, host)) return socket.get();
    return nullptr;
}

void TI2CLANControl::SocketConnect(const TI2CSocket& socket) {
    Log(0, Format("[LAN] connected to %s at port %s.", socket.RemoteHost(), socket.RemotePort()));
}

void TI2CLANControl::PostLoss(uint64_t generation, const std::string& host) {
    MainLoop().Post(lifetime_, [this, generation, host] { ConnectionLost(generation, host); });
}

void TI2CLANControl::ConnectionLost(uint64_t generation, const std::string& host) {
    if (generation != ScanGeneration()) return; // a connection of an earlier scan
    TI2CSocket* socket = FindSocket(host);
    if (socket == nullptr || socket->LossReported) return;
    socket->LossReported = true;
    SetKeepAlive(false);
    DeviceLost(socket->RemoteHost());
}

bool TI2CLANControl::Knock(const std::string& host, int32_t port) {
    if (port < 1 || port > 65535) return false;
    lan::TFd probe = lan::ConnectTcp(host, static_cast<uint16_t>(port), Deadlines.KnockMs);
    return probe.Valid();
}

bool TI2CLANControl::RequestInfo(const std::string& host, const std::string& portText, TInfoAnswer& answer) {
    answer = TInfoAnswer{};
    int32_t port = 0;
    int64_t infoPort = 0;
    if (TryStrToInt(portText, port)) {
        infoPort = static_cast<int64_t>(port) + 1;
    } else {
        Log(0, Format("[LAN] info reqeust error: invalid port %s.", portText));
    }
    if (infoPort < 1 || infoPort > 65534) {
        Log(0, Format("[LAN] info reqeust error: invalid port %d.", infoPort));
        return false;
    }
    if (!Knock(host, static_cast<int32_t>(infoPort))) {
        Log(0, Format("[LAN] no answer at %s on port %d.", host, infoPort));
        return false;
    }
    lan::TFd client = lan::ConnectTcp(host, static_cast<uint16_t>(infoPort), Deadlines.InfoConnectMs);
    if (!client.Valid()) return false;
    const auto request = TInfoRequest::Encode();
    if (!lan::SendAll(client.Get(), request.data(), request.size(), lan::TDeadline(Deadlines.InfoConnectMs)))
        return false;
    uint8_t raw[TInfoAnswer::Size] = {};
    size_t got = lan::ReceiveUpTo(client.Get(), raw, sizeof raw, lan::TDeadline(Deadlines.InfoReceiveMs));
    if (got != TInfoAnswer::Size) return false;
    return TInfoAnswer::Decode(raw, got, answer);
}

// ---- scan ------------------------------------------------------------------------------------

bool TI2CLANControl::Scan() {
    try {
        return ScanTargetsNow();
    } catch (const std::exception& e) {
        throw std::runtime_error(
            std::string("Fehler beim Scannen des LAN/Error on scanning of Network:\r\n") + e.what());
    }
}

bool TI2CLANControl::ScanTargetsNow() {
    SetKeepAlive(false);
    CloseAll();
    if (ScanTargets.Empty()) return false;
    for (const std::string& target : ScanTargets) {
        std::string host = target;
        std::string port = target;
        if (size_t colon = target.find(':'); colon != std::string::npos) {
            host = target.substr(0, colon);
            port = target.substr(colon + 1);
        }
        Log(0, Format("[LAN] scanning IP %s at port %s ...", host, port));
        if (FindSocket(host) != nullptr) {
            // Connections are found by host: a second one would take the first one's answers.
            Log(0, Format("[LAN] target %s skipped: %s is already connected.", target, host));
            continue;
        }
        TInfoAnswer info;
        if (!RequestInfo(host, port, info)) {
            Log(0, Format("[LAN] no answer to info request at %s.", host));
            continue;
        }
        if (!info.HolderIs(0, 0, 0, 0)) {
            Log(0, Format("[LAN] device found at %s. Device is already connected to %s", host,
                          info.HolderText()));
            continue;
        }
        const int32_t index = MasterCount();
        std::unique_ptr<TI2CSocket> socket;
        try {
            socket = std::make_unique<TI2CSocket>(host, port, Deadlines.DataConnectMs, *this, index,
                                                  ScanGeneration());
        } catch (const std::exception&) {
            Log(0, Format("[LAN] no device found at %s.", host));
            continue;
        }
        devices_.emplace_back(host, std::move(socket));
        AddMaster(std::make_unique<TI2CMaster>(host, index));
        Log(0, Format("[LAN] device found at %s. QRB730 device (series %d), serial is %5.5d", host,
                      info.Series, info.Serial));
    }
    Log(0, Format("[LAN] device status: %d device(s) found", MasterCount()));
    if (MasterCount() > 0) SetKeepAlive(true);
    return true;
}

bool TI2CLANControl::CloseAll() {
    AdvanceGeneration();
    CloseAllSockets();
    ClearMasters();
    return true;
}

void TI2CLANControl::KeepAliveTimer(const void*) {
    for (auto& [host, socket] : devices_) {
        if (Knock(socket->RemoteHost(), socket->InfoPort())) continue;
        SetKeepAlive(false);
        socket->LossReported = true;
        DeviceLost(socket->RemoteHost());
        return;
    }
}

// ---- the exchange of the command set -----------------------------------------------------------

TWireDevice* TI2CLANControl::TExchange::FindEntry(int index) {
    if (index < 0 || index >= owner_.MasterCount()) return nullptr;
    return owner_.FindSocket(owner_.Masters[static_cast<size_t>(index)].Name);
}

bool TI2CLANControl::TExchange::Exchange(TWireDevice& device, const TCommandBlock& request,
                                         TCommandBlock& answer) {
    return static_cast<TI2CSocket&>(device).Exchange(request, answer, owner_.Deadlines.AnswerMs);
}

// ---- device operations -------------------------------------------------------------------------

TI2CResult TI2CLANControl::GetSCL(int32_t index, int32_t& hz) {
    return commands_.GetSCL(index, hz);
}
TI2CResult TI2CLANControl::SetSCL(int32_t index, int32_t hz) {
    return commands_.SetSCL(index, hz);
}
TI2CResult TI2CLANControl::ScanI2C(int32_t index, std::string& list) {
    return commands_.ScanI2C(index, list);
}
TI2CResult TI2CLANControl::WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) {
    return commands_.WriteI2C(index, addr, hexText);
}
TI2CResult TI2CLANControl::WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) {
    return commands_.WriteI2CBlock(index, addr, data);
}
TI2CResult TI2CLANControl::ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) {
    return commands_.ReadI2C(index, addr, len, buf);
}
TI2CResult TI2CLANControl::WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                                        std::span<uint8_t> buf) {
    return commands_.WriteReadI2C(index, addr, hexText, len, buf);
}
TI2CResult TI2CLANControl::ScanI2CMux(int32_t index, std::vector<std::string>& list) {
    return commands_.ScanI2CMux(index, list);
}
TI2CResult TI2CLANControl::WriteSeq(int32_t index, uint8_t seqId, const TI2CBuffer& data, uint8_t len,
                                    TI2CBuffer& answer) {
    return commands_.WriteSeq(index, seqId, data, len, answer);
}
TI2CResult TI2CLANControl::WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal,
                                        const TRegisterImage& image, TI2CBuffer& answer) {
    return commands_.WriteChannel(index, channel, adc8LowVal, image, answer);
}
TI2CResult TI2CLANControl::SaveAllConfig(int32_t index, uint8_t channel) {
    return commands_.SaveAllConfig(index, channel);
}
TI2CResult TI2CLANControl::GetDeviceInfo(int32_t index, TDeviceInfo& info) {
    return commands_.GetDeviceInfo(index, info);
}
TI2CResult TI2CLANControl::GetChannelInfo(int32_t index, TChannelInfoBlock& block) {
    return commands_.GetChannelInfo(index, block);
}
TI2CResult TI2CLANControl::SetChannelInfo(int32_t index, int32_t channel, const TChannelInfo& info) {
    return commands_.SetChannelInfo(index, channel, info);
}
TI2CResult TI2CLANControl::GetDCDCInfo(int32_t index, TDCDCInfo& info) {
    return commands_.GetDCDCInfo(index, info);
}
TI2CResult TI2CLANControl::SetDCDCInfo(int32_t index, const TDCDCInfo& info) {
    return commands_.SetDCDCInfo(index, info);
}
TI2CResult TI2CLANControl::SetDCDCClock(int32_t index, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                                        uint8_t b4) {
    return commands_.SetDCDCClock(index, b0, b1, b2, b3, b4);
}
TI2CResult TI2CLANControl::GetChannelCalibTable(int32_t index, uint8_t channel, TChannelCalibTable& table) {
    return commands_.GetChannelCalibTable(index, channel, table);
}
TI2CResult TI2CLANControl::GetMasterflash(int32_t index, TMasterFlash& flash) {
    return commands_.GetMasterflash(index, flash);
}
TI2CResult TI2CLANControl::SetMasterflash(int32_t index, const TMasterFlash& flash) {
    return commands_.SetMasterflash(index, flash);
}
TI2CResult TI2CLANControl::GetDeviceADC8(int32_t index, TDeviceADC8& status, bool& changed) {
    return commands_.GetDeviceADC8(index, status, changed);
}
TI2CResult TI2CLANControl::SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) {
    return commands_.SetMux(index, ondrixMux, channelMux, pathMux);
}
TI2CResult TI2CLANControl::SetFan(int32_t index, uint8_t speed) {
    return commands_.SetFan(index, speed);
}
TI2CResult TI2CLANControl::SetIRQ(int32_t index, uint8_t mode) {
    return commands_.SetIRQ(index, mode);
}

void TI2CLANControl::GetDeviceName(int32_t index, std::string& text) {
    if (!CheckIndex(index, text)) return;
    text = "<n/a>";
    if (TI2CSocket* socket = FindSocket(Masters[static_cast<size_t>(index)].Name))
        text = Format("ETH on %s:%s", socket->RemoteHost(), socket->RemotePort());
}

void TI2CLANControl::GetVendor(int32_t index, std::string& text) {
    commands_.GetVendor(index, text);
}
void TI2CLANControl::GetModel(int32_t index, std::string& text) {
    commands_.GetModel(index, text);
}
void TI2CLANControl::GetVersion(int32_t index, std::string& text) {
    commands_.GetVersion(index, text);
}
uint16_t TI2CLANControl::IsDeviceValid(int32_t index) {
    return commands_.IsDeviceValid(index);
}
bool TI2CLANControl::GetDeviceLockState(int32_t index) {
    return commands_.GetDeviceLockState(index);
}
TI2CResult TI2CLANControl::SetDeviceLockState(int32_t index, bool locked) {
    return commands_.SetDeviceLockState(index, locked);
}
void TI2CLANControl::GetFWVersion(int32_t index, TFWVersion& version, std::string& text) {
    commands_.GetFWVersion(index, version, text);
}

} // namespace qrb::device
