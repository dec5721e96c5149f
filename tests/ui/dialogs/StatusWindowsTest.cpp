#include "ui/dialogs/StatusWindows.h"
#include "device/Cp1252.h"
#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogs/MessageService.h"
#include "ui/platform/UserLocale.h"
#include "ui/texts/Texts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qrb::ui {
namespace {

struct StatusWindowsTest : ::testing::Test {
    void SetUp() override {
        test::EnsureApplication();
        SetLangOffset(LangEnglish);
    }
    void TearDown() override { SetLangOffset(LangEnglish); }
};

// Answers the next modal confirmation box once it is shown.
void AnswerNextBox(std::function<void(TQRBMessageForm&)> answer) {
    QTimer::singleShot(0, [answer] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<TQRBMessageForm*>(w); form != nullptr && form->isVisible())
                answer(*form);
    });
}

TEST_F(StatusWindowsTest, ConfirmationBoxAnswersSixForYesSevenForEscapeAndTwoWhenClosed) {
    struct TCase {
        const char* What;
        std::function<void(TQRBMessageForm&)> Answer;
        int Expected;
    };
    const TCase cases[] = {
        {"yes button", [](TQRBMessageForm& f) { f.btnYes->click(); }, kResultYes},
        {"no button", [](TQRBMessageForm& f) { f.btnNo->click(); }, kResultNo},
        {"escape",
         [](TQRBMessageForm& f) {
             QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(&f, &press);
         },
         kResultNo},
        {"enter (default button)",
         [](TQRBMessageForm& f) {
             QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
             QApplication::sendEvent(&f, &press);
         },
         kResultYes},
        {"window closed", [](TQRBMessageForm& f) { f.close(); }, kResultClosed},
    };
    for (const auto& c : cases) {
        QString caption, header, text, yes, no;
        AnswerNextBox([&](TQRBMessageForm& f) {
            caption = f.windowTitle();
            header = f.lbHeader->text();
            text = f.lbText->text();
            yes = f.btnYes->text();
            no = f.btnNo->text();
            c.Answer(f);
        });
        EXPECT_EQ(QRBMessageDlg(346, 400, 401), c.Expected) << c.What;
        EXPECT_EQ(caption.toStdString(), GetText(346)) << c.What;
        EXPECT_EQ(header.toStdString(), GetText(400)) << c.What;
        QString expectedText =
            QString::fromStdString(GetText(401)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        EXPECT_EQ(text, expectedText) << c.What;
        EXPECT_EQ(yes.toStdString(), GetText(450));
        EXPECT_EQ(no.toStdString(), GetText(451));
    }
}

TEST_F(StatusWindowsTest, ConfirmationTextsGoThroughTheScriptedService) {
    TScriptedMessageService script;
    TScopedMessageService installed(script);
    script.Answers = {"6"};
    EXPECT_EQ(QRBMessageDlg(1612, 1613, 1614), 6);
    EXPECT_EQ(QRBMessageDlg(1612, 1613, 1614), kResultNo); // no answer left: No
    ASSERT_EQ(script.Records.size(), 2u);
    EXPECT_EQ(script.Records[0].Caption, "Confirmation");
    EXPECT_EQ(script.Records[0].Header, "Number of devices changed");
    EXPECT_EQ(script.Records[0].Text,
              "The number of attached devices has changed.\r\n\r\nDo you want to rescan for devices?");
    EXPECT_EQ(TScriptedMessageService::PrintLine(script.Records[0]),
              "CONFIRM: Confirmation | Number of devices changed | The number of attached devices has "
              "changed.\\r\\n\\r\\nDo you want to rescan for devices?");
}

TEST_F(StatusWindowsTest, ChannelErrorLinesListSetBitsTwoToSevenInOrderInTheCurrentLanguage) {
    EXPECT_TRUE(ChannelErrorLines(0x03).empty()); // bits 0 and 1 are no errors
    EXPECT_EQ(ChannelErrorLines(4 + 16), (std::vector<std::string>{"  Cable broken!", "  Shortcut!"}));
    EXPECT_EQ(ChannelErrorLines(0xFC).size(), 6u);
    SetLangOffset(LangGerman);
    EXPECT_EQ(ChannelErrorLines(8 + 128), (std::vector<std::string>{"  Überspannung!", "  DMS Sicherung!"}));
}

TEST_F(StatusWindowsTest, TextWindowProposesPrefixAndDateAndSavesWindows1252WithCrLf) {
    EXPECT_EQ(TDeviceInfoForm::ProposedFileName("OffsetTable", 2024, 3, 5), "OffsetTable_2024_03_05.log");
    EXPECT_EQ(TDeviceInfoForm::ProposedFileName("info", 2024, 3, 5), "info_2024_03_05.log");

    const std::filesystem::path dir = std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "textwindow";
    std::filesystem::create_directories(dir);
    const std::string target = (dir / "saved.log").string();
    TScriptedMessageService script;
    TScopedMessageService installed(script);
    script.Answers = {target};
    TDeviceInfoForm form(nullptr);
    form.SaveFolder = "/some/folder/";
    form.AddLine("Kanal 1 » Überlast");
    form.AddText("second\r\nthird");
    form.show();
    EXPECT_EQ(form.btnSave->text().toStdString(), "Save");
    form.btnSaveClick();
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_EQ(script.Records[0].Kind, TMessageKind::SaveFile);
    EXPECT_EQ(script.Records[0].Dialog.Title, "Save logfiles");
    EXPECT_EQ(script.Records[0].Dialog.Filter, "Logfiles|*.log|All files|*.*");
    EXPECT_EQ(script.Records[0].Dialog.DefaultExt, "*.log");
    EXPECT_EQ(script.Records[0].Dialog.InitialFolder, "/some/folder/");
    EXPECT_EQ(script.Records[0].Dialog.FileName.rfind("info_", 0), 0u); // empty prefix becomes "info"
    std::ifstream in(target, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, std::string("Kanal 1 \xBB \xDC"
                                 "berlast\r\nsecond\r\nthird\r\n"));

    // Cancel writes nothing.
    std::filesystem::remove(target);
    script.Answers = {""};
    form.btnSaveClick();
    EXPECT_FALSE(std::filesystem::exists(target));
    form.hide();
}

TEST_F(StatusWindowsTest, OfflineDialogTakesItsTextsOnShowAndKeepsEightChannels) {
    TOfflineForm form(nullptr);
    form.show();
    EXPECT_EQ(form.windowTitle().toStdString(), GetText(55));
    EXPECT_EQ(form.lbMainTitle->text().toStdString(), "Offlinemode");
    EXPECT_EQ(form.lbTopic1Text->text().toStdString(), GetText(1876));
    EXPECT_EQ(form.lbText2->text().toStdString(), GetText(1877));
    EXPECT_EQ(form.lbDevices->text().toStdString(), GetText(1878));
    EXPECT_EQ(form.lbChannels->text().toStdString(), GetText(1879));
    EXPECT_EQ(form.btnOK->text().toStdString(), "Apply");
    EXPECT_EQ(form.btnCancel->text().toStdString(), "Cancel");
    EXPECT_EQ(form.seDevices->minimum(), 1);
    EXPECT_EQ(form.seDevices->maximum(), 8);
    EXPECT_EQ(form.seDevices->value(), 1);
    EXPECT_EQ(form.seChannels->value(), 8);
    EXPECT_FALSE(form.seChannels->isEnabled());
    form.hide();
}

TEST_F(StatusWindowsTest, OfflineDialogGivesEveryControlItsSizeHintInBothLanguages) {
    for (const uint16_t language : {LangGerman, LangEnglish}) {
        SetLangOffset(language);
        TOfflineForm form(nullptr);
        form.show();
        QCoreApplication::processEvents();
        const QList<QWidget*> controls = {form.lbMainTitle, form.lbTopic1Text, form.lbText2,
                                          form.lbDevices,   form.seDevices,    form.lbChannels,
                                          form.seChannels,  form.btnOK,        form.btnCancel};
        for (QWidget* control : controls) {
            SCOPED_TRACE(control->objectName().toStdString() + " " + std::to_string(language));
            const QSize hint = control->sizeHint();
            const QSize size = control->size();
            const auto* label = qobject_cast<QLabel*>(control);
            if (label != nullptr && label->wordWrap()) {
                // A wrapped text needs the height of its lines at the width it got.
                EXPECT_GE(size.height(), label->heightForWidth(size.width()));
            } else {
                EXPECT_GE(size.width(), hint.width());
                EXPECT_GE(size.height(), hint.height());
            }
            EXPECT_TRUE(form.rect().contains(QRect(control->mapTo(&form, QPoint(0, 0)), size)));
        }
        form.hide();
    }
}

TEST_F(StatusWindowsTest, DeviceStatusRefreshAddsTheReportUnlessBusy) {
    TDeviceStatusForm form;
    EXPECT_TRUE(form.cbStayOnTop->isChecked());
    bool busy = false;
    int reports = 0;
    form.CanRefresh = [&busy] { return !busy; };
    form.StatusReport = [&reports] {
        ++reports;
        return std::string("Device 1\r\nok");
    };
    form.btnRefreshClick();
    EXPECT_EQ(form.mmStatus->toPlainText().toStdString(), "Device 1\nok");
    busy = true;
    form.mmStatus->setPlainText(QStringLiteral("kept"));
    form.btnRefreshClick();
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(form.mmStatus->toPlainText().toStdString(), "kept");
    busy = false;
    form.StatusReport = [] { return std::string(); };
    form.btnRefreshClick();
    EXPECT_TRUE(form.mmStatus->toPlainText().isEmpty());
    form.show();
    form.btnOKClick();
    EXPECT_FALSE(form.isVisible());
}

// A stand-in for the main window, which the windows find by its name.
struct TMainStandIn : QWidget {
    TMainStandIn() { setObjectName(QStringLiteral("OndrixMain")); }
};

void PressEscape(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

TEST_F(StatusWindowsTest, DeviceStatusOpensCentredOnTheMainWindowOnTheScreenAndEscapeClosesIt) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    TMainStandIn main;
    main.setGeometry(screen.left() + 20, screen.top() + 10, screen.width() - 40, screen.height() - 20);
    main.show();
    TDeviceStatusForm form;
    form.show();
    const QPoint offset = form.frameGeometry().center() - main.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();

    // Escape closes it, from whichever of its controls has the focus.
    PressEscape(form.mmStatus);
    EXPECT_FALSE(form.isVisible());
    form.show();
    PressEscape(form.btnRefresh);
    EXPECT_FALSE(form.isVisible());

    // The main window near the bottom right corner: the window opens moved in, whole.
    main.move(screen.right() - 100, screen.bottom() - 80);
    form.show();
    EXPECT_TRUE(screen.contains(form.frameGeometry()))
        << form.frameGeometry().x() << "," << form.frameGeometry().y();

    // Shown again for its stay-on-top state it keeps its place.
    form.move(screen.left() + 5, screen.top() + 5);
    const QPoint place = form.pos();
    form.cbStayOnTop->click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.pos(), place);
}

