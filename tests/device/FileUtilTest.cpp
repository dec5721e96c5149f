#include "device/FileUtil.h"
#include "tests/support/Unprivileged.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace qrb::device;
namespace fs = std::filesystem;

namespace {

class FileUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* base = std::getenv("QRB_TEST_BINARY_DIR");
        std::string pattern = std::string(base ? base : "/var/tmp") + "/qrb-fileutil-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        oldMask_ = ::umask(022);
    }
    void TearDown() override {
        ::umask(oldMask_);
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    static std::string Read(const std::string& path) {
        std::string bytes, error;
        EXPECT_TRUE(ReadFileBytes(path, bytes, error)) << error;
        return bytes;
    }

    static mode_t Mode(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_mode & 07777;
    }

    // Names in the folder, so that a left-over temporary file shows.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
    mode_t oldMask_ = 0;
};

} // namespace

TEST_F(FileUtilTest, WritesNewAndReplacesExistingFiles) {
    std::string error;
    const std::string p = Path("setup.qrb");
    const std::string bytes("a\0b\r\n\xFF", 6);
    ASSERT_TRUE(WriteFileAtomic(p, bytes, error)) << error;
    EXPECT_EQ(Read(p), bytes);
    EXPECT_EQ(Mode(p), 0644u); // 0666 less the umask
    ASSERT_TRUE(WriteFileAtomic(p, std::string_view("second"), error)) << error;
    EXPECT_EQ(Read(p), "second");
    ASSERT_TRUE(WriteFileAtomic(p, std::string_view(), error)) << error;
    EXPECT_EQ(Read(p), "");
    const std::vector<uint8_t> raw = {0, 1, 2, 250};
    ASSERT_TRUE(WriteFileAtomic(p, std::span<const uint8_t>(raw), error)) << error;
    std::vector<uint8_t> back;
    ASSERT_TRUE(ReadFileBytes(p, back, error)) << error;
    EXPECT_EQ(back, raw);
    EXPECT_EQ(Names(), std::vector<std::string>{"setup.qrb"});
}

TEST_F(FileUtilTest, KeepsTheModeOfTheExistingFile) {
    std::string error;
    const std::string p = Path("Ondrix.ini");
    ASSERT_TRUE(WriteFileAtomic(p, std::string_view("old"), error));
    ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomic(p, std::string_view("new"), error)) << error;
    EXPECT_EQ(Mode(p), 0640u);
    EXPECT_EQ(Read(p), "new");
}

