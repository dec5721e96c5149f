// The zero adjustment dialog against the fake LAN amplifier, whose 18-bit converters follow the
// offset DAC of the image each slot runs and whose calibration EEPROM keeps what is written to
// it: the row list, the bar maxima, a ground-only run with and without storing, the clearing
// run, aborts, a step that never settles, a failed store and a device lost midway.

#include "ui/dialogs/ZeroAdjust.h"

#include "device/HWVocabulary.h"
#include "device/lan/I2CLANControl.h"
#include "model/I2CTranslator.h"
#include "tests/support/ChipAmplifier.h"
#include "tests/support/ChipEmulations.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/LanTestTransports.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/LoopbackClient.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/dialogs/DialogTestSupport.h"
#include "tests/ui/platform/OnScreenTestSupport.h"
#include "ui/ConfigServerControl.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <span>

namespace qrb::test {
namespace {

constexpr int kChannels = 4;
constexpr uint16_t kOldOffset = 2700;
// 2026-12-10 in the class library's day count.
constexpr device::TDateTime kRunDay = 46366.5;
constexpr const char* kRunDate = "2026-12-10";

// An adjusted table as a channel may hold it from an earlier run.
device::TChannelCalibTable OldTable(int slot) {
    device::TChannelCalibTable table;
    table.SetSource("QRBCAL730");
    table.AdjustMarker = 174;
    table.CalibDate.SetText("2020-01-01");
    for (auto& coupling : table.ZeroOffsets)
        for (auto& pair : coupling)
            pair = {static_cast<uint16_t>(kOldOffset + slot), 2048};
    return table;
}

// A fake amplifier with a converter of adcs and an earlier run's table in each slot.
std::unique_ptr<TFakeLanAmplifier> AdjustableAmp(std::span<TADC18Emulation> adcs) {
    TFakeAmpConfig config;
    config.Channels = static_cast<int32_t>(adcs.size());
    config.Version = 2;
    auto amp = std::make_unique<TFakeLanAmplifier>(config);
    for (int s = 0; s < config.Channels; ++s) {
        amp->SetChip(s, 0x68, &adcs[static_cast<size_t>(s)]);
        amp->SetCalibTable(s, OldTable(s));
    }
    return amp;
}

// The converters follow what the amplifier stores; ground reads -200, the signal 300 + 30 per slot.
void SetUpConverters(std::span<TADC18Emulation> adcs, TFakeLanAmplifier& amp, int variant) {
    for (int s = 0; s < static_cast<int>(adcs.size()); ++s) {
        TADC18Emulation& adc = adcs[static_cast<size_t>(s)];
        FollowStoredImages(adc, amp.StoredImage(s), variant);
        adc.SetZeroReference(-200);
        adc.SetSignal(300 + 30 * s);
    }
}

class ZeroAdjust : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        savedLanguage = ui::LangOffset();
        ui::SetLangOffset(ui::LangEnglish);
        amp = AdjustableAmp(adcs);
        translator = std::make_unique<model::TI2CTranslator>(device::kMaskLAN, false, LanOnlyTransports());
        translator->OnConfigComplete = [](const void*) {};
        translator->OnDeviceLost = [this](const void*, const std::string& host) {
            lostHosts.push_back(host);
        };
        translator->AddScanTarget(amp->Target(), device::kMaskLAN);
        ASSERT_EQ(translator->Rescan(), kChannels);
        SetUpConverters(adcs, *amp, translator->GetChannel(0)->HWVersion);
        const uint8_t range = Ch(0).RangeCache;
        for (int r = 0; r < static_cast<int>(device::kRangeCount); ++r) {
            translator->SetRange(0, static_cast<uint8_t>(r));
            ASSERT_TRUE(translator->NewConfig(0, true));
            taken.push_back(Ch(0).RangeCache == r);
            takenAs4.push_back(Ch(0).RangeCache == 4);
        }
        translator->SetRange(0, range);
        ASSERT_TRUE(translator->NewConfig(0, true));
        form = std::make_unique<ui::TZeroAdjustForm>();
        form->Translator = translator.get();
        form->Today = [] { return kRunDay; };
        form->ProcessPending = [this] {
            QCoreApplication::processEvents();
            loop.Step();
            const std::string text = ui::FromQt(form->stAction->text());
            if (actions.empty() || actions.back() != text) actions.push_back(text);
            if (OnPending) OnPending(text);
        };
        form->show();
    }
    void TearDown() override {
        form.reset();
        translator.reset();
        amp.reset();
        ui::SetLangOffset(savedLanguage);
    }

    // The expected offset DAC of zero output on a slot: the reading follows Signal - 0.6 (DAC - 2048).
    static int ExpectedZero(int slot) { return 2048 + static_cast<int>((500 + 30 * slot) / 0.6 + 0.5); }

    void Check(std::initializer_list<int> rows) {
        for (int row = 0; row < form->clbCalib->count(); ++row)
            form->clbCalib->item(row)->setCheckState(Qt::Unchecked);
        for (int row : rows)
            form->clbCalib->item(row)->setCheckState(Qt::Checked);
    }
    bool Seen(const std::string& text) const {
        return std::find(actions.begin(), actions.end(), text) != actions.end();
    }
    size_t Confirms() const {
        size_t n = 0;
        for (const auto& r : script.Records)
            n += r.Kind == ui::TMessageKind::Confirm;
        return n;
    }
    // The prefix of a step's action line.
    static std::string StepLine(int channel, int coupling, int range) {
        return device::Format("   %2.2d:  %s  (%s)", channel,
                              device::CouplingToText(static_cast<uint8_t>(coupling)),
                              device::VoltageRangeToText(2, static_cast<uint8_t>(range))) +
               " ... ";
    }
    // The slot runs its default image (word 0 carries the sensor type instead).
    bool RunsDefaults(int slot) {
        const device::TRegisterImage held = amp->StoredImage(slot);
        const device::TRegisterImage& defaults = Ch(slot).Info.Defaults;
        return std::equal(held.Words.begin() + 1, held.Words.end(), defaults.Words.begin() + 1);
    }
    // From a pending-events pass: the channel's converter stops following the DAC for the steps
    // that run range 4 at coupling 0.
    void NeverSettlesAtRange4(int channel, const std::string& text) {
        if (text.rfind(device::Format("   %2.2d:  ", channel), 0) != 0 ||
            text.find(" ... ") == std::string::npos || text.size() != text.find(" ... ") + 5)
            return;
        bool range4 = false;
        for (int r = 0; r < static_cast<int>(device::kRangeCount); ++r)
            if (text == StepLine(channel, 0, r)) range4 = takenAs4[static_cast<size_t>(r)];
        adcs[static_cast<size_t>(channel - 1)].SetValueSource(
            range4 ? std::function<int32_t(const TAnalogInputs&)>(
                         [](const TAnalogInputs& in) { return in.ZeroInput ? 40000 : -200; })
                   : nullptr);
    }
    model::TQRBRawChannel& Ch(int i) { return *translator->GetChannel(i); }
    std::string Action() const { return ui::FromQt(form->stAction->text()); }

