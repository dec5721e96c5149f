// The USB and LAN device setup dialogs against the stand-in firmware library: the delayed scan
// over every local network, the kinds listed, firmware update and address change with their
// success and failure paths, the settings dialog's address list, progress by phase, closing
// refused while busy, the program's end during an upload, the dialogs' size kept while the
// progress shows, and the controls' sizes in both languages.

#include "ui/dialogs/DeviceSetupForms.h"

#include "tests/support/FakeFirmwareLibrary.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/dialogs/DialogTestSupport.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/platform/FirmwareLibrary.h"
#include "ui/platform/ScanGate.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include "device/Format.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <thread>

namespace qrb::ui {
namespace {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a | (b << 8) | (c << 16) | (d << 24);
}

struct DeviceSetup : ::testing::Test {
    test::TInstalledVirtualMainLoop loop;
    TScriptedMessageService script;
    std::unique_ptr<TScopedMessageService> installed;
    std::unique_ptr<test::TModalScript> modal;
    std::unique_ptr<test::TFakeFirmwareLibrary> fake;
    std::unique_ptr<TNetworkInfo> network;
    TScanGate gate{&loop};
    std::unique_ptr<TSettingsForm> settings;

    void SetUp() override {
        test::EnsureApplication();
        installed = std::make_unique<TScopedMessageService>(script);
        modal = std::make_unique<test::TModalScript>();
        fake = std::make_unique<test::TFakeFirmwareLibrary>(QRB_FAKE_FWLIB);
        ASSERT_TRUE(fake->Loaded());
        SetFWLibraryPath(QRB_FAKE_FWLIB);
        network =
            TNetworkInfo::CreateWithWatch(false, 1000, true, std::make_unique<test::TTwoNetworkSource>());
        ASSERT_EQ(network->IpMaskList(),
                  (std::vector<std::string>{"10.0.0.5/255.0.0.0", "192.168.7.20/255.255.255.0"}));
        settings = std::make_unique<TSettingsForm>();
        ASSERT_TRUE(settings->FWLibLoaded);
        TLanSetupForm::PreviousPhase() = 0;
        TUSBSetupForm::PreviousPhase() = 0;
        fake->SetNetScan("10.0.0.5", {test::FakeNetRecord(Ip(10, 0, 0, 200), 3, 0x12030004),
                                      test::FakeNetRecord(Ip(10, 0, 0, 201), 5, 1)});
        fake->SetNetScan("192.168.7.20", {test::FakeNetRecord(Ip(192, 168, 7, 33), 3, 0x21000007)});
    }
    void TearDown() override {
        settings.reset();
        modal.reset();
        SetFWLibraryPath("");
        SetLangOffset(LangEnglish);
    }

    template <typename F> std::unique_ptr<F> Open() {
        auto form = std::make_unique<F>(settings.get());
        form->Gate = &gate;
        if constexpr (std::is_same_v<F, TLanSetupForm>) form->NetworkInfo = network.get();
        form->show();
        QApplication::processEvents();
        loop.Advance(500);
        return form;
    }

