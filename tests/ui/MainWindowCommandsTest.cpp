// The main window's file, edit and about commands over two simulated amplifiers of eight
// channels, answered through the scripted message and file-dialog service: saving picks XML only
// for ".xml", a name without extension takes the chosen file type's, loading asks as the options
// say and keeps the fan fast enough, a failed load leaves nothing behind, the default setup file,
// the busy scope after an exception, the edit commands by focus, and a saved setup that a fresh
// start loads back.

#include "device/Helpers.h"
#include "device/sim/I2CVirtualControl.h"
#include "model/I2CTranslator.h"
#include "tests/support/VirtualMainLoop.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowChannels.h"
#include "ui/channels/ChannelList.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace qrb::ui {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What a channel's setup consists of, for comparing two starts.
struct TChannelSetup {
    model::TSensorType Type;
    device::TChannelImage Image;
    std::string Name;
    bool operator==(const TChannelSetup&) const = default;
};

class MainWindowCommands : public ::testing::Test, protected test::TMainWindowFixture {
protected:
    test::TInstalledVirtualMainLoop loop;
    TScriptedMessageService script;
    std::unique_ptr<TScopedMessageService> installed;
    fs::path files; // where the tests save their setups

    void SetUp() override {
        test::EnsureApplication();
        installed = std::make_unique<TScopedMessageService>(script);
        ASSERT_NO_FATAL_FAILURE(EnterConfigHome());
        files = configHome / "setups";
        fs::create_directories(files);
        Start(2);
    }

    void TearDown() override {
        window.reset();
        SetLangOffset(LangEnglish);
    }

    // A start with devices simulated amplifiers of eight channels, scanned by the first tick.
    void Start(int devices) {
        window.reset();
        ASSERT_NO_FATAL_FAILURE(WriteSettings(SimulatedSettings(devices, 8)));
        ASSERT_NO_FATAL_FAILURE(StartWindow(test::TestStartOptions(), false));
        window->timMainTimer();
        ASSERT_EQ(window->Translator->ChannelCount(), 8 * devices);
        script.Clear();
    }

    model::TQRBRawChannel& Ch(int i) { return *window->Translator->GetChannel(i); }

    void SetType(int i, model::TSensorType type) {
        ASSERT_TRUE(window->Translator->SetSensorType(i, type));
        ASSERT_TRUE(window->Translator->NewConfig(0, true));
    }

    void Trigger(const char* name) {
        QAction* action = window->Action(name);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    }

    // Saves through the save command with the scripted dialog answering fileName.
    void SaveAs(const std::string& fileName) {
        script.Answers.push_back(fileName);
        Trigger("actSaveSetup");
    }

    void LoadFrom(const std::string& fileName, std::initializer_list<const char*> answers = {}) {
        script.Answers.push_back(fileName);
        for (const char* a : answers)
            script.Answers.push_back(a);
        Trigger("actLoadSetup");
    }

    std::vector<TChannelSetup> Setups() {
        std::vector<TChannelSetup> out;
        for (int i = 0; i < window->Translator->ChannelCount(); ++i)
            out.push_back({Ch(i).SensorType, Ch(i).Current, Ch(i).ChannelName});
        return out;
    }

    std::vector<std::string> ConfirmHeaders() const {
        std::vector<std::string> out;
        for (const auto& r : script.Records)
            if (r.Kind == TMessageKind::Confirm) out.push_back(r.Header);
        return out;
    }

    device::TI2CVirtualControl& Simulator() {
        auto* control = dynamic_cast<device::TI2CVirtualControl*>(window->Translator->HAL->VirtualControl());
        EXPECT_NE(control, nullptr);
        return *control;
    }

    void Focus(QWidget* widget) {
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        widget->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), widget);
    }

    void UpdateEdit() {
        window->acteditcutUpdate();
        window->acteditcopyUpdate();
        window->acteditpasteUpdate();
        window->acteditselectallUpdate();
    }

    std::map<std::string, bool> EditStates() {
        UpdateEdit();
        std::map<std::string, bool> states;
        for (const char* name : {"acteditcut", "acteditcopy", "acteditpaste", "acteditselectall"})
            states[name] = window->Action(name)->isEnabled();
        return states;
    }
};

// ---- The file dialogs' extension rule -------------------------------------------------------

