// Device answers into the model: a transport answers every operation of a scan from the input
// (device information, firmware version, channel information, calibration tables, master flash,
// DC/DC information, and later the status bytes, converter readings, bridge bytes and the
// verification words of channel writes), then the model polls the status, writes the reports,
// measures temperatures, reads a 1-Wire sensor ID and runs an autozero on what it found. Any
// answers: no crash, no endless loop, and the channel list holds only the slots the devices
// reported (present or fitted), each once, and keeps them through every later operation.
//
// Input: three header bytes (device count - 1, the channel used for the sensor ID and the
// autozero, the autozero average), then the answers in the order asked. Every operation takes a
// result byte (below 0xC0: accepted, else a refusal code), an accepted read then its record's
// bytes; past the end every read is accepted with zeros.
//
// QRB_RECORD_SEEDS=<folder>: writes the simulated amplifier's answers to the same operations as
// seeds into that folder (each checked to lead the model the same way when served back) and ends.

#include "device/I2CHAL.h"
#include "device/sim/I2CVirtualControl.h"
#include "model/I2CTranslator.h"
#include "tests/support/ChipEmulations.h"
#include "tests/support/PlaceholderTransports.h"
#include "tests/support/ScriptedControl.h"
#include "tests/support/ScriptedI2CPeer.h"
#include "tests/support/VirtualMainLoop.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace qrb::device;
using qrb::model::TI2CTranslator;
using qrb::model::TQRBRawChannel;

constexpr std::array<TI2CResult, 10> kRefusals = {
    TI2CResult::irTransferFailed, TI2CResult::irInvalidReadLength, TI2CResult::irInvalidWriteLength,
    TI2CResult::irNoAnswer,       TI2CResult::irInvalidSpeed,      TI2CResult::irInvalidDevice,
    TI2CResult::irInvalidValue,   TI2CResult::irUnknownAnswer,     TI2CResult::irInvalidWriteValue,
    TI2CResult::irDeviceError};
constexpr uint8_t kFirstRefusal = 0xC0;
constexpr size_t kVerifyBytes = 16; // the verification words of a refused channel write
constexpr size_t kMaxVersionText = 64;

// Answers from the input, or (recording) from another transport whose answers it writes down.
class TAnswerControl final : public qrb::test::TScriptedControl {
public:
    TAnswerControl() : TScriptedControl("Fuzz") {}

    void Serve(const uint8_t* data, size_t size) {
        data_ = data;
        size_ = size;
        pos_ = 0;
    }
    void RecordFrom(TI2CControl& source, std::vector<uint8_t>& tape) {
        source_ = &source;
        tape_ = &tape;
    }

    // Per device index: the channel information of its last accepted answer, if any.
    std::vector<std::pair<bool, TChannelInfoBlock>> Reported;

    bool Scan() override {
        Reported.clear();
        if (source_ != nullptr) {
            source_->Scan();
            FoundNames.clear();
            for (int32_t i = 0; i < source_->MasterCount(); ++i)
                FoundNames.push_back(source_->Masters[static_cast<size_t>(i)].Name);
        }
        return TScriptedControl::Scan();
    }

