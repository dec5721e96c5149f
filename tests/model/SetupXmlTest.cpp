#include "model/SetupXml.h"

#include "device/FileUtil.h"
#include "device/HWVocabulary.h"
#include "tests/model/SetupTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qrb::model {
namespace {

using testing::TRecordingSetters;
using testing::TTempDir;
using testing::TTestModel;
using TCall = TRecordingSetters::TCall;

class FakeMasterAccess : public TMasterDeviceAccess {
public:
    device::TMasterFlash Flash;
    device::TI2CResult GetMasterflash(int, device::TMasterFlash& flash) override {
        flash = Flash;
        return device::TI2CResult::irOK;
    }
    device::TI2CResult SetMasterflash(int, const device::TMasterFlash&) override {
        return device::TI2CResult::irOK;
    }
    device::TI2CResult GetDCDCInfo(int, device::TDCDCInfo&) override { return device::TI2CResult::irOK; }
};

// The master never calls its translator; any non-null pointer stands for one.
TI2CTranslator* SomeTranslator() {
    static int token;
    return reinterpret_cast<TI2CTranslator*>(&token);
}

TSetupCreator FixedCreator() {
    TSetupCreator c;
    c.Version = "1.0.0.0";
    c.NodeId = "bench-pc";
    c.Address = "10.1.2.3";
    c.Clock = [] { return device::EncodeDateTime(2024, 3, 7, 9, 5, 2, 0); };
    return c;
}

std::vector<std::string> ChildNames(pugi::xml_node n) {
    std::vector<std::string> out;
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        out.push_back(c.name());
    return out;
}

pugi::xml_document Parse(const std::string& text) {
    pugi::xml_document doc;
    std::string error;
    EXPECT_TRUE(ParseSetupXml(text, doc, error)) << error;
    return doc;
}

// ---- Writer -------------------------------------------------------------------------------

TEST(SetupXmlWriter, OneVoltChannelDocumentIsExactlyTheTable) {
    FakeMasterAccess access;
    access.Flash.SetMagic();
    access.Flash.DeviceSeries = 3;
    access.Flash.DeviceSerial = 7;
    TQRBRawMaster master(0, "VD 01-01", SomeTranslator(), device::TInterfaceKind::ikOffline, &access);

    TTestModel tm;
    TQRBRawChannel& ch = tm.Add(2, 417);
    ch.Kind = device::TInterfaceKind::ikOffline;
    ch.ChannelName = "Kraft <A&B> \xC3\xA4"; // "ä"
    ch.Description = "";
    ch.ADC8StatVal = 236;
    ch.ADC8LowVal = 124;
    ch.Range = 4;
    ch.offset = 1;
    ch.outputfilter = 1;
    ch.open_gnd_shield = 1;
    ch.PowerDAC = 2100;
    ch.PowerZero = 2000;
    ch.OffsetDAC = 2048;
    ch.OffsetZero = 2040;
    TSetupModel model = tm.Model();
    model.Masters.push_back(&master);

    pugi::xml_document doc;
    std::string error;
    ASSERT_TRUE(TSetupXmlWriter::BuildDocument(doc, model, FixedCreator(), "a.xml", error)) << error;
    const std::string text = TSetupXmlWriter::ToText(doc);

    using namespace device;
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<QRB>\n"
        "  <config_version>1.0</config_version>\n"
        "  <config_type>qrb730</config_type>\n"
        "  <creator>\n"
        "    <software>OndrixQRB</software>\n"
        "    <version>1.0.0.0</version>\n"
        "    <filename>a.xml</filename>\n"
        "    <date>2024-03-07</date>\n"
        "    <time>09:05:02</time>\n"
        "    <node_id>bench-pc</node_id>\n"
        "    <node_type>PC</node_type>\n"
        "    <address>10.1.2.3</address>\n"
        "  </creator>\n"
        "  <devices>\n"
        "    <device_count>1</device_count>\n"
        "    <device>\n"
        "      <device_number>1</device_number>\n"
        "      <device_serial>03-007</device_serial>\n"
        "      <device_name>VD 01-01</device_name>\n"
        "      <device_type code_index=\"4\">Offline</device_type>\n"
        "    </device>\n"
        "  </devices>\n"
        "  <channels>\n"
        "    <channel_count>1</channel_count>\n"
        "    <channel>\n"
        "      <device_number>1</device_number>\n"
        "      <channel_number>1</channel_number>\n"
        "      <channel_serial>02-417</channel_serial>\n"
        "      <channel_name>Channel  1</channel_name>\n"
        "      <channel_display>Kraft &lt;A&amp;B&gt; \xC3\xA4</channel_display>\n"
        "      <channel_description></channel_description>\n"
        "      <channel_adc8statval>236</channel_adc8statval>\n"
        "      <channel_adc8lowval>124</channel_adc8lowval>\n"
        "      <channel_interface code_index=\"4\">Offline</channel_interface>\n"
        "      <channel_has_charge code_index=\"0\">false</channel_has_charge>\n"
        "      <channel_has_odu code_index=\"0\">false</channel_has_odu>\n"
        "      <channel_has_bnc code_index=\"0\">false</channel_has_bnc>\n"
        "      <channel_sensor code_index=\"1\">" +
        SensorTypeToText(1) +
        "</channel_sensor>\n"
        "      <channel_range code_index=\"4\">" +
        VoltageRangeToText(2, 4) +
        "</channel_range>\n"
        "      <channel_volt_supply code_index=\"0\">" +
        VoltSupplyToText(0) +
        "</channel_volt_supply>\n"
        "      <channel_volt_sense code_index=\"0\">" +
        VoltSenseToText(0) +
        "</channel_volt_sense>\n"
        "      <channel_coupling code_index=\"0\">" +
        CouplingToText(0) +
        "</channel_coupling>\n"
        "      <channel_reference code_index=\"0\">" +
        ReferenceToText(0) +
        "</channel_reference>\n"
        "      <channel_vrefplus code_index=\"0\">" +
        VRefPlusToText(0) +
        "</channel_vrefplus>\n"
        "      <channel_vrefminus code_index=\"0\">" +
        VRefMinusToText(0) +
        "</channel_vrefminus>\n"
        "      <channel_offset code_index=\"1\">true</channel_offset>\n"
        "      <channel_monitor code_index=\"0\">false</channel_monitor>\n"
        "      <channel_offsetdac_filter code_index=\"0\">false</channel_offsetdac_filter>\n"
        "      <channel_outputfilter code_index=\"1\">true</channel_outputfilter>\n"
        "      <channel_quarterload code_index=\"0\">false</channel_quarterload>\n"
        "      <channel_pwr_at_signal code_index=\"0\">false</channel_pwr_at_signal>\n"
        "      <channel_dms_shunt code_index=\"0\">false</channel_dms_shunt>\n"
        "      <channel_120_Ohm code_index=\"0\">false</channel_120_Ohm>\n"
        "      <channel_pwrfilter5M code_index=\"0\">false</channel_pwrfilter5M>\n"
        "      <channel_current code_index=\"0\">false</channel_current>\n"
        "      <channel_led1 code_index=\"0\">false</channel_led1>\n"
        "      <channel_led2 code_index=\"0\">false</channel_led2>\n"
        "      <channel_r25_shunt code_index=\"0\">false</channel_r25_shunt>\n"
        "      <channel_dmscableref code_index=\"0\">false</channel_dmscableref>\n"
        "      <channel_qtrloadsense code_index=\"0\">false</channel_qtrloadsense>\n"
        "      <channel_dms_pwr_on code_index=\"0\">false</channel_dms_pwr_on>\n"
        "      <channel_analog_status_off code_index=\"0\">false</channel_analog_status_off>\n"
        "      <channel_open_gnd_shield code_index=\"1\">true</channel_open_gnd_shield>\n"
        "      <channel_power_dac code_index=\"2100\">2100</channel_power_dac>\n"
        "      <channel_power_zero code_index=\"2000\">2000</channel_power_zero>\n"
        "      <channel_offset_dac code_index=\"2048\">2048</channel_offset_dac>\n"
        "      <channel_offset_zero code_index=\"2040\">2040</channel_offset_zero>\n"
        "    </channel>\n"
        "  </channels>\n"
        "</QRB>\n";
    EXPECT_EQ(text, expected);
}

TEST(SetupXmlWriter, ChargeChannelsHave49ChildrenOthers42AndAbsentChannelsNone) {
    TTestModel tm;
    TQRBRawChannel& charge = tm.Add(2, 10, stCharge);
    charge.Info.Features = 0x01;
    charge.Range = 3;
    charge.charge_capacity = 1;
    charge.charge_highpass = 1;
    charge.charge_mode = 2;
    tm.Add(0, 0, stOff, false); // defect placeholder
    tm.Add(1, 11, stCurrent).Range = 14;

    pugi::xml_document doc;
    std::string error;
    ASSERT_TRUE(TSetupXmlWriter::BuildDocument(doc, tm.Model(), FixedCreator(), "x.xml", error)) << error;
    pugi::xml_node channels = doc.child("QRB").child("channels");
    EXPECT_STREQ(channels.child_value("channel_count"), "3");
    std::vector<pugi::xml_node> list;
    for (pugi::xml_node c : channels.children("channel"))
        list.push_back(c);
    ASSERT_EQ(list.size(), 2u);

    const std::vector<std::string> chargeNames = ChildNames(list[0]);
    ASSERT_EQ(chargeNames.size(), 49u);
    const std::vector<std::string> chargePart(chargeNames.begin() + 13, chargeNames.begin() + 21);
    EXPECT_EQ(chargePart, (std::vector<std::string>{"channel_charge_mode", "channel_charge_highpass",
                                                    "channel_charge_capacity", "channel_chargeinput",
                                                    "channel_charge_ac_out", "channel_charge_clear",
                                                    "channel_charge_man_clearmode", "channel_range"}));
    EXPECT_EQ(std::string(list[0].child_value("channel_range")), device::ChargeRangeToText(2, 3, 1));
    EXPECT_EQ(std::string(list[0].child_value("channel_charge_highpass")),
              device::ChargeHighPassToText(1, 1));
    EXPECT_STREQ(list[0].child("channel_charge_highpass").attribute("code_index").value(), "1");
    EXPECT_STREQ(list[0].child("channel_charge_mode").attribute("code_index").value(), "2");

    EXPECT_EQ(ChildNames(list[1]).size(), 42u);
    EXPECT_EQ(std::string(list[1].child_value("channel_range")), device::CurrentRangeToText(1, 14));
    EXPECT_STREQ(list[1].child_value("channel_number"), "3");
    EXPECT_STREQ(list[1].child_value("channel_serial"), "01-011");
}

TEST(SetupXmlWriter, SerialsAreZeroPaddedButNeverCut) {
    EXPECT_EQ(SetupSerialText(2, 5), "02-005");
    EXPECT_EQ(SetupSerialText(255, 65535), "255-65535");
    EXPECT_EQ(SetupSerialText(0, 0), "00-000");
}

TEST(SetupXmlWriter, WritersWithoutDocumentOrElementFail) {
    std::string error;
    pugi::xml_node root;
    EXPECT_FALSE(TSetupXmlWriter::WriteSetupHeader(nullptr, FixedCreator(), "a", root, error));
    EXPECT_EQ(error, "Invalid XML document!");
    error.clear();
    EXPECT_FALSE(TSetupXmlWriter::WriteDeviceList(pugi::xml_node(), TSetupModel{}, error));
    EXPECT_EQ(error, "Invalid XML document!");
    error.clear();
    EXPECT_FALSE(TSetupXmlWriter::WriteChannelList(pugi::xml_node(), TSetupModel{}, error));
    EXPECT_EQ(error, "Invalid XML document!");
    TTestModel tm;
    tm.Add(1, 1);
    error.clear();
    EXPECT_FALSE(TSetupXmlWriter::SaveToXML(tm[0], pugi::xml_node(), error));
    EXPECT_EQ(error, "Invalid XML document!");
    TRecordingSetters setters(tm);
    error.clear();
    EXPECT_FALSE(TSetupXmlReader::LoadFromXML(tm[0], pugi::xml_node(), setters, error));
    EXPECT_EQ(error, "Invalid XML document!");
}

TEST(SetupXmlWriter, NodeIdIsComputerNameElseTheHostName) {
    ::setenv("ComputerName", "WS-17", 1);
    EXPECT_EQ(SetupNodeId(), "WS-17");
    ::unsetenv("ComputerName");
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(SetupNodeId(), host);
}

// ---- Lookups ------------------------------------------------------------------------------

constexpr const char* kThreeChannels = "<?xml version=\"1.0\"?>\n"
                                       "<?QRB not the root?>\n"
                                       "<QRB><channels>\n"
                                       "<channel_count>3</channel_count>\n"
                                       "<channel><channel_serial> 01-001 </channel_serial></channel>\n"
                                       "<!-- a comment counts as a sibling -->\n"
                                       "<channel><channel_serial>01-002</channel_serial></channel>\n"
                                       "<channel><other/></channel>\n"
                                       "<channel><channel_serial>01-002</channel_serial><n>2</n></channel>\n"
                                       "</channels></QRB>\n";

TEST(SetupXmlLookup, ByIndexCountsEverySiblingAndNeedsASerial) {
    pugi::xml_document doc = Parse(kThreeChannels);
    EXPECT_TRUE(FindChannelNodeByIndex(doc, 0));
    EXPECT_FALSE(FindChannelNodeByIndex(doc, 1)); // the comment
    EXPECT_STREQ(FindChannelNodeByIndex(doc, 2).child_value("channel_serial"), "01-002");
    EXPECT_FALSE(FindChannelNodeByIndex(doc, 3)); // no channel_serial
    EXPECT_TRUE(FindChannelNodeByIndex(doc, 4).child("n"));
    EXPECT_FALSE(FindChannelNodeByIndex(doc, 5));
    EXPECT_FALSE(FindChannelNodeByIndex(doc, -1));
}

TEST(SetupXmlLookup, BySerialTakesTheFirstTrimmedExactMatch) {
    pugi::xml_document doc = Parse(kThreeChannels);
    EXPECT_TRUE(FindChannelNodeBySerial(doc, "01-001"));
    EXPECT_FALSE(FindChannelNodeBySerial(doc, "01-002").child("n"));
    EXPECT_FALSE(FindChannelNodeBySerial(doc, "1-002"));
    EXPECT_FALSE(FindChannelNodeBySerial(doc, ""));
}

TEST(SetupXmlLookup, MissingRootChannelsOrChannelGivesNothing) {
    for (const char* text :
         {"<X><channels><channel><channel_serial>a</channel_serial></channel></channels></X>",
          "<QRB><channel><channel_serial>a</channel_serial></channel></QRB>",
          "<QRB><channels><chan><channel_serial>a</channel_serial></chan></channels></QRB>"}) {
        pugi::xml_document doc = Parse(text);
        EXPECT_FALSE(FindChannelNodeByIndex(doc, 0)) << text;
        EXPECT_FALSE(FindChannelNodeBySerial(doc, "a")) << text;
    }
}

// ---- LoadFromXML --------------------------------------------------------------------------

// A channel element with the required elements and the given extra children.
std::string ChannelXml(int sensor, const std::string& extra, bool required = true) {
    std::string s = "<channel><channel_serial>01-001</channel_serial>"
                    "<channel_sensor code_index=\"" +
                    std::to_string(sensor) + "\">x</channel_sensor>";
    if (required)
        s += "<channel_range code_index=\"5\"/><channel_outputfilter code_index=\"1\"/>"
             "<channel_open_gnd_shield code_index=\"7\"/><channel_offset code_index=\"0\"/>";
    return s + extra + "</channel>";
}

struct TLoadCase {
    const char* Label;
    int Sensor;
    std::string Extra;
    bool HasADC18;
    std::vector<std::string> Calls; // after the four required setters
};

class LoadFromXMLOrder : public ::testing::TestWithParam<TLoadCase> {};

const std::string kAllOptional =
    "<channel_monitor code_index=\"1\"/><channel_coupling code_index=\"3\"/>"
    "<channel_volt_supply code_index=\"1\"/><channel_volt_sense code_index=\"2\"/>"
    "<channel_pwr_at_signal code_index=\"1\"/><channel_120_Ohm code_index=\"1\"/>"
    "<channel_dms_shunt code_index=\"1\"/><channel_charge_mode code_index=\"1\"/>"
    "<channel_charge_highpass code_index=\"1\"/><channel_charge_capacity code_index=\"1\"/>"
    "<channel_chargeinput code_index=\"1\"/><channel_charge_ac_out code_index=\"1\"/>"
    "<channel_charge_clear code_index=\"1\"/><channel_charge_man_clearmode code_index=\"1\"/>"
    "<channel_power_dac code_index=\"100\"/><channel_power_zero code_index=\"50\"/>";

TEST_P(LoadFromXMLOrder, SettersRunInTheOrderOfTheSensorType) {
    const TLoadCase& c = GetParam();
    TTestModel tm;
    TQRBRawChannel& ch = tm.Add(2, 1, stOff);
    ch.Info.Features = 0x01;
    ch.HasADC18 = c.HasADC18;
    TRecordingSetters setters(tm);
    pugi::xml_document doc = Parse(ChannelXml(c.Sensor, c.Extra));
    std::string error;
    ASSERT_TRUE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error)) << error;
    std::vector<std::string> expected = {"SetSensorType", "SetRange", "SetOutputFilter", "SetOpenGndShield"};
    expected.insert(expected.end(), c.Calls.begin(), c.Calls.end());
    expected.push_back("SetOffset");
    EXPECT_EQ(setters.Names(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, LoadFromXMLOrder,
    ::testing::Values(
        TLoadCase{
            "VoltVoltageSupply", 1, kAllOptional, false, {"SetCoupling", "SetSupply", "SetDACs", "SetSense"}},
        TLoadCase{"VoltWithMonitor",
                  1,
                  kAllOptional,
                  true,
                  {"SetMonitor", "SetCoupling", "SetSupply", "SetDACs", "SetSense"}},
        TLoadCase{"VoltCurrentSupply",
                  1,
                  "<channel_volt_supply code_index=\"2\"/><channel_volt_sense code_index=\"2\"/>",
                  false,
                  {"SetSupply", "SetDACs"}},
        TLoadCase{"VoltNoSupply",
                  1,
                  "<channel_volt_supply code_index=\"0\"/><channel_volt_sense code_index=\"2\"/>",
                  false,
                  {"SetSupply"}},
        TLoadCase{"CurrentIgnoresSupply", 7, kAllOptional, false, {"SetCoupling"}},
        TLoadCase{"ICP", 2, kAllOptional, false, {"SetCoupling", "SetDACs"}},
        TLoadCase{"DMSCurrent", 3, kAllOptional, false, {"SetCoupling", "SetDACs", "SetPwrAtSignal"}},
        TLoadCase{"RTD", 8, kAllOptional, false, {"SetCoupling", "SetPwrAtSignal"}},
        TLoadCase{"Bridge",
                  5,
                  kAllOptional,
                  false,
                  {"SetCoupling", "Set120Ohm", "SetDMSShunt", "SetSense", "SetDACs"}},
        TLoadCase{"BridgeBare", 6, "", false, {"SetDACs"}},
        TLoadCase{"Charge",
                  9,
                  kAllOptional,
                  false,
                  {"SetChargeMode", "SetChargeHighpass", "SetChargeCapacity", "SetChargeInput",
                   "SetChargeACOut", "SetChargeClear", "SetChargeManClearMode"}},
        TLoadCase{"Debug", 10, kAllOptional, false, {}}, TLoadCase{"Custom", 15, kAllOptional, false, {}}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST(LoadFromXML, CodesFlagsTextsAndADC8Values) {
    TTestModel tm;
    TQRBRawChannel& ch = tm.Add(2, 1, stOff);
    TRecordingSetters setters(tm);
    pugi::xml_document doc = Parse(ChannelXml(
        4, "<channel_display>  Sensor mit einem sehr langen Namen \xE2\x82\xAC \xE2\x98\x83</channel_display>"
           "<channel_description>Ω</channel_description>"
           "<channel_adc8statval> 300 </channel_adc8statval><channel_adc8lowval>7</channel_adc8lowval>"
           "<channel_120_Ohm code_index=\"2\"/><channel_dms_shunt code_index=\" 1 \"/>"));
    std::string error;
    ASSERT_TRUE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error)) << error;
    EXPECT_EQ(setters.Calls[1], (TCall{"SetRange", 0, 5, 0}));
    EXPECT_EQ(setters.Calls[2], (TCall{"SetOutputFilter", 0, 1, 0}));
    EXPECT_EQ(setters.Calls[3], (TCall{"SetOpenGndShield", 0, 0, 0})); // code 7 is no flag
    EXPECT_EQ(setters.Calls[4], (TCall{"Set120Ohm", 0, 0, 0}));
    EXPECT_EQ(setters.Calls[5], (TCall{"SetDMSShunt", 0, 1, 0}));
    // Cut to 30 characters, kept untrimmed; the euro sign stays, the snowman is no Windows-1252.
    EXPECT_EQ(ch.ChannelName, "  Sensor mit einem sehr langen");
    EXPECT_EQ(ch.Description, "?");
    EXPECT_EQ(ch.ADC8StatVal, 300 & 0xFF);
    EXPECT_EQ(ch.ADC8LowVal, 7);

    doc = Parse(ChannelXml(1, "<channel_display>ab \xE2\x82\xAC\xE2\x98\x83</channel_display>"));
    ASSERT_TRUE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error)) << error;
    EXPECT_EQ(ch.ChannelName, "ab \xE2\x82\xAC?");
}

