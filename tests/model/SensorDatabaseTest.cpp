#include "model/SensorDatabase.h"

#include "device/FileUtil.h"
#include "model/I2CTranslator.h"
#include "tests/model/TranslatorFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace qrb::model {
namespace {

namespace fs = std::filesystem;

// A fresh folder below the test's runtime folder (or /var/tmp), removed afterwards.
class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("XDG_RUNTIME_DIR");
        std::string pattern = std::string(base && *base ? base : "/var/tmp") + "/sensordb-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = buf.data();
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(gen());
    return out;
}

// A record of random bytes with the marker and the given ID.
std::vector<uint8_t> RawRecord(const std::string& id, unsigned seed, uint8_t marker = kSensorRecordMarker,
                               uint8_t newFlag = 0) {
    std::vector<uint8_t> raw = RandomBytes(TSensorRecord::Size, seed);
    raw[0] = marker;
    raw[1] = newFlag;
    raw[2] = static_cast<uint8_t>(id.size());
    std::copy(id.begin(), id.end(), raw.begin() + 3);
    return raw;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::string> Keys(const TSensorBlockList& list) {
    std::vector<std::string> out;
    for (const auto& e : list)
        out.push_back(e.Text);
    return out;
}

void WriteRaw(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string error;
    ASSERT_TRUE(device::WriteFileAtomic(path, bytes, error)) << error;
}

std::vector<uint8_t> ReadRaw(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(device::ReadFileBytes(path, bytes, error)) << error;
    return bytes;
}

// ---- Record codec --------------------------------------------------------------------------

TEST(SensorRecordCodec, FieldsSitAtTheirOffsets) {
    TSensorRecord r;
    r.Marker = 0xB8;
    r.NewFlag = 1;
    r.SensorID.SetText("28123456789ABC4D");
    r.SensorName.SetText("Name");
    r.DisplayName.SetText("Disp");
    r.Description.SetText("Desc");
    r.SensorType = 0x0104;
    r.Range = 0x11;
    r.Coupling = 0x05;
    r.OffsetDAC = 0x0A0B;
    r.PowerDAC = 0x0C0D;
    r.Reserved290 = 0x5A;
    r.Offset = 1;
    r.OutputFilter = 1;
    r.Is350Ohm = 1;
    r.Sense = 1;
    r.BridgeSupplyDAC = 0x0E0F;
    r.Shunt = 1;
    r.TwoWire = 1;
    r.SupplyMode = 2;
    r.SupplyDAC = 0x1213;
    r.Reserved302[0] = 0xA1;
    r.Reserved302[1020] = 0xA2;
    std::vector<uint8_t> b(TSensorRecord::Size, 0xEE);
    r.Encode(b.data());

    struct Expect {
        size_t Offset;
        uint8_t Byte;
    };
    const Expect table[] = {
        {0, 0xB8},   {1, 1},      {2, 16},     {3, '2'},    {18, 'D'},    {19, 4},     {20, 'N'},
        {50, 4},     {51, 'D'},   {81, 4},     {82, 'D'},   {282, 0x04},  {283, 0x01}, {284, 0x11},
        {285, 0x05}, {286, 0x0B}, {287, 0x0A}, {288, 0x0D}, {289, 0x0C},  {290, 0x5A}, {291, 1},
        {292, 1},    {293, 1},    {294, 1},    {295, 0x0F}, {296, 0x0E},  {297, 1},    {298, 1},
        {299, 2},    {300, 0x13}, {301, 0x12}, {302, 0xA1}, {1322, 0xA2},
    };
    for (const auto& e : table)
        EXPECT_EQ(b[e.Offset], e.Byte) << "offset " << e.Offset;
    // The bytes after a short text are zero, not left over.
    EXPECT_EQ(b[24], 0);
    EXPECT_EQ(b[281], 0);
}

TEST(SensorRecordCodec, DecodeEncodeKeepsEveryByte) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const std::vector<uint8_t> raw = RandomBytes(TSensorRecord::Size, seed);
        TSensorRecord r;
        ASSERT_TRUE(TSensorRecord::Decode(raw.data(), raw.size(), r));
        std::vector<uint8_t> again(TSensorRecord::Size);
        r.Encode(again.data());
        EXPECT_EQ(again, raw) << "seed " << seed;
    }
}

