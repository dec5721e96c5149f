// The settings dialog: every option through the dialog and back with the edge values, the LAN
// address list rules, the fan question, the interface and re-check boxes, the colours, the
// setup buttons by the firmware library, the address dialog and the controls' sizes in both
// languages.

#include "ui/dialogs/SettingsForm.h"

#include "tests/support/FakeFirmwareLibrary.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/dialogs/DialogTestSupport.h"
#include "ui/dialogs/MessageService.h"
#include "ui/platform/FirmwareLibrary.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <optional>

namespace qrb::ui {
namespace {

struct SettingsForm : ::testing::Test {
    test::TInstalledVirtualMainLoop loop;
    TScriptedMessageService script;
    std::unique_ptr<TScopedMessageService> installed;
    std::unique_ptr<test::TModalScript> modal;
    std::optional<test::TNoFirmwareLibrary> noLibrary;

    void SetUp() override {
        test::EnsureApplication();
        installed = std::make_unique<TScopedMessageService>(script);
        modal = std::make_unique<test::TModalScript>();
        noLibrary.emplace();
    }
    void TearDown() override {
        modal.reset();
        noLibrary.reset();
        SetLangOffset(LangEnglish);
    }

    // A dialog holding settings, shown as the settings command shows it.
    std::unique_ptr<TSettingsForm> Open(const TSettings& settings, std::vector<std::string> lan = {}) {
        auto form = std::make_unique<TSettingsForm>();
        form->LoadOptions(settings, lan);
        form->show();
        QApplication::processEvents();
        return form;
    }

