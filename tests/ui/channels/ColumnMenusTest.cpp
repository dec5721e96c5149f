// The column menus: the right-click hit test, the menu builders, the item handlers with their
// snapshot rule, ApplyChanges in ad-hoc and setup mode, commit and rollback, and a verification
// failure reported by a fake LAN amplifier.

#include "device/HWVocabulary.h"
#include "device/lan/I2CLANControl.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/ui/channels/ChannelsTestSupport.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/texts/Texts.h"

#include <QSpinBox>

#include <algorithm>

namespace qrb::test {
namespace {

using ui::TColumnMenu;
using ui::TMenuHandler;
using ui::TMenuItems;

constexpr uint32_t kWriteChannel = 0x30011;

// ---- Hit test ------------------------------------------------------------------------------

struct THitCase {
    int X;
    int Type;
    int Supply;
    std::vector<TColumnMenu> Menus;
};

TEST(ColumnHitTest, DesignWidthColumns) {
    using M = TColumnMenu;
    const ui::TColumnBounds bounds{656, 720, 783};
    const std::vector<THitCase> cases = {
        {27, 1, 0, {}},
        {28, 0, 0, {M::Channel}},
        {115, 10, 0, {M::Channel}},
        {116, 1, 0, {}},
        {120, 1, 0, {}},
        {121, 0, 0, {M::Sensor}},
        {250, 9, 0, {M::Sensor}},
        {251, 1, 0, {}},
        {253, 7, 0, {M::Range}},
        {325, 1, 0, {M::Range}},
        {326, 1, 0, {}},
        {333, 1, 0, {}},
        {334, 1, 0, {M::Coupling}},
        {408, 8, 0, {M::Coupling}},
        {334, 0, 0, {}},
        {334, 10, 0, {}},
        {334, 9, 0, {M::ChargeCoupling}},
        {409, 4, 0, {}},
        {410, 4, 0, {M::Resistor}},
        {492, 6, 0, {M::Resistor}},
        {410, 3, 0, {M::Connection}},
        {450, 8, 0, {M::Connection}},
        {450, 9, 0, {M::ChargeGain}},
        {450, 1, 0, {}},
        {493, 4, 0, {}},
        {499, 4, 0, {}},
        {500, 5, 0, {M::Shunt}},
        {568, 6, 0, {M::Shunt}},
        {500, 3, 0, {}},
        {569, 4, 0, {}},
        {570, 4, 0, {M::Sense}},
        {600, 1, 1, {M::Sense}},
        {600, 1, 0, {}},
        {600, 1, 2, {}},
        {640, 9, 0, {M::ChargeHighPass}},
        {659, 0, 0, {}},
        // The supply column overlaps the sense column by two pixels: supply first.
        {657, 1, 1, {M::Supply, M::Sense}},
        {658, 4, 0, {M::VoltageOut, M::Sense}},
        {656, 1, 1, {M::Sense}},
        {700, 2, 0, {M::CurrentOut}},
        {700, 3, 0, {M::CurrentOut}},
        {700, 6, 0, {M::VoltageOut}},
        {700, 9, 0, {M::ChargeClearMode}},
        {700, 1, 0, {M::Supply}},
        {700, 7, 0, {}},
        {700, 0, 0, {}},
        // Exactly on the offset column's left edge: nothing.
        {720, 1, 0, {}},
        {721, 0, 0, {M::OffsetEditor}},
        {782, 4, 0, {M::OffsetEditor}},
        {783, 4, 0, {}},
        {800, 4, 0, {}},
    };
    for (const THitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "x=" << c.X << " type=" << c.Type << " supply=" << c.Supply);
        EXPECT_EQ(ui::ColumnMenusAt(c.X, c.Type, c.Supply, bounds), c.Menus);
    }
}

TEST(ColumnHitTest, BoundsFollowTheListWidth) {
    // A list 200 pixels wider moves both right-hand columns.
    const ui::TColumnBounds wide{856, 920, 983};
    EXPECT_EQ(ui::ColumnMenusAt(700, 1, 0, wide), std::vector<TColumnMenu>{});
    EXPECT_EQ(ui::ColumnMenusAt(900, 1, 0, wide), std::vector<TColumnMenu>{TColumnMenu::Supply});
    EXPECT_EQ(ui::ColumnMenusAt(950, 1, 0, wide), std::vector<TColumnMenu>{TColumnMenu::OffsetEditor});
}

// ---- Menu builders ---------------------------------------------------------------------------

class MenuBuilders : public ::testing::Test {
protected:
    model::TQRBRawChannel ch{0, 0, 0, 0, device::TInterfaceKind::ikOffline, nullptr};
    ui::TMenuOptions options;

    void SetUp() override {
        ch.Present = true;
        ch.Info.Version = 1;
        ch.Info.FilterType = 0;
        ch.Info.Features = 0;
    }