    uint16_t savedLanguage = 0;
    TVirtualMainLoop loop;
    device::TScopedMainLoop scope{loop};
    ui::TScriptedMessageService script;
    ui::TScopedMessageService installed{script};
    std::array<TADC18Emulation, kChannels> adcs;
    std::unique_ptr<TFakeLanAmplifier> amp;
    std::unique_ptr<model::TI2CTranslator> translator;
    std::unique_ptr<ui::TZeroAdjustForm> form;
    std::vector<std::string> actions;
    std::vector<std::string> lostHosts;
    std::function<void(const std::string&)> OnPending;
    // Per asked range: the channel runs that range, or range 4 (ranges 1 and 3 fall back to range
    // 4 on the fake's hardware).
    std::vector<bool> taken;
    std::vector<bool> takenAs4;
};

TEST_F(ZeroAdjust, RowsListPresentDeviceChannelsOnly) {
    EXPECT_EQ(form->clbCalib->count(), kChannels);
    // A simulated channel and one that is not present get no row; the rows keep their indices.
    Ch(1).Kind = device::TInterfaceKind::ikOffline;
    Ch(2).Present = false;
    Ch(3).SetChannelName("Force X");
    form->FormShow();
    ASSERT_EQ(form->clbCalib->count(), 2);
    EXPECT_EQ(form->RowChannels, (std::vector<int32_t>{0, 3}));
    EXPECT_EQ(form->clbCalib->item(1)->text(), QStringLiteral("Force X - 01:04"));
    EXPECT_EQ(form->clbCalib->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(form->stAction->text(), QStringLiteral("   <n/a>"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Zeropoint adjustment"));
    EXPECT_EQ(form->btnOK->text(), QStringLiteral("Run"));
    EXPECT_EQ(form->btnCancel->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(form->cbSaveToChannel->isChecked());
    EXPECT_TRUE(form->cbSaveChannel->isChecked());
    EXPECT_FALSE(form->cbResetOffset->isChecked());
    EXPECT_FALSE(form->cbQuickAdjust->isChecked());
    EXPECT_FALSE(form->cbGNDonly->isChecked());
}

TEST_F(ZeroAdjust, BarMaximaAndControlStates) {
    EXPECT_EQ(form->pbChannel->maximum(), ui::kZeroStepsAll);
    EXPECT_EQ(form->pbTotal->maximum(), kChannels);
    form->cbGNDonly->setChecked(true);
    EXPECT_EQ(form->pbChannel->maximum(), ui::kZeroStepsGndOnly);
    Check({1, 3});
    EXPECT_EQ(form->pbTotal->maximum(), 2);
    EXPECT_TRUE(form->btnOK->isEnabled());
    form->cbGNDonly->setChecked(false);
    EXPECT_EQ(form->pbChannel->maximum(), ui::kZeroStepsAll);
    Check({});
    EXPECT_FALSE(form->btnOK->isEnabled());

    form->cbResetOffset->setChecked(true);
    EXPECT_FALSE(form->cbSaveToChannel->isEnabled());
    EXPECT_FALSE(form->cbSaveChannel->isEnabled());
    EXPECT_FALSE(form->cbQuickAdjust->isEnabled());
    EXPECT_TRUE(form->cbGNDonly->isEnabled());
    form->cbResetOffset->setChecked(false);
    EXPECT_TRUE(form->cbSaveChannel->isEnabled());
    form->cbSaveToChannel->setChecked(false);
    EXPECT_FALSE(form->cbSaveChannel->isEnabled());
    EXPECT_TRUE(form->cbQuickAdjust->isEnabled());
}

// A second show event: the window hidden and shown again, or restored from minimised (the
// window manager's restore delivers a show event of its own).
enum class TReshow { HideAndShow, MinimiseAndRestore };

class ZeroAdjustReshow : public ZeroAdjust, public ::testing::WithParamInterface<TReshow> {
protected:
    void Reshow() {
        if (GetParam() == TReshow::HideAndShow) {
            form->hide();
            form->show();
        } else {
            form->showMinimized();
            form->showNormal();
            QShowEvent restored;
            QCoreApplication::sendEvent(form.get(), &restored);
        }
        QCoreApplication::processEvents();
    }
    std::vector<Qt::CheckState> Marks() const {
        std::vector<Qt::CheckState> marks;
        for (int row = 0; row < form->clbCalib->count(); ++row)
            marks.push_back(form->clbCalib->item(row)->checkState());
        return marks;
    }
};

TEST_P(ZeroAdjustReshow, KeepsTheRowsAndButtonsWhenIdle) {
    Check({});
    Reshow();
    EXPECT_EQ(form->clbCalib->count(), kChannels);
    EXPECT_EQ(Marks(), std::vector<Qt::CheckState>(kChannels, Qt::Unchecked));
    EXPECT_FALSE(form->btnOK->isEnabled());
    EXPECT_EQ(form->pbTotal->maximum(), 0);
}

TEST_P(ZeroAdjustReshow, KeepsTheRowsAndButtonsDuringARun) {
    form->cbGNDonly->setChecked(true);
    form->cbSaveToChannel->setChecked(false);
    Check({0, 2});
    const std::vector<Qt::CheckState> marks = Marks();
    bool reshown = false;
    OnPending = [&](const std::string& text) {
        if (text != StepLine(1, 0, 2) || reshown) return;
        reshown = true;
        Reshow();
        EXPECT_EQ(form->clbCalib->count(), kChannels);
        EXPECT_EQ(Marks(), marks);
        EXPECT_EQ(form->RowChannels, (std::vector<int32_t>{0, 1, 2, 3}));
        EXPECT_FALSE(form->btnOK->isEnabled());
        EXPECT_FALSE(form->gbOptions->isEnabled());
        EXPECT_EQ(form->pbTotal->maximum(), 2);
        EXPECT_EQ(form->btnCancel->text(), QStringLiteral("Cancel"));
    };
    const device::TRegisterImage unchecked = amp->StoredImage(1);
    form->btnOKClick();
    ASSERT_TRUE(reshown);
    EXPECT_EQ(Action(), "   Finished.");
    EXPECT_EQ(Marks(), marks);
    // The unchecked row's channel was not touched.
    EXPECT_TRUE(Seen("   03: Start"));
    EXPECT_FALSE(Seen("   02: Start"));
    EXPECT_EQ(amp->StoredImage(1), unchecked);
    EXPECT_EQ(form->pbTotal->value(), 2);
}

INSTANTIATE_TEST_SUITE_P(SecondShow, ZeroAdjustReshow,
                         ::testing::Values(TReshow::HideAndShow, TReshow::MinimiseAndRestore));

TEST_F(ZeroAdjust, GroundOnlyRunStoresUsableTablesThatANewScanReads) {
    form->cbGNDonly->setChecked(true);
    Check({0, 1});
    OnPending = [this](const std::string&) {
        // The progress shows while the run goes on, the options locked.
        EXPECT_FALSE(form->gbOptions->isEnabled());
        EXPECT_FALSE(form->btnOK->isEnabled());
    };
    form->btnOKClick();
    OnPending = nullptr;
    EXPECT_EQ(Action(), "   Finished.");
    EXPECT_TRUE(Seen(StepLine(1, 0, 25) + " OK "));
    EXPECT_TRUE(Seen("   02: stored!"));
    // Two pauses per stored channel, on the loop's clock.
    EXPECT_EQ(std::count(loop.Sleeps().begin(), loop.Sleeps().end(), 500u), 4);
    EXPECT_EQ(form->btnCancel->text(), QStringLiteral("Close"));
    EXPECT_EQ(form->pbChannel->value(), ui::kZeroStepsGndOnly);
    EXPECT_EQ(form->pbTotal->value(), 2);
    EXPECT_FALSE(form->btnOK->isEnabled());
    EXPECT_TRUE(form->gbOptions->isEnabled());

    std::array<device::TChannelCalibTable, 2> found;
    for (int s = 0; s < 2; ++s) {
        SCOPED_TRACE(s);
        const device::TChannelCalibTable& t = Ch(s).Calibration;
        found[static_cast<size_t>(s)] = t;
        EXPECT_EQ(t.Source(), "QRBCAL730");
        EXPECT_EQ(t.AdjustMarker, 174);
        EXPECT_EQ(t.CalibDate.Text(), kRunDate);
        for (size_t r = 0; r < device::kRangeCount; ++r) {
            // A range the hardware does not have keeps its old offsets.
            if (taken[r])
                EXPECT_NEAR(t.ZeroOffsets[0][r][0], ExpectedZero(s), 12) << r;
            else
                EXPECT_EQ(t.ZeroOffsets[0][r], OldTable(s).ZeroOffsets[0][r]) << r;
            for (size_t k = 1; k < device::kCouplingCount; ++k)
                EXPECT_EQ(t.ZeroOffsets[k][r], t.ZeroOffsets[0][r]) << k << " " << r;
        }
        EXPECT_EQ(amp->CalibTable(s), t);
        EXPECT_EQ(amp->StoredInfo(s).Defaults.Words[8], t.ZeroOffsets[0][4][0]);
        // Defaults loaded afterwards.
        EXPECT_TRUE(RunsDefaults(s));
    }
    EXPECT_EQ(amp->CalibWrites(2), 0u);
    EXPECT_EQ(amp->CalibTable(2), OldTable(2));

    // OK waits for a new check mark.
    form->clbCalib->setCurrentRow(0);
    EXPECT_FALSE(form->btnOK->isEnabled());
    form->clbCalib->item(2)->setCheckState(Qt::Checked);
    EXPECT_TRUE(form->btnOK->isEnabled());

    ASSERT_EQ(translator->Rescan(), kChannels);
    for (int s = 0; s < 2; ++s) {
        EXPECT_TRUE(Ch(s).Calibration.IsUsable());
        EXPECT_EQ(Ch(s).Calibration, found[static_cast<size_t>(s)]);
    }
    EXPECT_EQ(Ch(2).Calibration, OldTable(2));
}

TEST_F(ZeroAdjust, StoreOffWritesNothingButLoadsTheDefaults) {
    form->cbGNDonly->setChecked(true);
    form->cbSaveToChannel->setChecked(false);
    form->cbQuickAdjust->setChecked(true);
    Check({0, 2});
    const device::TChannelInfo before = amp->StoredInfo(0);
    form->btnOKClick();
    EXPECT_EQ(Action(), "   Finished.");
    for (int s = 0; s < kChannels; ++s)
        EXPECT_EQ(amp->CalibWrites(s), 0u) << s;
    EXPECT_EQ(amp->StoredInfo(0), before);
    for (int s : {0, 2}) {
        EXPECT_TRUE(RunsDefaults(s));
        EXPECT_NEAR(Ch(s).Calibration.ZeroOffsets[3][7][0], ExpectedZero(s), 12); // the model holds them
        EXPECT_EQ(Ch(s).Calibration.Source(), "QRBCAL730");
    }
    EXPECT_EQ(Ch(0).Calibration.CalibDate.Text(), "2020-01-01"); // not stamped
}

TEST_F(ZeroAdjust, QuickAdjustReadsOnceInsteadOfTheTranslatorsAverage) {
    form->cbGNDonly->setChecked(true);
    form->cbSaveToChannel->setChecked(false);
    translator->ZeroAverage = 5;
    std::array<int, 2> conversions{};
    for (bool quick : {true, false}) {
        Check({0});
        Ch(0).Calibration = OldTable(0); // the same start for both runs
        form->cbQuickAdjust->setChecked(quick);
        const int before = adcs[0].Conversions();
        form->btnOKClick();
        EXPECT_EQ(Action(), "   Finished.");
        conversions[quick ? 0 : 1] = adcs[0].Conversions() - before;
    }
    // Every reading of the run takes five samples instead of one.
    EXPECT_GT(conversions[1], 4 * conversions[0]);
}

TEST_F(ZeroAdjust, ClearingWritesTheNeutralTable) {
    form->cbResetOffset->setChecked(true);
    form->cbGNDonly->setChecked(true); // ignored by clearing
    device::TChannelCalibTable old = OldTable(1);
    old.CalibDate.Length = 0; // the length byte is not touched
    amp->SetCalibTable(1, old);
    ASSERT_EQ(translator->Rescan(), kChannels);
    form->FormShow();
    Check({1});
    script.Answers = {"6"};
    form->btnOKClick();
    ASSERT_EQ(Confirms(), 1u);
    EXPECT_EQ(script.Records[0].Caption, "Change offsettable");
    EXPECT_EQ(script.Records[0].Header, "Clear offsettable on selected channels");
    EXPECT_EQ(Action(), "   Finished.");
    const device::TChannelCalibTable t = amp->CalibTable(1);
    EXPECT_EQ(std::string(t.CalibSource.data(), t.CalibSource.size()), std::string("         \0", 10));
    EXPECT_EQ(t.AdjustMarker, 0);
    EXPECT_EQ(t.CalibDate.Length, 0);
    EXPECT_EQ(std::string(t.CalibDate.Chars.data(), 10), kRunDate);
    for (const auto& coupling : t.ZeroOffsets)
        for (const auto& pair : coupling)
            EXPECT_EQ(pair, (device::TChannelCalibTable::TOffsetPair{2048, 2048}));
    EXPECT_EQ(t.RangeFactors, old.RangeFactors);
    EXPECT_EQ(amp->StoredInfo(1).Defaults.Words[8], 2048);
    EXPECT_EQ(amp->CalibWrites(0), 0u);
    EXPECT_TRUE(Seen(StepLine(2, 6, 25)));

    // Answered No: nothing runs.
    form->clbCalib->item(0)->setCheckState(Qt::Checked);
    script.Answers = {"7"};
    form->btnOKClick();
    EXPECT_EQ(amp->CalibWrites(0), 0u);
}

class ZeroAdjustAbort : public ZeroAdjust, public ::testing::WithParamInterface<bool> {};

TEST_P(ZeroAdjustAbort, DuringTheThirdChannel) {
    const bool storeEach = GetParam();
    form->cbGNDonly->setChecked(true);
    form->cbSaveChannel->setChecked(storeEach);
    bool asked = false;
    OnPending = [&](const std::string& text) {
        if (text == StepLine(3, 0, 2) && !asked) {
            asked = true;
            // No first: the run goes on; then Escape and Yes.
            script.Answers = {"7"};
            form->btnCancel->click();
            EXPECT_FALSE(form->AbortRequested);
            script.Answers = {"6"};
            QTest::keyClick(form.get(), Qt::Key_Escape);
            EXPECT_TRUE(form->isVisible());
        }
    };
    form->btnOKClick();
    ASSERT_TRUE(asked);
    ASSERT_EQ(Confirms(), 2u);
    EXPECT_EQ(script.Records[0].Caption, "Confirm");
    EXPECT_EQ(script.Records[0].Header, "Abort running zeropoint adjustment");
    EXPECT_EQ(Action(), "   Aborted by user or error!");
    EXPECT_TRUE(Seen(StepLine(3, 0, 2) + " OK "));
    EXPECT_FALSE(Seen(StepLine(3, 0, 3)));
    EXPECT_FALSE(Seen("   04: Start"));
    for (int s = 0; s < kChannels; ++s) {
        SCOPED_TRACE(s);
        const bool stored = storeEach && s < 2;
        EXPECT_EQ(amp->CalibWrites(s) > 0, stored);
        EXPECT_EQ(amp->CalibTable(s).IsUsable(), true);
        if (!stored) {
            EXPECT_EQ(amp->CalibTable(s), OldTable(s));
        }
    }
    // The channel being adjusted still gets its defaults.
    EXPECT_TRUE(RunsDefaults(2));
    EXPECT_FALSE(form->Running);
}

INSTANTIATE_TEST_SUITE_P(StoreEachChannel, ZeroAdjustAbort, ::testing::Bool());

TEST_F(ZeroAdjust, AStepThatNeverSettlesKeepsItsOffsetsAndTheChannelItsTable) {
    form->cbGNDonly->setChecked(true);
    Check({0, 1});
    // Channel 2's converter stops following the DAC for coupling 0, range 4.
    OnPending = [this](const std::string& text) { NeverSettlesAtRange4(2, text); };
    const uint16_t before = Ch(1).Calibration.ZeroOffsets[0][4][0];
    const device::TChannelInfo infoBefore = amp->StoredInfo(1);
    form->btnOKClick();
    EXPECT_TRUE(Seen(StepLine(2, 0, 4) + " ERR "));
    EXPECT_TRUE(Seen(StepLine(2, 0, 5) + " OK ")); // the run goes on
    EXPECT_EQ(Action(), "   Aborted by user or error!");
    // The failed step keeps its offsets; the channel is neither stamped nor stored.
    EXPECT_EQ(Ch(1).Calibration.ZeroOffsets[0][4][0], before);
    EXPECT_EQ(Ch(1).Calibration.CalibDate.Text(), "2020-01-01");
    EXPECT_EQ(amp->CalibWrites(1), 0u);
    EXPECT_EQ(amp->StoredInfo(1), infoBefore);
    EXPECT_FALSE(Seen("   02: storing ..."));
    // Channel 1 was stored.
    EXPECT_GT(amp->CalibWrites(0), 0u);
    ASSERT_EQ(translator->Rescan(), kChannels);
    EXPECT_EQ(Ch(1).Calibration, OldTable(1));
    EXPECT_NEAR(Ch(0).Calibration.ZeroOffsets[0][4][0], ExpectedZero(0), 12);
}

TEST_F(ZeroAdjust, StoreAtTheEndSkipsAChannelWhoseDefaultsStepFailed) {
    form->cbGNDonly->setChecked(true);
    form->cbSaveChannel->setChecked(false);
    Check({0, 1});
    OnPending = [this](const std::string& text) { NeverSettlesAtRange4(1, text); };
    form->btnOKClick();
    EXPECT_EQ(Action(), "   Aborted by user or error!");
    EXPECT_EQ(amp->CalibWrites(0), 0u);
    EXPECT_GT(amp->CalibWrites(1), 0u);
    EXPECT_TRUE(amp->CalibTable(1).IsUsable());
    EXPECT_EQ(amp->CalibTable(1).CalibDate.Text(), kRunDate);
}

TEST_F(ZeroAdjust, AFailedStoreSkipsTheDefaults) {
    form->cbGNDonly->setChecked(true);
    Check({1});
    OnPending = [this](const std::string& text) {
        if (text == "   02: storing ...") {
            TFakeFault fault;
            fault.Code = 0x10003; // the first page written
            fault.Status = 0;
            amp->AddFault(fault);
        }
    };
    const device::TChannelInfo infoBefore = amp->StoredInfo(1);
    const uint16_t word8 = Ch(1).Info.Defaults.Words[8];
    form->btnOKClick();
    EXPECT_TRUE(Seen("   02: storing ... ERR "));
    EXPECT_FALSE(Seen("   02: please wait ..."));
    EXPECT_FALSE(Seen("   02: stored!"));
    EXPECT_EQ(amp->StoredInfo(1), infoBefore);
    EXPECT_EQ(Ch(1).Info.Defaults.Words[8], word8);
    EXPECT_EQ(Action(), "   Aborted by user or error!");
    // The refused page was the first: the model holds what the flash holds, not the adjusted
    // table it tried to store.
    EXPECT_EQ(Ch(1).Calibration, amp->CalibTable(1));
    for (size_t r = 0; r < device::kRangeCount; ++r) {
        if (taken[r]) {
            EXPECT_EQ(Ch(1).Calibration.ZeroOffsets[6][r], OldTable(1).ZeroOffsets[6][r]) << r;
        }
    }
}

TEST_F(ZeroAdjust, ADeviceLostEndsTheRunAsAnAbort) {
    form->cbGNDonly->setChecked(true);
    bool closed = false;
    OnPending = [&](const std::string& text) {
        if (text == StepLine(2, 0, 3) && !closed) {
            closed = true;
            amp->CloseConnections();
        }
    };
    form->btnOKClick();
    ASSERT_TRUE(closed);
    EXPECT_TRUE(form->DeviceLost());
    EXPECT_EQ(Action(), "   Aborted by user or error!");
    EXPECT_FALSE(Seen("   03: Start"));
    EXPECT_FALSE(Seen("   02: storing ..."));
    EXPECT_EQ(amp->CalibWrites(1), 0u);
    EXPECT_GT(amp->CalibWrites(0), 0u);
    // The window's own handler saw the loss, and has its event back.
    ASSERT_EQ(lostHosts.size(), 1u);
    translator->OnDeviceLost(nullptr, "again");
    EXPECT_EQ(lostHosts.size(), 2u);
}

// Where a lost amplifier first fails the run: the commit of a step, or the converter's start
// inside the step's autozero; and how: its connection closes, or it stops answering while its
// info port still answers (no loss is reported then).
constexpr uint32_t kWriteChannelCode = 0x30011;
constexpr uint32_t kI2CWriteCode = 0x10003;
constexpr uint32_t kMuxCode = 0x20001;

struct TLossCase {
    const char* Name;
    uint32_t Code;
    bool Frozen;
};

class ZeroAdjustLoss : public ZeroAdjust, public ::testing::WithParamInterface<TLossCase> {};

TEST_P(ZeroAdjustLoss, EndsTheRunAsAnAbort) {
    const TLossCase c = GetParam();
    if (c.Frozen) {
        // Each unanswered request waits this long instead of two seconds.
        static_cast<device::TI2CLANControl*>(translator->HAL->LANControl())->Deadlines.AnswerMs = 100;
    }
    form->cbGNDonly->setChecked(true);
    size_t armedAt = 0;
    OnPending = [&](const std::string& text) {
        if (text != StepLine(2, 0, 3) || armedAt != 0) return;
        armedAt = amp->RequestCount();
        TFakeFault fault;
        fault.Code = c.Code;
        fault.Close = !c.Frozen;
        fault.Drop = c.Frozen;
        fault.Times = c.Frozen ? -1 : 1;
        amp->AddFault(fault);
    };
    // The reload of the channel's defaults dumps that channel's registers once after the loss.
    translator->RegisterDump = true;
    size_t reloads = 0;
    translator->OnRegisterDump = [&](const void*, const std::string& line) {
        if (!translator->NoAnswers.empty() && line.rfind("Channel  2:", 0) == 0) ++reloads;
    };
    const size_t connections = amp->DataConnectionCount();
    form->btnOKClick();
    ASSERT_NE(armedAt, 0u);
    loop.Step();

    EXPECT_TRUE(form->DeviceLost());
    EXPECT_EQ(Action(), "   Aborted by user or error!");
    EXPECT_TRUE(Seen(StepLine(2, 0, 3) + " ERR "));
    EXPECT_FALSE(Seen(StepLine(2, 0, 4)));
    EXPECT_FALSE(Seen("   02: storing ..."));
    EXPECT_FALSE(Seen("   03: Start"));
    EXPECT_EQ(reloads, 1u);
    EXPECT_EQ(amp->CalibWrites(1), 0u);
    EXPECT_GT(amp->CalibWrites(0), 0u);
    for (int s = 2; s < kChannels; ++s)
        EXPECT_EQ(amp->CalibTable(s), OldTable(s)) << s;
    // One report: the loss's own (none while the info port answers), no error box.
    EXPECT_EQ(lostHosts.size(), c.Frozen ? 0u : 1u);
    EXPECT_TRUE(script.Records.empty());
    EXPECT_FALSE(form->Running);

    // Nothing reached the device after the loss; a frozen one saw only the attempts of the
    // abort's own reload, on the same slot.
    const std::vector<fakewire::TRequest> requests = amp->Requests();
    size_t loss = armedAt;
    while (loss < requests.size() && requests[loss].Command != c.Code)
        ++loss;
    ASSERT_LT(loss, requests.size());
    if (!c.Frozen) {
        EXPECT_EQ(requests.size(), loss + 1);
        EXPECT_EQ(amp->DataConnectionCount(), connections);
    } else {
        // The checked converter write tries five times; the reload routes the path and commits.
        for (size_t i = loss + 1; i < requests.size(); ++i) {
            const uint32_t code = requests[i].Command;
            EXPECT_TRUE(code == c.Code || code == kMuxCode || code == kWriteChannelCode) << i;
        }
        EXPECT_LE(requests.size() - loss, 10u);
    }
}

INSTANTIATE_TEST_SUITE_P(FirstFailure, ZeroAdjustLoss,
                         ::testing::Values(TLossCase{"StepCommitClosed", kWriteChannelCode, false},
                                           TLossCase{"ConverterStartClosed", kI2CWriteCode, false},
                                           TLossCase{"StepCommitFrozen", kWriteChannelCode, true},
                                           TLossCase{"ConverterStartFrozen", kI2CWriteCode, true}),
                         [](const ::testing::TestParamInfo<TLossCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(ZeroAdjust, ACloseDuringTheRunWaitsForItsEnd) {
    form->cbGNDonly->setChecked(true);
    Check({0});
    bool asked = false;
    OnPending = [&](const std::string& text) {
        if (text == StepLine(1, 0, 1) && !asked) {
            asked = true;
            form->close();
            EXPECT_TRUE(form->isVisible());
        }
    };
    form->btnOKClick();
    EXPECT_EQ(Confirms(), 0u);
    EXPECT_EQ(Action(), "   Finished.");
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ZeroAdjust, WithoutATranslatorTheShowFails) {
    ui::TZeroAdjustForm bare;
    bare.show();
    ASSERT_FALSE(script.Records.empty());
    EXPECT_EQ(script.Records.back().Kind, ui::TMessageKind::Error);
    EXPECT_EQ(script.Records.back().Text, "Abnormal error: Invalid call to Zero-Adjustment!");
    QCoreApplication::processEvents();
    EXPECT_FALSE(bare.isVisible());
}

// Every control gets at least its size hint, in both languages.
TEST(ZeroAdjustLayout, ControlsGetTheirSizeHint) {
    EnsureApplication();
    ui::TScriptedMessageService script; // the form has no translator: its show reports that
    ui::TScopedMessageService installed(script);
    const uint16_t saved = ui::LangOffset();
    for (uint16_t language : {ui::LangGerman, ui::LangEnglish}) {
        SCOPED_TRACE(language);
        ui::SetLangOffset(language);
        ui::TZeroAdjustForm form;
        form.show();
        for (QWidget* w : form.findChildren<QWidget*>()) {
            if (!w->isVisible() || w->parentWidget() == nullptr) continue;
            if (!qobject_cast<QAbstractButton*>(w) && !qobject_cast<QLabel*>(w) &&
                !qobject_cast<QProgressBar*>(w) && !qobject_cast<QListWidget*>(w))
                continue;
            SCOPED_TRACE(ui::FromQt(w->objectName()));
            auto* label = qobject_cast<QLabel*>(w);
            if (label != nullptr && label->wordWrap()) {
                EXPECT_GE(w->height(), label->heightForWidth(w->width()));
                continue;
            }
            EXPECT_GE(w->width(), w->sizeHint().width());
            EXPECT_GE(w->height(), w->sizeHint().height());
        }
    }
    ui::SetLangOffset(saved);
}

// On a small screen, with 12 and with 32 channels from fake amplifiers of up to 8 channels, the
// window is as tall as its layout needs at its width, no control overlaps another and each gets
// its size hint, in both languages.
class ZeroAdjustOnAScreen : public ::testing::TestWithParam<std::tuple<QSize, int>> {};

TEST_P(ZeroAdjustOnAScreen, IsAsTallAsItsLayoutNeedsAndNoControlOverlapsAnother) {
    const auto [screen, channels] = GetParam();
    if (!OnDesk()) return RunOnDesk(TDesk::Offscreen, screen);
    EnsureApplication();
    ui::TScriptedMessageService script;
    ui::TScopedMessageService installed(script);
    std::vector<std::unique_ptr<TFakeLanAmplifier>> amps;
    model::TI2CTranslator translator(device::kMaskLAN, false, LanOnlyTransports());
    translator.OnConfigComplete = [](const void*) {};
    for (int left = channels; left > 0; left -= 8) {
        TFakeAmpConfig config;
        config.Channels = std::min(left, 8);
        // One device per address, as the scan counts them.
        config.Address = "127.0.0." + std::to_string(2 + amps.size());
        config.Serial = 4711 + static_cast<int32_t>(amps.size());
        amps.push_back(std::make_unique<TFakeLanAmplifier>(config));
        translator.AddScanTarget(amps.back()->Target(), device::kMaskLAN);
    }
    ASSERT_EQ(translator.Rescan(), channels);
    QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    const QRect area = primary->availableGeometry();
    ASSERT_EQ(area.size(), screen);
    const uint16_t saved = ui::LangOffset();
    for (uint16_t language : {ui::LangGerman, ui::LangEnglish}) {
        ui::SetLangOffset(language);
        const std::string where = language == ui::LangGerman ? "de" : "en";
        ui::TZeroAdjustForm form;
        form.Translator = &translator;
        form.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !PlacementPending(form); }, 10000));
        ASSERT_EQ(form.clbCalib->count(), channels);
        EXPECT_TRUE(Inside(form.frameGeometry(), area)) << where;
        ExpectWholeLayout(form, area.height() - (form.frameGeometry().height() - form.height()), where);
        ExpectControlsGetTheirSizeHints(form, where);
        // The channel list ends above the first check box.
        EXPECT_LT(form.clbCalib->geometry().bottom(), form.cbSaveToChannel->geometry().top()) << where;
    }
    ui::SetLangOffset(saved);
}

INSTANTIATE_TEST_SUITE_P(Screens, ZeroAdjustOnAScreen,
                         ::testing::Combine(::testing::Values(QSize(1024, 768), QSize(800, 600)),
                                            ::testing::Values(12, 32)),
                         [](const auto& info) {
                             const QSize screen = std::get<0>(info.param);
                             return std::to_string(screen.width()) + "x" + std::to_string(screen.height()) +
                                    "_" + std::to_string(std::get<1>(info.param)) + "channels";
                         });

// The command of the main window, as a user runs it: the dialog over a scanned fake amplifier,
// the timed re-check off and the gate closed while it is open, and a new scan afterwards.
class ZeroAdjustCommand : public ::testing::Test, protected TMainWindowFixture {
protected:
    void SetUp() override {
        EnsureApplication();
        installed = std::make_unique<ui::TScopedMessageService>(script);
        amp = AdjustableAmp(adcs);
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
        ui::TSettings s = LanSettings(amp->Target());
        s.TimedReCheck = true;
        ASSERT_NO_FATAL_FAILURE(WriteSettings(s));
        ASSERT_NO_FATAL_FAILURE(StartWindow());
        window->timMainTimer();
        loop.Step();
        ASSERT_EQ(window->Translator->ChannelCount(), 2);
        SetUpConverters(adcs, *amp, window->Translator->GetChannel(0)->HWVersion);
    }
    void TearDown() override {
        CloseWindow();
        env.reset();
        amp.reset();
        ui::SetLangOffset(ui::LangEnglish);
    }

    // Runs the command; work runs inside the open dialog, which it closes.
    void RunCommand(const std::function<void(ui::TZeroAdjustForm&)>& work) {
        bool ran = false;
        QTimer::singleShot(0, window.get(), [&] {
            auto* form = window->findChild<ui::TZeroAdjustForm*>();
            ASSERT_NE(form, nullptr);
            ran = true;
            form->ProcessPending = [this] {
                QCoreApplication::processEvents();
                loop.Step();
            };
            work(*form);
            form->btnCancel->click(); // "Close"
        });
        window->Action("actZeroAdjust")->trigger();
        EXPECT_TRUE(ran);
        EXPECT_EQ(window->findChild<ui::TZeroAdjustForm*>(), nullptr);
    }

    TInstalledVirtualMainLoop loop;
    ui::TScriptedMessageService script;
    std::unique_ptr<ui::TScopedMessageService> installed;
    std::array<TADC18Emulation, 2> adcs;
    std::unique_ptr<TFakeLanAmplifier> amp;
};

TEST_F(ZeroAdjustCommand, GroundOnlyRunAndANewScanReadTheFoundOffsets) {
    ASSERT_TRUE(window->Action("actZeroAdjust")->isEnabled());
    std::array<device::TChannelCalibTable, 2> found;
    RunCommand([&](ui::TZeroAdjustForm& form) {
        EXPECT_FALSE(window->Options.TimedReCheck);
        EXPECT_FALSE(window->Gate.IsOpen());
        EXPECT_TRUE(form.isModal());
        ASSERT_EQ(form.clbCalib->count(), 2);
        form.cbGNDonly->setChecked(true);
        form.btnOK->click();
        EXPECT_EQ(form.stAction->text(), QStringLiteral("   Finished."));
        EXPECT_EQ(form.pbTotal->value(), 2);
        for (int s = 0; s < 2; ++s)
            found[static_cast<size_t>(s)] = window->Translator->GetChannel(s)->Calibration;
    });
    EXPECT_TRUE(window->Options.TimedReCheck);
    EXPECT_TRUE(window->Gate.IsOpen());

    window->actRescanExecute();
    loop.Step();
    ASSERT_EQ(window->Translator->ChannelCount(), 2);
    for (int s = 0; s < 2; ++s) {
        const device::TChannelCalibTable& t = window->Translator->GetChannel(s)->Calibration;
        EXPECT_TRUE(t.IsUsable()) << s;
        EXPECT_EQ(t, found[static_cast<size_t>(s)]) << s;
        EXPECT_NE(t.ZeroOffsets[0][4], OldTable(s).ZeroOffsets[0][4]) << s;
    }
}

TEST_F(ZeroAdjustCommand, ADeviceLostDuringTheRunIsRescannedAfterTheDialogCloses) {
    const size_t scansBefore = amp->InfoConnectionCount();
    RunCommand([&](ui::TZeroAdjustForm& form) {
        form.cbGNDonly->setChecked(true);
        form.ProcessPending = [&] {
            QCoreApplication::processEvents();
            loop.Step();
            if (form.stAction->text().startsWith(QStringLiteral("   02:")) && amp->OpenDataConnections() > 0)
                amp->CloseConnections();
        };
        form.btnOK->click();
        EXPECT_TRUE(form.DeviceLost());
        EXPECT_EQ(form.stAction->text(), QStringLiteral("   Aborted by user or error!"));
        // Handled: logged, and its rescan waits for the dialog.
        EXPECT_TRUE(window->Gate.RescanPending());
        EXPECT_TRUE(script.MessageTexts().empty());
    });
    loop.Step();
    EXPECT_FALSE(window->Gate.RescanPending());
    EXPECT_GT(amp->InfoConnectionCount(), scansBefore);
    EXPECT_EQ(window->Translator->ChannelCount(), 2);
    ASSERT_EQ(script.MessageTexts().size(), 1u);
    EXPECT_NE(script.MessageTexts()[0].find(amp->Address()), std::string::npos);
}

// The configuration server does not wait for the user: a loopback client's request is answered
// while the window is open and idle, between the steps of a run, and from a box that a busy span
// shows; it still waits in the span's own pending-event passes.
TEST_F(ZeroAdjustCommand, ConfigurationRequestsAreAnsweredWhileTheWindowOrABoxWaitsForTheUser) {
    ui::TConfigServer server(*window->Translator, ui::ConfigRequestPath(*window));
    ASSERT_TRUE(server.Start(0));
    const uint16_t port = server.ServerPort();
    auto pass = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); };
    auto answeredStatus = [](const TLoopbackClient& client) {
        return client.Replies().size() == 1 && client.Replies()[0].find("Status") != std::string::npos;
    };
    RunCommand([&](ui::TZeroAdjustForm& form) {
        ASSERT_FALSE(window->Gate.IsOpen());
        {
            TLoopbackClient idle(port, {"REQ_STATUS", "REQ_NUMCHN"});
            ASSERT_TRUE(idle.Await(pass));
            EXPECT_EQ(idle.Answered(), 2u);
        }
        // During the run: asked at the first step's pending events, answered before the next step.
        form.cbGNDonly->setChecked(true);
        int passes = 0;
        size_t answeredAt = 0;
        size_t commitsBefore = 0, commitsAfter = 0;
        form.ProcessPending = [&] {
            QCoreApplication::processEvents();
            loop.Step();
            if (++passes != 1) return;
            commitsBefore = amp->RequestCount();
            TLoopbackClient running(port, {"REQ_STATUS"});
            running.Await(pass);
            answeredAt = running.Answered();
            commitsAfter = amp->RequestCount();
            EXPECT_TRUE(answeredStatus(running));
        };
        form.btnOK->click();
        EXPECT_EQ(form.stAction->text(), QStringLiteral("   Finished."));
        EXPECT_EQ(answeredAt, 1u);
        EXPECT_EQ(commitsAfter, commitsBefore); // REQ_STATUS reaches no device
    });

    // A box inside a busy span (as Check temperature's result box).
    ASSERT_TRUE(window->Gate.IsOpen());
    {
        ui::TOndrixMain::TBusyScope busy(*window);
        {
            TLoopbackClient inPass(port, {"REQ_STATUS"});
            // The span's own passes do not answer it.
            for (int i = 0; i < 20; ++i)
                pass();
            EXPECT_EQ(inPass.Answered(), 0u);
            QMessageBox box(QMessageBox::Information, QStringLiteral("Temperature"), QStringLiteral("25 C"),
                            QMessageBox::Ok, window.get());
            bool answered = false;
            QTimer::singleShot(0, &box, [&] {
                // The box's loop: the program's timers run too.
                answered = inPass.Await([&] {
                    pass();
                    loop.Advance(25);
                }) && answeredStatus(inPass);
                box.accept();
            });
            box.exec();
            EXPECT_TRUE(answered);
        }
    }
}

// The loss first met by a step's commit or by the converter's start inside its autozero: the
// run ends as an abort, the loss is logged once and its message follows the rescan after the
// close; no error box.
class ZeroAdjustCommandLoss : public ZeroAdjustCommand, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(ZeroAdjustCommandLoss, EndsTheRunWithOneReport) {
    const size_t scansBefore = amp->InfoConnectionCount();
    const size_t logBefore = window->LogLines().size();
    RunCommand([&](ui::TZeroAdjustForm& form) {
        form.cbGNDonly->setChecked(true);
        bool armed = false;
        form.ProcessPending = [&] {
            QCoreApplication::processEvents();
            loop.Step();
            // The first step line of channel 2, before its commit and autozero.
            if (armed || !form.stAction->text().startsWith(QStringLiteral("   02:  "))) return;
            armed = true;
            TFakeFault fault;
            fault.Code = GetParam();
            fault.Close = true;
            amp->AddFault(fault);
        };
        form.btnOK->click();
        ASSERT_TRUE(armed);
        EXPECT_TRUE(form.DeviceLost());
        EXPECT_EQ(form.stAction->text(), QStringLiteral("   Aborted by user or error!"));
        EXPECT_TRUE(window->Gate.RescanPending());
        EXPECT_TRUE(script.Records.empty());
    });
    loop.Step();
    EXPECT_GT(amp->InfoConnectionCount(), scansBefore);
    EXPECT_EQ(window->Translator->ChannelCount(), 2);
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_NE(script.MessageTexts()[0].find(amp->Address()), std::string::npos);
    const std::vector<std::string> log = window->LogLines();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) {
                                return l.find("was lost, rescan is necessary.") != std::string::npos;
                            }),
              1);
    // After the loss, only the step that met it logged its failure.
    for (size_t i = logBefore; i < log.size(); ++i) {
        EXPECT_EQ(log[i].find("(01:01)"), std::string::npos) << log[i];
        EXPECT_EQ(log[i].find("Cannot"), std::string::npos) << log[i];
    }
}

