#include "ui/MainWindow.h"
#include "device/Format.h"
#include "device/Helpers.h"
#include "model/I2CTranslator.h"
#include "tests/support/Unprivileged.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/platform/PowerEvents.h"
#include "ui/texts/Texts.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;

QString Display(int id) {
    return QString::fromStdString(GetText(id)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct MainWindowTest : ::testing::Test, test::TMainWindowFixture {
    test::TInstalledVirtualMainLoop loop;
    TScriptedMessageService script;
    std::unique_ptr<TScopedMessageService> installed;
    std::vector<std::string> trace;

    void SetUp() override {
        test::EnsureApplication();
        installed = std::make_unique<TScopedMessageService>(script);
        // The settings folder is left to the start, as on a first run.
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome(false));
        window = std::make_unique<TOndrixMain>();
        window->Clock = [] { return device::EncodeDateTime(2024, 3, 5, 14, 7, 9, 0); };
    }

    void TearDown() override {
        CloseWindow();
        SetLangOffset(LangEnglish);
    }

    // A quiet settings file: no interface, so no scan contacts anything.
    TSettings QuietSettings() const {
        TSettings s = TestSettings();
        s.Interfaces = device::TInterfaceMask(0);
        return s;
    }

    void Start(bool show = true) {
        ASSERT_TRUE(window->FormCreate(test::TestStartOptions()));
        window->Gate.OnRescan = [this] {
            TScanGate::TGuard scanning(window->Gate);
            trace.push_back("rescan");
        };
        deviceStatus = std::make_unique<TDeviceStatusForm>();
        channelStatus = std::make_unique<TChannelStatusForm>();
        window->SetCompanionWindows(deviceStatus.get(), channelStatus.get(), nullptr);
        if (show) window->show();
    }

    model::TQRBRawChannel& AddChannel(bool present, uint8_t status, uint16_t type = 1) {
        model::TI2CTranslator& t = *window->Translator;
        const int slot = t.ChannelCount();
        auto channel = std::make_unique<model::TQRBRawChannel>(0, 0, slot, slot,
                                                               device::TInterfaceKind::ikOffline, nullptr);
        channel->Present = present;
        channel->ADC8Status = status;
        channel->TypeCache = type;
        model::TQRBRawChannel& ref = *channel;
        t.Channels.Add(device::Format("Channel %2d", slot + 1), std::move(channel));
        window->lbDevControl->addItem(QString::number(slot));
        return ref;
    }

    std::vector<std::string> LogTail(size_t n) const {
        auto lines = window->LogLines();
        if (lines.size() > n) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(n));
        return lines;
    }
};

// ---- Texts and language -------------------------------------------------------------------

// Caption IDs of ApplyLanguage by object name, as the language switch assigns them.
const std::map<std::string, int> kActionCaptions = {
    {"actOnline", 54},
    {"actOffline", 55},
    {"actNewScan", 28},
    {"actexit", 6},
    {"actDefaultSetup", 44},
    {"actLoadSetup", 43},
    {"actSaveSetup", 42},
    {"actSaveAsDefault", 65},
    {"actClearDefault", 66},
    {"acteditcut", 11},
    {"acteditcopy", 12},
    {"acteditpaste", 13},
    {"acteditselectall", 14},
    {"actViewHome", 41},
    {"actViewControl", 39},
    {"actViewLog", 40},
    {"actrefresh", 15},
    {"actLangGer", 9},
    {"actLangEng", 10},
    {"actZeroAdjust", 63},
    {"actSettings", 45},
    {"actTedsInfo", 48},
    {"actSaveDevConfig", 399},
    {"actClearDevConfig", 405},
    {"actTurnOff", 407},
    {"actDevLock", 408},
    {"actDevUnlock", 409},
    {"actDevInformation", 410},
    {"actDevStatus", 411},
    {"actChannelContext", 1579},
    {"actSensorContext", 1580},
    {"actRangeContext", 1581},
    {"actCouplingcontext", 1582},
    {"actResistorContext", 1583},
    {"actShuntContext", 1584},
    {"actSenseContext", 1585},
    {"actConnectContext", 1586},
    {"actSupplyContext", 1587},
    {"actOffsetContext", 1588},
    {"actChInfo", 1620},
    {"actAbout", 16},
    {"actChannelOffsets", 64},
    // Menu items
    {"miRenamechannel", 1509},
    {"miBlink", 1589},
    {"miDisableChannel", 1550},
    {"miOutputFilterOn", 1519},
    {"miOutputFilterOff", 1598},
    {"miHydrophone", 1599},
    {"miOutputfloating", 1621},
    {"miTEDS", 1556},
    {"miTEMP", 1564},
    {"miAutozero", 1506},
    {"miClearCharge", 1597},
    {"miCopyChannel", 1400},
    {"miPasteChannel", 1401},
    {"miResetChannel", 1402},
    {"miResetHistory", 1573},
    {"miShowHistory", 1574},
    {"miRefreshAllStats", 1578},
};
// Hints: every captioned action of steps 2 and 4 but the context actions, actChInfo, actAbout
// and actChannelOffsets; actexit's hint is text 7.
const std::set<std::string> kWithoutHint = {
    "actChannelContext", "actSensorContext", "actRangeContext",   "actCouplingcontext", "actResistorContext",
    "actShuntContext",   "actSenseContext",  "actConnectContext", "actSupplyContext",   "actOffsetContext",
    "actChInfo",         "actAbout",         "actChannelOffsets"};
const std::map<std::string, int> kMenuTitles = {{"miFile", 1},     {"miEdit", 2},     {"miView", 3},
                                                {"miOptions", 4},  {"milanguage", 8}, {"miDevice", 38},
                                                {"miChannel", 49}, {"miHelp", 5}};
const std::map<std::string, int> kWidgetTexts = {
    {"btnLogSave", 457},    {"btnLogClear", 458},     {"lbControlTitle", 39}, {"lbControlText", 46},
    {"lbLogTitle", 40},     {"lbLogText", 47},        {"cbDevConAllCh", 382}, {"rbAdHocMode", 403},
    {"rbSetupMode", 404},   {"btnRollback", 461},     {"btnCommit", 462},     {"lbTopic1Header", 28},
    {"lbTopic1Text", 1515}, {"lbTopic2Header", 1532}, {"lbTopic2Text", 1526}, {"lbTopic3Header", 1533},
    {"lbTopic3Text", 1527}, {"lbTopic4Header", 410},  {"lbTopic4Text", 1528}, {"lbTopic5Header", 411},
    {"lbTopic5Text", 1529}, {"lbTopic6Header", 408},  {"lbTopic6Text", 1530}, {"lbTopic7Header", 409},
    {"lbTopic7Text", 1531}, {"lbAllStats", 1575},     {"lbOverview", 1512},
};

