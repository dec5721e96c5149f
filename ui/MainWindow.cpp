#include "ui/MainWindow.h"

#include "device/Format.h"
#include "device/Helpers.h"
#include "model/I2CTranslator.h"
#include "ui/ConfigServerControl.h"
#include "ui/MainWindowChannels.h"
#include "ui/channels/ScanController.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/dialogs/TitleLabel.h"
#include "ui/platform/PowerEvents.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <optional>
#include <stdexcept>

namespace qrb::ui {

namespace {

// The address of the maker's home page on the overview page.
constexpr const char* kHomePage = "https://www.qrb-gmbh.de";

constexpr const char* kFolderInaccessible =
    "QRB Ondrix interface software cannot start because user app \r\nfolder is inaccessible.\r\n\r\nMaybe, "
    "this is a permission problem but in general this error\r\nshould never occur. Please contact QRB GmbH "
    "if "
    "error persists.";
constexpr const char* kStartFailure =
    "QRB Ondrix interface software cannot start because\r\nof the following "
    "error:\r\n\r\n";

// Image numbers of the main image list used for the row pictures, in ListGlyphs order.
constexpr int kGlyphImages[5] = {45, 75, 74, 76, 60};

QLabel* NamedLabel(QWidget* parent, const char* name, bool wrap = false) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(wrap);
    return label;
}

QToolButton* SpeedButton(QWidget* parent, const char* name, QAction* action) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIconSize(QSize(16, 16));
    button->setFixedSize(28, 28);
    button->setAutoRaise(true);
    if (action != nullptr) {
        button->setIcon(action->icon());
        QObject::connect(button, &QToolButton::clicked, action, &QAction::trigger);
    }
    return button;
}

} // namespace

QPixmap MainImage(int index) {
    return QPixmap(QStringLiteral(":/images/main_%1.png").arg(index, 2, 10, QLatin1Char('0')));
}

// ---- Construction ---------------------------------------------------------------------------

TOndrixMain::TOndrixMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("OndrixMain"));
    setWindowTitle(QString::fromLatin1(kMainCaption));
    setWindowIcon(QIcon(QStringLiteral(":/images/logo.png")));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, 600);
    Clock = [] { return device::Now(); };

    timMain = new QTimer(this);
    timMain->setObjectName(QStringLiteral("timMain"));
    timMain->setInterval(500);
    connect(timMain, &QTimer::timeout, this, [this] { timMainTimer(); });

    CreateActions();
    CreateMenus();
    CreatePages();

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("stbMain"));
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        stbPanels[i] = new QLabel(bar);
        stbPanels[i]->setObjectName(QStringLiteral("stbMainPanel%1").arg(i));
        stbPanels[i]->setAlignment(Qt::AlignCenter);
        stbPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(stbPanels[i]);
    }
    stbPanels[0]->setFixedWidth(100);
    stbPanels[2]->setFixedWidth(100);

    Gate.OnError = [](const std::string& text) { Messages().ShowError(text); };
    Gate.OnRescanStart = [this] {
        ++scansStarted_;
        FlushLogRepeats();
    };
    Gate.OnRescanEnd = [this] { scansDone_ = scansStarted_; };
}

TOndrixMain::~TOndrixMain() {
    FormDestroy();
}

QAction* TOndrixMain::AddAction(const char* name, const char* icon) {
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(name));
    if (icon != nullptr)
        action->setIcon(QIcon(QStringLiteral(":/images/%1.png").arg(QString::fromLatin1(icon))));
    actions_[name] = action;
    return action;
}

