// The translator's setup files and exports: the entry checks, the choice between the XML and
// the raw setup by extension, and the hand-over to their readers and writers.

#include "device/Format.h"
#include "model/ChannelExport.h"
#include "model/I2CTranslator.h"
#include "model/SetupCommon.h"
#include "model/SetupRaw.h"
#include "model/SetupXml.h"

#include <stdexcept>

namespace qrb::model {

namespace {

constexpr const char* kExtXml = ".xml";
constexpr const char* kExtRaw = ".prs";
constexpr const char* kInvalidName = "Invalid or empty filename!";
constexpr const char* kInvalidFile = "Invalid file or empty filename!";

TSetupModel ModelOf(const TI2CTranslator& t) {
    TSetupModel m;
    for (const auto& entry : t.Masters)
        m.Masters.push_back(entry.Object.get());
    for (const auto& entry : t.Channels)
        m.Channels.push_back(entry.Object.get());
    return m;
}

bool NameEmpty(const std::string& fileName) {
    return TrimText(fileName).empty();
}

// The setup file operations: the last file error cleared, an empty name refused with
// nameError, then the XML or the raw form by the case-sensitive last extension; any other
// extension gives False.
template <class TXml, class TRaw>
bool BySetupFileKind(const std::string& fileName, const char* nameError, std::string& lastError, TXml&& xml,
                     TRaw&& raw) {
    lastError.clear();
    if (NameEmpty(fileName)) {
        lastError = nameError;
        return false;
    }
    const std::string ext = ExtractFileExt(fileName);
    if (ext == kExtXml) return xml();
    if (ext == kExtRaw) return raw();
    return false;
}

// The translator's setters for a channel element. Codes reach them only when they fit the
// setter's argument; a larger one is refused like a code outside the setter's table.
class TTranslatorSetupSetters final : public TSetupSetters {
public:
    explicit TTranslatorSetupSetters(TI2CTranslator& t) : t_(t) {}

    void Set(TSetupSetter setter, int index, int code) override {
        const int limit = setter == TSetupSetter::SetSensorType ? 0xFFFF : 0xFF;
        if (code < 0 || code > limit) {
            t_.LastError =
                device::Format("Invalid value %d for channel %d", code, static_cast<int64_t>(index) + 1);
            t_.ReportError();
            return;
        }
        const auto c = static_cast<uint8_t>(code);
        switch (setter) {
        case TSetupSetter::SetSensorType:
            t_.SetSensorType(index, static_cast<uint16_t>(code));
            break;
        case TSetupSetter::SetRange:
            t_.SetRange(index, c);
            break;
        case TSetupSetter::SetOutputFilter:
            t_.SetOutputFilter(index, c);
            break;
        case TSetupSetter::SetOpenGndShield:
            t_.SetOpenGndShield(index, c);
            break;
        case TSetupSetter::SetMonitor:
            t_.SetMonitor(index, c);
            break;
        case TSetupSetter::SetCoupling:
            t_.SetCoupling(index, c);
            break;
        case TSetupSetter::SetSupply:
            t_.SetSupply(index, c);
            break;
        case TSetupSetter::SetSense:
            t_.SetSense(index, c);
            break;
        case TSetupSetter::SetPwrAtSignal:
            t_.SetPwrAtSignal(index, c);
            break;
        case TSetupSetter::Set120Ohm:
            t_.Set120Ohm(index, c);
            break;
        case TSetupSetter::SetDMSShunt:
            t_.SetDMSShunt(index, c);
            break;
        case TSetupSetter::SetChargeMode:
            t_.SetChargeMode(index, c);
            break;
        case TSetupSetter::SetChargeHighpass:
            t_.SetChargeHighpass(index, c);
            break;
        case TSetupSetter::SetChargeCapacity:
            t_.SetChargeCapacity(index, c);
            break;
        case TSetupSetter::SetChargeInput:
            t_.SetChargeInput(index, c);
            break;
        case TSetupSetter::SetChargeACOut:
            t_.SetChargeACOut(index, c);
            break;
        case TSetupSetter::SetChargeClear:
            t_.SetChargeClear(index, c);
            break;
        case TSetupSetter::SetChargeManClearMode:
            t_.SetChargeManClearMode(index, c);
            break;
        case TSetupSetter::SetOffset:
            t_.SetOffset(index, c);
            break;
        }
    }

