#pragma once
// XML setups: the writer of the document (header, device list, channel list), the channel
// element lookups, the reader that applies one channel element through the setters, and the
// reading operations of a whole file. Nothing here raises for bad input: every failure is a
// False result with its text.

#include "device/Format.h"
#include "model/QRBRawChannel.h"
#include "model/QRBRawMaster.h"
#include "model/SetupCommon.h"

#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::model {

inline constexpr const char* kSetupConfigVersion = "1.0";
inline constexpr const char* kSetupConfigType = "qrb730";
inline constexpr const char* kApplicationTitle = "OndrixQRB";
// Larger setup files are refused before parsing.
inline constexpr size_t kMaxSetupXmlBytes = 64u * 1024u * 1024u;

// What the creator element says about the program and the computer.
struct TSetupCreator {
    std::string Software = kApplicationTitle;
    std::string Version;
    std::string NodeId;
    std::string Address;
    std::function<device::TDateTime()> Clock; // local time; Now when empty

    // The program version, $ComputerName (else the host name), the local addresses.
    static TSetupCreator FromSystem();
};

// The channel's serial: "%2.2d-%3.3d" of Info.Version and Info.Serial.
std::string ChannelSerialText(const TQRBRawChannel& channel);
// $ComputerName when set, else the host name (empty when neither is known).
std::string SetupNodeId();

// ---- Writer -------------------------------------------------------------------------------

class TSetupXmlWriter {
public:
    // Adds QRB with config_version, config_type and creator; fileName is the saved file's name
    // without its folder.
    static bool WriteSetupHeader(pugi::xml_document* doc, const TSetupCreator& creator,
                                 const std::string& fileName, pugi::xml_node& root, std::string& error);
    static bool WriteDeviceList(pugi::xml_node root, const TSetupModel& model, std::string& error);
    // One channel element per present channel; channel_count counts every channel object.
    static bool WriteChannelList(pugi::xml_node root, const TSetupModel& model, std::string& error);
    static bool SaveToXML(const TQRBRawChannel& channel, pugi::xml_node channels, std::string& error);

    // The whole document for a model, or False with the failing step's text.
    static bool BuildDocument(pugi::xml_document& doc, const TSetupModel& model, const TSetupCreator& creator,
                              const std::string& fileName, std::string& error);
    // The document's bytes: the UTF-8 declaration, then the indented elements.
    static std::string ToText(const pugi::xml_document& doc);
    // Writes the document atomically; False with the file's error text.
    static bool SaveFile(const pugi::xml_document& doc, const std::string& path, std::string& error);
};

// ---- Reader -------------------------------------------------------------------------------

// The setters a channel element is applied through (the translator's, by GlobalIndex). Codes
// come unchanged from the file; the receiver refuses what its setting cannot take.
enum class TSetupSetter : uint8_t {
    SetSensorType,
    SetRange,
    SetOutputFilter,
    SetOpenGndShield,
    SetMonitor,
    SetCoupling,
    SetSupply,
    SetSense,
    SetPwrAtSignal,
    Set120Ohm,
    SetDMSShunt,
    SetChargeMode,
    SetChargeHighpass,
    SetChargeCapacity,
    SetChargeInput,
    SetChargeACOut,
    SetChargeClear,
    SetChargeManClearMode,
    SetOffset,
};

const char* SetupSetterName(TSetupSetter setter);

class TSetupSetters {
public:
    virtual ~TSetupSetters() = default;
    virtual void Set(TSetupSetter setter, int index, int code) = 0;
    // Both values already in 0..4095.
    virtual void SetDACs(int index, uint16_t powerDAC, uint16_t offsetDAC) = 0;
};

// Element text with blanks and control characters around it removed.
std::string SetupElementText(pugi::xml_node node);

// Parses a setup document; comments and processing instructions are kept as nodes.
bool ParseSetupXml(std::string_view bytes, pugi::xml_document& doc, std::string& error);
bool LoadSetupXmlFile(const std::string& fileName, pugi::xml_document& doc, std::string& error);

// The element under QRB/channels at sibling position index (every node counts), or the first
// whose channel_serial equals serial; a null node when none.
pugi::xml_node FindChannelNodeByIndex(const pugi::xml_document& doc, int index);
pugi::xml_node FindChannelNodeBySerial(const pugi::xml_document& doc, std::string_view serial);

class TSetupXmlReader {
public:
    // Applies one channel element to the channel (LoadFromXML). False with the error text for a
    // missing required element, a charge type on a channel without charge input, and a
    // code_index or number that is no integer.
    static bool LoadFromXML(TQRBRawChannel& channel, pugi::xml_node node, TSetupSetters& setters,
                            std::string& error);
};

// Everything a setup load may change on a channel, to put back after a failed load.
class TChannelModelState {
public:
    explicit TChannelModelState(const TQRBRawChannel& channel);
    ~TChannelModelState();
    TChannelModelState(TChannelModelState&&) noexcept;
    TChannelModelState& operator=(TChannelModelState&&) noexcept;
    void Restore(TQRBRawChannel& channel) const;

private:
    struct TFields;
    std::unique_ptr<TFields> fields_;
};

// ---- File operations (".xml" branches; the file name is already known to end in ".xml") ----

// Result: the file could be read as a setup at all; valid: it is one of this system.
bool XmlCheckSetupFile(const std::string& fileName, bool& valid, std::string& error);
bool XmlGetSetupChannelCount(const std::string& fileName, int channelCount, bool& countsEqual,
                             std::string& error);
// Only present channels are matched.
bool XmlSetupSerialsMatch(const std::string& fileName, const TSetupModel& model, bool& serialsMatch,
                          std::string& error);
// Applies the file to the present channels (by serial, or the k-th present channel from the
// k-th channel element); a failure puts every channel it touched back as it was.
bool XmlLoadSetup(const std::string& fileName, bool bySerial, const TSetupModel& model,
                  TSetupSetters& setters, std::string& error);
bool XmlLoadSetupDocument(const pugi::xml_document& doc, bool bySerial, const TSetupModel& model,
                          TSetupSetters& setters, std::string& error);

} // namespace qrb::model