TEST(SensorRecordCodec, ShortInputIsRefusedAndLeavesTheRecord) {
    const std::vector<uint8_t> raw = RandomBytes(TSensorRecord::Size - 1, 7);
    TSensorRecord r;
    r.Range = 9;
    EXPECT_FALSE(TSensorRecord::Decode(raw.data(), raw.size(), r));
    EXPECT_EQ(r.Range, 9);
}

TEST(SensorRecordCodec, LengthBytesAreBoundedByTheirField) {
    std::vector<uint8_t> raw = RawRecord("0123456789ABCDEF", 3);
    raw[2] = 255;  // ID length beyond its 16 characters
    raw[81] = 255; // description length beyond 200
    TSensorRecord r;
    ASSERT_TRUE(TSensorRecord::Decode(raw.data(), raw.size(), r));
    EXPECT_EQ(r.ID(), "0123456789ABCDEF");
    EXPECT_EQ(r.Description.Text().size(), 200u);
    std::vector<uint8_t> again(TSensorRecord::Size);
    r.Encode(again.data());
    EXPECT_EQ(again[2], 255); // kept as stored
}

TEST(SensorRecordCodec, TextsAreWindows1252) {
    TSensorRecord r;
    SetRecordText(r.SensorName, "Kraftmeßdose °C");
    EXPECT_EQ(r.SensorName.Text(), std::string("Kraftme\xDF"
                                               "dose \xB0"
                                               "C"));
    EXPECT_EQ(RecordText(r.SensorName), "Kraftmeßdose °C");
    // A character Windows-1252 cannot hold becomes '?'; the cut counts characters.
    SetRecordText(r.DisplayName, "Ω" + std::string(40, 'x'));
    EXPECT_EQ(RecordText(r.DisplayName), "?" + std::string(29, 'x'));
}

// ---- Record lists --------------------------------------------------------------------------

TEST(SensorRecordList, KeepsMarkedRecordsSortedFirstOfEachIdAndClearsTheNewFlag) {
    const auto bytes = Join({RawRecord("C000000000000001", 1, kSensorRecordMarker, 1),
                             RawRecord("A000000000000001", 2), RawRecord("B000000000000001", 3, 0x00),
                             RawRecord("a000000000000001", 4), RawRecord("0000000000000001", 5, 183)});
    TSensorBlockList list(true);
    EXPECT_TRUE(DecodeSensorRecords(bytes, list));
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"A000000000000001", "C000000000000001"}));
    // The first of the two IDs that differ only in case stays.
    TSensorRecord first;
    TSensorRecord::Decode(RawRecord("A000000000000001", 2).data(), TSensorRecord::Size, first);
    EXPECT_EQ(list.Object(0)->Rec, first);
    EXPECT_EQ(list.Object(1)->Rec.NewFlag, 0);
}

TEST(SensorRecordList, TrailingPartialRecordFails) {
    auto bytes = RawRecord("A000000000000001", 2);
    bytes.push_back(kSensorRecordMarker);
    TSensorBlockList list(true);
    EXPECT_FALSE(DecodeSensorRecords(bytes, list));
}

TEST(SensorRecordList, EncodeWritesMarkerAndClearedFlagInListOrder) {
    TSensorBlockList list(true);
    for (const char* id : {"BB00000000000000", "AA00000000000000"}) {
        TSensorRecord r;
        r.Marker = 0;
        r.NewFlag = 1;
        r.SensorID.SetText(id);
        list.Add(r.ID(), std::make_unique<TTEDSBlock>(r));
    }
    const std::string bytes = EncodeSensorRecords(list);
    ASSERT_EQ(bytes.size(), 2 * TSensorRecord::Size);
    EXPECT_EQ(uint8_t(bytes[0]), kSensorRecordMarker);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes.substr(3, 2), "AA");
    EXPECT_EQ(bytes.substr(TSensorRecord::Size + 3, 2), "BB");
    // The list itself is not changed.
    EXPECT_EQ(list.Object(0)->Rec.NewFlag, 1);
}

