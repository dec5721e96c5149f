#pragma once
// Small hand-built models for the setup file and export tests.

#include "model/QRBRawChannel.h"
#include "model/SetupCommon.h"
#include "model/SetupXml.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace qrb::model::testing {

// Channels owned by the test, handed to the setup code as a model.
class TTestModel {
public:
    TQRBRawChannel& Add(uint8_t version, uint16_t serial, TSensorType type = stVolt, bool present = true) {
        const int index = static_cast<int>(channels_.size());
        auto ch = std::make_unique<TQRBRawChannel>(index / 8, 0, index % 8, index,
                                                   device::TInterfaceKind::ikLAN, nullptr);
        ch->Present = present;
        ch->Defect = !present;
        if (present) {
            ch->Info.Version = version;
            ch->Info.Serial = serial;
            ch->SensorType = type;
            ch->TypeCache = type;
            ch->HWVersion = 1;
        }
        ch->Name = device::Format("Channel %2d", index + 1);
        channels_.push_back(std::move(ch));
        return *channels_.back();
    }
    TQRBRawChannel& operator[](size_t i) { return *channels_[i]; }
    size_t Size() const { return channels_.size(); }

    TSetupModel Model() const {
        TSetupModel m;
        for (const auto& c : channels_)
            m.Channels.push_back(c.get());
        return m;
    }

private:
    std::vector<std::unique_ptr<TQRBRawChannel>> channels_;
};

// Records every setter call and imitates the few effects LoadFromXML reads back.
class TRecordingSetters : public TSetupSetters {
public:
    explicit TRecordingSetters(TTestModel& model) : model_(model) {}

    struct TCall {
        std::string Name;
        int Index = 0;
        int A = 0;
        int B = 0;
        bool operator==(const TCall&) const = default;
    };
    std::vector<TCall> Calls;

    void Set(TSetupSetter setter, int index, int code) override {
        Calls.push_back({SetupSetterName(setter), index, code, 0});
        TQRBRawChannel& ch = model_[static_cast<size_t>(index)];
        ch.Pending.Image.Words[1] = static_cast<uint16_t>(ch.Pending.Image.Words[1] + 1); // any change
        switch (setter) {
        case TSetupSetter::SetSensorType:
            ch.SensorType = static_cast<TSensorType>(code);
            ch.TypeCache = ch.SensorType;
            break;
        case TSetupSetter::SetSupply:
            ch.SupplyCache = static_cast<uint8_t>(code);
            break;
        case TSetupSetter::SetOffset:
            ch.OffsetCache = static_cast<uint8_t>(code);
            break;
        default:
            break;
        }
    }
    void SetDACs(int index, uint16_t powerDAC, uint16_t offsetDAC) override {
        Calls.push_back({"SetDACs", index, powerDAC, offsetDAC});
        TQRBRawChannel& ch = model_[static_cast<size_t>(index)];
        ch.PowerDACCache = powerDAC;
        ch.OffsetDACCache = offsetDAC;
        ch.Pending.Image.Words[7] = powerDAC;
        ch.Pending.Image.Words[8] = offsetDAC;
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& c : Calls)
            out.push_back(c.Name);
        return out;
    }

private:
    TTestModel& model_;
};

// The document's channel elements in reverse order, so that position and serial disagree.
inline void ReverseChannelElements(pugi::xml_document& doc) {
    pugi::xml_node channels = doc.child("QRB").child("channels");
    std::vector<pugi::xml_node> list;
    for (pugi::xml_node c : channels.children("channel"))
        list.push_back(c);
    for (pugi::xml_node c : list)
        channels.insert_move_after(c, channels.child("channel_count"));
}

// A fresh folder under the build's test home (or /var/tmp), removed at the end.
class TTempDir {
public:
    TTempDir() {
        const char* base = std::getenv("XDG_RUNTIME_DIR");
        std::string pattern = std::string(base && *base ? base : "/var/tmp") + "/qrbsetupXXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        path_ = ::mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
    }
    ~TTempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace qrb::model::testing