TEST(DialogExtension, ANameWithoutOneTakesTheChosenFileTypesExtension) {
    TFileDialogRequest setup;
    setup.Filter = "Ondrix xml setup|*.xml|Ondrix raw setup|*.prs";
    setup.DefaultExt = "*.xml";
    TFileDialogRequest log;
    log.Filter = "Logfiles|*.log|All files|*.*";
    log.DefaultExt = "*.log";
    TFileDialogRequest bare;
    bare.Filter = "All files|*.*";
    struct TCase {
        const TFileDialogRequest* Request;
        std::string Typed;
        int Filter;
        std::string Result;
    } cases[] = {
        {&setup, "/x/a", 0, "/x/a.xml"},     {&setup, "/x/a", 1, "/x/a.prs"},
        {&setup, "/x/a.XML", 1, "/x/a.XML"}, {&setup, "/x/a.txt", 0, "/x/a.txt"},
        {&setup, "/x.d/a", 1, "/x.d/a.prs"}, {&setup, "/x/a", 7, "/x/a.xml"}, // outside: default
        {&log, "/x/b", 0, "/x/b.log"},       {&log, "/x/b", 1, "/x/b.log"},   // wildcard: default
        {&bare, "/x/c", 0, "/x/c"},          {&setup, "/x/", 0, "/x/"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(WithDialogExtension(c.Typed, *c.Request, c.Filter), c.Result) << c.Typed << " " << c.Filter;
}

// The real dialog: the file type chosen by the user decides the extension of a name typed
// without one (it used to be ".xml" whatever the filter).
TEST(WidgetFileDialog, ANameTypedWithoutExtensionTakesTheChosenFileType) {
    test::EnsureApplication();
    const char* base = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(base, nullptr);
    const fs::path folder = fs::path(base) / "WidgetFileDialog";
    fs::create_directories(folder);
    TFileDialogRequest request;
    request.Title = "Setup";
    request.Filter = "Ondrix xml setup|*.xml|Ondrix raw setup|*.prs";
    request.DefaultExt = "*.xml";
    request.InitialFolder = folder.string();
    request.FileName = "newSetup.xml";
    for (int filter : {1, 0}) {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(types, nullptr);
            ASSERT_NE(name, nullptr);
            // What the combo box does when the user picks a type.
            types->setCurrentIndex(filter);
            emit types->activated(filter);
            emit types->textActivated(types->itemText(filter));
            name->setText(QStringLiteral("a"));
            static_cast<QDialog*>(dialog)->accept(); // the OK button
        });
        TWidgetMessageService service;
        std::string fileName;
        ASSERT_TRUE(service.SaveFileName(request, fileName));
        EXPECT_EQ(fileName, (folder / (filter == 1 ? "a.prs" : "a.xml")).string()) << filter;
    }
}

// ---- Save -----------------------------------------------------------------------------------

TEST_F(MainWindowCommands, SaveWritesXmlOnlyForTheExactLowerCaseExtension) {
    const std::string a = (files / "a").string();
    SaveAs(a + ".xml");
    ASSERT_EQ(script.Records.size(), 2u);
    const TFileDialogRequest& dialog = script.Records[0].Dialog;
    EXPECT_EQ(script.Records[0].Kind, TMessageKind::SaveFile);
    EXPECT_EQ(dialog.Title, "Save setup ...");
    EXPECT_EQ(dialog.Filter, "Ondrix xml setup|*.xml|Ondrix raw setup|*.prs");
    EXPECT_EQ(dialog.FileName, "newSetup.xml");
    EXPECT_EQ(dialog.InitialFolder, window->UserFolder);
    EXPECT_EQ(ReadAll(a + ".xml").rfind("<?xml", 0), 0u);
    EXPECT_FALSE(fs::exists(a + ".prs"));
    EXPECT_EQ(script.MessageTexts().back(), "Setup successfully saved as:\r\n\r\n\"" + a + ".xml\"");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software - a.xml"));
    EXPECT_EQ(window->SetupFolder, files.string() + "/");
    EXPECT_FALSE(window->SetupModified);

    // Capitals: a raw setup, under the name SaveSetup gives it; the next dialog opens here.
    fs::remove(a + ".xml");
    window->SetupModified = true;
    script.Clear();
    SaveAs(a + ".XML");
    EXPECT_EQ(script.Records[0].Dialog.InitialFolder, files.string() + "/");
    EXPECT_TRUE(fs::exists(a + ".prs"));
    EXPECT_FALSE(fs::exists(a + ".xml"));
    EXPECT_FALSE(fs::exists(a + ".XML"));
    EXPECT_NE(ReadAll(a + ".prs").rfind("<?xml", 0), 0u);
    EXPECT_EQ(script.MessageTexts().back(), "Setup successfully saved as:\r\n\r\n\"" + a + ".prs\"");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software - a.prs"));
    EXPECT_FALSE(window->SetupModified);
}