QAction* TOndrixMain::Action(const std::string& name) const {
    auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

void TOndrixMain::CreateActions() {
    // Every action the language switch names; those whose commands come with later components
    // stay disabled until those components connect them.
    struct TDef {
        const char* Name;
        const char* Icon;
        const char* Key;
    };
    static constexpr TDef defs[] = {
        {"actOnline", nullptr, nullptr},
        {"actOffline", nullptr, nullptr},
        {"actNewScan", "scan", "F12"},
        {"actRescan", nullptr, nullptr},
        {"actexit", "exit", "Alt+F4"},
        {"actDefaultSetup", nullptr, "F2"},
        {"actLoadSetup", "load", "F3"},
        {"actSaveSetup", "save", "F4"},
        {"actSaveAsDefault", nullptr, nullptr},
        {"actClearDefault", nullptr, nullptr},
        {"acteditcut", nullptr, nullptr},
        {"acteditcopy", nullptr, nullptr},
        {"acteditpaste", nullptr, nullptr},
        {"acteditselectall", nullptr, nullptr},
        {"actViewHome", "home", nullptr},
        {"actViewControl", "control", nullptr},
        {"actViewLog", "log", nullptr},
        {"actrefresh", "refresh", "F5"},
        {"actlang", nullptr, nullptr},
        {"actLangGer", nullptr, nullptr},
        {"actLangEng", nullptr, nullptr},
        {"actZeroAdjust", nullptr, nullptr},
        {"actSettings", "settings", nullptr},
        {"actTedsInfo", nullptr, nullptr},
        {"actSaveDevConfig", nullptr, nullptr},
        {"actClearDevConfig", nullptr, nullptr},
        {"actTurnOff", nullptr, nullptr},
        {"actDevLock", "lock", nullptr},
        {"actDevUnlock", "unlock", nullptr},
        {"actDevInformation", "devinfo", "Ctrl+I"},
        {"actDevStatus", "devstatus", "Ctrl+S"},
        {"actChannelContext", nullptr, "Alt+1"},
        {"actSensorContext", nullptr, "Alt+2"},
        {"actRangeContext", nullptr, "Alt+3"},
        {"actCouplingcontext", nullptr, "Alt+4"},
        {"actResistorContext", nullptr, "Alt+5"},
        {"actShuntContext", nullptr, "Alt+6"},
        {"actSenseContext", nullptr, "Alt+7"},
        {"actConnectContext", nullptr, "Alt+8"},
        {"actSupplyContext", nullptr, "Alt+9"},
        {"actOffsetContext", nullptr, "Alt+0"},
        {"actChInfo", nullptr, "Alt+I"},
        {"actAbout", "about", nullptr},
        {"actChannelOffsets", nullptr, nullptr},
    };
    for (const auto& def : defs) {
        QAction* action = AddAction(def.Name, def.Icon);
        if (def.Key != nullptr) action->setShortcut(QKeySequence(QString::fromLatin1(def.Key)));
        action->setEnabled(false);
    }
    Action("actOffsetContext")
        ->setShortcuts({QKeySequence(QStringLiteral("Alt+0")), QKeySequence(QStringLiteral("Alt+O"))});

    // The commands of this window.
    ConnectCommand("actexit", [this] {
        close();
        QCoreApplication::quit();
    });
    ConnectCommand("actViewHome", [this] { pctMain->setCurrentWidget(tabMain); });
    ConnectCommand("actViewControl", [this] { pctMain->setCurrentWidget(tabControl); });
    ConnectCommand("actViewLog", [this] { pctMain->setCurrentWidget(tabLog); });
    ConnectCommand("actlang", [] {});
    ConnectCommand("actLangGer", [this] { actLangGerExecute(); });
    ConnectCommand("actLangEng", [this] { actLangEngExecute(); });
    ConnectCommand("actSettings", [this] { actSettingsExecute(); });
    for (const char* name :
         {"actexit", "actViewHome", "actViewLog", "actlang", "actLangGer", "actLangEng", "actSettings"})
        SetCommandEnabled(name, true);
    ConnectMainCommands();
    ConnectDeviceCommands();
    ConnectOptionCommands();
}

void TOndrixMain::ConnectCommand(const std::string& name, std::function<void()> handler) {
    QAction* action = Action(name);
    if (action == nullptr) return;
    connected_.insert(name);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
}

void TOndrixMain::SetCommandEnabled(const std::string& name, bool enabled) {
    if (QAction* action = Action(name)) action->setEnabled(enabled && CommandConnected(name));
}

void TOndrixMain::CreateMenus() {
    mnbMain = menuBar();
    mnbMain->setObjectName(QStringLiteral("mnbMain"));
    auto menu = [this](QMenu* parentMenu, const char* name) {
        QMenu* m = parentMenu != nullptr ? parentMenu->addMenu(QString()) : mnbMain->addMenu(QString());
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    auto add = [this](QMenu* m, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (name == nullptr)
                m->addSeparator();
            else
                m->addAction(Action(name));
        }
    };
    miFile = menu(nullptr, "miFile");
    add(miFile, {"actOnline", "actOffline", "actNewScan", nullptr, "actDefaultSetup", "actLoadSetup",
                 "actSaveSetup", "actSaveAsDefault", "actClearDefault", nullptr, "actexit"});
    miEdit = menu(nullptr, "miEdit");
    add(miEdit, {"acteditcut", "acteditcopy", "acteditpaste", nullptr, "acteditselectall"});
    ConnectEditMenu();
    miView = menu(nullptr, "miView");
    add(miView, {"actViewHome", "actViewControl", "actViewLog", nullptr, "actrefresh"});
    miOptions = menu(nullptr, "miOptions");
    milanguage = menu(miOptions, "milanguage");
    milanguage->menuAction()->setEnabled(true);
    add(milanguage, {"actLangGer", "actLangEng"});
    add(miOptions, {nullptr, "actSettings", "actZeroAdjust", "actTedsInfo"});
    miDevice = menu(nullptr, "miDevice");
    add(miDevice, {"actSaveDevConfig", "actClearDevConfig", nullptr, "actDevInformation", "actDevStatus",
                   nullptr, "actDevLock", "actDevUnlock", nullptr, "actTurnOff"});
    miChannel = menu(nullptr, "miChannel");
    add(miChannel, {"actChannelContext", "actSensorContext", "actRangeContext", "actCouplingcontext",
                    "actResistorContext", "actShuntContext", "actSenseContext", "actConnectContext",
                    "actSupplyContext", "actOffsetContext", nullptr, "actChInfo"});
    miHelp = menu(nullptr, "miHelp");
    add(miHelp, {"actChannelOffsets", nullptr, "actAbout"});
    // Shown once a scan finds channels.
    miDevice->menuAction()->setVisible(false);
    miChannel->menuAction()->setVisible(false);

    atbMain = addToolBar(QString());
    atbMain->setObjectName(QStringLiteral("atbMain"));
    atbMain->setMovable(false);
    atbMain->setIconSize(QSize(16, 16));
    static constexpr const char* toolbar[] = {
        "actNewScan",     "actLoadSetup", "actSaveSetup", nullptr, "actViewHome",
        "actViewControl", "actViewLog",   "actrefresh",   nullptr, "actDevInformation",
        "actDevStatus",   "actDevLock",   "actDevUnlock", nullptr, "actSettings",
        "actAbout",       nullptr,        "actexit"};
    for (const char* name : toolbar) {
        if (name == nullptr)
            atbMain->addSeparator();
        else
            atbMain->addAction(Action(name));
    }

    // The channel menu: its items' states and commands come with the channel list.
    popChannel = new QMenu(this);
    popChannel->setObjectName(QStringLiteral("popChannel"));
    static constexpr const char* channelItems[] = {"miRenamechannel",
                                                   "miBlink",
                                                   nullptr,
                                                   "miChInfo",
                                                   "miDisableChannel",
                                                   nullptr,
                                                   "miOutputFilterOff",
                                                   "miOutputFilterOn",
                                                   "miHydrophone",
                                                   "miOutputfloating",
                                                   nullptr,
                                                   "miTEDS",
                                                   "miTEMP",
                                                   "miAutozero",
                                                   "miClearCharge",
                                                   nullptr,
                                                   "miCopyChannel",
                                                   "miPasteChannel",
                                                   "miResetChannel"};
    for (const char* name : channelItems) {
        if (name == nullptr) {
            popChannel->addSeparator();
        } else if (std::string(name) == "miChInfo") {
            popChannel->addAction(Action("actChInfo"));
        } else {
            QAction* item = popChannel->addAction(QString());
            item->setObjectName(QString::fromLatin1(name));
            item->setEnabled(false);
            ChannelMenuItems[name] = item;
        }
    }
    for (const char* name : {"miOutputFilterOff", "miOutputFilterOn", "miHydrophone", "miOutputfloating"})
        ChannelMenuItems[name]->setCheckable(true);

    popHistory = new QMenu(this);
    popHistory->setObjectName(QStringLiteral("popHistory"));
    miShowHistory = popHistory->addAction(QString());
    miShowHistory->setObjectName(QStringLiteral("miShowHistory"));
    miResetHistory = popHistory->addAction(QString());
    miResetHistory->setObjectName(QStringLiteral("miResetHistory"));
    popHistory->addSeparator();
    miRefreshAllStats = popHistory->addAction(QString());
    miRefreshAllStats->setObjectName(QStringLiteral("miRefreshAllStats"));
    popHistory->setDefaultAction(miShowHistory);
    for (QAction* item : {miShowHistory, miResetHistory, miRefreshAllStats})
        item->setEnabled(false);
}

void TOndrixMain::CreatePages() {
    pctMain = new QStackedWidget(this);
    pctMain->setObjectName(QStringLiteral("pctMain"));
    tabMain = CreateMainPage();
    tabControl = CreateControlPage();
    tabLog = CreateLogPage();
    pctMain->addWidget(tabMain);
    pctMain->addWidget(tabControl);
    pctMain->addWidget(tabLog);
    setCentralWidget(pctMain);
    pctMain->setCurrentWidget(tabMain);
}

QWidget* TOndrixMain::CreateMainPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tabMain"));
    auto* layout = new QVBoxLayout(page);
    auto* head = new QHBoxLayout;
    imgLogo = NamedLabel(page, "imgLogo");
    imgLogo->setPixmap(QPixmap(QStringLiteral(":/images/logo.png")));
    head->addWidget(imgLogo);
    auto* titles = new QVBoxLayout;
    lbMainTitle = TitleLabel(page, "lbMainTitle");
    lbMainTitle->setText(QString::fromLatin1(kMainCaption));
    lbMainVersion = NamedLabel(page, "lbMainVersion");
    titles->addWidget(lbMainTitle);
    titles->addWidget(lbMainVersion);
    head->addLayout(titles, 1);
    lbRunMode = NamedLabel(page, "lbRunMode");
    QFont runFont = lbRunMode->font();
    runFont.setBold(true);
    runFont.setPixelSize(16);
    lbRunMode->setFont(runFont);
    head->addWidget(lbRunMode, 0, Qt::AlignTop);
    layout->addLayout(head);

    lbOverview = NamedLabel(page, "lbOverview", true);
    layout->addWidget(lbOverview);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(2, 1);
    const std::array<QToolButton**, 7> buttons = {&sbtRescan,    &sbtViewControl, &sbtViewLog,  &sbtdevinfo,
                                                  &sbtdevstatus, &sbtDevLock,     &sbtdevUnlock};
    static constexpr const char* buttonNames[7] = {"sbtRescan",   "sbtViewControl", "sbtViewLog",
                                                   "sbtdevinfo",  "sbtdevstatus",   "sbtDevLock",
                                                   "sbtdevUnlock"};
    static constexpr const char* buttonActions[7] = {"actNewScan",        "actViewControl", "actViewLog",
                                                     "actDevInformation", "actDevStatus",   "actDevLock",
                                                     "actDevUnlock"};
    for (int i = 0; i < 7; ++i) {
        *buttons[i] = SpeedButton(page, buttonNames[i], Action(buttonActions[i]));
        const std::string header = "lbTopic" + std::to_string(i + 1) + "Header";
        const std::string text = "lbTopic" + std::to_string(i + 1) + "Text";
        lbTopicHeader[i] = NamedLabel(page, header.c_str());
        QFont bold = lbTopicHeader[i]->font();
        bold.setBold(true);
        lbTopicHeader[i]->setFont(bold);
        lbTopicText[i] = NamedLabel(page, text.c_str(), true);
        grid->addWidget(*buttons[i], i, 0, Qt::AlignTop);
        grid->addWidget(lbTopicHeader[i], i, 1, Qt::AlignTop);
        grid->addWidget(lbTopicText[i], i, 2, Qt::AlignTop);
    }
    // Only the log view is always possible; the scan enables the others.
    for (QToolButton* button :
         {sbtRescan, sbtViewControl, sbtdevinfo, sbtdevstatus, sbtDevLock, sbtdevUnlock})
        button->setEnabled(false);
    layout->addLayout(grid);
    layout->addStretch(1);

    lbWebLink = NamedLabel(page, "lbWebLink");
    lbWebLink->setText(QString::fromLatin1(kHomePage));
    lbWebLink->setCursor(Qt::PointingHandCursor);
    QPalette linkPalette = lbWebLink->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 0xC0));
    lbWebLink->setPalette(linkPalette);
    lbWebLink->installEventFilter(this);
    layout->addWidget(lbWebLink, 0, Qt::AlignRight);
    return page;
}

