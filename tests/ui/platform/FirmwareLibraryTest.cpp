// The firmware library binding: the search (named file, program folder, loader's path), the
// wrong-version and load-failure texts and when they are to be shown, files others may replace,
// the wrappers with and without a library, and the decoding of scan areas.

#include "ui/platform/FirmwareLibrary.h"

#include "device/ByteOrder.h"
#include "device/Format.h"
#include "tests/support/FakeFirmwareLibrary.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/texts/Texts.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <locale.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;

// The process's locale for a scope, from the environment as a user's session sets it (LANGUAGE
// cleared, so the locale alone picks the language of glibc's messages).
class TLocaleScope {
public:
    explicit TLocaleScope(const char* name)
        : language_("LANGUAGE", nullptr), lang_("LANG", name), all_("LC_ALL", name) {
        if (const char* old = setlocale(LC_ALL, nullptr)) old_ = old;
        ok_ = setlocale(LC_ALL, "") != nullptr;
    }
    ~TLocaleScope() { setlocale(LC_ALL, old_.c_str()); }
    TLocaleScope(const TLocaleScope&) = delete;
    TLocaleScope& operator=(const TLocaleScope&) = delete;
    bool Ok() const { return ok_; }

private:
    test::TEnvScope language_, lang_, all_;
    std::string old_;
    bool ok_ = false;
};

// The loader's message for a bare name found nowhere, in the current locale.
std::string LoaderMessageForNothing() {
    void* handle = dlopen("libqrb-found-nowhere.so", RTLD_NOW);
    if (handle != nullptr) dlclose(handle);
    const char* text = dlerror();
    return text != nullptr ? text : "";
}

// The loader's message for a file that does not load, in the current locale.
std::string LoaderMessageFor(const fs::path& file) {
    void* handle = dlopen(file.c_str(), RTLD_NOW);
    if (handle != nullptr) dlclose(handle);
    const char* text = dlerror();
    return text != nullptr ? text : "";
}

bool LoadedByLoader(const fs::path& file) {
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

struct FirmwareLibrary : ::testing::Test {
    std::unique_ptr<test::TEnvScope> env;
    fs::path folder;

    void SetUp() override {
        test::EnsureApplication();
        env = std::make_unique<test::TEnvScope>(kFWLibraryVariable, nullptr);
        folder = fs::path(std::getenv("XDG_RUNTIME_DIR")) /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder);
        fs::create_directories(folder);
        SetFWLibraryPath("");
        SetFWProgramFolder(folder.string());
        ResetFWLibReport();
    }
    void TearDown() override {
        UnloadFWLibrary();
        SetFWLibraryPath("");
        SetFWProgramFolder("");
        ResetFWLibReport();
    }
};

TEST_F(FirmwareLibrary, TheStandInLoadsWithEveryEntryPointAndUnloads) {
    SetFWLibraryPath(QRB_FAKE_FWLIB);
    ASSERT_TRUE(LoadFWLibrary()) << FWLibLastError();
    EXPECT_TRUE(FWLibLoaded());
    EXPECT_TRUE(FWLibLastError().empty());
    EXPECT_FALSE(FWLibErrorToShow());
    EXPECT_TRUE(UnloadFWLibrary());
    EXPECT_FALSE(FWLibLoaded());
    ASSERT_EQ(FWEntryNames().size(), 14u);
    EXPECT_STREQ(FWEntryNames()[0], "QRBFWNET_Init");
    EXPECT_STREQ(FWEntryNames()[13], "ROZEZErir_FreeImage");
}

TEST_F(FirmwareLibrary, AMissingEntryPointGivesTheWrongVersionTextEveryTime) {
    const struct {
        const char* Path;
        const char* Named;
    } cases[] = {{QRB_FAKE_FWLIB_NOINIT, "QRBFWInit"}, {QRB_FAKE_FWLIB_NOFREE, "ROZEZErir_FreeImage"}};
    for (const auto& c : cases) {
        SetFWLibraryPath(c.Path);
        for (int opening = 0; opening < 2; ++opening) {
            EXPECT_FALSE(LoadFWLibrary());
            EXPECT_FALSE(FWLibLoaded());
            EXPECT_FALSE(FWLibMissing());
            EXPECT_EQ(FWLibLastError(),
                      std::string("Falsche Version von / Wrong version of: \"rozezerir.dll\"\r\n\r\n"
                                  "Error on loading library function:  ") +
                          c.Named);
            EXPECT_TRUE(FWLibErrorToShow()) << opening;
        }
    }
}