TEST_F(FileUtilTest, ReplacesTheTargetOfALinkAndKeepsTheLink) {
    std::string error;
    fs::create_directory(dir_ / "real");
    const std::string target = Path("real/data.txt");
    ASSERT_TRUE(WriteFileAtomic(target, std::string_view("old"), error));
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    // link1 -> link2 (relative) -> real/data.txt (relative to link2's folder)
    fs::create_symlink("real/data.txt", dir_ / "link2");
    fs::create_symlink("link2", dir_ / "link1");
    ASSERT_TRUE(WriteFileAtomic(Path("link1"), std::string_view("new"), error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir_ / "link1"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link2"));
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(Mode(target), 0600u);
    EXPECT_EQ((std::vector<std::string>{"data.txt"}), [&] {
        std::vector<std::string> n;
        for (const auto& e : fs::directory_iterator(dir_ / "real"))
            n.push_back(e.path().filename().string());
        return n;
    }());

    // A dangling link gets its target created.
    fs::create_symlink("real/created.txt", dir_ / "dangling");
    ASSERT_TRUE(WriteFileAtomic(Path("dangling"), std::string_view("x"), error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling"));
    EXPECT_EQ(Read(Path("real/created.txt")), "x");

    TPathWalk walk;
    ASSERT_TRUE(walk.Walk(Path("link1"), error)) << error;
    EXPECT_EQ(walk.PhysicalPath(), fs::canonical(target).string());
}

// Anyone may put a link into a sticky folder everyone can write to (as /tmp): there a save
// follows only a link of the user or of the folder's owner, as root and as nobody, whatever
// fs.protected_symlinks holds; a refused one names the file and writes nothing.
TEST_F(FileUtilTest, ALinkInASharedFolderIsFollowedOnlyWhenTheUserOrTheFoldersOwnerMadeIt) {
    constexpr const char* kFixtureVariable = "QRB_TEST_SHARED_LINKS";
    constexpr uid_t kOther = 4321;
    const passwd* nobodyEntry = ::getpwnam("nobody");
    const uid_t nobody = nobodyEntry != nullptr ? nobodyEntry->pw_uid : 65534;
    enum TOwner { oRoot, oNobody, oOther };
    const auto uidOf = [&](TOwner o) { return o == oRoot ? uid_t(0) : o == oNobody ? nobody : kOther; };
    const struct {
        const char* Name;
        mode_t Mode;
        TOwner Owner;
    } folders[] = {
        {"share", 01777, oRoot},  // as /tmp
        {"owned", 01777, oOther}, // another user's shared folder
        {"plain", 0777, oOther},  // no sticky bit: anyone may replace anything, the link rule has no say
        {"closed", 01755, oOther},
    };
    const struct {
        const char* Folder;
        const char* Link;
        TOwner Owner;
        bool RootFollows, NobodyFollows;
    } cases[] = {
        {"share", "root", oRoot, true, true}, // the folder's owner
        {"share", "nobody", oNobody, false, true}, {"share", "other", oOther, false, false},
        {"owned", "other", oOther, true, true},    {"owned", "root", oRoot, true, false},
        {"owned", "nobody", oNobody, false, true}, {"plain", "other", oOther, true, true},
        {"closed", "other", oOther, true, true},
    };

    std::string fixture;
    if (::geteuid() == 0) {
        // Root makes the links of every owner once; nobody then runs the same cases on them.
        fixture = "/tmp/qrb-links-XXXXXX";
        ASSERT_NE(::mkdtemp(fixture.data()), nullptr);
        ASSERT_EQ(::chmod(fixture.c_str(), 0755), 0);
        fs::create_directory(fixture + "/victims");
        ASSERT_EQ(::chmod((fixture + "/victims").c_str(), 0777), 0);
        for (const auto& f : folders) {
            const std::string path = fixture + "/" + f.Name;
            fs::create_directory(path);
            ASSERT_EQ(::chmod(path.c_str(), f.Mode), 0);
            ASSERT_EQ(::chown(path.c_str(), uidOf(f.Owner), uidOf(f.Owner)), 0);
        }
        for (const auto& c : cases) {
            const std::string link = fixture + "/" + c.Folder + "/" + c.Link;
            fs::create_symlink(std::string("../victims/") + c.Folder + "-" + c.Link, link);
            ASSERT_EQ(::lchown(link.c_str(), uidOf(c.Owner), uidOf(c.Owner)), 0);
        }
        ASSERT_EQ(::setenv(kFixtureVariable, fixture.c_str(), 1), 0);
        qrb::test::RerunAsNobody();
        ::unsetenv(kFixtureVariable);
    } else if (const char* named = std::getenv(kFixtureVariable)) {
        fixture = named;
    } else {
        GTEST_SKIP() << "only root can make the links of other users";
    }
    const bool asRoot = ::geteuid() == 0;
    const auto victimNames = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(fixture + "/victims"))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto check = [&](const std::string& path, const std::string& victim, bool follows) {
        SCOPED_TRACE(path);
        fs::remove(victim);
        ASSERT_TRUE(std::ofstream(victim) << "old");
        ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
        const std::vector<std::string> before = victimNames();
        std::string error;
        errno = 0;
        const bool written = WriteFileAtomic(path, std::string_view("new"), error);
        const int err = errno;
        EXPECT_EQ(written, follows) << error;
        EXPECT_TRUE(fs::is_symlink(path));
        EXPECT_EQ(victimNames(), before); // no temporary file left, nothing new
        if (follows) {
            EXPECT_EQ(Read(victim), "new");
            return;
        }
        EXPECT_EQ(Read(victim), "old");
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(err, EACCES) << "callers that report the error code show this one";
    };
    for (const auto& c : cases)
        check(fixture + "/" + c.Folder + "/" + c.Link, fixture + "/victims/" + c.Folder + "-" + c.Link,
              asRoot ? c.RootFollows : c.NobodyFollows);
    // Each step of a chain counts: the user's own link leads to one of another user there.
    fs::create_symlink(fixture + "/share/other", dir_ / "to-other");
    check(Path("to-other"), fixture + "/victims/share-other", false);
    fs::create_symlink(fixture + "/owned/other", dir_ / "to-owners");
    check(Path("to-owners"), fixture + "/victims/owned-other", true);

    if (asRoot) {
        std::error_code ec;
        fs::remove_all(fixture, ec);
    }
}

namespace {

// Where a link stands on the path of a save, the folder it lies in and who made it. Root makes the
// fixture for a user (root itself, or nobody) in a folder of its own under /tmp, so that nobody
// may reach it: the user's private folder "victim" holds s.xml and sub/s.xml, "mine" holds the
// user's own first links of the chains, and every folder kind holds one link of each position and
// maker.
constexpr uid_t kFolderOwner = 4321;
constexpr uid_t kOtherUser = 4322;

struct TLinkFolder {
    const char* Name;
    mode_t Mode;
    bool UsersOwn; // else kFolderOwner's
};
constexpr TLinkFolder kLinkFolders[] = {
    {"sticky", 01777, false}, // as /tmp
    {"open", 0777, false},    // no sticky bit: anyone may replace anything, the link rule has no say
    {"private", 0700, true},
    {"search", 0711, false}, // searchable but not readable for the user, as a home folder
};

enum TMaker { mUser, mOwner, mOther };
constexpr const char* kMakerNames[] = {"user", "owner", "other"};

enum TPosition { pLast, pMiddle, pFolder, pChain, pRelative, pDotDot };
constexpr const char* kPositionNames[] = {"last", "middle", "folder", "chain", "relative", "dotdot"};

uid_t MakerUid(TMaker maker, const TLinkFolder& folder, uid_t user) {
    if (maker == mUser) return user;
    if (maker == mOther) return kOtherUser;
    return folder.UsersOwn ? user : kFolderOwner;
}

std::string LinkName(TPosition position, TMaker maker) {
    return std::string(kPositionNames[position]) + "-" + kMakerNames[maker];
}

// The path a save takes, and the file of victim it reaches when every link is followed.
struct TLinkCase {
    std::string Link, Save, Reaches;
};
TLinkCase LinkCase(const std::string& root, const TLinkFolder& folder, TPosition position, TMaker maker) {
    const std::string link = root + "/" + folder.Name + "/" + LinkName(position, maker);
    switch (position) {
    case pLast:
        return {link, link, root + "/victim/s.xml"};
    case pMiddle:
        return {link, link + "/sub/s.xml", root + "/victim/sub/s.xml"};
    case pFolder:
    case pRelative:
        return {link, link + "/s.xml", root + "/victim/sub/s.xml"};
    case pChain:
        return {link, root + "/mine/" + folder.Name + "-" + LinkName(position, maker) + "/s.xml",
                root + "/victim/sub/s.xml"};
    case pDotDot:
        return {link, link + "/../s.xml", root + "/victim/s.xml"};
    }
    return {};
}

void MakeLinkFixture(const std::string& root, uid_t user) {
    namespace fs = std::filesystem;
    ASSERT_EQ(::chmod(root.c_str(), 0755), 0);
    const auto folder = [&](const std::string& path, mode_t mode, uid_t owner) {
        fs::create_directory(path);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_EQ(::chown(path.c_str(), owner, owner), 0);
    };
    const auto link = [&](const std::string& target, const std::string& path, uid_t owner) {
        fs::create_symlink(target, path);
        ASSERT_EQ(::lchown(path.c_str(), owner, owner), 0);
    };
    folder(root + "/victim", 0700, user);
    folder(root + "/victim/sub", 0700, user);
    folder(root + "/mine", 0755, user);
    for (const TLinkFolder& f : kLinkFolders) {
        folder(root + "/" + f.Name, 0755, f.UsersOwn ? user : kFolderOwner);
        for (TMaker maker : {mUser, mOwner, mOther}) {
            const uid_t uid = MakerUid(maker, f, user);
            const auto at = [&](TPosition p) { return LinkCase(root, f, p, maker).Link; };
            link(root + "/victim/s.xml", at(pLast), uid);
            link(root + "/victim", at(pMiddle), uid);
            link(root + "/victim/sub", at(pFolder), uid);
            link(root + "/victim/sub", at(pChain), uid);
            link("../victim/sub", at(pRelative), uid);
            link(root + "/victim/sub", at(pDotDot), uid);
            link(at(pChain), root + "/mine/" + f.Name + "-" + LinkName(pChain, maker), user);
        }
        ASSERT_EQ(::chmod((root + "/" + f.Name).c_str(), f.Mode), 0);
    }
}

} // namespace

// Every name of a path is judged, not only the last: a link anywhere on it is followed only where
// the protected_symlinks rule allows (in a sticky folder everyone can write to, only the user's or
// the folder's owner's link), as root and as nobody. A refused save names the link, leaves errno
// EACCES and writes nothing anywhere.
TEST_F(FileUtilTest, ALinkAtAnyNameOfThePathIsFollowedOnlyWhereTheLinkRuleAllows) {
    namespace fs = std::filesystem;
    constexpr const char* kFixtureVariable = "QRB_TEST_WALK_LINKS";
    std::string root;
    std::string nobodysRoot;
    if (::geteuid() == 0) {
        const passwd* nobodyEntry = ::getpwnam("nobody");
        const uid_t nobody = nobodyEntry != nullptr ? nobodyEntry->pw_uid : 65534;
        for (auto [path, uid] : {std::pair{&root, uid_t(0)}, std::pair{&nobodysRoot, nobody}}) {
            std::string pattern = "/tmp/qrb-walk-XXXXXX";
            ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
            *path = fs::canonical(pattern).string();
            MakeLinkFixture(*path, uid);
        }
    } else if (const char* named = std::getenv(kFixtureVariable)) {
        root = named;
    } else {
        GTEST_SKIP() << "only root can make the links of other users";
    }
    const auto put = [](const std::string& path, const char* text) {
        ASSERT_TRUE(std::ofstream(path, std::ios::trunc) << text) << path;
        ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    };
    const auto names = [](const std::string& folder) {
        std::vector<std::string> n;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec))
            n.push_back(e.path().filename().string());
        std::sort(n.begin(), n.end());
        return n;
    };
    int followed = 0, refused = 0;
    for (const TLinkFolder& f : kLinkFolders)
        for (TPosition position : {pLast, pMiddle, pFolder, pChain, pRelative, pDotDot})
            for (TMaker maker : {mUser, mOwner, mOther}) {
                const TLinkCase c = LinkCase(root, f, position, maker);
                SCOPED_TRACE(c.Save);
                put(root + "/victim/s.xml", "old");
                put(root + "/victim/sub/s.xml", "old");
                const auto victimBefore = names(root + "/victim");
                const auto subBefore = names(root + "/victim/sub");
                const bool follows = !(std::string(f.Name) == "sticky" && maker == mOther);
                std::string error;
                errno = 0;
                const bool written = WriteFileAtomic(c.Save, std::string_view("new"), error);
                const int err = errno;
                EXPECT_EQ(written, follows) << error;
                EXPECT_TRUE(fs::is_symlink(c.Link));
                EXPECT_EQ(names(root + "/victim"), victimBefore);
                EXPECT_EQ(names(root + "/victim/sub"), subBefore);
                // ".." was not taken by the name: nothing beside the link.
                EXPECT_FALSE(fs::exists(root + "/" + f.Name + "/s.xml"));
                for (const std::string& file : {root + "/victim/s.xml", root + "/victim/sub/s.xml"})
                    EXPECT_EQ(Read(file), follows && file == c.Reaches ? "new" : "old") << file;
                EXPECT_EQ(Mode(c.Reaches), 0600u);
                if (follows) {
                    ++followed;
                    continue;
                }
                ++refused;
                EXPECT_NE(error.find(c.Save), std::string::npos) << error;
                EXPECT_NE(error.find("the link " + c.Link + " "), std::string::npos) << error;
                EXPECT_EQ(err, EACCES) << "callers that report the error code show this one";
            }
    EXPECT_EQ(followed, 66);
    EXPECT_EQ(refused, 6);

    if (!nobodysRoot.empty()) {
        ASSERT_EQ(::setenv(kFixtureVariable, nobodysRoot.c_str(), 1), 0);
        qrb::test::RerunAsNobody();
        ::unsetenv(kFixtureVariable);
        std::error_code ec;
        fs::remove_all(root, ec);
        fs::remove_all(nobodysRoot, ec);
    }
}

TEST_F(FileUtilTest, FailuresLeaveTheOldContentAndNoTemporaryFile) {
    if (qrb::test::RerunAsNobody()) return; // root writes into a folder without write permission
    std::string error;
    // A link loop.
    fs::create_symlink("loopB", dir_ / "loopA");
    fs::create_symlink("loopA", dir_ / "loopB");
    EXPECT_FALSE(WriteFileAtomic(Path("loopA"), std::string_view("x"), error));
    EXPECT_FALSE(error.empty());
    // A missing folder.
    EXPECT_FALSE(WriteFileAtomic(Path("missing/file"), std::string_view("x"), error));
    EXPECT_FALSE(error.empty());
    // A folder as the target.
    fs::create_directory(dir_ / "folder");
    EXPECT_FALSE(WriteFileAtomic(Path("folder"), std::string_view("x"), error));
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
    // No name.
    EXPECT_FALSE(WriteFileAtomic("", std::string_view("x"), error));
    EXPECT_EQ(Names(), (std::vector<std::string>{"folder", "loopA", "loopB"}));

    const std::string p = Path("folder/keep.txt");
    ASSERT_TRUE(WriteFileAtomic(p, std::string_view("old"), error));
    ASSERT_EQ(::chmod((dir_ / "folder").c_str(), 0555), 0);
    EXPECT_FALSE(WriteFileAtomic(p, std::string_view("new"), error));
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    ::chmod((dir_ / "folder").c_str(), 0755);
    EXPECT_EQ(Read(p), "old");
    EXPECT_EQ(fs::directory_iterator(dir_ / "folder")->path().filename(), "keep.txt");
}

TEST_F(FileUtilTest, AFailedWriteKeepsTheOldContent) {
    std::string error;
    const std::string p = Path("log.txt");
    ASSERT_TRUE(WriteFileAtomic(p, std::string_view("old"), error));
    // A file size limit makes the write itself fail (EFBIG instead of a signal).
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    rlimit small = oldLimit;
    small.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = WriteFileAtomic(p, std::string(100, 'x'), error);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(Read(p), "old");
    EXPECT_EQ(Names(), std::vector<std::string>{"log.txt"});

    // A name so long that no temporary name fits next to it.
    const std::string longName = Path(std::string(250, 'n'));
    ASSERT_TRUE(std::ofstream(longName) << "old");
    EXPECT_FALSE(WriteFileAtomic(longName, std::string_view("new"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Read(longName), "old");
    EXPECT_EQ(Names().size(), 2u);
}

// What a program killed between creating and renaming its temporary file leaves behind.
TEST_F(FileUtilTest, ASaveRemovesLeftoversOfDeadProcessesOnly) {
    // A process id that no longer runs: a child that has ended and been reaped.
    const pid_t dead = ::fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const auto leftover = [&](const std::string& name, const std::string& content = "partial") {
        ASSERT_TRUE(std::ofstream(Path(name)) << content);
    };
    const std::string d = std::to_string(dead);
    leftover(".setup.xml." + d + ".0.1A2B.tmp");                           // removed
    leftover(".setup.xml." + d + ".17.ff.tmp");                            // removed
    leftover(".setup.xml." + std::to_string(::getppid()) + ".0.1A2B.tmp"); // its process runs
    leftover(".setup.xml.1.3.C.tmp");                                      // pid 1 runs
    leftover(".other.xml." + d + ".0.1.tmp");                              // another file's
    leftover(".setup.xml." + d + ".tmp");                                  // not our form
    leftover(".setup.xml." + d + ".0.XY.tmp");
    leftover("setup.xml." + d + ".0.1.tmp");
    fs::create_directory(dir_ / (".setup.xml." + d + ".1.1.tmp")); // no regular file
    fs::create_symlink("setup.xml", dir_ / (".setup.xml." + d + ".2.1.tmp"));

    std::string error;
    ASSERT_TRUE(WriteFileAtomic(Path("setup.xml"), std::string_view("<QRB/>"), error)) << error;
    EXPECT_EQ(Read(Path("setup.xml")), "<QRB/>");
    std::vector<std::string> expected = {
        ".other.xml." + d + ".0.1.tmp",  ".setup.xml." + std::to_string(::getppid()) + ".0.1A2B.tmp",
        ".setup.xml." + d + ".0.XY.tmp", ".setup.xml." + d + ".1.1.tmp",
        ".setup.xml." + d + ".2.1.tmp",  ".setup.xml." + d + ".tmp",
        ".setup.xml.1.3.C.tmp",          "setup.xml",
        "setup.xml." + d + ".0.1.tmp",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(), expected);
    EXPECT_EQ(Read(Path(".setup.xml.1.3.C.tmp")), "partial");

    // Through a link the target's folder and name count.
    fs::create_directory(dir_ / "real");
    fs::create_symlink("real/data.txt", dir_ / "link");
    leftover("real/.data.txt." + d + ".0.1.tmp");
    ASSERT_TRUE(WriteFileAtomic(Path("link"), std::string_view("x"), error)) << error;
    EXPECT_FALSE(fs::exists(dir_ / "real" / (".data.txt." + d + ".0.1.tmp")));
    EXPECT_TRUE(fs::exists(dir_ / "real" / "data.txt"));
}

TEST_F(FileUtilTest, ReadRefusesWhatIsNoRegularFileOrTooLarge) {
    std::string bytes = "stale", error;
    EXPECT_FALSE(ReadFileBytes(Path("missing"), bytes, error));
    EXPECT_EQ(bytes, "");
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ReadFileBytes(dir_.string(), bytes, error));
    // A FIFO would block a plain read for ever.
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadFileBytes(Path("fifo"), bytes, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;

    ASSERT_TRUE(WriteFileAtomic(Path("ten"), std::string_view("0123456789"), error));
    EXPECT_FALSE(ReadFileBytes(Path("ten"), bytes, error, 9));
    EXPECT_EQ(bytes, "");
    EXPECT_TRUE(ReadFileBytes(Path("ten"), bytes, error, 10));
    EXPECT_EQ(bytes, "0123456789");
}

TEST_F(FileUtilTest, ForceDirectoriesCreatesMissingParents) {
    std::string error;
    ASSERT_TRUE(ForceDirectories(Path("a/b/c/"), error)) << error;
    EXPECT_TRUE(DirectoryExists(Path("a/b/c")));
    EXPECT_TRUE(ForceDirectories(Path("a/b"), error)); // existing
    ASSERT_TRUE(WriteFileAtomic(Path("a/file"), std::string_view("x"), error));
    EXPECT_TRUE(FileExists(Path("a/file")));
    EXPECT_FALSE(DirectoryExists(Path("a/file")));
    EXPECT_FALSE(ForceDirectories(Path("a/file/sub"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ForceDirectories("", error));
}