    TSettings Through(const TSettings& settings) {
        auto form = Open(settings);
        TSettings out = settings;
        form->StoreOptions(out);
        return out;
    }
};

TEST_F(SettingsForm, EveryOptionGoesThroughTheDialogUnchanged) {
    TSettings a; // the defaults
    TSettings b;
    b.Interfaces = device::kMaskUSB;
    b.RangeMode = 2;
    b.KeepADC8Quiet = false;
    b.DebugLevel = 1;
    b.ClearHistoryOnConfig = false;
    b.SWStartLock = false;
    b.SWStopLock = true;
    b.HWStartLock = false;
    b.UseDeviceNames = true;
    b.AskOnCurrent = b.AskOnTEDSCheck = b.AskOnUDMSCheck = b.AskOnTEMPCheck = false;
    b.ConfirmRescan = b.ConfirmTurnOff = b.AskOnSaveDevConfig = b.AskOnInitDevConfig = false;
    b.AskSaveonChange = b.AskOnDefault = false;
    b.SaveConfAsText = b.SaveConfAsXLS = true;
    b.DiffSetupWarning = false;
    b.DiffSerNoWarning = b.UseDefaultSetup = true;
    b.AskForNewTEDS = b.AutoTEDSConfig = false;
    b.FanSpeed = 4;
    b.RescanAfterDown = false;
    b.ChannelDisable = true;
    b.TimedReCheck = true;
    b.TimedReCheckIntv = 60000;
    b.UseExtendedRanges = b.OfflineCheck = true;
    b.ZeroAverage = 1;
    b.ControlChannelName = 0x123456;
    b.ControlForeground = static_cast<int32_t>(0xFF00000Fu);
    b.ControlText = 0x000000;
    b.ControlBackgroundsel = 0x7F7F7F;
    b.ControlBackgroundnor = 0xFFFFFF;
    b.ControlSelect = static_cast<int32_t>(0xFF00000Du);
    // Options the dialog does not show pass as they are.
    b.LogInterupts = b.OpenGroundShield = b.PMObserve = true;
    b.ICPCompVoltage = 1;
    for (const TSettings& s : {a, b}) {
        TSettings expected = s;
        expected.LANAddresses = "";
        EXPECT_EQ(Through(s), expected);
    }
}

TEST_F(SettingsForm, EdgeValuesOfTheConversions) {
    const struct {
        int32_t Interval, Shown, Stored;
    } intervals[] = {
        {10000, 10, 10000}, {500, 1, 1000}, {0, 1, 1000}, {60000, 60, 60000}, {99999, 60, 60000}};
    for (const auto& c : intervals) {
        TSettings s;
        s.TimedReCheckIntv = c.Interval;
        auto form = Open(s);
        EXPECT_EQ(form->seTimedReCheckIntv->value(), c.Shown) << c.Interval;
        TSettings out;
        form->StoreOptions(out);
        EXPECT_EQ(out.TimedReCheckIntv, c.Stored) << c.Interval;
    }
    const struct {
        int32_t Average, Index, Stored;
    } averages[] = {{1, 0, 1}, {2, 0, 1}, {3, 1, 3}, {4, 1, 3}, {5, -1, -1}, {30, -1, -1}};
    for (const auto& c : averages) {
        TSettings s;
        s.ZeroAverage = c.Average;
        auto form = Open(s);
        EXPECT_EQ(form->cbZeroAverage->currentIndex(), c.Index) << c.Average;
        if (c.Index >= 0) {
            EXPECT_EQ(form->cbZeroAverage->currentText(), ToQt(GetText(613 + c.Index)));
        }
        TSettings out;
        form->StoreOptions(out);
        EXPECT_EQ(out.ZeroAverage, c.Stored) << c.Average;
    }
    // Shown inverted, debug levels above 0, the interface bits alone.
    TSettings s;
    s.KeepADC8Quiet = true;
    s.Interfaces = device::kMaskOffline | device::kMaskLAN;
    auto form = Open(s);
    EXPECT_FALSE(form->cbKeepADC8quiet->isChecked());
    EXPECT_TRUE(form->cbLAN->isChecked());
    EXPECT_FALSE(form->cbUSB->isChecked());
    TSettings out;
    form->StoreOptions(out);
    EXPECT_EQ(out.Interfaces, device::kMaskLAN);
}

TEST_F(SettingsForm, ColoursComeBackAsTheyWentInAndTheResetGivesTheDefaults) {
    TSettings s;
    s.ControlBackgroundsel = static_cast<int32_t>(0xFF000010u); // a system colour
    s.ControlForeground = 0x00E8E8E8;                           // a colour without a name
    s.ControlSelect = static_cast<int32_t>(0xFF00001Fu);        // a system colour the box does not list
    auto form = Open(s);
    TSettings out;
    form->StoreOptions(out);
    EXPECT_EQ(out.ControlBackgroundsel, s.ControlBackgroundsel);
    EXPECT_EQ(out.ControlForeground, s.ControlForeground);
    EXPECT_EQ(out.ControlSelect, s.ControlSelect);
    EXPECT_EQ(out.ControlText, s.ControlText);
    EXPECT_EQ(out.ControlBackgroundnor, s.ControlBackgroundnor);

    form->btnresetColors->click();
    form->StoreOptions(out);
    const TSettings defaults;
    EXPECT_EQ(out.ControlForeground, 0x808080);
    EXPECT_EQ(out.ControlBackgroundsel, 0xE8E8E8);
    EXPECT_EQ(out.ControlBackgroundnor, static_cast<int32_t>(0xFF000005u));
    EXPECT_EQ(out.ControlChannelName, 0x800000);
    EXPECT_EQ(out.ControlText, static_cast<int32_t>(0xFF000008u));
    EXPECT_EQ(out.ControlSelect, 0xF0CAA6);
}

TEST_F(SettingsForm, ColourBoxesDrawEverySystemColourAsTheChannelListDoes) {
    // A palette in which every role of every group has a colour of its own.
    QPalette palette;
    for (int g = 0; g < 3; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r)
            palette.setColor(static_cast<QPalette::ColorGroup>(g), static_cast<QPalette::ColorRole>(r),
                             QColor(40 + 80 * g, 5 + 11 * r, 200));
    struct TPaletteScope {
        QPalette Previous = QApplication::palette();
        explicit TPaletteScope(const QPalette& p) { QApplication::setPalette(p); }
        ~TPaletteScope() { QApplication::setPalette(Previous); }
    } applied(palette);
    const struct {
        const char* Name;
        QPalette::ColorGroup Group;
        QPalette::ColorRole Role;
    } cases[] = {
        {"clScrollBar", QPalette::Active, QPalette::Button},
        {"clBackground", QPalette::Active, QPalette::Dark},
        {"clActiveCaption", QPalette::Active, QPalette::Highlight},
        {"clInactiveCaption", QPalette::Inactive, QPalette::Mid},
        {"clMenu", QPalette::Active, QPalette::Window},
        {"clWindow", QPalette::Active, QPalette::Base},
        {"clWindowFrame", QPalette::Active, QPalette::Shadow},
        {"clMenuText", QPalette::Active, QPalette::WindowText},
        {"clWindowText", QPalette::Active, QPalette::Text},
        {"clCaptionText", QPalette::Active, QPalette::HighlightedText},
        {"clActiveBorder", QPalette::Active, QPalette::Button},
        {"clInactiveBorder", QPalette::Active, QPalette::Button},
        {"clAppWorkSpace", QPalette::Active, QPalette::Mid},
        {"clHighlight", QPalette::Active, QPalette::Highlight},
        {"clHighlightText", QPalette::Active, QPalette::HighlightedText},
        {"clBtnFace", QPalette::Active, QPalette::Button},
        {"clBtnShadow", QPalette::Active, QPalette::Dark},
        {"clGrayText", QPalette::Disabled, QPalette::Text},
        {"clBtnText", QPalette::Active, QPalette::ButtonText},
        {"clInactiveCaptionText", QPalette::Inactive, QPalette::WindowText},
        {"clBtnHighlight", QPalette::Active, QPalette::Light},
        {"cl3DDkShadow", QPalette::Active, QPalette::Shadow},
        {"cl3DLight", QPalette::Active, QPalette::Midlight},
        {"clInfoText", QPalette::Active, QPalette::ToolTipText},
        {"clInfoBk", QPalette::Active, QPalette::ToolTipBase},
        {"clHotLight", QPalette::Active, QPalette::Link},
        {"clGradientActiveCaption", QPalette::Active, QPalette::Highlight},
        {"clGradientInactiveCaption", QPalette::Inactive, QPalette::Mid},
        {"clMenuHighlight", QPalette::Active, QPalette::Highlight},
        {"clMenuBar", QPalette::Active, QPalette::Window},
    };
    auto form = Open(TSettings{});
    const auto swatch = [](const TColorBox& box, const char* name) {
        const int index = box.findText(QString::fromLatin1(name));
        EXPECT_GE(index, 0) << name;
        return QColor(box.itemIcon(index).pixmap(QSize(16, 12)).toImage().pixel(8, 6));
    };
    for (const TColorBox* box : {form->cbControlFG, form->cbControlText})
        for (const auto& c : cases)
            EXPECT_EQ(swatch(*box, c.Name), palette.color(c.Group, c.Role)) << c.Name;
    // Plain colours stay as they are.
    EXPECT_EQ(swatch(*form->cbControlFG, "clNavy"), QColor(0, 0, 0x80));
}

TEST_F(SettingsForm, ColourNamesLoseTheirPrefixInGerman) {
    SetLangOffset(LangGerman);
    auto german = Open(TSettings{});
    EXPECT_EQ(german->cbControlFG->currentText(), QStringLiteral("Gray"));
    SetLangOffset(LangEnglish);
    auto english = Open(TSettings{});
    EXPECT_EQ(english->cbControlFG->currentText(), QStringLiteral("clGray"));
}

TEST_F(SettingsForm, LanListIsSortedAddsNoDuplicateAndDeletesEverySelectedRow) {
    auto form = Open(TSettings{}, {"10.0.0.9:15000", "10.0.0.10:15000", "127.0.0.2:15000"});
    EXPECT_EQ(form->LANAddresses(),
              (std::vector<std::string>{"10.0.0.10:15000", "10.0.0.9:15000", "127.0.0.2:15000"}));
    EXPECT_EQ(form->ShownLANList, "10.0.0.10:15000,10.0.0.9:15000,127.0.0.2:15000");

    int opened = 0;
    modal->On("qrb::ui::TAddLANAddressForm", [&](QDialog& d) {
        auto& f = static_cast<TAddLANAddressForm&>(d);
        ++opened;
        EXPECT_EQ(f.windowTitle(), ToQt(GetText(290)));
        EXPECT_EQ(f.lbLANText->text(), ToQt(GetText(291)));
        EXPECT_FALSE(f.btnApplyLAN->isEnabled());
        EXPECT_FALSE(f.seMask1->isEnabled());
        EXPECT_FALSE(f.seLANport->isEnabled());
        EXPECT_EQ(f.seLANport->value(), 15000);
        f.seLANadr1->setValue(127);
        f.seLANadr2->setValue(0);
        f.seLANadr3->setValue(0);
        f.seLANadr4->setValue(1);
        EXPECT_TRUE(f.btnApplyLAN->isEnabled());
        f.btnApplyLAN->click();
    });
    form->btnIntfAdd->click();
    form->btnIntfAdd->click();
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(form->LANAddresses(), (std::vector<std::string>{"10.0.0.10:15000", "10.0.0.9:15000",
                                                              "127.0.0.1:15000", "127.0.0.2:15000"}));

    // Cancel adds nothing.
    modal->On("qrb::ui::TAddLANAddressForm", [](QDialog& d) {
        static_cast<TAddLANAddressForm&>(d).seLANadr1->setValue(1);
        d.reject();
    });
    form->btnIntfAdd->click();
    EXPECT_EQ(form->LANAddresses().size(), 4u);

    EXPECT_FALSE(form->btnIntfDel->isEnabled());
    for (int row : {0, 2, 3})
        form->lb_lanaddress->item(row)->setSelected(true);
    EXPECT_TRUE(form->btnIntfDel->isEnabled());
    form->btnIntfDel->click();
    EXPECT_EQ(form->LANAddresses(), (std::vector<std::string>{"10.0.0.9:15000"}));
    EXPECT_FALSE(form->btnIntfDel->isEnabled());
}

TEST_F(SettingsForm, UncheckingLanHidesTheListAndKeepsItsRows) {
    TSettings s;
    s.Interfaces = device::kMaskLAN;
    auto form = Open(s, {"127.0.0.3:15000"});
    EXPECT_TRUE(form->gbLAN->isVisible());
    EXPECT_FALSE(form->gbUSB->isVisible());
    form->cbLAN->click();
    EXPECT_FALSE(form->gbLAN->isVisible());
    form->cbUSB->click();
    EXPECT_TRUE(form->gbUSB->isVisible());
    TSettings out;
    form->StoreOptions(out);
    EXPECT_EQ(out.LANAddresses, "127.0.0.3:15000");
    EXPECT_EQ(out.Interfaces, device::kMaskUSB);
}

TEST_F(SettingsForm, ReCheckIntervalIsEnabledWithItsBox) {
    TSettings s;
    s.TimedReCheck = false;
    auto form = Open(s);
    EXPECT_FALSE(form->seTimedReCheckIntv->isEnabled());
    form->cbTimedReCheck->click();
    EXPECT_TRUE(form->seTimedReCheckIntv->isEnabled());
    form->cbKeepADC8quiet->click();
    EXPECT_TRUE(form->seTimedReCheckIntv->isEnabled());
}

TEST_F(SettingsForm, FanQuestionOnlyForANewSlowIndexAndNoKeepsTheDialogOpen) {
    const struct {
        int From, To;
        bool Asks;
    } cases[] = {{3, 3, false}, {3, 2, true}, {1, 0, false}, {0, 4, true}, {2, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.From * 10 + c.To);
        TSettings s;
        s.FanSpeed = c.From;
        auto form = Open(s);
        form->cbFanControl->setCurrentIndex(c.To);
        script.Clear();
        script.Answers = {"7"};
        form->btnOK->click();
        ASSERT_EQ(script.Records.size(), c.Asks ? 1u : 0u);
        if (c.Asks) {
            EXPECT_EQ(script.Records[0].Caption, GetText(1821));
            EXPECT_EQ(script.Records[0].Header, GetText(1822));
            EXPECT_EQ(script.Records[0].Text, GetText(1823));
            EXPECT_TRUE(form->isVisible());
            EXPECT_EQ(form->result(), 0);
            script.Answers = {"6"};
            form->btnOK->click();
        }
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(form->result(), QDialog::Accepted);
    }
}

TEST_F(SettingsForm, ChangedLanListCountsOnlyWhenTheDialogClosesWithOk) {
    TSettings s;
    s.FanSpeed = 1;
    auto form = Open(s, {"127.0.0.3:15000"});
    form->AddLANAddress("127.0.0.4:15000");
    form->cbFanControl->setCurrentIndex(3);
    script.Answers = {"7"};
    form->btnOK->click();
    EXPECT_TRUE(form->isVisible());
    // Declined: the dialog stays open, and the change has not counted yet.
    EXPECT_FALSE(form->DevicesChanged);
    form->btnCancel->click();
    EXPECT_FALSE(form->DevicesChanged);

    auto again = Open(s, {"127.0.0.3:15000"});
    again->AddLANAddress("127.0.0.4:15000");
    again->btnOK->click();
    EXPECT_TRUE(again->DevicesChanged);
    auto unchanged = Open(s, {"127.0.0.3:15000"});
    unchanged->AddLANAddress("127.0.0.4:15000");
    unchanged->btnIntfDel->setEnabled(true);
    unchanged->lb_lanaddress->item(1)->setSelected(true);
    unchanged->btnIntfDel->click();
    unchanged->btnOK->click();
    EXPECT_FALSE(unchanged->DevicesChanged);
}

TEST_F(SettingsForm, SetupButtonsFollowTheFirmwareLibrary) {
    {
        auto form = Open(TSettings{});
        EXPECT_FALSE(form->FWLibLoaded);
        EXPECT_FALSE(form->btnUSBSetup->isEnabled());
        EXPECT_FALSE(form->btnLANSetup->isEnabled());
    }
    SetFWLibraryPath(QRB_FAKE_FWLIB);
    {
        auto form = Open(TSettings{});
        EXPECT_TRUE(form->FWLibLoaded);
        EXPECT_TRUE(FWLibLoaded());
        EXPECT_TRUE(form->btnUSBSetup->isEnabled());
        EXPECT_TRUE(form->btnLANSetup->isEnabled());
    }
    // Held for the dialog's lifetime only.
    EXPECT_FALSE(FWLibLoaded());
}

TEST_F(SettingsForm, MissingLibraryBoxAtTheFirstOpeningOnlyAndAWrongOneAtEvery) {
    ResetFWLibReport();
    script.Clear();
    Open(TSettings{});
    Open(TSettings{});
    ASSERT_EQ(script.MessageTexts().size(), 1u);
    EXPECT_NE(script.MessageTexts()[0].find("librozezerir.so"), std::string::npos);

    script.Clear();
    SetFWLibraryPath(QRB_FAKE_FWLIB_NOINIT);
    Open(TSettings{});
    Open(TSettings{});
    const std::string wrong = "Falsche Version von / Wrong version of: \"rozezerir.dll\"\r\n\r\n"
                              "Error on loading library function:  QRBFWInit";
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{wrong, wrong}));
}