void CheckLanguage(TOndrixMain& w, TDeviceStatusForm& status, uint16_t lang) {
    SCOPED_TRACE(lang == LangGerman ? "German" : "English");
    // Every text the table holds in this language, as widgets show them.
    std::set<QString> tableTexts;
    for (const TTextRow& row : TextTable())
        tableTexts.insert(Display(row.Id));
    const QString version = QString::fromStdString("Version: " + device::GetProgramVersion() + "\nQRB GmbH");
    // The literals that the window shows beside the table's texts.
    const std::set<QString> literals = {QStringLiteral("QRB Ondrix Interface Software"), version,
                                        QStringLiteral("https://www.qrb-gmbh.de")};
    auto checkFree = [&](const QString& text, const QString& where) {
        if (text.isEmpty()) return;
        EXPECT_FALSE(text.contains(QStringLiteral("<n/a>"))) << where.toStdString();
        EXPECT_TRUE(tableTexts.count(text) != 0 || literals.count(text) != 0)
            << where.toStdString() << ": " << text.toStdString();
    };

    std::set<std::string> seen;
    for (QAction* action : w.findChildren<QAction*>()) {
        const std::string name = action->objectName().toStdString();
        if (action->menu() != nullptr || action->isSeparator()) continue;
        auto it = kActionCaptions.find(name);
        if (it != kActionCaptions.end()) {
            seen.insert(name);
            EXPECT_EQ(action->text(), Display(it->second)) << name;
            if (name == "actexit") {
                EXPECT_EQ(action->toolTip(), Display(7));
            } else if (kWithoutHint.count(name) == 0 && name.rfind("act", 0) == 0) {
                EXPECT_EQ(action->toolTip(), Display(it->second)) << name;
            }
        } else {
            // Only the two actions without caption: the code-only rescan and the submenu carrier.
            EXPECT_TRUE(name == "actRescan" || name == "actlang" || name.empty()) << name;
        }
        checkFree(action->text(), QString::fromStdString(name));
        // Without a hint of its own an action's tool tip is Qt's copy of its caption.
        if (kWithoutHint.count(name) == 0 && name.rfind("act", 0) == 0)
            checkFree(action->toolTip(), QString::fromStdString(name + " hint"));
    }
    EXPECT_EQ(seen.size(), kActionCaptions.size());

    for (QMenu* menu : w.findChildren<QMenu*>()) {
        const std::string name = menu->objectName().toStdString();
        auto it = kMenuTitles.find(name);
        if (it != kMenuTitles.end())
            EXPECT_EQ(menu->title(), Display(it->second)) << name;
        else
            EXPECT_TRUE(name == "popChannel" || name == "popHistory" || menu->title().isEmpty()) << name;
        checkFree(menu->title(), QString::fromStdString(name));
    }
    std::set<std::string> widgetsSeen;
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        const std::string name = widget->objectName().toStdString();
        if (name.rfind("qt_", 0) == 0 || widget->parentWidget() == w.atbMain)
            continue; // Qt's own tool-bar buttons repeat the actions
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        else if (auto* box = qobject_cast<QGroupBox*>(widget))
            text = box->title();
        auto it = kWidgetTexts.find(name);
        if (it != kWidgetTexts.end()) {
            widgetsSeen.insert(name);
            EXPECT_EQ(text, Display(it->second)) << name;
        }
        checkFree(text, QString::fromStdString(name));
        checkFree(widget->toolTip(), QString::fromStdString(name + " hint"));
    }
    EXPECT_EQ(widgetsSeen.size(), kWidgetTexts.size());
    EXPECT_EQ(w.lbMainVersion->text(), version);

    EXPECT_EQ(status.btnRefresh->text(), Display(15));
    EXPECT_EQ(status.btnOK->text(), Display(453));
    EXPECT_EQ(status.cbStayOnTop->text(), Display(1535));

    const TListTexts& t = w.ListTexts;
    const std::pair<const std::string*, int> fields[] = {{&t.DefaultChannelName, 1500},
                                                         {&t.PositionFormat, 1501},
                                                         {&t.Sensor, 1502},
                                                         {&t.Range, 1503},
                                                         {&t.Coupling, 1504},
                                                         {&t.Offset, 1505},
                                                         {&t.Current, 1510},
                                                         {&t.Voltage, 1511},
                                                         {&t.Bridgemode, 1520},
                                                         {&t.Supply, 1521},
                                                         {&t.Shunt, 1522},
                                                         {&t.Sense, 1523},
                                                         {&t.Resistor, 1524},
                                                         {&t.Connection, 1568},
                                                         {&t.PoweredDown, 1554},
                                                         {&t.PoweredDownHint, 1555},
                                                         {&t.Disabled, 1569},
                                                         {&t.DisabledHint, 1570},
                                                         {&t.ChargeCoupling, 1593},
                                                         {&t.ChargeGain, 1594},
                                                         {&t.ChargeHighpass, 1595},
                                                         {&t.ChargeClearmode, 1596}};
    for (const auto& [field, id] : fields) {
        EXPECT_EQ(*field, GetText(id)) << id;
        EXPECT_NE(*field, "<n/a>") << id;
    }
}

TEST_F(MainWindowTest, ApplyLanguageGivesEveryCaptionHintMenuItemAndLabelItsTableTextInBothLanguages) {
    WriteSettings(QuietSettings());
    Start();
    EXPECT_EQ(LangOffset(), LangEnglish);
    CheckLanguage(*window, *deviceStatus, LangEnglish);
    EXPECT_EQ(window->Action("actAbout")->text().toStdString(), "About ...");

    window->Action("actLangGer")->trigger();
    EXPECT_EQ(LangOffset(), LangGerman);
    CheckLanguage(*window, *deviceStatus, LangGerman);
    EXPECT_EQ(window->Action("actAbout")->text().toStdString(), "Info über ...");
    EXPECT_EQ(window->ListTexts.DefaultChannelName, "Kanal %2d");

    window->Action("actLangEng")->trigger();
    CheckLanguage(*window, *deviceStatus, LangEnglish);
    EXPECT_TRUE(script.Records.empty());
}

TEST_F(MainWindowTest, StartReadsTheStoredLanguage) {
    TSettings settings = QuietSettings();
    settings.LangOffset = LangGerman;
    WriteSettings(settings);
    Start();
    EXPECT_EQ(LangOffset(), LangGerman);
    CheckLanguage(*window, *deviceStatus, LangGerman);
}

// ---- Start, log header and settings ------------------------------------------------------------

TEST_F(MainWindowTest, StartLogHasTimeTitleVersionAndWithLanTheSocketAndNetworkLines) {
    TSettings settings = QuietSettings();
    settings.Interfaces = device::kMaskLAN;
    WriteSettings(settings);
    Start();
    const std::string stamp = "2024-03-05 14:07:09";
    EXPECT_EQ(window->LogLines(), (std::vector<std::string>{
                                      stamp + ": " + stamp,
                                      stamp + ": OndrixQRB " + device::GetProgramVersion(),
                                      stamp + ": Winsocket Version: Linux 9.9-test",
                                      stamp + ": Network found: 10.0.0.5/255.0.0.0",
                                      stamp + ": ",
                                  }));
    EXPECT_EQ(window->windowTitle().toStdString(), "QRB Ondrix Interface Software");
    EXPECT_EQ(channelStatus->Translator, window->Translator.get());
    EXPECT_TRUE(window->timMain->isActive());
    EXPECT_EQ(window->timMain->interval(), 500);
    EXPECT_EQ(window->pctMain->currentWidget(), window->tabMain);
    EXPECT_FALSE(window->Action("actViewControl")->isEnabled());
    EXPECT_GE(window->minimumWidth(), 920);
    EXPECT_GE(window->minimumHeight(), 400);
}

TEST_F(MainWindowTest, WithoutLanTheLogHeaderHasNoSocketOrNetworkLines) {
    WriteSettings(QuietSettings());
    Start();
    const auto lines = window->LogLines();
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.find("Winsocket"), std::string::npos);
        EXPECT_EQ(line.find("Network found"), std::string::npos);
    }
}

