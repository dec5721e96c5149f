#include "model/SetupRaw.h"

#include "device/FileUtil.h"
#include "tests/model/SetupTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qrb::model {
namespace {

using testing::TTempDir;
using testing::TTestModel;

std::string Bytes(const TFileChannelRecord& rec) {
    std::string s(TFileChannelRecord::Size, '\0');
    rec.Encode(reinterpret_cast<uint8_t*>(s.data()));
    return s;
}

TFileChannelRecord Rec(int32_t version, int32_t serial, const std::string& name = "n") {
    TFileChannelRecord r;
    r.Version = version;
    r.Serial = serial;
    r.ChannelName = name;
    r.SensorType = 1;
    return r;
}

std::string WriteFile(const TTempDir& dir, const std::string& name, const std::string& bytes) {
    const std::string path = dir.File(name);
    std::string error;
    EXPECT_TRUE(device::WriteFileAtomic(path, bytes, error)) << error;
    return path;
}

// ---- Record codec -------------------------------------------------------------------------

TEST(FileChannelRecord, LayoutOfEveryField) {
    TFileChannelRecord r;
    r.ChannelName = "K\xC3\xA4"; // "Kä"
    r.Description = "d";
    r.Version = 2;
    r.Serial = 417;
    r.SensorType = 0x0109;
    for (int w = 0; w < 9; ++w)
        r.Image.Image.Words[static_cast<size_t>(w)] = static_cast<uint16_t>(0x1100 * (w + 1) + w);
    r.Image.Spare = 0xAB;
    r.Image.ADC8LowVal = 0xCD;
    r.ADC8StatVal = 236;
    r.ADC8LowVal = 124;
    const std::string b = Bytes(r);
    ASSERT_EQ(b.size(), 264u);
    EXPECT_EQ(b.substr(0, 4), std::string("\x02K\xE4\0", 4));
    EXPECT_EQ(b.substr(31, 3), std::string("\x01"
                                           "d\0",
                                           3));
    EXPECT_EQ(b.substr(232, 4), std::string("\x02\0\0\0", 4));
    EXPECT_EQ(b.substr(236, 4), std::string("\xA1\x01\0\0", 4));
    EXPECT_EQ(b.substr(240, 2), std::string("\x09\x01", 2));
    EXPECT_EQ(b.substr(242, 4), std::string("\x00\x11\x01\x22", 4));
    EXPECT_EQ(b.substr(258, 2), std::string("\x08\x99", 2));
    EXPECT_EQ(b.substr(260, 4), std::string("\xAB\xCD\xEC\x7C", 4));
    EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 31), std::string(27, '\0'));

    TFileChannelRecord back;
    ASSERT_TRUE(TFileChannelRecord::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), back));
    EXPECT_EQ(back, r);
    EXPECT_EQ(back.Key(), "2.417");
    EXPECT_FALSE(TFileChannelRecord::Decode(reinterpret_cast<const uint8_t*>(b.data()), 263, back));
}

TEST(FileChannelRecord, TextsAreCutAndHugeLengthBytesClamped) {
    TFileChannelRecord r;
    r.ChannelName = std::string(40, 'a');
    r.Description = std::string(250, 'b');
    std::string b = Bytes(r);
    EXPECT_EQ(static_cast<uint8_t>(b[0]), 30);
    EXPECT_EQ(static_cast<uint8_t>(b[31]), 200);
    b[0] = static_cast<char>(0xFF);
    b[31] = static_cast<char>(0xFF);
    b[1] = static_cast<char>(0x80); // euro sign
    TFileChannelRecord back;
    ASSERT_TRUE(TFileChannelRecord::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), back));
    EXPECT_EQ(back.ChannelName, "\xE2\x82\xAC" + std::string(29, 'a'));
    EXPECT_EQ(back.Description, std::string(200, 'b'));
}

// ---- Whole file ---------------------------------------------------------------------------

TEST(SetupFile, SortedKeepsTheFirstOfAKeyUnsortedKeepsFileOrder) {
    const std::string bytes = Bytes(Rec(2, 417, "first")) + Bytes(Rec(1, 5)) + Bytes(Rec(2, 417, "second")) +
                              Bytes(Rec(10 - 7, 12));
    const TSetupFile sorted = TSetupFile::FromBytes(bytes, true);
    ASSERT_EQ(sorted.Count(), 3);
    EXPECT_EQ(sorted.Key(0), "1.5");
    EXPECT_EQ(sorted.Key(1), "2.417");
    EXPECT_EQ(sorted.Key(2), "3.12");
    EXPECT_EQ(sorted.Channel(sorted.IndexOf("2.417")).Rec.ChannelName, "first");

    const TSetupFile unsorted = TSetupFile::FromBytes(bytes, false);
    ASSERT_EQ(unsorted.Count(), 4);
    EXPECT_EQ(unsorted.Key(0), "2.417");
    EXPECT_EQ(unsorted.Channel(2).Rec.ChannelName, "second");
    EXPECT_EQ(unsorted.IndexOf("2.417"), 0);
    EXPECT_EQ(unsorted.IndexOf("9.9"), -1);
}

