// The USB transport over the real Linux disk layer, with regular files in /var/tmp standing in
// for disks: what lands in the file is checked byte for byte.
#include "device/usb/DiskLayer.h"
#include "device/usb/USBTransport.h"

#include "tests/support/FakeDisk.h"
#include "tests/support/VirtualMainLoop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace qrb::device {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFileSize = 512 * 1024;
constexpr const char* kIdentity = "QRB     QRB-730         0313";

std::vector<uint8_t> Pattern() {
    std::vector<uint8_t> v(kFileSize);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<uint8_t>(i * 13 + 5);
    return v;
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t o) {
    return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | static_cast<uint32_t>(b[o + 3]) << 24;
}

class FileDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/var/tmp/qrb-usbfile-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        fs::create_directories(root_ / "sys" / "block");
        fs::create_directories(root_ / "dev");
        // Skip where the file system refuses O_DIRECT.
        WriteFile(root_ / "probe", Pattern());
        auto probe = OpenLinuxRawDisk((root_ / "probe").string(), "probe", 512);
        if (!probe.Disk) GTEST_SKIP() << "O_DIRECT refused here: " << probe.ErrorText;
        std::array<uint8_t, 2048> frame{};
        const TDiskTransfer t = probe.Disk->WriteAt(kCommunicationSectorOffset, frame);
        if (!t.Ok) GTEST_SKIP() << "O_DIRECT refused here: " << t.ErrorText;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path root_;
};

// Both files fail the device's own INQUIRY (a regular file answers no SG_IO), so neither may be
// written, whatever the kernel's copy says.
TEST_F(FileDiskTest, LinuxLayerNeverWritesADiskWhoseInquiryFails) {
    const auto pattern = Pattern();
    std::vector<uint8_t> inquiry(96, 0);
    std::copy_n(kIdentity, 28, inquiry.begin() + 8);
    std::vector<uint8_t> foreign(96, 0);
    std::copy_n("ATA     Samsung SSD 870 2B6Q", 28, foreign.begin() + 8);
    WriteFile(root_ / "sys/block/sda/device/inquiry", inquiry);
    WriteFile(root_ / "sys/block/sda/queue/logical_block_size", {'5', '1', '2', '\n'});
    WriteFile(root_ / "sys/block/sdb/device/inquiry", foreign);
    WriteFile(root_ / "sys/block/sdb/queue/logical_block_size", {'5', '1', '2', '\n'});
    WriteFile(root_ / "dev/sda", pattern);
    WriteFile(root_ / "dev/sdb", pattern);

    test::TInstalledVirtualMainLoop loop;
    TI2CUSBControl usb(
        std::make_unique<TLinuxDiskEnumerator>((root_ / "sys").string(), (root_ / "dev").string()));
    std::vector<std::string> logs;
    usb.OnLog = [&](const void*, const std::string& t) { logs.push_back(t); };
    EXPECT_TRUE(usb.Scan());
    EXPECT_EQ(usb.MasterCount(), 0);
    EXPECT_EQ(logs, (std::vector<std::string>{"[USB] device status: 0 device(s) found"}));
    EXPECT_EQ(ReadFile(root_ / "dev/sda"), pattern);
    EXPECT_EQ(ReadFile(root_ / "dev/sdb"), pattern);
}

// A file on the real layer that answers as an amplifier: after every frame the transport wrote
// through O_DIRECT, the test reads the file as it now is, checks it, and puts the reply there
// with a second O_DIRECT handle, as the device would.
class TFileAmplifierDisk : public IRawDisk {
public:
    TFileAmplifierDisk(fs::path file, std::unique_ptr<IRawDisk> io, std::unique_ptr<IRawDisk> device)
        : file_(std::move(file)), io_(std::move(io)), device_(std::move(device)), pristine_(ReadFile(file_)) {
    }

    const std::string& Name() const override { return io_->Name(); }
    bool Inquiry(std::vector<uint8_t>& data, std::string&) override {
        data.assign(96, 0);
        std::copy_n(kIdentity, 28, data.begin() + 8);
        return true;
    }
    uint32_t LogicalBlockSize() override { return io_->LogicalBlockSize(); }
    bool Seek(uint64_t offset, std::string& errorText) override { return io_->Seek(offset, errorText); }