namespace {
// How far the history icon reaches past the list's right edge (left 10 from it, 16 wide).
constexpr int kHistoryOverhang = 6;
} // namespace

QWidget* TOndrixMain::CreateControlPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tabControl"));
    auto* layout = new QVBoxLayout(page);
    lbControlTitle = TitleLabel(page, "lbControlTitle");
    lbControlText = NamedLabel(page, "lbControlText", true);
    layout->addWidget(lbControlTitle);
    layout->addWidget(lbControlText);

    gbxControl = new QGroupBox(page);
    gbxControl->setObjectName(QStringLiteral("gbxControl"));
    auto* box = new QVBoxLayout(gbxControl);
    // The history icon and its label are placed by FormResize relative to the list's width.
    auto* strip = new QWidget(gbxControl);
    strip->setObjectName(QStringLiteral("pnlHistory"));
    strip->setFixedHeight(20);
    lbAllStats = NamedLabel(strip, "lbAllStats");
    lbAllStats->setFixedWidth(105);
    lbAllStats->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    imgHistory = NamedLabel(strip, "imgHistory");
    imgHistory->setFixedSize(16, 16);
    imgHistory->setContextMenuPolicy(Qt::CustomContextMenu);
    imgHistory->installEventFilter(this);
    connect(imgHistory, &QLabel::customContextMenuRequested, this,
            [this](const QPoint& pos) { popHistory->popup(imgHistory->mapToGlobal(pos)); });
    box->addWidget(strip);

    lbDevControl = new QListWidget(gbxControl);
    lbDevControl->setObjectName(QStringLiteral("lbDevControl"));
    lbDevControl->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbDevControl->setUniformItemSizes(true);
    lbDevControl->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lbDevControl->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lbDevControl->setMinimumWidth(816);
    lbDevControl->installEventFilter(this);
    lbDevControl->verticalScrollBar()->installEventFilter(this);
    // The history icon sits 10 pixels left of the list's right edge and is 16 wide: the strip
    // above reaches 6 pixels further right than the list, so the icon is never cut.
    auto* listRow = new QHBoxLayout;
    listRow->setContentsMargins(0, 0, 0, 0);
    listRow->addWidget(lbDevControl, 1);
    listRow->addSpacing(kHistoryOverhang);
    box->addLayout(listRow, 1);

    auto* row = new QHBoxLayout;
    cbDevConAllCh = new QCheckBox(gbxControl);
    cbDevConAllCh->setObjectName(QStringLiteral("cbDevConAllCh"));
    rbAdHocMode = new QRadioButton(gbxControl);
    rbAdHocMode->setObjectName(QStringLiteral("rbAdHocMode"));
    rbAdHocMode->setChecked(true);
    rbSetupMode = new QRadioButton(gbxControl);
    rbSetupMode->setObjectName(QStringLiteral("rbSetupMode"));
    btnCommit = new QPushButton(gbxControl);
    btnCommit->setObjectName(QStringLiteral("btnCommit"));
    btnCommit->setEnabled(false);
    btnRollback = new QPushButton(gbxControl);
    btnRollback->setObjectName(QStringLiteral("btnRollback"));
    btnRollback->setEnabled(false);
    row->addWidget(cbDevConAllCh);
    row->addSpacing(20);
    row->addWidget(rbAdHocMode);
    row->addWidget(rbSetupMode);
    row->addWidget(btnCommit);
    row->addWidget(btnRollback);
    row->addStretch(1);
    box->addLayout(row);
    layout->addWidget(gbxControl, 1);
    return page;
}

