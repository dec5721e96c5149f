#include "device/wire/CommandBlock.h"
#include "device/wire/CommandTable.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace qrb::device;

namespace {

// The first 32 bytes of a block, written out from the field table.
std::vector<uint8_t> Head(const TCommandBlock& b) {
    return {b.Bytes.begin(), b.Bytes.begin() + 32};
}

} // namespace

TEST(CommandBlock, FirstRequestAfterCreationCarriesSequenceOne) {
    TSequenceNumber entry;
    TCommandBlock request;
    request.Bytes.fill(0xEE); // stale contents must not survive
    BuildRequest(request, 0x30000, 0x30001, kDirectionRequest, entry);
    const std::vector<uint8_t> expected = {
        0x00, 0x05, 0x69, 0x87, // Magic 0x87690500
        0x00, 0x00, 0x03, 0x00, // Group 0x30000
        0x01, 0x00, 0x03, 0x00, // Command 0x30001
        0x98, 0x05, 0x00, 0x00, // Size 1432
        0x01, 0x04, 0x02, 0x02, // Direction 0x02020401
        0x00, 0x00, 0x00, 0x00, // SeqHigh 0
        0x01, 0x00, 0x00, 0x00, // SeqLow 1
        0x00, 0x00, 0x00, 0x00, // PayloadLength 0
    };
    EXPECT_EQ(Head(request), expected);
    for (size_t i = 32; i < TCommandBlock::Size; ++i)
        ASSERT_EQ(request.Bytes[i], 0) << "byte " << i;
    EXPECT_EQ(entry.SeqLow, 1u);
    EXPECT_EQ(entry.SeqHigh, 0u);
}

TEST(CommandBlock, LowWordCarriesIntoHighWord) {
    TSequenceNumber entry{0xFFFFFFFF, 0};
    TCommandBlock request;
    BuildRequest(request, 0x10000, 0x10009, kDirectionRequest, entry);
    const std::vector<uint8_t> seq(request.Bytes.begin() + 20, request.Bytes.begin() + 28);
    EXPECT_EQ(seq, (std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(entry.Value(), 0x100000000ull);

    TSequenceNumber top{0xFFFFFFFF, 0xFFFFFFFF}; // wraps to zero without fault
    top.Advance();
    EXPECT_EQ(top.Value(), 0u);
}

TEST(CommandBlock, PayloadWritesLengthAndBytes) {
    TSequenceNumber entry;
    TCommandBlock request;
    BuildRequest(request, 0x10000, 0x10003, kDirectionRequest, entry);
    const uint8_t payload[] = {0x20, 0x02, 0x07, 0x00};
    request.SetPayload(payload);
    EXPECT_EQ(std::vector<uint8_t>(request.Bytes.begin() + 28, request.Bytes.begin() + 36),
              (std::vector<uint8_t>{0x04, 0x00, 0x00, 0x00, 0x20, 0x02, 0x07, 0x00}));

    std::vector<uint8_t> tooMuch(1500, 0x55);
    request.SetPayload(tooMuch);
    EXPECT_EQ(request.PayloadLength(), 1400u);
    EXPECT_EQ(request.Bytes[TCommandBlock::Size - 1], 0x55);
}

class CheckResponseTest : public ::testing::Test {
protected:
    // A valid answer to sequence 0x00000001'00000002, status -3, written by hand.
    TCommandBlock Answer() {
        static const uint8_t head[] = {
            0x00, 0x05, 0x69, 0x87, 0xAA, 0xAA, 0xAA, 0xAA, // Magic, Group (ignored)
            0xBB, 0xBB, 0xBB, 0xBB, 0x00, 0x00, 0x00, 0x00, // Command, Size (ignored)
            0x02, 0x04, 0x02, 0x02, 0x01, 0x00, 0x00, 0x00, // Direction answer, SeqHigh 1
            0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, // SeqLow 2, PayloadLength 4
            0xFD, 0xFF, 0xFF, 0xFF,                         // Status -3
        };
        TCommandBlock b;
        std::copy(std::begin(head), std::end(head), b.Bytes.begin());
        return b;
    }
    TSequenceNumber entry{2, 1};
};

TEST_F(CheckResponseTest, AcceptsMatchingAnswerWhateverGroupCommandSize) {
    TCommandBlock a = Answer();
    EXPECT_TRUE(CheckResponse(a, kDirectionAnswer, entry));
    EXPECT_EQ(a.Status(), -3);
    EXPECT_EQ(a.PayloadLength(), 4u);
}

TEST_F(CheckResponseTest, RefusesEachMismatchingField) {
    struct Case {
        size_t offset;
        uint8_t value;
        const char* what;
    };
    const Case cases[] = {
        {0, 0x01, "magic"},
        {16, 0x01, "direction of a request"},
        {20, 0x00, "SeqHigh of an earlier request"},
        {24, 0x01, "SeqLow of an earlier request"},
        {24, 0x03, "SeqLow of a later request"},
    };
    for (const Case& c : cases) {
        TCommandBlock a = Answer();
        a.Bytes[c.offset] = c.value;
        EXPECT_FALSE(CheckResponse(a, kDirectionAnswer, entry)) << c.what;
    }
}

TEST(InfoRecords, RequestBytes) {
    auto bytes = TInfoRequest::Encode();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()),
              (std::vector<uint8_t>{0xFE, 0xCA, 0xCE, 0xFA, 0x40, 0x30, 0x20, 0x10}));
}