INSTANTIATE_TEST_SUITE_P(FirstFailure, ZeroAdjustCommandLoss,
                         ::testing::Values(kWriteChannelCode, kI2CWriteCode));

// A device that stops answering one kind of request while its info port still answers the
// keep-alive's knock (its data side at a step's commit, or its converter's start write): the run
// ends as an abort with no loss reported; after the close the loss is logged once with the
// device's host, rescanned, and its message follows the rescan, as for a loss the keep-alive saw.
class ZeroAdjustCommandSilent : public ZeroAdjustCommand, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(ZeroAdjustCommandSilent, IsReportedAndRescannedAfterTheClose) {
    static_cast<device::TI2CLANControl*>(window->Translator->HAL->LANControl())->Deadlines.AnswerMs = 100;
    const std::string lostLine = "[ERR] device " + amp->Address() + " was lost, rescan is necessary.";
    auto lostLines = [&] {
        const std::vector<std::string> log = window->LogLines();
        return std::count_if(log.begin(), log.end(), [&](const std::string& l) {
            return l.size() >= lostLine.size() &&
                   l.compare(l.size() - lostLine.size(), lostLine.size(), lostLine) == 0;
        });
    };
    size_t scansBefore = 0;
    RunCommand([&](ui::TZeroAdjustForm& form) {
        form.cbGNDonly->setChecked(true);
        bool armed = false;
        form.ProcessPending = [&] {
            QCoreApplication::processEvents();
            loop.Step();
            if (armed || !form.stAction->text().startsWith(QStringLiteral("   02:  "))) return;
            armed = true;
            TFakeFault fault;
            fault.Code = GetParam();
            fault.Drop = true;
            fault.Times = -1;
            amp->AddFault(fault);
        };
        form.btnOK->click();
        ASSERT_TRUE(armed);
        EXPECT_TRUE(form.DeviceLost());
        EXPECT_EQ(form.stAction->text(), QStringLiteral("   Aborted by user or error!"));
        EXPECT_EQ(form.SilentDevices(), std::vector<std::string>{amp->Address()});
        // Its knock still answers: nothing is reported while the window is open.
        for (int i = 0; i < 5; ++i)
            loop.Step();
        EXPECT_FALSE(window->Gate.RescanPending());
        EXPECT_EQ(lostLines(), 0);
        EXPECT_TRUE(script.Records.empty());
        // The device answers again by the time the rescan asks.
        amp->ClearFaults();
        scansBefore = amp->InfoConnectionCount();
    });
    loop.Step();
    EXPECT_EQ(lostLines(), 1);
    EXPECT_GT(amp->InfoConnectionCount(), scansBefore);
    EXPECT_FALSE(window->Gate.RescanPending());
    EXPECT_EQ(window->Translator->ChannelCount(), 2);
    ASSERT_EQ(script.MessageTexts().size(), 1u);
    EXPECT_NE(script.MessageTexts()[0].find(amp->Address()), std::string::npos);
    EXPECT_TRUE(window->Gate.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(FirstFailure, ZeroAdjustCommandSilent,
                         ::testing::Values(kWriteChannelCode, kI2CWriteCode));

} // namespace
} // namespace qrb::test
