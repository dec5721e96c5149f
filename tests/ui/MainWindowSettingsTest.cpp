// The settings command: options copied into the dialog and, after OK, back and into the file;
// the interface bits in offline mode; the fan rule switching bridges off and committing; the
// forced rescan after a USB setup, also after Cancel; the start lock applied once the devices are
// back; a failed save reported; the window's geometry kept from start to start under a frame;
// Qt's own dialogs in the stored and the chosen language.

#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawMaster.h"
#include "model/RegisterTables.h"
#include "tests/support/FakeFirmwareLibrary.h"
#include "tests/support/Unprivileged.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/dialogs/DialogTestSupport.h"
#include "tests/ui/platform/OnScreenTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowChannels.h"
#include "ui/channels/ScanController.h"
#include "ui/dialogs/DeviceSetupForms.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/platform/FirmwareLibrary.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QWindow>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>

#include <unistd.h>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;

class MainWindowSettings : public ::testing::Test, protected test::TMainWindowFixture {
protected:
    test::TInstalledVirtualMainLoop loop;
    TScriptedMessageService script;
    std::unique_ptr<TScopedMessageService> installed;
    std::unique_ptr<test::TModalScript> modal;
    std::optional<test::TNoFirmwareLibrary> noLibrary;
    TSettings stored;

    void SetUp() override {
        test::EnsureApplication();
        installed = std::make_unique<TScopedMessageService>(script);
        modal = std::make_unique<test::TModalScript>();
        noLibrary.emplace();
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
        stored = SimulatedSettings(2, 8);
    }

    void Start() {
        ASSERT_NO_FATAL_FAILURE(WriteSettings(stored));
        ASSERT_NO_FATAL_FAILURE(StartWindow());
        window->timMainTimer();
        ASSERT_EQ(window->Translator->ChannelCount(), 16);
        script.Clear();
    }

    void TearDown() override {
        modal.reset();
        CloseWindow();
        noLibrary.reset();
        SetLangOffset(LangEnglish);
    }

    TSettings FileSettings() const {
        std::string error;
        return LoadSettingsFile(SettingsPath().string(), TSettings{}, error);
    }
    void FreshCompanyFolder() {
        fs::remove_all(CompanyFolder());
        ASSERT_TRUE(fs::create_directories(CompanyFolder()));
    }
    void RunSettings(test::TModalScript::TStep step) {
        modal->On("qrb::ui::TSettingsForm", std::move(step));
        window->Action("actSettings")->trigger();
    }
};

TEST_F(MainWindowSettings, OptionsChangedInTheDialogAreWrittenAndShownAgain) {
    stored.TimedReCheckIntv = 500;
    stored.ZeroAverage = 5;
    stored.ControlSelect = static_cast<int32_t>(0xFF00000Du);
    Start();
    EXPECT_TRUE(window->Action("actSettings")->isEnabled());
    RunSettings([](QDialog& d) {
        auto& f = static_cast<TSettingsForm&>(d);
        // Offline mode shows neither interface.
        EXPECT_FALSE(f.cbUSB->isChecked());
        EXPECT_FALSE(f.cbLAN->isChecked());
        EXPECT_EQ(f.seTimedReCheckIntv->value(), 1);
        EXPECT_EQ(f.cbZeroAverage->currentIndex(), -1);
        f.cbLAN->click();
        f.cbAskOnRescan->click();
        f.cbRangeMode->setCurrentIndex(2);
        f.cbDebugLevel->click();
        f.btnOK->click();
    });
    EXPECT_TRUE(script.MessageTexts().empty());
    const TSettings file = FileSettings();
    EXPECT_EQ(file.Interfaces, device::kMaskLAN); // the offline bit is not kept
    EXPECT_FALSE(file.ConfirmRescan);
    EXPECT_EQ(file.RangeMode, 2);
    EXPECT_EQ(file.DebugLevel, 1);
    EXPECT_EQ(window->Translator->DebugLevel, 1);
    EXPECT_EQ(file.TimedReCheckIntv, 1000);
    EXPECT_EQ(file.ZeroAverage, -1);
    EXPECT_EQ(window->Translator->ZeroAverage, 1);
    EXPECT_EQ(file.ControlSelect, static_cast<int32_t>(0xFF00000Du));
    EXPECT_EQ(file.ControlText, static_cast<int32_t>(0xFF000008u));
    EXPECT_EQ(file.ControlBackgroundsel, 0xE8E8E8);
    // No rescan: the devices stay.
    EXPECT_EQ(window->Translator->ChannelCount(), 16);

    // Shown again by the next opening.
    RunSettings([](QDialog& d) {
        auto& f = static_cast<TSettingsForm&>(d);
        EXPECT_TRUE(f.cbLAN->isChecked());
        EXPECT_FALSE(f.cbAskOnRescan->isChecked());
        EXPECT_EQ(f.cbRangeMode->currentIndex(), 2);
        EXPECT_EQ(f.cbControlSelect->Selected(), static_cast<int32_t>(0xFF00000Du));
        d.reject();
    });
}