TEST_F(FirmwareLibrary, NoLibraryAnywhereIsReportedOncePerRun) {
    // In the user's language too: the loader's message is then German.
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        TLocaleScope scope(locale);
        ASSERT_TRUE(scope.Ok()) << locale << " is not available (scripts/install-deps.sh generates it)";
        if (std::string(locale) != "C") {
            ASSERT_EQ(LoaderMessageForNothing().find("cannot open shared object file"), std::string::npos)
                << "glibc's German messages are missing (libc-l10n): " << LoaderMessageForNothing();
        }
        ResetFWLibReport();
        // Nothing in the program's folder, nothing of that name on the loader's path.
        ASSERT_FALSE(LoadFWLibrary());
        EXPECT_TRUE(FWLibMissing()) << locale << ": " << FWLibLastError();
        EXPECT_NE(FWLibLastError().find("librozezerir.so"), std::string::npos) << FWLibLastError();
        // Decided in the loader's plain words, shown in the user's.
        EXPECT_EQ(FWLibLastError().find("cannot open shared object file") == std::string::npos,
                  std::string(locale) != "C")
            << FWLibLastError();
        EXPECT_TRUE(FWLibErrorToShow()) << locale;
        ASSERT_FALSE(LoadFWLibrary());
        EXPECT_FALSE(FWLibErrorToShow()) << locale;
        EXPECT_FALSE(FWLibLastError().empty());
    }
}

TEST_F(FirmwareLibrary, ALibraryNeedingASymbolNothingDefinesIsShownEveryTimeAndNeverCalled) {
    // The stand-in has every entry point and loads when symbols are bound at their first use.
    void* lazy = dlopen(QRB_FAKE_FWLIB_UNRESOLVED, RTLD_LAZY | RTLD_LOCAL);
    ASSERT_NE(lazy, nullptr) << dlerror();
    ASSERT_NE(dlsym(lazy, "QRBFWNET_Scan"), nullptr);
    dlclose(lazy);

    SetFWLibraryPath(QRB_FAKE_FWLIB_UNRESOLVED);
    for (int opening = 0; opening < 2; ++opening) {
        ASSERT_FALSE(LoadFWLibrary()) << "loaded: its first scan would end the program";
        EXPECT_FALSE(FWLibLoaded());
        EXPECT_FALSE(FWLibMissing());
        EXPECT_NE(FWLibLastError().find("FakeFW_DefinedNowhere"), std::string::npos) << FWLibLastError();
        EXPECT_TRUE(FWLibErrorToShow()) << opening;
    }
    std::vector<TFWScanRecord> records;
    EXPECT_EQ(FWNetScan(records), kFWNotLoaded);
}

TEST_F(FirmwareLibrary, ANamedFileIsLoadedAsNamedAndAMissingOneReportedByThatName) {
    // Beside the named file lies one the loader's decorations of the name would find.
    fs::copy_file(QRB_FAKE_FWLIB, folder / "libshim.so");
    fs::copy_file(QRB_FAKE_FWLIB, folder / "shim.so.so");
    const std::string named = (folder / "shim.so").string();
    const struct { bool Variable; } cases[] = {{false}, {true}};
    for (const auto& c : cases) {
        std::optional<test::TEnvScope> variable;
        if (c.Variable)
            variable.emplace(kFWLibraryVariable, named.c_str());
        else
            SetFWLibraryPath(named);
        ResetFWLibReport();
        EXPECT_FALSE(LoadFWLibrary()) << c.Variable;
        EXPECT_FALSE(FWLibLoaded());
        EXPECT_TRUE(FWLibMissing());
        EXPECT_NE(FWLibLastError().find(named), std::string::npos) << FWLibLastError();
        EXPECT_EQ(FWLibLastError().find("libshim"), std::string::npos) << FWLibLastError();
        EXPECT_EQ(FWLibLastError().find("shim.so.so"), std::string::npos) << FWLibLastError();
        SetFWLibraryPath("");
    }
    // In the loader's own words, in the user's language too.
    SetFWLibraryPath(named);
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        TLocaleScope scope(locale);
        ASSERT_TRUE(scope.Ok()) << locale;
        EXPECT_FALSE(LoadFWLibrary());
        EXPECT_EQ(FWLibLastError(), LoaderMessageFor(named)) << locale;
    }
    SetFWLibraryPath("");

    // A name without a folder is a file in the working folder, not a name for the loader's search.
    fs::copy_file(QRB_FAKE_FWLIB, folder / "shim.so");
    const fs::path working = fs::current_path();
    fs::current_path(folder);
    test::TEnvScope variable(kFWLibraryVariable, "shim.so");
    const bool loaded = LoadFWLibrary();
    fs::current_path(working);
    EXPECT_TRUE(loaded) << FWLibLastError();
}