    std::vector<std::string> ScanLog() const {
        return {"QRBFWNET_Init(10.0.0.5, 255.0.0.0)", "QRBFWNET_Scan(10.0.0.5)",
                "QRBFWNET_Init(192.168.7.20, 255.255.255.0)", "QRBFWNET_Scan(192.168.7.20)"};
    }
    static std::vector<std::string> Rows(const TDeviceSetupForm& form) {
        std::vector<std::string> rows;
        for (int i = 0; i < form.lbDevices->count(); ++i)
            rows.push_back(FromQt(form.lbDevices->item(i)->text()));
        return rows;
    }
    static std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
};

TEST_F(DeviceSetup, LanScanRunsHalfASecondAfterShowOverEveryLocalNetworkAndListsKindThree) {
    TLanSetupForm form(settings.get());
    form.NetworkInfo = network.get();
    form.Gate = &gate;
    EXPECT_TRUE(form.Busy());
    EXPECT_EQ(form.windowTitle(), ToQt(GetText(62)));
    EXPECT_EQ(form.lbMainTitle->text(), ToQt(GetText(1861)));
    form.show();
    EXPECT_FALSE(form.Busy());
    loop.Advance(499);
    EXPECT_TRUE(fake->Log().empty());
    loop.Advance(1);
    EXPECT_EQ(fake->Log(), ScanLog());
    EXPECT_EQ(Rows(form), (std::vector<std::string>{"10.0.0.200", "192.168.7.33"}));
    ASSERT_EQ(form.Entries().size(), 2u);
    EXPECT_EQ(form.Entries()[0].Version, "FW 1.2.3 (4)");
    EXPECT_EQ(form.Entries()[1].Version, "FW 2.1.0 (7)");
    EXPECT_TRUE(form.btnOK->isEnabled());
    EXPECT_TRUE(form.btnRescan->isEnabled());
    EXPECT_FALSE(form.btnFirmware->isEnabled());
    // Once only.
    loop.Advance(2000);
    EXPECT_EQ(fake->Log().size(), 4u);
    EXPECT_TRUE(gate.IsOpen());
    EXPECT_TRUE(script.Records.empty());
}

TEST_F(DeviceSetup, FailingScansLeaveTheListEmptyWithoutAMessage) {
    fake->SetResult("QRBFWNET_Scan", 2);
    auto form = Open<TLanSetupForm>();
    EXPECT_EQ(form->lbDevices->count(), 0);
    fake->SetResult("QRBFWNET_Scan", 0);
    fake->SetResult("QRBFWNET_Init", 1);
    fake->ClearLog();
    form->btnRescan->click();
    EXPECT_EQ(fake->Log(), (std::vector<std::string>{"QRBFWNET_Init(10.0.0.5, 255.0.0.0)",
                                                     "QRBFWNET_Init(192.168.7.20, 255.255.255.0)"}));
    EXPECT_EQ(form->lbDevices->count(), 0);
    EXPECT_TRUE(script.Records.empty());
}

// Only the loopback: no local network to search.
class TLoopbackOnly : public test::TTwoNetworkSource {
public:
    bool ReadTables(TNetTables& tables, std::string& error) override {
        test::TTwoNetworkSource::ReadTables(tables, error);
        tables.Interfaces.resize(1);
        tables.Addresses = {tables.Addresses[1]};
        return true;
    }
};

TEST_F(DeviceSetup, WithoutALocalNetworkTheLanListStaysEmpty) {
    network = TNetworkInfo::CreateWithWatch(false, 1000, true, std::make_unique<TLoopbackOnly>());
    ASSERT_TRUE(network->IpMaskList().empty());
    auto form = Open<TLanSetupForm>();
    EXPECT_EQ(form->lbDevices->count(), 0);
    EXPECT_TRUE(fake->Log().empty());
    EXPECT_TRUE(form->btnRescan->isEnabled());
}

TEST_F(DeviceSetup, FirmwareUpdateUploadsFreesWaitsAndRescans) {
    auto form = Open<TLanSetupForm>();
    form->lbDevices->setCurrentRow(0);
    EXPECT_TRUE(form->btnFirmware->isEnabled());
    fake->ClearLog();
    loop.ClearSleeps();
    script.Answers = {"C:\\fw\\a.fwi"};
    form->btnFirmware->click();
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_EQ(script.Records[0].Kind, TMessageKind::OpenFile);
    EXPECT_EQ(script.Records[0].Dialog.Filter, "Firmware Image Files|*.fwi");
    const std::string device = std::to_string(Ip(10, 0, 0, 200));
    EXPECT_EQ(fake->Log(),
              Join({"ROZEZErir_LoadImage(C:\\\\fw\\\\a.fwi)",
                    "QRBFWNET_UploadFWImg(" + device + ", image1, 4096)", "ROZEZErir_FreeImage(image1)"},
                   ScanLog()));
    EXPECT_EQ(fake->LiveImages(), 0);
    EXPECT_EQ(loop.Sleeps(), (std::vector<uint32_t>{5000}));
    EXPECT_TRUE(settings->DevicesChanged);
    // The rescan shows what the device now runs.
    EXPECT_EQ(form->Entries()[0].Version, "FW 1.2.3 (5)");
    EXPECT_FALSE(form->lbStatus->isVisibleTo(form.get()));
    EXPECT_FALSE(form->pbStatus->isVisibleTo(form.get()));
    EXPECT_TRUE(form->btnOK->isEnabled());
    EXPECT_TRUE(form->btnRescan->isEnabled());
    EXPECT_TRUE(gate.IsOpen());
}

TEST_F(DeviceSetup, FirmwareUpdateFailures) {
    const std::string path = "/var/tmp/fw/a.fwi";
    const std::string device = std::to_string(Ip(10, 0, 0, 200));
    const std::string upload = "QRBFWNET_UploadFWImg(" + device + ", image1, 4096)";
    const struct {
        const char* Entry;
        int32_t Result;
        std::string Message;
        std::vector<std::string> Log;
        bool Rescan;
    } cases[] = {
        {"ROZEZErir_LoadImage",
         4,
         device::Format(GetText(1061), {path, int64_t{4}}),
         {"ROZEZErir_LoadImage(" + path + ")"},
         false},
        // The image is freed after a failed upload too.
        {"QRBFWNET_UploadFWImg",
         3,
         "Error on uploading firmware image (3)",
         {"ROZEZErir_LoadImage(" + path + ")", upload, "ROZEZErir_FreeImage(image1)"},
         false},
        // The device holds the new firmware: a failed free is a warning, the rescan follows.
        {"ROZEZErir_FreeImage",
         5,
         "Invalid firmware address buffer pointer!",
         {"ROZEZErir_LoadImage(" + path + ")", upload, "ROZEZErir_FreeImage(image1)"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Entry);
        fake->Reset();
        fake->SetNetScan("10.0.0.5", {test::FakeNetRecord(Ip(10, 0, 0, 200), 3, 0x12030004)});
        fake->SetResult(c.Entry, c.Result);
        settings->DevicesChanged = false;
        auto form = Open<TLanSetupForm>();
        form->lbDevices->setCurrentRow(0);
        fake->ClearLog();
        script.Clear();
        script.Answers = {path};
        form->btnFirmware->click();
        EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{c.Message}));
        EXPECT_EQ(fake->Log(), c.Rescan ? Join(c.Log, ScanLog()) : c.Log);
        EXPECT_EQ(fake->LiveImages(), 0);
        EXPECT_EQ(settings->DevicesChanged, c.Rescan);
        EXPECT_TRUE(form->btnOK->isEnabled());
        EXPECT_TRUE(form->btnRescan->isEnabled());
        EXPECT_FALSE(form->lbStatus->isVisibleTo(form.get()));
    }
}