TEST_F(MainWindowSettings, CancelKeepsEveryOption) {
    Start();
    RunSettings([](QDialog& d) {
        auto& f = static_cast<TSettingsForm&>(d);
        f.cbAskOnRescan->click();
        f.cbLAN->click();
        f.btnCancel->click();
    });
    EXPECT_TRUE(window->Options.ConfirmRescan);
    EXPECT_EQ(window->Options.Interfaces, device::kMaskOffline);
    EXPECT_TRUE(script.MessageTexts().empty());
}

// The word the commit writes for a channel's sensor type.
uint16_t CommittedTypeWord(const model::TQRBRawChannel& channel) {
    return channel.Current.Image.Words[0];
}

TEST_F(MainWindowSettings, SlowFanSwitchesBridgesOffAndCommitsAll) {
    Start();
    model::TI2CTranslator& t = *window->Translator;
    const uint16_t offWord = CommittedTypeWord(*t.GetChannel(0));
    ASSERT_TRUE(t.SetSensorType(0, model::stDMSFullbridge));
    ASSERT_TRUE(t.NewConfig(0, false));
    ASSERT_NE(CommittedTypeWord(*t.GetChannel(0)), offWord);
    RunSettings([&](QDialog& d) {
        auto& f = static_cast<TSettingsForm&>(d);
        f.cbFanControl->setCurrentIndex(3);
        script.Answers = {"6"};
        f.btnOK->click();
    });
    EXPECT_EQ(window->Options.FanSpeed, 3);
    EXPECT_EQ(t.GetChannel(0)->SensorType, model::stOff);
    EXPECT_EQ(CommittedTypeWord(*t.GetChannel(0)), offWord);
}

TEST_F(MainWindowSettings, SlowFanSwitchIsCommittedBeforeAForcedRescan) {
    Start();
    model::TI2CTranslator& t = *window->Translator;
    const uint16_t offWord = CommittedTypeWord(*t.GetChannel(0));
    ASSERT_TRUE(t.SetSensorType(0, model::stDMSFullbridge));
    ASSERT_TRUE(t.NewConfig(0, false));
    std::vector<uint16_t> atRescan;
    window->Gate.OnRescan = [&] {
        TScanGate::TGuard scanning(window->Gate);
        atRescan.push_back(CommittedTypeWord(*t.GetChannel(0)));
    };
    RunSettings([&](QDialog& d) {
        auto& f = static_cast<TSettingsForm&>(d);
        f.cbFanControl->setCurrentIndex(2);
        f.AddLANAddress("127.0.0.9:15000");
        script.Answers = {"6"};
        f.btnOK->click();
    });
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{GetText(1624)}));
    // The bridge channel runs OFF on the device before the scan; it never ran with a reduced fan.
    EXPECT_EQ(atRescan, (std::vector<uint16_t>{offWord}));
}

TEST_F(MainWindowSettings, CancelAfterAUsbSetupStillRescans) {
    test::TFakeFirmwareLibrary fake(QRB_FAKE_FWLIB);
    ASSERT_TRUE(fake.Loaded());
    SetFWLibraryPath(QRB_FAKE_FWLIB);
    Start();
    bool disconnected = false;
    modal->On("qrb::ui::TUSBSetupForm", [&](QDialog& d) {
        disconnected = window->Translator->ChannelCount() == 0;
        d.reject();
    });
    RunSettings([&](QDialog& d) {
        auto& f = static_cast<TSettingsForm&>(d);
        script.Answers = {"6"};
        f.btnUSBSetup->click();
        f.btnCancel->click();
    });
    EXPECT_TRUE(disconnected);
    ASSERT_GE(script.Records.size(), 2u);
    EXPECT_EQ(script.Records[0].Header, GetText(1893));
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{GetText(1624)}));
    // The scan brought the devices back.
    EXPECT_EQ(window->Translator->ChannelCount(), 16);
    EXPECT_TRUE(window->Gate.IsOpen());
}