TEST(SetupFile, PlaceholdersKeepTheirPositionButHaveNoKey) {
    TFileChannelRecord placeholder;
    placeholder.ChannelName = "texts do not matter";
    placeholder.ADC8StatVal = 236; // what a defect slot's channel holds
    placeholder.ADC8LowVal = 124;
    const std::string bytes = Bytes(Rec(1, 1)) + Bytes(placeholder) + Bytes(Rec(1, 2));
    const TSetupFile unsorted = TSetupFile::FromBytes(bytes, false);
    ASSERT_EQ(unsorted.Count(), 3);
    EXPECT_TRUE(unsorted.IsPlaceholder(1));
    EXPECT_EQ(unsorted.IndexOf(""), -1);
    EXPECT_EQ(unsorted.IndexOf("0.0"), -1);
    const TSetupFile sorted = TSetupFile::FromBytes(bytes, true);
    EXPECT_EQ(sorted.Count(), 2);
}

TEST(SetupFile, BadVersionsPartialRecordsAndTheNotQuitePlaceholderAreRejectedWhole) {
    TFileChannelRecord zeroVersion; // version 0 with an image is no placeholder
    zeroVersion.Image.Image.Words[3] = 1;
    TFileChannelRecord zeroSensor;
    zeroSensor.SensorType = 2;
    const std::vector<std::string> files = {
        Bytes(Rec(1, 1)) + Bytes(Rec(4, 1)),       Bytes(Rec(-1, 1)),
        Bytes(Rec(1, 1)) + Bytes(zeroVersion),     Bytes(zeroSensor),
        Bytes(Rec(1, 1)) + std::string(100, '\0'), std::string(263, '\0'),
    };
    for (size_t i = 0; i < files.size(); ++i) {
        for (bool sorted : {true, false}) {
            try {
                (void)TSetupFile::FromBytes(files[i], sorted);
                ADD_FAILURE() << "file " << i << " accepted";
            } catch (const ESetupFileError& e) {
                EXPECT_STREQ(e.what(), "invalid fileformat!") << i;
            }
        }
    }
}

TEST(SetupFile, OpenErrorsCarryTheirTexts) {
    TTempDir dir;
    try {
        TSetupFile f(dir.File("none.prs"), true);
        ADD_FAILURE();
    } catch (const ESetupFileError& e) {
        EXPECT_STREQ(e.what(), "Setup file does not exist!");
    }
    if (::geteuid() != 0) {
        const std::string path = WriteFile(dir, "locked.prs", Bytes(Rec(1, 1)));
        ::chmod(path.c_str(), 0);
        try {
            TSetupFile f(path, true);
            ADD_FAILURE();
        } catch (const ESetupFileError& e) {
            EXPECT_STREQ(e.what(), "Error while loading setup file (13)");
        }
    }
}

// ---- File operations ----------------------------------------------------------------------

class SetupRawFile : public ::testing::Test {
protected:
    void SetUp() override {
        TQRBRawChannel& a = model.Add(2, 417, stDMSHalfbridge);
        a.ChannelName = "Br\xC3\xBC"
                        "cke"; // "Brücke"
        a.Description = "links";
        a.Current.Image.Words = {5, 0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 2003, 2048};
        a.Current.ADC8LowVal = 99;
        a.ADC8StatVal = 200;
        a.ADC8LowVal = 100;
        model.Add(0, 0, stOff, false); // defect placeholder
        TQRBRawChannel& c = model.Add(1, 12, stICP);
        c.Current.Image.Words[0] = 2;
    }
    TTempDir dir;
    TTestModel model;
};