TEST(SensorRecordList, CopyHoldsEqualEntriesOfItsOwn) {
    TSensorBlockList list(true);
    ASSERT_TRUE(DecodeSensorRecords(
        Join({RawRecord("BB00000000000000", 1), RawRecord("AA00000000000000", 2)}), list));
    list.Object(1)->Rec.NewFlag = 1;
    const TSensorBlockList copy = CopySensorBlocks(list);
    EXPECT_TRUE(copy.Sorted());
    ASSERT_EQ(Keys(copy), Keys(list));
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_NE(copy.Object(i), list.Object(i)) << i;
        EXPECT_EQ(copy.Object(i)->Rec, list.Object(i)->Rec) << i;
    }
    // Changing or freeing the list's entries leaves the copy as it was.
    const TSensorRecord kept = copy.Object(0)->Rec;
    list.Object(0)->Rec.SensorType = 7;
    list.Delete(1);
    list.Clear();
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.Object(0)->Rec, kept);
    EXPECT_EQ(copy.Object(1)->Rec.NewFlag, 1);
    EXPECT_EQ(copy.IndexOf("bb00000000000000"), 1);
}

// ---- Files ---------------------------------------------------------------------------------

TEST(SensorFile, MissingFileIsAnEmptyDatabase) {
    TempFolder dir;
    TSensorBlockList list(true);
    std::string error;
    EXPECT_EQ(ReadSensorFile(dir.File(kSensorDatabaseFileName), list, error), TSensorFileRead::Missing);
    EXPECT_TRUE(list.Empty());
}

TEST(SensorFile, UnreadableOrPartialFileFails) {
    TempFolder dir;
    std::string error;
    TSensorBlockList list(true);
    // A folder where the file should be.
    fs::create_directory(dir.File("folder"));
    EXPECT_EQ(ReadSensorFile(dir.File("folder"), list, error), TSensorFileRead::Failed);
    EXPECT_FALSE(error.empty());

    auto bytes = RawRecord("A000000000000001", 2);
    bytes.resize(bytes.size() + 100);
    WriteRaw(dir.File("partial.bin"), bytes);
    EXPECT_EQ(ReadSensorFile(dir.File("partial.bin"), list, error), TSensorFileRead::Failed);
    EXPECT_TRUE(list.Empty());
    EXPECT_FALSE(error.empty());
}

TEST(SensorFile, ByteIdenticalRoundTrip) {
    TempFolder dir;
    // Sorted, unique, marked records with flag 0: saving what was loaded gives the same file.
    const auto bytes = Join({RawRecord("0000000000000001", 11), RawRecord("28123456789ABC4D", 12),
                             RawRecord("FF00000000000000", 13)});
    const std::string path = dir.File(kSensorDatabaseFileName);
    WriteRaw(path, bytes);
    TSensorBlockList list(true);
    std::string error;
    ASSERT_EQ(ReadSensorFile(path, list, error), TSensorFileRead::Loaded) << error;
    ASSERT_EQ(list.Count(), 3);
    ASSERT_TRUE(WriteSensorFile(dir.File("copy.bin"), list, error)) << error;
    EXPECT_EQ(ReadRaw(dir.File("copy.bin")), bytes);
}

TEST(SensorFile, WriteFailureLeavesTheOldFile) {
    TempFolder dir;
    TSensorBlockList list(true);
    std::string error;
    EXPECT_FALSE(WriteSensorFile(dir.File("no/such/folder/TEDSinfo.bin"), list, error));
    EXPECT_FALSE(error.empty());
}

// ---- The translator's database ---------------------------------------------------------------

class SensorDatabase : public test::TranslatorFixture {
protected:
    void SetUp() override { Create(); }

