#include "device/HWVocabulary.h"
#include "model/RegisterTables.h"
#include "tests/model/SensorFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace qrb::test {
namespace {

using model::TSetting;

const TRomNumber kRom = MakeRom(0x28, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});

uint8_t Decoded(TSetting s, const device::TRegisterImage& image, int last = 10) {
    return model::DecodeSearch(s, 1, image.Words[model::SettingTable(s).Word], 0, last);
}

bool Wiring(const device::TRegisterImage& image, uint8_t sense, uint8_t powerAtSignal) {
    return Decoded(TSetting::VoltSense, image, 3) == sense &&
           Decoded(TSetting::PwrAtSignal, image, 1) == powerAtSignal;
}

class OneWire : public SensorFixture {
protected:
    void SetUp() override { Start(2); }

    TDS2482Emulation& Bridge(int slot = 0) { return chips[static_cast<size_t>(slot)].Bridge; }

    // The hex texts sent to the bridge, in order.
    std::vector<std::string> BridgeTexts() const {
        std::vector<std::string> out;
        for (const auto& line : amp->LogOf("WriteReadI2C(0,$18,")) {
            const size_t from = std::string("WriteReadI2C(0,$18,").size();
            out.push_back(line.substr(from, line.find(',', from) - from));
        }
        return out;
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (const auto& t : BridgeTexts())
            n += t == text;
        return n;
    }

    bool shorted = true, found = true;
    std::string id = "unchanged";
};

// ---- ReadSensorId ---------------------------------------------------------------------------

TEST_F(OneWire, FindsTheSensorOnTheFirstWiringWithTheBridgeTrafficOfTheSearch) {
    Bridge().SetRoms({kRom});
    const device::TChannelImage before = Ch(0).Current;
    ASSERT_TRUE(translator->ReadSensorId(0, shorted, found, id));
    EXPECT_TRUE(found);
    EXPECT_FALSE(shorted);
    EXPECT_EQ(id, "28123456789ABC" + device::IntToHex(kRom[7], 2));

    // Device reset, configuration, 1-Wire reset with one busy poll, Search ROM, 64 triplets.
    std::vector<std::string> want = {"F0", "D2", "B4", "E1F0", "B4", "E1F0", "A5F0", "E1F0"};
    for (int bit = 0; bit < 64; ++bit) {
        want.push_back("7800"); // a first search takes the 0 branch everywhere
        want.push_back("E1F0");
    }
    EXPECT_EQ(BridgeTexts(), want);
    EXPECT_EQ(amp->LogOf("SetMux"), (std::vector<std::string>{"SetMux(0,0,0,4)", "SetMux(0,0,0,5)"}));

    // One attempt, then the restore of the image the channel had.
    const auto& writes = Dev().ChannelWrites;
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_TRUE(Wiring(writes[0].Image, 2, 0));
    EXPECT_EQ(Decoded(TSetting::TEDSPower, writes[0].Image, 1), 1);
    EXPECT_EQ(writes[1].Image, before.Image);
    EXPECT_EQ(Ch(0).Current, before);
}

TEST_F(OneWire, TripletDirectionFollowsTheLastDiscrepancyOfTwoSensors) {
    // Two sensors that differ first in bit 8 (the lowest bit of the first serial byte).
    const TRomNumber low = MakeRom(0x28, {0x00, 0, 0, 0, 0, 1});
    const TRomNumber high = MakeRom(0x28, {0x01, 0, 0, 0, 0, 1});
    Bridge().SetRoms({high, low});
    ASSERT_TRUE(translator->ReadSensorId(0, shorted, found, id));
    ASSERT_TRUE(found);
    // The first search takes the 0 branch at the discrepancy.
    EXPECT_EQ(id, model::TI2CTranslator::RomToText(low));
    EXPECT_EQ(translator->OneWireState.LastDiscrepancy, 9);
    EXPECT_FALSE(translator->OneWireState.LastDeviceFlag);
    EXPECT_EQ(translator->OneWireState.LastFamilyDiscrepancy, 0);
}