TEST_F(SetupRawFile, SaveWritesOneRecordPerChannelObject) {
    const std::string path = dir.File("s.prs");
    std::string error;
    ASSERT_TRUE(RawSaveSetup(path, model.Model(), error)) << error;
    std::string bytes;
    ASSERT_TRUE(device::ReadFileBytes(path, bytes, error));
    ASSERT_EQ(bytes.size(), 3u * 264u);
    TFileChannelRecord r;
    ASSERT_TRUE(TFileChannelRecord::Decode(reinterpret_cast<const uint8_t*>(bytes.data()), 264, r));
    EXPECT_EQ(r.ChannelName, "Br\xC3\xBC"
                             "cke");
    EXPECT_EQ(static_cast<uint8_t>(bytes[3]), 0xFC); // Windows-1252
    EXPECT_EQ(r.Description, "links");
    EXPECT_EQ(r.Version, 2);
    EXPECT_EQ(r.Serial, 417);
    EXPECT_EQ(r.SensorType, stDMSHalfbridge);
    EXPECT_EQ(r.Image, model[0].Current);
    EXPECT_EQ(r.ADC8StatVal, 200);
    EXPECT_EQ(r.ADC8LowVal, 100);
    ASSERT_TRUE(TFileChannelRecord::Decode(reinterpret_cast<const uint8_t*>(bytes.data()) + 264, 264, r));
    EXPECT_TRUE(r.IsPlaceholder());
}

TEST_F(SetupRawFile, ASavedPlaceholderNoLongerRejectsTheFile) {
    const std::string path = dir.File("p.prs");
    std::string error;
    ASSERT_TRUE(RawSaveSetup(path, model.Model(), error));
    bool valid = false, equal = false, match = false;
    EXPECT_TRUE(RawCheckSetupFile(path, valid, error)) << error;
    EXPECT_TRUE(valid);
    EXPECT_TRUE(RawGetSetupChannelCount(path, 3, equal, error)) << error;
    EXPECT_TRUE(equal);
    EXPECT_TRUE(RawSetupSerialsMatch(path, model.Model(), match, error)) << error;
    EXPECT_TRUE(match);
}

TEST_F(SetupRawFile, SaveFailureReportsTheErrorCode) {
    std::string error;
    EXPECT_FALSE(RawSaveSetup(dir.File("no/such/folder.prs"), model.Model(), error));
    EXPECT_EQ(error, "Error while writing setup file (2)");
}

// Another user's link to the user's folder in a sticky folder everyone can write to is not
// followed: the save fails with the code of a refused permission and the file there keeps every byte.
TEST_F(SetupRawFile, ASaveThroughAnotherUsersFolderLinkInASharedFolderFails) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make another user's link";
    const std::string mine = dir.File("mine");
    ASSERT_EQ(::mkdir(mine.c_str(), 0700), 0);
    const std::string kept = WriteFile(dir, "mine/s.prs", Bytes(Rec(1, 7)));
    const std::string shared = dir.File("share");
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string link = shared + "/dir";
    ASSERT_EQ(::symlink(mine.c_str(), link.c_str()), 0);
    ASSERT_EQ(::lchown(link.c_str(), 4321, 4321), 0);
    std::string error;
    EXPECT_FALSE(RawSaveSetup(link + "/s.prs", model.Model(), error));
    EXPECT_EQ(error, "Error while writing setup file (13)");
    std::string bytes;
    ASSERT_TRUE(device::ReadFileBytes(kept, bytes, error)) << error;
    EXPECT_EQ(bytes, Bytes(Rec(1, 7)));
    // The user's own link there is followed.
    ASSERT_EQ(::lchown(link.c_str(), 0, 0), 0);
    EXPECT_TRUE(RawSaveSetup(link + "/s.prs", model.Model(), error)) << error;
    ASSERT_TRUE(device::ReadFileBytes(kept, bytes, error)) << error;
    EXPECT_EQ(bytes.size(), 3u * 264u);
}

TEST_F(SetupRawFile, LoadByPositionCopiesImageTextsAndTypeWithoutSetters) {
    const std::string path = dir.File("l.prs");
    std::string error;
    ASSERT_TRUE(RawSaveSetup(path, model.Model(), error));

    TTestModel other;
    other.Add(3, 1, stVolt);
    other.Add(3, 2, stVolt); // present where the file holds a placeholder
    other.Add(3, 3, stVolt, false);
    other.Add(3, 4, stVolt); // beyond the file's records
    other[0].RangeCache = 42;
    ASSERT_TRUE(RawLoadSetup(path, false, other.Model(), error)) << error;
    EXPECT_EQ(other[0].SensorType, stDMSHalfbridge);
    EXPECT_EQ(other[0].ChannelName, "Br\xC3\xBC"
                                    "cke");
    EXPECT_EQ(other[0].Description, "links");
    EXPECT_EQ(other[0].Pending, model[0].Current);
    EXPECT_EQ(other[0].ADC8StatVal, 200);
    EXPECT_EQ(other[0].ADC8LowVal, 100);
    EXPECT_EQ(other[0].TypeCache, stVolt); // caches wait for the commit
    EXPECT_EQ(other[0].RangeCache, 42);
    EXPECT_EQ(other[1].SensorType, stVolt);
    EXPECT_EQ(other[1].Pending, device::TChannelImage{});
    EXPECT_EQ(other[2].Pending, device::TChannelImage{}); // not present
    EXPECT_EQ(other[3].SensorType, stVolt);
}