    static std::unique_ptr<TTEDSBlock> Entry(const std::string& id, uint8_t newFlag = 1) {
        auto e = std::make_unique<TTEDSBlock>();
        e->Rec.Marker = 0;
        e->Rec.NewFlag = newFlag;
        e->Rec.SensorID.SetText(id);
        return e;
    }
    std::vector<std::string> Ids() const {
        std::vector<std::string> out;
        for (int i = 0; i < translator->SensorEntryCount(); ++i)
            out.push_back(translator->GetSensorEntry(i)->Rec.ID());
        return out;
    }
    void Add(const std::string& id) {
        auto e = Entry(id);
        translator->AddSensorEntry(e);
    }

    TempFolder dir;
};

TEST_F(SensorDatabase, AddFindDeleteGet) {
    auto& t = *translator;
    EXPECT_EQ(t.SensorEntryCount(), 0);
    auto b = Entry("BB00000000000000");
    EXPECT_EQ(t.AddSensorEntry(b), 0);
    EXPECT_EQ(b, nullptr); // the list took it
    auto a = Entry("AA00000000000000");
    EXPECT_EQ(t.AddSensorEntry(a), 0);
    EXPECT_EQ(t.GetSensorEntry(0)->Rec.Marker, kSensorRecordMarker);

    // An ID that differs only in case gives the listed entry's index; the caller keeps its own.
    auto dup = Entry("bb00000000000000");
    EXPECT_EQ(t.AddSensorEntry(dup), 1);
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(t.SensorEntryCount(), 2);
    EXPECT_EQ(t.GetSensorEntry(1)->Rec.ID(), "BB00000000000000");

    EXPECT_EQ(t.FindSensorEntry("aa00000000000000"), 0);
    EXPECT_EQ(t.FindSensorEntry("CC00000000000000"), -1);
    EXPECT_EQ(t.GetSensorEntry(-1), nullptr);
    EXPECT_EQ(t.GetSensorEntry(t.SensorEntryCount()), nullptr);
    EXPECT_EQ(t.DeleteSensorEntry("CC00000000000000"), -1);
    EXPECT_EQ(t.SensorEntryCount(), 2);
    EXPECT_EQ(t.DeleteSensorEntry("AA00000000000000"), 0);
    EXPECT_EQ(Ids(), std::vector<std::string>{"BB00000000000000"});
    t.ClearSensorEntries();
    EXPECT_EQ(t.SensorEntryCount(), 0);
}

TEST_F(SensorDatabase, BlankNamesAreRefusedAndChangeNothing) {
    auto& t = *translator;
    Add("AA00000000000000");
    for (const std::string name : {"", "   ", "\t"}) {
        EXPECT_FALSE(t.LoadSensorDatabase(name));
        EXPECT_EQ(t.LastFileError, "Invalid or empty filename!");
        EXPECT_FALSE(t.SaveSensorDatabase(name));
        EXPECT_EQ(t.LastFileError, "Invalid or empty filename!");
    }
    EXPECT_EQ(t.SensorEntryCount(), 1);
}

TEST_F(SensorDatabase, MissingFileLoadsEmpty) {
    auto& t = *translator;
    Add("AA00000000000000");
    EXPECT_TRUE(t.LoadSensorDatabase(dir.File(kSensorDatabaseFileName)));
    EXPECT_EQ(t.LastFileError, "");
    EXPECT_EQ(t.SensorEntryCount(), 0);
}

TEST_F(SensorDatabase, SaveClearsNewFlagsAndLoadGivesTheSameFileBack) {
    auto& t = *translator;
    Add("28123456789ABC4D");
    Add("0000000000000001");
    const std::string path = dir.File(kSensorDatabaseFileName);
    ASSERT_TRUE(t.SaveSensorDatabase(path)) << t.LastFileError;
    for (int i = 0; i < t.SensorEntryCount(); ++i)
        EXPECT_EQ(t.GetSensorEntry(i)->Rec.NewFlag, 0);
    const auto saved = ReadRaw(path);
    ASSERT_EQ(saved.size(), 2 * TSensorRecord::Size);
    EXPECT_EQ(saved[1], 0);
    EXPECT_EQ(saved[TSensorRecord::Size + 1], 0);

    ASSERT_TRUE(t.LoadSensorDatabase(path));
    EXPECT_EQ(Ids(), (std::vector<std::string>{"0000000000000001", "28123456789ABC4D"}));
    ASSERT_TRUE(t.SaveSensorDatabase(path));
    EXPECT_EQ(ReadRaw(path), saved);
}

