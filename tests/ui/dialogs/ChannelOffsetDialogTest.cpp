// The channel offset window: the coupled track bar and spin edit, the limited range, the
// presets, Apply (snapshot rule, the relay-off zero, skipped channels, the pending power DAC,
// the clamp) and Enter in the spin edit; its placement beside the clicked row inside the screen,
// its texts and sizes in both languages.

#include "ui/dialogs/ChannelOffsetDialog.h"
#include "tests/ui/channels/ChannelsTestSupport.h"
#include "tests/ui/dialogs/DialogTestSupport.h"
#include "ui/texts/Texts.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

namespace qrb::test {
namespace {

class OffsetForm : public ChannelsFixture {
protected:
    std::unique_ptr<ui::TChannelOffsetForm> form;
    QRadioButton* adHoc = nullptr;
    int applied = 0;

    void SetUp() override {
        ChannelsFixture::SetUp();
        Scan({"A-4:3"});
        form = std::make_unique<ui::TChannelOffsetForm>();
        form->Translator = translator.get();
        form->AdHocButton = page->AdHocMode;
        form->PendingFlag = &fields.ChangesPending;
        form->OnApplied = [this](bool clear) {
            EXPECT_TRUE(clear);
            ++applied;
        };
    }
    void TearDown() override {
        form.reset();
        ChannelsFixture::TearDown();
    }
};

TEST_F(OffsetForm, TrackBarAndSpinEditFollowEachOther) {
    const std::vector<std::pair<int, int>> spinToTrack = {{15, -1}, {-5, 0}, {-15, 1}, {1000, -100}, {0, 0}};
    for (const auto& [spin, track] : spinToTrack) {
        form->seOffset->setValue(spin);
        EXPECT_EQ(form->trbOffset->value(), track) << spin;
        EXPECT_EQ(form->seOffset->value(), spin); // not called back
    }
    form->trbOffset->setValue(30);
    EXPECT_EQ(form->seOffset->value(), -300);
}

TEST_F(OffsetForm, LimitedRangeAndLabels) {
    EXPECT_EQ(form->seOffset->maximum(), 2000);
    EXPECT_EQ(form->trbOffset->minimum(), -200);
    EXPECT_EQ(form->lbMaxFSR->text(), QStringLiteral("200% FSR"));
    form->SetLimited(true);
    form->seOffset->setValue(1500);
    EXPECT_EQ(form->seOffset->value(), 1000);
    form->seOffset->setValue(-1500);
    EXPECT_EQ(form->seOffset->value(), -1000);
    EXPECT_EQ(form->trbOffset->maximum(), 100);
    EXPECT_EQ(form->lbMaxFSR->text(), QStringLiteral("100% FSR"));
    EXPECT_EQ(form->lbMinFSR->text(), QStringLiteral("-100% FSR"));
}

TEST_F(OffsetForm, PresetsSetBothControls) {
    const struct {
        int Button, Track, Spin;
        const char* Caption;
    } presets[] = {{1, 0, 0, "0%"},
                   {2, 50, -500, "-50%"},
                   {3, 100, -1000, "-100%"},
                   {4, -50, 500, "50%"},
                   {5, -100, 1000, "100%"}};
    const std::array<QToolButton*, 5> buttons = {form->SpeedButton1, form->SpeedButton2, form->SpeedButton3,
                                                 form->SpeedButton4, form->SpeedButton5};
    for (const auto& p : presets) {
        SCOPED_TRACE(p.Button);
        buttons[static_cast<size_t>(p.Button - 1)]->click();
        EXPECT_EQ(form->trbOffset->value(), p.Track);
        EXPECT_EQ(form->seOffset->value(), p.Spin);
        EXPECT_EQ(buttons[static_cast<size_t>(p.Button - 1)]->text(), QString::fromLatin1(p.Caption));
    }
}

TEST_F(OffsetForm, CheckBoxShowsTheGroup) {
    form->show();
    form->cbOffsetActive->setChecked(true);
    EXPECT_TRUE(form->gbxOffset->isVisible());
    form->cbOffsetActive->setChecked(false);
    EXPECT_FALSE(form->gbxOffset->isVisible());
    EXPECT_EQ(form->cbOffsetActive->text(), QStringLiteral(" Offset aktiv"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Offset"));
}

TEST_F(OffsetForm, ApplyWritesEverySelectedPresentChannelKeepingThePendingPowerDAC) {
    SetType(0, model::stICP);
    SetType(1, model::stICP);
    SetType(2, model::stICP);
    // A pending power DAC change the offset must not undo.
    ASSERT_TRUE(translator->SetDACs(0, 700, Ch(0).OffsetDACCache));
    Ch(2).Present = false;
    SelectRows({0, 1, 2});
    translator->Selected[0] = translator->Selected[1] = translator->Selected[2] = true;
    const uint16_t untouched = Ch(3).OffsetDACCache;
    form->cbOffsetActive->setChecked(true);
    form->seOffset->setValue(5); // 5.12 counts: 2053
    form->btnApplyClick();
    EXPECT_EQ(Ch(0).OffsetDACCache, 2053);
    EXPECT_EQ(Ch(0).PowerDACCache, 700);
    EXPECT_EQ(Ch(0).OffsetCache, 1);
    EXPECT_EQ(Ch(1).OffsetDACCache, 2053);
    EXPECT_EQ(Ch(2).OffsetCache, 0); // not present: skipped
    EXPECT_EQ(Ch(3).OffsetDACCache, untouched);
    EXPECT_TRUE(fields.ChangesPending);
    EXPECT_EQ(applied, 1);

    // The largest setting on an uncalibrated channel: 2048 + 2048 counts give 4095.
    form->seOffset->setValue(2000);
    form->btnApplyClick();
    EXPECT_EQ(Ch(0).OffsetDACCache, 4095);
    form->seOffset->setValue(-2000);
    form->btnApplyClick();
    EXPECT_EQ(Ch(0).OffsetDACCache, 0);

    // Unchecked: the relay-off zero and the relay off.
    form->cbOffsetActive->setChecked(false);
    form->btnApplyClick();
    EXPECT_EQ(Ch(0).OffsetDACCache, 2048);
    EXPECT_EQ(Ch(0).OffsetCache, 0);
    EXPECT_EQ(Ch(0).PowerDACCache, 700);
}

TEST_F(OffsetForm, CalibratedZeroOfTheRelaySlot) {
    SetType(0, model::stVolt);
    model::TQRBRawChannel& c = Ch(0);
    c.Calibration.SetSource("QRBCAL730");
    c.Calibration.AdjustMarker = 174;
    c.Calibration.ZeroOffsets[c.CouplingCache][c.RangeCache] = {2000, 2100};
    EXPECT_EQ(ui::OffsetZero(c, false), 2000);
    EXPECT_EQ(ui::OffsetZero(c, true), 2100);
    EXPECT_EQ(ui::OffsetDACValue(c, 1000), 2100 + 1024);
    SelectRows({0});
    translator->Selected[0] = true;
    form->cbOffsetActive->setChecked(false);
    form->btnApplyClick();
    EXPECT_EQ(c.OffsetDACCache, 2000);
    c.Calibration.AdjustMarker = 8; // not usable: the neutral zero
    EXPECT_EQ(ui::OffsetZero(c, true), 2048);
}

TEST_F(OffsetForm, SnapshotOnlyInSetupModeWithNothingPending) {
    SetType(0, model::stVolt);
    translator->Selected[0] = true;
    page->SetupMode->setChecked(true);
    form->cbOffsetActive->setChecked(true);
    form->seOffset->setValue(100);
    fields.ChangesPending = false;
    form->btnApplyClick();
    ASSERT_TRUE(Ch(0).SnapshotValid);
    ASSERT_TRUE(fields.ChangesPending);
    // A commit in setup mode, whoever makes it, leaves a fresh snapshot and nothing pending.
    ASSERT_TRUE(translator->NewConfig(0, true));
    const device::TChannelImage snapshot = Ch(0).Snapshot;
    EXPECT_EQ(snapshot, Ch(0).Current);
    EXPECT_FALSE(fields.ChangesPending);
    // Apply again twice: the first takes the snapshot, with changes pending it stays.
    form->seOffset->setValue(200);
    form->btnApplyClick();
    form->seOffset->setValue(300);
    form->btnApplyClick();
    EXPECT_EQ(Ch(0).Snapshot, snapshot);
    EXPECT_NE(Ch(0).Pending, snapshot);
    // Ad-hoc mode never takes one.
    page->AdHocMode->setChecked(true);
    fields.ChangesPending = false;
    form->btnApplyClick();
    EXPECT_EQ(Ch(0).Snapshot, snapshot);
}

TEST_F(OffsetForm, EnterInTheSpinEditAppliesWithoutClosing) {
    translator->Selected[0] = true;
    form->show();
    form->cbOffsetActive->setChecked(true);
    form->seOffset->setFocus();
    form->seOffset->setValue(250);
    QTest::keyClick(form->seOffset, Qt::Key_Return);
    EXPECT_EQ(applied, 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->result(), 0);
    EXPECT_EQ(Ch(0).OffsetDACCache, 2048 + 256);
}

TEST_F(OffsetForm, OpensBesideTheClickedRowInsideTheScreen) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    SetType(0, model::stVolt);
    SetType(3, model::stVolt);
    // Four rows above the bottom edge, the offset column in the middle of the screen.
    const QPoint low(area.left() - 400, area.bottom() - 4 * ui::kChannelRowHeight);
    const struct {
        const char* Name;
        QPoint Window; // where the list's window is
        int Row;
        bool Active;     // the offset is on when the window opens
        bool CheckAfter; // the user switches it on in the open window
    } cases[] = {
        {"inside: 40 pixels left of the click", QPoint(area.left() - 400, area.top()), 0, true, false},
        {"right edge of a wide window", area.topLeft(), 0, true, false},
        {"bottom edge", low, 3, true, false},
        {"grows past the bottom when switched on", low, 3, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // A window of its own for each case: a reused one keeps the size it grew to.
        form = std::make_unique<ui::TChannelOffsetForm>();
        menus->OffsetForm = form.get();
        page->Window.move(c.Window);
        page->Window.show();
        SelectRows({c.Row});
        ASSERT_TRUE(translator->SetOffset(c.Row, c.Active ? 1 : 0));
        std::vector<QRect> frames;
        QRect client;
        menus->ExecDialog = [&](QDialog& dialog) {
            dialog.show();
            QApplication::processEvents();
            frames.push_back(dialog.frameGeometry());
            client = dialog.geometry();
            if (c.CheckAfter) {
                form->cbOffsetActive->setChecked(true);
                QApplication::processEvents();
                frames.push_back(dialog.frameGeometry());
            }
            dialog.hide();
            return int(QDialog::Rejected);
        };
        RightClick(750, c.Row);
        ASSERT_EQ(frames.size(), c.CheckAfter ? 2u : 1u);
        for (const QRect& frame : frames)
            EXPECT_TRUE(area.contains(frame))
                << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        const QPoint click = page->List->viewport()->mapToGlobal(
            QPoint(750, c.Row * ui::kChannelRowHeight + ui::kChannelRowHeight / 2));
        // Where it fits, the window keeps the wanted place (its frame or its client area there).
        if (c.Window.x() < area.left()) {
            EXPECT_LE(frames[0].left(), click.x() - 40);
            EXPECT_GE(client.left(), click.x() - 40);
        }
        if (c.Row == 0) {
            EXPECT_LE(frames[0].top(), click.y());
            EXPECT_GE(client.top(), click.y());
        }
    }
}

TEST_F(OffsetForm, CancelFromTheTextTableAndSizeHintsInBothLanguages) {
    for (uint16_t lang : {ui::LangGerman, ui::LangEnglish}) {
        ui::SetLangOffset(lang);
        const char* language = lang == ui::LangGerman ? "German" : "English";
        form->cbOffsetActive->setChecked(true);
        form->cbOffsetActiveClick();
        form->btnApply->setText(QString::fromStdString(ui::GetText(452)));
        ExpectControlsGetTheirSizeHints(*form, language);
        EXPECT_EQ(form->BitBtn2->text().toStdString(), ui::GetText(453)) << language;
    }
    EXPECT_EQ(form->BitBtn2->text(), QStringLiteral("Cancel"));
    ui::SetLangOffset(ui::LangGerman);
    form->show();
    EXPECT_EQ(form->BitBtn2->text(), QStringLiteral("Abbrechen"));
    form->hide();
    ui::SetLangOffset(ui::LangEnglish);
}

TEST(OffsetValues, PendingOffsetShownAndRounding) {
    ChannelsApplication();
    model::TQRBRawChannel ch(0, 0, 0, 0, device::TInterfaceKind::ikOffline, nullptr);
    ch.OffsetCache = 1;
    ch.OffsetDACCache = 2048 + 512;
    EXPECT_EQ(ui::OffsetPerMille(ch), 500);
    ch.OffsetDACCache = 2048 - 3; // -2.93 per mille
    EXPECT_EQ(ui::OffsetPerMille(ch), -3);
    ch.OffsetCache = 0;
    EXPECT_EQ(ui::OffsetPerMille(ch), 0);
    // To the nearest count: 5.12 and -3.07 counts.
    EXPECT_EQ(ui::OffsetDACValue(ch, 5), 2048 + 5);
    EXPECT_EQ(ui::OffsetDACValue(ch, -3), 2048 - 3);
    EXPECT_EQ(ui::OffsetDACValue(ch, 125), 2048 + 128);
}

} // namespace
} // namespace qrb::test