TEST(LoadFromXML, DACTransfersCarryTheDistanceFromZeroSignedAndClamped) {
    struct Case {
        int Sensor;
        std::string Extra;
        uint16_t PowerZero, OffsetZero;
        TCall Expected;
    };
    const std::vector<Case> cases = {
        {2,
         "<channel_power_dac code_index=\"2500\"/><channel_power_zero code_index=\"2000\"/>",
         1900,
         0,
         {"SetDACs", 0, 2400, 777}},
        // Below the file's zero by more than the channel's zero: clamped at 0, not wrapped.
        {2,
         "<channel_power_dac code_index=\"100\"/><channel_power_zero code_index=\"2000\"/>",
         1000,
         0,
         {"SetDACs", 0, 0, 777}},
        {2,
         "<channel_power_dac code_index=\"4000\"/><channel_power_zero code_index=\"10\"/>",
         1000,
         0,
         {"SetDACs", 0, 4095, 777}},
        // Values are masked to 12 bits before the transfer; missing elements count 0.
        {2, "<channel_power_dac code_index=\"4196\"/>", 5, 0, {"SetDACs", 0, 105, 777}},
        {2, "", 5, 0, {"SetDACs", 0, 5, 777}},
    };
    for (const Case& c : cases) {
        TTestModel tm;
        TQRBRawChannel& ch = tm.Add(2, 1, stOff);
        ch.PowerZero = c.PowerZero;
        ch.OffsetDACCache = 777;
        TRecordingSetters setters(tm);
        pugi::xml_document doc = Parse(ChannelXml(c.Sensor, c.Extra));
        std::string error;
        ASSERT_TRUE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error)) << error;
        ASSERT_EQ(setters.Calls.size(), 6u) << c.Extra;
        EXPECT_EQ(setters.Calls[4], c.Expected) << c.Extra;
    }
}

