// The Linux raw-disk layer against a sysfs tree and regular files of the test's own; no real
// disk is ever opened.
#include "device/usb/DiskLayer.h"
#include "device/usb/SectorFrame.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qrb::device {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFileSize = 512 * 1024;

class DiskLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/var/tmp/qrb-disklayer-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        sysfs_ = root_ / "sys";
        dev_ = root_ / "dev";
        fs::create_directories(sysfs_ / "block");
        fs::create_directories(dev_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    static void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
        fs::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::vector<uint8_t> ReadFile(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static std::vector<uint8_t> Text(std::string_view s) { return {s.begin(), s.end()}; }

    // A sysfs disk entry; inquiry and block size files only when given.
    void AddSysfsDisk(const std::string& name, const std::vector<uint8_t>* inquiry, const char* blockSize) {
        fs::create_directories(sysfs_ / "block" / name / "device");
        if (inquiry) WriteFile(sysfs_ / "block" / name / "device" / "inquiry", *inquiry);
        if (blockSize) WriteFile(sysfs_ / "block" / name / "queue" / "logical_block_size", Text(blockSize));
    }

    // A device node stand-in: a file filled with a position-dependent pattern.
    fs::path AddDiskFile(const std::string& name) {
        std::vector<uint8_t> content(kFileSize);
        for (size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<uint8_t>(i * 7 + 3);
        WriteFile(dev_ / name, content);
        return dev_ / name;
    }

    TLinuxDiskEnumerator Enumerator() const { return TLinuxDiskEnumerator(sysfs_.string(), dev_.string()); }

    fs::path root_, sysfs_, dev_;
};

TEST(DiskNames, ScsiDiskNamesOnly) {
    struct Case {
        const char* name;
        bool disk;
    };
    const Case cases[] = {{"sda", true},    {"sdaa", true},     {"sdzz", true}, {"sd", false},
                          {"sda1", false},  {"sdA", false},     {"sr0", false}, {"vda", false},
                          {"loop0", false}, {"nvme0n1", false}, {"", false},    {"sd-a", false}};
    for (const Case& c : cases)
        EXPECT_EQ(IsScsiDiskName(c.name), c.disk) << c.name;
}

TEST(DiskNames, ClassifiesOpenFailures) {
    struct Case {
        int err;
        TDiskOpenError kind;
    };
    const Case cases[] = {{EACCES, TDiskOpenError::Permission}, {EPERM, TDiskOpenError::Permission},
                          {EROFS, TDiskOpenError::Other},       {ENOENT, TDiskOpenError::NotFound},
                          {ENXIO, TDiskOpenError::NotFound},    {ENOMEDIUM, TDiskOpenError::NotFound},
                          {EBUSY, TDiskOpenError::Other},       {EIO, TDiskOpenError::Other}};
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyOpenErrno(c.err), c.kind) << c.err;
}

TEST_F(DiskLayerTest, ListsScsiDisksInKernelNameOrder) {
    for (const char* name : {"sdab", "sdb", "sdaa", "sda", "sdz", "sr0", "loop1", "vda", "nvme0n1"})
        AddSysfsDisk(name, nullptr, nullptr);
    std::vector<std::string> names;
    for (const TDiskEntry& e : Enumerator().ListDisks())
        names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"sda", "sdb", "sdz", "sdaa", "sdab"}));
}

TEST_F(DiskLayerTest, CachedInquiryIsTheRawAttributeBytes) {
    std::vector<uint8_t> raw(96, 0);
    const std::string id = "QRB     QRB-730         0313";
    std::copy(id.begin(), id.end(), raw.begin() + 8);
    raw[2] = 0x06;
    raw[95] = 0xFF;
    AddSysfsDisk("sda", &raw, nullptr);
    AddSysfsDisk("sdb", nullptr, nullptr); // no attribute: nothing to match
    const auto disks = Enumerator().ListDisks();
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].CachedInquiry, raw);
    EXPECT_TRUE(IsQRB730Identity(disks[0].CachedInquiry));
    EXPECT_TRUE(disks[1].CachedInquiry.empty());
}

TEST_F(DiskLayerTest, OversizedInquiryAttributeIsIgnored) {
    std::vector<uint8_t> huge(5000, 'Q');
    AddSysfsDisk("sda", &huge, nullptr);
    const auto disks = Enumerator().ListDisks();
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_TRUE(disks[0].CachedInquiry.empty());
}