TEST_F(MainWindowTest, SettingsAreReadAtFirstShowAndWrittenBackAtCloseKeyForKey) {
    TSettings settings = QuietSettings();
    settings.Width = 1000;
    settings.Height = 650;
    settings.Top = 40;
    settings.Left = 30;
    settings.LangOffset = LangGerman;
    settings.Interfaces = device::kMaskUSB | device::kMaskOffline;
    settings.VirtDevices = 2;
    settings.VirtChannels = 8;
    settings.LANAddresses = "127.0.0.7:15000,127.0.0.8:15000";
    settings.FanSpeed = 3;
    settings.DebugLevel = 1;
    settings.TimedReCheckIntv = 5000;
    settings.RangeMode = 2;
    settings.SetupFolder = "/var/tmp/setups";
    settings.ControlSelect = 0xFF0000;
    settings.UseDefaultSetup = true;
    WriteSettings(settings);
    // An unknown key and a comment survive.
    {
        std::ofstream out(SettingsPath(), std::ios::app | std::ios::binary);
        out << "; kept\r\n[Extra]\r\nMine=1\r\n";
    }
    const std::string before = ReadAll(SettingsPath());
    Start();
    EXPECT_EQ(window->Options.Interfaces, settings.Interfaces);
    EXPECT_EQ(window->Options.LANAddresses, settings.LANAddresses);
    EXPECT_EQ(window->SetupFolder, "/var/tmp/setups");
    EXPECT_EQ(window->Translator->DebugLevel, 1);
    EXPECT_EQ(window->width(), 1000);
    EXPECT_EQ(window->height(), 650);
    window->close();
    const std::string after = ReadAll(SettingsPath());
    EXPECT_EQ(after, before);

    std::string error;
    const TSettings reread =
        LoadSettingsFile(SettingsPath().string(), DefaultSettings(800, 600, "/nowhere"), error);
    EXPECT_EQ(reread, settings);
    // 54 key lines plus the unknown one.
    int keyLines = 0;
    for (size_t pos = 0; (pos = after.find('=', pos)) != std::string::npos; ++pos)
        ++keyLines;
    EXPECT_EQ(SettingsKeys().size(), 54u);
    EXPECT_EQ(keyLines, 55);
}

TEST_F(MainWindowTest, FirstCloseWithoutFileWritesEveryKey) {
    Start();
    EXPECT_EQ(LangOffset(), LangEnglish);
    EXPECT_EQ(window->Options.LANAddresses, "192.168.0.50:15000");
    window->close();
    ASSERT_TRUE(fs::exists(SettingsPath()));
    TIniFile ini;
    std::string error;
    ASSERT_TRUE(ini.LoadFromFile(SettingsPath().string(), error)) << error;
    for (const TSettingsKey& key : SettingsKeys())
        EXPECT_TRUE(ini.ValueExists(key.Section, key.Key)) << key.Section << "." << key.Key;
}

TEST_F(MainWindowTest, CloseWhileTheGateIsClosedWaitsForItToOpen) {
    WriteSettings(QuietSettings());
    Start();
    fs::remove(SettingsPath());
    {
        TScanGate::TGuard scanning(window->Gate);
        window->close();
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(fs::exists(SettingsPath()));
    }
    loop.Step();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(fs::exists(SettingsPath()));
}

TEST_F(MainWindowTest, InaccessibleUserFolderShowsItsMessageAndEndsTheStart) {
    const fs::path blocker = configHome / "blocker";
    std::ofstream(blocker) << "a file, not a folder";
    test::TEnvScope blocked("XDG_CONFIG_HOME", blocker.c_str());
    TStartOptions options;
    options.NetworkSource = [] { return std::make_unique<test::TFixedNetworkSource>(); };
    EXPECT_FALSE(window->FormCreate(options));
    EXPECT_EQ(
        script.MessageTexts(),
        (std::vector<std::string>{
            "QRB Ondrix interface software cannot start because user app \r\nfolder is inaccessible.\r\n\r\n"
            "Maybe, this is a permission problem but in general this error\r\nshould never occur. Please "
            "contact QRB GmbH if error persists."}));
    EXPECT_FALSE(window->Translator);
}

TEST_F(MainWindowTest, FailingStepOfTheStartShowsTheStartFailureWithItsText) {
    TStartOptions options;
    options.NetworkSource = []() -> std::unique_ptr<TNetworkSource> {
        throw std::runtime_error("no network");
    };
    EXPECT_FALSE(window->FormCreate(options));
    EXPECT_EQ(script.MessageTexts(),
              (std::vector<std::string>{"QRB Ondrix interface software cannot start "
                                        "because\r\nof the following error:\r\n\r\nno network"}));
}

// A configuration server that records what the window asks of it.
struct TFakeConfigServer : TConfigServerControl {
    std::vector<std::string>* Calls;
    bool Fail = false;
    explicit TFakeConfigServer(std::vector<std::string>* calls) : Calls(calls) {}
    void Activate(const std::string& address, uint16_t port, int maxConnections) override {
        if (Fail) throw std::runtime_error("Address already in use");
        Calls->push_back(device::Format("activate %s:%d max %d", address, port, maxConnections));
        active = true;
    }
    void Deactivate() override {
        Calls->push_back("deactivate");
        active = false;
    }
    bool Active() const override { return active; }
    bool active = false;
};

// A settings file or sensor database that cannot be read, by how: a folder, a file without
// read permission (root reads it anyway: the tests run as nobody), one too large or truncated.
enum class TUnreadable { Folder, NoPermission, TooLarge, Truncated };

// False when the case cannot be made here.
bool MakeUnreadable(const fs::path& path, TUnreadable how) {
    fs::create_directories(path.parent_path());
    switch (how) {
    case TUnreadable::Folder:
        fs::create_directories(path);
        return true;
    case TUnreadable::NoPermission:
        if (geteuid() == 0) {
            ADD_FAILURE() << "root reads a file without read permission";
            return false;
        }
        std::ofstream(path) << "[Global]\r\n";
        fs::permissions(path, fs::perms::none);
        return true;
    case TUnreadable::TooLarge:
        std::ofstream(path) << "[Global]\r\n";
        fs::resize_file(path, (16u << 20) + 1); // sparse
        return true;
    case TUnreadable::Truncated:
        std::ofstream(path, std::ios::binary) << std::string(100, '\xB8'); // a partial record
        return true;
    }
    return false;
}

TEST_F(MainWindowTest, UnreadableSettingsFileLogsThatTheDefaultsAreUsedAndIsNotWrittenAtClose) {
    if (qrb::test::RerunAsNobody()) return;
    for (const TUnreadable how : {TUnreadable::Folder, TUnreadable::NoPermission, TUnreadable::TooLarge}) {
        SCOPED_TRACE(static_cast<int>(how));
        fs::remove_all(configHome / "QRB GmbH");
        if (!MakeUnreadable(SettingsPath(), how)) continue;
        const auto sizeBefore = fs::is_directory(SettingsPath()) ? 0 : fs::file_size(SettingsPath());
        window = std::make_unique<TOndrixMain>();
        window->Clock = [] { return device::EncodeDateTime(2024, 3, 5, 14, 7, 9, 0); };
        Start();
        EXPECT_EQ(window->Options.LANAddresses, "192.168.0.50:15000");
        const auto lines = window->LogLines();
        const std::string wanted =
            "[ERR] the settings file could not be read, the defaults are used: cannot ";
        const bool logged = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(wanted) != std::string::npos &&
                   line.find(SettingsPath().string()) != std::string::npos;
        });
        EXPECT_TRUE(logged) << (lines.empty() ? "" : lines.back());
        window->close();
        EXPECT_EQ(fs::is_directory(SettingsPath()) ? 0 : fs::file_size(SettingsPath()), sizeBefore);
        window.reset();
        fs::permissions(configHome / "QRB GmbH", fs::perms::owner_all);
        if (fs::exists(SettingsPath())) fs::permissions(SettingsPath(), fs::perms::owner_all);
    }
}