TEST_F(DeviceSetup, CancelledFileDialogChangesNothing) {
    auto form = Open<TLanSetupForm>();
    form->lbDevices->setCurrentRow(0);
    fake->ClearLog();
    script.Answers = {""};
    form->btnFirmware->click();
    EXPECT_TRUE(fake->Log().empty());
    EXPECT_TRUE(form->btnOK->isEnabled());
    EXPECT_TRUE(form->btnRescan->isEnabled());
    EXPECT_FALSE(settings->DevicesChanged);
}

TEST_F(DeviceSetup, AddressChangeReplacesTheListEntryAndAddsNoDuplicate) {
    const std::string device = std::to_string(Ip(10, 0, 0, 200));
    const struct {
        std::vector<std::string> Before, After;
    } cases[] = {
        {{"10.0.0.200:15000", "127.0.0.1:15000"}, {"10.0.0.77:15000", "127.0.0.1:15000"}},
        {{"10.0.0.200:15000", "10.0.0.77:15000"}, {"10.0.0.77:15000"}},
        {{"127.0.0.1:15000"}, {"127.0.0.1:15000"}},
    };
    for (const auto& c : cases) {
        fake->Reset();
        fake->SetNetScan("10.0.0.5", {test::FakeNetRecord(Ip(10, 0, 0, 200), 3, 0x12030004)});
        settings->LoadOptions(TSettings{}, c.Before);
        settings->DevicesChanged = false;
        auto form = Open<TLanSetupForm>();
        form->lbDevices->setCurrentRow(0);
        modal->On("qrb::ui::TAddLANAddressForm", [](QDialog& d) {
            auto& f = static_cast<TAddLANAddressForm&>(d);
            EXPECT_EQ(f.windowTitle(), ToQt(GetText(1863)));
            EXPECT_EQ(f.lbSubnet->text(), ToQt(GetText(1866)));
            EXPECT_EQ(f.AddressOnly(), "10.0.0.200");
            EXPECT_EQ(f.MaskText(), "255.255.255.0");
            EXPECT_TRUE(f.seMask1->isEnabled());
            EXPECT_FALSE(f.seLANport->isEnabled());
            f.seLANadr4->setValue(77);
            f.btnApplyLAN->click();
        });
        fake->ClearLog();
        form->btnIPChange->click();
        EXPECT_EQ(fake->Log(), Join({"ROZEZErir_CreateIPAddrImage(10.0.0.77, 255.255.255.0)",
                                     "QRBFWNET_UploadIPAddrImg(" + device + ", image1, 64)",
                                     "ROZEZErir_FreeImage(image1)"},
                                    ScanLog()));
        EXPECT_EQ(settings->LANAddresses(), c.After);
        EXPECT_TRUE(settings->DevicesChanged);
        EXPECT_EQ(Rows(*form), (std::vector<std::string>{"10.0.0.77"}));
        EXPECT_TRUE(script.MessageTexts().empty());
    }
}

