// A termination (the signal's handler, TOndrixMain::Terminate) while the program waits for the
// user in a real box or dialog, against a fake LAN amplifier: the program ends, and after the
// signal no device write reaches the amplifier but the close's stop lock (and an aborted zero
// adjustment's defaults of its current channel).

#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "device/wire/CommandTable.h"
#include "model/I2CTranslator.h"
#include "tests/support/ChipAmplifier.h"
#include "tests/support/ChipEmulations.h"
#include "tests/support/FakeLanAmplifier.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ConfigServerControl.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowChannels.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/dialogs/ZeroAdjust.h"
#include "ui/platform/PowerEvents.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qrb::test {
namespace {

using device::TWireCommand;

constexpr uint32_t Code(TWireCommand command) {
    return device::WireCommandRow(command).Code;
}

constexpr uint32_t kSetDeviceLockState = Code(TWireCommand::SetDeviceLockState);
constexpr uint32_t kWriteChannel = Code(TWireCommand::WriteChannel);

// The requests that change a device (I2C writes, multiplexers, sequences, IRQ mode, fan, clock,
// flash, channel information, DC/DC information, channel images, the lock).
const std::set<uint32_t>& WriteCodes() {
    static const std::set<uint32_t> codes = [] {
        std::set<uint32_t> c;
        for (TWireCommand command :
             {TWireCommand::WriteI2C, TWireCommand::WriteI2CBlock, TWireCommand::SetSCL, TWireCommand::SetMux,
              TWireCommand::WriteSeq, TWireCommand::SetIRQ, TWireCommand::SetFan, TWireCommand::SetDCDCClock,
              TWireCommand::SetMasterflash, TWireCommand::SaveAllConfig, TWireCommand::SetChannelInfo,
              TWireCommand::SetDCDCInfo, TWireCommand::WriteChannel, TWireCommand::SetDeviceLockState})
            c.insert(Code(command));
        return c;
    }();
    return codes;
}

// A request's name on the LAN wire.
std::string Name(uint32_t code) {
    for (const device::TWireCommandRow& row : device::kWireCommands)
        if (row.Code == code) return std::string(row.Name[static_cast<size_t>(device::TNameColumn::LAN)]);
    return "0x" + device::IntToHex(code, 5);
}

// A write as the test compares it: its name and payload bytes.
std::string Write(uint32_t code, const std::vector<uint8_t>& payload) {
    std::string text = Name(code);
    for (uint8_t b : payload)
        text += " " + device::IntToHex(b, 2);
    return text;
}

// The dialog or box a case waits in: its object name, and for the program's boxes a text.
// "QMessageBox" stands for the message service's plain box (its text is the command's report).
struct TWaitPoint {
    const char* ObjectName = nullptr;
    int TextId = 0; // the confirmation box's text, or 0
};

class Ending;
// What the user does in a dialog on the way to the wait point; true when it did something.
using TOnTheWay = std::function<bool(Ending&, QDialog&)>;

class Ending : public ::testing::Test, protected TMainWindowFixture {
public:
    ui::TOndrixMain& Window() { return *window; }
    TDS2482Emulation& Bridge(int slot) { return bridges[static_cast<size_t>(slot)]; }