TEST_F(MainWindowTest, UnreadableSensorDatabaseIsLoggedAndShownOnceTheWindowIsShown) {
    if (qrb::test::RerunAsNobody()) return;
    for (const TUnreadable how : {TUnreadable::Folder, TUnreadable::NoPermission, TUnreadable::Truncated}) {
        SCOPED_TRACE(static_cast<int>(how));
        fs::remove_all(configHome / "QRB GmbH");
        WriteSettings(QuietSettings());
        const fs::path database = configHome / "QRB GmbH" / "TEDSinfo.bin";
        if (!MakeUnreadable(database, how)) continue;
        script.Clear();
        window = std::make_unique<TOndrixMain>();
        window->Clock = [] { return device::EncodeDateTime(2024, 3, 5, 14, 7, 9, 0); };
        Start(false);
        EXPECT_TRUE(script.MessageTexts().empty());
        window->show();
        QCoreApplication::processEvents();
        const std::string error = window->Translator->LastFileError;
        EXPECT_EQ(error.rfind("Error while reading the sensor database " + database.string() + ": ", 0), 0u)
            << error;
        EXPECT_EQ(script.MessageTexts(), std::vector<std::string>{error});
        const auto lines = window->LogLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "2024-03-05 14:07:09: [ERR] " + error);
        // The program runs on with an empty database that is not saved over the file.
        EXPECT_EQ(window->Translator->SensorEntryCount(), 0);
        EXPECT_FALSE(window->Translator->SaveSensorDatabase(database.string()));
        EXPECT_TRUE(window->isVisible());
        window->close();
        window.reset();
        if (fs::exists(database)) fs::permissions(database, fs::perms::owner_all);
    }
}

TEST_F(MainWindowTest, ConfigServerStartsOnlyWithItsSwitchInAnyCaseAndStopsFirstAtTheEnd) {
    struct TCase {
        std::vector<std::string> Arguments;
        bool Started;
    };
    const TCase cases[] = {{{"OndrixQRB"}, false},
                           {{"OndrixQRB", "configServer"}, true},
                           {{"OndrixQRB", "CONFIGSERVER"}, true},
                           {{"OndrixQRB", "/configServer"}, false}};
    for (const auto& c : cases) {
        std::vector<std::string> calls;
        auto w = std::make_unique<TOndrixMain>();
        TStartOptions options = test::TestStartOptions();
        options.Arguments = c.Arguments;
        options.ConfigServerFactory = [&calls](TOndrixMain& owner) -> std::unique_ptr<TConfigServerControl> {
            EXPECT_TRUE(owner.Translator); // the server is made once the translator exists
            return std::make_unique<TFakeConfigServer>(&calls);
        };
        ASSERT_TRUE(w->FormCreate(options));
        EXPECT_EQ(calls, c.Started ? std::vector<std::string>{"activate 127.0.0.1:8888 max 2"}
                                   : std::vector<std::string>{})
            << c.Arguments.back();
        w.reset();
        if (c.Started) {
            EXPECT_EQ(calls.back(), "deactivate");
        }
    }

    TStartOptions failing = test::TestStartOptions();
    failing.Arguments = {"OndrixQRB", "configserver"};
    std::vector<std::string> calls;
    failing.ConfigServerFactory = [&calls](TOndrixMain&) -> std::unique_ptr<TConfigServerControl> {
        auto server = std::make_unique<TFakeConfigServer>(&calls);
        server->Fail = true;
        return server;
    };
    EXPECT_FALSE(window->FormCreate(failing));
    EXPECT_EQ(
        script.MessageTexts(),
        (std::vector<std::string>{"QRB Ondrix interface software cannot start because\r\nof the following "
                                  "error:\r\n\r\nAddress already in use"}));
    window.reset(); // its end deactivates the server, which records into calls
}

// ---- Translator events and the log -----------------------------------------------------------------

TEST_F(MainWindowTest, TranslatorEventsReachTheLogWithTheirTags) {
    WriteSettings(QuietSettings());
    Start();
    model::TI2CTranslator& t = *window->Translator;
    const std::string stamp = "2024-03-05 14:07:09: ";
    struct TCase {
        device::TI2CTextEvent* Event;
        const char* Tag;
    };
    const TCase cases[] = {{&t.OnI2CLog, ""},
                           {&t.OnI2CError, ""},
                           {&t.OnDeviceLog, "[DEV] "},
                           {&t.OnTranslatorLog, "[TRN] "},
                           {&t.OnTranslatorError, "[ERR] "},
                           {&t.OnError, "[CNF] "},
                           {&t.OnScanLog, "[SCN] "},
                           {&t.OnScanError, "[ERR] "}};
    for (const auto& c : cases) {
        ASSERT_TRUE(*c.Event);
        (*c.Event)(&t, "text of the event");
        EXPECT_EQ(window->LogLines().back(), stamp + c.Tag + "text of the event") << c.Tag;
    }
    // Progress and scan errors also go to status panel 1; the end of an update clears it.
    t.OnScanLog(&t, "Scanning USB ...");
    EXPECT_EQ(window->stbPanels[1]->text().toStdString(), "Scanning USB ...");
    t.OnScanError(&t, "scan failed");
    EXPECT_EQ(window->stbPanels[1]->text().toStdString(), "scan failed");
    EXPECT_EQ(window->PendingScanError, "scan failed");
    t.OnEndUpdate(&t, 0);
    EXPECT_TRUE(window->stbPanels[1]->text().isEmpty());
    // Assigned so that a rescan may run, and without effect.
    ASSERT_TRUE(t.OnConfigComplete);
    const size_t lines = window->LogLines().size();
    t.OnConfigComplete(&t);
    EXPECT_EQ(window->LogLines().size(), lines);
    // No handlers, and register dumps switched on without reaching the log.
    EXPECT_FALSE(t.OnScanStart);
    EXPECT_FALSE(t.OnScanEnd);
    EXPECT_FALSE(t.OnBeginUpdate);
    EXPECT_FALSE(t.OnDeviceScanStart);
    EXPECT_FALSE(t.OnRegisterDump);
    EXPECT_TRUE(t.RegisterDump);
}