    TI2CResult GetDeviceInfo(int32_t index, TDeviceInfo& info) override {
        return Read(index, info, [&](TI2CControl& s) { return s.GetDeviceInfo(index, info); });
    }
    TI2CResult GetChannelInfo(int32_t index, TChannelInfoBlock& block) override {
        const TI2CResult r =
            Read(index, block, [&](TI2CControl& s) { return s.GetChannelInfo(index, block); });
        if (r == TI2CResult::irOK) {
            if (Reported.size() <= static_cast<size_t>(index))
                Reported.resize(static_cast<size_t>(index) + 1);
            Reported[static_cast<size_t>(index)] = {true, block};
        }
        return r;
    }
    TI2CResult GetChannelCalibTable(int32_t index, uint8_t channel, TChannelCalibTable& table) override {
        return Read(index, table,
                    [&](TI2CControl& s) { return s.GetChannelCalibTable(index, channel, table); });
    }
    TI2CResult GetMasterflash(int32_t index, TMasterFlash& flash) override {
        return Read(index, flash, [&](TI2CControl& s) { return s.GetMasterflash(index, flash); });
    }
    TI2CResult GetDCDCInfo(int32_t index, TDCDCInfo& info) override {
        return Read(index, info, [&](TI2CControl& s) { return s.GetDCDCInfo(index, info); });
    }
    TI2CResult GetDeviceADC8(int32_t index, TDeviceADC8& status, bool& changed) override {
        if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
        const TI2CResult r =
            Code(source_ ? source_->GetDeviceADC8(index, status, changed) : TI2CResult::irOK);
        if (r != TI2CResult::irOK) return r;
        std::array<uint8_t, TDeviceADC8::Size + 1> raw{};
        status.Encode(raw.data());
        raw.back() = changed ? 1 : 0;
        Bytes(raw.data(), raw.size());
        TDeviceADC8::Decode(raw.data(), raw.size(), status);
        changed = (raw.back() & 1) != 0;
        return r;
    }
    void GetFWVersion(int32_t index, TFWVersion& version, std::string& text) override {
        if (!CheckIndex(index, version, text)) return;
        std::array<uint8_t, TFWVersion::Size + 1> raw{};
        if (source_) {
            source_->GetFWVersion(index, version, text);
            text.resize(std::min(text.size(), kMaxVersionText));
            version.Encode(raw.data());
            raw.back() = static_cast<uint8_t>(text.size());
        }
        Bytes(raw.data(), raw.size());
        TFWVersion::Decode(raw.data(), raw.size(), version);
        text.resize(std::min<size_t>(raw.back(), kMaxVersionText));
        Bytes(reinterpret_cast<uint8_t*>(text.data()), text.size());
    }
    TI2CResult ReadI2C(int32_t index, uint8_t addr, uint16_t len, std::span<uint8_t> buf) override {
        if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
        const TI2CResult r = Code(source_ ? source_->ReadI2C(index, addr, len, buf) : TI2CResult::irOK);
        if (r == TI2CResult::irOK) Bytes(buf.data(), std::min<size_t>(len, buf.size()));
        return r;
    }
    TI2CResult WriteReadI2C(int32_t index, uint8_t addr, std::string_view hexText, uint16_t len,
                            std::span<uint8_t> buf) override {
        if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
        const TI2CResult r =
            Code(source_ ? source_->WriteReadI2C(index, addr, hexText, len, buf) : TI2CResult::irOK);
        if (r == TI2CResult::irOK) Bytes(buf.data(), std::min<size_t>(len, buf.size()));
        return r;
    }
    TI2CResult WriteChannel(int32_t index, uint8_t channel, uint8_t adc8LowVal, const TRegisterImage& image,
                            TI2CBuffer& answer) override {
        if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
        const TI2CResult r = Code(source_ ? source_->WriteChannel(index, channel, adc8LowVal, image, answer)
                                          : TI2CResult::irOK);
        if (r != TI2CResult::irOK) Bytes(answer.data(), kVerifyBytes);
        return r;
    }

    // Operations whose answer is their result alone.
    TI2CResult WriteI2C(int32_t index, uint8_t addr, std::string_view hexText) override {
        return Written(index, [&](TI2CControl& s) { return s.WriteI2C(index, addr, hexText); });
    }
    TI2CResult WriteI2CBlock(int32_t index, uint8_t addr, std::span<const uint8_t> data) override {
        return Written(index, [&](TI2CControl& s) { return s.WriteI2CBlock(index, addr, data); });
    }
    TI2CResult SetChannelInfo(int32_t index, int32_t channel, const TChannelInfo& info) override {
        return Written(index, [&](TI2CControl& s) { return s.SetChannelInfo(index, channel, info); });
    }
    TI2CResult SetMasterflash(int32_t index, const TMasterFlash& flash) override {
        return Written(index, [&](TI2CControl& s) { return s.SetMasterflash(index, flash); });
    }
    TI2CResult SetMux(int32_t index, uint8_t ondrixMux, uint8_t channelMux, uint8_t pathMux) override {
        return Written(index,
                       [&](TI2CControl& s) { return s.SetMux(index, ondrixMux, channelMux, pathMux); });
    }
    TI2CResult SaveAllConfig(int32_t index, uint8_t channel) override {
        return Written(index, [&](TI2CControl& s) { return s.SaveAllConfig(index, channel); });
    }
    TI2CResult SetIRQ(int32_t index, uint8_t mode) override {
        return Written(index, [&](TI2CControl& s) { return s.SetIRQ(index, mode); });
    }

private:
    template <class T, class F> TI2CResult Read(int32_t index, T& out, F&& fromSource) {
        if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
        const TI2CResult r = Code(source_ ? fromSource(*source_) : TI2CResult::irOK);
        if (r != TI2CResult::irOK) return r;
        std::array<uint8_t, T::Size> raw{};
        out.Encode(raw.data());
        Bytes(raw.data(), raw.size());
        T::Decode(raw.data(), raw.size(), out);
        return r;
    }
    template <class F> TI2CResult Written(int32_t index, F&& fromSource) {
        if (!CheckIndex(index)) return TI2CResult::irInvalidDevice;
        return Code(source_ ? fromSource(*source_) : TI2CResult::irOK);
    }

