// The settings command: options copied into the dialog and, after OK, back and into the file;
// the interface bits in offline mode; the fan rule switching bridges off and committing; the
// forced rescan after a USB setup, also after Cancel; the start lock applied once the devices are
// back.

#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawMaster.h"
#include "model/RegisterTables.h"
#include "tests/support/FakeFirmwareLibrary.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/dialogs/DialogTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowChannels.h"
#include "ui/channels/ScanController.h"
#include "ui/dialogs/DeviceSetupForms.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/platform/FirmwareLibrary.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

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

} // namespace
} // namespace qrb::ui