TEST(LoadFromXML, OffsetTransferUsesDefaults2048AndTheChannelsOwnZero) {
    const auto run = [](const std::string& offsetPart, uint16_t offsetZero) {
        TTestModel tm;
        TQRBRawChannel& ch = tm.Add(2, 1, stOff);
        ch.OffsetZero = offsetZero;
        ch.PowerDACCache = 1234;
        TRecordingSetters setters(tm);
        std::string xml = ChannelXml(10, "", false);
        xml.insert(xml.size() - 10,
                   "<channel_range code_index=\"1\"/><channel_outputfilter code_index=\"0\"/>"
                   "<channel_open_gnd_shield code_index=\"0\"/><channel_offset code_index=\"1\"/>" +
                       offsetPart);
        pugi::xml_document doc = Parse(xml);
        std::string error;
        EXPECT_TRUE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error)) << error;
        return setters.Calls.back();
    };
    EXPECT_EQ(run("", 1990), (TCall{"SetDACs", 0, 1234, 1990}));
    EXPECT_EQ(
        run("<channel_offset_dac code_index=\"2148\"/><channel_offset_zero code_index=\"2048\"/>", 1990),
        (TCall{"SetDACs", 0, 1234, 2090}));
    EXPECT_EQ(run("<channel_offset_dac code_index=\"0\"/><channel_offset_zero code_index=\"4000\"/>", 100),
              (TCall{"SetDACs", 0, 1234, 0}));
}