QWidget* TOndrixMain::CreateLogPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tabLog"));
    auto* layout = new QVBoxLayout(page);
    lbLogTitle = TitleLabel(page, "lbLogTitle");
    lbLogText = NamedLabel(page, "lbLogText", true);
    layout->addWidget(lbLogTitle);
    layout->addWidget(lbLogText);
    mmLog = new QPlainTextEdit(page);
    mmLog->setObjectName(QStringLiteral("mmLog"));
    mmLog->setReadOnly(true);
    mmLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    // A bound on the log: the oldest lines go once it holds this many.
    mmLog->setMaximumBlockCount(100000);
    layout->addWidget(mmLog, 1);
    auto* buttons = new QHBoxLayout;
    btnLogSave = new QPushButton(page);
    btnLogSave->setObjectName(QStringLiteral("btnLogSave"));
    btnLogClear = new QPushButton(page);
    btnLogClear->setObjectName(QStringLiteral("btnLogClear"));
    buttons->addStretch(1);
    buttons->addWidget(btnLogSave);
    buttons->addWidget(btnLogClear);
    layout->addLayout(buttons);
    connect(btnLogSave, &QPushButton::clicked, this, [this] { btnLogSaveClick(); });
    connect(btnLogClear, &QPushButton::clicked, this, [this] { btnLogClearClick(); });
    return page;
}