    TDiskTransfer WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
        const TDiskTransfer t = io_->WriteAt(offset, data);
        if (!t.Ok) return t;
        const std::vector<uint8_t> now = ReadFile(file_);
        EXPECT_EQ(now.size(), pristine_.size());
        for (size_t i = 0; i < now.size(); ++i) {
            const bool inFrame = i >= kCommunicationSectorOffset && i < kCommunicationSectorOffset + 2048;
            if (inFrame && now[i] != data[i - kCommunicationSectorOffset]) {
                ADD_FAILURE() << "frame byte " << i - kCommunicationSectorOffset << " differs in the file";
                break;
            }
            if (!inFrame && now[i] != pristine_[i]) {
                ADD_FAILURE() << "byte " << i << " outside the sector changed";
                break;
            }
        }
        FramesSeen.emplace_back(now.begin() + kCommunicationSectorOffset,
                                now.begin() + kCommunicationSectorOffset + 2048);
        // The device's view: what the file holds, not what the transport meant to write.
        Brain.Write(kCommunicationSectorOffset, FramesSeen.back());
        EXPECT_TRUE(device_->WriteAt(kCommunicationSectorOffset, Brain.Sector).Ok);
        return t;
    }
    TDiskTransfer ReadAt(uint64_t offset, std::span<uint8_t> data) override {
        return io_->ReadAt(offset, data);
    }

    test::TFakeDisk Brain;
    std::vector<std::vector<uint8_t>> FramesSeen;

private:
    fs::path file_;
    std::unique_ptr<IRawDisk> io_;
    std::unique_ptr<IRawDisk> device_;
    std::vector<uint8_t> pristine_;
};

class TOneFileDisk : public IDiskEnumerator {
public:
    explicit TOneFileDisk(fs::path file) : file_(std::move(file)) {}
    std::vector<TDiskEntry> ListDisks() override {
        std::vector<uint8_t> inquiry(96, 0);
        std::copy_n(kIdentity, 28, inquiry.begin() + 8);
        return {TDiskEntry{"sdq", inquiry}};
    }
    TDiskOpenResult Open(const TDiskEntry&) override {
        auto io = OpenLinuxRawDisk(file_.string(), "sdq", 512);
        auto device = OpenLinuxRawDisk(file_.string(), "device", 512);
        TDiskOpenResult r;
        if (!io.Disk || !device.Disk) {
            r.Error = TDiskOpenError::Other;
            return r;
        }
        auto disk = std::make_unique<TFileAmplifierDisk>(file_, std::move(io.Disk), std::move(device.Disk));
        Last = disk.get();
        r.Disk = std::move(disk);
        return r;
    }
    TFileAmplifierDisk* Last = nullptr;

private:
    fs::path file_;
};

TEST_F(FileDiskTest, FramesLandByteForByteAtTheCommunicationSector) {
    const fs::path file = root_ / "dev/sdq";
    const auto pattern = Pattern();
    WriteFile(file, pattern);
    auto enumerator = std::make_unique<TOneFileDisk>(file);
    TOneFileDisk* disks = enumerator.get();

    test::TInstalledVirtualMainLoop loop;
    TI2CUSBControl usb(std::move(enumerator));
    ASSERT_TRUE(usb.Scan());
    ASSERT_EQ(usb.MasterCount(), 1);
    TFileAmplifierDisk& disk = *disks->Last;
    disk.Brain.Responder = [](std::span<const uint8_t> request) {
        std::vector<uint8_t> answer(request.begin(), request.end());
        std::fill(answer.begin() + 28, answer.end(), 0);
        answer[16] = 0x02;     // Direction 0x02020402
        answer[28] = 36;       // PayloadLength
        answer[36 + 8] = 0xD2; // FanRpm 1234
        answer[36 + 9] = 0x04;
        return answer;
    };

    TDeviceInfo info;
    EXPECT_EQ(usb.GetDeviceInfo(0, info), TI2CResult::irOK);
    EXPECT_EQ(info.FanRpm, 1234);

    ASSERT_EQ(disk.FramesSeen.size(), 2u);
    EXPECT_EQ(Le32(disk.FramesSeen[0], 0), 15001u);
    EXPECT_EQ(Le32(disk.FramesSeen[0], 4), 8u);
    EXPECT_EQ(Le32(disk.FramesSeen[1], 0), 15000u);
    EXPECT_EQ(Le32(disk.FramesSeen[1], 4), 1432u);
    EXPECT_EQ(Le32(disk.FramesSeen[1], 8), 1000000u);
    EXPECT_TRUE(disk.Brain.Violations.empty()) << disk.Brain.Violations.front();

    // Everything outside the sector is as it was.
    const auto after = ReadFile(file);
    ASSERT_EQ(after.size(), pattern.size());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + kCommunicationSectorOffset, pattern.begin()));
    EXPECT_TRUE(std::equal(after.begin() + kCommunicationSectorOffset + 2048, after.end(),
                           pattern.begin() + kCommunicationSectorOffset + 2048));
}

} // namespace
} // namespace qrb::device
