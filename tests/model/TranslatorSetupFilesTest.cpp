#include "device/FileUtil.h"
#include "model/I2CTranslator.h"
#include "model/SetupXml.h"
#include "tests/model/SetupTestSupport.h"
#include "tests/model/TranslatorFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrb::model {
namespace {

using testing::TTempDir;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    for (size_t pos = 0;;) {
        const size_t end = text.find("\r\n", pos);
        out.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos) return out;
        pos = end + 2;
    }
}

// What a commit leaves in the model for one channel and a setup must bring back.
struct TChannelState {
    device::TChannelImage Current;
    TSensorType SensorType;
    std::string ChannelName, Description;
    uint8_t ADC8StatVal, ADC8LowVal, OpenGndShield;
    bool operator==(const TChannelState&) const = default;
};

void PrintTo(const TChannelState& s, std::ostream* os) {
    *os << "{type " << s.SensorType << ", words";
    for (uint16_t w : s.Current.Image.Words)
        *os << " " << device::IntToHex(w, 4);
    *os << ", low " << int{s.Current.ADC8LowVal} << ", \"" << s.ChannelName << "\", \"" << s.Description
        << "\", adc8 " << int{s.ADC8StatVal} << "/" << int{s.ADC8LowVal} << ", shield "
        << int{s.OpenGndShield} << "}";
}

// A version 2 channel, a defect slot and a version 1 channel with charge input and without
// 18-bit ADC, on a scripted LAN device; the two present channels set up through the setters and committed.
class TranslatorSetupFiles : public test::TranslatorFixture {
protected:
    void SetUp() override {
        Create();
        lan->Devices = {test::GoodDevice("10.0.0.1", 3)};
        auto& slots = lan->Device(0).Block.Slots;
        slots[0] = test::PresentSlot(1000, 2);
        slots[1] = device::TChannelInfoSlot{};
        slots[1].Fitted = 1;
        slots[2] = test::PresentSlot(1002, 1);
        slots[2].Info.Features |= 0x01;
        slots[2].HasADC18 = 0;
        ASSERT_EQ(translator->Rescan(), 3);
        ASSERT_TRUE(translator->GetChannel(1)->Defect);

        TI2CTranslator& t = *translator;
        ASSERT_TRUE(t.SetSensorType(0, stDMSHalfbridge));
        t.SetRange(0, 6);
        t.SetCoupling(0, 1);
        t.Set120Ohm(0, 1);
        t.SetDMSShunt(0, 1);
        t.SetSense(0, 1);
        t.SetOutputFilter(0, 1);
        t.SetOpenGndShield(0, 1);
        t.SetOffset(0, 1);
        t.SetDACs(0, static_cast<uint16_t>(t.GetChannel(0)->PowerDACCache + 200), 2300);
        t.GetChannel(0)->SetChannelName("Br\xC3\xBC"
                                        "cke");
        t.GetChannel(0)->SetDescription("links, oben");
        ASSERT_TRUE(t.SetSensorType(2, stCharge));
        t.SetRange(2, 10);
        t.SetChargeMode(2, 2);
        t.SetChargeCapacity(2, 1);
        t.SetChargeHighpass(2, 1);
        t.SetChargeInput(2, 1);
        // The load sets these on every channel (the monitor where there is an 18-bit ADC), and
        // a relay pair keeps which coil was driven last.
        t.SetMonitor(0, 0);
        t.SetOutputFilter(2, 0);
        t.SetOffset(2, 0);
        t.SetOpenGndShield(2, 0);
        t.GetChannel(2)->SetChannelName("Ladung");
        ASSERT_TRUE(t.NewConfig(0, true));
        saved = States();
        events.clear();
    }

    std::vector<TChannelState> States() const {
        std::vector<TChannelState> out;
        for (int i = 0; i < translator->ChannelCount(); ++i) {
            const TQRBRawChannel& c = *translator->GetChannel(i);
            out.push_back({c.Current, c.SensorType, c.ChannelName, c.Description, c.ADC8StatVal, c.ADC8LowVal,
                           c.open_gnd_shield});
        }
        return out;
    }

    // Every present channel back to a plain VOLT setup, committed.
    void Reset() {
        TI2CTranslator& t = *translator;
        for (int i : {0, 2}) {
            t.SetSensorType(i, stVolt);
            t.SetRange(i, 0);
            t.SetOffset(i, 0);
            t.SetOpenGndShield(i, 0);
            t.GetChannel(i)->SetChannelName("");
            t.GetChannel(i)->SetDescription("");
        }
        ASSERT_TRUE(t.NewConfig(0, true));
        ASSERT_NE(States(), saved);
    }

    void ReverseChannels(const std::string& path) {
        pugi::xml_document doc;
        std::string error;
        ASSERT_TRUE(LoadSetupXmlFile(path, doc, error)) << error;
        testing::ReverseChannelElements(doc);
        ASSERT_TRUE(TSetupXmlWriter::SaveFile(doc, path, error)) << error;
    }

    TTempDir dir;
    std::vector<TChannelState> saved;
};