TEST_F(SensorDatabase, UnmarkedRecordIsDroppedOnTheNextSave) {
    auto& t = *translator;
    const std::string path = dir.File(kSensorDatabaseFileName);
    WriteRaw(path, Join({RawRecord("AA00000000000000", 1), RawRecord("BB00000000000000", 2, 0x42)}));
    ASSERT_TRUE(t.LoadSensorDatabase(path));
    EXPECT_EQ(Ids(), std::vector<std::string>{"AA00000000000000"});
    ASSERT_TRUE(t.SaveSensorDatabase(path));
    EXPECT_EQ(ReadRaw(path), RawRecord("AA00000000000000", 1));
}

TEST_F(SensorDatabase, FailedLoadKeepsTheEntriesAndProtectsTheFile) {
    auto& t = *translator;
    Add("AA00000000000000");
    const std::string path = dir.File(kSensorDatabaseFileName);
    auto damaged = Join({RawRecord("BB00000000000000", 1), std::vector<uint8_t>(17, 0xB8)});
    WriteRaw(path, damaged);

    EXPECT_FALSE(t.LoadSensorDatabase(path));
    EXPECT_NE(t.LastFileError, "");
    EXPECT_EQ(Ids(), std::vector<std::string>{"AA00000000000000"});

    // Saving over the file that could not be read is refused, also through a link to it.
    EXPECT_FALSE(t.SaveSensorDatabase(path));
    EXPECT_NE(t.LastFileError.find("not overwritten"), std::string::npos) << t.LastFileError;
    fs::create_symlink(path, dir.File("link.bin"));
    EXPECT_FALSE(t.SaveSensorDatabase(dir.File("link.bin")));
    // Also through a link to its folder, a relative link and a ".." after a link.
    fs::create_directory(dir.File("sub"));
    fs::create_symlink(fs::path(path).parent_path(), dir.File("sub/folder"));
    fs::create_symlink("..", dir.File("sub/up"));
    for (const char* name : {"sub/folder/", "sub/up/", "sub/folder/sub/../", "sub/up/sub/folder/"}) {
        const std::string through = dir.File(name) + kSensorDatabaseFileName;
        EXPECT_FALSE(t.SaveSensorDatabase(through)) << through;
        EXPECT_NE(t.LastFileError.find("not overwritten"), std::string::npos) << t.LastFileError;
    }
    EXPECT_EQ(ReadRaw(path), damaged);
    // Another file may be written.
    EXPECT_TRUE(t.SaveSensorDatabase(dir.File("other.bin"))) << t.LastFileError;

    // Once a load succeeds the protection ends.
    damaged.resize(TSensorRecord::Size);
    WriteRaw(path, damaged);
    ASSERT_TRUE(t.LoadSensorDatabase(path));
    EXPECT_EQ(Ids(), std::vector<std::string>{"BB00000000000000"});
    EXPECT_TRUE(t.SaveSensorDatabase(path)) << t.LastFileError;
}

TEST_F(SensorDatabase, UnreadableFileFailsAndKeepsTheEntries) {
    auto& t = *translator;
    Add("AA00000000000000");
    fs::create_directory(dir.File("folder"));
    EXPECT_FALSE(t.LoadSensorDatabase(dir.File("folder")));
    EXPECT_EQ(t.SensorEntryCount(), 1);
    EXPECT_FALSE(t.SaveSensorDatabase(dir.File("folder")));
}

TEST_F(SensorDatabase, FailedSaveKeepsTheNewFlags) {
    auto& t = *translator;
    Add("AA00000000000000");
    EXPECT_FALSE(t.SaveSensorDatabase(dir.File("missing/folder/x.bin")));
    EXPECT_NE(t.LastFileError, "");
    EXPECT_EQ(t.GetSensorEntry(0)->Rec.NewFlag, 1);
}

} // namespace
} // namespace qrb::model