void TOndrixMain::SetCompanionWindows(TDeviceStatusForm* deviceStatus, TChannelStatusForm* channelStatus,
                                      QDialog* channelOffset) {
    DeviceStatusForm = deviceStatus;
    ChannelStatusForm = channelStatus;
    ChannelOffsetForm = channelOffset;
    if (Channels) Channels->AttachCompanions();
    if (DeviceStatusForm != nullptr) {
        DeviceStatusForm->CanRefresh = [this] { return !Busy && Gate.IsOpen(); };
        DeviceStatusForm->StatusReport = [this] {
            std::string report;
            if (Translator) Translator->DeviceStatusReport(report);
            return report;
        };
    }
}

// ---- Life cycle ---------------------------------------------------------------------------

bool TOndrixMain::FormCreate(const TStartOptions& options) {
    // The single-instance guard was taken by the program entry before anything else.
    ExeFolder = FromQt(QCoreApplication::applicationDirPath());
    if (ExeFolder.empty() || ExeFolder.back() != '/') ExeFolder += '/';
    timMain->stop();
    FirstScanPending = true;
    SetupModified = Busy = AskingRescan = ReCheckRequest = false;
    ReCheckBase = LastReCheck = 0;
    SetLangOffset(LangEnglish);
    // The boxes an earlier window's end closed are shown again.
    ResumeMessageBoxes();

    std::string error;
    UserFolderOK = device::GetUserFolder(UserFolder, error);
    SetupFolder = UserFolder;
    DefaultSetupFile = UserFolder + "/DefaultSetup.xml";
    if (!UserFolderOK) {
        Messages().ShowMessage(kFolderInaccessible);
        return false;
    }
    SettingsFile = UserFolder + "/Ondrix.ini";
    SensorDatabaseFile = UserFolder + "/" + "TEDSinfo.bin";

    try {
        auto source = options.NetworkSource ? options.NetworkSource() : MakeSystemNetworkSource();
        NetworkInfo =
            TNetworkInfo::CreateWithWatch(true, TNetworkInfo::DefaultInterval, true, std::move(source));
        NetworkInfo->Refresh();

        Options.Interfaces = device::TInterfaceMask(0);
        SavedInterfaces = Options.Interfaces;
        Options.VirtDevices = 0;
        Options.VirtChannels = 0;
        Options.LANAddresses.clear();

        const device::TI2CTransportFactory factory =
            options.TransportFactory ? options.TransportFactory() : device::DefaultTransportFactory();
        Translator = std::make_unique<model::TI2CTranslator>(device::TInterfaceMask(0), false, factory);
        AssignTranslatorEvents();
        // Register dumps are produced but have no handler, so none reaches the log.
        Translator->RegisterDump = true;

        // A database that cannot be read is logged and shown once the window is; the program
        // starts with an empty one, and the file is protected from saving.
        if (!Translator->LoadSensorDatabase(SensorDatabaseFile))
            sensorDatabaseError_ = Translator->LastFileError;

        for (int i = 0; i < 5; ++i)
            ListGlyphs[i] = MainImage(kGlyphImages[i]);
        HistoryList.clear();

        // The channel list, its menus and the scan; the scan keeps its own idle pass.
        Channels = std::make_unique<TMainWindowChannels>(*this);

        const bool configServer = options.HaveArguments
                                      ? device::HasCommandLineSwitch("configServer", options.Arguments)
                                      : device::HasCommandLineSwitch("configServer");
        if (configServer) {
            ConfigServer = options.ConfigServerFactory ? options.ConfigServerFactory(*this)
                                                       : CreateConfigServerControl(*this);
            if (ConfigServer) ConfigServer->Activate("127.0.0.1", 8888, 2);
        }

        PowerEvents = new TPowerEvents(this);
        PowerEvents->OnPowerEvent = [this](int code) { return WMPowerBroadcast(code); };
        PowerEvents->Connect();
    } catch (const std::exception& e) {
        Messages().ShowMessage(std::string(kStartFailure) + e.what());
        return false;
    }
    return true;
}

void TOndrixMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TOndrixMain::FormShow() {
    timMain->start();
    pctMain->setCurrentWidget(tabMain);
    Action("actViewControl")->setEnabled(false);
    LoadSettings();
    ApplyLanguage();
    if (Translator) Translator->SetDebugLevel(Options.DebugLevel);

    const double now = Clock();
    AddLog(device::FormatDateTime(device::GetShortDateFormat() + " " + device::GetLongTimeFormat(), now));
    AddLog(std::string(kApplicationTitle) + " " + device::GetProgramVersion());
    if (Options.Interfaces.HasLAN() && NetworkInfo) {
        AddLog(device::Format("Winsocket Version: %s", NetworkInfo->WinsockVersion()));
        for (const auto& entry : NetworkInfo->IpMaskList())
            AddLog(device::Format("Network found: %s", entry));
    }
    AddLog("");
    if (!settingsError_.empty())
        AddLog(device::Format("[ERR] the settings file could not be read, the defaults are used: %s",
                              settingsError_));
    if (!sensorDatabaseError_.empty()) {
        AddLog("[ERR] " + sensorDatabaseError_);
        QMetaObject::invokeMethod(
            this, [this] { Messages().ShowMessage(sensorDatabaseError_); }, Qt::QueuedConnection);
    }
    setWindowTitle(QString::fromLatin1(kMainCaption));
    if (ChannelStatusForm != nullptr) ChannelStatusForm->Translator = Translator.get();
    timMain->start();
    FormResize();
    if (closeAfterShow_)
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
}