TEST_F(TranslatorSetupFiles, XmlRoundTripsBySerialByPositionAndReversed) {
    const std::string path = dir.File("setup.xml");
    ASSERT_TRUE(translator->SaveSetup(path, 2, 0)) << translator->LastFileError;
    for (bool bySerial : {true, false}) {
        SCOPED_TRACE(bySerial);
        Reset();
        ASSERT_TRUE(translator->LoadSetup(path, bySerial)) << translator->LastFileError;
        ASSERT_TRUE(translator->NewConfig(0, true));
        EXPECT_EQ(States(), saved);
    }
    ReverseChannels(path);
    Reset();
    ASSERT_TRUE(translator->LoadSetup(path, true)) << translator->LastFileError;
    ASSERT_TRUE(translator->NewConfig(0, true));
    EXPECT_EQ(States(), saved);
    EXPECT_TRUE(Events("Error").empty()) << Events("Error")[0];
}

TEST_F(TranslatorSetupFiles, RawRoundTripsBySerialAndByPosition) {
    const std::string path = dir.File("setup.prs");
    ASSERT_TRUE(translator->SaveSetup(path, 1, 0)) << translator->LastFileError;
    bool flag = false;
    ASSERT_TRUE(translator->CheckSetupFile(path, flag)) << translator->LastFileError;
    EXPECT_TRUE(flag);
    ASSERT_TRUE(translator->GetSetupChannelCount(path, flag));
    EXPECT_TRUE(flag);
    ASSERT_TRUE(translator->SetupSerialsMatch(path, flag));
    EXPECT_TRUE(flag);
    for (bool bySerial : {true, false}) {
        Reset();
        ASSERT_TRUE(translator->LoadSetup(path, bySerial)) << translator->LastFileError;
        ASSERT_TRUE(translator->NewConfig(0, true));
        // The record holds the image, not the model's ground-shield switch.
        std::vector<TChannelState> expected = saved;
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i].OpenGndShield = States()[i].OpenGndShield;
        EXPECT_EQ(States(), expected) << bySerial;
    }
}

TEST_F(TranslatorSetupFiles, ThePlaceholderCountsButTakesNoPosition) {
    const std::string path = dir.File("p.xml");
    ASSERT_TRUE(translator->SaveSetup(path, 2, 0));
    bool flag = false;
    ASSERT_TRUE(translator->CheckSetupFile(path, flag));
    EXPECT_TRUE(flag);
    ASSERT_TRUE(translator->GetSetupChannelCount(path, flag));
    EXPECT_TRUE(flag);
    ASSERT_TRUE(translator->SetupSerialsMatch(path, flag));
    EXPECT_TRUE(flag);
    EXPECT_EQ(translator->LastFileError, "");
}

TEST_F(TranslatorSetupFiles, ExtensionsAreCaseSensitiveAndOnlyTheLastIsReplaced) {
    ASSERT_TRUE(translator->SaveSetup(dir.File("a.setup.txt"), 2, 0));
    EXPECT_TRUE(device::FileExists(dir.File("a.setup.xml")));
    EXPECT_FALSE(device::FileExists(dir.File("a.setup.txt")));
    ASSERT_TRUE(translator->SaveSetup(dir.File("B.XML"), 2, 0));
    EXPECT_TRUE(device::FileExists(dir.File("B.xml")));
    std::string error;
    ASSERT_TRUE(device::ForceDirectories(dir.File("v1.0"), error)) << error;
    ASSERT_TRUE(translator->SaveSetup(dir.File("v1.0/c"), 1, 0)) << translator->LastFileError;
    EXPECT_TRUE(device::FileExists(dir.File("v1.0/c.prs")));
    bool flag = true;
    for (const std::string name : {"B.XML", "x.PRS", "a.setup", "a.setup.xml.bak"}) {
        translator->LastFileError = "old";
        EXPECT_FALSE(translator->CheckSetupFile(dir.File(name), flag)) << name;
        EXPECT_FALSE(flag);
        EXPECT_EQ(translator->LastFileError, "") << name;
        EXPECT_FALSE(translator->LoadSetup(dir.File(name), false));
        EXPECT_EQ(translator->LastFileError, "");
    }
    EXPECT_FALSE(translator->SaveSetup("  ", 2, 0));
    EXPECT_EQ(translator->LastFileError, "Invalid or empty filename!");
    EXPECT_FALSE(translator->LoadSetup("", false));
    EXPECT_EQ(translator->LastFileError, "Invalid or empty filename!");
    EXPECT_FALSE(translator->CheckSetupFile(" ", flag));
    EXPECT_EQ(translator->LastFileError, "Invalid file or empty filename!");
}

TEST_F(TranslatorSetupFiles, KindsAndExportsInOrderWithTheirResults) {
    const std::string base = dir.File("all");
    EXPECT_TRUE(translator->SaveSetup(base + ".xml", 3, 3)) << translator->LastFileError;
    for (const char* ext : {".prs", ".xml", ".txt", ".xls"})
        EXPECT_TRUE(device::FileExists(base + ext)) << ext;
    // The third export writes nothing and fails the save.
    EXPECT_FALSE(translator->SaveSetup(base + ".xml", 2, 4));
    EXPECT_EQ(translator->LastFileError, "");
    // Exports alone never succeed: the result starts false.
    EXPECT_FALSE(translator->SaveSetup(dir.File("only.txt"), 0, 1));
    EXPECT_TRUE(device::FileExists(dir.File("only.txt")));
}