TEST_F(FirmwareLibrary, AFileOthersMayReplaceIsNotLoadedAndTheBoxSaysWhy) {
    constexpr uid_t kOtherUser = 12345;
    const uint16_t language = LangOffset();
    // The file lies in up/lib; a link to it, if any, in links. Modes of 0 are 0755.
    struct Case {
        const char* Name;
        fs::perms Mode = fs::perms(0644);
        bool OtherOwner = false;
        bool InProgramFolder = false;
        fs::perms LibMode = fs::perms(0755);
        bool LibOtherOwner = false;
        fs::perms UpMode = fs::perms(0755);
        bool Link = false;
        fs::perms LinksMode = fs::perms(0755);
        bool LinkOtherOwner = false;
        bool Loads = false;
    };
    const Case cases[] = {
        {.Name = "own 0644", .Loads = true},
        {.Name = "own group-writable 0664", .Mode = fs::perms(0664), .InProgramFolder = true, .Loads = true},
        {.Name = "own world-writable 0666", .Mode = fs::perms(0666)},
        {.Name = "own world-writable 0646 in the program folder",
         .Mode = fs::perms(0646),
         .InProgramFolder = true},
        {.Name = "other user's 0644", .OtherOwner = true},
        {.Name = "other user's 0644 in the program folder", .OtherOwner = true, .InProgramFolder = true},
        // The folders: anyone may rename another file over it in a folder writable for everyone.
        {.Name = "own 0755 in a 0777 folder", .Mode = fs::perms(0755), .LibMode = fs::perms(0777)},
        {.Name = "a 0777 program folder", .InProgramFolder = true, .LibMode = fs::perms(0777)},
        {.Name = "in a sticky 01777 folder", .LibMode = fs::perms(01777), .Loads = true},
        {.Name = "in a group-writable 0775 folder", .LibMode = fs::perms(0775), .Loads = true},
        {.Name = "in another user's folder", .LibOtherOwner = true},
        {.Name = "in another user's program folder", .InProgramFolder = true, .LibOtherOwner = true},
        {.Name = "below a 0777 folder", .UpMode = fs::perms(0777)},
        {.Name = "below a sticky 01777 folder", .UpMode = fs::perms(01777), .Loads = true},
        {.Name = "below a group-writable 0770 folder", .UpMode = fs::perms(0770), .Loads = true},
        // A link: its own folders count, and the file it names is judged.
        {.Name = "a link to a sound file", .Link = true, .Loads = true},
        {.Name = "a link in the program folder to a sound file",
         .InProgramFolder = true,
         .Link = true,
         .Loads = true},
        {.Name = "a link in a 0777 folder", .Link = true, .LinksMode = fs::perms(0777)},
        {.Name = "a link in a 0777 program folder",
         .InProgramFolder = true,
         .Link = true,
         .LinksMode = fs::perms(0777)},
        {.Name = "a link in a sticky 01777 folder",
         .Link = true,
         .LinksMode = fs::perms(01777),
         .Loads = true},
        {.Name = "another user's link in a sticky 01777 folder",
         .Link = true,
         .LinksMode = fs::perms(01777),
         .LinkOtherOwner = true},
        {.Name = "a link to a file in a 0777 folder", .LibMode = fs::perms(0777), .Link = true},
        {.Name = "a link in the program folder to a file below a 0777 folder",
         .InProgramFolder = true,
         .UpMode = fs::perms(0777),
         .Link = true},
        {.Name = "a link to a 0666 file", .Mode = fs::perms(0666), .Link = true},
        {.Name = "a link to another user's file", .OtherOwner = true, .Link = true},
    };
    const fs::path up = folder / "up", lib = up / "lib", links = folder / "links";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if ((c.OtherOwner || c.LibOtherOwner || c.LinkOtherOwner) && geteuid() != 0) {
            std::cout << "skipped \"" << c.Name << "\": only root can give a file to another user\n";
            continue;
        }
        fs::remove_all(up);
        fs::remove_all(links);
        fs::create_directories(lib);
        fs::create_directories(links);
        const char* fileName = c.InProgramFolder && !c.Link ? kFWLibraryFile : "named.so";
        const fs::path file = lib / fileName;
        fs::copy_file(QRB_FAKE_FWLIB, file);
        fs::permissions(file, c.Mode);
        if (c.OtherOwner) {
            ASSERT_EQ(chown(file.c_str(), kOtherUser, kOtherUser), 0);
        }
        fs::path named = file;
        if (c.Link) {
            named = links / (c.InProgramFolder ? kFWLibraryFile : "link.so");
            fs::create_symlink(file, named);
            if (c.LinkOtherOwner) {
                ASSERT_EQ(lchown(named.c_str(), kOtherUser, kOtherUser), 0);
            }
        }
        fs::permissions(lib, c.LibMode);
        fs::permissions(up, c.UpMode);
        fs::permissions(links, c.LinksMode);
        if (c.LibOtherOwner) {
            ASSERT_EQ(chown(lib.c_str(), kOtherUser, kOtherUser), 0);
        }
        SetFWProgramFolder((c.Link ? links : lib).string());
        SetFWLibraryPath(c.InProgramFolder ? "" : named.string());
        for (uint16_t lang : {LangGerman, LangEnglish}) {
            SetLangOffset(lang);
            EXPECT_EQ(LoadFWLibrary(), c.Loads) << FWLibLastError();
            if (c.Loads) {
                UnloadFWLibrary();
                continue;
            }
            EXPECT_FALSE(FWLibMissing());
            EXPECT_EQ(FWLibLastError(), device::Format(GetText(1873), {named.string()}));
            EXPECT_TRUE(FWLibErrorToShow());
            EXPECT_FALSE(LoadedByLoader(file)) << "the file's code ran";
        }
    }
    fs::remove_all(up);
    fs::remove_all(links);
    SetLangOffset(language);
    EXPECT_EQ(LookUpText(TextTable(), 1873, LangEnglish)
                  .rfind("The firmware library was not loaded, as other users can replace it", 0),
              0u);
    EXPECT_EQ(
        LookUpText(TextTable(), 1873, LangGerman)
            .rfind("Die Firmware-Bibliothek wurde nicht geladen, da andere Benutzer sie ersetzen können", 0),
        0u);
}