    // The result of one operation: written down when recording, else taken from the input.
    TI2CResult Code(TI2CResult recorded) {
        if (source_) {
            uint8_t b = 0;
            if (recorded != TI2CResult::irOK) {
                const auto it = std::find(kRefusals.begin(), kRefusals.end(), recorded);
                b = static_cast<uint8_t>(kFirstRefusal +
                                         (it == kRefusals.end() ? 0 : it - kRefusals.begin()));
            }
            tape_->push_back(b);
            return recorded;
        }
        uint8_t b = 0;
        Bytes(&b, 1);
        return b < kFirstRefusal ? TI2CResult::irOK : kRefusals[(b - kFirstRefusal) % kRefusals.size()];
    }
    // n answer bytes: written down from bytes when recording, else taken from the input into bytes.
    void Bytes(uint8_t* bytes, size_t n) {
        if (source_) {
            tape_->insert(tape_->end(), bytes, bytes + n);
            return;
        }
        const size_t take = std::min(n, size_ - pos_);
        std::copy(data_ + pos_, data_ + pos_ + take, bytes);
        std::fill(bytes + take, bytes + n, 0);
        pos_ += take;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    TI2CControl* source_ = nullptr;
    std::vector<uint8_t>* tape_ = nullptr;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "model answers: %s\n", what);
    std::abort();
}

struct TPlace {
    int32_t Device, Group, Slot;
    bool Present;
    auto operator<=>(const TPlace&) const = default;
};

// Every channel is a slot its device reported present (a present channel) or fitted (a defect
// one), each slot once, in device order.
std::vector<TPlace> CheckedChannels(const TI2CTranslator& t, const TAnswerControl& control) {
    std::vector<TPlace> places;
    std::set<std::pair<int32_t, int32_t>> seen;
    for (int32_t i = 0; i < t.ChannelCount(); ++i) {
        const TQRBRawChannel* c = t.GetChannel(i);
        if (c == nullptr) Fail("channel without object");
        if (c->Device < 0 || static_cast<size_t>(c->Device) >= control.Reported.size() ||
            !control.Reported[static_cast<size_t>(c->Device)].first)
            Fail("channel of a device that reported no channels");
        if (c->Group != 0 || c->Slot < 0 || static_cast<size_t>(c->Slot) >= kSlotCount)
            Fail("channel outside the slots");
        const TChannelInfoSlot& slot =
            control.Reported[static_cast<size_t>(c->Device)].second.Slots[static_cast<size_t>(c->Slot)];
        if (c->Present ? slot.Present == 0 : (slot.Present != 0 || slot.Fitted == 0))
            Fail("channel the device did not report");
        if (!seen.insert({c->Device, c->Slot}).second) Fail("slot listed twice");
        if (!places.empty() && places.back().Device > c->Device) Fail("channels out of device order");
        places.push_back({c->Device, c->Group, c->Slot, c->Present});
    }
    return places;
}

struct THeader {
    uint8_t Devices; // count - 1
    uint8_t Channel; // the channel of the sensor ID and the autozero, modulo the count
    uint8_t Average; // of the autozero, modulo 4, plus 1
};