    // The setup as it stands saved to a file, which edit then changes; the file the open
    // dialog is answered with.
    void WriteSetup(const std::function<void(std::string&)>& edit) {
        setupFile = (configHome / "other.xml").string();
        ASSERT_TRUE(window->Translator->SaveSetup(setupFile, 2, 0)) << window->Translator->LastFileError;
        std::string text;
        {
            std::ifstream in(setupFile, std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        edit(text);
        std::ofstream(setupFile, std::ios::binary | std::ios::trunc) << text;
    }
    std::string setupFile;

protected:
    void SetUp() override {
        EnsureApplication();
        // A close of an earlier test asked the application to quit, which would end every modal
        // loop at once: a run of the application's loop clears that.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        installed = std::make_unique<ui::TScopedMessageService>(boxes);
    }

    void TearDown() override {
        player.stop();
        CloseWindow();
        ui::ResumeMessageBoxes();
        installed.reset();
        env.reset();
        amp.reset();
        ui::SetLangOffset(ui::LangEnglish);
    }

    // show false: the window is created but not shown yet (ShowStarted shows it).
    void Start(const std::function<void(ui::TSettings&)>& configure, int channels = 2, bool show = true) {
        TFakeAmpConfig config;
        config.Channels = channels;
        config.Version = 2;
        amp = std::make_unique<TFakeLanAmplifier>(config);
        for (int s = 0; s < channels; ++s) {
            amp->SetChip(s, 0x68, &adcs[static_cast<size_t>(s)]);
            amp->SetChip(s, 0x18, &bridges[static_cast<size_t>(s)]);
        }
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
        ui::TSettings s = LanSettings(amp->Target());
        s.TimedReCheck = false;
        if (configure) configure(s);
        ASSERT_NO_FATAL_FAILURE(WriteSettings(s));
        ASSERT_NO_FATAL_FAILURE(CreateWindow());
        if (show) ShowStarted();
    }
    void ShowStarted() {
        // The channel offset window as the program makes it: the main window owns it.
        ShowWindow(new ui::TChannelOffsetForm(window.get()));
    }

    void FirstScan(int channels = 2) {
        window->timMainTimer();
        loop.Step();
        ASSERT_EQ(window->Translator->ChannelCount(), channels);
        for (int s = 0; s < channels; ++s) {
            TADC18Emulation& adc = adcs[static_cast<size_t>(s)];
            FollowStoredImages(adc, amp->StoredImage(s), window->Translator->GetChannel(0)->HWVersion);
            adc.SetZeroReference(-200);
            adc.SetSignal(300 + 30 * s);
        }
    }

    static bool Matches(QDialog& dialog, const TWaitPoint& point) {
        if (point.ObjectName == std::string("QMessageBox"))
            return qobject_cast<QMessageBox*>(&dialog) != nullptr;
        if (dialog.objectName() != QLatin1String(point.ObjectName)) return false;
        if (point.TextId == 0) return true;
        const QLabel* text = dialog.findChild<QLabel*>(QStringLiteral("lbText"));
        return text != nullptr && text->text() == ui::ToDisplay(ui::GetText(point.TextId));
    }

    // Plays the user: answers Yes to the boxes in yesTo, lets onTheWay act once in each other
    // dialog on the way and, in the box or dialog at point, sends the termination. Anything
    // still open some rounds after it is a failure (and is closed, so that the test ends).
    void Play(const TWaitPoint& point, std::vector<int> yesTo = {}, TOnTheWay onTheWay = {}) {
        player.setInterval(0);
        QObject::connect(&player, &QTimer::timeout, [this, point, yesTo, onTheWay] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) {
                openRounds = 0;
                return;
            }
            shown.push_back(ui::FromQt(dialog->objectName()));
            if (!terminated) {
                if (Matches(*dialog, point)) {
                    QObject::connect(dialog, &QDialog::finished, [this](int result) { endedWith = result; });
                    mark = amp->RequestCount();
                    terminated = true;
                    window->Terminate();
                    return;
                }
                const bool acted = std::any_of(actedIn.begin(), actedIn.end(),
                                               [dialog](const QPointer<QDialog>& d) { return d == dialog; });
                if (onTheWay && !acted && onTheWay(*this, *dialog)) {
                    actedIn.emplace_back(dialog);
                    return;
                }
                // A notice on the way (the settings dialog's missing firmware library) is read.
                if (auto* notice = qobject_cast<QMessageBox*>(dialog);
                    notice != nullptr && notice->standardButtons() == QMessageBox::Ok) {
                    notice->done(QMessageBox::Ok);
                    return;
                }
                const QLabel* text = dialog->findChild<QLabel*>(QStringLiteral("lbText"));
                for (int id : yesTo)
                    if (text != nullptr && text->text() == ui::ToDisplay(ui::GetText(id))) {
                        dialog->done(ui::kResultYes);
                        return;
                    }
                return;
            }
            if (++openRounds > 200) {
                stayedOpen.push_back(ui::FromQt(dialog->objectName()));
                openRounds = 0;
                dialog->done(QDialog::Rejected);
            }
        });
        player.start();
    }

