// The main window with its channel list, column menus and scan: the first timer tick scans
// two simulated amplifiers into 16 rows, a range picked from the range column's menu is
// committed at once, the shortcuts and the window's controls follow.

#include "ui/MainWindowChannels.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/channels/ChannelList.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;

class MainWindowChannels : public ::testing::Test {
protected:
    test::TInstalledVirtualMainLoop loop;
    TScriptedMessageService script;
    std::unique_ptr<TScopedMessageService> installed;
    std::unique_ptr<test::TEnvScope> env;
    fs::path configHome;
    std::unique_ptr<TOndrixMain> window;
    std::unique_ptr<TDeviceStatusForm> deviceStatus;
    std::unique_ptr<TChannelStatusForm> channelStatus;
    std::unique_ptr<TChannelOffsetForm> offsetForm;

    void SetUp() override {
        test::EnsureApplication();
        installed = std::make_unique<TScopedMessageService>(script);
        const char* base = std::getenv("XDG_CONFIG_HOME");
        ASSERT_NE(base, nullptr);
        configHome = fs::path(base) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(configHome);
        fs::create_directories(configHome / "QRB GmbH");
        env = std::make_unique<test::TEnvScope>("XDG_CONFIG_HOME", configHome.c_str());
        TSettings s = DefaultSettings(800, 600, (configHome / "QRB GmbH").string());
        s.Interfaces = device::kMaskOffline;
        s.VirtDevices = 2;
        s.VirtChannels = 8;
        s.LANAddresses.clear();
        std::string error;
        ASSERT_TRUE(SaveSettingsFile((configHome / "QRB GmbH" / "Ondrix.ini").string(), s, error)) << error;

        window = std::make_unique<TOndrixMain>();
        TStartOptions options;
        options.NetworkSource = [] { return std::make_unique<test::TFixedNetworkSource>(); };
        options.HaveArguments = true;
        options.Arguments = {"OndrixQRB"};
        ASSERT_TRUE(window->FormCreate(options));
        deviceStatus = std::make_unique<TDeviceStatusForm>();
        channelStatus = std::make_unique<TChannelStatusForm>();
        offsetForm = std::make_unique<TChannelOffsetForm>(window.get());
        window->SetCompanionWindows(deviceStatus.get(), channelStatus.get(), offsetForm.get());
        window->show();
    }

    void TearDown() override {
        offsetForm.reset();
        channelStatus.reset();
        deviceStatus.reset();
        window.reset();
        SetLangOffset(LangEnglish);
    }
};

TEST_F(MainWindowChannels, FirstTickScansTwoSimulatedAmplifiersIntoSixteenRows) {
    ASSERT_NE(window->Channels, nullptr);
    window->timMainTimer();
    EXPECT_EQ(window->Translator->ChannelCount(), 16);
    EXPECT_EQ(window->lbDevControl->count(), 16);
    EXPECT_EQ(window->pctMain->currentWidget(), window->tabControl);
    EXPECT_EQ(window->lbRunMode->text(), QStringLiteral("Offline"));
    EXPECT_EQ(window->stbPanels[0]->text(), QStringLiteral("[OFFLINE]"));
    EXPECT_TRUE(window->Action("actOnline")->isEnabled());
    EXPECT_FALSE(window->Action("actOffline")->isEnabled());
    EXPECT_TRUE(window->miChannel->menuAction()->isVisible());
    EXPECT_TRUE(window->mnbMain->isEnabled());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software"));
    EXPECT_TRUE(script.MessageTexts().empty());
}

TEST_F(MainWindowChannels, RangePickedFromTheRangeColumnIsCommittedAtOnce) {
    window->timMainTimer();
    ASSERT_EQ(window->lbDevControl->count(), 16);
    TMainWindowChannels& channels = *window->Channels;
    window->lbDevControl->item(2)->setSelected(true);
    EXPECT_TRUE(window->Translator->IsSelected(2));
    EXPECT_TRUE(window->Action("actRangeContext")->isEnabled());
    const model::TQRBRawChannel& c = *window->Translator->GetChannel(2);
    const QString wanted = QString::fromStdString(device::VoltageRangeToLongText(c.Info.Version, 10));
    int menus = 0;
    channels.Menus().ExecMenu = [&](QMenu& menu, const QPoint&) -> QAction* {
        ++menus;
        for (QAction* a : menu.actions())
            if (a->text() == wanted) return a;
        return nullptr;
    };
    channels.Menus().lbDevControlContextPopup(QPoint(280, 2 * kChannelRowHeight + 10));
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(c.RangeCache, 10);
    EXPECT_EQ(c.Current, c.Pending);
    EXPECT_FALSE(window->ChangesPending);
    EXPECT_TRUE(window->SetupModified);

    // The shortcut opens the same menu.
    window->Action("actRangeContext")->trigger();
    EXPECT_EQ(menus, 2);

    // Setup mode: collected, then committed with the button.
    window->rbSetupMode->setChecked(true);
    channels.Menus().lbDevControlContextPopup(QPoint(280, 2 * kChannelRowHeight + 10));
    EXPECT_TRUE(window->ChangesPending);
    EXPECT_TRUE(window->btnCommit->isEnabled());
    window->btnCommit->click();
    EXPECT_FALSE(window->btnCommit->isEnabled());
    EXPECT_FALSE(window->ChangesPending);
}

TEST_F(MainWindowChannels, OffsetWindowIsTheChannelOffsetForm) {
    window->timMainTimer();
    EXPECT_EQ(window->Channels->Menus().OffsetForm, offsetForm.get());
    EXPECT_EQ(window->Channels->List().StatusWindow, channelStatus.get());
}

} // namespace
} // namespace qrb::ui
