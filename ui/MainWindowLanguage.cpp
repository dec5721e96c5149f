// ApplyLanguage and the two language commands of the main window.

#include "device/Format.h"
#include "device/Helpers.h"
#include "model/I2CTranslator.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTranslator>

#include <stdexcept>

namespace qrb::ui {

namespace {

QString Text(int id) {
    return ToDisplay(GetText(id));
}

struct TActionText {
    const char* Name;
    int Id;
};

// Captions that are also the hints (step 2 and the first part of step 4).
constexpr TActionText kCaptionAndHint[] = {
    {"actOnline", 54},        {"actOffline", 55},   {"actNewScan", 28},        {"actexit", 6},
    {"actDefaultSetup", 44},  {"actLoadSetup", 43}, {"actSaveSetup", 42},      {"actSaveAsDefault", 65},
    {"actClearDefault", 66},  {"acteditcut", 11},   {"acteditcopy", 12},       {"acteditpaste", 13},
    {"acteditselectall", 14}, {"actViewHome", 41},  {"actViewControl", 39},    {"actViewLog", 40},
    {"actrefresh", 15},       {"actLangGer", 9},    {"actLangEng", 10},        {"actZeroAdjust", 63},
    {"actSettings", 45},      {"actTedsInfo", 48},  {"actSaveDevConfig", 399}, {"actClearDevConfig", 405},
    {"actTurnOff", 407},      {"actDevLock", 408},  {"actDevUnlock", 409},     {"actDevInformation", 410},
    {"actDevStatus", 411},
};

// Captions only.
constexpr TActionText kCaptionOnly[] = {
    {"actChannelContext", 1579},  {"actSensorContext", 1580},   {"actRangeContext", 1581},
    {"actCouplingcontext", 1582}, {"actResistorContext", 1583}, {"actShuntContext", 1584},
    {"actSenseContext", 1585},    {"actConnectContext", 1586},  {"actSupplyContext", 1587},
    {"actOffsetContext", 1588},   {"actChInfo", 1620},          {"actAbout", 16},
    {"actChannelOffsets", 64},
};

constexpr TActionText kChannelMenu[] = {
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
};

constexpr int kTopicIds[7][2] = {{28, 1515},  {1532, 1526}, {1533, 1527}, {410, 1528},
                                 {411, 1529}, {408, 1530},  {409, 1531}};

// Qt's own texts (file dialogs, input boxes, standard buttons) in the program's language. The
// translation belongs to owner: it is taken out of the application with it.
void FollowWithQtTexts(QObject& owner, uint16_t langOffset) {
    const QString name = QStringLiteral("QtTextsTranslation");
    auto* translator = owner.findChild<QTranslator*>(name, Qt::FindDirectChildrenOnly);
    if (langOffset != LangGerman) {
        if (translator != nullptr) QCoreApplication::removeTranslator(translator);
        return;
    }
    if (translator == nullptr) {
        translator = new QTranslator(&owner);
        translator->setObjectName(name);
        // Without the file Qt's texts stay English.
        (void)translator->load(QStringLiteral("qtbase_de"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    QCoreApplication::removeTranslator(translator);
    QCoreApplication::installTranslator(translator);
}

} // namespace

void TOndrixMain::ShowOverviewText() {
    const int masters = Translator ? Translator->MasterCount() : 0;
    const int channels = Translator ? Translator->ChannelCount() : 0;
    if (masters == 0)
        lbOverview->setText(Text(1512));
    else if (masters == 1)
        lbOverview->setText(ToDisplay(device::Format(GetText(1513), channels)));
    else
        lbOverview->setText(ToDisplay(device::Format(GetText(1514), masters, channels)));
}

void TOndrixMain::ApplyLanguage() {
    try {
        FollowWithQtTexts(*this, LangOffset());
        auto action = [this](const char* name) {
            QAction* a = Action(name);
            if (a == nullptr) throw std::runtime_error(std::string("no action ") + name);
            return a;
        };
        // 1. Main menu bar.
        miFile->setTitle(Text(1));
        miEdit->setTitle(Text(2));
        miView->setTitle(Text(3));
        miOptions->setTitle(Text(4));
        milanguage->setTitle(Text(8));
        miDevice->setTitle(Text(38));
        miChannel->setTitle(Text(49));
        miHelp->setTitle(Text(5));
        // 2. and 4. Action captions with their hints.
        for (const auto& [name, id] : kCaptionAndHint) {
            QAction* a = action(name);
            a->setText(Text(id));
            a->setToolTip(Text(id));
        }
        action("actexit")->setToolTip(Text(7));
        // 3. Log page buttons.
        btnLogSave->setText(Text(457));
        btnLogClear->setText(Text(458));
        // 4. Captions only.
        for (const auto& [name, id] : kCaptionOnly)
            action(name)->setText(Text(id));
        // 5. Version label.
        lbMainVersion->setText(ToDisplay(VersionLabelText()));
        // 6. Page texts and controls.
        lbControlTitle->setText(Text(39));
        lbControlText->setText(Text(46));
        lbLogTitle->setText(Text(40));
        lbLogText->setText(Text(47));
        cbDevConAllCh->setText(Text(382));
        rbAdHocMode->setText(Text(403));
        rbSetupMode->setText(Text(404));
        btnRollback->setText(Text(461));
        btnCommit->setText(Text(462));
        // 7. The channel list's texts.
        TListTexts& t = ListTexts;
        t.DefaultChannelName = GetText(1500);
        t.PositionFormat = GetText(1501);
        t.Sensor = GetText(1502);
        t.Range = GetText(1503);
        t.Coupling = GetText(1504);
        t.Offset = GetText(1505);
        t.Current = GetText(1510);
        t.Voltage = GetText(1511);
        t.Bridgemode = GetText(1520);
        t.Supply = GetText(1521);
        t.Shunt = GetText(1522);
        t.Sense = GetText(1523);
        t.Resistor = GetText(1524);
        t.Connection = GetText(1568);
        t.PoweredDown = GetText(1554);
        t.PoweredDownHint = GetText(1555);
        t.Disabled = GetText(1569);
        t.DisabledHint = GetText(1570);
        t.ChargeCoupling = GetText(1593);
        t.ChargeGain = GetText(1594);
        t.ChargeHighpass = GetText(1595);
        t.ChargeClearmode = GetText(1596);
        // 8. Channel menu.
        for (const auto& [name, id] : kChannelMenu) {
            auto it = ChannelMenuItems.find(name);
            if (it == ChannelMenuItems.end()) throw std::runtime_error(std::string("no menu item ") + name);
            it->second->setText(Text(id));
        }
        // 9. Overview topics.
        for (int i = 0; i < 7; ++i) {
            lbTopicHeader[i]->setText(Text(kTopicIds[i][0]));
            lbTopicText[i]->setText(Text(kTopicIds[i][1]));
        }
        // 10. History.
        lbAllStats->setText(Text(1575));
        miResetHistory->setText(Text(1573));
        miShowHistory->setText(Text(1574));
        miRefreshAllStats->setText(Text(1578));
        // 11. Device status window.
        if (DeviceStatusForm != nullptr) {
            DeviceStatusForm->btnRefresh->setText(Text(15));
            DeviceStatusForm->btnOK->setText(Text(453));
            DeviceStatusForm->cbStayOnTop->setText(Text(1535));
        }
        // 12. Overview text by the device count.
        ShowOverviewText();
        // 13. Repaint the channel list.
        lbDevControl->viewport()->update();
    } catch (const std::exception& e) {
        if (LangOffset() == LangGerman)
            Messages().ShowMessage(
                device::Format("Fehler beim Ändern der Spracheinstellungen:\r\n%s", e.what()));
        else
            Messages().ShowMessage(device::Format("Error while changing GUI language:\r\n%s", e.what()));
    }
}

void TOndrixMain::actLangEngExecute() {
    SetLangOffset(LangEnglish);
    ApplyLanguage();
}

void TOndrixMain::actLangGerExecute() {
    SetLangOffset(LangGerman);
    ApplyLanguage();
}

} // namespace qrb::ui
