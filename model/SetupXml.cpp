#include "model/SetupXml.h"

#include "device/Cp1252.h"
#include "device/FileUtil.h"
#include "device/HWVocabulary.h"
#include "device/Helpers.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <limits.h>
#include <stdexcept>
#include <type_traits>
#include <unistd.h>
#include <utility>

namespace qrb::model {

namespace {

using device::BoolToText;
using device::Format;

constexpr const char* kInvalidDocument = "Invalid XML document!";
constexpr const char* kInvalidFile = "Invalid file or empty filename!";
constexpr const char* kInvalidName = "Invalid or empty filename!";

// A conversion of a file value that is no integer; ends the load with its text.
class TConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A step of the writer or reader: an invalid node is refused, and an exception inside the step
// ends it with its text.
template <class TStep> bool DocumentStep(bool nodeValid, std::string& error, TStep&& step) {
    if (!nodeValid) {
        error = kInvalidDocument;
        return false;
    }
    try {
        return step();
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

// The first child element of that name (processing instructions carry names too).
pugi::xml_node ChildElement(pugi::xml_node parent, const char* name) {
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element && std::string_view(n.name()) == name) return n;
    return {};
}

int StrToInt(const std::string& text) {
    int32_t value = 0;
    if (!device::TryStrToInt(text, value))
        throw TConvertError(Format("'%s' is not a valid integer value", text));
    return value;
}

// The code_index attribute as an integer.
int CodeOf(pugi::xml_node node) {
    return StrToInt(TrimText(node.attribute("code_index").value()));
}

// ---- Writer helpers -----------------------------------------------------------------------

pugi::xml_node AddElement(pugi::xml_node parent, const char* name) {
    pugi::xml_node n = parent.append_child(name);
    if (!n) throw std::runtime_error(kInvalidDocument);
    return n;
}

pugi::xml_node AddText(pugi::xml_node parent, const char* name, const std::string& text) {
    pugi::xml_node n = AddElement(parent, name);
    n.text().set(text.c_str());
    return n;
}

void AddCoded(pugi::xml_node parent, const char* name, const std::string& text, int64_t code) {
    pugi::xml_node n = AddText(parent, name, text);
    n.append_attribute("code_index").set_value(device::IntToStr(code).c_str());
}

void AddFlag(pugi::xml_node parent, const char* name, uint8_t value) {
    AddCoded(parent, name, BoolToText(value != 0), value != 0 ? 1 : 0);
}

void AddNumber(pugi::xml_node parent, const char* name, int64_t value) {
    AddCoded(parent, name, device::IntToStr(value), value);
}

// Model texts are Windows-1252 characters held as UTF-8; anything else is made so.
std::string DocumentText(const std::string& modelText) {
    return device::ToModelText(modelText);
}

struct TStringWriter : pugi::xml_writer {
    std::string Out;
    void write(const void* data, size_t size) override { Out.append(static_cast<const char*>(data), size); }
};

// ---- Reader helpers -----------------------------------------------------------------------

uint16_t ClampDAC(int value) {
    return static_cast<uint16_t>(std::clamp(value, 0, 4095));
}

} // namespace

// ---- Common -------------------------------------------------------------------------------

std::string ChannelSerialText(const TQRBRawChannel& channel) {
    return SetupSerialText(channel.Info.Version, channel.Info.Serial);
}

std::string SetupNodeId() {
    if (const char* name = std::getenv("ComputerName")) return name;
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

TSetupCreator TSetupCreator::FromSystem() {
    TSetupCreator c;
    c.Version = device::GetProgramVersion();
    c.NodeId = SetupNodeId();
    c.Address = device::GetLocalIPAddresses();
    return c;
}

// ---- Writer -------------------------------------------------------------------------------

bool TSetupXmlWriter::WriteSetupHeader(pugi::xml_document* doc, const TSetupCreator& creator,
                                       const std::string& fileName, pugi::xml_node& root,
                                       std::string& error) {
    root = pugi::xml_node();
    return DocumentStep(doc != nullptr, error, [&] {
        const auto now = [&creator] { return creator.Clock ? creator.Clock() : device::Now(); };
        root = AddElement(*doc, "QRB");
        AddText(root, "config_version", kSetupConfigVersion);
        AddText(root, "config_type", kSetupConfigType);
        pugi::xml_node c = AddElement(root, "creator");
        AddText(c, "software", DocumentText(creator.Software));
        AddText(c, "version", DocumentText(creator.Version));
        AddText(c, "filename", DocumentText(fileName));
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
        device::DecodeDate(now(), y, mo, d);
        AddText(c, "date", Format("%4.4d-%2.2d-%2.2d", y, mo, d));
        device::DecodeTime(now(), h, mi, s, ms);
        AddText(c, "time", Format("%2.2d:%2.2d:%2.2d", h, mi, s));
        AddText(c, "node_id", DocumentText(creator.NodeId));
        AddText(c, "node_type", "PC");
        AddText(c, "address", DocumentText(creator.Address));
        return true;
    });
}

bool TSetupXmlWriter::WriteDeviceList(pugi::xml_node root, const TSetupModel& model, std::string& error) {
    return DocumentStep(static_cast<bool>(root), error, [&] {
        pugi::xml_node devices = AddElement(root, "devices");
        AddText(devices, "device_count", device::IntToStr(static_cast<int64_t>(model.Masters.size())));
        for (const TQRBRawMaster* m : model.Masters) {
            if (m == nullptr) throw std::runtime_error(kInvalidDocument);
            pugi::xml_node d = AddElement(devices, "device");
            AddText(d, "device_number", device::IntToStr(m->Device + 1));
            AddText(d, "device_serial",
                    SetupSerialText(m->MasterFlash.DeviceSeries, m->MasterFlash.DeviceSerial));
            AddText(d, "device_name", DocumentText(m->DeviceName));
            AddCoded(d, "device_type", device::InterfaceToText(m->Kind), device::ToByte(m->Kind));
        }
        return true;
    });
}

bool TSetupXmlWriter::WriteChannelList(pugi::xml_node root, const TSetupModel& model, std::string& error) {
    return DocumentStep(static_cast<bool>(root), error, [&] {
        pugi::xml_node channels = AddElement(root, "channels");
        AddText(channels, "channel_count", device::IntToStr(static_cast<int64_t>(model.Channels.size())));
        for (const TQRBRawChannel* ch : model.Channels) {
            if (ch == nullptr) throw std::runtime_error(kInvalidDocument);
            if (ch->Present && !SaveToXML(*ch, channels, error)) return false;
        }
        return true;
    });
}

bool TSetupXmlWriter::SaveToXML(const TQRBRawChannel& ch, pugi::xml_node channels, std::string& error) {
    return DocumentStep(static_cast<bool>(channels), error, [&] {
        using namespace device;
        pugi::xml_node n = AddElement(channels, "channel");
        const bool charge = ch.SensorType == stCharge;
        AddText(n, "device_number", IntToStr(ch.Device + 1));
        AddText(n, "channel_number", IntToStr(ch.Slot + 1));
        AddText(n, "channel_serial", ChannelSerialText(ch));
        AddText(n, "channel_name", DocumentText(ch.Name));
        AddText(n, "channel_display", DocumentText(ch.ChannelName));
        AddText(n, "channel_description", DocumentText(ch.Description));
        AddText(n, "channel_adc8statval", IntToStr(ch.ADC8StatVal));
        AddText(n, "channel_adc8lowval", IntToStr(ch.ADC8LowVal));
        AddCoded(n, "channel_interface", InterfaceToText(ch.Kind), ToByte(ch.Kind));
        AddFlag(n, "channel_has_charge", ch.HasCharge());
        AddFlag(n, "channel_has_odu", ch.HasODU());
        AddFlag(n, "channel_has_bnc", ch.HasBNC());
        AddCoded(n, "channel_sensor", SensorTypeToText(ch.SensorType), ch.SensorType);
        if (charge) {
            AddCoded(n, "channel_charge_mode", ChargeModeToText(ch.charge_mode), ch.charge_mode);
            AddCoded(n, "channel_charge_highpass",
                     ChargeHighPassToText(ch.charge_highpass, ch.charge_capacity), ch.charge_highpass);
            AddCoded(n, "channel_charge_capacity", ChargeCapacityToText(ch.charge_capacity),
                     ch.charge_capacity);
            AddFlag(n, "channel_chargeinput", ch.chargeinput);
            AddFlag(n, "channel_charge_ac_out", ch.charge_ac_out);
            AddFlag(n, "channel_charge_clear", ch.charge_clear);
            AddFlag(n, "channel_charge_man_clearmode", ch.charge_man_clearmode);
        }
        std::string range;
        if (ch.SensorType == stCurrent)
            range = CurrentRangeToText(ch.Info.Version, ch.Range);
        else if (charge)
            range = ChargeRangeToText(ch.Info.Version, ch.Range, ch.charge_capacity);
        else
            range = VoltageRangeToText(ch.Info.Version, ch.Range);
        AddCoded(n, "channel_range", range, ch.Range);
        AddCoded(n, "channel_volt_supply", VoltSupplyToText(ch.volt_supply), ch.volt_supply);
        AddCoded(n, "channel_volt_sense", VoltSenseToText(ch.volt_sense), ch.volt_sense);
        AddCoded(n, "channel_coupling", CouplingToText(ch.coupling), ch.coupling);
        AddCoded(n, "channel_reference", ReferenceToText(ch.reference), ch.reference);
        AddCoded(n, "channel_vrefplus", VRefPlusToText(ch.vrefplus), ch.vrefplus);
        AddCoded(n, "channel_vrefminus", VRefMinusToText(ch.vrefminus), ch.vrefminus);
        AddFlag(n, "channel_offset", ch.offset);
        AddFlag(n, "channel_monitor", ch.monitor);
        AddFlag(n, "channel_offsetdac_filter", ch.offsetdac_filter);
        AddFlag(n, "channel_outputfilter", ch.outputfilter);
        AddFlag(n, "channel_quarterload", ch.quarterload);
        AddFlag(n, "channel_pwr_at_signal", ch.pwr_at_signal);
        AddFlag(n, "channel_dms_shunt", ch.dms_shunt);
        AddFlag(n, "channel_120_Ohm", ch._120_Ohm);
        AddFlag(n, "channel_pwrfilter5M", ch.pwrfilter5M);
        AddFlag(n, "channel_current", ch.current);
        AddFlag(n, "channel_led1", ch.led1);
        AddFlag(n, "channel_led2", ch.led2);
        AddFlag(n, "channel_r25_shunt", ch.r25_shunt);
        AddFlag(n, "channel_dmscableref", ch.dmscableref);
        AddFlag(n, "channel_qtrloadsense", ch.qtrloadsense);
        AddFlag(n, "channel_dms_pwr_on", ch.dms_pwr_on);
        AddFlag(n, "channel_analog_status_off", ch.analog_status_off);
        AddFlag(n, "channel_open_gnd_shield", ch.open_gnd_shield);
        AddNumber(n, "channel_power_dac", ch.PowerDAC);
        AddNumber(n, "channel_power_zero", ch.PowerZero);
        AddNumber(n, "channel_offset_dac", ch.OffsetDAC);
        AddNumber(n, "channel_offset_zero", ch.OffsetZero);
        return true;
    });
}

bool TSetupXmlWriter::BuildDocument(pugi::xml_document& doc, const TSetupModel& model,
                                    const TSetupCreator& creator, const std::string& fileName,
                                    std::string& error) {
    doc.reset();
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    decl.append_attribute("encoding").set_value("UTF-8");
    pugi::xml_node root;
    return WriteSetupHeader(&doc, creator, fileName, root, error) && WriteDeviceList(root, model, error) &&
           WriteChannelList(root, model, error);
}

std::string TSetupXmlWriter::ToText(const pugi::xml_document& doc) {
    TStringWriter w;
    doc.save(w, "  ", pugi::format_indent, pugi::encoding_utf8);
    return std::move(w.Out);
}

bool TSetupXmlWriter::SaveFile(const pugi::xml_document& doc, const std::string& path, std::string& error) {
    return device::WriteFileAtomic(path, ToText(doc), error);
}

// ---- Reader -------------------------------------------------------------------------------

const char* SetupSetterName(TSetupSetter setter) {
    static constexpr const char* kNames[] = {
        "SetSensorType",     "SetRange",          "SetOutputFilter",
        "SetOpenGndShield",  "SetMonitor",        "SetCoupling",
        "SetSupply",         "SetSense",          "SetPwrAtSignal",
        "Set120Ohm",         "SetDMSShunt",       "SetChargeMode",
        "SetChargeHighpass", "SetChargeCapacity", "SetChargeInput",
        "SetChargeACOut",    "SetChargeClear",    "SetChargeManClearMode",
        "SetOffset",
    };
    const auto i = static_cast<size_t>(setter);
    return i < std::size(kNames) ? kNames[i] : "";
}

std::string SetupElementText(pugi::xml_node node) {
    return TrimText(node.child_value());
}

bool ParseSetupXml(std::string_view bytes, pugi::xml_document& doc, std::string& error) {
    const unsigned flags =
        pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration;
    const pugi::xml_parse_result r = doc.load_buffer(bytes.data(), bytes.size(), flags, pugi::encoding_auto);
    if (r) return true;
    error = Format("Invalid XML document: %s (offset %d)!", r.description(), static_cast<int64_t>(r.offset));
    doc.reset();
    return false;
}

bool LoadSetupXmlFile(const std::string& fileName, pugi::xml_document& doc, std::string& error) {
    std::string bytes;
    if (!device::ReadFileBytes(fileName, bytes, error, kMaxSetupXmlBytes)) return false;
    return ParseSetupXml(bytes, doc, error);
}

namespace {

pugi::xml_node FirstChannelNode(const pugi::xml_document& doc) {
    return ChildElement(ChildElement(ChildElement(doc, "QRB"), "channels"), "channel");
}

} // namespace

pugi::xml_node FindChannelNodeByIndex(const pugi::xml_document& doc, int index) {
    int count = 0;
    for (pugi::xml_node n = FirstChannelNode(doc); n; n = n.next_sibling(), ++count) {
        if (count == index)
            return n.type() == pugi::node_element && ChildElement(n, "channel_serial") ? n : pugi::xml_node();
    }
    return {};
}

pugi::xml_node FindChannelNodeBySerial(const pugi::xml_document& doc, std::string_view serial) {
    for (pugi::xml_node n = FirstChannelNode(doc); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element) continue;
        const pugi::xml_node s = ChildElement(n, "channel_serial");
        if (s && SetupElementText(s) == serial) return n;
    }
    return {};
}

bool TSetupXmlReader::LoadFromXML(TQRBRawChannel& ch, pugi::xml_node node, TSetupSetters& setters,
                                  std::string& error) {
    return DocumentStep(static_cast<bool>(node), error, [&] {
        const int index = ch.GlobalIndex;
        const auto child = [&node](const char* name) { return ChildElement(node, name); };
        const auto required = [&](const char* name) {
            pugi::xml_node n = child(name);
            if (!n) throw TConvertError(Format("Invalid XML document: missing element \"%s\"!", name));
            return n;
        };
        const auto code = [&](const char* name, TSetupSetter setter) {
            if (pugi::xml_node n = child(name)) setters.Set(setter, index, CodeOf(n));
        };
        const auto flag = [&](const char* name, TSetupSetter setter) {
            if (pugi::xml_node n = child(name)) setters.Set(setter, index, CodeOf(n) == 1 ? 1 : 0);
        };
        // The DAC's distance from the file's zero, carried over to this channel's own zero.
        const auto transfer = [&](const char* valueName, const char* zeroName, int missing, int ownZero) {
            const pugi::xml_node v = child(valueName), z = child(zeroName);
            const int value = (v ? CodeOf(v) : missing) & 4095;
            const int zero = (z ? CodeOf(z) : missing) & 4095;
            return ClampDAC(value - zero + ownZero);
        };
        const auto powerTransfer = [&] {
            const uint16_t pd = transfer("channel_power_dac", "channel_power_zero", 0, ch.PowerZero);
            setters.SetDACs(index, pd, ch.OffsetDACCache);
        };

        if (pugi::xml_node n = child("channel_display"))
            ch.SetChannelName(device::Utf8Cut(device::ToModelText(n.child_value()), 255));
        if (pugi::xml_node n = child("channel_description"))
            ch.SetDescription(device::Utf8Cut(device::ToModelText(n.child_value()), 255));

        const int sensor = CodeOf(required("channel_sensor"));
        if (sensor == stCharge && !ch.HasCharge()) {
            error = "Invalid sensor type: channel has no charge feature!";
            return false;
        }
        setters.Set(TSetupSetter::SetSensorType, index, sensor);
        setters.Set(TSetupSetter::SetRange, index, CodeOf(required("channel_range")));
        setters.Set(TSetupSetter::SetOutputFilter, index,
                    CodeOf(required("channel_outputfilter")) == 1 ? 1 : 0);
        setters.Set(TSetupSetter::SetOpenGndShield, index,
                    CodeOf(required("channel_open_gnd_shield")) == 1 ? 1 : 0);
        if (ch.HasADC18) flag("channel_monitor", TSetupSetter::SetMonitor);

        switch (ch.SensorType) {
        case stVolt:
        case stCurrent:
            code("channel_coupling", TSetupSetter::SetCoupling);
            if (pugi::xml_node supply = child("channel_volt_supply"); supply && ch.SensorType == stVolt) {
                setters.Set(TSetupSetter::SetSupply, index, CodeOf(supply));
                if (ch.SupplyCache == 1 || ch.SupplyCache == 2) powerTransfer();
                if (ch.SupplyCache == 1) code("channel_volt_sense", TSetupSetter::SetSense);
            }
            break;
        case stICP:
        case stDMSCurrent:
        case stRTD:
            code("channel_coupling", TSetupSetter::SetCoupling);
            if (ch.SensorType != stRTD) powerTransfer();
            if (ch.SensorType != stICP) flag("channel_pwr_at_signal", TSetupSetter::SetPwrAtSignal);
            break;
        case stDMSFullbridge:
        case stDMSHalfbridge:
        case stDMSQuarterbridge:
            code("channel_coupling", TSetupSetter::SetCoupling);
            flag("channel_120_Ohm", TSetupSetter::Set120Ohm);
            flag("channel_dms_shunt", TSetupSetter::SetDMSShunt);
            code("channel_volt_sense", TSetupSetter::SetSense);
            powerTransfer();
            break;
        case stCharge:
            code("channel_charge_mode", TSetupSetter::SetChargeMode);
            code("channel_charge_highpass", TSetupSetter::SetChargeHighpass);
            code("channel_charge_capacity", TSetupSetter::SetChargeCapacity);
            flag("channel_chargeinput", TSetupSetter::SetChargeInput);
            flag("channel_charge_ac_out", TSetupSetter::SetChargeACOut);
            flag("channel_charge_clear", TSetupSetter::SetChargeClear);
            flag("channel_charge_man_clearmode", TSetupSetter::SetChargeManClearMode);
            break;
        default:
            break;
        }

        const int offset = CodeOf(required("channel_offset")) == 1 ? 1 : 0;
        setters.Set(TSetupSetter::SetOffset, index, offset);
        if (offset) {
            const uint16_t od = transfer("channel_offset_dac", "channel_offset_zero", 2048, ch.OffsetZero);
            setters.SetDACs(index, ch.PowerDACCache, od);
        }

        if (pugi::xml_node n = child("channel_adc8statval"))
            ch.ADC8StatVal = static_cast<uint8_t>(StrToInt(SetupElementText(n)) & 0xFF);
        if (pugi::xml_node n = child("channel_adc8lowval"))
            ch.ADC8LowVal = static_cast<uint8_t>(StrToInt(SetupElementText(n)) & 0xFF);
        return true;
    });
}

// ---- Channel state ------------------------------------------------------------------------

// Every field a setter, a preset or a load may change; identity and links stay out.
#define QRB_CHANNEL_STATE_FIELDS(X)                                                                          \
    X(HWVersion)                                                                                             \
    X(SensorType) X(Range) X(CopySource) X(SnapshotValid) X(SnapshotSensorType) X(Snapshot)                  \
        X(SnapshotADC8LowVal) X(SnapshotOpenGndShield) X(Backup) X(BackupADC8LowVal) X(BackupOpenGndShield) \
        X(Current) X(Pending) X(Info) X(coupling) X(reference) X(vrefplus) X(vrefminus) X(predivider)        \
            X(gain) X(volt_sense) X(charge_mode) X(charge_highpass) X(charge_capacity) X(volt_supply)        \
                X(offset) X(monitor) X(offsetdac_filter) X(outputfilter) X(quarterload) X(pwr_at_signal)     \
                    X(dms_shunt) X(_120_Ohm) X(pwrfilter5M) X(current) X(led1) X(led2) X(r25_shunt)          \
                        X(dmscableref) X(qtrloadsense) X(dms_pwr_on) X(analog_status_off) X(chargeinput)     \
                            X(charge_ac_out) X(charge_clear) X(charge_man_clearmode) X(open_gnd_shield)      \
                                X(PowerDAC) X(OffsetDAC) X(PowerZero) X(OffsetZero) X(Calibration)           \
                                    X(ChannelName) X(Description) X(TypeCache) X(RangeCache) X(GainCache)    \
                                        X(CouplingCache) X(OffsetDACCache) X(PowerDACCache) X(MonitorCache)  \
                                            X(OffsetCache) X(OutputFilterCache) X(Is350OhmCache)             \
                                                X(SenseCache) X(PowerDACCache2) X(DMSShuntCache)             \
                                                    X(PwrAtSignalCache) X(ChargeModeCache) X(CapacityCache)  \
                                                        X(HighpassCache) X(AutoClearCache) X(SupplyCache)    \
                                                            X(ReferenceCache) X(CurrentCache) X(ADC8StatVal) \
                                                                X(ADC8LowVal) X(HasADC18)                    \
                                                                    X(AllowedCouplings) X(Present) X(Defect) \
                                                                        X(ADC8Status) X(ADC8History)

struct TChannelModelState::TFields {
#define QRB_DECLARE_FIELD(f) std::remove_cvref_t<decltype(std::declval<TQRBRawChannel&>().f)> f;
    QRB_CHANNEL_STATE_FIELDS(QRB_DECLARE_FIELD)
#undef QRB_DECLARE_FIELD
};

TChannelModelState::TChannelModelState(const TQRBRawChannel& channel) : fields_(std::make_unique<TFields>()) {
#define QRB_SAVE_FIELD(f) fields_->f = channel.f;
    QRB_CHANNEL_STATE_FIELDS(QRB_SAVE_FIELD)
#undef QRB_SAVE_FIELD
}

TChannelModelState::~TChannelModelState() = default;
TChannelModelState::TChannelModelState(TChannelModelState&&) noexcept = default;
TChannelModelState& TChannelModelState::operator=(TChannelModelState&&) noexcept = default;

void TChannelModelState::Restore(TQRBRawChannel& channel) const {
    if (!fields_) return;
#define QRB_RESTORE_FIELD(f) channel.f = fields_->f;
    QRB_CHANNEL_STATE_FIELDS(QRB_RESTORE_FIELD)
#undef QRB_RESTORE_FIELD
}

#undef QRB_CHANNEL_STATE_FIELDS

// ---- File operations ----------------------------------------------------------------------

namespace {

bool NameUsable(const std::string& fileName) {
    return !TrimText(fileName).empty();
}

// The start of the file checks: error cleared; a name that is no file, or a file that does not
// parse, is refused (the check answers False); root is the document's QRB element or null.
bool LoadSetupRoot(const std::string& fileName, pugi::xml_document& doc, pugi::xml_node& root,
                   std::string& error) {
    error.clear();
    if (!NameUsable(fileName) || !device::FileExists(fileName)) {
        error = kInvalidFile;
        return false;
    }
    if (!LoadSetupXmlFile(fileName, doc, error)) return false;
    root = ChildElement(doc, "QRB");
    return true;
}

} // namespace

bool XmlCheckSetupFile(const std::string& fileName, bool& valid, std::string& error) {
    valid = false;
    pugi::xml_document doc;
    pugi::xml_node root;
    if (!LoadSetupRoot(fileName, doc, root, error)) return false;
    if (!root) {
        error = kInvalidFile;
        return true;
    }
    const pugi::xml_node type = ChildElement(root, "config_type");
    if (!type) {
        error = "Invalid setup file format (config_type missing)!";
        return true;
    }
    if (SetupElementText(type) != kSetupConfigType) {
        error = "Invalid setup file format (config_type is not qrb730)!";
        return true;
    }
    const pugi::xml_node version = ChildElement(root, "config_version");
    if (!version) {
        error = "Invalid setup file format (config_version missing)!";
        return true;
    }
    if (SetupElementText(version) != kSetupConfigVersion) {
        error = Format("Invalid setup file format (config_version<>%s)!", kSetupConfigVersion);
        return true;
    }
    valid = true;
    return true;
}

bool XmlGetSetupChannelCount(const std::string& fileName, int channelCount, bool& countsEqual,
                             std::string& error) {
    countsEqual = false;
    pugi::xml_document doc;
    pugi::xml_node root;
    if (!LoadSetupRoot(fileName, doc, root, error)) return false;
    if (!root) {
        error = kInvalidFile;
        return false;
    }
    const pugi::xml_node channels = ChildElement(root, "channels");
    if (!channels) {
        error = "Invalid setup file format (channels missing)!";
        return false;
    }
    const pugi::xml_node count = ChildElement(channels, "channel_count");
    if (!count) {
        error = "Invalid setup file format (channel_count missing)!";
        return false;
    }
    try {
        countsEqual = StrToInt(SetupElementText(count)) == channelCount;
    } catch (const TConvertError& e) {
        error = e.what();
        return false;
    }
    return true;
}

bool XmlSetupSerialsMatch(const std::string& fileName, const TSetupModel& model, bool& serialsMatch,
                          std::string& error) {
    serialsMatch = false;
    pugi::xml_document doc;
    pugi::xml_node root;
    if (!LoadSetupRoot(fileName, doc, root, error)) return false;
    if (!root) {
        error = kInvalidFile;
        return true;
    }
    const pugi::xml_node device = ChildElement(ChildElement(root, "devices"), "device");
    if (!device) {
        error = "Invalid setup file format (device missing)!";
        return true;
    }
    const pugi::xml_node type = ChildElement(device, "device_type");
    if (!type) {
        error = "Invalid setup file format (device_type missing)!";
        return true;
    }
    if (SetupElementText(type) == "Offline") {
        serialsMatch = true;
        return true;
    }
    serialsMatch = EveryPresentChannel(model, [&](const TQRBRawChannel& ch) {
        return static_cast<bool>(FindChannelNodeBySerial(doc, ChannelSerialText(ch)));
    });
    return true;
}

bool XmlLoadSetupDocument(const pugi::xml_document& doc, bool bySerial, const TSetupModel& model,
                          TSetupSetters& setters, std::string& error) {
    std::vector<std::pair<TQRBRawChannel*, TChannelModelState>> touched;
    const auto fail = [&touched] {
        for (auto it = touched.rbegin(); it != touched.rend(); ++it)
            it->second.Restore(*it->first);
        return false;
    };
    try {
        int position = 0; // over present channels
        for (size_t i = 0; i < model.Channels.size(); ++i) {
            TQRBRawChannel* ch = model.Channels[i];
            if (ch == nullptr || !ch->Present) continue;
            const pugi::xml_node node = bySerial ? FindChannelNodeBySerial(doc, ChannelSerialText(*ch))
                                                 : FindChannelNodeByIndex(doc, position);
            ++position;
            if (!node) {
                error = Format("Error while loading setup for channel %2.2d. XML section does not exist!",
                               static_cast<int64_t>(i + 1));
                return fail();
            }
            touched.emplace_back(ch, TChannelModelState(*ch));
            if (!TSetupXmlReader::LoadFromXML(*ch, node, setters, error)) return fail();
        }
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return fail();
    }
}

bool XmlLoadSetup(const std::string& fileName, bool bySerial, const TSetupModel& model,
                  TSetupSetters& setters, std::string& error) {
    error.clear();
    if (!NameUsable(fileName)) {
        error = kInvalidName;
        return false;
    }
    pugi::xml_document doc;
    if (!LoadSetupXmlFile(fileName, doc, error)) return false;
    return XmlLoadSetupDocument(doc, bySerial, model, setters, error);
}

} // namespace qrb::model