    TMenuItems Build(TColumnMenu menu) { return ui::BuildSettingsMenu(menu, ch, options); }

    static std::vector<int> Tags(const TMenuItems& items) {
        std::vector<int> tags;
        for (const auto& item : items)
            if (!item.IsSeparator()) tags.push_back(item.Tag);
        return tags;
    }
    static std::vector<std::string> Captions(const TMenuItems& items) {
        std::vector<std::string> captions;
        for (const auto& item : items)
            captions.push_back(item.Caption);
        return captions;
    }
    static std::vector<int> CheckedTags(const TMenuItems& items) {
        std::vector<int> tags;
        for (const auto& item : items)
            if (item.Checked) tags.push_back(item.Tag);
        return tags;
    }
};

TEST_F(MenuBuilders, RangesByFilterTypeTypeAndOptions) {
    struct TCase {
        int FilterType;
        int Type;
        bool Extended;
        std::vector<int> Tags;
    };
    std::vector<int> all;
    for (int r = 4; r <= 25; ++r)
        all.push_back(r);
    const std::vector<TCase> cases = {
        {0, model::stVolt, false, {4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 23, 24, 25}},
        {0, model::stVolt, true, all},
        {3, model::stVolt, false, {4, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 24, 25}},
        {3, model::stVolt, true, {4, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 24, 25}},
        {0, model::stCurrent, true, {14, 16, 18, 20, 22, 23, 24, 25}},
        {0, model::stCurrent, false, {14, 16, 18, 20, 22, 23, 24, 25}},
        {0, model::stCharge, false, {12, 14, 16, 18, 20, 22, 23, 24, 25}},
        {3, model::stCharge, false, {23, 24, 25}},
        {3, model::stCharge, true, {23, 24, 25}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "filter " << c.FilterType << " type " << c.Type << " ext " << c.Extended);
        ch.Info.FilterType = static_cast<uint8_t>(c.FilterType);
        ch.TypeCache = static_cast<model::TSensorType>(c.Type);
        options.UseExtendedRanges = c.Extended;
        EXPECT_EQ(Tags(Build(TColumnMenu::Range)), c.Tags);
    }
}

TEST_F(MenuBuilders, RangeCaptionsAndCheck) {
    ch.TypeCache = model::stVolt;
    ch.RangeCache = 10;
    TMenuItems items = Build(TColumnMenu::Range);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].Caption, device::VoltageRangeToLongText(1, 4));
    EXPECT_EQ(CheckedTags(items), std::vector<int>{10});
    EXPECT_TRUE(std::all_of(items.begin(), items.end(),
                            [](const auto& i) { return i.Handler == TMenuHandler::Range; }));

    options.UseExtendedRanges = true;
    items = Build(TColumnMenu::Range);
    EXPECT_EQ(items[1].Caption,
              device::VoltageRangeToLongText(1, 5) + " (" + device::CommonModeRangeToText(1, 5) + ")");

    // CURRENT and CHARGE captions carry no common-mode suffix.
    ch.TypeCache = model::stCurrent;
    items = Build(TColumnMenu::Range);
    EXPECT_EQ(items[0].Caption, device::CurrentRangeToText(1, 14));
    ch.TypeCache = model::stCharge;
    ch.CapacityCache = 1;
    items = Build(TColumnMenu::Range);
    EXPECT_EQ(items[0].Caption, device::ChargeRangeToLongText(1, 12, 1));
}