TEST_F(MainWindowCommands, ANameWithoutExtensionIsSavedAsTheChosenFileType) {
    const std::string b = (files / "b").string();
    script.FilterIndex = 1;
    SaveAs(b);
    EXPECT_TRUE(fs::exists(b + ".prs"));
    EXPECT_FALSE(fs::exists(b + ".xml"));
    script.FilterIndex = 0;
    SaveAs(b);
    EXPECT_EQ(ReadAll(b + ".xml").rfind("<?xml", 0), 0u);
}

// The scripted service with the program's real save dialog.
class TRealSaveDialog : public TScriptedMessageService {
public:
    bool SaveFileName(const TFileDialogRequest& request, std::string& fileName) override {
        return TWidgetMessageService().SaveFileName(request, fileName);
    }
};

// The real save dialog: typed is entered and accepted; a question that follows is recorded and
// answered with answer; a No leaves the dialog open, and it is cancelled then.
std::string SaveInRealDialog(const QString& typed, QMessageBox::StandardButton answer,
                             const std::function<void()>& command) {
    struct TRun {
        std::string Question;
        bool Done = false; // a timer left over once the command returned acts no more
    };
    auto run = std::make_shared<TRun>();
    QTimer::singleShot(0, [run, typed, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(typed);
        // Runs inside the question's own loop, or once the dialog has closed without one.
        QTimer::singleShot(0, [run, answer, dialog = QPointer<QFileDialog>(dialog)] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (run->Done || box == nullptr) return;
            run->Question = box->text().toStdString();
            box->button(answer)->click();
            if (answer == QMessageBox::No)
                QTimer::singleShot(0, [dialog] {
                    if (dialog) dialog->reject();
                });
        });
        static_cast<QDialog*>(dialog)->accept(); // the Save button
    });
    command();
    run->Done = true;
    return run->Question;
}

TEST_F(MainWindowCommands, TheOverwriteQuestionAsksAboutTheFileTheSaveWrites) {
    TRealSaveDialog real;
    TScopedMessageService withRealDialog(real);
    window->SetupFolder = files.string() + "/";
    std::ofstream(files / "b.prs") << "old";
    std::ofstream(files / "c.XML") << "old";
    const auto save = [this] { Trigger("actSaveSetup"); };

    // "b.XML" writes the raw b.prs, which exists: the question names it, and No keeps it.
    EXPECT_EQ(SaveInRealDialog(QStringLiteral("b.XML"), QMessageBox::No, save),
              std::string("b.prs already exists.\nDo you want to replace it?"));
    EXPECT_TRUE(ReadAll(files / "b.prs") == "old");
    EXPECT_TRUE(real.MessageTexts().empty());
    EXPECT_EQ(SaveInRealDialog(QStringLiteral("b.XML"), QMessageBox::Yes, save),
              std::string("b.prs already exists.\nDo you want to replace it?"));
    EXPECT_FALSE(ReadAll(files / "b.prs") == "old");
    EXPECT_EQ(real.MessageTexts(),
              std::vector<std::string>{GetText(1542) + "\"" + (files / "b.prs").string() + "\""});

    // "c.XML" exists but writes the new c.prs: nothing to ask.
    real.Clear();
    EXPECT_EQ(SaveInRealDialog(QStringLiteral("c.XML"), QMessageBox::No, save), "");
    EXPECT_EQ(ReadAll(files / "c.XML"), "old");
    EXPECT_TRUE(fs::exists(files / "c.prs"));
    EXPECT_EQ(real.MessageTexts().size(), 1u);
}