TEST_F(DiskLayerTest, MissingBlockDirectoryListsNothing) {
    fs::remove_all(sysfs_ / "block");
    EXPECT_TRUE(Enumerator().ListDisks().empty());
}

TEST_F(DiskLayerTest, OpenTakesBlockSizeFromSysfs) {
    struct Case {
        const char* attribute;
        uint32_t size;
    };
    const Case cases[] = {{"512\n", 512}, {"4096\n", 4096}, {"2048", 2048}, {"abc\n", 0}, {"", 0}};
    for (const Case& c : cases) {
        AddSysfsDisk("sda", nullptr, c.attribute);
        AddDiskFile("sda");
        auto r = Enumerator().Open(TDiskEntry{"sda", {}});
        ASSERT_EQ(r.Error, TDiskOpenError::None) << r.ErrorText;
        ASSERT_TRUE(r.Disk);
        EXPECT_EQ(r.Disk->LogicalBlockSize(), c.size) << c.attribute;
        EXPECT_EQ(r.Disk->Name(), "sda");
    }
}

TEST_F(DiskLayerTest, OpenOfAMissingNodeIsNotFound) {
    AddSysfsDisk("sdc", nullptr, "512\n");
    auto r = Enumerator().Open(TDiskEntry{"sdc", {}});
    EXPECT_EQ(r.Error, TDiskOpenError::NotFound);
    EXPECT_FALSE(r.Disk);
    EXPECT_FALSE(r.ErrorText.empty());
}

TEST_F(DiskLayerTest, OpenRefusesNamesOutsideTheDevRoot) {
    auto r = Enumerator().Open(TDiskEntry{"../sys", {}});
    EXPECT_NE(r.Error, TDiskOpenError::None);
    EXPECT_FALSE(r.Disk);
}

TEST_F(DiskLayerTest, OpenWithoutAccessIsPermission) {
    if (::geteuid() == 0) GTEST_SKIP() << "root is not refused by file modes";
    AddSysfsDisk("sda", nullptr, "512\n");
    const fs::path file = AddDiskFile("sda");
    ::chmod(file.c_str(), 0);
    auto r = Enumerator().Open(TDiskEntry{"sda", {}});
    EXPECT_EQ(r.Error, TDiskOpenError::Permission);
}

TEST_F(DiskLayerTest, RegularFileNeverPassesAnInquiry) {
    AddSysfsDisk("sda", nullptr, "512\n");
    AddDiskFile("sda");
    auto r = Enumerator().Open(TDiskEntry{"sda", {}});
    ASSERT_TRUE(r.Disk);
    std::vector<uint8_t> data;
    std::string error;
    EXPECT_FALSE(r.Disk->Inquiry(data, error));
    EXPECT_FALSE(error.empty());
}

// O_DIRECT frames on a regular file: the frame lands at 256000 and nothing else changes.
TEST_F(DiskLayerTest, FrameWrittenAtCommunicationSectorOnly) {
    AddSysfsDisk("sdb", nullptr, "512\n");
    const fs::path file = AddDiskFile("sdb");
    const std::vector<uint8_t> before = ReadFile(file);

    auto r = Enumerator().Open(TDiskEntry{"sdb", {}});
    if (r.Error != TDiskOpenError::None) GTEST_SKIP() << "O_DIRECT refused here: " << r.ErrorText;
    std::vector<uint8_t> payload(1432);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(255 - i % 251);
    TSectorBytes frame{};
    ASSERT_TRUE(BuildSectorFrame(kFrameTypeCommand, kCommandFrameTimeout, payload, frame));

    const TDiskTransfer w = r.Disk->WriteAt(kCommunicationSectorOffset, frame);
    if (!w.Ok && w.ErrorText == SystemErrorText(EINVAL))
        GTEST_SKIP() << "O_DIRECT refused by the file system";
    ASSERT_TRUE(w.Ok) << w.ErrorText;
    EXPECT_EQ(w.Count, kSectorFrameSize);

    const std::vector<uint8_t> after = ReadFile(file);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        if (i >= kCommunicationSectorOffset && i < kCommunicationSectorOffset + kSectorFrameSize)
            ASSERT_EQ(after[i], frame[i - kCommunicationSectorOffset]) << i;
        else
            ASSERT_EQ(after[i], before[i]) << i;
    }
}