TEST_F(MenuBuilders, SensorTypesByFanSpeed) {
    // Enabled types per fan speed (the CHARGE type needs charge input; Debug is never offered).
    const std::vector<std::pair<int, std::vector<int>>> cases = {
        {0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {2, {0, 1, 2, 7, 9}},
        {3, {0, 1, 2, 7, 9}},
        {4, {0, 1}},
    };
    ch.Info.Features = 1;
    ch.TypeCache = model::stICP;
    for (const auto& [fan, enabled] : cases) {
        SCOPED_TRACE(fan);
        options.FanSpeed = fan;
        const TMenuItems items = Build(TColumnMenu::Sensor);
        EXPECT_EQ(Tags(items), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        std::vector<int> on;
        for (const auto& item : items)
            if (item.Enabled) on.push_back(item.Tag);
        EXPECT_EQ(on, enabled);
        EXPECT_EQ(CheckedTags(items), std::vector<int>{2});
    }
    ch.Info.Features = 0;
    EXPECT_EQ(Tags(Build(TColumnMenu::Sensor)), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(Build(TColumnMenu::Sensor)[0].Caption, device::SensorTypeToText(0));
}

TEST_F(MenuBuilders, CouplingsByType) {
    const std::vector<std::pair<int, std::vector<int>>> cases = {
        {1, {0, 1, 2, 3, 4, 5, 6}},
        {10, {0, 1, 2, 3, 4, 5, 6}},
        {2, {1, 3, 4, 5, 6}},
        {3, {1, 3, 4, 5, 6}},
        {4, {0, 3, 4}},
        {8, {0, 3, 4}},
        {5, {0, 1, 5, 6}},
        {6, {0, 1, 5, 6}},
        {7, {3, 4}},
        {0, {}},
        {9, {}},
    };
    for (const auto& [type, tags] : cases) {
        SCOPED_TRACE(type);
        ch.TypeCache = static_cast<model::TSensorType>(type);
        EXPECT_EQ(Tags(Build(TColumnMenu::Coupling)), tags);
    }
    ch.TypeCache = model::stDMSHalfbridge;
    ch.CouplingCache = 5;
    TMenuItems items = Build(TColumnMenu::Coupling);
    EXPECT_EQ(items[0].Caption, "Zero");
    EXPECT_EQ(items[1].Caption, device::CouplingToLongText(1));
    EXPECT_EQ(CheckedTags(items), std::vector<int>{5});
    ch.TypeCache = model::stVolt;
    EXPECT_EQ(Build(TColumnMenu::Coupling)[0].Caption, device::CouplingToLongText(0));
}

TEST_F(MenuBuilders, CurrentOutputSteps) {
    // ICP: 20 items of 0.5 mA; 77 counts at 30.634666 per mA are 2.51 mA: the 2.5 mA item.
    ch.TypeCache = model::stICP;
    ch.PowerZero = 100;
    ch.PowerDACCache = 177;
    options.FanSpeed = 1;
    TMenuItems items = Build(TColumnMenu::CurrentOut);
    ASSERT_EQ(items.size(), 20u);
    EXPECT_EQ(items[0].Caption, "0.5 mA");
    EXPECT_EQ(items[4].Caption, "2.5 mA");
    EXPECT_EQ(CheckedTags(items), std::vector<int>{5});
    EXPECT_TRUE(std::all_of(items.begin(), items.end(), [](const auto& i) { return i.Enabled; }));
    options.FanSpeed = 2;
    items = Build(TColumnMenu::CurrentOut);
    EXPECT_TRUE(items[8].Enabled);
    EXPECT_FALSE(items[9].Enabled);
    options.FanSpeed = 5;
    EXPECT_FALSE(Build(TColumnMenu::CurrentOut)[0].Enabled);

    // DMS current: 30 items of 1 mA, by the steps of version 2 and above.
    ch.TypeCache = model::stDMSCurrent;
    ch.Info.Version = 2;
    ch.PowerDACCache = static_cast<uint16_t>(100 + 4 * 78.635765);
    items = Build(TColumnMenu::CurrentOut);
    ASSERT_EQ(items.size(), 30u);
    EXPECT_EQ(items[29].Caption, "30.0 mA");
    EXPECT_EQ(CheckedTags(items), std::vector<int>{4});
}

TEST_F(MenuBuilders, VoltageOutputAndSupply) {
    ch.TypeCache = model::stDMSFullbridge;
    ch.PowerZero = 10;
    ch.PowerDACCache2 = 10 + 512;
    TMenuItems items = Build(TColumnMenu::VoltageOut);
    ASSERT_EQ(items.size(), 16u); // 0 .. 15 V below version 2
    EXPECT_EQ(items[0].Caption, "0.0 V");
    EXPECT_EQ(CheckedTags(items), std::vector<int>{5});
    ch.Info.Version = 2;
    EXPECT_EQ(Build(TColumnMenu::VoltageOut).size(), 13u);

    ch.TypeCache = model::stVolt;
    ch.Info.Version = 1;
    ch.SupplyCache = 1;
    items = Build(TColumnMenu::Supply);
    ASSERT_EQ(items.size(), 1u + 1u + 20u + 1u + 1u);
    EXPECT_EQ(items[0].Caption, "OFF");
    EXPECT_EQ(items[0].Tag, -1);
    EXPECT_EQ(items[0].Handler, TMenuHandler::SupplyOff);
    EXPECT_TRUE(items[1].IsSeparator());
    EXPECT_EQ(items[2].Caption, "1.0 V");
    EXPECT_EQ(items[2].Handler, TMenuHandler::SupplyVoltage);
    EXPECT_EQ(CheckedTags(items), std::vector<int>{5});
    EXPECT_TRUE(items[22].IsSeparator());
    EXPECT_EQ(items[23].Caption, ui::GetText(1619));
    EXPECT_EQ(items[23].Handler, TMenuHandler::SupplyToCurrent);
    EXPECT_FALSE(items[23].Checked);

    ch.SupplyCache = 2;
    ch.Info.Version = 2;
    ch.PowerDACCache = static_cast<uint16_t>(10 + 3 * 78.635765);
    items = Build(TColumnMenu::Supply);
    ASSERT_EQ(items.size(), 1u + 1u + 24u + 1u + 1u);
    EXPECT_EQ(items[2].Caption, "1.0 mA");
    EXPECT_EQ(items[2].Handler, TMenuHandler::SupplyCurrent);
    EXPECT_EQ(CheckedTags(items), std::vector<int>{3});
    EXPECT_EQ(items.back().Caption, ui::GetText(1618));
    EXPECT_EQ(items.back().Handler, TMenuHandler::SupplyToVoltage);
}

TEST_F(MenuBuilders, SwitchMenusAndTheirTypes) {
    ch.TypeCache = model::stDMSQuarterbridge;
    ch.SenseCache = 1;
    EXPECT_EQ(Captions(Build(TColumnMenu::Sense)), (std::vector<std::string>{"On (3)", "Off (2)"}));
    EXPECT_EQ(CheckedTags(Build(TColumnMenu::Sense)), std::vector<int>{1});
    ch.TypeCache = model::stDMSFullbridge;
    EXPECT_EQ(Captions(Build(TColumnMenu::Sense)), (std::vector<std::string>{"On (5)", "Off (4)"}));
    ch.TypeCache = model::stVolt;
    EXPECT_EQ(Captions(Build(TColumnMenu::Sense)), (std::vector<std::string>{"On", "Off"}));

    ch.TypeCache = model::stDMSHalfbridge;
    ch.Is350OhmCache = 1;
    TMenuItems items = Build(TColumnMenu::Resistor);
    EXPECT_EQ(Captions(items), (std::vector<std::string>{"120 Ohm", "350 Ohm"}));
    EXPECT_EQ(Tags(items), (std::vector<int>{1, 0}));
    EXPECT_EQ(CheckedTags(items), std::vector<int>{0});
    EXPECT_EQ(Captions(Build(TColumnMenu::Shunt)), (std::vector<std::string>{"On", "Off"}));

    ch.TypeCache = model::stRTD;
    ch.PwrAtSignalCache = 1;
    EXPECT_EQ(Captions(Build(TColumnMenu::Connection)), (std::vector<std::string>{"2-Wire", "4-wire"}));
    EXPECT_EQ(CheckedTags(Build(TColumnMenu::Connection)), std::vector<int>{1});

    // Menus of other types open without items: nothing shows.
    ch.TypeCache = model::stICP;
    for (TColumnMenu m : {TColumnMenu::Resistor, TColumnMenu::Connection, TColumnMenu::Sense,
                          TColumnMenu::Shunt, TColumnMenu::VoltageOut, TColumnMenu::Supply})
        EXPECT_TRUE(Build(m).empty());
}

TEST_F(MenuBuilders, ChargeMenusNeedChargeInput) {
    ch.TypeCache = model::stCharge;
    for (TColumnMenu m : {TColumnMenu::ChargeCoupling, TColumnMenu::ChargeGain, TColumnMenu::ChargeHighPass,
                          TColumnMenu::ChargeClearMode})
        EXPECT_TRUE(Build(m).empty());
    ch.Info.Features = 1;
    ch.AutoClearCache = 1;
    EXPECT_EQ(Tags(Build(TColumnMenu::ChargeCoupling)), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Tags(Build(TColumnMenu::ChargeGain)), (std::vector<int>{0, 1}));
    TMenuItems items = Build(TColumnMenu::ChargeClearMode);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(CheckedTags(items), std::vector<int>{1});
    EXPECT_TRUE(items[2].IsSeparator());
    EXPECT_EQ(items[2].Tag, 2);
    EXPECT_EQ(items[3].Caption, ui::GetText(1597));
    EXPECT_EQ(items[3].Tag, 3);
    EXPECT_EQ(items[3].Handler, TMenuHandler::ClearCharge);
    EXPECT_FALSE(items[3].Enabled);
    ch.AutoClearCache = 0;
    EXPECT_TRUE(Build(TColumnMenu::ChargeClearMode)[3].Enabled);
}

TEST_F(MenuBuilders, NothingOpensForAChannelThatIsNotPresent) {
    ch.Present = false;
    ch.TypeCache = model::stVolt;
    for (TColumnMenu m :
         {TColumnMenu::Sensor, TColumnMenu::Range, TColumnMenu::Coupling, TColumnMenu::Supply})
        EXPECT_TRUE(Build(m).empty());
}

TEST(ChannelMenu, ItemStatesBySelectionPresenceAndMode) {
    TInstalledVirtualMainLoop loop;
    model::TI2CTranslator translator(device::kMaskOffline, false, device::DefaultTransportFactory());
    translator.OnConfigComplete = [](const void*) {};
    translator.AddScanTarget("A-2:3", device::kMaskOffline);
    ASSERT_EQ(translator.Rescan(), 2);
    auto find = [](const std::vector<ui::TChannelMenuItemState>& states, const std::string& name) {
        for (const auto& s : states)
            if (s.Name == name) return s;
        ADD_FAILURE() << name;
        return ui::TChannelMenuItemState{};
    };
    // Offline mode: only the model's commands.
    auto states = ui::ChannelMenuStates(translator, 0, 1);
    EXPECT_TRUE(find(states, "miRenamechannel").Enabled);
    EXPECT_FALSE(find(states, "miBlink").Enabled);
    EXPECT_FALSE(find(states, "miTEDS").Enabled);
    EXPECT_FALSE(find(states, "miDisableChannel").Enabled);
    // The extended information lists what the model holds, for simulated channels too.
    EXPECT_TRUE(find(states, "miChInfo").Enabled);
    EXPECT_FALSE(find(ui::ChannelMenuStates(translator, 0, 0), "miChInfo").Enabled);
    EXPECT_TRUE(find(states, "miOutputFilterOff").Checked);
    EXPECT_EQ(find(states, "miOutputFilterOn").Caption,
              device::OutputFilterToLongText(translator.GetChannel(0)->Info.FilterType, true));
    EXPECT_FALSE(find(states, "miPasteChannel").Enabled);
    EXPECT_TRUE(find(states, "miOutputfloating").Visible);

    translator.OfflineMode = false;
    translator.ClipboardValid = true;
    states = ui::ChannelMenuStates(translator, 0, 2);
    EXPECT_FALSE(find(states, "miRenamechannel").Enabled);
    EXPECT_FALSE(find(states, "miCopyChannel").Enabled);
    EXPECT_TRUE(find(states, "miChInfo").Enabled);
    EXPECT_TRUE(find(states, "miPasteChannel").Enabled);
    EXPECT_TRUE(find(states, "miTEMP").Enabled);

    // A channel that is not present: the menu opens with every item disabled.
    translator.GetChannel(1)->Present = false;
    translator.GetChannel(1)->OutputFilterCache = 1;
    translator.GetChannel(1)->open_gnd_shield = 1;
    states = ui::ChannelMenuStates(translator, 1, 1);
    for (const auto& s : states)
        EXPECT_FALSE(s.Enabled) << s.Name;
    // Its check marks still show its settings.
    EXPECT_TRUE(find(states, "miOutputFilterOn").Checked);
    EXPECT_FALSE(find(states, "miOutputFilterOff").Checked);
    EXPECT_TRUE(find(states, "miHydrophone").Checked);
}

// ---- Handlers on a scanned translator --------------------------------------------------------

class ColumnHandlers : public ChannelsFixture {
protected:
    void SetUp() override {
        ChannelsFixture::SetUp();
        Scan({"A-8:3", "B-8:3"});
    }
    QString RangeCaption(int index, int range) {
        return QString::fromStdString(
            device::VoltageRangeToLongText(Ch(index).Info.Version, static_cast<uint8_t>(range)));
    }
    void SetupMode() { page->SetupMode->setChecked(true); }
};

TEST_F(ColumnHandlers, RangePickInAdHocModeIsCommittedAndVerified) {
    SetType(0, model::stVolt);
    SetType(1, model::stVolt);
    SelectRows({0, 1});
    pick = RangeCaption(0, 10);
    RightClick(280, 0);
    ASSERT_EQ(opened.size(), 1u);
    for (int i : {0, 1}) {
        EXPECT_EQ(Ch(i).RangeCache, 10);
        EXPECT_EQ(Ch(i).Current, Ch(i).Pending) << i;
    }
    EXPECT_EQ(Ch(2).RangeCache, 0); // not selected
    EXPECT_FALSE(fields.ChangesPending);
    EXPECT_FALSE(fields.Busy);
    EXPECT_TRUE(fields.SetupModified);
    EXPECT_EQ(host.Caption, "QRB Ondrix Interface Software");
    EXPECT_FALSE(page->Commit->isEnabled());
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_EQ(fields.PopupSensorType, model::stVolt);
}

TEST_F(ColumnHandlers, NothingOpensOnAnUnselectedRowBelowTheRowsOrWhileBusy) {
    SelectRows({1});
    RightClick(280, 0);
    RightClick(280, 20);
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(page->List->item(0)->isSelected());
    fields.Busy = true;
    RightClick(280, 1);
    EXPECT_TRUE(opened.empty());
    fields.Busy = false;
    {
        ui::TScanGate::TGuard closed(*gate);
        RightClick(280, 1);
    }
    EXPECT_TRUE(opened.empty());
    RightClick(280, 1);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(ColumnHandlers, SetupModeCollectsThenCommits) {
    SetType(0, model::stVolt);
    SetupMode();
    EXPECT_FALSE(host.IsEnabled("actSaveSetup"));
    const device::TChannelImage before = Ch(0).Current;
    SelectRows({0});
    pick = RangeCaption(0, 12);
    RightClick(280, 0);
    EXPECT_EQ(Ch(0).RangeCache, 12);
    EXPECT_EQ(Ch(0).Current, before); // collected, not written
    EXPECT_NE(Ch(0).Pending, before);
    EXPECT_TRUE(fields.ChangesPending);
    EXPECT_TRUE(page->Commit->isEnabled());
    EXPECT_TRUE(page->Rollback->isEnabled());
    EXPECT_TRUE(Ch(0).SnapshotValid);
    EXPECT_EQ(Ch(0).Snapshot, before);

    // A second change keeps the first snapshot.
    pick = RangeCaption(0, 14);
    RightClick(280, 0);
    EXPECT_EQ(Ch(0).Snapshot, before);

    page->Commit->click();
    EXPECT_EQ(Ch(0).Current, Ch(0).Pending);
    EXPECT_EQ(Ch(0).RangeCache, 14);
    EXPECT_FALSE(page->Commit->isEnabled());
    EXPECT_FALSE(fields.ChangesPending);
    EXPECT_TRUE(host.IsEnabled("actSaveSetup"));
    // A fresh snapshot: a rollback now returns to what the devices run.
    EXPECT_EQ(Ch(0).Snapshot, Ch(0).Current);
}

TEST_F(ColumnHandlers, SetupModeRollbackReturnsToTheSnapshot) {
    SetType(0, model::stVolt);
    SetupMode();
    const device::TChannelImage before = Ch(0).Current;
    SelectRows({0});
    pick = RangeCaption(0, 12);
    RightClick(280, 0);
    page->Rollback->click();
    EXPECT_EQ(Ch(0).Pending, before);
    EXPECT_EQ(Ch(0).Current, before);
    EXPECT_FALSE(page->Commit->isEnabled());
    EXPECT_TRUE(fields.ChangesPending); // kept: later changes share the snapshot
    EXPECT_TRUE(host.IsEnabled("actSaveSetup"));
}

TEST_F(ColumnHandlers, SwitchingBackToAdHocCommitsWhatIsPending) {
    SetType(0, model::stVolt);
    SetupMode();
    SelectRows({0});
    pick = RangeCaption(0, 12);
    RightClick(280, 0);
    page->AdHocMode->setChecked(true);
    EXPECT_EQ(Ch(0).Current, Ch(0).Pending);
    EXPECT_FALSE(page->Commit->isEnabled());
    EXPECT_FALSE(fields.ChangesPending);
    // The next setup session takes a snapshot of its own.
    SetupMode();
    pick = RangeCaption(0, 14);
    RightClick(280, 0);
    EXPECT_EQ(Ch(0).Snapshot.Image, Ch(0).Current.Image);
}

TEST_F(ColumnHandlers, CurrentWarningAnsweredNoChangesNothing) {
    settings.AskOnCurrent = true;
    SetupMode();
    SelectRows({0});
    host.ConfirmAnswers = {7};
    pick = QString::fromStdString(device::SensorTypeToText(model::stCurrent));
    RightClick(180, 0);
    ASSERT_EQ(host.Confirms.size(), 1u);
    EXPECT_EQ(host.Confirms[0], (std::array<int, 3>{1606, 1607, 1608}));
    EXPECT_EQ(Ch(0).TypeCache, model::stOff);
    EXPECT_FALSE(Ch(0).SnapshotValid);
    EXPECT_FALSE(fields.ChangesPending);

    host.ConfirmAnswers = {6};
    RightClick(180, 0);
    EXPECT_EQ(Ch(0).TypeCache, model::stCurrent);
    EXPECT_TRUE(Ch(0).SnapshotValid);
}

TEST_F(ColumnHandlers, SensorPickTakesTheSnapshotInAdHocModeToo) {
    SelectRows({0});
    pick = QString::fromStdString(device::SensorTypeToText(model::stVolt));
    RightClick(180, 0);
    EXPECT_TRUE(Ch(0).SnapshotValid);
    EXPECT_EQ(Ch(0).TypeCache, model::stVolt);
    EXPECT_EQ(Ch(0).SensorType, model::stVolt);
    EXPECT_EQ(Ch(0).Current, Ch(0).Pending);
}

TEST_F(ColumnHandlers, RangeChangeClampsTheOffsetToTheDisplayedZero) {
    SetType(0, model::stVolt);
    SelectRows({0});
    ASSERT_TRUE(translator->SetOffset(0, 1));
    ASSERT_TRUE(translator->SetDACs(0, Ch(0).PowerDACCache, 2048 + 1500));
    ASSERT_TRUE(translator->NewConfig(0, true));
    // Range 6 has gain index 0; the channel's calibration is not usable: the zero is 2048.
    pick = RangeCaption(0, 6);
    RightClick(280, 0);
    ASSERT_EQ(Ch(0).GainCache, 0);
    EXPECT_EQ(Ch(0).OffsetDACCache, 2048 + 1024);

    ASSERT_TRUE(translator->SetDACs(0, Ch(0).PowerDACCache, 2048 - 1500));
    ASSERT_TRUE(translator->NewConfig(0, true));
    RightClick(280, 0);
    EXPECT_EQ(Ch(0).OffsetDACCache, 2048 - 1024);
}

TEST_F(ColumnHandlers, BridgeSupplyZeroVoltsIsThreeCountsAbovePowerZero) {
    SetType(0, model::stDMSFullbridge);
    SelectRows({0});
    const int zero = Ch(0).PowerZero;
    const uint16_t offset = Ch(0).OffsetDACCache;
    pick = QStringLiteral("0.0 V");
    RightClick(700, 0);
    EXPECT_EQ(Ch(0).PowerDACCache, zero + 3);
    EXPECT_EQ(Ch(0).OffsetDACCache, offset);
    pick = QStringLiteral("5.0 V");
    RightClick(700, 0);
    EXPECT_EQ(Ch(0).PowerDACCache, zero + static_cast<int>(std::nearbyint(5 * double(ui::VoltStep(3)))));
}

TEST_F(ColumnHandlers, CurrentPickGivesEverySelectedChannelTheSameMilliamperes) {
    SetType(0, model::stDMSCurrent);
    SetType(1, model::stICP);
    SetType(2, model::stVolt);
    SelectRows({0, 1, 2});
    pick = QStringLiteral("5.0 mA");
    RightClick(700, 0);
    ASSERT_EQ(fields.PopupSensorType, model::stDMSCurrent);
    const int d = static_cast<int>(std::nearbyint(5 * 1.0 * double(ui::CurrentStep(3))));
    EXPECT_EQ(Ch(0).PowerDACCache, Ch(0).PowerZero + d);
    EXPECT_EQ(Ch(1).PowerDACCache, Ch(1).PowerZero + d);
    EXPECT_EQ(Ch(2).SupplyCache, 0); // VOLT does not take a current output
}

TEST_F(ColumnHandlers, VoltSupplyMenuThenSenseMenuOnTheOverlap) {
    SetType(0, model::stVolt);
    SelectRows({0});
    pick = QStringLiteral("5.0 V");
    RightClick(700, 0);
    EXPECT_EQ(Ch(0).SupplyCache, 1);
    EXPECT_EQ(Ch(0).PowerDACCache,
              Ch(0).PowerZero + static_cast<int>(std::nearbyint(5 * double(ui::VoltStep(3)))));
    opened.clear();
    pick.clear();
    RightClick(657, 0);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0][0], QStringLiteral("OFF"));
    EXPECT_EQ(opened[1], (std::vector<QString>{QStringLiteral("On"), QStringLiteral("Off")}));
    // Switching the supply off in the first menu leaves no sense menu to follow.
    opened.clear();
    pick = QStringLiteral("OFF");
    RightClick(657, 0);
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(Ch(0).SupplyCache, 0);
    EXPECT_EQ(Ch(0).PowerDACCache, Ch(0).PowerZero);
}

TEST_F(ColumnHandlers, ShortcutsOpenTheMenusOfTheFirstSelectedChannel) {
    menus->ShortcutContext(ui::TShortcut::Range);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(host.UpdateActionsCount, 1);

    SetType(3, model::stDMSHalfbridge);
    SelectRows({3, 5});
    menus->ShortcutContext(ui::TShortcut::Resistor);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], (std::vector<QString>{QStringLiteral("120 Ohm"), QStringLiteral("350 Ohm")}));
    EXPECT_EQ(fields.PopupSensorType, model::stDMSHalfbridge);
    menus->ShortcutContext(ui::TShortcut::Channel);
    ASSERT_EQ(host.ChannelMenus.size(), 1u);
}