TEST(LoadFromXML, MissingRequiredElementsStopAfterWhatCameBefore) {
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"channel_sensor", ""},
        {"channel_range", "SetSensorType"},
        {"channel_outputfilter", "SetRange"},
        {"channel_open_gnd_shield", "SetOutputFilter"},
        {"channel_offset", "SetOpenGndShield"},
    };
    for (const auto& [missing, last] : steps) {
        std::string xml = ChannelXml(1, "");
        const size_t at = xml.find("<" + missing + " ");
        const std::string close = missing == "channel_sensor" ? "</channel_sensor>" : "/>";
        xml.erase(at, xml.find(close, at) + close.size() - at);
        TTestModel tm;
        TQRBRawChannel& ch = tm.Add(2, 1, stOff);
        TRecordingSetters setters(tm);
        pugi::xml_document doc = Parse(xml);
        std::string error;
        EXPECT_FALSE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error));
        EXPECT_EQ(error, "Invalid XML document: missing element \"" + missing + "\"!");
        EXPECT_EQ(setters.Calls.empty() ? std::string() : setters.Calls.back().Name, last) << missing;
    }
}

TEST(LoadFromXML, ChargeOnAChannelWithoutChargeInputIsRefused) {
    TTestModel tm;
    TQRBRawChannel& ch = tm.Add(2, 1, stOff);
    TRecordingSetters setters(tm);
    pugi::xml_document doc = Parse(ChannelXml(9, "<channel_display>n</channel_display>"));
    std::string error;
    EXPECT_FALSE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error));
    EXPECT_EQ(error, "Invalid sensor type: channel has no charge feature!");
    EXPECT_TRUE(setters.Calls.empty());
}

