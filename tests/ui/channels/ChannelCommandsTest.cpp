// The channel menu commands against a fake LAN amplifier whose slots carry a 1-Wire bridge with a
// scripted sensor ROM (or a short): sensor detection with its options, messages, new entries and
// stored configurations, the busy span around it; rename, copy and paste, the toggles, the
// history; and the main window running detection, database, editor and commit end to end.

#include "ui/channels/ChannelCommands.h"

#include "device/Format.h"
#include "model/I2CTranslator.h"
#include "tests/support/ChipAmplifier.h"
#include "tests/support/ChipEmulations.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/LanTestTransports.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/channels/ChannelsTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowChannels.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/SensorDatabaseForms.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/Texts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace qrb::test {
namespace {

namespace fs = std::filesystem;

const TRomNumber kRomA = MakeRom(0x28, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
const TRomNumber kRomC = MakeRom(0x28, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6});
const TRomNumber kRomD = MakeRom(0x10, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});

std::string Id(const TRomNumber& rom) {
    return model::TI2CTranslator::RomToText(rom);
}

std::vector<uint8_t> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A database file too short for one record: it cannot be read.
void WriteShortDatabase(const fs::path& path) {
    const char bytes[] = {static_cast<char>(model::kSensorRecordMarker), 0, 16};
    std::ofstream(path, std::ios::binary).write(bytes, sizeof bytes);
}

// The sensor IDs and records of the translator's list, in list order.
std::vector<std::pair<std::string, model::TSensorRecord>> Entries(const model::TI2CTranslator& t) {
    std::vector<std::pair<std::string, model::TSensorRecord>> out;
    for (int i = 0; i < t.SensorEntryCount(); ++i)
        out.emplace_back(t.GetSensorEntry(i)->Rec.ID(), t.GetSensorEntry(i)->Rec);
    return out;
}

size_t ChannelWrites(const TFakeLanAmplifier& amp) {
    size_t writes = 0;
    for (const fakewire::TRequest& r : amp.Requests())
        if (r.Command == 0x30011) ++writes; // WRITECHANNEL
    return writes;
}

// The recording host with the window's busy span, the long-operation frame and the input box.
class TCommandHost : public TFakeHost {
public:
    TWindowFields* Fields = nullptr;
    ui::TScanGate* Gate = nullptr;
    std::vector<std::string> Frames;
    int BusySpans = 0;                             // outermost spans
    std::deque<std::optional<std::string>> Inputs; // nullopt cancels
    std::vector<std::string> InputTexts;           // caption, prompt, initial value
    std::string Database;
    std::vector<bool> BusyAtUpdate;
    std::vector<std::string> Log;

    void RunBusy(const std::function<void()>& fn) override {
        // A span inside another (a commit inside a command's span) is part of that one.
        if (!Fields->Busy) ++BusySpans;
        ui::TScanGate::TGuard guard(*Gate);
        ui::TFlagScope busy(Fields->Busy);
        fn();
    }
    bool RunLongOperation(int headerId, int textId, const std::function<bool()>& call) override {
        Frames.push_back(std::to_string(headerId) + "/" + std::to_string(textId));
        ui::TScanGate::TGuard guard(*Gate);
        return call();
    }
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
        InputTexts.insert(InputTexts.end(), {caption, prompt, value});
        if (Inputs.empty()) return false;
        std::optional<std::string> answer = Inputs.front();
        Inputs.pop_front();
        if (!answer) return false;
        value = *answer;
        return true;
    }
    std::string SensorDatabaseFile() const override { return Database; }
    void AddLog(const std::string& text) override { Log.push_back(text); }
    void UpdateActions() override {
        BusyAtUpdate.push_back(Fields->Busy);
        TFakeHost::UpdateActions();
    }
};

class ChannelCommands : public ::testing::Test {
protected:
    static constexpr int kChannels = 4;

    void SetUp() override {
        ChannelsApplication();
        folder = FreshTestFolder();
        TFakeAmpConfig config;
        config.Channels = kChannels;
        config.Version = 2;
        amp = std::make_unique<TFakeLanAmplifier>(config);
        for (int s = 0; s < kChannels; ++s)
            amp->SetChip(s, 0x18, &bridges[static_cast<size_t>(s)]);
        translator = std::make_unique<model::TI2CTranslator>(device::kMaskLAN, false, LanOnlyTransports());
        translator->OnConfigComplete = [](const void*) {};
        translator->OnError = [this](const void*, const std::string& text) { errors.push_back(text); };
        translator->AddScanTarget(amp->Target(), device::kMaskLAN);
        ASSERT_EQ(translator->Rescan(), kChannels);

        page = std::make_unique<TControlPage>();
        gate = std::make_unique<ui::TScanGate>(&loop);
        gate->OnRescan = [this] { ++rescans; };
        host.Fields = &fields;
        host.Gate = gate.get();
        host.Database = (folder / "TEDSinfo.bin").string();
        list = std::make_unique<ui::TChannelList>(*page->List, *page->AllChannels, *translator, settings,
                                                  fields.State(), host);
        menus = std::make_unique<ui::TColumnMenus>(*translator, settings, *gate, fields.State(), host, *list,
                                                   page->Controls());
        commands = std::make_unique<ui::TChannelCommands>(*translator, settings, *gate, fields.State(), host,
                                                          *list, *menus);
        commands->ExecDialog = [this](QDialog& dialog) { return RunDialog(dialog); };
        list->FillRows(translator->ChannelCount());
        settings.AskOnTEDSCheck = false;
        settings.AskOnTEMPCheck = false;
    }

    void TearDown() override {
        commands.reset();
        menus.reset();
        list.reset();
        gate.reset();
        page.reset();
        translator.reset();
        amp.reset();
    }

    // The sensor database dialog as the detection opens it; other dialogs close at once.
    int RunDialog(QDialog& dialog) {
        auto* form = qobject_cast<ui::TTEDSInfoForm*>(&dialog);
        if (form == nullptr) return QDialog::Rejected;
        ++databaseDialogs;
        form->FormShow();
        EXPECT_TRUE(form->NewOnly);
        EXPECT_TRUE(form->Changed);
        EXPECT_TRUE(fields.Busy);
        EXPECT_FALSE(gate->IsOpen());
        for (int i = 0; i < form->lbTEDS->count(); ++i)
            dialogRows.push_back(form->lbTEDS->item(i)->text().toStdString());
        if (OnDatabaseDialog) OnDatabaseDialog(*form);
        return databaseAnswer;
    }