TEST_F(DeviceSetup, AddressChangeFailuresAndCancel) {
    settings->LoadOptions(TSettings{}, {"10.0.0.200:15000"});
    auto form = Open<TLanSetupForm>();
    form->lbDevices->setCurrentRow(0);
    modal->On("qrb::ui::TAddLANAddressForm", [](QDialog& d) {
        static_cast<TAddLANAddressForm&>(d).seLANadr4->setValue(78);
        d.reject();
    });
    fake->ClearLog();
    form->btnIPChange->click();
    EXPECT_TRUE(fake->Log().empty());
    EXPECT_TRUE(form->btnOK->isEnabled());
    EXPECT_TRUE(form->btnRescan->isEnabled());

    modal->On("qrb::ui::TAddLANAddressForm", [](QDialog& d) {
        static_cast<TAddLANAddressForm&>(d).seLANadr4->setValue(78);
        d.accept();
    });
    fake->SetResult("ROZEZErir_CreateIPAddrImage", 9);
    form->btnIPChange->click();
    EXPECT_EQ(fake->Log(),
              (std::vector<std::string>{"ROZEZErir_CreateIPAddrImage(10.0.0.78, 255.255.255.0)"}));
    EXPECT_TRUE(script.MessageTexts().empty());

    fake->SetResult("ROZEZErir_CreateIPAddrImage", 0);
    fake->SetResult("QRBFWNET_UploadIPAddrImg", 6);
    fake->ClearLog();
    form->btnIPChange->click();
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{"Error on uploading IP address image (6)"}));
    // Freed after the failed upload, no rescan.
    ASSERT_EQ(fake->Log().size(), 3u);
    EXPECT_EQ(fake->Log()[2], "ROZEZErir_FreeImage(image1)");
    EXPECT_EQ(fake->LiveImages(), 0);
    EXPECT_EQ(settings->LANAddresses(), (std::vector<std::string>{"10.0.0.200:15000"}));
    EXPECT_FALSE(settings->DevicesChanged);
}

TEST_F(DeviceSetup, AddDeviceOnlyWhenTheSettingsListLacksIt) {
    settings->LoadOptions(TSettings{}, {"192.168.7.33:15000"});
    auto form = Open<TLanSetupForm>();
    EXPECT_FALSE(form->btnAddDevice->isEnabled());
    form->lbDevices->setCurrentRow(1);
    EXPECT_FALSE(form->btnAddDevice->isEnabled());
    form->lbDevices->setCurrentRow(0);
    EXPECT_TRUE(form->btnAddDevice->isEnabled());
    form->btnAddDevice->click();
    EXPECT_EQ(settings->LANAddresses(), (std::vector<std::string>{"10.0.0.200:15000", "192.168.7.33:15000"}));
    EXPECT_FALSE(form->btnAddDevice->isEnabled());
    EXPECT_FALSE(settings->DevicesChanged);
}