void TOndrixMain::Terminate() {
    // Nothing the user did not confirm reaches a device any more: no queued work, timer or scan
    // runs but the close, every write but the close's stop lock is refused, and every box and
    // dialog ends as cancelled.
    Gate.End();
    if (Translator && Translator->HAL) Translator->HAL->RefuseWrites();
    EndMessageBoxes();
    RequestClose();
}

void TOndrixMain::RequestClose() {
    if (!shown_) {
        closeAfterShow_ = true;
        return;
    }
    close();
}

void TOndrixMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TOndrixMain::FormResize() {
    try {
        stbPanels[1]->setFixedWidth(std::max(0, frameGeometry().width() - 215));
        const int listWidth = lbDevControl->width();
        int historyLeft = listWidth - 10;
        int x = listWidth - 33;
        if (lbDevControl->verticalScrollBar()->isVisibleTo(lbDevControl)) {
            const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lbDevControl);
            x -= bar;
            historyLeft -= bar;
        }
        imgHistory->move(historyLeft, 2);
        lbAllStats->move(historyLeft - 110, 0);
        OffsetColumnRight = x;
        OffsetColumnLeft = x - 63;
        SupplyColumnLeft = x - 127;
    } catch (...) {
        // The column bounds keep their old values.
    }
}

bool TOndrixMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lbDevControl->verticalScrollBar() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        FormResize();
    } else if (watched == lbDevControl && event->type() == QEvent::Resize) {
        FormResize();
    } else if (watched == lbWebLink && event->type() == QEvent::MouseButtonDblClick) {
        lbWebLinkDblClick();
        return true;
    } else if (watched == imgHistory && event->type() == QEvent::MouseButtonDblClick) {
        // The default item of the history menu, enabled as the menu's opening would enable it.
        miShowHistory->setEnabled(!HistoryList.empty());
        miShowHistory->trigger();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TOndrixMain::closeEvent(QCloseEvent* event) {
    if (Gate.IsHeld()) {
        // A scan or busy phase runs: the window closes once it has ended, before anything
        // else that waits, and no box on the way there waits for an answer.
        event->ignore();
        EndMessageBoxes();
        if (!closeQueued_) {
            closeQueued_ = true;
            Gate.RunFirstWhenOpen([this] {
                closeQueued_ = false;
                close();
            });
        }
        return;
    }
    if (!closing_) {
        closing_ = true;
        // The program ends: no queued scan or request runs any more.
        Gate.Shut();
        FormClose();
    }
    event->accept();
    // Closing the main window ends the application, whatever other windows are open.
    if (DeviceStatusForm != nullptr) DeviceStatusForm->hide();
    if (ChannelStatusForm != nullptr) ChannelStatusForm->hide();
    QCoreApplication::quit();
}

void TOndrixMain::FormClose() {
    try {
        // Settings that were never read are not written over the file.
        std::string error;
        if (settingsLoaded_) SaveSettings(error);
    } catch (...) {
    }
    try {
        if (Translator && settingsLoaded_) {
            // The one write a termination still lets through.
            std::optional<device::TI2CHAL::TWriteAllowance> allowed;
            if (Translator->HAL) allowed.emplace(*Translator->HAL);
            Translator->SetDeviceLock(Options.SWStopLock);
        }
    } catch (...) {
    }
}

void TOndrixMain::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    timMain->stop();
    // The server's connection threads use the translator: it stops first.
    try {
        if (ConfigServer) ConfigServer->Deactivate();
    } catch (...) {
    }
    try {
        for (auto& glyph : ListGlyphs)
            glyph = QPixmap();
        Channels.reset();
        HistoryList.clear();
        if (ChannelStatusForm != nullptr) ChannelStatusForm->Translator = nullptr;
        Translator.reset();
        NetworkInfo.reset();
    } catch (...) {
    }
    ConfigServer.reset();
}