    void Select(std::initializer_list<int> rows, int focus) {
        page->List->clearSelection();
        for (int row : rows)
            page->List->item(row)->setSelected(true);
        if (focus >= 0) page->List->setCurrentRow(focus, QItemSelectionModel::NoUpdate);
    }

    model::TTEDSBlock& Store(const model::TSensorRecord& rec) {
        auto entry = std::make_unique<model::TTEDSBlock>(rec);
        return *translator->GetSensorEntry(translator->AddSensorEntry(entry));
    }

    static model::TSensorRecord Record(const std::string& id, uint16_t type, const std::string& display) {
        model::TSensorRecord rec;
        model::SetRecordText(rec.SensorID, id);
        model::SetRecordText(rec.SensorName, display);
        model::SetRecordText(rec.DisplayName, display);
        model::SetRecordText(rec.Description, "stored " + display);
        rec.SensorType = type;
        rec.Range = 10;
        return rec;
    }

    model::TQRBRawChannel& Ch(int index) { return *translator->GetChannel(index); }
    bool Committed(int index) {
        return Ch(index).Current == Ch(index).Pending && amp->StoredImage(index) == Ch(index).Current.Image;
    }

    // Declared before the amplifier, which holds them.
    std::array<TDS2482Emulation, kChannels> bridges;
    std::unique_ptr<TFakeLanAmplifier> amp;
    TInstalledVirtualMainLoop loop;
    fs::path folder;
    ui::TSettings settings;
    TWindowFields fields;
    TCommandHost host;
    std::unique_ptr<model::TI2CTranslator> translator;
    std::unique_ptr<TControlPage> page;
    std::unique_ptr<ui::TScanGate> gate;
    std::unique_ptr<ui::TChannelList> list;
    std::unique_ptr<ui::TColumnMenus> menus;
    std::unique_ptr<ui::TChannelCommands> commands;
    std::vector<std::string> errors;
    int rescans = 0;
    int databaseDialogs = 0;
    int databaseAnswer = QDialog::Accepted;
    std::vector<std::string> dialogRows;
    std::function<void(ui::TTEDSInfoForm&)> OnDatabaseDialog;
};

// ---- Sensor detection ------------------------------------------------------------------------

TEST_F(ChannelCommands, ShortedSlotIsReportedAndStoredConfigurationsOfTheOthersAreApplied) {
    bridges[0].SetRoms({kRomA});
    bridges[1].SetShorted(true);
    bridges[2].SetRoms({kRomC});
    model::TSensorRecord volt = Record(Id(kRomA), model::stVolt, "Volt sensor");
    volt.Coupling = 1;
    volt.SupplyMode = 1;
    volt.SupplyDAC = 527; // 5 V above the channel's zero
    Store(volt);
    model::TSensorRecord bridge = Record(Id(kRomC), model::stDMSFullbridge, "Full bridge");
    bridge.Coupling = 0;
    bridge.BridgeSupplyDAC = 1055;
    bridge.Sense = 1;
    bridge.Is350Ohm = 1;
    Store(bridge);
    Select({0, 1, 2}, 0);
    const device::TChannelImage before1 = Ch(1).Current;
    host.BusyAtUpdate.clear();

    commands->miTEDSClick();

    EXPECT_EQ(host.Messages, (std::vector<std::string>{"Ch02 : TEDS ShortCut!\r\n"}));
    EXPECT_TRUE(host.Confirms.empty()); // every found ID is stored: no question, no dialog
    EXPECT_EQ(databaseDialogs, 0);
    EXPECT_EQ(host.Frames, (std::vector<std::string>{"1710/1711"}));
    EXPECT_EQ(host.BusySpans, 1);

    EXPECT_EQ(Ch(0).SensorType, model::stVolt);
    EXPECT_EQ(Ch(0).ChannelName, "Volt sensor");
    EXPECT_EQ(Ch(0).Description, "stored Volt sensor");
    EXPECT_EQ(Ch(0).PowerDACCache, Ch(0).PowerZero + 527);
    EXPECT_EQ(Ch(0).SupplyCache, 1);
    EXPECT_EQ(Ch(0).RangeCache, 10);
    EXPECT_TRUE(Committed(0));
    EXPECT_EQ(Ch(2).SensorType, model::stDMSFullbridge);
    EXPECT_EQ(Ch(2).ChannelName, "Full bridge");
    EXPECT_EQ(Ch(2).PowerDACCache, 1055);
    EXPECT_EQ(Ch(2).SenseCache, 1);
    EXPECT_TRUE(Committed(2));
    EXPECT_EQ(Ch(1).Current, before1);

    // Busy is held through both commits, and ends with the command.
    EXPECT_EQ(host.BusyAtUpdate, (std::vector<bool>{true, true}));
    EXPECT_FALSE(fields.Busy);
    EXPECT_TRUE(gate->IsOpen());
}

TEST_F(ChannelCommands, ConfirmationNoSensorsAndThePlainListWhenBothOptionsAreOff) {
    settings.AskOnTEDSCheck = true;
    Select({0, 1}, 0);
    host.ConfirmAnswers = {7};
    commands->miTEDSClick();
    EXPECT_TRUE(host.Frames.empty());
    EXPECT_EQ(bridges[0].ResetCount(), 0);

    // Nothing found and nothing failed.
    host.ConfirmAnswers = {6};
    commands->miTEDSClick();
    EXPECT_EQ(host.Confirms, (std::vector<std::array<int, 3>>{{1558, 1559, 1560}, {1558, 1559, 1560}}));
    EXPECT_EQ(host.Messages, (std::vector<std::string>{ui::GetText(1909)}));

    // Found IDs only listed.
    host.Messages.clear();
    settings.AskOnTEDSCheck = false;
    settings.AskForNewTEDS = false;
    settings.AutoTEDSConfig = false;
    bridges[0].SetRoms({kRomA});
    bridges[1].SetRoms({kRomD});
    Store(Record(Id(kRomA), model::stICP, "stored"));
    const model::TSensorType type0 = Ch(0).SensorType;
    commands->miTEDSClick();
    const std::string want = ui::GetText(1900) + "\r\n\r\n" +
                             device::Format(ui::GetText(1901), 1, Id(kRomA)) + "\r\n" +
                             device::Format(ui::GetText(1901), 2, Id(kRomD)) + "\r\n";
    EXPECT_EQ(host.Messages, (std::vector<std::string>{want}));
    EXPECT_EQ(want.substr(ui::GetText(1900).size() + 4, 36),
              "Channel 01 - Unique ROM ID: $" + Id(kRomA).substr(0, 7));
    EXPECT_EQ(Ch(0).SensorType, type0);
    EXPECT_EQ(databaseDialogs, 0);
}