    // Steps until the window has closed (bounded: a guard against a hang).
    void UntilClosed() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (window->isVisible() && std::chrono::steady_clock::now() < end) {
            loop.Step();
            QCoreApplication::processEvents();
        }
        EXPECT_FALSE(window->isVisible()) << "the program did not end";
    }

    // The requests that reached the amplifier after the signal.
    std::vector<fakewire::TRequest> AfterSignal() const {
        const std::vector<fakewire::TRequest> all = amp->Requests();
        return std::vector<fakewire::TRequest>(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
    }

    // The program ended, and after the signal the only write was the close's stop lock (none
    // where the amplifier is no longer in the model).
    void ExpectNoWriteButTheStopLock(int stopLocks = 1) {
        ASSERT_TRUE(terminated) << "the wait point was never reached";
        EXPECT_TRUE(stayedOpen.empty()) << stayedOpen.front();
        int locks = 0;
        for (const fakewire::TRequest& r : AfterSignal()) {
            if (r.Command == kSetDeviceLockState) {
                ++locks;
                continue;
            }
            EXPECT_EQ(WriteCodes().count(r.Command), 0u) << "a write after the signal: " << Name(r.Command);
        }
        EXPECT_EQ(locks, stopLocks) << "the close's stop lock";
    }

    TInstalledVirtualMainLoop loop;
    ui::TWidgetMessageService boxes;
    std::unique_ptr<ui::TScopedMessageService> installed;
    std::array<TADC18Emulation, 4> adcs;
    std::array<TDS2482Emulation, 4> bridges;
    std::unique_ptr<TFakeLanAmplifier> amp;
    QTimer player;
    bool terminated = false;
    size_t mark = 0;
    int openRounds = 0;
    std::vector<std::string> shown;
    std::vector<std::string> stayedOpen;
    std::vector<QPointer<QDialog>> actedIn;
    std::optional<int> endedWith; // the result the dialog at the wait point ended with
};

// ---- Commands whose device work follows a box or dialog ---------------------------------------

struct TCommandCase {
    const char* Name;
    std::function<void(ui::TSettings&)> Configure = {};
    const char* Action = nullptr;              // the command, or nullptr for a channel menu item
    const char* MenuItem = nullptr;            // the channel menu item
    TWaitPoint Point = {};                     // where the termination arrives
    std::vector<int> YesTo = {};               // boxes answered Yes on the way there
    bool Modified = true;                      // the setup was changed (the save offer is shown)
    TOnTheWay OnTheWay = {};                   // the other dialogs on the way there
    std::function<void(Ending&)> Prepare = {}; // after the first scan
    std::function<void(Ending&)> Run = {};     // the command, without Action and MenuItem
    int StopLocks = 1;                         // the close's stop locks the amplifier gets
};

void PrintTo(const TCommandCase& c, std::ostream* os) {
    *os << c.Name;
}

class EndingCommand : public Ending, public ::testing::WithParamInterface<TCommandCase> {};

const model::TSensorRecord StoredSensor(const std::string& id) {
    model::TSensorRecord rec;
    model::SetRecordText(rec.SensorID, id);
    model::SetRecordText(rec.SensorName, "stored");
    model::SetRecordText(rec.DisplayName, "stored");
    rec.SensorType = model::stVolt;
    rec.Range = 10;
    return rec;
}

std::string RomId(const TRomNumber& rom) {
    return model::TI2CTranslator::RomToText(rom);
}

TEST_P(EndingCommand, ProgramEndsAndNoWriteButTheStopLockFollowsTheSignal) {
    const TCommandCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(c.Configure));
    // Sensors for the detection: one the database knows (its configuration would be applied) and
    // one it does not (the question to add it, then the sensor database dialog).
    const TRomNumber known = MakeRom(0x14, {1, 2, 3, 4, 5, 6});
    const TRomNumber unknown = MakeRom(0x14, {9, 8, 7, 6, 5, 4});
    bridges[0].SetRoms({known});
    bridges[1].SetRoms({unknown});
    ASSERT_NO_FATAL_FAILURE(FirstScan());
    {
        auto entry = std::make_unique<model::TTEDSBlock>(StoredSensor(RomId(known)));
        window->Translator->AddSensorEntry(entry);
    }
    if (c.Prepare) {
        ASSERT_NO_FATAL_FAILURE(c.Prepare(*this));
    }
    window->SetupModified = c.Modified;
    for (int i = 0; i < window->lbDevControl->count(); ++i)
        window->lbDevControl->item(i)->setSelected(true);
    Play(c.Point, c.YesTo, c.OnTheWay);
    if (c.Run) {
        c.Run(*this);
    } else if (c.Action != nullptr) {
        QAction* action = window->Action(c.Action);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled()) << c.Action;
        action->trigger();
    } else {
        QAction* item = window->ChannelMenuItems[c.MenuItem];
        ASSERT_NE(item, nullptr);
        // The item as the channel menu enables it for the selection.
        item->setEnabled(true);
        item->trigger();
    }
    UntilClosed();
    ExpectNoWriteButTheStopLock(c.StopLocks);
    // A box returns as Escape does, any other dialog ends as rejected.
    if (c.Point.ObjectName != std::string("QMessageBox")) {
        ASSERT_TRUE(endedWith.has_value()) << "the dialog at the wait point never ended";
        EXPECT_EQ(*endedWith, c.Point.TextId != 0 ? ui::kResultNo : int(QDialog::Rejected));
    }
}