// A maker's library may bring companions it finds beside itself through RUNPATH $ORIGIN: it is
// loaded under its real path, named, named through a link elsewhere, or found in the program
// folder as a link, and its entry points answer through the companion beside the file.
TEST_F(FirmwareLibrary, ALibraryFindsItsCompanionBesideItsRealPath) {
    const fs::path lib = folder / "lib", links = folder / "links";
    fs::create_directories(lib);
    fs::create_directories(links);
    fs::copy_file(QRB_FAKE_FWLIB_ORIGIN, lib / "named.so");
    fs::copy_file(QRB_FAKE_FWDEP, lib / "libfakefwdep.so");
    fs::create_symlink(lib / "named.so", links / "link.so");
    fs::create_symlink("../lib/named.so", links / kFWLibraryFile);
    const struct {
        const char* Name;
        std::string Named;
    } cases[] = {
        {"named", (lib / "named.so").string()},
        {"a link", (links / "link.so").string()},
        {"a relative link in the program folder", ""},
    };
    SetFWProgramFolder(links.string());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        SetFWLibraryPath(c.Named);
        ASSERT_TRUE(LoadFWLibrary()) << FWLibLastError();
        EXPECT_TRUE(LoadedByLoader(lib / "libfakefwdep.so")) << "not the companion beside the file";
        EXPECT_EQ(FWNetInit("10.0.0.5", "255.0.0.0"), 730);
        std::vector<TFWScanRecord> records;
        EXPECT_EQ(FWUsbScan(records), 0);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].Number, 730u);
        EXPECT_TRUE(UnloadFWLibrary()) << FWLibLastError();
    }
    // Without its companion it fails in the loader's words, naming the companion.
    fs::remove(lib / "libfakefwdep.so");
    SetFWLibraryPath((links / "link.so").string());
    EXPECT_FALSE(LoadFWLibrary());
    EXPECT_FALSE(FWLibMissing());
    EXPECT_EQ(FWLibLastError().rfind("libfakefwdep.so: ", 0), 0u) << FWLibLastError();
}