TEST_F(ChannelCommands, NewSensorIsOfferedStoredWithItsRecordAndAppliedWhileARescanWaits) {
    bridges[3].SetRoms({kRomD});
    Select({3}, 3);
    host.ConfirmAnswers = {6};
    OnDatabaseDialog = [this](ui::TTEDSInfoForm&) {
        gate->RequestRescan();
        loop.Step();
        EXPECT_EQ(rescans, 0);
    };
    commands->miTEDSClick();

    EXPECT_EQ(host.Confirms, (std::vector<std::array<int, 3>>{{1902, 1903, 1904}}));
    EXPECT_EQ(dialogRows, (std::vector<std::string>{Id(kRomD)}));
    EXPECT_EQ(rescans, 0);
    loop.Step();
    EXPECT_EQ(rescans, 1);

    // The file holds the new record, its new flag cleared.
    const std::vector<uint8_t> bytes = FileBytes(host.Database);
    ASSERT_EQ(bytes.size(), model::TSensorRecord::Size);
    const std::string id = Id(kRomD);
    const std::string name = "Ch04:  0x" + id;
    ASSERT_EQ(name.size(), 25u);
    EXPECT_EQ(bytes[0], 184);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 16);
    EXPECT_EQ(std::string(bytes.begin() + 3, bytes.begin() + 19), id);
    EXPECT_EQ(bytes[19], 25);
    EXPECT_EQ(std::string(bytes.begin() + 20, bytes.begin() + 45), name);
    EXPECT_EQ(bytes[50], 25);
    EXPECT_EQ(std::string(bytes.begin() + 51, bytes.begin() + 76), name);
    EXPECT_EQ(bytes[81], 0); // no description
    EXPECT_EQ(bytes[282] | bytes[283] << 8, 0);
    EXPECT_EQ(bytes[284], 4);
    EXPECT_EQ(bytes[286] | bytes[287] << 8, 2048);
    EXPECT_EQ(translator->GetSensorEntry(0)->Rec.NewFlag, 0);

    // And applied as stored: type OFF, the names.
    EXPECT_EQ(Ch(3).ChannelName, name);
    EXPECT_EQ(Ch(3).SensorType, model::stOff);
    EXPECT_EQ(Ch(3).RangeCache, 4);
    EXPECT_TRUE(Committed(3));
    EXPECT_FALSE(fields.Busy);
}

TEST_F(ChannelCommands, CancelInTheNewOnlyDialogLeavesTheFileUnchanged) {
    Store(Record(Id(kRomA), model::stICP, "kept"));
    ASSERT_TRUE(translator->SaveSensorDatabase(host.Database));
    const std::vector<uint8_t> before = FileBytes(host.Database);
    bridges[2].SetRoms({kRomC});
    Select({2}, 2);
    host.ConfirmAnswers = {6};
    databaseAnswer = QDialog::Rejected;
    host.BusyAtUpdate.clear();
    commands->miTEDSClick();
    EXPECT_EQ(databaseDialogs, 1);
    EXPECT_EQ(FileBytes(host.Database), before);
    EXPECT_EQ(translator->FindSensorEntry(Id(kRomC)), -1);
    EXPECT_EQ(translator->SensorEntryCount(), 1);
    // Nothing stored: nothing applied.
    EXPECT_TRUE(host.BusyAtUpdate.empty());
}

TEST_F(ChannelCommands, CancelledNewEntriesWhoseFileCannotBeReadAgainAreDroppedAndNotApplied) {
    Store(Record(Id(kRomC), model::stICP, "stored before"));
    const auto entriesBefore = Entries(*translator);
    WriteShortDatabase(host.Database);
    const std::vector<uint8_t> fileBefore = FileBytes(host.Database);
    bridges[0].SetRoms({kRomA});
    Select({0}, 0);
    const std::string nameBefore = Ch(0).ChannelName;
    const model::TSensorType typeBefore = Ch(0).SensorType;
    const device::TChannelImage pendingBefore = Ch(0).Pending, currentBefore = Ch(0).Current;
    size_t writesAtDialog = 0; // the identification itself commits
    host.ConfirmAnswers = {6};
    databaseAnswer = QDialog::Rejected;
    // The user edits the new entry, then cancels and discards.
    OnDatabaseDialog = [this, &writesAtDialog](ui::TTEDSInfoForm&) {
        writesAtDialog = ChannelWrites(*amp);
        model::TTEDSBlock* entry = translator->GetSensorEntry(translator->FindSensorEntry(Id(kRomA)));
        ASSERT_NE(entry, nullptr);
        entry->Rec.SensorType = model::stVolt;
        model::SetRecordText(entry->Rec.DisplayName, "edited");
    };

    commands->miTEDSClick();

    EXPECT_EQ(databaseDialogs, 1);
    EXPECT_EQ(Entries(*translator), entriesBefore);
    EXPECT_EQ(Ch(0).ChannelName, nameBefore);
    EXPECT_EQ(Ch(0).SensorType, typeBefore);
    EXPECT_EQ(Ch(0).Pending, pendingBefore);
    EXPECT_EQ(Ch(0).Current, currentBefore);
    EXPECT_EQ(ChannelWrites(*amp), writesAtDialog);
    EXPECT_EQ(FileBytes(host.Database), fileBefore);
    // Reported as a failed load at start is: a log line and a box.
    ASSERT_FALSE(translator->LastFileError.empty());
    EXPECT_EQ(host.Messages, (std::vector<std::string>{translator->LastFileError}));
    EXPECT_EQ(host.Log, (std::vector<std::string>{"[ERR] " + translator->LastFileError}));
    EXPECT_FALSE(fields.Busy);
}