TEST_F(MainWindowTest, SupplyAndFanAlarmsLogShowShutDownAndRescanOnTheMainLoop) {
    WriteSettings(QuietSettings());
    Start();
    model::TI2CTranslator& t = *window->Translator;
    t.OnDeviceAlarm(&t, 1, 256);
    EXPECT_TRUE(script.Records.empty()); // handed to the main loop first
    loop.Step();
    EXPECT_EQ(window->LogLines().back(),
              "2024-03-05 14:07:09: [IRQ] Voltage supply of device 2 out of upper or "
              "lower limits! Device shutdown!");
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{device::Format(GetText(1029), 2)}));
    EXPECT_EQ(script.MessageTexts()[0], "Supply voltage of device 2 was out of valid ranges.\r\n\r\nTo avoid "
                                        "damage the device was powered down.");
    EXPECT_TRUE(window->DeviceShutDown);
    EXPECT_EQ(trace, (std::vector<std::string>{"rescan"}));

    script.Clear();
    window->Options.RescanAfterDown = false;
    t.OnDeviceAlarm(&t, 0, 1024);
    loop.Step();
    EXPECT_EQ(window->LogLines().back(),
              "2024-03-05 14:07:09: [IRQ] Fan damaged or out of control of device 1 ! Device shutdown!");
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{device::Format(GetText(1030), 1)}));
    EXPECT_EQ(trace.size(), 1u);
}

TEST_F(MainWindowTest, InterruptLogsTheStatusWordInUpperCaseHexAndTheDeviceFromZero) {
    WriteSettings(QuietSettings());
    Start();
    model::TI2CTranslator& t = *window->Translator;
    t.OnDeviceInterrupt(&t, 0, 0x00A5);
    loop.Step();
    EXPECT_EQ(window->LogLines().back(), "2024-03-05 14:07:09: [IRQ] Interupt 00A5 on device 0");
    // The history icon was rebuilt: no channel errors, no history.
    EXPECT_EQ(window->imgHistory->toolTip().toStdString(), GetText(1571));
    EXPECT_TRUE(script.Records.empty());
}

// ---- Repeated alarms and interrupts in the log -------------------------------------------------

struct MainWindowRepeatTest : MainWindowTest {
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteSettings(QuietSettings());
        Start();
        window->Options.RescanAfterDown = false;
    }

    // One notification, handed to the main loop and run there on its own.
    void Notify(bool alarm, int device) {
        model::TI2CTranslator& t = *window->Translator;
        if (alarm)
            t.OnDeviceAlarm(&t, device, 256);
        else
            t.OnDeviceInterrupt(&t, device, 0x00A5);
        loop.Step();
    }

    static std::string Line(bool alarm, int device) {
        return alarm
                   ? device::Format("[IRQ] Voltage supply of device %d out of upper or lower limits! Device "
                                    "shutdown!",
                                    device + 1)
                   : device::Format("[IRQ] Interupt 00A5 on device %d", device);
    }
    static std::string Stamped(const std::string& text) { return "2024-03-05 14:07:09: " + text; }
    static std::string Counted(bool alarm, int device, int count) {
        return Stamped(device::Format(GetText(1031), {Line(alarm, device), count}));
    }

    // The log's lines from index from on.
    std::vector<std::string> LinesFrom(size_t from) const {
        const auto lines = window->LogLines();
        return std::vector<std::string>(
            lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end());
    }
};

// Alternating devices count each their own repeats: a first line and one count line per device,
// and the counts add up to every notification.
TEST_F(MainWindowRepeatTest, AlternatingDevicesLogOneFirstAndOneCountLineEach) {
    struct TCase {
        int Devices;
        bool Alarm;
    };
    for (const TCase c : {TCase{2, true}, TCase{3, true}, TCase{2, false}, TCase{3, false}}) {
        SCOPED_TRACE(device::Format("%d devices, alarm %d", c.Devices, c.Alarm ? 1 : 0));
        window->AddLog("before");
        const size_t from = window->LogLines().size();
        for (int i = 0; i < 300; ++i)
            Notify(c.Alarm, i % c.Devices);
        std::vector<std::string> wanted;
        for (int d = 0; d < c.Devices; ++d)
            wanted.push_back(Stamped(Line(c.Alarm, d)));
        EXPECT_EQ(LinesFrom(from), wanted);
        window->AddLog("after");
        for (int d = 0; d < c.Devices; ++d)
            wanted.push_back(Counted(c.Alarm, d, 300 / c.Devices - 1));
        wanted.push_back(Stamped("after"));
        EXPECT_EQ(LinesFrom(from), wanted);
    }
}

// The counts are logged, and the keys forgotten, at a line of another kind, at a scan start, a
// second after the first repeat counted, and at a repeat that comes later than that.
TEST_F(MainWindowRepeatTest, CountsAreLoggedAtAnotherLineAScanStartOrASecondAfterTheFirstRepeat) {
    enum class TFlush { OtherLine, ScanStart, Timer, LateRepeat };
    for (const TFlush flush : {TFlush::OtherLine, TFlush::ScanStart, TFlush::Timer, TFlush::LateRepeat}) {
        SCOPED_TRACE(static_cast<int>(flush));
        window->AddLog("before");
        const size_t from = window->LogLines().size();
        for (const int device : {0, 1, 0, 0, 1, 1, 1})
            Notify(true, device);
        std::vector<std::string> wanted = {Stamped(Line(true, 0)), Stamped(Line(true, 1))};
        // Nothing is flushed before a second has passed.
        loop.Advance(999);
        ASSERT_EQ(LinesFrom(from), wanted);
        const std::vector<std::string> counts = {Counted(true, 0, 2), Counted(true, 1, 3)};
        wanted.insert(wanted.end(), counts.begin(), counts.end());
        switch (flush) {
        case TFlush::OtherLine:
            window->Translator->OnTranslatorLog(window->Translator.get(), "text");
            wanted.push_back(Stamped("[TRN] text"));
            break;
        case TFlush::ScanStart:
            window->actRescanExecute();
            loop.Step();
            ASSERT_EQ(trace.back(), "rescan");
            break;
        case TFlush::Timer:
            loop.Advance(1);
            break;
        case TFlush::LateRepeat:
            loop.Sleep(1); // the clock moves, the timer does not run
            Notify(true, 1);
            wanted.push_back(Stamped(Line(true, 1)));
            break;
        }
        EXPECT_EQ(LinesFrom(from), wanted);
        // Forgotten: the next notification is a first line again, and with no repeat counted
        // no count follows.
        Notify(true, 0);
        wanted.push_back(Stamped(Line(true, 0)));
        loop.Advance(2000);
        window->AddLog("after");
        wanted.push_back(Stamped("after"));
        EXPECT_EQ(LinesFrom(from), wanted);
    }
}

TEST_F(MainWindowTest, LostDeviceLogsAndWithRescanAfterDownShowsItsMessageAfterTheRescan) {
    WriteSettings(QuietSettings());
    Start();
    model::TI2CTranslator& t = *window->Translator;
    window->Options.RescanAfterDown = false;
    t.OnDeviceLost(&t, "127.0.0.5");
    EXPECT_EQ(window->LogLines().back(),
              "2024-03-05 14:07:09: [ERR] device 127.0.0.5 was lost, rescan is necessary.");
    EXPECT_TRUE(trace.empty());
    EXPECT_TRUE(script.Records.empty());

    window->Options.RescanAfterDown = true;
    {
        // Lost while a scan runs: the rescan and then the message follow when it has ended.
        TScanGate::TGuard scanning(window->Gate);
        t.OnDeviceLost(&t, "127.0.0.6");
        t.OnDeviceLost(&t, "127.0.0.7");
        EXPECT_TRUE(trace.empty());
    }
    window->Gate.OnRescan = [this] {
        TScanGate::TGuard scanning(window->Gate);
        trace.push_back("rescan");
        EXPECT_TRUE(script.Records.empty()); // nothing is said before it was done
    };
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"rescan"}));
    EXPECT_EQ(script.MessageTexts(),
              (std::vector<std::string>{"At least one device (127.0.0.6) was disconnected!\r\nA rescan for "
                                        "devices was done.",
                                        "At least one device (127.0.0.7) was disconnected!\r\nA rescan for "
                                        "devices was done."}));
}