TEST(LoadFromXML, CodesThatAreNoIntegersFailWithTheConversionText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<channel><channel_sensor>1</channel_sensor></channel>", "'' is not a valid integer value"},
        {"<channel><channel_sensor code_index=\"1x\"/></channel>", "'1x' is not a valid integer value"},
        {"<channel><channel_sensor code_index=\"99999999999\"/></channel>",
         "'99999999999' is not a valid integer value"},
        {ChannelXml(1, "<channel_adc8lowval>low</channel_adc8lowval>"), "'low' is not a valid integer value"},
        {ChannelXml(2, "<channel_power_dac code_index=\"\"/>"), "'' is not a valid integer value"},
    };
    for (const auto& [xml, text] : cases) {
        TTestModel tm;
        TQRBRawChannel& ch = tm.Add(2, 1, stOff);
        TRecordingSetters setters(tm);
        pugi::xml_document doc = Parse(xml);
        std::string error;
        EXPECT_FALSE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error)) << xml;
        EXPECT_EQ(error, text);
    }
}

TEST(LoadFromXML, CodesReachTheSettersUncutSoTheyCanRefuseThem) {
    TTestModel tm;
    TQRBRawChannel& ch = tm.Add(2, 1, stOff);
    TRecordingSetters setters(tm);
    std::string xml = ChannelXml(65537, "");
    pugi::xml_document doc = Parse(xml);
    std::string error;
    ASSERT_TRUE(TSetupXmlReader::LoadFromXML(ch, doc.first_child(), setters, error)) << error;
    EXPECT_EQ(setters.Calls[0], (TCall{"SetSensorType", 0, 65537, 0}));
}