TEST_F(MainWindowSettings, AnExceptionInsideTheDialogStillEndsWithTheForcedRescan) {
    test::TFakeFirmwareLibrary fake(QRB_FAKE_FWLIB);
    SetFWLibraryPath(QRB_FAKE_FWLIB);
    Start();
    EXPECT_THROW(RunSettings([&](QDialog& d) {
                     script.Answers = {"6"};
                     static_cast<TSettingsForm&>(d).btnUSBSetup->click();
                     throw std::runtime_error("broken");
                 }),
                 std::runtime_error);
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{GetText(1624)}));
    EXPECT_EQ(window->Translator->ChannelCount(), 16);
    // The dialog is gone and the library with it.
    EXPECT_FALSE(FWLibLoaded());
}

TEST_F(MainWindowSettings, UsbSetupAnsweredNoChangesNothing) {
    test::TFakeFirmwareLibrary fake(QRB_FAKE_FWLIB);
    SetFWLibraryPath(QRB_FAKE_FWLIB);
    Start();
    RunSettings([&](QDialog& d) {
        auto& f = static_cast<TSettingsForm&>(d);
        script.Answers = {"7"};
        f.btnUSBSetup->click();
        EXPECT_FALSE(f.DevicesChanged);
        f.btnCancel->click();
    });
    EXPECT_EQ(window->Translator->ChannelCount(), 16);
    EXPECT_TRUE(script.MessageTexts().empty());
    EXPECT_EQ(modal->Opened, (std::vector<std::string>{"qrb::ui::TSettingsForm"}));
}

