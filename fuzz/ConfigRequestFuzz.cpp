// Configuration server requests: any line, over channels with any cache values and names, gets
// either a reply whose every line ends in CR LF or (only for a channel request) the close; the
// whole configuration keeps its begin and end lines.
//
// Input: lines split at LF. A line starting with '#' sets the fields of one channel from its
// bytes (channel, range mode, then the caches, then the name); every other line is a request.

#include "device/Cp1252.h"
#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/support/VirtualMainLoop.h"
#include "ui/configserver/ConfigRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using qrb::model::TQRBRawChannel;

// The channel fields the input may change, kept to restore them before every input.
struct TChannelFields {
    qrb::model::TSensorType TypeCache;
    uint8_t RangeCache, CouplingCache, OffsetCache, OutputFilterCache, Is350OhmCache, SenseCache;
    uint8_t DMSShuntCache, PwrAtSignalCache, CapacityCache, HighpassCache, AutoClearCache, SupplyCache;
    uint16_t OffsetDACCache, PowerDACCache, PowerDACCache2, PowerZero;
    bool HasADC18;
    uint8_t Version, FilterType, AdjustMarker;
    std::string ChannelName;

    static TChannelFields Of(const TQRBRawChannel& c) {
        return {c.TypeCache,      c.RangeCache,        c.CouplingCache,
                c.OffsetCache,    c.OutputFilterCache, c.Is350OhmCache,
                c.SenseCache,     c.DMSShuntCache,     c.PwrAtSignalCache,
                c.CapacityCache,  c.HighpassCache,     c.AutoClearCache,
                c.SupplyCache,    c.OffsetDACCache,    c.PowerDACCache,
                c.PowerDACCache2, c.PowerZero,         c.HasADC18,
                c.Info.Version,   c.Info.FilterType,   c.Calibration.AdjustMarker,
                c.ChannelName};
    }
    void To(TQRBRawChannel& c) const {
        c.TypeCache = TypeCache;
        c.RangeCache = RangeCache;
        c.CouplingCache = CouplingCache;
        c.OffsetCache = OffsetCache;
        c.OutputFilterCache = OutputFilterCache;
        c.Is350OhmCache = Is350OhmCache;
        c.SenseCache = SenseCache;
        c.DMSShuntCache = DMSShuntCache;
        c.PwrAtSignalCache = PwrAtSignalCache;
        c.CapacityCache = CapacityCache;
        c.HighpassCache = HighpassCache;
        c.AutoClearCache = AutoClearCache;
        c.SupplyCache = SupplyCache;
        c.OffsetDACCache = OffsetDACCache;
        c.PowerDACCache = PowerDACCache;
        c.PowerDACCache2 = PowerDACCache2;
        c.PowerZero = PowerZero;
        c.HasADC18 = HasADC18;
        c.Info.Version = Version;
        c.Info.FilterType = FilterType;
        c.Calibration.AdjustMarker = AdjustMarker;
        c.ChannelName = ChannelName;
    }
};

struct TWorld {
    qrb::test::TInstalledVirtualMainLoop loop;
    qrb::model::TI2CTranslator translator{qrb::device::kMaskOffline, false,
                                          qrb::device::DefaultTransportFactory()};
    qrb::ui::TConfigRequestHandler handler{translator};
    std::vector<TChannelFields> saved;
    int rangeMode = 0;

    TWorld() {
        translator.OnConfigComplete = [](const void*) {};
        translator.AddScanTarget("A-8:3", qrb::device::kMaskOffline);
        translator.AddScanTarget("B-2:1", qrb::device::kMaskOffline);
        translator.Rescan();
        for (int i = 0; i < translator.ChannelCount(); ++i) {
            TQRBRawChannel& c = *translator.GetChannel(i);
            c.Calibration.SetSource("QRBCAL730"); // usable while the marker says so
            saved.push_back(TChannelFields::Of(c));
        }
        handler.RangeMode = [this] { return rangeMode; };
        handler.DeviceStatusReport = [] { return std::string("Device 01:\r\n\r\n  Fan:  0.00 rpm\r\n\r\n"); };
        handler.DeviceInfoReport = [] { return std::string("Device 01:\r\n\r\n"); };
    }
};

TWorld& World() {
    static TWorld* world = new TWorld; // lives for the process
    return *world;
}

void Apply(TWorld& w, std::string_view bytes) {
    if (bytes.empty() || w.translator.ChannelCount() == 0) return;
    TQRBRawChannel& c =
        *w.translator.GetChannel(static_cast<uint8_t>(bytes[0]) % w.translator.ChannelCount());
    size_t pos = 1;
    auto next = [&]() -> uint8_t { return pos < bytes.size() ? static_cast<uint8_t>(bytes[pos++]) : 0; };
    auto next16 = [&]() -> uint16_t { return static_cast<uint16_t>(next() | (next() << 8)); };
    w.rangeMode = static_cast<int8_t>(next());
    c.TypeCache = next();
    c.RangeCache = next();
    c.CouplingCache = next();
    c.OffsetCache = next();
    c.OutputFilterCache = next();
    c.Is350OhmCache = next();
    c.SenseCache = next();
    c.DMSShuntCache = next();
    c.PwrAtSignalCache = next();
    c.CapacityCache = next();
    c.HighpassCache = next();
    c.AutoClearCache = next();
    c.SupplyCache = next();
    c.OffsetDACCache = next16();
    c.PowerDACCache = next16();
    c.PowerDACCache2 = next16();
    c.PowerZero = next16();
    c.HasADC18 = (next() & 1) != 0;
    c.Info.Version = next();
    c.Info.FilterType = next();
    c.Calibration.AdjustMarker = next();
    c.ChannelName = qrb::device::Cp1252ToUtf8(bytes.substr(std::min(pos, bytes.size())));
}

void Check(std::string_view line, const qrb::ui::TConfigReply& reply) {
    const std::string_view request = line.substr(0, 10);
    if (reply.Close) {
        if (!reply.Bytes.empty() || request != "REQ_CHNINF") std::abort();
        return;
    }
    const std::string& b = reply.Bytes;
    if (b.size() < 2 || b.compare(b.size() - 2, 2, "\r\n") != 0) std::abort();
    for (size_t i = 0; i < b.size(); ++i) {
        if (b[i] == '\r' && (i + 1 == b.size() || b[i + 1] != '\n')) std::abort();
        if (b[i] == '\n' && (i == 0 || b[i - 1] != '\r')) std::abort();
    }
    if (request == "REQ_ALLINF") {
        const std::string_view begin = "--- BEGIN QRB730 CONFIGURATION ---\r\n\r\n";
        const std::string_view end = "\r\n--- END QRB730 CONFIGURATION ---\r\n";
        if (b.compare(0, begin.size(), begin) != 0) std::abort();
        if (b.find(end) != b.size() - end.size()) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TWorld& w = World();
    for (int i = 0; i < w.translator.ChannelCount(); ++i)
        w.saved[static_cast<size_t>(i)].To(*w.translator.GetChannel(i));
    w.rangeMode = 0;

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t pos = 0;
    while (pos <= input.size()) {
        size_t lf = input.find('\n', pos);
        if (lf == std::string_view::npos) lf = input.size();
        const std::string_view line = input.substr(pos, lf - pos);
        if (!line.empty() && line[0] == '#') {
            Apply(w, line.substr(1));
        } else {
            Check(line, w.handler.Answer(line));
        }
        pos = lf + 1;
    }
    return 0;
}