TEST_F(ChannelCommands, CancelledDatabaseDialogWhoseFileCannotBeReadAgainGivesBackItsEntries) {
    Store(Record(Id(kRomA), model::stICP, "first"));
    Store(Record(Id(kRomC), model::stVolt, "second"));
    const auto entriesBefore = Entries(*translator);
    WriteShortDatabase(host.Database);
    const std::vector<uint8_t> fileBefore = FileBytes(host.Database);
    commands->ExecDialog = [this](QDialog&) {
        translator->DeleteSensorEntry(Id(kRomA));
        translator->GetSensorEntry(0)->Rec.SensorType = model::stRTD;
        auto added = std::make_unique<model::TTEDSBlock>(ui::ManualSensorRecord(Id(kRomD)));
        translator->AddSensorEntry(added);
        return int(QDialog::Rejected);
    };

    EXPECT_FALSE(commands->RunSensorDatabase(false));

    EXPECT_EQ(Entries(*translator), entriesBefore);
    EXPECT_EQ(FileBytes(host.Database), fileBefore);
    ASSERT_FALSE(translator->LastFileError.empty());
    EXPECT_EQ(host.Messages, (std::vector<std::string>{translator->LastFileError}));
    EXPECT_EQ(host.Log, (std::vector<std::string>{"[ERR] " + translator->LastFileError}));
    // The unread file stays protected.
    EXPECT_FALSE(translator->SaveSensorDatabase(host.Database));
    EXPECT_EQ(FileBytes(host.Database), fileBefore);
}

TEST_F(ChannelCommands, StoredSupplyBeyondTheDacIsLimitedAndARefusedSaveIsReported) {
    bridges[0].SetRoms({kRomA});
    model::TSensorRecord volt = Record(Id(kRomA), model::stVolt, "Volt");
    volt.SupplyMode = 1;
    volt.SupplyDAC = 65000; // the sum with the zero would wrap around 16 bits
    Store(volt);
    Select({0}, 0);
    commands->miTEDSClick();
    EXPECT_EQ(Ch(0).PowerDACCache, 4095);
    EXPECT_TRUE(Committed(0));

    // The database dialog confirmed, but the file cannot be written: the user is told.
    host.Database = folder.string(); // a folder
    commands->ExecDialog = [](QDialog&) { return int(QDialog::Accepted); };
    EXPECT_TRUE(commands->RunSensorDatabase(false));
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], translator->LastFileError);
    EXPECT_FALSE(host.Messages[0].empty());
    EXPECT_EQ(translator->SensorEntryCount(), 1); // the list stays
}

TEST_F(ChannelCommands, DeviceLostDuringDetectionReportsTheFailureAndLeavesTheWindowUsable) {
    bridges[0].SetRoms({kRomA});
    Select({0, 1}, 0);
    TFakeFault fault;
    fault.Times = -1;
    fault.Reset = true;
    amp->AddFault(fault);
    commands->miTEDSClick();
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], ui::GetText(1052));
    EXPECT_FALSE(fields.Busy);
    EXPECT_TRUE(gate->IsOpen());
}

TEST_F(ChannelCommands, DeviceLostDuringTemperatureOrAutozeroShowsTheirTextsInTheirFrames) {
    Select({0}, 0);
    TFakeFault fault;
    fault.Times = -1;
    fault.Reset = true;
    amp->AddFault(fault);
    settings.AskOnTEMPCheck = true;
    host.ConfirmAnswers = {6};
    commands->miTEMPClick();
    commands->miAutozeroClick();
    EXPECT_EQ(host.Confirms, (std::vector<std::array<int, 3>>{{1565, 1566, 1567}}));
    EXPECT_EQ(host.Frames, (std::vector<std::string>{"1714/1715", "1704/1705"}));
    EXPECT_EQ(host.Messages, (std::vector<std::string>{ui::GetText(1044), ui::GetText(1048)}));
    EXPECT_EQ(host.BusySpans, 2);
    EXPECT_FALSE(fields.Busy);
    EXPECT_TRUE(gate->IsOpen());
}

TEST_F(ChannelCommands, OutputFilterOfTheSelectedChannelsAndTheTwoViewers) {
    Select({1, 3}, 1);
    commands->miOutputFilterOnClick(1);
    for (int i = 0; i < kChannels; ++i)
        EXPECT_EQ(Ch(i).OutputFilterCache, i == 1 || i == 3 ? 1 : 0) << i;
    EXPECT_TRUE(Committed(1));
    EXPECT_TRUE(Committed(3));
    commands->miOutputFilterOnClick(0);
    EXPECT_EQ(Ch(1).OutputFilterCache, 0);
    EXPECT_TRUE(host.Messages.empty());

    std::vector<std::string> titles;
    std::vector<std::string> lines;
    commands->ExecDialog = [&](QDialog& dialog) {
        titles.push_back(dialog.windowTitle().toStdString());
        if (auto* viewer = qobject_cast<ui::TDeviceInfoForm*>(&dialog)) lines = viewer->Lines();
        return int(QDialog::Accepted);
    };
    commands->actChInfoExecute();
    commands->miShowHistoryClick(); // no lines: nothing
    fields.HistoryList = {"first", "second"};
    commands->miShowHistoryClick();
    EXPECT_EQ(titles, (std::vector<std::string>{ui::GetText(1620), ui::GetText(415)}));
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));
}

// ---- Rename, focus row, clipboard --------------------------------------------------------------

TEST_F(ChannelCommands, RenameRefusesABlankNameAndCutsAtThirtyCharacters) {
    Select({2}, 2);
    Ch(2).ChannelName = "Old";
    host.Inputs = {std::string("   "), std::string("  ") + std::string(40, 'x') + " ", std::nullopt};
    commands->miRenamechannelClick();
    EXPECT_EQ(host.Messages, (std::vector<std::string>{ui::GetText(1032)}));
    EXPECT_EQ(Ch(2).ChannelName, "Old");
    EXPECT_EQ(host.InputTexts, (std::vector<std::string>{ui::GetText(1507), ui::GetText(1508), "Old"}));
    commands->miRenamechannelClick();
    EXPECT_EQ(Ch(2).ChannelName, std::string(30, 'x'));
    commands->miRenamechannelClick(); // cancelled
    EXPECT_EQ(Ch(2).ChannelName, std::string(30, 'x'));

    // Only with one row selected.
    Select({1, 2}, 2);
    host.Inputs = {std::string("New")};
    commands->miRenamechannelClick();
    EXPECT_EQ(Ch(2).ChannelName, std::string(30, 'x'));
    EXPECT_EQ(host.Inputs.size(), 1u);
}

TEST_F(ChannelCommands, FocusRowOutsideTheListDoesNothing) {
    // A selection without a focus row, as after a scan or "All channels".
    Select({1}, -1);
    ASSERT_EQ(page->List->currentRow(), -1);
    const size_t requests = amp->RequestCount();
    commands->miCopyChannelClick();
    commands->miBlinkClick();
    page->AllChannels->setChecked(true);
    list->cbDevConAllChClick();
    ASSERT_EQ(page->List->currentRow(), -1);
    commands->miHydrophoneClick();
    commands->miOutputfloatingClick();
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(translator->ClipboardValid);
    EXPECT_EQ(amp->RequestCount(), requests);
    for (int i = 0; i < kChannels; ++i)
        EXPECT_EQ(Ch(i).open_gnd_shield, 0) << i;
    // The translator refuses a negative index itself.
    EXPECT_FALSE(translator->CopyChannel(-1));
}