// ---- Whole files --------------------------------------------------------------------------

std::string WriteFile(const TTempDir& dir, const std::string& name, const std::string& text) {
    const std::string path = dir.File(name);
    std::string error;
    EXPECT_TRUE(device::WriteFileAtomic(path, text, error)) << error;
    return path;
}

TEST(SetupXmlFile, CheckSetupFileTexts) {
    TTempDir dir;
    struct Case {
        std::string Body;
        bool Result, Valid;
        std::string Error;
    };
    const std::vector<Case> cases = {
        {"<QRB><config_type>qrb730</config_type><config_version>1.0</config_version></QRB>", true, true, ""},
        {"<QRB><config_version> 1.0\n</config_version><config_type>\tqrb730 </config_type></QRB>", true, true,
         ""},
        {"<Q/>", true, false, "Invalid file or empty filename!"},
        {"<QRB><config_version>1.0</config_version></QRB>", true, false,
         "Invalid setup file format (config_type missing)!"},
        {"<QRB><config_type>QRB730</config_type></QRB>", true, false,
         "Invalid setup file format (config_type is not qrb730)!"},
        {"<QRB><config_type>qrb730</config_type></QRB>", true, false,
         "Invalid setup file format (config_version missing)!"},
        {"<QRB><config_type>qrb730</config_type><config_version>2.0</config_version></QRB>", true, false,
         "Invalid setup file format (config_version<>1.0)!"},
        {"<QRB><config_type>qrb730</config_type>", false, false,
         "Invalid XML document: Start-end tags mismatch (offset 37)!"},
        {"", false, false, "Invalid XML document: No document element found (offset 0)!"},
    };
    for (const Case& c : cases) {
        const std::string path = WriteFile(dir, "c.xml", c.Body);
        bool valid = true;
        std::string error = "old";
        EXPECT_EQ(XmlCheckSetupFile(path, valid, error), c.Result) << c.Body;
        EXPECT_EQ(valid, c.Valid) << c.Body;
        EXPECT_EQ(error, c.Error) << c.Body;
    }
    bool valid = true;
    std::string error;
    EXPECT_FALSE(XmlCheckSetupFile(dir.File("missing.xml"), valid, error));
    EXPECT_EQ(error, "Invalid file or empty filename!");
    EXPECT_FALSE(XmlCheckSetupFile("  ", valid, error));
    EXPECT_EQ(error, "Invalid file or empty filename!");
}