int TOndrixMain::WMPowerBroadcast(int code) {
    switch (code) {
    case kPowerQuerySuspend:
    case kPowerQueryStandby:
    case kPowerSuspend:
    case kPowerStandby:
        if (Translator) {
            Gate.RunWhenOpen([this] {
                if (Translator) Translator->Disconnect();
                if (PowerEvents != nullptr) PowerEvents->ReleaseInhibitor();
            });
        } else if (PowerEvents != nullptr) {
            PowerEvents->ReleaseInhibitor();
        }
        return 1;
    case kPowerResumeCritical:
    case kPowerResumeSuspend:
    case kPowerResumeStandby:
        actRescanExecute();
        return 0;
    default:
        return 0;
    }
}

void TOndrixMain::lbWebLinkDblClick() {
    if (!QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePage))))
        Messages().ShowMessage(GetText(1039));
}

// ---- Scanning -------------------------------------------------------------------------------

void TOndrixMain::actRescanExecute() {
    if (!Translator) return;
    if (Channels)
        Channels->Scan().actRescanExecute();
    else
        Gate.RequestRescan();
}

void TOndrixMain::timMainTimer() {
    if (Channels) {
        Channels->Scan().timMainTimer();
        return;
    }
    if (FirstScanPending) {
        FirstScanPending = false;
        actRescanExecute();
    }
}

void TOndrixMain::FormIdle() {
    if (Channels) Channels->Scan().FormIdle();
}

bool TOndrixMain::ChannelsPresent() const {
    return Translator && Translator->ChannelCount() > 0;
}

// ---- Busy indication ----------------------------------------------------------------------

TOndrixMain::TBusyPhase::TBusyPhase(TOndrixMain& window, int headerId, int textId)
    : window_(window), guard_(window.Gate) {
    window_.BeginBusy();
    try {
        popup_ = std::make_unique<TBusyPopup>(GetText(headerId), GetText(textId), &window_);
    } catch (...) {
        // No destructor runs for a phase that did not start: end the busy state here.
        window_.EndBusy();
        throw;
    }
}

TOndrixMain::TBusyPhase::~TBusyPhase() {
    popup_.reset();
    window_.EndBusy();
}

bool TOndrixMain::RunLongOperation(int headerId, int textId, const std::function<bool()>& call) {
    TBusyPhase phase(*this, headerId, textId);
    device::MainLoop().Sleep(100);
    QCoreApplication::processEvents();
    // A termination in the pending events: the operation does not start.
    if (Gate.IsEnding()) return false;
    return call();
}

void TOndrixMain::BeginBusy() {
    mnbMain->setEnabled(false);
    atbMain->setEnabled(false);
    pctMain->setEnabled(false);
    for (const char* name : {"actNewScan", "actRescan", "actTedsInfo", "actDefaultSetup", "actLoadSetup",
                             "actSaveSetup", "actrefresh", "actSaveDevConfig", "actClearDevConfig",
                             "actTurnOff", "actDevLock", "actDevUnlock", "actDevInformation", "actDevStatus"})
        SetCommandEnabled(name, false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TOndrixMain::EndBusy() {
    mnbMain->setEnabled(true);
    atbMain->setEnabled(true);
    pctMain->setEnabled(true);
    for (const char* name : {"actNewScan", "actRescan", "actTedsInfo"})
        SetCommandEnabled(name, true);
    const bool channels = ChannelsPresent();
    for (const char* name :
         {"actSaveSetup", "actLoadSetup", "actrefresh", "actDefaultSetup", "actSaveDevConfig",
          "actClearDevConfig", "actTurnOff", "actDevInformation", "actDevStatus"})
        SetCommandEnabled(name, channels);
    const bool locked = Translator && Translator->DeviceLocked;
    SetCommandEnabled("actDevLock", channels && !locked);
    SetCommandEnabled("actDevUnlock", channels && locked);
    QApplication::restoreOverrideCursor();
    activateWindow();
}

} // namespace qrb::ui