// One run of the model over the answers of owned, which becomes the translator's LAN transport.
// Returns what the model made of them: the channel count, the reports and the sensor ID.
std::string Run(std::unique_ptr<TAnswerControl> owned, const THeader& h, bool recording) {
    TAnswerControl& control = *owned;
    TI2CTransportFactory f = DefaultTransportFactory();
    f.CreateLAN = [&owned]() -> std::unique_ptr<TI2CControl> { return std::move(owned); };
    f.CreateUSB = qrb::test::CreatePlaceholderUSBControl;
    f.CreateVirtual = qrb::test::CreatePlaceholderVirtualControl;
    TI2CTranslator t(kMaskLAN, false, f);
    t.OnConfigComplete = [](const void*) {};
    if (!recording) {
        static const std::array<const char*, 4> kNames = {"A", "B", "C", "D"};
        control.FoundNames.assign(kNames.begin(), kNames.begin() + (h.Devices % kNames.size()) + 1);
    }
    t.Rescan();
    const std::vector<TPlace> places = CheckedChannels(t, control);
    const auto unchanged = [&] {
        if (CheckedChannels(t, control) != places) Fail("the channel list changed after the scan");
    };

    // The checked I2C operations raise their error texts; the caller shows them. The channel
    // list stays as it was after every operation, also one that raised.
    const auto step = [&](auto&& operation) {
        try {
            operation();
        } catch (const qrb::model::ETranslatorError&) {
        }
        unchanged();
    };
    std::string text, made = "channels " + std::to_string(t.ChannelCount()) + "\n";
    const auto keep = [&made, &text] { made += text; };
    t.SelectAll();
    step([&] { t.PollChannelStatus(); });
    step([&] { t.DeviceStatusReport(text); });
    keep();
    step([&] { t.OffsetReport(text); });
    keep();
    step([&] { t.DeviceInfoReport(true, 0, text); });
    keep();
    step([&] { t.TemperatureReport(text); });
    keep();
    if (t.ChannelCount() == 0) return made;
    const int32_t index = h.Channel % t.ChannelCount();
    step([&] {
        bool shorted = false, found = false;
        std::string id;
        t.ReadSensorId(index, shorted, found, id);
        if (found && id.size() != 16) Fail("a sensor ID of another length");
        made += "sensor " + (found ? id : std::string("none")) + "\n";
    });
    step([&] {
        int32_t value = 0;
        t.ReadChannelTemperature(index, value);
    });
    step([&] { made += t.Autozero(index, h.Average % 4 + 1) ? "zeroed\n" : "not zeroed\n"; });
    return made;
}

qrb::test::TInstalledVirtualMainLoop& Loop() {
    static auto* loop = new qrb::test::TInstalledVirtualMainLoop; // lives for the process
    return *loop;
}

// The simulated amplifier's answers for the given virtual targets, with a sensor on the 1-Wire
// line and converters behind every channel; made receives what the model made of them.
std::vector<uint8_t> Recorded(const std::vector<std::string>& targets, const THeader& h, std::string& made) {
    TI2CVirtualControl sim;
    for (const std::string& target : targets)
        sim.ScanTargets.Add(target);
    qrb::test::TScriptedI2CPeer peer(sim);
    qrb::test::TDS2482Emulation bridge;
    bridge.SetRoms({qrb::test::MakeRom(0x28, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC})});
    qrb::test::TADC18Emulation adc18;
    adc18.SetSignal(1500);
    qrb::test::TADC12Emulation adc12;
    adc12.SetValue(0x0800);
    qrb::test::TADC8Emulation adc8;
    peer.Attach(0x18, bridge);
    peer.Attach(0x68, adc18);
    peer.Attach(0x51, adc12);
    peer.Attach(0x54, adc8);

    std::vector<uint8_t> tape = {h.Devices, h.Channel, h.Average};
    auto control = std::make_unique<TAnswerControl>();
    control->RecordFrom(sim, tape);
    made = Run(std::move(control), h, true);
    return tape;
}

void RecordSeeds(const std::string& folder) {
    struct TSeed {
        const char* Name;
        std::vector<std::string> Targets;
        THeader Header;
    };
    const std::vector<TSeed> seeds = {
        {"sim-8-v1", {"A-8:1"}, {0, 0, 0}},
        {"sim-8-v2", {"A-8:2"}, {0, 3, 1}},
        {"sim-8-v3", {"A-8:3"}, {0, 7, 3}},
        {"sim-2-v3-and-3-v1", {"A-2:3", "B-3:1"}, {1, 4, 0}},
    };
    for (const TSeed& s : seeds) {
        std::string made;
        const std::vector<uint8_t> tape = Recorded(s.Targets, s.Header, made);
        // The seed, served back, leads the model the same way.
        auto replay = std::make_unique<TAnswerControl>();
        replay->Serve(tape.data() + 3, tape.size() - 3);
        if (Run(std::move(replay), s.Header, false) != made) Fail("a seed does not replay its recording");
        const std::string path = folder + "/" + s.Name;
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(tape.data(), 1, tape.size(), file) != tape.size() ||
            std::fclose(file) != 0)
            Fail("cannot write a seed");
        std::printf("%s: %zu bytes\n%s", path.c_str(), tape.size(), made.c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Loop();
    if (const char* folder = std::getenv("QRB_RECORD_SEEDS")) {
        RecordSeeds(folder);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const THeader h{data[0], data[1], data[2]};
    auto control = std::make_unique<TAnswerControl>();
    control->Serve(data + 3, size - 3);
    Run(std::move(control), h, false);
    Loop().Step();
    Loop().ClearSleeps(); // the loop lives for the process
    return 0;
}