const TWaitPoint kSaveOffer{"QRBMessageForm", 1611};

// The open dialog answered with the setup file WriteSetup wrote.
bool OpenTheSetupFile(Ending& test, QDialog& dialog) {
    auto* files = qobject_cast<QFileDialog*>(&dialog);
    if (files == nullptr) return false;
    files->selectFile(ui::ToQt(test.setupFile));
    static_cast<QDialog*>(files)->accept();
    return true;
}

// A setup saved with another number of channels.
void WriteSetupOfOtherCount(Ending& test) {
    test.WriteSetup([](std::string& text) {
        const std::string count = "<channel_count>2</channel_count>";
        const size_t at = text.find(count);
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, count.size(), "<channel_count>3</channel_count>");
    });
}

// A setup saved from other channels: no serial number of the file is one of the channels'.
void WriteSetupOfOtherSerials(Ending& test) {
    test.WriteSetup([](std::string& text) {
        const std::string tag = "<channel_serial>";
        int replaced = 0;
        for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + 1), ++replaced)
            text.insert(at + tag.size(), "9");
        ASSERT_GT(replaced, 0) << text;
    });
}

// The offline dialog is confirmed with its proposal.
bool ConfirmOffline(Ending&, QDialog& dialog) {
    if (dialog.objectName() != QLatin1String("OfflineForm")) return false;
    dialog.accept();
    return true;
}

// The model holds offline devices: the amplifier was scanned, then the program went offline.
void GoOffline(Ending& test) {
    ui::TOndrixMain& w = test.Window();
    w.SetupModified = false;
    QTimer::singleShot(0, &w, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->accept();
    });
    QAction* offline = w.Action("actOffline");
    ASSERT_TRUE(offline->isEnabled());
    offline->trigger();
    ASSERT_TRUE(w.Translator->OfflineMode);
    ASSERT_TRUE(w.Action("actOnline")->isEnabled());
}

// In the sensor database dialog the user opens the editor of its (new) entry.
bool EditTheNewSensor(Ending&, QDialog& dialog) {
    if (dialog.objectName() != QLatin1String("TEDSInfoForm")) return false;
    auto* edit = dialog.findChild<QPushButton*>(QStringLiteral("btnEditTEDS"));
    if (edit == nullptr || !edit->isEnabled()) return false;
    // From the event loop: the editor's own loop must not run inside the player.
    QTimer::singleShot(0, edit, &QPushButton::click);
    return true;
}