TEST_F(MainWindowCommands, SaveWritesTheExportsTheOptionsAskForAndReportsAFailure) {
    window->Options.SaveConfAsText = true;
    window->Options.SaveConfAsXLS = true;
    SaveAs((files / "e.xml").string());
    for (const char* ext : {".xml", ".txt", ".xls"})
        EXPECT_TRUE(fs::exists(files / (std::string("e") + ext))) << ext;
    window->Options.SaveConfAsXLS = false;
    SaveAs((files / "t.xml").string());
    EXPECT_TRUE(fs::exists(files / "t.txt"));
    EXPECT_FALSE(fs::exists(files / "t.xls"));

    // An export that cannot be created fails the save: one message 1040 naming each export's
    // file that failed, the setup stays modified. The names are folders, so nothing can write them.
    for (const char* name : {"u.txt", "u.xls"})
        fs::create_directories(files / name);
    struct TCase {
        bool Xls;
        std::vector<std::string> Failed;
    };
    for (const TCase& c : {TCase{false, {"u.txt"}}, TCase{true, {"u.txt", "u.xls"}}}) {
        SCOPED_TRACE(c.Xls ? "both exports" : "the text export");
        window->Options.SaveConfAsXLS = c.Xls;
        window->SetupModified = true;
        script.Clear();
        SaveAs((files / "u.xml").string());
        ASSERT_EQ(script.MessageTexts().size(), 1u);
        const std::string box = script.MessageTexts()[0];
        EXPECT_EQ(box.rfind("Error on saving setup:\r\n\r\n", 0), 0u) << box;
        for (const std::string& name : c.Failed) {
            const std::string line = "Error while writing setup info " + name.substr(2) + " file (";
            const size_t at = box.find(line);
            ASSERT_NE(at, std::string::npos) << box;
            EXPECT_EQ(box.find(": " + (files / name).string() + " (", at), box.find(")", at) + 1) << box;
        }
        EXPECT_TRUE(window->SetupModified);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software - t.xml"));
    }

    // A folder that does not exist: the failure is shown (as a message or the error box).
    script.Clear();
    SaveAs((files / "missing" / "v.xml").string());
    ASSERT_EQ(script.MessageTexts().size(), 1u);
    EXPECT_EQ(script.MessageTexts()[0].find("successfully"), std::string::npos);
    EXPECT_TRUE(window->SetupModified);
}

// ---- Load -----------------------------------------------------------------------------------

TEST_F(MainWindowCommands, LoadWithAnotherChannelCountAsksOnlyWithItsOption) {
    SetType(2, model::stVolt);
    SetType(12, model::stVolt);
    const std::string file = (files / "sixteen.xml").string();
    SaveAs(file);
    Start(1);
    ASSERT_EQ(Ch(2).SensorType, model::stOff);

    // Declined: nothing loaded, no message.
    LoadFrom(file, {"7"});
    EXPECT_EQ(ConfirmHeaders(), std::vector<std::string>{"Different number of channels"});
    EXPECT_EQ(script.Records[0].Dialog.Title, "Load setup ...");
    EXPECT_EQ(script.Records[0].Dialog.DefaultExt, "*.xml");
    EXPECT_EQ(Ch(2).SensorType, model::stOff);
    EXPECT_TRUE(script.MessageTexts().empty());
    EXPECT_EQ(window->SetupFolder, files.string() + "/");

    script.Clear();
    LoadFrom(file, {"6"});
    EXPECT_EQ(ConfirmHeaders(), std::vector<std::string>{"Different number of channels"});
    EXPECT_EQ(Ch(2).SensorType, model::stVolt);
    EXPECT_EQ(Ch(2).Current, Ch(2).Pending);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software - sixteen.xml"));
    EXPECT_TRUE(script.MessageTexts().empty());

    // Option off: loaded by position without a question.
    SetType(2, model::stOff);
    window->Options.DiffSetupWarning = false;
    script.Clear();
    LoadFrom(file);
    EXPECT_TRUE(ConfirmHeaders().empty());
    EXPECT_EQ(Ch(2).SensorType, model::stVolt);
}

TEST_F(MainWindowCommands, LoadMatchesBySerialNumberOnlyWithItsOption) {
    SetType(0, model::stVolt);
    SetType(1, model::stICP);
    const std::string file = (files / "swapped.xml").string();
    SaveAs(file);
    // The first two channel sections swapped: by serial number each finds its own again.
    std::string text = ReadAll(file);
    const size_t first = text.find("<channel>");
    const size_t second = text.find("<channel>", first + 1);
    const size_t third = text.find("<channel>", second + 1);
    ASSERT_NE(third, std::string::npos);
    const std::string a = text.substr(first, second - first), b = text.substr(second, third - second);
    text.replace(first, third - first, b + a);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;

    ASSERT_TRUE(window->Translator->DefaultSettingsAll());
    window->Options.DiffSerNoWarning = true;
    script.Clear();
    LoadFrom(file);
    EXPECT_TRUE(ConfirmHeaders().empty());
    EXPECT_EQ(Ch(0).SensorType, model::stVolt);
    EXPECT_EQ(Ch(1).SensorType, model::stICP);

    window->Options.DiffSerNoWarning = false;
    LoadFrom(file);
    EXPECT_EQ(Ch(0).SensorType, model::stICP);
    EXPECT_EQ(Ch(1).SensorType, model::stVolt);
    EXPECT_TRUE(script.MessageTexts().empty());
}