TEST_F(DeviceSetup, ProgressShowsThePhaseTextAndThenItsPercentage) {
    auto form = Open<TLanSetupForm>();
    const struct {
        int32_t Status;
        std::string Text;
        int Bar;
    } steps[] = {{0x0100, GetText(1868), 0}, {0x0132, GetText(1868), 50}, {0x0164, GetText(1868), 100},
                 {0x0200, GetText(1869), 0}, {0x0250, GetText(1869), 80}, {0x0550, GetText(1872), 0},
                 {0x0700, "<n/a>", 0},       {0x0710, "<n/a>", 16}};
    for (const auto& s : steps) {
        form->Progress(s.Status);
        EXPECT_EQ(FromQt(form->lbStatus->text()), s.Text) << s.Status;
        EXPECT_EQ(form->pbStatus->value(), s.Bar) << s.Status;
    }
}

TEST_F(DeviceSetup, ProgressReportedFromAnotherThreadReachesTheDialogOnTheMainThread) {
    auto form = Open<TLanSetupForm>();
    form->lbStatus->setText(QStringLiteral("before"));
    int32_t result = -1;
    std::thread library([&] { result = TDeviceSetupForm::ProgressCallback(form.get(), 0x0200); });
    library.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(form->lbStatus->text(), QStringLiteral("before"));
    QApplication::processEvents();
    EXPECT_EQ(form->lbStatus->text(), ToQt(GetText(1869)));
}

TEST_F(DeviceSetup, UploadReportsProgressKeepsTheGateClosedAndRefusesToClose) {
    auto form = Open<TLanSetupForm>();
    form->lbDevices->setCurrentRow(0);
    fake->SetProgress({0x0300, 0x0340});
    fake->SetResult("QRBFWNET_UploadFWImg", 3);
    bool checked = false;
    QMetaObject::invokeMethod(
        form.get(),
        [&] {
            checked = true;
            EXPECT_TRUE(form->Busy());
            EXPECT_FALSE(gate.IsOpen());
            form->reject();
            form->close();
        },
        Qt::QueuedConnection);
    script.Answers = {"/var/tmp/a.fwi"};
    form->btnFirmware->click();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->lbStatus->text(), ToQt(GetText(1870)));
    EXPECT_EQ(form->pbStatus->value(), 0x40);
    EXPECT_TRUE(gate.IsOpen());
    form->btnOK->click();
    EXPECT_FALSE(form->isVisible());
}

// The program's end comes during an upload: the upload runs to its end (nothing can stop it),
// then the dialog ends as rejected, without the wait and rescan that follow a finished upload.
TEST_F(DeviceSetup, AnEndDuringAnUploadEndsTheDialogWhenTheUploadEnds) {
    for (const bool address : {false, true}) {
        SCOPED_TRACE(address ? "address change" : "firmware update");
        auto form = Open<TLanSetupForm>();
        form->lbDevices->setCurrentRow(0);
        fake->SetProgress({0x0300, 0x0340});
        fake->ClearLog();
        loop.ClearSleeps();
        int result = -1;
        QObject::connect(form.get(), &QDialog::finished, [&result](int r) { result = r; });
        bool ended = false;
        // Queued where the upload's progress runs it: after the address dialog, if any.
        const auto endDuringTheUpload = [&] {
            QMetaObject::invokeMethod(
                form.get(),
                [&] {
                    ended = true;
                    EXPECT_TRUE(form->Busy());
                    EndMessageBoxes();
                    form->reject(); // refused while the upload runs
                    EXPECT_TRUE(form->isVisible());
                },
                Qt::QueuedConnection);
        };
        if (address) {
            modal->On("qrb::ui::TAddLANAddressForm", [&](QDialog& d) {
                endDuringTheUpload();
                d.accept();
            });
            form->btnIPChange->click();
        } else {
            endDuringTheUpload();
            script.Answers = {"/var/tmp/a.fwi"};
            form->btnFirmware->click();
        }
        ResumeMessageBoxes();
        EXPECT_TRUE(ended);
        const std::vector<std::string> log = fake->Log();
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
            return line.rfind(address ? "QRBFWNET_UploadIPAddrImg(" : "QRBFWNET_UploadFWImg(", 0) == 0;
        })) << ::testing::PrintToString(log);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_TRUE(loop.Sleeps().empty());
        EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& line) {
            return line.rfind("QRBFWNET_Scan(", 0) == 0;
        })) << ::testing::PrintToString(log);
        EXPECT_TRUE(gate.IsOpen());
    }
}