TEST_F(SettingsForm, PortTextIsShortenedAndTheCutEndsWhenNothingIsLeft) {
    QFont font;
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    EXPECT_EQ(ShortenPortText(metrics, QStringLiteral("15000"), 500), QStringLiteral("15000"));
    const QString cut =
        ShortenPortText(metrics, QStringLiteral("150001500015000"), metrics.horizontalAdvance("150..."));
    EXPECT_TRUE(cut.endsWith(QStringLiteral("...")));
    EXPECT_LT(cut.size(), 15);
    // A row narrower than the port column: the loop ends with nothing left to cut.
    EXPECT_EQ(ShortenPortText(metrics, QStringLiteral("15000"), -145), QStringLiteral("..."));
}

TEST_F(SettingsForm, CommaTextQuotesWhatTheSplitWouldBreak) {
    EXPECT_EQ(CommaText({"a:1", "b:2"}), "a:1,b:2");
    EXPECT_EQ(CommaText({"a b", "c,d", "e\"f", ""}), "\"a b\",\"c,d\",\"e\"\"f\",");
}

TEST_F(SettingsForm, ControlsGetTheirSizeHintsInBothLanguages) {
    for (uint16_t lang : {LangGerman, LangEnglish}) {
        SetLangOffset(lang);
        TSettings s;
        s.Interfaces = device::kMaskUSB | device::kMaskLAN;
        s.TimedReCheck = true;
        auto form = Open(s, {"127.0.0.1:15000"});
        test::ExpectControlsGetTheirSizeHints(*form, lang == LangGerman ? "settings de" : "settings en");
        TAddLANAddressForm address;
        address.lbLANHeader->setText(ToQt(GetText(1863)));
        address.lbLANText->setText(ToQt(GetText(1864)));
        address.lbIPAddress->setText(ToQt(GetText(1865)));
        address.btnApplyLAN->setText(ToQt(GetText(452)));
        address.btnCancelLAN->setText(ToQt(GetText(453)));
        test::ExpectControlsGetTheirSizeHints(address, lang == LangGerman ? "address de" : "address en");
    }
}

} // namespace
} // namespace qrb::ui