// Each failed export adds its own line, naming its file, behind the setup's message; neither
// stops the save.
TEST_F(TranslatorSetupFiles, FailedWritesKeepTheirMessagesInOrder) {
    const std::string base = dir.File("missing/s");
    bool saved = true;
    EXPECT_NO_THROW(saved = translator->SaveSetup(base + ".prs", 1, 3));
    EXPECT_FALSE(saved);
    const std::vector<std::string> lines = Lines(translator->LastFileError);
    ASSERT_EQ(lines.size(), 3u) << translator->LastFileError;
    EXPECT_EQ(lines[0], "Error while writing setup file (2)");
    EXPECT_EQ(lines[1].rfind("Error while writing setup info txt file (2): " + base + ".txt (", 0), 0u)
        << lines[1];
    EXPECT_EQ(lines[2].rfind("Error while writing setup info xls file (2): " + base + ".xls (", 0), 0u)
        << lines[2];
    for (const std::string& line : {lines[1], lines[2]})
        EXPECT_NE(line.find(std::strerror(ENOENT)), std::string::npos) << line;
    EXPECT_THROW(translator->SaveSetup(base + ".xml", 2, 0), std::runtime_error);
}

// The setup is written; the exports, whose names are folders, are not, and each says which
// file it could not write, the text export alone as well as both.
TEST_F(TranslatorSetupFiles, AFailedExportNamesItsFile) {
    const std::string base = dir.File("e");
    ASSERT_TRUE(std::filesystem::create_directory(base + ".txt"));
    ASSERT_TRUE(std::filesystem::create_directory(base + ".xls"));
    const std::string txt = "Error while writing setup info txt file (";
    const std::string xls = "Error while writing setup info xls file (";
    struct TCase {
        uint8_t Exports;
        std::vector<std::string> Heads, Files;
    };
    const TCase cases[] = {
        {1, {txt}, {base + ".txt"}},
        {2, {xls}, {base + ".xls"}},
        {3, {txt, xls}, {base + ".txt", base + ".xls"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int{c.Exports});
        std::filesystem::remove(base + ".xml");
        bool saved = true;
        EXPECT_NO_THROW(saved = translator->SaveSetup(base + ".xml", 2, c.Exports));
        EXPECT_FALSE(saved);
        EXPECT_TRUE(device::FileExists(base + ".xml"));
        // Nothing failed before the exports: their lines follow an empty first one.
        std::vector<std::string> lines = Lines(translator->LastFileError);
        ASSERT_EQ(lines.size(), c.Heads.size() + 1) << translator->LastFileError;
        EXPECT_EQ(lines[0], "");
        lines.erase(lines.begin());
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].rfind(c.Heads[i], 0), 0u) << lines[i];
            EXPECT_NE(lines[i].find("): " + c.Files[i] + " ("), std::string::npos) << lines[i];
        }
    }
}

TEST_F(TranslatorSetupFiles, CodesBeyondASettersArgumentAreRefusedAndTheLoadGoesOn) {
    const std::string path = dir.File("c.xml");
    ASSERT_TRUE(translator->SaveSetup(path, 2, 0));
    std::string text;
    std::string error;
    ASSERT_TRUE(device::ReadFileBytes(path, text, error));
    const size_t at = text.find("<channel_range code_index=\"6\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 29, "<channel_range code_index=\"262\"");
    ASSERT_TRUE(device::WriteFileAtomic(path, text, error));
    Reset();
    ASSERT_TRUE(translator->LoadSetup(path, true)) << translator->LastFileError;
    EXPECT_EQ(Events("Error"), std::vector<std::string>{"Error: Invalid value 262 for channel 1"});
    EXPECT_EQ(translator->GetChannel(0)->RangeCache, 0); // not cut to 6
    EXPECT_EQ(translator->GetChannel(0)->ChannelName, "Br\xC3\xBC"
                                                      "cke");
}

TEST_F(TranslatorSetupFiles, AFailedLoadPutsTheTouchedChannelsBack) {
    const std::string path = dir.File("f.xml");
    ASSERT_TRUE(translator->SaveSetup(path, 2, 0));
    translator->GetChannel(2)->Info.Features &= static_cast<uint8_t>(~0x01); // no charge input now
    Reset();
    const std::vector<TChannelState> before = States();
    const device::TChannelImage pending0 = translator->GetChannel(0)->Pending;
    EXPECT_FALSE(translator->LoadSetup(path, true));
    EXPECT_EQ(translator->LastFileError, "Invalid sensor type: channel has no charge feature!");
    EXPECT_EQ(States(), before);
    EXPECT_EQ(translator->GetChannel(0)->Pending, pending0);
    EXPECT_EQ(translator->GetChannel(0)->TypeCache, stVolt);
}

} // namespace
} // namespace qrb::model