TEST_F(MainWindowTest, DeviceCountCheckStaysSilentWhenOffAfterAnAlarmOrWithAnUnchangedCount) {
    WriteSettings(QuietSettings());
    Start();
    model::TI2CTranslator& t = *window->Translator;
    window->Options.RescanAfterDown = false;
    t.OnDeviceChange(&t);
    window->Options.RescanAfterDown = true;
    window->DeviceShutDown = true;
    t.OnDeviceChange(&t);
    window->DeviceShutDown = false;
    t.OnDeviceChange(&t); // no interface: the count stays 0
    EXPECT_TRUE(script.Records.empty());
    EXPECT_TRUE(trace.empty());
    EXPECT_FALSE(window->AskingRescan);
}

TEST_F(MainWindowTest, ErrorHistoryListsPresentChannelsErrorsInBitOrderAndSetsTheIcon) {
    WriteSettings(QuietSettings());
    Start();
    window->UpdateErrorHistory();
    EXPECT_EQ(window->imgHistory->toolTip().toStdString(), "No errors occured since last history reset.");
    EXPECT_TRUE(window->HistoryList.empty());

    AddChannel(true, 4);           // cable broken
    AddChannel(true, 2);           // bit 1 only: no error
    AddChannel(true, 8 + 64);      // overvoltage, too hot
    AddChannel(false, 4 + 8 + 16); // not present: never counted
    window->UpdateErrorHistory();
    const std::string stamp = "2024-03-05 14:07:09: ";
    EXPECT_EQ(window->HistoryList,
              (std::vector<std::string>{stamp + "CH01 -  Cable broken!", stamp + "CH03 -  Overvoltage!",
                                        stamp + "CH03 -  Too hot!"}));
    EXPECT_EQ(window->imgHistory->toolTip().toStdString(), "Errors occured since last history reset ...");
    EXPECT_EQ(window->imgHistory->pixmap().toImage(), MainImage(74).toImage());

    // The errors are gone, the history stays.
    for (int i = 0; i < 3; ++i)
        window->Translator->GetChannel(i)->ADC8Status = 0;
    window->UpdateErrorHistory();
    EXPECT_EQ(window->HistoryList.size(), 3u);
    EXPECT_EQ(window->imgHistory->pixmap().toImage(), MainImage(76).toImage());
    EXPECT_EQ(window->imgHistory->toolTip().toStdString(), GetText(1572));
}

TEST_F(MainWindowTest, ChannelStatusWindowShowsCurrentErrorsElseTheHistory) {
    WriteSettings(QuietSettings());
    Start();
    model::TQRBRawChannel& onlyBitOne = AddChannel(true, 2);
    onlyBitOne.ADC8History = 4 + 128;
    onlyBitOne.SetChannelName("Left wheel");
    AddChannel(true, 4 + 16);
    TChannelStatusForm& form = *channelStatus;
    ASSERT_EQ(form.Translator, window->Translator.get());

    form.ChannelIndex = 0;
    form.UpdateChannelStatus();
    EXPECT_EQ(form.stChannel->text().toStdString(), "Left wheel");
    EXPECT_EQ(form.lbKind->text().toStdString(), " History:");
    EXPECT_EQ(form.mmErr->toPlainText().toStdString(), "\n  Cable broken!\n  DMS fuse down!");

    form.ChannelIndex = 1;
    form.UpdateChannelStatus();
    EXPECT_EQ(form.lbKind->text().toStdString(), " Actual:");
    EXPECT_EQ(form.mmErr->toPlainText().toStdString(), "\n  Cable broken!\n  Shortcut!");

    // An index without a channel leaves the window as it was.
    form.ChannelIndex = 7;
    form.UpdateChannelStatus();
    EXPECT_EQ(form.lbKind->text().toStdString(), " Actual:");
    form.Translator = nullptr;
    form.ChannelIndex = 0;
    form.UpdateChannelStatus();
    EXPECT_EQ(form.lbKind->text().toStdString(), " Actual:");
}

TEST_F(MainWindowTest, UpdateActionsEnablesTheContextActionsOfTheFirstSelectedChannel) {
    WriteSettings(QuietSettings());
    Start();
    const char* contexts[] = {"actChannelContext",  "actSensorContext",   "actRangeContext",
                              "actCouplingcontext", "actResistorContext", "actShuntContext",
                              "actSenseContext",    "actConnectContext",  "actSupplyContext",
                              "actOffsetContext"};
    for (const char* name : contexts)
        window->ConnectCommand(name, [] {});
    window->ConnectCommand("actChInfo", [] {});
    AddChannel(false, 0, 5);
    AddChannel(true, 0, 5); // bridge
    AddChannel(true, 0, 8); // RTD
    auto enabledSet = [&] {
        std::set<std::string> on;
        for (const char* name : contexts)
            if (window->Action(name)->isEnabled()) on.insert(name);
        return on;
    };
    auto select = [&](int row) {
        window->lbDevControl->clearSelection();
        window->Translator->ClearSelection();
        window->lbDevControl->setCurrentRow(row, QItemSelectionModel::NoUpdate);
        window->lbDevControl->item(row)->setSelected(true);
        window->Translator->Selected[static_cast<size_t>(row)] = true;
        window->UpdateActions();
    };
    window->UpdateActions();
    EXPECT_TRUE(enabledSet().empty());
    EXPECT_FALSE(window->Action("actChInfo")->isEnabled());

    // The extended information needs the focus row's channel present.
    select(0);
    EXPECT_TRUE(enabledSet().empty());
    EXPECT_FALSE(window->Action("actChInfo")->isEnabled());

    select(1);
    std::set<std::string> all(std::begin(contexts), std::end(contexts));
    all.erase("actConnectContext");
    EXPECT_EQ(enabledSet(), all);
    EXPECT_TRUE(window->Action("actChInfo")->isEnabled());
    // Selected, but the focus on the absent channel.
    window->lbDevControl->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    window->UpdateActions();
    EXPECT_FALSE(window->Action("actChInfo")->isEnabled());

    select(2);
    EXPECT_EQ(enabledSet(),
              (std::set<std::string>{"actChannelContext", "actSensorContext", "actRangeContext",
                                     "actCouplingcontext", "actConnectContext", "actOffsetContext"}));
}

TEST_F(MainWindowTest, CommandsWithoutAHandlerStayDisabled) {
    WriteSettings(QuietSettings());
    Start();
    window->UpdateActions();
    window->EndBusy();
    for (const auto& [name, action] : window->Actions()) {
        if (window->CommandConnected(name)) continue;
        EXPECT_FALSE(action->isEnabled()) << name;
        window->SetCommandEnabled(name, true);
        EXPECT_FALSE(action->isEnabled()) << name;
    }
    EXPECT_FALSE(window->Action("actChInfo")->isEnabled());
    for (const char* name : {"actexit", "actViewHome", "actViewLog", "actLangGer", "actLangEng"})
        EXPECT_TRUE(window->Action(name)->isEnabled()) << name;
}