// In a sticky folder everyone can write to, anyone may add a name beside the library: what
// another account put there is never taken as its companion.
TEST_F(FirmwareLibrary, ACompanionOthersMayHavePutBesideTheLibraryIsNotLoaded) {
    const fs::path shared = folder / "shared";
    fs::create_directories(shared);
    fs::copy_file(QRB_FAKE_FWLIB_ORIGIN, shared / "named.so");
    fs::copy_file(QRB_FAKE_FWDEP, shared / "libfakefwdep.so");
    if (geteuid() == 0) {
        ASSERT_EQ(chown((shared / "libfakefwdep.so").c_str(), 12345, 12345), 0);
    }
    fs::permissions(shared, fs::perms(01777));
    SetFWLibraryPath((shared / "named.so").string());
    EXPECT_FALSE(LoadFWLibrary());
    EXPECT_FALSE(LoadedByLoader(shared / "libfakefwdep.so")) << "the planted companion's code ran";
    EXPECT_FALSE(FWLibMissing());
    EXPECT_EQ(FWLibLastError().rfind("libfakefwdep.so: ", 0), 0u) << FWLibLastError();
    // The library itself, needing no companion, still loads from there.
    fs::copy_file(QRB_FAKE_FWLIB, shared / "plain.so");
    SetFWLibraryPath((shared / "plain.so").string());
    EXPECT_TRUE(LoadFWLibrary()) << FWLibLastError();
}

// The loader answers a name it has loaded before with that earlier file, whatever lies there now:
// a library is kept only when the file loaded is the file judged.
TEST_F(FirmwareLibrary, ALibraryIsKeptOnlyWhenTheLoadedFileIsTheOneJudged) {
    const fs::path real = fs::canonical(folder) / "named.so";
    fs::copy_file(QRB_FAKE_FWLIB, real);
    void* earlier = dlopen(real.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(earlier, nullptr) << dlerror();
    fs::copy_file(QRB_FAKE_FWLIB, folder / "new.so");
    fs::rename(folder / "new.so", real);
    SetFWLibraryPath(real.string());
    EXPECT_FALSE(LoadFWLibrary());
    EXPECT_FALSE(FWLibLoaded());
    EXPECT_FALSE(FWLibMissing());
    EXPECT_EQ(FWLibLastError(), device::Format(GetText(1873), {real.string()}));
    dlclose(earlier);
    EXPECT_TRUE(LoadFWLibrary()) << FWLibLastError();
}

TEST_F(FirmwareLibrary, TheMissingLibraryBoxCarriesTheWarningIcon) {
    TWidgetMessageService widgets;
    TScopedMessageService installed(widgets);
    std::vector<QMessageBox::Icon> icons;
    QString text;
    // The box is modal and waits for the user: close it as the user would.
    QTimer user;
    user.setInterval(5);
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            icons.push_back(box->icon());
            text = box->text();
            box->accept();
        }
    });
    user.start();
    { TSettingsForm form; }
    user.stop();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0], QMessageBox::Warning);
    EXPECT_TRUE(text.contains(QLatin1String("librozezerir.so"))) << text.toStdString();
}

TEST_F(FirmwareLibrary, TheProgramFolderComesFirstAndABrokenFileThereIsShownEveryTime) {
    fs::copy_file(QRB_FAKE_FWLIB, folder / kFWLibraryFile);
    EXPECT_TRUE(LoadFWLibrary()) << FWLibLastError();
    UnloadFWLibrary();

    fs::remove(folder / kFWLibraryFile);
    std::ofstream(folder / kFWLibraryFile) << "not a library";
    for (int opening = 0; opening < 2; ++opening) {
        EXPECT_FALSE(LoadFWLibrary());
        EXPECT_FALSE(FWLibMissing());
        // The loader's message names the file.
        EXPECT_NE(FWLibLastError().find((folder / kFWLibraryFile).string()), std::string::npos)
            << FWLibLastError();
        EXPECT_EQ(FWLibLastError(), LoaderMessageFor(folder / kFWLibraryFile));
        EXPECT_TRUE(FWLibErrorToShow());
    }
}