TEST_F(ColumnHandlers, ChannelMenuOpensEvenForAChannelThatIsNotPresent) {
    Ch(2).Present = false;
    SelectRows({2});
    RightClick(60, 2);
    ASSERT_EQ(host.ChannelMenus.size(), 1u);
    for (const auto& s : host.ChannelMenus[0])
        EXPECT_FALSE(s.Enabled) << s.Name;
}

TEST_F(ColumnHandlers, CommitIncludingTheCopySourceClearsTheClipboard) {
    SetType(0, model::stVolt);
    ASSERT_TRUE(translator->CopyChannel(0));
    ASSERT_TRUE(translator->ClipboardValid);
    SelectRows({1});
    pick = QString::fromStdString(device::SensorTypeToText(model::stICP));
    RightClick(180, 1);
    EXPECT_TRUE(translator->ClipboardValid); // the source was not among the changed channels
    SelectRows({0, 1});
    RightClick(180, 0);
    EXPECT_FALSE(translator->ClipboardValid);
}

TEST_F(ColumnHandlers, HistoryIsClearedOnEveryApplyWhenConfigured) {
    fields.HistoryList = {"old"};
    settings.ClearHistoryOnConfig = true;
    SetupMode();
    SelectRows({0});
    pick = QString::fromStdString(device::SensorTypeToText(model::stVolt));
    RightClick(180, 0);
    EXPECT_TRUE(fields.HistoryList.empty());
    EXPECT_GE(host.UpdateErrorHistoryCount, 1);
}