INSTANTIATE_TEST_SUITE_P(
    Ending, EndingCommand,
    ::testing::Values(
        TCommandCase{"RestoreDefaultsWithoutItsQuestion",
                     [](ui::TSettings& s) { s.AskOnDefault = false; },
                     "actDefaultSetup",
                     nullptr,
                     kSaveOffer,
                     {}},
        TCommandCase{"TurnOffWithoutItsQuestion",
                     [](ui::TSettings& s) { s.ConfirmTurnOff = false; },
                     "actTurnOff",
                     nullptr,
                     kSaveOffer,
                     {}},
        TCommandCase{"LoadSetupsSaveOffer", {}, "actLoadSetup", nullptr, kSaveOffer, {}},
        TCommandCase{"NewScanWithoutItsQuestion",
                     [](ui::TSettings& s) { s.ConfirmRescan = false; },
                     "actNewScan",
                     nullptr,
                     kSaveOffer,
                     {}},
        TCommandCase{
            "StoreConfiguration", {}, "actSaveDevConfig", nullptr, {"QRBMessageForm", 1538}, {}, false},
        TCommandCase{
            "ClearConfiguration", {}, "actClearDevConfig", nullptr, {"QRBMessageForm", 1541}, {}, false},
        TCommandCase{"SettingsDialog", {}, "actSettings", nullptr, {"SettingsForm", 0}, {}, false},
        TCommandCase{"AboutDialog", {}, "actAbout", nullptr, {"AboutBox", 0}, {}, false},
        TCommandCase{"SensorDetectionsQuestion",
                     [](ui::TSettings& s) { s.AskOnTEDSCheck = true; },
                     nullptr,
                     "miTEDS",
                     {"QRBMessageForm", 1560},
                     {},
                     false},
        TCommandCase{"SensorDetectionsNewSensorQuestion",
                     [](ui::TSettings& s) {
                         s.AskForNewTEDS = true;
                         s.AutoTEDSConfig = true;
                     },
                     nullptr,
                     "miTEDS",
                     {"QRBMessageForm", 1904},
                     {1560},
                     false},
        TCommandCase{"SensorDetectionsSensorDatabase",
                     [](ui::TSettings& s) {
                         s.AskForNewTEDS = true;
                         s.AutoTEDSConfig = true;
                     },
                     nullptr,
                     "miTEDS",
                     {"TEDSInfoForm", 0},
                     {1560, 1904},
                     false},
        TCommandCase{"CheckTemperaturesQuestion",
                     [](ui::TSettings& s) { s.AskOnTEMPCheck = true; },
                     nullptr,
                     "miTEMP",
                     {"QRBMessageForm", 1567},
                     {},
                     false},
        TCommandCase{.Name = "LoadSetupOfAnotherChannelCount",
                     .Configure = [](ui::TSettings& s) { s.DiffSetupWarning = true; },
                     .Action = "actLoadSetup",
                     .Point = {"QRBMessageForm", 1545},
                     .Modified = false,
                     .OnTheWay = OpenTheSetupFile,
                     .Prepare = WriteSetupOfOtherCount},
        TCommandCase{.Name = "LoadSetupOfOtherSerialNumbers",
                     .Configure =
                         [](ui::TSettings& s) {
                             s.DiffSetupWarning = false;
                             s.DiffSerNoWarning = true;
                         },
                     .Action = "actLoadSetup",
                     .Point = {"QRBMessageForm", 1548},
                     .Modified = false,
                     .OnTheWay = OpenTheSetupFile,
                     .Prepare = WriteSetupOfOtherSerials},
        TCommandCase{.Name = "OfflineWithoutTheRescanQuestion",
                     .Configure = [](ui::TSettings& s) { s.ConfirmRescan = false; },
                     .Action = "actOffline",
                     .Point = kSaveOffer,
                     .OnTheWay = ConfirmOffline},
        TCommandCase{
            .Name = "OfflineDialog", .Action = "actOffline", .Point = {"OfflineForm"}, .Modified = false},
        TCommandCase{.Name = "OnlineWithoutTheRescanQuestion",
                     .Configure = [](ui::TSettings& s) { s.ConfirmRescan = false; },
                     .Action = "actOnline",
                     .Point = kSaveOffer,
                     .YesTo = {1617},
                     .Prepare = GoOffline,
                     .StopLocks = 0},
        TCommandCase{.Name = "CurrentModesWarning",
                     .Configure = [](ui::TSettings& s) { s.AskOnCurrent = true; },
                     .Point = {"QRBMessageForm", 1608},
                     .Modified = false,
                     .Run =
                         [](Ending& test) {
                             test.Window().Channels->Menus().RunHandler(ui::TMenuHandler::Sensor,
                                                                        model::stCurrent);
                         }},
        TCommandCase{.Name = "SensorDetectionsResultBox",
                     .Configure = [](ui::TSettings& s) { s.AutoTEDSConfig = true; },
                     .MenuItem = "miTEDS",
                     .Point = {"QMessageBox"},
                     .YesTo = {1560},
                     .Modified = false,
                     .Prepare = [](Ending& test) { test.Bridge(1).SetShorted(true); }},
        TCommandCase{
            .Name = "SensorDetectionsSensorEditor",
            .Configure =
                [](ui::TSettings& s) {
                    s.AskForNewTEDS = true;
                    s.AutoTEDSConfig = true;
                },
            .MenuItem = "miTEDS",
            .Point = {"TEDSEditForm"},
            .YesTo = {1560, 1904},
            .Modified = false,
            .OnTheWay = EditTheNewSensor},
        TCommandCase{.Name = "CheckTemperaturesResultBox",
                     .Configure = [](ui::TSettings& s) { s.AskOnTEMPCheck = true; },
                     .MenuItem = "miTEMP",
                     .Point = {"QMessageBox"},
                     .YesTo = {1567},
                     .Modified = false},
        TCommandCase{.Name = "ChannelOffsetWindow",
                     .Point = {"ChannelOffsetForm"},
                     .Modified = false,
                     .Run =
                         [](Ending& test) {
                             // The offset cell clicked: its window opens for the first channel.
                             test.Window().Channels->Menus().ShowOffsetEditor(10, 10, 0);
                         }},
        TCommandCase{.Name = "DeviceInformation",
                     .Action = "actDevInformation",
                     .Point = {"DeviceInfoForm"},
                     .Modified = false},
        TCommandCase{.Name = "OffsetTable",
                     .Action = "actChannelOffsets",
                     .Point = {"DeviceInfoForm"},
                     .Modified = false},
        TCommandCase{.Name = "ExtendedChannelInformation",
                     .Action = "actChInfo",
                     .Point = {"ExtChannelInfoForm"},
                     .Modified = false},
        TCommandCase{.Name = "ErrorHistory",
                     .Point = {"DeviceInfoForm"},
                     .Modified = false,
                     .Prepare = [](Ending& test) { test.Window().HistoryList.push_back("an entry"); },
                     .Run =
                         [](Ending& test) {
                             test.Window().miShowHistory->setEnabled(true);
                             test.Window().miShowHistory->trigger();
                         }}),
    [](const ::testing::TestParamInfo<TCommandCase>& info) { return std::string(info.param.Name); });