TEST_F(MainWindowSettings, StartLockChangedWhileTheUsbSetupEmptiedTheModelIsAppliedAfterTheRescan) {
    test::TFakeFirmwareLibrary fake(QRB_FAKE_FWLIB);
    SetFWLibraryPath(QRB_FAKE_FWLIB);
    stored.HWStartLock = false;
    Start();
    ASSERT_TRUE(window->Translator->GetMaster(0)->MasterFlashValid);
    ASSERT_EQ(window->Translator->GetMaster(0)->MasterFlash.HWStartLock, 0);
    // The devices come back with the scan (offline mode again, as the dialog drops its bit).
    window->Gate.OnRescan = [&] {
        window->Options.Interfaces = device::kMaskOffline;
        window->Channels->Scan().Rescan();
    };
    RunSettings([&](QDialog& d) {
        auto& f = static_cast<TSettingsForm&>(d);
        script.Answers = {"6"};
        f.btnUSBSetup->click();
        f.cbHWStartLock->setCurrentIndex(1);
        f.btnOK->click();
    });
    ASSERT_EQ(window->Translator->ChannelCount(), 16);
    for (int i = 0; i < window->Translator->MasterCount(); ++i)
        EXPECT_EQ(window->Translator->GetMaster(i)->MasterFlash.HWStartLock, 1) << i;
    EXPECT_TRUE(window->Options.HWStartLock);
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

TEST_F(MainWindowSettings, AFailedSaveAfterApplyIsShownAndLoggedTheSaveAtCloseIsNot) {
    // Permission bits do not stop root: as root the cases run as nobody.
    if (test::RerunAsNobody()) return;
    const struct {
        const char* Name;
        std::function<void(const fs::path& folder, const fs::path& file)> Break;
    } cases[] = {
        {"the settings file is a folder",
         [](const fs::path&, const fs::path& file) {
             fs::remove(file);
             fs::create_directory(file);
         }},
        {"the settings folder is a file",
         [](const fs::path& folder, const fs::path&) {
             fs::remove_all(folder);
             std::ofstream(folder) << "not a folder";
         }},
        {"the settings folder is read-only",
         [](const fs::path& folder, const fs::path&) {
             fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_NO_FATAL_FAILURE(FreshCompanyFolder());
        ASSERT_NO_FATAL_FAILURE(Start());
        c.Break(CompanyFolder(), SettingsPath());
        RunSettings([](QDialog& d) {
            auto& f = static_cast<TSettingsForm&>(d);
            f.cbAskOnRescan->click();
            f.btnOK->click();
        });
        // The change holds for this run.
        EXPECT_FALSE(window->Options.ConfirmRescan);
        ASSERT_EQ(script.Records.size(), 1u);
        EXPECT_EQ(script.Records[0].Kind, TMessageKind::Error);
        const std::string named = "Unable to write to " + SettingsPath().string();
        EXPECT_EQ(script.Records[0].Text.rfind(named, 0), 0u) << script.Records[0].Text;
        EXPECT_TRUE(Contains(window->LogLines(), "[ERR] " + named));
        window->close();
        EXPECT_EQ(script.Records.size(), 1u);
        CloseWindow();
        fs::permissions(CompanyFolder(), fs::perms::owner_all, fs::perm_options::add);
        script.Clear();
    }
}

// Lets the platform draw the window's frame only now, as an X11 window manager frames a window
// after it was mapped: until then the frame's size is not known.
void FrameAfterShow(QWidget& window) {
    QWindow* handle = window.windowHandle();
    ASSERT_NE(handle, nullptr);
    handle->setFlag(Qt::FramelessWindowHint, false);
    const QRect inner = handle->geometry();
    handle->setGeometry(inner.adjusted(0, 0, 1, 0));
    QApplication::processEvents();
    handle->setGeometry(inner);
    QApplication::processEvents();
}

TEST_F(MainWindowSettings, TheWindowStartsWhereItWasClosedUnderAFrame) {
    for (const bool frameLater : {false, true}) {
        SCOPED_TRACE(frameLater ? "frame drawn after the window is shown" : "frame known at once");
        ASSERT_NO_FATAL_FAILURE(FreshCompanyFolder());
        stored.Top = 100;
        stored.Left = 100;
        stored.Width = 940;
        stored.Height = 420;
        ASSERT_NO_FATAL_FAILURE(WriteSettings(stored));
        for (int start = 1; start <= 3; ++start) {
            SCOPED_TRACE(start);
            ASSERT_NO_FATAL_FAILURE(CreateWindow());
            if (frameLater) window->setWindowFlag(Qt::FramelessWindowHint);
            ShowWindow();
            QApplication::processEvents();
            if (frameLater) {
                ASSERT_NO_FATAL_FAILURE(FrameAfterShow(*window));
            }
            // The platform's frame lies around the inner area, which the keys give.
            ASSERT_NE(window->frameGeometry().topLeft(), window->geometry().topLeft());
            EXPECT_EQ(window->geometry(), QRect(100, 100, 940, 420));
            window->close();
            CloseWindow();
            const TSettings file = FileSettings();
            EXPECT_EQ(file.Top, 100);
            EXPECT_EQ(file.Left, 100);
            EXPECT_EQ(file.Width, 940);
            EXPECT_EQ(file.Height, 420);
        }
    }
}

TEST_F(MainWindowSettings, TheWholeFrameOpensOnTheScreenShrunkToItNotBelowTheMinimumSize) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    const struct {
        const char* Name;
        int Left, Top, Width, Height;
    } cases[] = {
        {"reaching past the bottom right", area.right() - 100, area.bottom() - 100, 920, 600},
        {"on a screen that is gone, right", area.right() + 500, area.top() + 10, 920, 600},
        {"on a screen that is gone, below", area.left() + 20, area.bottom() + 400, 920, 600},
        {"on a screen that is gone, above left", area.left() - 2000, area.top() - 900, 920, 600},
        {"at the top edge", area.left() + 10, area.top(), 920, 600},
        {"larger than the screen", area.left() + 50, area.top() + 50, 3000, 2000},
        {"a height beyond any screen", area.left() + 50, area.top() + 50, 920, 99999999},
        {"smaller than the minimum", area.left() + 50, area.top() + 50, 100, 100},
    };
    for (const bool frameLater : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.Name << (frameLater ? ", frame after the show" : ""));
            stored.Left = c.Left;
            stored.Top = c.Top;
            stored.Width = c.Width;
            stored.Height = c.Height;
            ASSERT_NO_FATAL_FAILURE(FreshCompanyFolder());
            ASSERT_NO_FATAL_FAILURE(WriteSettings(stored));
            ASSERT_NO_FATAL_FAILURE(CreateWindow());
            if (frameLater) window->setWindowFlag(Qt::FramelessWindowHint);
            ShowWindow();
            QApplication::processEvents();
            if (frameLater) {
                ASSERT_NO_FATAL_FAILURE(test::FrameNow(*window));
            }
            ASSERT_NE(window->frameGeometry(), window->geometry());
            EXPECT_TRUE(test::Inside(window->frameGeometry(), area));
            EXPECT_GE(window->width(), window->minimumWidth());
            EXPECT_GE(window->height(), window->minimumHeight());
            window->close();
            CloseWindow();
            // Written back as it was shown.
            const TSettings file = FileSettings();
            EXPECT_TRUE(test::Inside(QRect(file.Left, file.Top, file.Width, file.Height), area));
        }
    }
}