TEST_F(MainWindowTest, TheLogOpensAtItsLastLineAndTheStartOfItsLines) {
    WriteSettings(QuietSettings());
    Start();
    window->pctMain->setCurrentWidget(window->tabControl);
    QApplication::processEvents();
    ASSERT_FALSE(window->mmLog->isVisible());
    for (int i = 0; i < 200; ++i)
        window->AddLog("line " + std::to_string(i));
    // A line far wider than the view, added while another page shows.
    window->AddLog("[ERR] " + std::string(600, 'x'));
    window->Action("actViewLog")->trigger();
    QApplication::processEvents();
    ASSERT_TRUE(window->mmLog->isVisible());
    QScrollBar* sideways = window->mmLog->horizontalScrollBar();
    ASSERT_GT(sideways->maximum(), 0);
    EXPECT_EQ(sideways->value(), 0);
    // The last line's start is in view.
    QTextCursor last(window->mmLog->document()->lastBlock());
    const QRect shown = window->mmLog->cursorRect(last);
    EXPECT_TRUE(window->mmLog->viewport()->rect().contains(shown)) << shown.x() << "," << shown.y();
    EXPECT_EQ(window->mmLog->verticalScrollBar()->value(), window->mmLog->verticalScrollBar()->maximum());
}

TEST_F(MainWindowTest, ClearingTheLogAsksOnlyWhenItHasLinesAndSavingWritesWindows1252WithCrLf) {
    WriteSettings(QuietSettings());
    Start();
    window->mmLog->clear();
    window->btnLogClear->click();
    EXPECT_TRUE(script.Records.empty());

    window->AddLog("Größe » 1");
    script.Answers = {"7"};
    window->btnLogClear->click();
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_EQ(script.Records[0].Caption, "Please confirm");
    EXPECT_EQ(script.Records[0].Header, "Clear log");
    EXPECT_EQ(
        script.Records[0].Text,
        "Clearing all entries of the log cannot be undone.\r\n\r\nAre you sure to delete all log items?");
    EXPECT_EQ(window->LogLines().size(), 1u);

    const fs::path target = configHome / "saved.log";
    script.Clear();
    script.Answers = {target.string()};
    window->AddLog("second");
    window->btnLogSave->click();
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_EQ(script.Records[0].Dialog.Title, "Save logfiles");
    EXPECT_EQ(script.Records[0].Dialog.Filter, "Logfiles|*.log|All files|*.*");
    EXPECT_EQ(script.Records[0].Dialog.DefaultExt, "*.log");
    EXPECT_EQ(script.Records[0].Dialog.FileName, "ondrix_2024_03_05_14_07.log");
    EXPECT_EQ(script.Records[0].Dialog.InitialFolder, window->ExeFolder);
    EXPECT_EQ(ReadAll(target), std::string("2024-03-05 14:07:09: Gr\xF6\xDF"
                                           "e \xBB 1\r\n"
                                           "2024-03-05 14:07:09: second\r\n"));

    script.Answers = {"6"};
    window->btnLogClear->click();
    EXPECT_TRUE(window->LogLines().empty());
}

// ---- Window, power, busy ---------------------------------------------------------------------

TEST_F(MainWindowTest, ColumnBoundsFollowTheListWidthAndItsScrollBar) {
    WriteSettings(QuietSettings());
    Start();
    window->lbDevControl->setFixedWidth(816);
    window->FormResize();
    EXPECT_EQ(window->SupplyColumnLeft, 656);
    EXPECT_EQ(window->OffsetColumnLeft, 720);
    EXPECT_EQ(window->OffsetColumnRight, 783);
    EXPECT_EQ(window->imgHistory->x(), 806);
    EXPECT_EQ(window->lbAllStats->x(), 696);

    window->pctMain->setCurrentWidget(window->tabControl);
    for (int i = 0; i < 60; ++i)
        window->lbDevControl->addItem(QString::number(i));
    QApplication::processEvents();
    ASSERT_TRUE(window->lbDevControl->verticalScrollBar()->isVisibleTo(window->lbDevControl));
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, window->lbDevControl);
    EXPECT_EQ(window->OffsetColumnRight, 783 - bar);
    EXPECT_EQ(window->OffsetColumnLeft, 720 - bar);
    EXPECT_EQ(window->SupplyColumnLeft, 656 - bar);
    EXPECT_EQ(window->imgHistory->x(), 806 - bar);
}

TEST_F(MainWindowTest, HistoryIconIsWhollyVisibleWithAndWithoutTheListsScrollBar) {
    WriteSettings(QuietSettings());
    Start();
    window->pctMain->setCurrentWidget(window->tabControl);
    QApplication::processEvents();
    auto visible = [this] {
        const QRect icon = window->imgHistory->geometry();
        const QWidget* strip = window->imgHistory->parentWidget();
        EXPECT_TRUE(strip->rect().contains(icon)) << icon.right() << " " << strip->width();
        // The strip itself lies inside the group box.
        const QRect inBox(strip->mapTo(window->gbxControl, QPoint(0, 0)), strip->size());
        EXPECT_TRUE(window->gbxControl->contentsRect().contains(inBox));
        EXPECT_EQ(icon.x(), window->lbDevControl->width() - 10 -
                                (window->lbDevControl->verticalScrollBar()->isVisibleTo(window->lbDevControl)
                                     ? window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                                    window->lbDevControl)
                                     : 0));
    };
    ASSERT_FALSE(window->lbDevControl->verticalScrollBar()->isVisibleTo(window->lbDevControl));
    visible();
    for (int i = 0; i < 60; ++i)
        window->lbDevControl->addItem(QString::number(i));
    QApplication::processEvents();
    ASSERT_TRUE(window->lbDevControl->verticalScrollBar()->isVisibleTo(window->lbDevControl));
    visible();
}

TEST_F(MainWindowTest, PowerCodesDisconnectGrantedRescanOnResumeAndNothingOtherwise) {
    WriteSettings(QuietSettings());
    Start();
    ASSERT_NE(window->PowerEvents, nullptr);
    EXPECT_FALSE(window->PowerEvents->HoldsInhibitor() && !window->PowerEvents->Connected());
    for (int code : {0, 1, 4, 5})
        EXPECT_EQ(window->PowerEvents->Deliver(code), 1) << code;
    EXPECT_TRUE(trace.empty());
    for (int code : {6, 7, 8})
        EXPECT_EQ(window->PowerEvents->Deliver(code), 0) << code;
    EXPECT_EQ(trace.size(), 3u);
    for (int code : {10, 18, 3, 99})
        EXPECT_EQ(window->PowerEvents->Deliver(code), 0) << code;
    EXPECT_EQ(trace.size(), 3u);

    // A suspend during a scan disconnects once the scan has ended.
    AddChannel(true, 0);
    {
        TScanGate::TGuard scanning(window->Gate);
        EXPECT_EQ(window->WMPowerBroadcast(kPowerSuspend), 1);
        EXPECT_EQ(window->Translator->ChannelCount(), 1);
    }
    loop.Step();
    EXPECT_EQ(window->Translator->ChannelCount(), 0);
}

TEST_F(MainWindowTest, FirstTimerTickRequestsTheFirstScanOnce) {
    WriteSettings(QuietSettings());
    Start();
    EXPECT_TRUE(window->FirstScanPending);
    window->timMainTimer();
    window->timMainTimer();
    EXPECT_FALSE(window->FirstScanPending);
    EXPECT_EQ(trace, (std::vector<std::string>{"rescan"}));
}