    void SetDACs(int index, uint16_t powerDAC, uint16_t offsetDAC) override {
        t_.SetDACs(index, powerDAC, offsetDAC);
    }

private:
    TI2CTranslator& t_;
};

} // namespace

bool TI2CTranslator::SaveSetup(const std::string& fileName, uint8_t kinds, uint8_t exports) {
    LastFileError.clear();
    if (NameEmpty(fileName)) {
        LastFileError = kInvalidName;
        return false;
    }
    const std::string base = RemoveFileExt(fileName);
    const TSetupModel model = ModelOf(*this);
    bool result = false;
    if (kinds & 0x01) {
        std::string error;
        result = RawSaveSetup(base + kExtRaw, model, error);
        if (!result) LastFileError = error;
    }
    if (kinds & 0x02) {
        const std::string path = base + kExtXml;
        pugi::xml_document doc;
        std::string error;
        if (!TSetupXmlWriter::BuildDocument(doc, model, TSetupCreator::FromSystem(), ExtractFileName(path),
                                            error)) {
            LastFileError = error;
            return result;
        }
        if (!TSetupXmlWriter::SaveFile(doc, path, error)) throw std::runtime_error(error);
        result = true;
    }
    if (exports & 0x01) result = ExportText(base + ".txt") && result;
    if (exports & 0x02) result = ExportXls(base + ".xls") && result;
    if (exports & 0x04) result = ExportXml(base + kExtXml) && result;
    return result;
}

bool TI2CTranslator::CheckSetupFile(const std::string& fileName, bool& valid) {
    valid = false;
    return BySetupFileKind(
        fileName, kInvalidFile, LastFileError,
        [&] { return XmlCheckSetupFile(fileName, valid, LastFileError); },
        [&] { return RawCheckSetupFile(fileName, valid, LastFileError); });
}

bool TI2CTranslator::GetSetupChannelCount(const std::string& fileName, bool& countsEqual) {
    countsEqual = false;
    return BySetupFileKind(
        fileName, kInvalidFile, LastFileError,
        [&] { return XmlGetSetupChannelCount(fileName, ChannelCount(), countsEqual, LastFileError); },
        [&] { return RawGetSetupChannelCount(fileName, ChannelCount(), countsEqual, LastFileError); });
}

bool TI2CTranslator::SetupSerialsMatch(const std::string& fileName, bool& serialsMatch) {
    serialsMatch = false;
    return BySetupFileKind(
        fileName, kInvalidFile, LastFileError,
        [&] { return XmlSetupSerialsMatch(fileName, ModelOf(*this), serialsMatch, LastFileError); },
        [&] { return RawSetupSerialsMatch(fileName, ModelOf(*this), serialsMatch, LastFileError); });
}

bool TI2CTranslator::LoadSetup(const std::string& fileName, bool bySerial) {
    return BySetupFileKind(
        fileName, kInvalidName, LastFileError,
        [&] {
            TTranslatorSetupSetters setters(*this);
            return XmlLoadSetup(fileName, bySerial, ModelOf(*this), setters, LastFileError);
        },
        [&] { return RawLoadSetup(fileName, bySerial, ModelOf(*this), LastFileError); });
}

// A failed export adds its text after a line break, behind what the save reported before it.
bool TI2CTranslator::ExportText(const std::string& fileName) {
    std::string error;
    if (model::ExportText(fileName, ModelOf(*this), TExportHeadings::FromSystem(), error)) return true;
    LastFileError += "\r\n" + error;
    return false;
}

bool TI2CTranslator::ExportXls(const std::string& fileName) {
    std::string error;
    if (model::ExportXls(fileName, ModelOf(*this), TExportHeadings::FromSystem(), error)) return true;
    LastFileError += "\r\n" + error;
    return false;
}

bool TI2CTranslator::ExportXml(const std::string& /*fileName*/) {
    return false;
}

} // namespace qrb::model