// ---- The first scan ------------------------------------------------------------------------

// Every dialog shown, also one that ends before the player sees it.
class TShownDialogs : public QObject {
public:
    TShownDialogs() { QCoreApplication::instance()->installEventFilter(this); }
    ~TShownDialogs() override { QCoreApplication::instance()->removeEventFilter(this); }
    size_t Count(const char* objectName) const {
        return std::count(names_.begin(), names_.end(), objectName);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QDialog*>(watched) != nullptr)
            names_.push_back(ui::FromQt(watched->objectName()));
        return QObject::eventFilter(watched, event);
    }

private:
    std::vector<std::string> names_;
};

class EndingFirstScan : public Ending {
protected:
    void SetUp() override {
        Ending::SetUp();
        dialogs = std::make_unique<TShownDialogs>();
        ASSERT_NO_FATAL_FAILURE(Start([](ui::TSettings& s) { s.OfflineCheck = true; }));
        // The amplifier is not found.
        amp->SetInfoListening(false);
    }
    void RunFirstScan() {
        window->timMainTimer();
        loop.Step();
        UntilClosed();
        EXPECT_EQ(window->Translator->ChannelCount(), 0);
    }
    std::unique_ptr<TShownDialogs> dialogs;
};

// The first scan found nothing and offers offline mode: its dialog ends as rejected.
TEST_F(EndingFirstScan, OfflineDialogItOffersEndsAsRejected) {
    Play({"OfflineForm"});
    RunFirstScan();
    ExpectNoWriteButTheStopLock(0);
    EXPECT_EQ(endedWith, std::optional<int>(QDialog::Rejected));
    EXPECT_EQ(dialogs->Count("OfflineForm"), 1u);
}