TEST_F(ColumnHandlers, OffsetEditorShowsThePendingOffsetAndWritesOnOK) {
    ui::TChannelOffsetForm form;
    menus->OffsetForm = &form;
    SetType(0, model::stVolt);
    SetType(1, model::stVolt);
    SetupMode();
    SelectRows({0, 1});
    // A pending (not yet committed) offset of 25 % is what the editor starts with.
    ASSERT_TRUE(translator->SetOffset(0, 1));
    ASSERT_TRUE(translator->SetDACs(0, Ch(0).PowerDACCache, 2048 + 256));
    int shownValue = 0;
    menus->ExecDialog = [&](QDialog& dialog) {
        auto& f = static_cast<ui::TChannelOffsetForm&>(dialog);
        shownValue = f.seOffset->value();
        EXPECT_TRUE(f.cbOffsetActive->isChecked());
        f.seOffset->setValue(-500);
        return int(QDialog::Accepted);
    };
    fields.ChangesPending = false;
    RightClick(750, 0);
    EXPECT_EQ(shownValue, 250);
    for (int i : {0, 1}) {
        EXPECT_EQ(Ch(i).OffsetDACCache, static_cast<uint16_t>(std::nearbyint(-500 * 1.024 + 2048))) << i;
        EXPECT_EQ(Ch(i).OffsetCache, 1);
    }
    EXPECT_TRUE(fields.ChangesPending);
    EXPECT_TRUE(page->Commit->isEnabled());
}