TEST(InfoRecords, AnswerFieldsAtTheirOffsets) {
    std::vector<uint8_t> raw(76, 0x00);
    const uint8_t holder[] = {192, 168, 0, 10};
    std::copy(std::begin(holder), std::end(holder), raw.begin() + 4);
    const uint8_t series[] = {0x2A, 0x00, 0x00, 0x00}; // 42
    const uint8_t serial[] = {0x39, 0x30, 0x00, 0x00}; // 12345
    std::copy(std::begin(series), std::end(series), raw.begin() + 26);
    std::copy(std::begin(serial), std::end(serial), raw.begin() + 30);

    TInfoAnswer a;
    ASSERT_TRUE(TInfoAnswer::Decode(raw.data(), raw.size(), a));
    EXPECT_EQ(a.HolderText(), "192.168.0.10");
    EXPECT_TRUE(a.HolderIs(192, 168, 0, 10));
    EXPECT_EQ(a.Series, 42);
    EXPECT_EQ(a.Serial, 12345);

    TInfoAnswer untouched;
    untouched.Series = 7;
    EXPECT_FALSE(TInfoAnswer::Decode(raw.data(), 75, untouched));
    EXPECT_EQ(untouched.Series, 7);
}

TEST(CommandTable, GroupsAndCodesOfTheProtocol) {
    // Rows in table order; the codes count in decimal digits.
    struct Row {
        TWireCommand command;
        uint32_t group, code;
    };
    const Row rows[] = {
        {TWireCommand::GetFWVersion, 0x10000, 0x10000},
        {TWireCommand::ScanI2C, 0x10000, 0x10002},
        {TWireCommand::WriteI2C, 0x10000, 0x10003},
        {TWireCommand::WriteI2CBlock, 0x10000, 0x10003},
        {TWireCommand::ReadI2C, 0x10000, 0x10004},
        {TWireCommand::SetSCL, 0x10000, 0x10008},
        {TWireCommand::GetSCL, 0x10000, 0x10009},
        {TWireCommand::SetMux, 0x20000, 0x20001},
        {TWireCommand::WriteSeq, 0x20000, 0x20002},
        {TWireCommand::SetIRQ, 0x20000, 0x20003},
        {TWireCommand::ScanI2CMux, 0x20000, 0x20005},
        {TWireCommand::SetFan, 0x20000, 0x20006},
        {TWireCommand::SetDCDCClock, 0x20000, 0x20008},
        {TWireCommand::GetDeviceInfo, 0x30000, 0x30001},
        {TWireCommand::GetMasterflash, 0x30000, 0x30002},
        {TWireCommand::SetMasterflash, 0x30000, 0x30003},
        {TWireCommand::SaveAllConfig, 0x30000, 0x30006},
        {TWireCommand::GetChannelInfo, 0x30000, 0x30007},
        {TWireCommand::SetChannelInfo, 0x30000, 0x30008},
        {TWireCommand::GetDCDCInfo, 0x30000, 0x30009},
        {TWireCommand::SetDCDCInfo, 0x30000, 0x30010},
        {TWireCommand::WriteChannel, 0x30000, 0x30011},
        {TWireCommand::GetChannelCalibTable, 0x30000, 0x30015},
        {TWireCommand::GetDeviceADC8, 0x30000, 0x30017},
        {TWireCommand::GetDeviceLockState, 0x30000, 0x30019},
        {TWireCommand::SetDeviceLockState, 0x30000, 0x30020},
    };
    std::set<TWireCommand> seen;
    for (const Row& r : rows) {
        const TWireCommandRow& row = WireCommandRow(r.command);
        EXPECT_EQ(row.Command, r.command);
        EXPECT_EQ(row.Group, r.group) << row.Name[0];
        EXPECT_EQ(row.Code, r.code) << row.Name[0];
        seen.insert(r.command);
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(TWireCommand::Count));
}

TEST(CommandTable, NamesThatDifferBetweenTransports) {
    auto usb = [](TWireCommand c) { return WireCommandRow(c).Name[0]; };
    auto lan = [](TWireCommand c) { return WireCommandRow(c).Name[1]; };
    EXPECT_EQ(usb(TWireCommand::WriteI2CBlock), "WRITEI2CBLOCK");
    EXPECT_EQ(lan(TWireCommand::WriteI2CBlock), "WRITEI2C");
    EXPECT_EQ(usb(TWireCommand::ScanI2CMux), "SCANI2CMUX");
    EXPECT_EQ(lan(TWireCommand::ScanI2CMux), "SCANMUX");
    EXPECT_EQ(usb(TWireCommand::WriteChannel), "WRITECHANNEL");
    EXPECT_EQ(lan(TWireCommand::WriteChannel), "WRITEChanel");
    EXPECT_EQ(usb(TWireCommand::SaveAllConfig), "SAVEALLFLASH");
    EXPECT_EQ(lan(TWireCommand::SaveAllConfig), "SaveAllConfig");
    int differing = 0;
    for (const auto& row : kWireCommands)
        differing += row.Name[0] != row.Name[1];
    EXPECT_EQ(differing, 4);
}