// The signal comes while the first scan runs: the offline dialog it would offer after it never
// opens, and the program ends.
TEST_F(EndingFirstScan, SignalDuringItOpensNoOfflineDialog) {
    Play({"none"});
    bool duringTheScan = false;
    QTimer::singleShot(0, window.get(), [&] {
        duringTheScan = window->Gate.IsHeld();
        mark = amp->RequestCount();
        terminated = true;
        window->Terminate();
    });
    RunFirstScan();
    EXPECT_TRUE(duringTheScan);
    ExpectNoWriteButTheStopLock(0);
    EXPECT_EQ(dialogs->Count("OfflineForm"), 0u);
}

// The signal comes before the window is shown: the first scan, a power event's rescan and a
// configuration request never run, and the window closes once it is shown.
TEST_F(Ending, BeforeTheWindowIsShownNothingRunsButTheClose) {
    ASSERT_NO_FATAL_FAILURE(Start({}, 2, false));
    const ui::TConfigServer::TRunWhenOpen request = ui::ConfigRequestPath(*window);
    bool ran = false;
    mark = amp->RequestCount();
    terminated = true;
    window->Terminate();
    request([&] { ran = true; });
    window->WMPowerBroadcast(ui::kPowerResumeSuspend);
    ShowStarted();
    window->timMainTimer();
    UntilClosed();
    loop.Advance(100);
    EXPECT_FALSE(ran);
    EXPECT_EQ(window->Gate.WaitingRequests(), 0u);
    for (const fakewire::TRequest& r : AfterSignal())
        EXPECT_NE(r.Command, Code(TWireCommand::GetDeviceInfo)) << "a scan after the signal";
    ExpectNoWriteButTheStopLock(0);
}

// ---- The zero adjustment window ---------------------------------------------------------------

class EndingZeroAdjust : public Ending {
protected:
    void SetUp() override {
        Ending::SetUp();
        ASSERT_NO_FATAL_FAILURE(Start({}));
        ASSERT_NO_FATAL_FAILURE(FirstScan());
    }
};

TEST_F(EndingZeroAdjust, IdleWindowClosesAsCancelDoesAndTheProgramEnds) {
    bool seen = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* form = window->findChild<ui::TZeroAdjustForm*>();
        ASSERT_NE(form, nullptr);
        seen = form->isVisible();
        mark = amp->RequestCount();
        terminated = true;
        window->Terminate();
    });
    window->Action("actZeroAdjust")->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(window->findChild<ui::TZeroAdjustForm*>(), nullptr);
    UntilClosed();
    ExpectNoWriteButTheStopLock();
}