TEST_F(ChannelCommands, PasteWithoutClipboardDisablesTheItemThenCopyAndPasteApply) {
    Select({}, -1);
    commands->miPasteChannelClick();
    EXPECT_EQ(host.Messages, (std::vector<std::string>{ui::GetText(1054)}));
    Select({1}, 1);
    commands->miPasteChannelClick();
    EXPECT_EQ(host.Messages.back(), ui::GetText(1055));
    ASSERT_TRUE(host.Enabled.count("miPasteChannel"));
    EXPECT_FALSE(host.Enabled["miPasteChannel"]);

    ASSERT_TRUE(translator->SetSensorType(0, model::stICP));
    ASSERT_TRUE(translator->NewConfig(0, true));
    Select({0}, 0);
    commands->miCopyChannelClick();
    EXPECT_TRUE(translator->ClipboardValid);
    EXPECT_TRUE(Ch(0).CopySource);
    Select({1, 2}, 1);
    host.Messages.clear();
    commands->miPasteChannelClick();
    EXPECT_TRUE(host.Messages.empty());
    for (int i : {1, 2}) {
        EXPECT_EQ(Ch(i).SensorType, model::stICP) << i;
        EXPECT_TRUE(Committed(i)) << i;
    }
    EXPECT_TRUE(translator->ClipboardValid); // pasting keeps the clipboard
}

// ---- Toggles, history ------------------------------------------------------------------------

TEST_F(ChannelCommands, OpenGroundToggleTakesTheFocusRowsStateForEverySelectedChannel) {
    Ch(1).open_gnd_shield = 1; // not the focus row: its own state does not count
    Select({0, 1}, 0);
    commands->miHydrophoneClick();
    EXPECT_EQ(Ch(0).open_gnd_shield, 1);
    EXPECT_EQ(Ch(1).open_gnd_shield, 1);
    EXPECT_TRUE(Committed(0));
    EXPECT_TRUE(Committed(1));
    EXPECT_EQ(host.BusySpans, 1);
    EXPECT_TRUE(host.Frames.empty()); // no pop-up
    EXPECT_FALSE(fields.Busy);
    EXPECT_FALSE(fields.ChangesPending);

    // Nothing while another command holds Busy.
    fields.Busy = true;
    commands->miHydrophoneClick();
    EXPECT_EQ(host.BusySpans, 1);
}

TEST_F(ChannelCommands, HistoryItemsAndReset) {
    EXPECT_FALSE(commands->HistoryItemsEnabled());
    fields.HistoryList = {"10:00: CH01 - error"};
    EXPECT_TRUE(commands->HistoryItemsEnabled());
    Ch(0).ADC8History = 0x10;
    commands->miResetHistoryClick();
    EXPECT_TRUE(fields.HistoryList.empty());
    EXPECT_EQ(Ch(0).ADC8History, 0);
    EXPECT_EQ(host.HistoryResets, 1);
    EXPECT_EQ(host.UpdateErrorHistoryCount, 1);
    EXPECT_FALSE(commands->HistoryItemsEnabled());
}

// ---- Setup mode ----------------------------------------------------------------------------

// The commands that change pending images without committing.
enum class TImageCommand { OutputFilter, Paste, Detection, OpenGround, FloatingOutput };

std::string CommandName(const ::testing::TestParamInfo<TImageCommand>& info) {
    static const char* const kNames[] = {"OutputFilter", "Paste", "Detection", "OpenGround",
                                         "FloatingOutput"};
    return kNames[static_cast<int>(info.param)];
}

class SetupModeCommands : public ChannelCommands, public ::testing::WithParamInterface<TImageCommand> {
protected:
    // What the command needs, made in ad-hoc mode: the clipboard, a stored sensor.
    void Prepare(TImageCommand command) {
        if (command == TImageCommand::Paste) {
            ASSERT_TRUE(translator->SetSensorType(2, model::stICP));
            ASSERT_TRUE(translator->NewConfig(0, true));
            Select({2}, 2);
            commands->miCopyChannelClick();
            ASSERT_TRUE(translator->ClipboardValid);
        }
        if (command == TImageCommand::OpenGround) {
            // A type whose reference switches with it.
            ASSERT_TRUE(translator->SetSensorType(0, model::stVolt));
            ASSERT_TRUE(translator->NewConfig(0, true));
        }
        if (command == TImageCommand::Detection) {
            bridges[0].SetRoms({kRomA});
            Store(Record(Id(kRomA), model::stICP, "ICP sensor"));
        }
    }
    // The command on channel 0 (selected, the focus row).
    void Run(TImageCommand command) {
        switch (command) {
        case TImageCommand::OutputFilter:
            commands->miOutputFilterOnClick(1);
            break;
        case TImageCommand::Paste:
            commands->miPasteChannelClick();
            break;
        case TImageCommand::Detection:
            commands->miTEDSClick();
            break;
        case TImageCommand::OpenGround:
            commands->miHydrophoneClick();
            break;
        case TImageCommand::FloatingOutput:
            commands->miOutputfloatingClick();
            break;
        }
    }
};

TEST_P(SetupModeCommands, RollbackPutsTheChannelBackAndALaterCommitWritesNothingOfIt) {
    ASSERT_NO_FATAL_FAILURE(Prepare(GetParam()));
    page->SetupMode->setChecked(true);
    ASSERT_FALSE(fields.ChangesPending);
    Select({0}, 0);
    const device::TChannelImage running = Ch(0).Current;
    const uint16_t runningType = Ch(0).SensorType;
    ASSERT_EQ(amp->StoredImage(0), running.Image);

    Run(GetParam());
    ASSERT_NE(Ch(0).Pending, running); // collected, not written
    EXPECT_EQ(amp->StoredImage(0), running.Image);
    EXPECT_TRUE(fields.ChangesPending);
    EXPECT_TRUE(page->Rollback->isEnabled());

    page->Rollback->click();
    EXPECT_EQ(Ch(0).Pending, running);
    EXPECT_EQ(Ch(0).Current, running);
    EXPECT_EQ(Ch(0).SensorType, runningType);

    // A change to another channel, committed: nothing of channel 0 reaches the device.
    Select({1}, 1);
    menus->RunHandler(ui::TMenuHandler::Sensor, model::stVolt);
    page->Commit->click();
    EXPECT_EQ(Ch(1).SensorType, model::stVolt);
    EXPECT_TRUE(Committed(1));
    EXPECT_EQ(amp->StoredImage(0), running.Image);
    EXPECT_EQ(Ch(0).Pending, running);
    EXPECT_TRUE(host.Messages.empty());
}