TEST(SetupXmlFile, GetSetupChannelCountTexts) {
    TTempDir dir;
    struct Case {
        std::string Body;
        bool Result, Equal;
        std::string Error;
    };
    const std::vector<Case> cases = {
        {"<QRB><channels><channel_count> 3 </channel_count></channels></QRB>", true, true, ""},
        {"<QRB><channels><channel_count>4</channel_count></channels></QRB>", true, false, ""},
        {"<X/>", false, false, "Invalid file or empty filename!"},
        {"<QRB/>", false, false, "Invalid setup file format (channels missing)!"},
        {"<QRB><channels/></QRB>", false, false, "Invalid setup file format (channel_count missing)!"},
        {"<QRB><channels><channel_count>three</channel_count></channels></QRB>", false, false,
         "'three' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        const std::string path = WriteFile(dir, "n.xml", c.Body);
        bool equal = !c.Equal;
        std::string error;
        EXPECT_EQ(XmlGetSetupChannelCount(path, 3, equal, error), c.Result) << c.Body;
        EXPECT_EQ(equal, c.Equal) << c.Body;
        EXPECT_EQ(error, c.Error) << c.Body;
    }
}

TEST(SetupXmlFile, SerialsMatchOverPresentChannelsOrForSimulatedDevices) {
    TTempDir dir;
    TTestModel tm;
    tm.Add(1, 5);
    tm.Add(0, 0, stOff, false); // a placeholder's serial 00-000 is never looked for
    tm.Add(2, 6);
    const std::string chans = "<channels><channel><channel_serial>02-006</channel_serial></channel>"
                              "<channel><channel_serial>01-005</channel_serial></channel></channels>";
    struct Case {
        std::string Body;
        bool Match;
        std::string Error;
    };
    const std::vector<Case> cases = {
        {"<QRB><devices><device><device_type>LAN</device_type></device></devices>" + chans + "</QRB>", true,
         ""},
        {"<QRB><devices><device><device_type>LAN</device_type></device></devices>"
         "<channels><channel><channel_serial>02-006</channel_serial></channel></channels></QRB>",
         false, ""},
        {"<QRB><devices><device><device_type> Offline </device_type></device></devices></QRB>", true, ""},
        {"<X/>", false, "Invalid file or empty filename!"},
        {"<QRB>" + chans + "</QRB>", false, "Invalid setup file format (device missing)!"},
        {"<QRB><devices/></QRB>", false, "Invalid setup file format (device missing)!"},
        {"<QRB><devices><device/></devices></QRB>", false,
         "Invalid setup file format (device_type missing)!"},
    };
    for (const Case& c : cases) {
        const std::string path = WriteFile(dir, "s.xml", c.Body);
        bool match = !c.Match;
        std::string error;
        EXPECT_TRUE(XmlSetupSerialsMatch(path, tm.Model(), match, error)) << c.Body;
        EXPECT_EQ(match, c.Match) << c.Body;
        EXPECT_EQ(error, c.Error) << c.Body;
    }
}

// Three present channels and a placeholder in the model; the file's channel elements come
// from a writer run over another model of the same serials.
class SetupXmlLoad : public ::testing::Test {
protected:
    void SetUp() override {
        for (TTestModel* m : {&source, &target}) {
            m->Add(1, 101);
            m->Add(0, 0, stOff, false);
            m->Add(2, 102);
            m->Add(2, 103);
        }
        source[0].Range = 7;
        source[2].Range = 8;
        source[3].Range = 9;
        source[0].ChannelName = "first";
        source[2].ChannelName = "second";
        source[3].ChannelName = "third";
    }

    std::string Save(bool reversed = false) {
        pugi::xml_document doc;
        std::string error;
        EXPECT_TRUE(TSetupXmlWriter::BuildDocument(doc, source.Model(), FixedCreator(), "l.xml", error))
            << error;
        if (reversed) testing::ReverseChannelElements(doc);
        return WriteFile(dir, "l.xml", TSetupXmlWriter::ToText(doc));
    }

    std::vector<int> Ranges() {
        std::vector<int> out;
        for (const TRecordingSetters::TCall& c : setters.Calls)
            if (c.Name == "SetRange") out.push_back(c.Index * 100 + c.A);
        return out;
    }

    TTempDir dir;
    TTestModel source, target;
    TRecordingSetters setters{target};
};

TEST_F(SetupXmlLoad, ByPositionCountsPresentChannelsOnly) {
    std::string error;
    ASSERT_TRUE(XmlLoadSetup(Save(), false, target.Model(), setters, error)) << error;
    EXPECT_EQ(Ranges(), (std::vector<int>{7, 208, 309}));
    EXPECT_EQ(target[3].ChannelName, "third");
    EXPECT_EQ(target[1].ChannelName, "");
}

TEST_F(SetupXmlLoad, BySerialFindsReversedElements) {
    std::string error;
    ASSERT_TRUE(XmlLoadSetup(Save(true), true, target.Model(), setters, error)) << error;
    EXPECT_EQ(Ranges(), (std::vector<int>{7, 208, 309}));
    setters.Calls.clear();
    ASSERT_TRUE(XmlLoadSetup(Save(true), false, target.Model(), setters, error)) << error;
    EXPECT_EQ(Ranges(), (std::vector<int>{9, 208, 307}));
    EXPECT_EQ(target[0].ChannelName, "third");
}

TEST_F(SetupXmlLoad, AMissingSectionNamesTheModelChannelAndPutsEveryTouchedChannelBack) {
    target[3].Info.Serial = 999;
    target[0].Pending.Image.Words[1] = 0x1111;
    target[2].SensorType = stICP;
    target[2].TypeCache = stICP;
    std::string error;
    EXPECT_FALSE(XmlLoadSetup(Save(), true, target.Model(), setters, error));
    EXPECT_EQ(error, "Error while loading setup for channel 04. XML section does not exist!");
    EXPECT_FALSE(setters.Calls.empty());
    EXPECT_EQ(target[0].Pending.Image.Words[1], 0x1111);
    EXPECT_EQ(target[0].ChannelName, "");
    EXPECT_EQ(target[2].SensorType, stICP);
    EXPECT_EQ(target[2].TypeCache, stICP);
}

TEST_F(SetupXmlLoad, AFailingChannelPutsItselfAndTheOnesBeforeBack) {
    source[3].SensorType = stCharge; // the target channel has no charge input
    target[3].ADC8StatVal = 17;
    std::string error;
    EXPECT_FALSE(XmlLoadSetup(Save(), false, target.Model(), setters, error));
    EXPECT_EQ(error, "Invalid sensor type: channel has no charge feature!");
    EXPECT_EQ(target[0].ChannelName, "");
    EXPECT_EQ(target[2].ChannelName, "");
    EXPECT_EQ(target[2].SensorType, stVolt);
    EXPECT_EQ(target[3].ADC8StatVal, 17);
}

TEST_F(SetupXmlLoad, ParserAndFileErrorsChangeNothing) {
    std::string error;
    EXPECT_FALSE(
        XmlLoadSetup(WriteFile(dir, "b.xml", "<QRB><channels>"), false, target.Model(), setters, error));
    EXPECT_EQ(error.rfind("Invalid XML document: ", 0), 0u) << error;
    EXPECT_FALSE(XmlLoadSetup(dir.File("none.xml"), false, target.Model(), setters, error));
    EXPECT_NE(error.find("none.xml"), std::string::npos) << error;
    EXPECT_FALSE(XmlLoadSetup(" \t", false, target.Model(), setters, error));
    EXPECT_EQ(error, "Invalid or empty filename!");
    EXPECT_TRUE(setters.Calls.empty());
}

TEST(SetupXmlDocument, DeclarationIsUtf8WithoutByteOrderMark) {
    pugi::xml_document doc;
    std::string error;
    ASSERT_TRUE(TSetupXmlWriter::BuildDocument(doc, TSetupModel{}, FixedCreator(), "e.xml", error));
    const std::string text = TSetupXmlWriter::ToText(doc);
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<QRB>", 0), 0u) << text;
    EXPECT_NE(text.find("<device_count>0</device_count>"), std::string::npos);
    EXPECT_NE(text.find("<channel_count>0</channel_count>"), std::string::npos);
}

} // namespace
} // namespace qrb::model