TEST_F(SetupRawFile, LoadBySerialMatchesKeysAndSkipsChannelsWithoutRecord) {
    const std::string path =
        WriteFile(dir, "k.prs", Bytes(Rec(1, 12, "a")) + Bytes(Rec(2, 5, "b")) + Bytes(Rec(2, 5, "c")));
    TTestModel other;
    other.Add(2, 5);
    other.Add(2, 5);
    other.Add(7, 7);
    other.Add(1, 12, stVolt, false);
    std::string error;
    ASSERT_TRUE(RawLoadSetup(path, true, other.Model(), error)) << error;
    EXPECT_EQ(other[0].ChannelName, "b");
    EXPECT_EQ(other[1].ChannelName, "b");
    EXPECT_EQ(other[2].ChannelName, "");
    EXPECT_EQ(other[3].ChannelName, "");

    ASSERT_TRUE(RawLoadSetup(path, false, other.Model(), error)) << error;
    EXPECT_EQ(other[0].ChannelName, "a");
    EXPECT_EQ(other[1].ChannelName, "b");
    EXPECT_EQ(other[2].ChannelName, "c");
}

TEST_F(SetupRawFile, SerialsMatchLooksAtPresentChannelsAndAcceptsSimulatedFiles) {
    const std::string path = WriteFile(dir, "m.prs", Bytes(Rec(1, 12)) + Bytes(Rec(2, 417)));
    bool match = false;
    std::string error;
    ASSERT_TRUE(RawSetupSerialsMatch(path, model.Model(), match, error)) << error;
    EXPECT_TRUE(match);
    model.Add(3, 1);
    ASSERT_TRUE(RawSetupSerialsMatch(path, model.Model(), match, error)) << error;
    EXPECT_FALSE(match);

    const std::string sim = WriteFile(dir, "v.prs", Bytes(Rec(1, 0xFF00)) + Bytes(Rec(1, 0xFF01)));
    ASSERT_TRUE(RawSetupSerialsMatch(sim, model.Model(), match, error)) << error;
    EXPECT_TRUE(match);
    const std::string nearly = WriteFile(dir, "w.prs", Bytes(Rec(1, 0xFEFF)));
    ASSERT_TRUE(RawSetupSerialsMatch(nearly, model.Model(), match, error)) << error;
    EXPECT_FALSE(match);
}

TEST_F(SetupRawFile, AnEmptyFile) {
    const std::string path = WriteFile(dir, "e.prs", "");
    bool valid = false, equal = true, match = true;
    std::string error;
    EXPECT_TRUE(RawCheckSetupFile(path, valid, error));
    EXPECT_TRUE(valid);
    EXPECT_TRUE(RawGetSetupChannelCount(path, 3, equal, error));
    EXPECT_FALSE(equal);
    EXPECT_TRUE(RawGetSetupChannelCount(path, 0, equal, error));
    EXPECT_TRUE(equal);
    EXPECT_FALSE(RawSetupSerialsMatch(path, model.Model(), match, error));
    EXPECT_EQ(error, "List index out of bounds (0)");
    EXPECT_TRUE(RawLoadSetup(path, false, model.Model(), error));
    EXPECT_EQ(model[0].Pending, device::TChannelImage{});
}

TEST_F(SetupRawFile, ARejectedFileChangesNothing) {
    const std::string path = WriteFile(dir, "r.prs", Bytes(Rec(1, 12, "x")) + Bytes(Rec(9, 1)));
    std::string error;
    bool flag = true;
    EXPECT_FALSE(RawLoadSetup(path, false, model.Model(), error));
    EXPECT_EQ(error, "invalid fileformat!");
    EXPECT_EQ(model[0].ChannelName, "Br\xC3\xBC"
                                    "cke");
    EXPECT_FALSE(RawCheckSetupFile(path, flag, error));
    EXPECT_FALSE(flag);
    EXPECT_EQ(error, "invalid fileformat!");
    EXPECT_FALSE(RawGetSetupChannelCount(path, 2, flag, error));
    EXPECT_EQ(error, "invalid fileformat!");
    EXPECT_FALSE(RawCheckSetupFile(dir.File("none.prs"), flag, error));
    EXPECT_EQ(error, "Invalid file or empty filename!");
    EXPECT_FALSE(RawGetSetupChannelCount(dir.File("none.prs"), 2, flag, error));
    EXPECT_EQ(error, "Setup file does not exist!");
    EXPECT_FALSE(RawLoadSetup("", false, model.Model(), error));
    EXPECT_EQ(error, "Invalid or empty filename!");
}

} // namespace
} // namespace qrb::model