TEST_P(SetupModeCommands, CommitWritesTheCommandsChange) {
    ASSERT_NO_FATAL_FAILURE(Prepare(GetParam()));
    page->SetupMode->setChecked(true);
    Select({0}, 0);
    const device::TChannelImage running = Ch(0).Current;
    Run(GetParam());
    ASSERT_NE(Ch(0).Pending, running);
    page->Commit->click();
    EXPECT_NE(Ch(0).Current, running);
    EXPECT_TRUE(Committed(0));
    EXPECT_FALSE(fields.ChangesPending);
    EXPECT_TRUE(host.Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(ImageCommands, SetupModeCommands,
                         ::testing::Values(TImageCommand::OutputFilter, TImageCommand::Paste,
                                           TImageCommand::Detection, TImageCommand::OpenGround,
                                           TImageCommand::FloatingOutput),
                         CommandName);

TEST_F(ChannelCommands, ResetInSetupModeStaysAfterARollback) {
    ASSERT_TRUE(translator->SetSensorType(0, model::stICP));
    ASSERT_TRUE(translator->NewConfig(0, true));
    page->SetupMode->setChecked(true);
    Select({0, 1}, 0);
    // A collected change first: its snapshot holds the ICP setting.
    menus->RunHandler(ui::TMenuHandler::Sensor, model::stVolt);
    ASSERT_TRUE(fields.ChangesPending);

    commands->miResetChannelClick();
    const device::TChannelImage reset = Ch(0).Current;
    EXPECT_TRUE(Committed(0));
    EXPECT_TRUE(Committed(1));
    EXPECT_FALSE(fields.ChangesPending);

    page->Rollback->click();
    for (int i : {0, 1}) {
        EXPECT_TRUE(Committed(i)) << i;
    }
    EXPECT_EQ(Ch(0).Current, reset);
    EXPECT_TRUE(host.Messages.empty());
}

// ---- Commits while setup mode is selected ------------------------------------------------------

// Whoever commits, in setup mode the model afterwards shows what the devices run.
enum class TCommittingCommand {
    Detection,
    Temperature,
    Autozero,
    Blink,
    ZeroAdjustment,
    Reset,
    LoadedSetup,
    FanSpeedCommit
};

std::string CommittingName(const ::testing::TestParamInfo<TCommittingCommand>& info) {
    static const char* const kNames[] = {"Detection",      "Temperature", "Autozero",    "Blink",
                                         "ZeroAdjustment", "Reset",       "LoadedSetup", "FanSpeedCommit"};
    return kNames[static_cast<int>(info.param)];
}

class SetupModeCommits : public ChannelCommands, public ::testing::WithParamInterface<TCommittingCommand> {
protected:
    void SetUp() override {
        ChannelCommands::SetUp();
        if (HasFatalFailure()) return;
        // Channel 1's converter follows what its slot runs; its zero lies off the running offset.
        amp->SetChip(0, 0x68, &adc);
        FollowStoredImages(adc, amp->StoredImage(0), Ch(0).HWVersion);
        adc.SetZeroReference(-200);
        adc.SetSignal(300);
        settings.AskForNewTEDS = false;
        settings.AutoTEDSConfig = false;
        setupFile = (folder / "Setup.xml").string();
    }

    // What the command needs, made in ad-hoc mode: a setup file channel 1 no longer runs.
    void Prepare(TCommittingCommand command) {
        if (command != TCommittingCommand::LoadedSetup) return;
        ASSERT_TRUE(translator->SaveSetup(setupFile, 2, 0)) << translator->LastFileError;
        ASSERT_TRUE(translator->SetSensorType(0, model::stICP));
        ASSERT_TRUE(translator->NewConfig(0, true));
    }

    // The command on channel 1 (selected, the focus row), through the model where the window's
    // own files make the calls.
    void Run(TCommittingCommand command) {
        model::TI2CTranslator& t = *translator;
        switch (command) {
        case TCommittingCommand::Detection:
            commands->miTEDSClick();
            break;
        case TCommittingCommand::Temperature:
            commands->miTEMPClick();
            break;
        case TCommittingCommand::Autozero:
            commands->miAutozeroClick();
            break;
        case TCommittingCommand::Blink:
            commands->miBlinkClick();
            break;
        case TCommittingCommand::ZeroAdjustment:
            // One channel's run: switched off, one adjusted step, its defaults loaded back.
            t.ApplySensorType(0, model::stOff);
            t.NewConfig(0, true);
            EXPECT_TRUE(t.NewConfig(0, true) && t.Autozero(0, 1));
            t.LoadDefaults(0);
            t.NewConfig(0, true);
            break;
        case TCommittingCommand::Reset:
            commands->miResetChannelClick();
            break;
        case TCommittingCommand::LoadedSetup:
            ASSERT_TRUE(t.LoadSetup(setupFile, false)) << t.LastFileError;
            EXPECT_TRUE(t.NewConfig(0, true));
            break;
        case TCommittingCommand::FanSpeedCommit:
            // The settings' commit of the channels a slower fan switched off.
            EXPECT_TRUE(t.NewConfig(0, false));
            break;
        }
    }

    // The list (the decoded settings and caches), the pending images and the devices agree.
    void ExpectModelIsWhatTheDevicesRun() {
        for (int i = 0; i < kChannels; ++i) {
            SCOPED_TRACE("channel index " + std::to_string(i));
            EXPECT_EQ(Ch(i).Pending, Ch(i).Current);
            EXPECT_EQ(amp->StoredImage(i), Ch(i).Current.Image);
            EXPECT_EQ(Ch(i).SensorType, amp->StoredImage(i).Words[0]);
            EXPECT_EQ(Ch(i).TypeCache, Ch(i).SensorType);
            EXPECT_EQ(Ch(i).RangeCache, Ch(i).Range);
            EXPECT_EQ(Ch(i).OffsetDACCache, amp->StoredImage(i).Words[8]);
            EXPECT_EQ(Ch(i).OutputFilterCache, Ch(i).outputfilter);
        }
    }

    // A change collected on channel 2: its output filter and its range.
    void CollectChangeOnChannel2() {
        Select({1}, 1);
        commands->miOutputFilterOnClick(Ch(1).OutputFilterCache != 0 ? 0 : 1);
        menus->RunHandler(ui::TMenuHandler::Range, Ch(1).RangeCache == 10 ? 12 : 10);
        ASSERT_TRUE(fields.ChangesPending);
        ASSERT_NE(Ch(1).Pending, Ch(1).Current);
        ASSERT_EQ(amp->StoredImage(1), Ch(1).Current.Image);
    }

    TADC18Emulation adc;
    std::string setupFile;
};

TEST_P(SetupModeCommits, RollbackAfterTheCommandShowsWhatTheDevicesRun) {
    ASSERT_NO_FATAL_FAILURE(Prepare(GetParam()));
    page->SetupMode->setChecked(true);
    ASSERT_NO_FATAL_FAILURE(CollectChangeOnChannel2());
    const device::TChannelImage collected = Ch(1).Pending;

    Select({0}, 0);
    ASSERT_NO_FATAL_FAILURE(Run(GetParam()));
    ASSERT_TRUE(errors.empty()) << errors.front();
    // The command's commits took channel 2's collected change along.
    if (GetParam() != TCommittingCommand::LoadedSetup) {
        EXPECT_EQ(amp->StoredImage(1), collected.Image);
    }
    EXPECT_FALSE(fields.ChangesPending);
    EXPECT_FALSE(page->Commit->isEnabled());
    EXPECT_FALSE(page->Rollback->isEnabled());
    ExpectModelIsWhatTheDevicesRun();

    menus->btnRollbackClick();
    ExpectModelIsWhatTheDevicesRun();
    // Nothing is left to send.
    const size_t writes = ChannelWrites(*amp);
    EXPECT_TRUE(translator->NewConfig(0, true));
    EXPECT_EQ(ChannelWrites(*amp), writes);
}

INSTANTIATE_TEST_SUITE_P(CommittingCommands, SetupModeCommits,
                         ::testing::Values(TCommittingCommand::Detection, TCommittingCommand::Temperature,
                                           TCommittingCommand::Autozero, TCommittingCommand::Blink,
                                           TCommittingCommand::ZeroAdjustment, TCommittingCommand::Reset,
                                           TCommittingCommand::LoadedSetup,
                                           TCommittingCommand::FanSpeedCommit),
                         CommittingName);

class SetupModeAutozero : public SetupModeCommits {};

TEST_F(SetupModeAutozero, ALaterCommitOnTheZeroedChannelKeepsItsOffset) {
    page->SetupMode->setChecked(true);
    ASSERT_NO_FATAL_FAILURE(CollectChangeOnChannel2());
    Select({0}, 0);
    const uint16_t before = amp->StoredImage(0).Words[8];
    commands->miAutozeroClick();
    ASSERT_TRUE(host.Messages.empty()) << host.Messages.front();
    const uint16_t zeroed = amp->StoredImage(0).Words[8];
    ASSERT_NE(zeroed, before);
    ASSERT_EQ(Ch(0).OffsetDAC, zeroed);

    menus->btnRollbackClick();
    EXPECT_EQ(Ch(0).OffsetDAC, zeroed);
    EXPECT_EQ(Ch(0).OffsetDACCache, zeroed);
    // A change on the zeroed channel, committed: the device keeps the autozero result.
    commands->miOutputFilterOnClick(Ch(0).OutputFilterCache != 0 ? 0 : 1);
    ASSERT_TRUE(page->Commit->isEnabled());
    page->Commit->click();
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_TRUE(Committed(0));
    EXPECT_EQ(amp->StoredImage(0).Words[8], zeroed);
}

TEST_F(SetupModeAutozero, AFailedCommitLeavesNothingPending) {
    page->SetupMode->setChecked(true);
    ASSERT_NO_FATAL_FAILURE(CollectChangeOnChannel2());
    TFakeFault refuse;
    refuse.Code = 0x30011; // WRITECHANNEL
    refuse.Status = -5;
    refuse.VerifyWords = {0, 0, 0, 0, 0, 0, 0, 0x0010};
    amp->AddFault(refuse);
    page->Commit->click();
    EXPECT_EQ(host.Messages, std::vector<std::string>{ui::GetText(1053)});
    EXPECT_FALSE(fields.ChangesPending);
    EXPECT_FALSE(page->Commit->isEnabled());
    EXPECT_FALSE(page->Rollback->isEnabled());
    menus->btnRollbackClick();
    ExpectModelIsWhatTheDevicesRun();
}

// ---- The main window over the fake amplifier -------------------------------------------------

class MainWindowSensors : public ::testing::Test, protected TMainWindowFixture {
protected:
    void SetUp() override {
        EnsureApplication();
        installed = std::make_unique<ui::TScopedMessageService>(script);
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
        TFakeAmpConfig config;
        config.Channels = 2;
        config.Version = 2;
        amp = std::make_unique<TFakeLanAmplifier>(config);
        amp->SetChip(0, 0x18, &bridges[0]);
        amp->SetChip(1, 0x18, &bridges[1]);
        ui::TSettings s = LanSettings(amp->Target());
        s.AskOnTEDSCheck = false;
        ASSERT_NO_FATAL_FAILURE(WriteSettings(s));
        Start();
    }
    void Start() {
        ASSERT_NO_FATAL_FAILURE(CreateWindow(TestStartOptions(), false));
        offsetForm = std::make_unique<ui::TChannelOffsetForm>(window.get());
        ShowWindow(offsetForm.get());
    }
    void Stop() {
        offsetForm.reset();
        window.reset();
    }
    void TearDown() override {
        Stop();
        amp.reset();
        ui::SetLangOffset(ui::LangEnglish);
    }

    std::array<TDS2482Emulation, 2> bridges;
    std::unique_ptr<TFakeLanAmplifier> amp;
    TInstalledVirtualMainLoop loop;
    ui::TScriptedMessageService script;
    std::unique_ptr<ui::TScopedMessageService> installed;
    std::unique_ptr<ui::TChannelOffsetForm> offsetForm;
};

TEST_F(MainWindowSensors, DetectedSensorIsAddedEditedAppliedAndTheDatabaseLoadsBackUnchanged) {
    window->timMainTimer();
    ASSERT_EQ(window->Translator->ChannelCount(), 2);
    bridges[0].SetRoms({kRomA});
    window->lbDevControl->item(0)->setSelected(true);
    window->lbDevControl->setCurrentRow(0, QItemSelectionModel::NoUpdate);

    // No channel menu item is enabled without a command behind it.
    for (const auto& [name, item] : window->ChannelMenuItems)
        EXPECT_EQ(window->Channels->ItemHasCommand(name), name != "miDisableChannel") << name;
    EXPECT_TRUE(window->CommandConnected("actChInfo"));
    EXPECT_TRUE(window->CommandConnected("actTedsInfo"));
    EXPECT_TRUE(window->Channels->Menus().ClearChargeCommand != nullptr);

    int dialogs = 0;
    window->Channels->Commands().ExecDialog = [&](QDialog& dialog) {
        auto* form = qobject_cast<ui::TTEDSInfoForm*>(&dialog);
        if (form == nullptr) return int(QDialog::Rejected);
        ++dialogs;
        form->FormShow();
        EXPECT_EQ(form->lbTEDS->count(), 1);
        form->ExecEditor = [](ui::TTEDSEditForm& editor) {
            editor.FormShow();
            editor.cbSensorType->setCurrentIndex(
                editor.cbSensorType->findData(QStringLiteral("1"), Qt::UserRole));
            editor.cbVoltSupply->setCurrentIndex(1);
            editor.cbVSP->setCurrentIndex(9); // 10.0 V
            editor.ebxDisplayName->setText(QStringLiteral("Accelerometer"));
            editor.btnOkClick();
            return int(QDialog::Accepted);
        };
        form->btnEditTEDSClick();
        form->btnOk->click();
        return form->result();
    };
    script.Answers = {"6"}; // set up a configuration for the new sensor
    window->ChannelMenuItems.at("miTEDS")->setEnabled(true);
    window->ChannelMenuItems.at("miTEDS")->trigger();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(script.MessageTexts().empty());
    EXPECT_FALSE(window->Busy);
    EXPECT_TRUE(window->Gate.IsOpen());

    const model::TQRBRawChannel& c = *window->Translator->GetChannel(0);
    EXPECT_EQ(c.SensorType, model::stVolt);
    EXPECT_EQ(c.ChannelName, "Accelerometer");
    EXPECT_EQ(c.SupplyCache, 1);
    EXPECT_EQ(c.PowerDAC, c.PowerZero + 1055);
    EXPECT_EQ(c.Current, c.Pending);
    EXPECT_EQ(amp->StoredImage(0), c.Current.Image);

    const fs::path file = configHome / "QRB GmbH" / "TEDSinfo.bin";
    const std::vector<uint8_t> bytes = FileBytes(file);
    ASSERT_EQ(bytes.size(), model::TSensorRecord::Size);
    model::TSensorRecord written;
    ASSERT_TRUE(model::TSensorRecord::Decode(bytes.data(), bytes.size(), written));
    EXPECT_EQ(written, window->Translator->GetSensorEntry(0)->Rec);
    EXPECT_EQ(written.SupplyDAC, 1055);

    // A restart loads the same entry, and saving it writes the same bytes.
    Stop();
    Start();
    ASSERT_EQ(window->Translator->SensorEntryCount(), 1);
    EXPECT_EQ(window->Translator->GetSensorEntry(0)->Rec, written);
    ASSERT_TRUE(window->Translator->SaveSensorDatabase(file.string()));
    EXPECT_EQ(FileBytes(file), bytes);
}

TEST_F(MainWindowSensors, CancelledDatabaseOverAnUnreadableFileIsReportedAsAtStart) {
    Stop();
    const fs::path file = CompanyFolder() / "TEDSinfo.bin";
    WriteShortDatabase(file);
    Start();
    QApplication::processEvents(); // the start's box
    const std::string error = window->Translator->LastFileError;
    ASSERT_FALSE(error.empty());
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{error}));
    auto logged = [this, &error] {
        const std::vector<std::string> lines = window->LogLines();
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.size() >= error.size() + 6 &&
                   line.compare(line.size() - error.size() - 6, std::string::npos, "[ERR] " + error) == 0;
        });
    };
    EXPECT_EQ(logged(), 1);

    window->Channels->Commands().ExecDialog = [this](QDialog&) {
        auto added = std::make_unique<model::TTEDSBlock>(ui::ManualSensorRecord(Id(kRomA)));
        window->Translator->AddSensorEntry(added);
        return int(QDialog::Rejected);
    };
    window->Channels->actTedsInfoExecute();
    EXPECT_EQ(window->Translator->SensorEntryCount(), 0);
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{error, error}));
    EXPECT_EQ(logged(), 2);
    EXPECT_EQ(FileBytes(file).size(), 3u);
}