TEST_F(MainWindowCommands, LoadOfABridgeSetupSpeedsTheFanUpOnEveryDevice) {
    SetType(3, model::stDMSFullbridge);
    const std::string file = (files / "bridge.xml").string();
    SaveAs(file);
    SetType(3, model::stOff);
    window->Options.FanSpeed = 3;
    for (int d = 0; d < 2; ++d)
        Simulator().GetVirtualMaster(d)->FanSpeed = 0;
    LoadFrom(file);
    EXPECT_EQ(Ch(3).SensorType, model::stDMSFullbridge);
    EXPECT_EQ(window->Options.FanSpeed, 1);
    // Fan index 1 reaches every device as its speed byte 4 - 1.
    for (int d = 0; d < 2; ++d)
        EXPECT_EQ(Simulator().GetVirtualMaster(d)->FanSpeed, 3) << d;

    // A fan already fast enough is left alone.
    window->Options.FanSpeed = 0;
    for (int d = 0; d < 2; ++d)
        Simulator().GetVirtualMaster(d)->FanSpeed = 7;
    LoadFrom(file);
    EXPECT_EQ(window->Options.FanSpeed, 0);
    EXPECT_EQ(Simulator().GetVirtualMaster(0)->FanSpeed, 7);
}

TEST_F(MainWindowCommands, FailedLoadLeavesNothingThatALaterAdHocChangeWrites) {
    // A setup whose last channel section is missing: loading by position fails there.
    for (int i = 0; i < 15; ++i)
        SetType(i, model::stVolt);
    const std::string file = (files / "short.xml").string();
    SaveAs(file);
    std::string text = ReadAll(file);
    const size_t last = text.rfind("<channel>");
    const size_t end = text.find("</channel>", last);
    ASSERT_NE(last, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    text.erase(last, end + std::string("</channel>").size() - last);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;

    ASSERT_TRUE(window->Translator->DefaultSettingsAll());
    const std::vector<TChannelSetup> before = Setups();
    window->Options.DiffSetupWarning = false;
    script.Clear();
    LoadFrom(file);
    ASSERT_EQ(script.MessageTexts().size(), 1u);
    EXPECT_EQ(script.MessageTexts()[0].rfind("Error on loading setup file:\r\n\r\n", 0), 0u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(Ch(i).Pending, Ch(i).Current) << i;

    // An ad-hoc change of the last channel commits only that channel.
    window->lbDevControl->item(15)->setSelected(true);
    window->Channels->List().lbDevControlClick();
    ASSERT_TRUE(window->Translator->SetSensorType(15, model::stICP));
    window->Channels->Menus().ApplyChanges(false);
    const std::vector<TChannelSetup> after = Setups();
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(after[i], before[i]) << i;
    EXPECT_EQ(Ch(15).SensorType, model::stICP);
}

TEST_F(MainWindowCommands, LoadChecksTheFileFirstAndOffersToSaveAModifiedSetup) {
    const std::string bad = (files / "bad.xml").string();
    std::ofstream(bad) << "<not a setup";
    window->SetupModified = true;
    // The save offer declined, then the check fails: message 1041 and nothing else.
    script.Answers = {"7", bad};
    Trigger("actLoadSetup");
    ASSERT_GE(script.Records.size(), 3u);
    EXPECT_EQ(script.Records[0].Kind, TMessageKind::Confirm);
    EXPECT_EQ(script.Records[0].Header, "Save setup?");
    EXPECT_EQ(script.Records[1].Kind, TMessageKind::OpenFile);
    ASSERT_EQ(script.MessageTexts().size(), 1u);
    EXPECT_EQ(script.MessageTexts()[0].rfind("Error on checking setup file:\r\n\r\n", 0), 0u);

    // Yes: the save command with its own dialog runs first.
    script.Clear();
    const std::string saved = (files / "first.xml").string();
    script.Answers = {"6", saved, ""};
    Trigger("actLoadSetup");
    ASSERT_EQ(script.Records.size(), 4u);
    EXPECT_EQ(script.Records[1].Kind, TMessageKind::SaveFile);
    EXPECT_EQ(script.Records[3].Kind, TMessageKind::OpenFile);
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_FALSE(window->SetupModified);

    // The option off: no offer.
    window->SetupModified = true;
    window->Options.AskSaveonChange = false;
    script.Clear();
    script.Answers = {""};
    Trigger("actLoadSetup");
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_EQ(script.Records[0].Kind, TMessageKind::OpenFile);
}

TEST_F(MainWindowCommands, NewScanOffersToSaveAModifiedSetupFirst) {
    window->SetupModified = true;
    script.Answers = {"7", "7"};
    Trigger("actNewScan");
    EXPECT_EQ(ConfirmHeaders(), (std::vector<std::string>{"Save setup?", GetText(1601)}));
}

// ---- Restore defaults, default setup file ---------------------------------------------------

TEST_F(MainWindowCommands, RestoreDefaultsAsksThenResetsSettingsAndNames) {
    SetType(1, model::stVolt);
    Ch(1).SetChannelName("mine");
    window->setWindowTitle(QStringLiteral("x"));
    window->SetupModified = true;
    script.Answers = {"7", "7"};
    Trigger("actDefaultSetup");
    EXPECT_EQ(ConfirmHeaders(), (std::vector<std::string>{"Save setup?", "Default Setup"}));
    EXPECT_EQ(Ch(1).SensorType, model::stVolt);

    script.Clear();
    script.Answers = {"7", "6"};
    Trigger("actDefaultSetup");
    EXPECT_EQ(Ch(1).SensorType, model::stOff);
    EXPECT_EQ(Ch(1).ChannelName, "Channel  2");
    EXPECT_EQ(Ch(15).ChannelName, "Channel 16");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software"));
    EXPECT_FALSE(window->SetupModified);
    EXPECT_TRUE(script.MessageTexts().empty());

    // Without the question.
    SetType(1, model::stVolt);
    window->Options.AskOnDefault = false;
    script.Clear();
    Trigger("actDefaultSetup");
    EXPECT_TRUE(ConfirmHeaders().empty());
    EXPECT_EQ(Ch(1).SensorType, model::stOff);
}

TEST_F(MainWindowCommands, DefaultSetupFileIsSavedAndClearedWithTheCommandsEnabling) {
    EXPECT_FALSE(window->Action("actClearDefault")->isEnabled());
    window->SetupModified = true;
    Trigger("actSaveAsDefault");
    EXPECT_EQ(script.MessageTexts(), std::vector<std::string>{GetText(1650)});
    EXPECT_EQ(ReadAll(window->DefaultSetupFile).rfind("<?xml", 0), 0u);
    EXPECT_TRUE(window->Action("actClearDefault")->isEnabled());
    EXPECT_TRUE(window->SetupModified);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QRB Ondrix Interface Software"));

    script.Clear();
    Trigger("actClearDefault");
    EXPECT_EQ(script.MessageTexts(), std::vector<std::string>{GetText(1651)});
    EXPECT_FALSE(fs::exists(window->DefaultSetupFile));
    EXPECT_FALSE(window->Action("actClearDefault")->isEnabled());

    // Without the file: no message.
    script.Clear();
    window->actClearDefaultExecute();
    EXPECT_TRUE(script.MessageTexts().empty());
    EXPECT_FALSE(window->Action("actClearDefault")->isEnabled());
}

// ---- Busy -----------------------------------------------------------------------------------

TEST_F(MainWindowCommands, BusyPopupShowsEachPairOfBusyTexts) {
    const int pairs[][2] = {{1700, 1701}, {1702, 1703}, {1704, 1705},
                            {1706, 1707}, {1710, 1711}, {1714, 1715}};
    for (const auto& pair : pairs) {
        TOndrixMain::TBusyPhase phase(*window, pair[0], pair[1]);
        ASSERT_NE(TBusyPopup::Current(), nullptr);
        EXPECT_EQ(TBusyPopup::Current()->lbStatHeader->text(), QString::fromStdString(GetText(pair[0])));
        EXPECT_EQ(TBusyPopup::Current()->lbStatText->text(), QString::fromStdString(GetText(pair[1])));
        EXPECT_FALSE(GetText(pair[0]).empty());
    }
    EXPECT_EQ(GetText(1700), "Transmit configuration");
}

TEST_F(MainWindowCommands, BusyScopeEndsAfterAnExceptionAndLeavesTheWindowUsable) {
    bool sawBusy = false;
    EXPECT_THROW(
        {
            TOndrixMain::TBusyScope scope(*window);
            window->RunLongOperation(1700, 1701, [&]() -> bool {
                sawBusy = window->Busy && !window->Gate.IsOpen() && !window->mnbMain->isEnabled() &&
                          !window->Action("actLoadSetup")->isEnabled() && TBusyPopup::Current() != nullptr;
                throw std::runtime_error("device lost");
            });
        },
        std::runtime_error);
    EXPECT_TRUE(sawBusy);
    EXPECT_FALSE(window->Busy);
    EXPECT_TRUE(window->Gate.IsOpen());
    EXPECT_EQ(TBusyPopup::Current(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    for (QWidget* w : {static_cast<QWidget*>(window->mnbMain), static_cast<QWidget*>(window->atbMain),
                       static_cast<QWidget*>(window->pctMain)})
        EXPECT_TRUE(w->isEnabled());
    for (const char* name : {"actNewScan", "actRescan", "actLoadSetup", "actSaveSetup", "actDefaultSetup"})
        EXPECT_TRUE(window->Action(name)->isEnabled()) << name;

    // Nested scopes keep Busy until the outer one ends.
    {
        TOndrixMain::TBusyScope outer(*window);
        { TOndrixMain::TBusyScope inner(*window); }
        EXPECT_TRUE(window->Busy);
        EXPECT_FALSE(window->Gate.IsOpen());
        // Commands that reach the model do nothing meanwhile.
        window->Action("actSaveSetup")->trigger();
        EXPECT_TRUE(script.Records.empty());
    }
    EXPECT_FALSE(window->Busy);

    // The window works on: a save runs its dialog.
    script.Answers = {""};
    Trigger("actSaveSetup");
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_EQ(script.Records[0].Kind, TMessageKind::SaveFile);
}

// ---- Edit commands --------------------------------------------------------------------------

TEST_F(MainWindowCommands, EditCommandsAreEnabledByTheFocusedControl) {
    window->pctMain->setCurrentWidget(window->tabControl);
    Focus(window->lbDevControl);
    using S = std::map<std::string, bool>;
    EXPECT_EQ(EditStates(), (S{{"acteditcut", false},
                               {"acteditcopy", false},
                               {"acteditpaste", false},
                               {"acteditselectall", true}}));
    window->lbDevControl->item(1)->setSelected(true);
    EXPECT_TRUE(EditStates()["acteditcopy"]);
    window->lbDevControl->item(2)->setSelected(true);
    EXPECT_FALSE(EditStates()["acteditcopy"]);
    window->Translator->ClipboardValid = true;
    EXPECT_TRUE(EditStates()["acteditpaste"]);

    // The log is an edit control, read only: nothing to cut, nothing to paste into, also with
    // text on the clipboard.
    window->pctMain->setCurrentWidget(window->tabLog);
    Focus(window->mmLog);
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    window->mmLog->selectAll();
    EXPECT_EQ(EditStates(), (S{{"acteditcut", false},
                               {"acteditcopy", true},
                               {"acteditpaste", false},
                               {"acteditselectall", true}}));
    // A read-only line edit, a spin box's too, takes no paste; a writable one does.
    auto* readOnly = new QLineEdit(QStringLiteral("fixed"), window->tabLog);
    readOnly->setReadOnly(true);
    readOnly->show();
    Focus(readOnly);
    EXPECT_FALSE(EditStates()["acteditpaste"]);
    auto* spin = new QSpinBox(window->tabLog);
    spin->setReadOnly(true);
    spin->show();
    Focus(spin);
    EXPECT_FALSE(EditStates()["acteditpaste"]);
    spin->setReadOnly(false);
    EXPECT_TRUE(EditStates()["acteditpaste"]);

    // A writable edit with selected text can also cut.
    auto* edit = new QLineEdit(QStringLiteral("some text"), window->tabLog);
    edit->show();
    Focus(edit);
    edit->selectAll();
    EXPECT_TRUE(EditStates()["acteditcut"]);

    // Any other control: all off.
    Focus(window->btnLogSave);
    EXPECT_EQ(EditStates(), (S{{"acteditcut", false},
                               {"acteditcopy", false},
                               {"acteditpaste", false},
                               {"acteditselectall", false}}));
}

TEST_F(MainWindowCommands, EditCommandsActOnTheFocusedControl) {
    window->pctMain->setCurrentWidget(window->tabControl);
    Focus(window->lbDevControl);
    int copies = 0, pastes = 0;
    QObject::connect(window->ChannelMenuItems["miCopyChannel"], &QAction::triggered, [&] { ++copies; });
    QObject::connect(window->ChannelMenuItems["miPasteChannel"], &QAction::triggered, [&] { ++pastes; });

    window->acteditselectallExecute();
    EXPECT_EQ(window->lbDevControl->selectedItems().size(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(window->Translator->IsSelected(i)) << i;
    EXPECT_FALSE(window->cbDevConAllCh->isChecked());

    // The channel menu's commands, also while that menu showed them disabled.
    window->acteditcopyExecute();
    window->acteditpasteExecute();
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(pastes, 1);
    EXPECT_FALSE(window->ChannelMenuItems["miCopyChannel"]->isEnabled());

    // In an edit control they edit text.
    auto* edit = new QLineEdit(QStringLiteral("abc"), window->tabControl);
    edit->show();
    Focus(edit);
    window->acteditselectallExecute();
    EXPECT_EQ(edit->selectedText(), QStringLiteral("abc"));
    window->acteditcutExecute();
    EXPECT_TRUE(edit->text().isEmpty());
    window->acteditpasteExecute();
    window->acteditpasteExecute();
    EXPECT_EQ(edit->text(), QStringLiteral("abcabc"));
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(pastes, 1);
}

TEST_F(MainWindowCommands, EditMenuByKeyboardActsOnTheControlThatHadTheFocusBeforeTheMenuBar) {
    window->pctMain->setCurrentWidget(window->tabControl);
    Focus(window->lbDevControl);
    window->lbDevControl->item(1)->setSelected(true);
    window->Translator->ClipboardValid = true;
    int copies = 0;
    QObject::connect(window->ChannelMenuItems["miCopyChannel"], &QAction::triggered, [&] { ++copies; });
    const QKeySequence mnemonic = QKeySequence::mnemonic(window->miEdit->title());
    ASSERT_FALSE(mnemonic.isEmpty());

    // Alt+E opens the menu; the menu bar has taken the focus.
    QTest::keyClick(window.get(), mnemonic[0].key(), mnemonic[0].keyboardModifiers());
    ASSERT_EQ(QApplication::activePopupWidget(), window->miEdit);
    EXPECT_EQ(QApplication::focusWidget(), window->mnbMain);
    using S = std::map<std::string, bool>;
    const S listStates{
        {"acteditcut", false}, {"acteditcopy", true}, {"acteditpaste", true}, {"acteditselectall", true}};
    // As the menu opened, and as the idle passes keep them while it is open.
    S shown;
    for (const char* name : {"acteditcut", "acteditcopy", "acteditpaste", "acteditselectall"})
        shown[name] = window->Action(name)->isEnabled();
    EXPECT_EQ(shown, listStates);
    EXPECT_EQ(EditStates(), listStates);

    // Escape closes the menu; the menu bar keeps the keyboard, and Ctrl+C copies the channel.
    QTest::keyClick(window->miEdit, Qt::Key_Escape);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), window->mnbMain);
    EXPECT_EQ(EditStates(), listStates);
    QTest::keyClick(window->mnbMain, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copies, 1);
}

// ---- About ----------------------------------------------------------------------------------

TEST_F(MainWindowCommands, AboutBoxShowsTheVersionAndFitsInBothLanguages) {
    for (int lang : {LangEnglish, LangGerman}) {
        SetLangOffset(lang);
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = true;
            EXPECT_EQ(box->windowTitle().toStdString(), GetText(16));
            auto* version = box->findChild<QLabel*>(QStringLiteral("lbMainVersion"));
            ASSERT_NE(version, nullptr);
            EXPECT_EQ(version->text().toStdString(),
                      "Version: " + device::GetProgramVersion() + "\nQRB GmbH");
            for (QWidget* w : box->findChildren<QWidget*>()) {
                if (!w->isVisible()) continue;
                EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
                EXPECT_GE(w->height(), w->sizeHint().height()) << w->objectName().toStdString();
            }
            box->accept();
        });
        Trigger("actAbout");
        EXPECT_TRUE(seen);
    }
}

// ---- A saved setup in a fresh start ---------------------------------------------------------

TEST_F(MainWindowCommands, SetupSavedFromTheFileMenuLoadsBackIntoAFreshStart) {
    const model::TSensorType types[] = {model::stVolt, model::stICP, model::stDMSFullbridge, model::stCurrent,
                                        model::stOff};
    for (int i = 0; i < 16; ++i) {
        SetType(i, types[i % 5]);
        Ch(i).SetChannelName("Sensor " + std::to_string(100 + i));
    }
    ASSERT_TRUE(window->Translator->SetRange(0, 10));
    ASSERT_TRUE(window->Translator->SetCoupling(5, 1));
    ASSERT_TRUE(window->Translator->NewConfig(0, true));
    ASSERT_EQ(Ch(0).RangeCache, 10);
    const std::vector<TChannelSetup> saved = Setups();

    QAction* save = nullptr;
    for (QAction* a : window->miFile->actions())
        if (a == window->Action("actSaveSetup")) save = a;
    ASSERT_NE(save, nullptr);
    script.Answers = {(files / "all.xml").string()};
    save->trigger();
    ASSERT_TRUE(fs::exists(files / "all.xml"));

    Start(2);
    ASSERT_NE(Setups(), saved);
    LoadFrom((files / "all.xml").string());
    EXPECT_TRUE(script.MessageTexts().empty());
    const std::vector<TChannelSetup> loaded = Setups();
    ASSERT_EQ(loaded.size(), saved.size());
    for (size_t i = 0; i < saved.size(); ++i)
        EXPECT_EQ(loaded[i], saved[i]) << i;
}

} // namespace
} // namespace qrb::ui