// A reply put into the sector by someone else is what the next read returns.
TEST_F(DiskLayerTest, ReadReturnsTheSectorAsItIsNow) {
    AddSysfsDisk("sdb", nullptr, "512\n");
    const fs::path file = AddDiskFile("sdb");
    auto mine = Enumerator().Open(TDiskEntry{"sdb", {}});
    auto device = Enumerator().Open(TDiskEntry{"sdb", {}});
    if (!mine.Disk || !device.Disk) GTEST_SKIP() << "O_DIRECT refused here";

    TSectorBytes request{}, reply{};
    ASSERT_TRUE(BuildSectorFrame(kFrameTypeInfo, kInfoFrameTimeout, std::vector<uint8_t>(8, 1), request));
    ASSERT_TRUE(BuildSectorFrame(kFrameTypeInfo, kInfoFrameTimeout, std::vector<uint8_t>(76, 2), reply));
    const TDiskTransfer w = mine.Disk->WriteAt(kCommunicationSectorOffset, request);
    if (!w.Ok) GTEST_SKIP() << "O_DIRECT refused here: " << w.ErrorText;
    ASSERT_TRUE(device.Disk->WriteAt(kCommunicationSectorOffset, reply).Ok);

    TSectorBytes got;
    got.fill(0xCC);
    const TDiskTransfer rd = mine.Disk->ReadAt(kCommunicationSectorOffset, got);
    ASSERT_TRUE(rd.Ok) << rd.ErrorText;
    EXPECT_EQ(rd.Count, kSectorFrameSize);
    EXPECT_EQ(got, reply);
}

TEST_F(DiskLayerTest, ReadAtTheEndIsShort) {
    AddSysfsDisk("sdb", nullptr, "512\n");
    AddDiskFile("sdb");
    auto r = Enumerator().Open(TDiskEntry{"sdb", {}});
    if (!r.Disk) GTEST_SKIP() << "O_DIRECT refused here";
    TSectorBytes got{};
    const TDiskTransfer rd = r.Disk->ReadAt(kFileSize - 1024, got);
    if (!rd.Ok) GTEST_SKIP() << "O_DIRECT refused here: " << rd.ErrorText;
    EXPECT_EQ(rd.Count, 1024u);
}

TEST_F(DiskLayerTest, TransfersOffTheBlockGridAreRefusedUntouched) {
    AddSysfsDisk("sdb", nullptr, "4096\n");
    const fs::path file = AddDiskFile("sdb");
    const std::vector<uint8_t> before = ReadFile(file);
    auto r = Enumerator().Open(TDiskEntry{"sdb", {}});
    ASSERT_TRUE(r.Disk) << r.ErrorText;
    TSectorBytes frame{};
    frame.fill(0x42);
    // 256000 is not a multiple of 4096, and 2048 bytes are half a block.
    EXPECT_FALSE(r.Disk->WriteAt(kCommunicationSectorOffset, frame).Ok);
    EXPECT_FALSE(r.Disk->ReadAt(kCommunicationSectorOffset, frame).Ok);
    EXPECT_EQ(ReadFile(file), before);
}

TEST_F(DiskLayerTest, UnknownBlockSizeRefusesTransfers) {
    AddSysfsDisk("sdb", nullptr, nullptr);
    const fs::path file = AddDiskFile("sdb");
    auto r = Enumerator().Open(TDiskEntry{"sdb", {}});
    ASSERT_TRUE(r.Disk) << r.ErrorText;
    EXPECT_EQ(r.Disk->LogicalBlockSize(), 0u);
    TSectorBytes frame{};
    EXPECT_FALSE(r.Disk->WriteAt(kCommunicationSectorOffset, frame).Ok);
}

TEST(SystemDiskEnumerator, ListsNothingUnderTheTestRunner) {
    if (std::getenv("QRB_TEST_BINARY_DIR") == nullptr) ::setenv("QRB_TEST_BINARY_DIR", "/nonexistent", 1);
    auto e = MakeSystemDiskEnumerator();
    EXPECT_TRUE(e->ListDisks().empty());
    EXPECT_NE(e->Open(TDiskEntry{"sda", {}}).Error, TDiskOpenError::None);
}

} // namespace
} // namespace qrb::device