TEST_F(MainWindowSensors, HistoryResetWithAndWithoutAPresentError) {
    window->timMainTimer();
    ASSERT_EQ(window->Translator->ChannelCount(), 2);
    ui::TChannelCommands& commands = window->Channels->Commands();
    model::TQRBRawChannel& c = *window->Translator->GetChannel(1);

    c.ADC8Status = 0x10;
    window->HistoryList = {"old line"};
    commands.miResetHistoryClick();
    // The present error is at once in the rebuilt history.
    ASSERT_FALSE(window->HistoryList.empty());
    EXPECT_EQ(window->HistoryList[0].find("old"), std::string::npos);
    EXPECT_NE(window->HistoryList[0].find("CH02"), std::string::npos);
    EXPECT_EQ(window->imgHistory->toolTip().toStdString(), ui::GetText(1572));

    c.ADC8Status = 0;
    commands.miResetHistoryClick();
    EXPECT_TRUE(window->HistoryList.empty());
    EXPECT_EQ(window->imgHistory->toolTip().toStdString(), ui::GetText(1571));
    window->popHistory->aboutToShow();
    EXPECT_FALSE(window->miShowHistory->isEnabled());
    EXPECT_FALSE(window->miResetHistory->isEnabled());
    window->HistoryList = {"line"};
    window->popHistory->aboutToShow();
    EXPECT_TRUE(window->miShowHistory->isEnabled());
    EXPECT_TRUE(window->miResetHistory->isEnabled());
    EXPECT_TRUE(window->miRefreshAllStats->isEnabled());

    // A double click on the icon shows the history, also before the menu was ever opened.
    window->miShowHistory->setEnabled(false);
    std::vector<std::string> titles;
    commands.ExecDialog = [&](QDialog& dialog) {
        titles.push_back(dialog.windowTitle().toStdString());
        return int(QDialog::Accepted);
    };
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->imgHistory, &click);
    EXPECT_EQ(titles, (std::vector<std::string>{ui::GetText(415)}));
}

} // namespace
} // namespace qrb::test