TEST_F(MainWindowTest, BusyPhaseShowsThePopupAndKeepsTheGateClosedUntilItEnds) {
    WriteSettings(QuietSettings());
    Start();
    {
        TOndrixMain::TBusyPhase busy(*window, 1704, 1705);
        ASSERT_NE(TBusyPopup::Current(), nullptr);
        EXPECT_EQ(TBusyPopup::Current()->lbStatHeader->text().toStdString(), "Autozero");
        EXPECT_FALSE(window->Gate.IsOpen());
        EXPECT_FALSE(window->mnbMain->isEnabled());
        EXPECT_FALSE(window->pctMain->isEnabled());
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
        window->actRescanExecute();
        EXPECT_TRUE(trace.empty());
    }
    EXPECT_EQ(TBusyPopup::Current(), nullptr);
    EXPECT_TRUE(window->Gate.IsOpen());
    EXPECT_TRUE(window->mnbMain->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    loop.Step();
    EXPECT_EQ(trace, (std::vector<std::string>{"rescan"}));
}

// ---- Alarms during a scan, with boxes that wait for an answer -------------------------------

// Two simulated amplifiers scanned by the real scan; the boxes are the program's own modal
// boxes, which return only when answered or closed.
struct MainWindowScanTest : ::testing::Test, test::TMainWindowFixture {
    test::TInstalledVirtualMainLoop loop;
    TWidgetMessageService boxes;
    std::unique_ptr<TScopedMessageService> installed;
    // What the program's boxes showed: the text, and whether the gate was closed meanwhile.
    std::vector<std::pair<std::string, bool>> seen;
    // Plays the user's part in every box shown (null: it answers OK or Yes).
    std::function<void(QDialog&)> user;
    QTimer player;
    std::function<void(const void*, const std::string&)> scanLog;

    void SetUp() override {
        test::EnsureApplication();
        // A close of an earlier test asked the application to quit, which would end every modal
        // box at once: a run of the application's loop clears that.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        installed = std::make_unique<TScopedMessageService>(boxes);
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
        ASSERT_NO_FATAL_FAILURE(WriteSettings(SimulatedSettings(2, 8)));
        ASSERT_NO_FATAL_FAILURE(StartWindow());
        window->timMainTimer();
        ASSERT_EQ(window->Translator->ChannelCount(), 16);
        scanLog = window->Translator->OnScanLog;
        player.setInterval(0);
        QObject::connect(&player, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            const QLabel* text = box->findChild<QLabel*>(QStringLiteral("lbText"));
            if (auto* message = qobject_cast<QMessageBox*>(box)) {
                seen.emplace_back(message->text().toStdString(), !window->Gate.IsOpen());
            } else {
                seen.emplace_back(text != nullptr ? text->text().toStdString() : "?", !window->Gate.IsOpen());
            }
            if (user) {
                user(*box);
            } else if (auto* message = qobject_cast<QMessageBox*>(box)) {
                message->button(QMessageBox::Ok)->click();
            } else {
                box->done(kResultYes);
            }
        });
        player.start();
    }

    void TearDown() override {
        player.stop();
        CloseWindow();
        ResumeMessageBoxes();
        installed.reset();
        SetLangOffset(LangEnglish);
    }

    // The next scan raises the supply alarm of the second device at its first log line and lets
    // the pending work run there, as the scan lets pending messages run; then does more.
    void AlarmInTheNextScan(std::function<void()> more = {}) {
        model::TI2CTranslator& t = *window->Translator;
        t.OnScanLog = [this, &t, more, raised = false](const void* sender, const std::string& text) mutable {
            if (!raised) {
                raised = true;
                t.OnDeviceAlarm(&t, 1, 256);
                loop.Step();
                if (more) more();
            }
            scanLog(sender, text);
        };
    }

    std::string SupplyText() const {
        return QString::fromStdString(device::Format(GetText(1029), 2))
            .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
            .toStdString();
    }
};

TEST_F(MainWindowScanTest, AlarmDuringAScanShowsItsBoxOnceTheScanHasEndedAndNoRescanFollows) {
    AlarmInTheNextScan();
    window->actRescanExecute();
    // The scan ran to its end with nothing shown.
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(window->Translator->ChannelCount(), 16);
    EXPECT_TRUE(window->Gate.IsOpen());
    loop.Step();
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{{SupplyText(), false}}));
    EXPECT_TRUE(window->DeviceShutDown);
    const std::vector<std::string> log = window->LogLines();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) {
                               return line.ends_with(
                                   "[IRQ] device 2 was shut down during a scan, no rescan follows.");
                           }),
              log.end());
    EXPECT_FALSE(window->Gate.RescanPending());
}

TEST_F(MainWindowScanTest, TerminationClosesTheOpenBoxWithNoAndTheProgramEndsWhenTheScanEnds) {
    // Inside the scan a confirmation box is open when the termination signal arrives.
    int answer = 0;
    bool scanRanOn = false;
    AlarmInTheNextScan([&] {
        answer = Messages().Confirm("caption", "header", "A question inside the scan");
        scanRanOn = true;
    });
    user = [this, terminated = false](QDialog& box) mutable {
        if (!terminated) {
            terminated = true;
            window->Terminate();
            if (!box.isVisible()) return;
        }
        ADD_FAILURE() << "the box stays open after the termination signal";
        box.done(kResultClosed);
    };
    fs::remove(SettingsPath());
    window->actRescanExecute();
    EXPECT_EQ(answer, kResultNo);
    EXPECT_TRUE(scanRanOn);
    EXPECT_EQ(window->Translator->ChannelCount(), 16);
    // The close waited for the scan's end and comes first; the alarm's box is never shown.
    loop.Step();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(fs::exists(SettingsPath()));
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{{"A question inside the scan", true}}));
    // Nothing waits for an answer any more.
    EXPECT_EQ(Messages().Confirm("caption", "header", "later"), kResultNo);
    Messages().ShowMessage("later");
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(MainWindowScanTest, TerminationClosesAnOpenWarningBoxToo) {
    // The warning box (a firmware library that did not load) is one of the program's boxes.
    bool scanRanOn = false;
    AlarmInTheNextScan([&] {
        Messages().ShowWarning("A warning inside the scan");
        scanRanOn = true;
    });
    user = [this, terminated = false](QDialog& box) mutable {
        if (!terminated) {
            terminated = true;
            window->Terminate();
            if (!box.isVisible()) return;
        }
        ADD_FAILURE() << "the warning box stays open after the termination signal";
        box.done(QMessageBox::Ok);
    };
    window->actRescanExecute();
    EXPECT_TRUE(scanRanOn);
    loop.Step();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{{"A warning inside the scan", true}}));
    Messages().ShowWarning("later");
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(MainWindowScanTest, CloseRequestedDuringAScanEndsTheProgramAfterItWithNoBoxWaiting) {
    // Closed from the window while a scan runs; the scan then has a box to show.
    AlarmInTheNextScan([this] {
        window->close();
        Messages().ShowMessage("A box inside the scan");
    });
    window->actRescanExecute();
    EXPECT_TRUE(window->isVisible());
    loop.Step();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(seen.empty());
}

} // namespace
} // namespace qrb::ui