TEST_F(StatusWindowsTest, TextWindowOpensAtItsFirstLineWholeOnTheScreen) {
    TMainStandIn main;
    main.resize(600, 400);
    main.show();
    TDeviceInfoForm form(&main);
    form.AddLine("HEADING");
    for (int i = 0; i < 200; ++i)
        form.AddLine(device::Format("line %d of a report wider than the window: ", i) +
                     std::string(200, 'x'));
    form.show();
    QCoreApplication::processEvents();
    QScrollBar* bar = form.mmInfo->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(form.mmInfo->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(form.mmInfo->cursorForPosition(QPoint(1, 1)).block().text().toStdString(), "HEADING");
    // Whole on the screen.
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(form.frameGeometry()));
}

TEST_F(StatusWindowsTest, DeviceStatusAndTextWindowGiveEveryControlItsSizeHintInBothLanguages) {
    const auto text = [](int id) {
        return QString::fromStdString(GetText(id)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    };
    for (const uint16_t language : {LangGerman, LangEnglish}) {
        SetLangOffset(language);
        TMainStandIn main;
        main.resize(600, 400);
        main.show();
        TDeviceStatusForm status;
        // The captions the main window's language switch gives it.
        status.btnRefresh->setText(text(15));
        status.btnOK->setText(text(453));
        status.cbStayOnTop->setText(text(1535));
        status.show();
        TDeviceInfoForm info(&main);
        info.AddLine("Device 01:");
        info.show();
        QCoreApplication::processEvents();
        const std::pair<QWidget*, QList<QWidget*>> windows[] = {
            {&status, {status.btnRefresh, status.btnOK, status.cbStayOnTop}},
            {&info, {info.btnSave, info.btnOk}}};
        for (const auto& [window, controls] : windows) {
            for (QWidget* control : controls) {
                SCOPED_TRACE(control->objectName().toStdString() + " " + std::to_string(language));
                EXPECT_GE(control->width(), control->sizeHint().width());
                EXPECT_GE(control->height(), control->sizeHint().height());
                EXPECT_TRUE(
                    window->rect().contains(QRect(control->mapTo(window, QPoint(0, 0)), control->size())));
            }
        }
    }
}

TEST_F(StatusWindowsTest, BusyPopupShowsItsTextsForItsLifetime) {
    EXPECT_EQ(TBusyPopup::Current(), nullptr);
    {
        TBusyPopup popup(GetText(1704), GetText(1705));
        ASSERT_NE(TBusyPopup::Current(), nullptr);
        EXPECT_TRUE(popup.Form()->isVisible());
        EXPECT_EQ(popup.Form()->windowTitle().toStdString(), "Status");
        EXPECT_EQ(popup.Form()->lbStatHeader->text().toStdString(), "Autozero");
        EXPECT_EQ(popup.Form()->lbStatText->text().toStdString(), GetText(1705));
    }
    EXPECT_EQ(TBusyPopup::Current(), nullptr);
}

model::TQRBRawChannel* MakeChannel(std::vector<std::unique_ptr<model::TQRBRawChannel>>& store, int slot) {
    store.push_back(std::make_unique<model::TQRBRawChannel>(0, 0, slot, slot,
                                                            device::TInterfaceKind::ikOffline, nullptr));
    return store.back().get();
}

TEST_F(StatusWindowsTest, ExtendedChannelInformationListsSelectedChannelsAndReplacesANanFactor) {
    std::vector<std::unique_ptr<model::TQRBRawChannel>> store;
    model::TQRBRawChannel* volt = MakeChannel(store, 0);
    volt->SensorType = 1;
    volt->RangeCache = 14;
    volt->coupling = 1;
    volt->Info.Version = 3;
    volt->Calibration.RangeFactors[14] = 1.25f;
    model::TQRBRawChannel* charge = MakeChannel(store, 1);
    charge->SensorType = model::stCharge;
    charge->RangeCache = 16;
    charge->CapacityCache = 0;
    charge->Calibration.RangeFactors[16] = NAN;
    charge->Calibration.CapacityFactors[0] = 1.0f;
    model::TQRBRawChannel* unselected = MakeChannel(store, 2);
    unselected->SensorType = 1;

    const auto lines = ExtChannelInfoLines({volt, charge, unselected}, {true, true, false});
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "CHANNEL      SENSOR              RANGE      COUPLING     SCALE (INPUT » OUTPUT)");
    EXPECT_EQ(lines[2], std::string(81, '_'));
    EXPECT_EQ(lines[3], "");
    auto pad = [](std::string s, size_t n) {
        while (device::Utf8Length(s) < n)
            s += ' ';
        return s;
    };
    const std::string voltLine =
        device::Format("Channel %2.2d   %s   %s   %s   %s » %s V", 1, pad(device::SensorTypeToText(1), 17),
                       pad(device::VoltageRangeToText(3, 14), 8), pad(device::CouplingToText(1), 10),
                       device::Format("%6.6g V", device::VoltageRangeFullScale(3, 14) / 5.0), "1.2500000");
    EXPECT_EQ(lines[4], voltLine);
    // NaN factor: 1.0; capacity code 0 with factor 1.0 shows 10.000000 nF.
    EXPECT_NE(lines[5].find("» 1.0000000 V  (10.000000 nF )"), std::string::npos) << lines[5];
    EXPECT_EQ(lines[5].rfind("Channel 02   ", 0), 0u);
    EXPECT_EQ(lines[6], "");
}