// In the window's event loop, where configuration requests are answered before the signal,
// nothing that arrives after it runs: neither a request (the close drops it) nor a power event's
// disconnect and rescan.
TEST_F(EndingZeroAdjust, NothingThatArrivesAfterTheSignalRuns) {
    const ui::TConfigServer::TRunWhenOpen request = ui::ConfigRequestPath(*window);
    std::vector<std::string> ran;
    size_t waitingAtTheSignal = 0;
    QTimer::singleShot(0, window.get(), [&] {
        request([&] { ran.push_back("before the signal"); });
        mark = amp->RequestCount();
        terminated = true;
        window->Terminate();
        request([&] { ran.push_back("after the signal"); });
        waitingAtTheSignal = window->Gate.WaitingRequests();
        window->WMPowerBroadcast(ui::kPowerSuspend);
        window->WMPowerBroadcast(ui::kPowerResumeSuspend);
    });
    window->Action("actZeroAdjust")->trigger();
    UntilClosed();
    loop.Advance(100);
    EXPECT_EQ(ran, std::vector<std::string>{"before the signal"});
    EXPECT_EQ(waitingAtTheSignal, 1u);
    EXPECT_EQ(window->Gate.WaitingRequests(), 0u);
    for (const fakewire::TRequest& r : AfterSignal())
        EXPECT_NE(r.Command, Code(TWireCommand::GetDeviceInfo)) << "a scan after the signal";
    ExpectNoWriteButTheStopLock();
}

TEST_F(EndingZeroAdjust, RunIsAbortedAtItsNextStepThenTheWindowClosesAndTheProgramEnds) {
    // The signal comes in the run's third step of channel 1.
    std::string actionAtSignal;
    std::string actionAtEnd;
    bool visibleUntilAbort = true;
    int steps = 0;
    QTimer::singleShot(0, window.get(), [&] {
        auto* form = window->findChild<ui::TZeroAdjustForm*>();
        ASSERT_NE(form, nullptr);
        form->ProcessPending = [&, form] {
            QCoreApplication::processEvents();
            loop.Step();
            if (terminated) {
                visibleUntilAbort = visibleUntilAbort && form->isVisible();
                return;
            }
            if (form->stAction->text().endsWith(QStringLiteral(" ... ")) && ++steps == 3) {
                actionAtSignal = ui::FromQt(form->stAction->text());
                mark = amp->RequestCount();
                terminated = true;
                window->Terminate();
            }
        };
        QObject::connect(form, &QDialog::finished,
                         [&, form] { actionAtEnd = ui::FromQt(form->stAction->text()); });
        form->btnOK->click();
    });
    window->Action("actZeroAdjust")->trigger();
    ASSERT_TRUE(terminated);
    EXPECT_TRUE(visibleUntilAbort) << "a user sees the window until the abort took effect";
    EXPECT_EQ(actionAtEnd, "   Aborted by user or error!");
    UntilClosed();
    ASSERT_TRUE(stayedOpen.empty());

    // In the amplifier's log, the writes after the signal: channel 1's defaults (its path routed,
    // its image as the model has it, the path released), then the stop lock; nothing of the step
    // under way or a further one, nothing for channel 2.
    std::vector<std::string> writes;
    for (const fakewire::TRequest& r : AfterSignal()) {
        if (WriteCodes().count(r.Command) == 0) continue;
        // Of an image, only the channel it is for.
        std::vector<uint8_t> bytes = r.Payload;
        if (r.Command == kWriteChannel) bytes.resize(std::min<size_t>(bytes.size(), 1));
        writes.push_back(Write(r.Command, bytes));
    }
    const uint32_t setMux = Code(TWireCommand::SetMux);
    EXPECT_EQ(writes, (std::vector<std::string>{Write(setMux, {0, 0, 4}), Write(kWriteChannel, {0}),
                                                Write(setMux, {0, 0, 5}), Write(kSetDeviceLockState, {0})}));
    EXPECT_EQ(amp->StoredImage(0), window->Translator->GetChannel(0)->Current.Image)
        << "the current channel runs its defaults";
    EXPECT_EQ(amp->CalibWrites(1), 0u);
    EXPECT_FALSE(actionAtSignal.empty());
}

} // namespace
} // namespace qrb::test