TEST_F(FirmwareLibrary, TheEnvironmentVariableNamesTheFile) {
    test::TEnvScope named(kFWLibraryVariable, QRB_FAKE_FWLIB);
    EXPECT_TRUE(LoadFWLibrary()) << FWLibLastError();
}

TEST_F(FirmwareLibrary, WithoutALibraryNoEntryPointIsCalled) {
    test::TFakeFirmwareLibrary fake(QRB_FAKE_FWLIB);
    ASSERT_TRUE(fake.Loaded());
    ASSERT_FALSE(FWLibLoaded());
    std::vector<TFWScanRecord> records(1);
    void* image = reinterpret_cast<void*>(1);
    uint32_t size = 1;
    EXPECT_EQ(FWNetInit("10.0.0.5", "255.0.0.0"), kFWNotLoaded);
    EXPECT_EQ(FWNetScan(records), kFWNotLoaded);
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(FWUsbScan(records), kFWNotLoaded);
    EXPECT_EQ(FWLoadImage(image, size, "a.fwi"), kFWNotLoaded);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(FWCreateIPAddrImage(image, size, "1.2.3.4", "255.0.0.0"), kFWNotLoaded);
    EXPECT_EQ(FWNetUploadFWImg(1, nullptr, 0, nullptr, nullptr), kFWNotLoaded);
    EXPECT_EQ(FWUsbUploadIPAddrImg(1, nullptr, 0, nullptr, nullptr), kFWNotLoaded);
    EXPECT_EQ(FWFreeImage(nullptr), kFWNotLoaded);
    EXPECT_TRUE(fake.Log().empty());
}

TEST_F(FirmwareLibrary, ScanAreasAreReadUpToTheClampedCount) {
    auto area = [](int32_t count, size_t recordSize, int records) {
        std::vector<uint8_t> bytes(4 + 256 * recordSize, 0);
        device::PutU32(bytes.data(), static_cast<uint32_t>(count));
        for (int i = 0; i < records; ++i) {
            uint8_t* p = bytes.data() + 4 + static_cast<size_t>(i) * recordSize;
            device::PutU32(p, 0x0A00000Au + static_cast<uint32_t>(i));
            device::PutU32(p + 4, 3);
            device::PutU32(p + 8, 0x12345678);
            device::PutU32(p + 12, 7);
            device::PutU32(p + 16, 730);
            device::PutU32(p + 20, 0xFFFFFFFF);
            if (recordSize == 28) device::PutU32(p + 24, 99);
        }
        return bytes;
    };
    const struct {
        int32_t Count;
        size_t Expected;
    } counts[] = {{0, 0}, {2, 2}, {256, 256}, {300, 256}, {-1, 0}, {INT32_MIN, 0}};
    for (const auto& c : counts) {
        const auto bytes = area(c.Count, 24, 256);
        EXPECT_EQ(DecodeScanArea(bytes, 24).size(), c.Expected) << c.Count;
    }
    const auto usb = DecodeScanArea(area(1, 28, 1), 28);
    ASSERT_EQ(usb.size(), 1u);
    EXPECT_EQ(usb[0].Address, 0x0A00000Au);
    EXPECT_EQ(usb[0].Kind, 3u);
    EXPECT_EQ(usb[0].Version, 0x12345678u);
    EXPECT_EQ(usb[0].Index, 7u);
    EXPECT_EQ(usb[0].Number, 730u);
    EXPECT_EQ(usb[0].DeviceHandle, 99u);
    EXPECT_EQ(DecodeScanArea(area(1, 24, 1), 24)[0].DeviceHandle, 0u);
    // An area that holds fewer records than its count is read no further than it goes.
    std::vector<uint8_t> short_(4 + 2 * 24, 0);
    device::PutU32(short_.data(), 200);
    EXPECT_EQ(DecodeScanArea(short_, 24).size(), 2u);
    EXPECT_TRUE(DecodeScanArea(std::vector<uint8_t>(3, 0xFF), 24).empty());
}

TEST_F(FirmwareLibrary, TheLibraryGetsPathsWithEveryBackslashDoubled) {
    EXPECT_EQ(DoubleBackslashes("C:\\fw\\a.fwi"), "C:\\\\fw\\\\a.fwi");
    EXPECT_EQ(DoubleBackslashes("/home/u/a.fwi"), "/home/u/a.fwi");
}

} // namespace
} // namespace qrb::ui