TEST_F(DeviceSetup, DialogsKeepTheirSizeWhileTheProgressShows) {
    fake->SetUsbScan({test::FakeUsbRecord(Ip(10, 0, 0, 9), 3, 0x21000005, 0, 730, 77)});
    auto check = [&](TDeviceSetupForm& form, const char* name) {
        SCOPED_TRACE(name);
        const QSize before = form.size();
        form.lbDevices->setCurrentRow(0);
        fake->SetProgress({0x0300, 0x0340});
        QSize during;
        QMetaObject::invokeMethod(
            &form,
            [&] {
                EXPECT_TRUE(form.pbStatus->isVisible());
                during = form.size();
            },
            Qt::QueuedConnection);
        script.Answers = {"/var/tmp/a.fwi"};
        form.btnFirmware->click();
        QApplication::processEvents();
        EXPECT_FALSE(form.pbStatus->isVisible());
        EXPECT_EQ(during, before);
        EXPECT_EQ(form.size(), before);
    };
    check(*Open<TLanSetupForm>(), "lan");
    check(*Open<TUSBSetupForm>(), "usb");
}

TEST_F(DeviceSetup, UsbDialogListsByHandleAndUploadsTheAddressToTheHandle) {
    fake->SetUsbScan({test::FakeUsbRecord(Ip(10, 0, 0, 9), 3, 0x21000005, 0, 730, 77),
                      test::FakeUsbRecord(0, 1, 0, 1, 0, 78)});
    auto form = Open<TUSBSetupForm>();
    EXPECT_EQ(form->lbMainTitle->text(), ToQt(GetText(1874)));
    EXPECT_EQ(form->btnAddDevice, nullptr);
    EXPECT_EQ(Rows(*form), (std::vector<std::string>{"77"}));
    EXPECT_EQ(form->Entries()[0].Version, "HW 2.1.0 (5)");
    form->lbDevices->setCurrentRow(0);
    modal->On("qrb::ui::TAddLANAddressForm", [](QDialog& d) { d.accept(); });
    fake->ClearLog();
    form->btnIPChange->click();
    EXPECT_EQ(fake->Log(), (std::vector<std::string>{"ROZEZErir_CreateIPAddrImage(10.0.0.9, 255.255.255.0)",
                                                     "QRBFWUSB_UploadIPAddrImg(77, image1, 64)",
                                                     "ROZEZErir_FreeImage(image1)", "QRBFWUSB_Scan"}));
    EXPECT_TRUE(settings->DevicesChanged);
    form->lbDevices->setCurrentRow(0);
    fake->ClearLog();
    script.Answers = {"/var/tmp/b.fwi"};
    form->btnFirmware->click();
    ASSERT_GE(fake->Log().size(), 2u);
    EXPECT_EQ(fake->Log()[1], "QRBFWUSB_UploadFWImg(" + std::to_string(Ip(10, 0, 0, 9)) + ", image2, 4096)");
}

TEST_F(DeviceSetup, ControlsGetTheirSizeHintsInBothLanguages) {
    for (uint16_t lang : {LangGerman, LangEnglish}) {
        SetLangOffset(lang);
        const std::string language = lang == LangGerman ? " de" : " en";
        TUSBSetupForm usb(settings.get());
        test::ExpectControlsGetTheirSizeHints(usb, "usb" + language);
        TLanSetupForm lan(settings.get());
        test::ExpectControlsGetTheirSizeHints(lan, "lan" + language);
        // And while the progress shows, with its longest phase text.
        for (TDeviceSetupForm* form :
             {static_cast<TDeviceSetupForm*>(&usb), static_cast<TDeviceSetupForm*>(&lan)}) {
            form->lbStatus->setText(ToQt(GetText(1870)));
            form->lbStatus->setVisible(true);
            form->pbStatus->setVisible(true);
            test::ExpectControlsGetTheirSizeHints(*form,
                                                  form->objectName().toStdString() + language + " busy");
        }
    }
}

} // namespace
} // namespace qrb::ui