// ---- A verification failure reported by a fake LAN amplifier -------------------------------

class LanVerifyFailure : public ChannelsFixture {
protected:
    std::unique_ptr<TFakeLanAmplifier> amp;

    void SetUp() override {
        ChannelsFixture::SetUp();
        TFakeAmpConfig config;
        config.Channels = 4;
        amp = std::make_unique<TFakeLanAmplifier>(config);
        device::TI2CTransportFactory factory = device::DefaultTransportFactory();
        factory.CreateLAN = []() -> std::unique_ptr<device::TI2CControl> {
            return std::make_unique<device::TI2CLANControl>();
        };
        menus.reset();
        list.reset();
        translator = MakeTranslator(device::kMaskLAN, factory);
        list = std::make_unique<ui::TChannelList>(*page->List, *page->AllChannels, *translator, settings,
                                                  fields.State(), host);
        menus = std::make_unique<ui::TColumnMenus>(*translator, settings, *gate, fields.State(), host, *list,
                                                   page->Controls());
        menus->ExecMenu = [this](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* a : menu.actions())
                if (a->text() == pick) return a;
            return nullptr;
        };
        translator->AddScanTarget(amp->Target(), device::kMaskLAN);
        ASSERT_EQ(translator->Rescan(), 4);
        list->FillRows(translator->ChannelCount());
    }

    void RefuseNextWrite() {
        // The device refuses the image and names the differing bits of the power DAC word.
        TFakeFault fault;
        fault.Code = kWriteChannel;
        fault.Status = -5;
        fault.VerifyWords = {0, 0, 0, 0, 0, 0, 0, 0x0010};
        amp->AddFault(fault);
    }
};