// The Settings dialog, a message box and the device information window, opened beside a main
// window at each edge of the screen, at the smallest size the main window takes.
TEST_F(MainWindowSettings, DialogsBesideAWindowAtAnEdgeOfTheScreenOpenWhole) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    stored.LangOffset = LangGerman;
    stored.Width = 920;
    stored.Height = 400;
    // The inner area of a window whose 2 px frame touches the edge.
    const struct {
        const char* Name;
        int Left, Top;
    } edges[] = {
        {"left", area.left() + 2, area.top() + 200},
        {"right", area.right() - 1 - 920, area.top() + 200},
        {"top", area.left() + 200, area.top() + 2},
        {"bottom", area.left() + 200, area.bottom() - 1 - 400},
    };
    for (const auto& edge : edges) {
        SCOPED_TRACE(edge.Name);
        stored.Left = edge.Left;
        stored.Top = edge.Top;
        ASSERT_NO_FATAL_FAILURE(FreshCompanyFolder());
        ASSERT_NO_FATAL_FAILURE(Start());
        QApplication::processEvents();
        ASSERT_EQ(window->geometry(), QRect(edge.Left, edge.Top, 920, 400));
        ASSERT_TRUE(test::Inside(window->frameGeometry(), area));

        // The Settings dialog in its own loop.
        modal.reset();
        int seen = 0;
        test::OnNextModal([&](QDialog& d) {
            ++seen;
            EXPECT_STREQ(d.metaObject()->className(), "qrb::ui::TSettingsForm");
            EXPECT_TRUE(test::Inside(d.frameGeometry(), area)) << "Settings";
            EXPECT_GE(d.width(), d.minimumSizeHint().width());
        });
        window->Action("actSettings")->trigger();

        // A message box.
        installed.reset();
        test::OnNextModal([&](QDialog& d) {
            ++seen;
            EXPECT_TRUE(test::Inside(d.frameGeometry(), area)) << "message box";
        });
        Messages().ShowMessage(GetText(1044));

        // The device information window.
        test::OnNextModal([&](QDialog& d) {
            ++seen;
            EXPECT_EQ(d.objectName(), QStringLiteral("DeviceInfoForm"));
            EXPECT_TRUE(test::Inside(d.frameGeometry(), area)) << "device information";
        });
        window->actDevInformationExecute();
        EXPECT_EQ(seen, 3);

        installed = std::make_unique<TScopedMessageService>(script);
        modal = std::make_unique<test::TModalScript>();
        window->close();
        CloseWindow();
    }
}

// The texts Qt gives its own dialogs now: the accept buttons of an open and a save dialog and the
// cancel button of a button box, without their shortcut marks.
std::vector<std::string> QtDialogTexts() {
    std::vector<std::string> texts;
    for (const auto mode : {QFileDialog::AcceptOpen, QFileDialog::AcceptSave}) {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(mode);
        auto* box = dialog.findChild<QDialogButtonBox*>();
        EXPECT_NE(box, nullptr);
        QPushButton* accept = box != nullptr
                                  ? box->button(mode == QFileDialog::AcceptOpen ? QDialogButtonBox::Open
                                                                                : QDialogButtonBox::Save)
                                  : nullptr;
        EXPECT_NE(accept, nullptr);
        texts.push_back(accept != nullptr ? FromQt(accept->text().remove(QLatin1Char('&'))) : "");
    }
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    texts.push_back(FromQt(box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&'))));
    return texts;
}

TEST_F(MainWindowSettings, QtsOwnDialogsSpeakTheProgramsLanguage) {
    const std::vector<std::string> english = {"Open", "Save", "Cancel"};
    ASSERT_EQ(QtDialogTexts(), english);
    stored.LangOffset = LangGerman;
    Start();
    EXPECT_EQ(QtDialogTexts(), (std::vector<std::string>{"Öffnen", "Speichern", "Abbrechen"}));
    window->Action("actLangEng")->trigger();
    EXPECT_EQ(QtDialogTexts(), english);
    window->Action("actLangGer")->trigger();
    EXPECT_EQ(QtDialogTexts()[0], "Öffnen");
    // The translation ends with the window.
    window->close();
    CloseWindow();
    EXPECT_EQ(QtDialogTexts(), english);
}

} // namespace
} // namespace qrb::ui