TEST_F(StatusWindowsTest, ExceptionFromAnEventHandlerIsShownAndTheLoopGoesOn) {
    TScriptedMessageService script;
    TScopedMessageService installed(script);
    bool later = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("handler failed"); });
    QTimer::singleShot(0, [&later] { later = true; });
    for (int i = 0; i < 5 && !later; ++i)
        QApplication::processEvents();
    EXPECT_TRUE(later);
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_EQ(script.Records[0].Kind, TMessageKind::Error);
    EXPECT_EQ(script.Records[0].Text, "handler failed");
}

TEST(UserLocale, QtPatternsBecomeClassLibraryPatterns) {
    const std::pair<const char*, const char*> cases[] = {
        {"dd.MM.yyyy", "dd.mm.yyyy"},     {"M/d/yy", "m/d/yy"},           {"HH:mm:ss", "hh:nn:ss"},
        {"h:mm:ss AP t", "h:nn:ss ampm"}, {"HH:mm:ss t", "hh:nn:ss"},     {"yyyy-MM-dd", "yyyy-mm-dd"},
        {"d 'de' MMMM", "d \"de\" mmmm"}, {"H.mm' Uhr'", "h.nn\" Uhr\""},
    };
    for (const auto& [qt, expected] : cases)
        EXPECT_EQ(QtPatternToClassLibrary(qt), expected) << qt;
}

} // namespace
} // namespace qrb::ui