TEST_F(LanVerifyFailure, AdHocCommitFailureShowsTheMessage) {
    SelectRows({0});
    RefuseNextWrite();
    pick = QString::fromStdString(device::SensorTypeToText(model::stVolt));
    RightClick(180, 0);
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], ui::GetText(1053));
    EXPECT_FALSE(fields.ChangesPending);
    EXPECT_FALSE(fields.Busy);
    EXPECT_EQ(Ch(0).Pending, Ch(0).Current); // the model is back at what the device runs
}

TEST_F(LanVerifyFailure, SetupCommitFailureLeavesNothingPendingAndASecondCommitSucceeds) {
    page->SetupMode->setChecked(true);
    SelectRows({0});
    pick = QString::fromStdString(device::SensorTypeToText(model::stVolt));
    RightClick(180, 0);
    ASSERT_TRUE(fields.ChangesPending);
    RefuseNextWrite();
    page->Commit->click();
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], ui::GetText(1053));
    // The failed channel was put back; the snapshot is what the device runs, nothing is pending.
    EXPECT_FALSE(page->Commit->isEnabled());
    EXPECT_FALSE(page->Rollback->isEnabled());
    EXPECT_FALSE(fields.ChangesPending);
    EXPECT_EQ(Ch(0).Snapshot, Ch(0).Current);
    EXPECT_EQ(Ch(0).Pending, Ch(0).Current);

    RightClick(180, 0);
    page->Commit->click();
    EXPECT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(Ch(0).SensorType, model::stVolt);
    EXPECT_EQ(Ch(0).Current, Ch(0).Pending);
    EXPECT_FALSE(page->Commit->isEnabled());
}

} // namespace
} // namespace qrb::test