TEST_F(OneWire, SearchWalksEveryRomOnTheLineThenEnds) {
    const TRomNumber a = MakeRom(0x28, {0x00, 0, 0, 0, 0, 1});
    const TRomNumber b = MakeRom(0x28, {0x01, 0, 0, 0, 0, 1});
    const TRomNumber c = MakeRom(0x10, {0x77, 0, 0, 0, 0, 1}); // other family: discrepancy in byte 0
    Bridge().SetRoms({a, b, c});
    ASSERT_TRUE(translator->SelectChannelPath(0, 0, 0, 0));
    std::vector<std::string> seen;
    std::string next;
    ASSERT_TRUE(translator->OneWireFirst(0, next));
    seen.push_back(next);
    EXPECT_NE(translator->OneWireState.LastFamilyDiscrepancy, 0);
    while (translator->OneWireSearch(0, next)) {
        seen.push_back(next);
        ASSERT_LE(seen.size(), 3u);
    }
    std::vector<std::string> want = {model::TI2CTranslator::RomToText(a), model::TI2CTranslator::RomToText(b),
                                     model::TI2CTranslator::RomToText(c)};
    std::sort(seen.begin(), seen.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(seen, want);
    // After the last device the state is cleared.
    EXPECT_EQ(translator->OneWireState.LastDiscrepancy, 0);
    EXPECT_FALSE(translator->OneWireState.LastDeviceFlag);
}

TEST_F(OneWire, ShortEndsAfterTheFirstAttempt) {
    Bridge().SetShorted(true);
    EXPECT_TRUE(translator->ReadSensorId(0, shorted, found, id));
    EXPECT_TRUE(shorted);
    EXPECT_FALSE(found);
    EXPECT_EQ(id, "");
    EXPECT_EQ(Count("B4"), 1);
    EXPECT_EQ(Count("A5F0"), 0);
    EXPECT_EQ(Dev().ChannelWrites.size(), 2u); // attempt and restore
}

TEST_F(OneWire, NoSensorTriesThreeWiringsAndRestores) {
    const device::TChannelImage before = Ch(0).Current;
    EXPECT_TRUE(translator->ReadSensorId(0, shorted, found, id));
    EXPECT_FALSE(found);
    EXPECT_FALSE(shorted);
    // Per wiring: device reset, the identification's 1-Wire reset and the search's.
    EXPECT_EQ(Count("F0"), 3);
    EXPECT_EQ(Count("B4"), 6);
    EXPECT_EQ(Count("A5F0"), 3);
    // The multiplexers are routed once, released once.
    EXPECT_EQ(amp->LogOf("SetMux"), (std::vector<std::string>{"SetMux(0,0,0,4)", "SetMux(0,0,0,5)"}));
    const auto& writes = Dev().ChannelWrites;
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_TRUE(Wiring(writes[0].Image, 2, 0));
    EXPECT_TRUE(Wiring(writes[1].Image, 3, 0));
    EXPECT_TRUE(Wiring(writes[2].Image, 3, 1));
    EXPECT_EQ(writes[3].Image, before.Image);
}

TEST_F(OneWire, SensorReachedOnlyByTheSecondWiring) {
    Bridge().SetRoms({kRom});
    Bridge().SetWiring([](const device::TRegisterImage& image) { return Wiring(image, 3, 0); });
    EXPECT_TRUE(translator->ReadSensorId(0, shorted, found, id));
    EXPECT_TRUE(found);
    EXPECT_EQ(id, model::TI2CTranslator::RomToText(kRom));
    EXPECT_EQ(Count("A5F0"), 2);
    EXPECT_EQ(Dev().ChannelWrites.size(), 3u);
}

TEST_F(OneWire, WrongCrcOrFamilyZeroIsNotReported) {
    TRomNumber badCrc = kRom;
    badCrc[7] ^= 0x01;
    const TRomNumber familyZero = MakeRom(0x00, {1, 2, 3, 4, 5, 6});
    for (const TRomNumber& rom : {badCrc, familyZero}) {
        amp->Log.clear();
        Bridge().SetRoms({rom});
        EXPECT_TRUE(translator->ReadSensorId(0, shorted, found, id));
        EXPECT_FALSE(found);
        EXPECT_EQ(id, "");
        EXPECT_EQ(Count("A5F0"), 3); // every wiring searched
        EXPECT_EQ(translator->OneWireState.LastDiscrepancy, 0);
    }
}

TEST_F(OneWire, BusyClearingOnTheFifthPollCountsStillBusyFails) {
    Bridge().SetRoms({kRom});
    Bridge().SetBusyReads(5); // the command's own read and four polls
    EXPECT_TRUE(translator->ReadSensorId(0, shorted, found, id));
    EXPECT_TRUE(found);

    amp->Log.clear();
    Dev().ChannelWrites.clear();
    const device::TChannelImage before = Ch(0).Current;
    Bridge().SetBusyReads(6);
    EXPECT_FALSE(translator->ReadSensorId(0, shorted, found, id));
    EXPECT_FALSE(found);
    // B4, five polls, then the bridge is reset; no further attempt; the channel is restored.
    const auto texts = BridgeTexts();
    ASSERT_EQ(texts.size(), 9u);
    EXPECT_EQ(texts[2], "B4");
    EXPECT_EQ(texts[7], "E1F0");
    EXPECT_EQ(texts[8], "F0");
    EXPECT_EQ(Dev().ChannelWrites.back().Image, before.Image);
    EXPECT_EQ(amp->LogOf("SetMux").back(), "SetMux(0,0,0,5)");
}

TEST_F(OneWire, FailuresOnTheWayEndTheAttemptsAndStillRestore) {
    struct Case {
        const char* Name;
        std::function<void()> Arrange;
    };
    const Case cases[] = {
        {"mux", [this] { amp->Refuse["SetMux(0,0,0,4)"] = device::TI2CResult::irNoAnswer; }},
        {"bridge", [this] { amp->Refuse["WriteReadI2C(0,$18,F0,1)"] = device::TI2CResult::irNoAnswer; }},
        {"config", [this] { Bridge().SetConfigReadback(0xF0); }},
        {"reset status", [this] { Bridge().SetResetStatus(0x11); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        amp->Log.clear();
        amp->Refuse.clear();
        Bridge().SetConfigReadback(std::nullopt);
        Bridge().SetResetStatus(0x18);
        Bridge().SetRoms({kRom});
        c.Arrange();
        const device::TChannelImage before = Ch(0).Current;
        EXPECT_FALSE(translator->ReadSensorId(0, shorted, found, id));
        EXPECT_FALSE(found);
        EXPECT_EQ(Count("A5F0"), 0);
        EXPECT_EQ(Ch(0).Current, before);
        EXPECT_EQ(amp->LogOf("SetMux").back(), "SetMux(0,0,0,5)");
    }
}

TEST_F(OneWire, RefusedCommitEndsTheAttempts) {
    Bridge().SetRoms({kRom});
    Dev().WriteChannelResult = device::TI2CResult::irNoAnswer;
    EXPECT_FALSE(translator->ReadSensorId(0, shorted, found, id));
    EXPECT_FALSE(found);
    EXPECT_TRUE(BridgeTexts().empty());
}

TEST_F(OneWire, InvalidOrAbsentChannelIsRefusedWithoutTraffic) {
    EXPECT_FALSE(translator->ReadSensorId(2, shorted, found, id));
    EXPECT_FALSE(shorted);
    EXPECT_FALSE(found);
    EXPECT_EQ(Events("Error: "), std::vector<std::string>{"Error: Invalid channel 3"});
    Ch(1).Present = false;
    EXPECT_FALSE(translator->ReadSensorId(1, shorted, found, id));
    EXPECT_EQ(Events("Error: ").back(), "Error: Invalid channel 2");
    EXPECT_TRUE(amp->Log.empty());
    EXPECT_TRUE(Dev().ChannelWrites.empty());
}

// ---- Bridge steps -------------------------------------------------------------------------------

TEST_F(OneWire, DeviceResetAcceptsOnlyTheResetBitBesideTheLogicLevel) {
    struct Case {
        uint8_t Status;
        bool Ok;
    };
    const Case cases[] = {{0x10, true},  {0x18, true},  {0x11, false}, {0x00, false},
                          {0x30, false}, {0x14, false}, {0x1A, false}, {0x90, false}};
    ASSERT_TRUE(translator->SelectChannelPath(0, 0, 0, 0));
    for (const auto& c : cases) {
        Bridge().SetResetStatus(c.Status);
        EXPECT_EQ(translator->DS2482Reset(0), c.Ok) << int(c.Status);
    }
}

TEST_F(OneWire, WriteConfigComparesTheReadBackAndResetsOnAMismatch) {
    ASSERT_TRUE(translator->SelectChannelPath(0, 0, 0, 0));
    EXPECT_TRUE(translator->DS2482Init(0));
    EXPECT_EQ(BridgeTexts(), (std::vector<std::string>{"F0", "D2"}));
    amp->Log.clear();
    Bridge().SetConfigReadback(0x01);
    EXPECT_FALSE(translator->DS2482WriteConfig(0, 0));
    EXPECT_EQ(BridgeTexts(), (std::vector<std::string>{"D2", "F0"}));
    // A failed device reset skips the configuration.
    amp->Log.clear();
    Bridge().SetResetStatus(0x00);
    EXPECT_FALSE(translator->DS2482Init(0));
    EXPECT_EQ(BridgeTexts(), std::vector<std::string>{"F0"});
}

TEST_F(OneWire, ResetReportsPresenceAndShortOfTheLastStatus) {
    ASSERT_TRUE(translator->SelectChannelPath(0, 0, 0, 0));
    bool presence = false, lineShort = true;
    EXPECT_TRUE(translator->OneWireReset(0, presence, lineShort));
    EXPECT_FALSE(presence);
    EXPECT_FALSE(lineShort);
    Bridge().SetRoms({kRom});
    EXPECT_TRUE(translator->OneWireReset(0, presence, lineShort));
    EXPECT_TRUE(presence);
    Bridge().SetStuckBusy(true);
    amp->Log.clear();
    EXPECT_FALSE(translator->OneWireReset(0, presence, lineShort));
    EXPECT_EQ(Count("E1F0"), 5);
    EXPECT_EQ(BridgeTexts().back(), "F0");
}

TEST_F(OneWire, TripletAndWriteByteTexts) {
    ASSERT_TRUE(translator->SelectChannelPath(0, 0, 0, 0));
    EXPECT_TRUE(translator->OneWireWriteByte(0, 0x0F));
    EXPECT_NE(translator->OneWireTriplet(0, 1), 0);
    EXPECT_NE(translator->OneWireTriplet(0, 0), 0);
    EXPECT_EQ(BridgeTexts(), (std::vector<std::string>{"A50F", "E1F0", "7880", "E1F0", "7800", "E1F0"}));
    amp->Refuse["WriteReadI2C(0,$18,7880,1)"] = device::TI2CResult::irNoAnswer;
    EXPECT_EQ(translator->OneWireTriplet(0, 1), 0);
    Bridge().SetStuckBusy(true);
    EXPECT_EQ(translator->OneWireTriplet(0, 0), 0);
    EXPECT_FALSE(translator->OneWireWriteByte(0, 0xF0));
}

TEST_F(OneWire, NoAnswerOnTheFirstTripletBitClearsTheSearchState) {
    // Connected, nobody there: both triplet bits read 1 (status 0x60 and the line level).
    ASSERT_TRUE(translator->SelectChannelPath(0, 0, 0, 0));
    auto& s = translator->OneWireState;
    s.LastDiscrepancy = 12;
    s.LastFamilyDiscrepancy = 4;
    s.LastDeviceFlag = false;
    std::string next = "kept";
    EXPECT_FALSE(translator->OneWireSearch(0, next));
    EXPECT_EQ(next, "kept");
    EXPECT_EQ(s.LastDiscrepancy, 0);
    EXPECT_EQ(s.LastFamilyDiscrepancy, 0);
    EXPECT_FALSE(s.LastDeviceFlag);
    EXPECT_EQ(Count("7800"), 1);
}

TEST(OneWireText, RomNumberAsSixteenDigits) {
    EXPECT_EQ(model::TI2CTranslator::RomToText({0x28, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x0D}),
              "28123456789ABC0D");
    EXPECT_EQ(device::OneWireCRC8(kRom), 0);
}

} // namespace
} // namespace qrb::test
