#include "device/lan/I2CLANControl.h"

#include "device/Format.h"
#include "device/lan/LanSocket.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <stdexcept>

namespace qrb::device {

TI2CLANControl::TI2CLANControl() : TWireControl(kLANWireTraits) {
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
    // The handler may rescan or close everything: nothing of the connection is used after it.
    const std::string name = socket->RemoteHost();
    DeviceLost(name);
}

bool TI2CLANControl::Knock(const std::string& host, int32_t port) {
    if (port < 1 || port > 65535) return false;
    lan::TFd probe = lan::ConnectTcp(host, static_cast<uint16_t>(port), Deadlines.KnockMs);
    return probe.Valid();
}

bool ReceiveInfoAnswer(int fd, const lan::TDeadline& deadline, TInfoAnswer& answer) {
    uint8_t raw[TInfoAnswer::Size] = {};
    size_t got = lan::ReceiveUpTo(fd, raw, sizeof raw, deadline);
    if (got != TInfoAnswer::Size) return false;
    return TInfoAnswer::Decode(raw, got, answer);
}

namespace {

// The info port of a data port text: the port plus one, 0 when the text is no number.
int64_t InfoPortOf(const std::string& portText) {
    int32_t port = 0;
    return TryStrToInt(portText, port) ? static_cast<int64_t>(port) + 1 : 0;
}

bool ValidInfoPort(int64_t infoPort) {
    return infoPort >= 1 && infoPort <= 65534;
}

} // namespace

bool TI2CLANControl::RequestInfo(const std::string& host, const std::string& portText, TInfoAnswer& answer) {
    return RequestInfo(host, portText, std::nullopt, answer);
}

bool TI2CLANControl::RequestInfo(const std::string& host, const std::string& portText,
                                 std::optional<bool> knocked, TInfoAnswer& answer) {
    answer = TInfoAnswer{};
    int32_t port = 0;
    if (!TryStrToInt(portText, port)) Log(0, Format("[LAN] info reqeust error: invalid port %s.", portText));
    const int64_t infoPort = InfoPortOf(portText);
    if (!ValidInfoPort(infoPort)) {
        Log(0, Format("[LAN] info reqeust error: invalid port %d.", infoPort));
        return false;
    }
    if (!knocked.has_value()) knocked = Knock(host, static_cast<int32_t>(infoPort));
    if (!*knocked) {
        Log(0, Format("[LAN] no answer at %s on port %d.", host, infoPort));
        return false;
    }
    lan::TFd client = lan::ConnectTcp(host, static_cast<uint16_t>(infoPort), Deadlines.InfoConnectMs);
    if (!client.Valid()) return false;
    const auto request = TInfoRequest::Encode();
    if (!lan::SendAll(client.Get(), request.data(), request.size(), lan::TDeadline(Deadlines.InfoConnectMs)))
        return false;
    return ReceiveInfoAnswer(client.Get(), lan::TDeadline(Deadlines.InfoReceiveMs), answer);
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
    struct TTarget {
        std::string Text, Host, Port;
        std::optional<bool> Knocked; // the result of its knock made ahead of the walk
    };
    std::vector<TTarget> targets;
    for (const std::string& text : ScanTargets) {
        TTarget t{text, text, text, std::nullopt};
        if (size_t colon = text.find(':'); colon != std::string::npos) {
            t.Host = text.substr(0, colon);
            t.Port = text.substr(colon + 1);
        }
        targets.push_back(std::move(t));
    }
    // Every distinct host and info port is knocked at once, so that targets which do not answer
    // cost one knock window together, also several ports of one host. A target with an invalid
    // port is never knocked.
    std::vector<lan::TKnock> knocks;
    std::vector<size_t> knockOf(targets.size(), SIZE_MAX);
    for (size_t i = 0; i < targets.size(); ++i) {
        const TTarget& t = targets[i];
        const int64_t infoPort = InfoPortOf(t.Port);
        if (!ValidInfoPort(infoPort)) continue;
        const auto same = std::find_if(knocks.begin(), knocks.end(), [&](const lan::TKnock& k) {
            return k.Port == infoPort && SameText(k.Host, t.Host);
        });
        knockOf[i] = static_cast<size_t>(same - knocks.begin());
        if (same == knocks.end())
            knocks.push_back(lan::TKnock{t.Host, static_cast<uint16_t>(infoPort), false});
    }
    lan::KnockAll(knocks, Deadlines.KnockMs);
    for (size_t i = 0; i < targets.size(); ++i)
        if (knockOf[i] != SIZE_MAX) targets[i].Knocked = knocks[knockOf[i]].Answered;

    for (const TTarget& t : targets) {
        const std::string& target = t.Text;
        const std::string& host = t.Host;
        const std::string& port = t.Port;
        Log(0, Format("[LAN] scanning IP %s at port %s ...", host, port));
        if (FindSocket(host) != nullptr) {
            // Connections are found by host: a second one would take the first one's answers.
            Log(0, Format("[LAN] target %s skipped: %s is already connected.", target, host));
            continue;
        }
        TInfoAnswer info;
        if (!RequestInfo(host, port, t.Knocked, info)) {
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
        // The handler may rescan or close everything: nothing of the list is used after it.
        const std::string name = socket->RemoteHost();
        DeviceLost(name);
        return;
    }
}

// ---- the exchange of the command set -----------------------------------------------------------

TWireDevice* TI2CLANControl::FindEntry(int index) {
    if (index < 0 || index >= MasterCount()) return nullptr;
    return FindSocket(Masters[static_cast<size_t>(index)].Name);
}

bool TI2CLANControl::Exchange(TWireDevice& device, const TCommandBlock& request, TCommandBlock& answer) {
    return static_cast<TI2CSocket&>(device).Exchange(request, answer, Deadlines.AnswerMs);
}

// ---- device name ----------------------------------------------------------------------------

void TI2CLANControl::GetDeviceName(int32_t index, std::string& text) {
    if (!CheckIndex(index, text)) return;
    text = "<n/a>";
    if (TI2CSocket* socket = FindSocket(Masters[static_cast<size_t>(index)].Name))
        text = Format("ETH on %s:%s", socket->RemoteHost(), socket->RemotePort());
}

} // namespace qrb::device
