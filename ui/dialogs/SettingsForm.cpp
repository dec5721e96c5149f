#include "ui/dialogs/SettingsForm.h"

#include "device/Format.h"
#include "device/MainLoop.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawMaster.h"
#include "ui/dialogs/DeviceSetupForms.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/ModalRunner.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/dialogs/TitleLabel.h"
#include "ui/platform/FirmwareLibrary.h"
#include "ui/platform/Scopes.h"
#include "ui/settings/ColorValues.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <initializer_list>

namespace qrb::ui {

namespace {

constexpr int32_t kMoneyGreen = 0xC0DCC0;
constexpr int32_t kPaleRed = 0x7F7FFF;
constexpr int32_t kInfoBk = static_cast<int32_t>(0xFF000018u);
constexpr int32_t kWindow = static_cast<int32_t>(0xFF000005u);

QString Text(int id) {
    return ToQt(GetText(id));
}

struct TNamedColor {
    const char* Name;
    uint32_t Value;
};
// The colour box's list: standard, extended and system colours.
// clang-format off
constexpr TNamedColor kNamedColors[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000}, {"clPurple", 0x800080}, {"clTeal", 0x808000}, {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF}, {"clLime", 0x00FF00}, {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0},
    {"clActiveBorder", 0xFF00000A}, {"clActiveCaption", 0xFF000002}, {"clAppWorkSpace", 0xFF00000C},
    {"clBackground", 0xFF000001}, {"clBtnFace", 0xFF00000F}, {"clBtnHighlight", 0xFF000014},
    {"clBtnShadow", 0xFF000010}, {"clBtnText", 0xFF000012}, {"clCaptionText", 0xFF000009},
    {"clDefault", 0x20000000}, {"clGradientActiveCaption", 0xFF00001B},
    {"clGradientInactiveCaption", 0xFF00001C}, {"clGrayText", 0xFF000011}, {"clHighlight", 0xFF00000D},
    {"clHighlightText", 0xFF00000E}, {"clHotLight", 0xFF00001A}, {"clInactiveBorder", 0xFF00000B},
    {"clInactiveCaption", 0xFF000003}, {"clInactiveCaptionText", 0xFF000013}, {"clInfoBk", 0xFF000018},
    {"clInfoText", 0xFF000017}, {"clMenu", 0xFF000004}, {"clMenuBar", 0xFF00001E},
    {"clMenuHighlight", 0xFF00001D}, {"clMenuText", 0xFF000007}, {"clNone", 0x1FFFFFFF},
    {"clScrollBar", 0xFF000000}, {"cl3DDkShadow", 0xFF000015}, {"cl3DLight", 0xFF000016},
    {"clWindow", 0xFF000005}, {"clWindowFrame", 0xFF000006}, {"clWindowText", 0xFF000008},
};
// clang-format on

QIcon Swatch(int32_t value, const QPalette& palette) {
    QPixmap pixmap(16, 12);
    pixmap.fill(ColorFromValue(value, palette));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 15, 11);
    return QIcon(pixmap);
}

// Rows drawn with a background by index: the combos' items and the LAN address list.
class TRowDelegate : public QStyledItemDelegate {
public:
    using TBackground = std::function<int32_t(int row)>;
    TRowDelegate(QObject* parent, TBackground background)
        : QStyledItemDelegate(parent), background_(background) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QPalette& palette = option.palette;
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->save();
        painter->fillRect(option.rect, selected ? palette.color(QPalette::Highlight)
                                                : ColorFromValue(background_(index.row()), palette));
        painter->setPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text));
        painter->drawText(option.rect.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }

private:
    TBackground background_;
};

// A LAN address row: the picture, then address and port in an 8-point font.
class TAddressDelegate : public QStyledItemDelegate {
public:
    explicit TAddressDelegate(QListWidget* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QPalette& palette = option.palette;
        const QRect r = option.rect;
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->save();
        painter->fillRect(r, selected
                                 ? palette.color(QPalette::Highlight)
                                 : ColorFromValue(index.row() % 2 != 0 ? kWindow : kMoneyGreen, palette));
        QColor text = palette.color(QPalette::Text);
        if (selected) text = palette.color(QPalette::HighlightedText);
        if (!list_->isEnabled()) text = palette.color(QPalette::Inactive, QPalette::WindowText);
        painter->drawPixmap(r.left() + 2, r.top() + 1, SetupDeviceImage());
        QFont font = painter->font();
        font.setPixelSize(11); // 8 points at 96 dpi
        painter->setFont(font);
        painter->setPen(text);
        const QString row = index.data(Qt::DisplayRole).toString();
        const qsizetype colon = row.indexOf(QLatin1Char(':'));
        const QString address = colon < 0 ? row : row.left(colon);
        const QString port = colon < 0 ? QString() : row.mid(colon + 1);
        const QFontMetrics metrics(font);
        painter->drawText(r.left() + 23, r.top() + 1 + metrics.ascent(), address);
        painter->drawText(r.left() + 130, r.top() + 1 + metrics.ascent(),
                          ShortenPortText(metrics, port, r.width() - 145));
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), 18));
        return size;
    }

private:
    QListWidget* list_;
};

// The widgets one after another on one line of layout, the rest of the line empty.
void AddRow(QVBoxLayout* layout, std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    for (QWidget* w : widgets)
        row->addWidget(w);
    row->addStretch(1);
    layout->addLayout(row);
}

// The widgets one under another, the rest of the page empty.
void AddColumn(QVBoxLayout* layout, std::initializer_list<QWidget*> widgets) {
    for (QWidget* w : widgets)
        layout->addWidget(w);
}

QCheckBox* Check(QWidget* parent, const char* name) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QLabel* Label(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QComboBox* Combo(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

QPushButton* Button(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QSpinBox* Spin(QWidget* parent, const char* name, int min, int max, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(min, max);
    spin->setValue(value);
    return spin;
}

QWidget* Page(QTabWidget* tabs, const char* name) {
    auto* page = new QWidget(tabs);
    page->setObjectName(QString::fromLatin1(name));
    tabs->addTab(page, QString());
    return page;
}

int LockIndex(bool locked) {
    return locked ? 1 : 0;
}

// Sorted lists compare ASCII without regard to case.
bool LessNoCase(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

} // namespace

QPixmap SetupDeviceImage() {
    static const QPixmap pixmap = [] {
        QPixmap p(16, 16);
        p.fill(Qt::transparent);
        QPainter painter(&p);
        painter.setPen(QColor(40, 40, 40));
        painter.setBrush(QColor(70, 110, 170));
        painter.drawRect(1, 4, 13, 8);
        painter.setBrush(QColor(120, 220, 120));
        painter.drawRect(3, 6, 2, 2);
        painter.drawLine(7, 12, 7, 15);
        return p;
    }();
    return pixmap;
}

QString ShortenPortText(const QFontMetrics& metrics, const QString& port, int available) {
    if (metrics.horizontalAdvance(port) <= available) return port;
    QString text = port;
    const QString dots = QStringLiteral("...");
    while (!text.isEmpty() && metrics.horizontalAdvance(text + dots) > available)
        text.chop(1);
    return text + dots;
}

std::string CommaText(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ',';
        const std::string& item = items[i];
        const bool quote = item.empty() ? false : std::any_of(item.begin(), item.end(), [](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"';
        });
        if (!quote) {
            out += item;
            continue;
        }
        out += '"';
        for (char c : item) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

// ---- Colour box ------------------------------------------------------------------------------

TColorBox::TColorBox(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Fill();
}

void TColorBox::Fill() {
    const int32_t keep = count() > 0 ? Selected() : 0;
    const bool hadItems = count() > 0;
    clear();
    for (const TNamedColor& c : kNamedColors) {
        QString name = QString::fromLatin1(c.Name);
        if (pretty_) name = name.mid(2);
        addItem(Swatch(static_cast<int32_t>(c.Value), palette()), name, static_cast<int>(c.Value));
    }
    if (hasCustom_)
        addItem(Swatch(custom_, palette()),
                QStringLiteral("$%1").arg(static_cast<uint32_t>(custom_), 8, 16, QLatin1Char('0')).toUpper(),
                custom_);
    if (hadItems) SetSelected(keep);
}

void TColorBox::SetPrettyNames(bool pretty) {
    if (pretty_ == pretty) return;
    pretty_ = pretty;
    Fill();
}

void TColorBox::SetSelected(int32_t value) {
    int index = findData(static_cast<int>(value));
    if (index < 0) {
        hasCustom_ = true;
        custom_ = value;
        Fill();
        index = findData(static_cast<int>(value));
    }
    setCurrentIndex(index);
}

int32_t TColorBox::Selected() const {
    return static_cast<int32_t>(currentData().toInt());
}

// ---- New LAN address -----------------------------------------------------------------------

TAddLANAddressForm::TAddLANAddressForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AddLANAddressForm"));
    lbLANHeader = Label(this, "lbLANHeader");
    QFont bold = lbLANHeader->font();
    bold.setBold(true);
    lbLANHeader->setFont(bold);
    lbLANText = Label(this, "lbLANText");
    lbLANText->setWordWrap(true);
    lbIPAddress = Label(this, "lbIPAddress");
    lbPort = Label(this, "lbPort");
    lbPort->setText(QStringLiteral("Port:"));
    lbPortHint = Label(this, "lbPortHint");
    lbPortHint->setText(QStringLiteral("Default: 15000"));
    lbSubnet = Label(this, "lbSubnet");
    lbSubnet->setText(Text(1866));
    seLANadr1 = Spin(this, "seLANadr1", 0, 255, 192);
    seLANadr2 = Spin(this, "seLANadr2", 0, 255, 168);
    seLANadr3 = Spin(this, "seLANadr3", 0, 255, 0);
    seLANadr4 = Spin(this, "seLANadr4", 0, 255, 1);
    seLANport = Spin(this, "seLANport", 0, 65535, 15000);
    seLANport->setEnabled(false);
    seMask1 = Spin(this, "seMask1", 0, 255, 255);
    seMask2 = Spin(this, "seMask2", 0, 255, 255);
    seMask3 = Spin(this, "seMask3", 0, 255, 255);
    seMask4 = Spin(this, "seMask4", 0, 255, 0);
    btnApplyLAN = Button(this, "btnApplyLAN");
    btnApplyLAN->setDefault(true);
    btnApplyLAN->setEnabled(false);
    btnCancelLAN = Button(this, "btnCancelLAN");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbLANHeader);
    layout->addWidget(lbLANText);
    auto* grid = new QGridLayout;
    grid->addWidget(lbIPAddress, 0, 0);
    int column = 1;
    for (QSpinBox* spin : {seLANadr1, seLANadr2, seLANadr3, seLANadr4})
        grid->addWidget(spin, 0, column++);
    grid->addWidget(lbSubnet, 1, 0);
    column = 1;
    for (QSpinBox* spin : {seMask1, seMask2, seMask3, seMask4})
        grid->addWidget(spin, 1, column++);
    grid->addWidget(lbPort, 2, 0);
    grid->addWidget(seLANport, 2, 1, 1, 2);
    grid->addWidget(lbPortHint, 2, 3, 1, 2);
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnApplyLAN);
    buttons->addWidget(btnCancelLAN);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QSpinBox* spin :
         {seLANadr1, seLANadr2, seLANadr3, seLANadr4, seLANport, seMask1, seMask2, seMask3, seMask4})
        connect(spin, &QSpinBox::valueChanged, this, [this] { btnApplyLAN->setEnabled(true); });
    connect(btnApplyLAN, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancelLAN, &QPushButton::clicked, this, &QDialog::reject);
}

void TAddLANAddressForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    btnCancelLAN->setFocus();
}

void TAddLANAddressForm::SetMaskEnabled(bool enabled) {
    for (QSpinBox* spin : {seMask1, seMask2, seMask3, seMask4})
        spin->setEnabled(enabled);
}

void TAddLANAddressForm::SetAddress(uint32_t address) {
    const QSignalBlocker b1(seLANadr1), b2(seLANadr2), b3(seLANadr3), b4(seLANadr4);
    seLANadr1->setValue(static_cast<int>(address & 0xFF));
    seLANadr2->setValue(static_cast<int>((address >> 8) & 0xFF));
    seLANadr3->setValue(static_cast<int>((address >> 16) & 0xFF));
    seLANadr4->setValue(static_cast<int>(address >> 24));
}

std::string TAddLANAddressForm::AddressOnly() const {
    return device::Format("%d.%d.%d.%d",
                          {seLANadr1->value(), seLANadr2->value(), seLANadr3->value(), seLANadr4->value()});
}

std::string TAddLANAddressForm::AddressText() const {
    return device::Format("%d.%d.%d.%d:%d", {seLANadr1->value(), seLANadr2->value(), seLANadr3->value(),
                                             seLANadr4->value(), seLANport->value()});
}

std::string TAddLANAddressForm::MaskText() const {
    return device::Format("%d.%d.%d.%d",
                          {seMask1->value(), seMask2->value(), seMask3->value(), seMask4->value()});
}

// ---- Settings dialog -----------------------------------------------------------------------

TSettingsForm::TSettingsForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SettingsForm"));
    lbMainTitle = TitleLabel(this, "lbMainTitle");
    lbTopic1Text = Label(this, "lbTopic1Text");
    lbTopic1Text->setWordWrap(true);
    pcSettings = new QTabWidget(this);
    pcSettings->setObjectName(QStringLiteral("pcSettings"));
    // Every page tab stays in view, in both languages.
    pcSettings->setUsesScrollButtons(false);
    pcSettings->setElideMode(Qt::ElideNone);
    tabDevices = Page(pcSettings, "tabDevices");
    tabDisplay = Page(pcSettings, "tabDisplay");
    tabConfirm = Page(pcSettings, "tabConfirm");
    tabConfig = Page(pcSettings, "tabConfig");
    tabTEDS = Page(pcSettings, "tabTEDS");
    tabExtended = Page(pcSettings, "tabExtended");
    tabColors = Page(pcSettings, "tabColors");
    tabAutoZero = Page(pcSettings, "tabAutoZero");

    // Devices
    {
        auto* layout = new QVBoxLayout(tabDevices);
        cbUSB = Check(tabDevices, "cbUSB");
        cbLAN = Check(tabDevices, "cbLAN");
        AddRow(layout, {cbUSB, cbLAN});
        gbUSB = new QGroupBox(tabDevices);
        gbUSB->setObjectName(QStringLiteral("gbUSB"));
        auto* usb = new QVBoxLayout(gbUSB);
        lbUSBText = Label(gbUSB, "lbUSBText");
        lbUSBText->setWordWrap(true);
        lbUSB = new QListWidget(gbUSB);
        lbUSB->setObjectName(QStringLiteral("lbUSB"));
        lbUSB->setMinimumHeight(60);
        btnUSBSetup = Button(gbUSB, "btnUSBSetup");
        btnUSBSetup->setText(QStringLiteral("USB Setup ..."));
        usb->addWidget(lbUSBText);
        usb->addWidget(lbUSB);
        auto* usbButtons = new QHBoxLayout;
        usbButtons->addStretch(1);
        usbButtons->addWidget(btnUSBSetup);
        usb->addLayout(usbButtons);
        gbLAN = new QGroupBox(tabDevices);
        gbLAN->setObjectName(QStringLiteral("gbLAN"));
        auto* lan = new QGridLayout(gbLAN);
        lbLANText = Label(gbLAN, "lbLANText");
        lbLANText->setWordWrap(true);
        lb_lanaddress = new QListWidget(gbLAN);
        lb_lanaddress->setObjectName(QStringLiteral("lb_lanaddress"));
        lb_lanaddress->setSelectionMode(QAbstractItemView::ExtendedSelection);
        lb_lanaddress->setItemDelegate(new TAddressDelegate(lb_lanaddress));
        lb_lanaddress->setMinimumHeight(80);
        btnIntfAdd = Button(gbLAN, "btnIntfAdd");
        btnIntfAdd->setText(QStringLiteral("+"));
        btnIntfDel = Button(gbLAN, "btnIntfDel");
        btnIntfDel->setText(QStringLiteral("-"));
        btnIntfDel->setEnabled(false);
        btnLANSetup = Button(gbLAN, "btnLANSetup");
        btnLANSetup->setText(QStringLiteral("LAN Setup ..."));
        lan->addWidget(lbLANText, 0, 0, 1, 2);
        lan->addWidget(lb_lanaddress, 1, 0, 4, 1);
        lan->addWidget(btnIntfAdd, 1, 1);
        lan->addWidget(btnIntfDel, 2, 1);
        lan->addWidget(btnLANSetup, 4, 1);
        lan->setRowStretch(3, 1);
        layout->addWidget(gbUSB);
        layout->addWidget(gbLAN);
        layout->addStretch(1);
    }
    // Display
    {
        auto* layout = new QVBoxLayout(tabDisplay);
        lbRangeMode = Label(tabDisplay, "lbRangeMode");
        cbRangeMode = Combo(tabDisplay, "cbRangeMode");
        cbRangeMode->setItemDelegate(
            new TRowDelegate(cbRangeMode, [](int row) { return row == 1 ? kInfoBk : kMoneyGreen; }));
        AddRow(layout, {lbRangeMode, cbRangeMode});
        cbKeepADC8quiet = Check(tabDisplay, "cbKeepADC8quiet");
        cbDebugLevel = Check(tabDisplay, "cbDebugLevel");
        cbClearHistOnConfig = Check(tabDisplay, "cbClearHistOnConfig");
        cbUseDevNames = Check(tabDisplay, "cbUseDevNames");
        AddColumn(layout, {cbKeepADC8quiet, cbDebugLevel, cbClearHistOnConfig, cbUseDevNames});
        gbxSensor = new QGroupBox(tabDisplay);
        gbxSensor->setObjectName(QStringLiteral("gbxSensor"));
        auto* locks = new QGridLayout(gbxSensor);
        lbSWStartLock = Label(gbxSensor, "lbSWStartLock");
        lbSWStopLock = Label(gbxSensor, "lbSWStopLock");
        lbHWStartLock = Label(gbxSensor, "lbHWStartLock");
        cbSWStartLock = Combo(gbxSensor, "cbSWStartLock");
        cbSWStopLock = Combo(gbxSensor, "cbSWStopLock");
        cbHWStartLock = Combo(gbxSensor, "cbHWStartLock");
        locks->addWidget(lbSWStartLock, 0, 0);
        locks->addWidget(cbSWStartLock, 0, 1);
        locks->addWidget(lbSWStopLock, 1, 0);
        locks->addWidget(cbSWStopLock, 1, 1);
        locks->addWidget(lbHWStartLock, 2, 0);
        locks->addWidget(cbHWStartLock, 2, 1);
        locks->setColumnStretch(2, 1);
        layout->addWidget(gbxSensor);
        layout->addStretch(1);
    }
    // Confirmations
    {
        auto* layout = new QVBoxLayout(tabConfirm);
        cbAskOnCurrent = Check(tabConfirm, "cbAskOnCurrent");
        cbAskOnTEDSCheck = Check(tabConfirm, "cbAskOnTEDSCheck");
        cbAskOnUDMSCheck = Check(tabConfirm, "cbAskOnUDMSCheck");
        cbAskOnTempCheck = Check(tabConfirm, "cbAskOnTempCheck");
        cbAskOnRescan = Check(tabConfirm, "cbAskOnRescan");
        cbAskOnTurnOff = Check(tabConfirm, "cbAskOnTurnOff");
        AddColumn(layout, {cbAskOnCurrent, cbAskOnTEDSCheck, cbAskOnUDMSCheck, cbAskOnTempCheck,
                           cbAskOnRescan, cbAskOnTurnOff});
        layout->addStretch(1);
    }
    // Settings
    {
        auto* layout = new QVBoxLayout(tabConfig);
        cbAskOnSaveDevConfig = Check(tabConfig, "cbAskOnSaveDevConfig");
        cbAskOninitDevConfig = Check(tabConfig, "cbAskOninitDevConfig");
        cbAskSaveonChange = Check(tabConfig, "cbAskSaveonChange");
        cbAskOnDefault = Check(tabConfig, "cbAskOnDefault");
        lbSaveConfig = Label(tabConfig, "lbSaveConfig");
        cbSaveAsText = Check(tabConfig, "cbSaveAsText");
        cbSaveAsXLS = Check(tabConfig, "cbSaveAsXLS");
        cbWarnOnSetupDiff = Check(tabConfig, "cbWarnOnSetupDiff");
        cbWarnOnSerNoDiff = Check(tabConfig, "cbWarnOnSerNoDiff");
        cbUseDefaultSetup = Check(tabConfig, "cbUseDefaultSetup");
        AddColumn(layout, {cbAskOnSaveDevConfig, cbAskOninitDevConfig, cbAskSaveonChange, cbAskOnDefault,
                           lbSaveConfig, cbSaveAsText, cbSaveAsXLS, cbWarnOnSetupDiff, cbWarnOnSerNoDiff,
                           cbUseDefaultSetup});
        layout->addStretch(1);
    }
    // TEDS
    {
        auto* layout = new QVBoxLayout(tabTEDS);
        cbAskForNewTEDS = Check(tabTEDS, "cbAskForNewTEDS");
        cbAutoTEDSConfig = Check(tabTEDS, "cbAutoTEDSConfig");
        AddColumn(layout, {cbAskForNewTEDS, cbAutoTEDSConfig});
        layout->addStretch(1);
    }
    // Extended
    {
        auto* layout = new QVBoxLayout(tabExtended);
        lbFanControl = Label(tabExtended, "lbFanControl");
        cbFanControl = Combo(tabExtended, "cbFanControl");
        for (int i = 0; i < 5; ++i)
            cbFanControl->addItem(QString());
        cbFanControl->setItemDelegate(new TRowDelegate(
            cbFanControl, [](int row) { return row <= 1 ? kMoneyGreen : (row <= 3 ? kInfoBk : kPaleRed); }));
        AddRow(layout, {lbFanControl, cbFanControl});
        cbRescanAfterDown = Check(tabExtended, "cbRescanAfterDown");
        cbChannelDisable = Check(tabExtended, "cbChannelDisable");
        cbTimedReCheck = Check(tabExtended, "cbTimedReCheck");
        seTimedReCheckIntv = Spin(tabExtended, "seTimedReCheckIntv", 1, 60, 10);
        lbSeconds = Label(tabExtended, "lbSeconds");
        cbExtendedRanges = Check(tabExtended, "cbExtendedRanges");
        cbOfflineCheck = Check(tabExtended, "cbOfflineCheck");
        AddColumn(layout, {cbRescanAfterDown, cbChannelDisable});
        AddRow(layout, {cbTimedReCheck, seTimedReCheckIntv, lbSeconds});
        AddColumn(layout, {cbExtendedRanges, cbOfflineCheck});
        layout->addStretch(1);
    }
    // Colors
    {
        auto* layout = new QGridLayout(tabColors);
        const std::array<std::pair<QLabel**, const char*>, 6> labels = {
            std::pair{&lbControlBGsel, "lbControlBGsel"}, std::pair{&lbControlBGnor, "lbControlBGnor"},
            std::pair{&lbControlFG, "lbControlFG"},       std::pair{&lbControlCN, "lbControlCN"},
            std::pair{&lbControlText, "lbControlText"},   std::pair{&lbControlSelect, "lbControlSelect"}};
        const std::array<std::pair<TColorBox**, const char*>, 6> boxes = {
            std::pair{&cbControlBGsel, "cbControlBGsel"}, std::pair{&cbControlBGnor, "cbControlBGnor"},
            std::pair{&cbControlFG, "cbControlFG"},       std::pair{&cbControlCN, "cbControlCN"},
            std::pair{&cbControlText, "cbControlText"},   std::pair{&cbControlSelect, "cbControlSelect"}};
        for (int i = 0; i < 6; ++i) {
            *labels[i].first = Label(tabColors, labels[i].second);
            *boxes[i].first = new TColorBox(tabColors);
            (*boxes[i].first)->setObjectName(QString::fromLatin1(boxes[i].second));
            layout->addWidget(*labels[i].first, i, 0);
            layout->addWidget(*boxes[i].first, i, 1);
        }
        btnresetColors = Button(tabColors, "btnresetColors");
        layout->addWidget(btnresetColors, 6, 1);
        layout->setColumnStretch(2, 1);
        layout->setRowStretch(7, 1);
    }
    // Autozero
    {
        auto* layout = new QHBoxLayout(tabAutoZero);
        lbZeroAverage = Label(tabAutoZero, "lbZeroAverage");
        cbZeroAverage = Combo(tabAutoZero, "cbZeroAverage");
        cbZeroAverage->addItem(QString());
        cbZeroAverage->addItem(QString());
        cbZeroAverage->setItemDelegate(
            new TRowDelegate(cbZeroAverage, [](int row) { return row % 2 != 0 ? kMoneyGreen : kWindow; }));
        layout->addWidget(lbZeroAverage, 0, Qt::AlignTop);
        layout->addWidget(cbZeroAverage, 0, Qt::AlignTop);
        layout->addStretch(1);
    }

    btnOK = Button(this, "btnOK");
    btnOK->setDefault(true);
    btnCancel = Button(this, "btnCancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbMainTitle);
    layout->addWidget(lbTopic1Text);
    layout->addWidget(pcSettings, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(cbUSB, &QCheckBox::clicked, this, [this] { cbUSBClick(); });
    connect(cbLAN, &QCheckBox::clicked, this, [this] { cbUSBClick(); });
    for (QCheckBox* box : {cbTimedReCheck, cbKeepADC8quiet, cbExtendedRanges, cbOfflineCheck})
        connect(box, &QCheckBox::clicked, this, [this] { cbTimedReCheckClick(); });
    connect(lb_lanaddress, &QListWidget::itemSelectionChanged, this, [this] { lb_lanaddressClick(); });
    connect(btnIntfAdd, &QPushButton::clicked, this, [this] { btnIntfAddClick(); });
    connect(btnIntfDel, &QPushButton::clicked, this, [this] { btnIntfDelClick(); });
    connect(btnUSBSetup, &QPushButton::clicked, this, [this] { btnUSBSetupClick(); });
    connect(btnLANSetup, &QPushButton::clicked, this, [this] { btnLANSetupClick(); });
    connect(btnresetColors, &QPushButton::clicked, this, [this] { btnresetColorsClick(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // FormCreate
    DevicesChanged = false;
    pcSettings->setCurrentIndex(0);
    setWindowTitle(Text(45));
    lbSWStartLock->setText(Text(1853));
    lbSWStopLock->setText(Text(1854));
    lbHWStartLock->setText(Text(1855));
    lbUSBText->setText(Text(1899));
    cbUSB->setText(Text(1859));
    cbLAN->setText(Text(1860));
    gbxSensor->setTitle(Text(1858));
    for (QComboBox* box : {cbSWStartLock, cbSWStopLock, cbHWStartLock}) {
        box->clear();
        box->addItem(Text(1856));
        box->addItem(Text(1857));
    }
    cbChannelDisable->setVisible(false);
    cbUSB->setEnabled(true);
    FWLibLoaded = LoadFWLibrary();
    if (!FWLibLoaded && FWLibErrorToShow()) Messages().ShowWarning(FWLibLastError());
    btnUSBSetup->setEnabled(FWLibLoaded);
    btnLANSetup->setEnabled(FWLibLoaded);
}

TSettingsForm::~TSettingsForm() {
    if (FWLibLoaded) UnloadFWLibrary();
}

void TSettingsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TSettingsForm::FormShow() {
    const bool german = LangOffset() == LangGerman;
    for (TColorBox* box :
         {cbControlBGsel, cbControlBGnor, cbControlFG, cbControlCN, cbControlText, cbControlSelect})
        box->SetPrettyNames(german);

    lbMainTitle->setText(Text(1800));
    lbTopic1Text->setText(Text(1801));
    const std::array<std::pair<QWidget*, int>, 8> pages = {
        std::pair{tabDevices, 1851}, std::pair{tabDisplay, 1838}, std::pair{tabConfirm, 1802},
        std::pair{tabConfig, 1843},  std::pair{tabTEDS, 0},       std::pair{tabExtended, 1803},
        std::pair{tabColors, 1884},  std::pair{tabAutoZero, 1891}};
    for (const auto& [page, id] : pages)
        pcSettings->setTabText(pcSettings->indexOf(page), id == 0 ? QStringLiteral(" TEDS ") : Text(id));
    btnOK->setText(Text(452));
    btnCancel->setText(Text(453));
    lbLANText->setText(Text(1852));
    lbRangeMode->setText(Text(1839));
    // clang-format off
    const std::array<std::pair<QCheckBox*, int>, 27> checks = {{
        {cbKeepADC8quiet, 1837}, {cbDebugLevel, 1827}, {cbClearHistOnConfig, 1824}, {cbUseDevNames, 1895},
        {cbAskOnCurrent, 1806}, {cbAskOnTEDSCheck, 1809}, {cbAskOnUDMSCheck, 1810}, {cbAskOnTempCheck, 1811},
        {cbAskOnRescan, 1804}, {cbAskOnTurnOff, 1805}, {cbAskOnSaveDevConfig, 1807},
        {cbAskOninitDevConfig, 1808}, {cbAskSaveonChange, 1826}, {cbAskOnDefault, 1825},
        {cbSaveAsText, 1845}, {cbSaveAsXLS, 1846}, {cbWarnOnSetupDiff, 1896}, {cbWarnOnSerNoDiff, 1897},
        {cbUseDefaultSetup, 1898}, {cbAskForNewTEDS, 1813}, {cbAutoTEDSConfig, 1814},
        {cbRescanAfterDown, 1812}, {cbChannelDisable, 1832}, {cbTimedReCheck, 1833},
        {cbExtendedRanges, 1836}, {cbOfflineCheck, 1848}, {cbUSB, 1859},
    }};
    const std::array<std::pair<QLabel*, int>, 10> labels = {{
        {lbSaveConfig, 1844}, {lbFanControl, 1815}, {lbSeconds, 1834}, {lbControlBGsel, 1885},
        {lbControlBGnor, 1886}, {lbControlFG, 1887}, {lbControlCN, 1888}, {lbControlText, 1889},
        {lbControlSelect, 1890}, {lbZeroAverage, 612},
    }};
    // clang-format on
    for (const auto& [box, id] : checks)
        box->setText(Text(id));
    cbLAN->setText(Text(1860));
    for (const auto& [label, id] : labels)
        label->setText(Text(id));
    btnresetColors->setText(Text(466));

    for (int i = 0; i < 5; ++i)
        cbFanControl->setItemText(i, Text(1816 + i));
    cbZeroAverage->setItemText(0, Text(613));
    cbZeroAverage->setItemText(1, Text(614));
    cbRangeMode->clear();
    for (int id : {1840, 1841, 1842})
        cbRangeMode->addItem(Text(id));

    auto select = [](QComboBox* box, int index) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    select(cbZeroAverage, ZeroAverageIndex);
    select(cbRangeMode, RangeModeIndex);
    select(cbFanControl, FanIndex);

    cbUSBClick();
    cbTimedReCheckClick();
    ShownLANList = LANCommaText();
}

void TSettingsForm::LoadOptions(const TSettings& s, const std::vector<std::string>& lanAddresses) {
    cbUSB->setChecked(s.Interfaces.HasUSB());
    cbLAN->setChecked(s.Interfaces.HasLAN());
    lb_lanaddress->clear();
    for (const std::string& address : lanAddresses) {
        // The list sorts what it is given; a stored duplicate stays.
        const QString text = ToQt(address);
        int row = 0;
        while (row < lb_lanaddress->count() && !LessNoCase(text, lb_lanaddress->item(row)->text()))
            ++row;
        lb_lanaddress->insertItem(row, text);
    }
    RangeModeIndex = s.RangeMode;
    cbKeepADC8quiet->setChecked(!s.KeepADC8Quiet);
    cbDebugLevel->setChecked(s.DebugLevel > 0);
    cbClearHistOnConfig->setChecked(s.ClearHistoryOnConfig);
    cbSWStartLock->setCurrentIndex(LockIndex(s.SWStartLock));
    cbSWStopLock->setCurrentIndex(LockIndex(s.SWStopLock));
    cbHWStartLock->setCurrentIndex(LockIndex(s.HWStartLock));
    cbUseDevNames->setChecked(s.UseDeviceNames);
    cbAskOnCurrent->setChecked(s.AskOnCurrent);
    cbAskOnTEDSCheck->setChecked(s.AskOnTEDSCheck);
    cbAskOnUDMSCheck->setChecked(s.AskOnUDMSCheck);
    cbAskOnTempCheck->setChecked(s.AskOnTEMPCheck);
    cbAskOnRescan->setChecked(s.ConfirmRescan);
    cbAskOnTurnOff->setChecked(s.ConfirmTurnOff);
    cbAskOnSaveDevConfig->setChecked(s.AskOnSaveDevConfig);
    cbAskOninitDevConfig->setChecked(s.AskOnInitDevConfig);
    cbAskSaveonChange->setChecked(s.AskSaveonChange);
    cbAskOnDefault->setChecked(s.AskOnDefault);
    cbSaveAsText->setChecked(s.SaveConfAsText);
    cbSaveAsXLS->setChecked(s.SaveConfAsXLS);
    cbWarnOnSetupDiff->setChecked(s.DiffSetupWarning);
    cbWarnOnSerNoDiff->setChecked(s.DiffSerNoWarning);
    cbUseDefaultSetup->setChecked(s.UseDefaultSetup);
    cbAskForNewTEDS->setChecked(s.AskForNewTEDS);
    cbAutoTEDSConfig->setChecked(s.AutoTEDSConfig);
    FanIndex = s.FanSpeed;
    cbRescanAfterDown->setChecked(s.RescanAfterDown);
    cbChannelDisable->setChecked(s.ChannelDisable);
    cbTimedReCheck->setChecked(s.TimedReCheck);
    seTimedReCheckIntv->setValue(s.TimedReCheckIntv / 1000);
    cbExtendedRanges->setChecked(s.UseExtendedRanges);
    cbOfflineCheck->setChecked(s.OfflineCheck);
    cbControlBGsel->SetSelected(s.ControlBackgroundsel);
    cbControlBGnor->SetSelected(s.ControlBackgroundnor);
    cbControlFG->SetSelected(s.ControlForeground);
    cbControlCN->SetSelected(s.ControlChannelName);
    cbControlText->SetSelected(s.ControlText);
    cbControlSelect->SetSelected(s.ControlSelect);
    ZeroAverageIndex = (s.ZeroAverage - 1) / 2;
}

void TSettingsForm::StoreOptions(TSettings& s) const {
    uint16_t interfaces = 0;
    if (cbUSB->isChecked()) interfaces |= device::TInterfaceMask::imUSB;
    if (cbLAN->isChecked()) interfaces |= device::TInterfaceMask::imLAN;
    s.Interfaces = device::TInterfaceMask(interfaces);
    s.LANAddresses = LANCommaText();
    s.RangeMode = cbRangeMode->currentIndex();
    s.KeepADC8Quiet = !cbKeepADC8quiet->isChecked();
    s.DebugLevel = cbDebugLevel->isChecked() ? 1 : 0;
    s.ClearHistoryOnConfig = cbClearHistOnConfig->isChecked();
    s.SWStartLock = cbSWStartLock->currentIndex() == 1;
    s.SWStopLock = cbSWStopLock->currentIndex() == 1;
    s.HWStartLock = cbHWStartLock->currentIndex() == 1;
    s.UseDeviceNames = cbUseDevNames->isChecked();
    s.AskOnCurrent = cbAskOnCurrent->isChecked();
    s.AskOnTEDSCheck = cbAskOnTEDSCheck->isChecked();
    s.AskOnUDMSCheck = cbAskOnUDMSCheck->isChecked();
    s.AskOnTEMPCheck = cbAskOnTempCheck->isChecked();
    s.ConfirmRescan = cbAskOnRescan->isChecked();
    s.ConfirmTurnOff = cbAskOnTurnOff->isChecked();
    s.AskOnSaveDevConfig = cbAskOnSaveDevConfig->isChecked();
    s.AskOnInitDevConfig = cbAskOninitDevConfig->isChecked();
    s.AskSaveonChange = cbAskSaveonChange->isChecked();
    s.AskOnDefault = cbAskOnDefault->isChecked();
    s.SaveConfAsText = cbSaveAsText->isChecked();
    s.SaveConfAsXLS = cbSaveAsXLS->isChecked();
    s.DiffSetupWarning = cbWarnOnSetupDiff->isChecked();
    s.DiffSerNoWarning = cbWarnOnSerNoDiff->isChecked();
    s.UseDefaultSetup = cbUseDefaultSetup->isChecked();
    s.AskForNewTEDS = cbAskForNewTEDS->isChecked();
    s.AutoTEDSConfig = cbAutoTEDSConfig->isChecked();
    s.FanSpeed = cbFanControl->currentIndex();
    s.RescanAfterDown = cbRescanAfterDown->isChecked();
    s.ChannelDisable = cbChannelDisable->isChecked();
    s.TimedReCheck = cbTimedReCheck->isChecked();
    s.TimedReCheckIntv = seTimedReCheckIntv->value() * 1000;
    s.UseExtendedRanges = cbExtendedRanges->isChecked();
    s.OfflineCheck = cbOfflineCheck->isChecked();
    s.ControlBackgroundsel = cbControlBGsel->Selected();
    s.ControlBackgroundnor = cbControlBGnor->Selected();
    s.ControlForeground = cbControlFG->Selected();
    s.ControlChannelName = cbControlCN->Selected();
    s.ControlText = cbControlText->Selected();
    s.ControlSelect = cbControlSelect->Selected();
    s.ZeroAverage = 2 * cbZeroAverage->currentIndex() + 1;
}

std::vector<std::string> TSettingsForm::LANAddresses() const {
    std::vector<std::string> items;
    for (int i = 0; i < lb_lanaddress->count(); ++i)
        items.push_back(FromQt(lb_lanaddress->item(i)->text()));
    return items;
}

bool TSettingsForm::HasLANAddress(const std::string& text) const {
    const QString wanted = ToQt(text);
    for (int i = 0; i < lb_lanaddress->count(); ++i)
        if (QString::compare(lb_lanaddress->item(i)->text(), wanted, Qt::CaseInsensitive) == 0) return true;
    return false;
}

bool TSettingsForm::AddLANAddress(const std::string& text) {
    if (HasLANAddress(text)) return false;
    const QString item = ToQt(text);
    int row = 0;
    while (row < lb_lanaddress->count() && !LessNoCase(item, lb_lanaddress->item(row)->text()))
        ++row;
    lb_lanaddress->insertItem(row, item);
    return true;
}

bool TSettingsForm::ReplaceLANAddress(const std::string& oldText, const std::string& newText) {
    const QString wanted = ToQt(oldText);
    for (int i = 0; i < lb_lanaddress->count(); ++i) {
        if (QString::compare(lb_lanaddress->item(i)->text(), wanted, Qt::CaseInsensitive) != 0) continue;
        delete lb_lanaddress->takeItem(i);
        AddLANAddress(newText);
        return true;
    }
    return false;
}

void TSettingsForm::cbUSBClick() {
    btnOK->setEnabled(true);
    gbUSB->setVisible(cbUSB->isChecked());
    gbLAN->setVisible(cbLAN->isChecked());
    if (cbUSB->isChecked()) FillUSBDeviceList();
}

void TSettingsForm::cbTimedReCheckClick() {
    seTimedReCheckIntv->setEnabled(cbTimedReCheck->isChecked());
}

void TSettingsForm::lb_lanaddressClick() {
    btnIntfDel->setEnabled(!lb_lanaddress->selectedItems().isEmpty());
}

void TSettingsForm::btnIntfDelClick() {
    for (QListWidgetItem* item : lb_lanaddress->selectedItems())
        delete lb_lanaddress->takeItem(lb_lanaddress->row(item));
    lb_lanaddressClick();
}

void TSettingsForm::btnIntfAddClick() {
    TAddLANAddressForm form(window());
    form.setWindowTitle(Text(290));
    form.lbLANHeader->setText(Text(290));
    form.lbLANText->setText(Text(291));
    form.btnApplyLAN->setText(Text(452));
    form.btnCancelLAN->setText(Text(453));
    form.lbIPAddress->setText(Text(292));
    form.SetMaskEnabled(false);
    form.seLANport->setEnabled(false);
    if (RunModal(form) == QDialog::Accepted) AddLANAddress(form.AddressText());
    lb_lanaddressClick();
}

void TSettingsForm::FillUSBDeviceList() {
    lbUSB->clear();
    if (Translator == nullptr) return;
    for (int i = 0; i < Translator->MasterCount(); ++i)
        if (const model::TQRBRawMaster* master = Translator->GetMaster(i))
            if (master->Kind == device::TInterfaceKind::ikUSB) lbUSB->addItem(ToQt(master->DeviceName));
}

void TSettingsForm::btnUSBSetupClick() {
    const bool channels = Translator != nullptr && Translator->ChannelCount() > 0;
    if (channels && QRBMessageDlg(1892, 1893, 1894) != kResultYes) return;
    if (channels) {
        TWaitCursor wait;
        Translator->Disconnect();
        QCoreApplication::processEvents();
        device::MainLoop().Sleep(500);
        QCoreApplication::processEvents();
    }
    struct TAfter {
        TSettingsForm& Form;
        ~TAfter() {
            Form.FillUSBDeviceList();
            Form.DevicesChanged = true;
        }
    } after{*this};
    TUSBSetupForm form(this);
    form.Translator = Translator;
    form.Gate = Gate;
    RunModal(form);
}

void TSettingsForm::btnLANSetupClick() {
    TLanSetupForm form(this);
    form.Translator = Translator;
    form.Gate = Gate;
    form.NetworkInfo = NetworkInfo;
    RunModal(form);
}

void TSettingsForm::btnresetColorsClick() {
    const TSettings defaults;
    cbControlFG->SetSelected(defaults.ControlForeground);
    cbControlBGsel->SetSelected(defaults.ControlBackgroundsel);
    cbControlBGnor->SetSelected(defaults.ControlBackgroundnor);
    cbControlCN->SetSelected(defaults.ControlChannelName);
    cbControlText->SetSelected(defaults.ControlText);
    cbControlSelect->SetSelected(defaults.ControlSelect);
}

void TSettingsForm::btnOKClick() {
    const int fan = cbFanControl->currentIndex();
    if (fan > 1 && fan != FanIndex && QRBMessageDlg(1821, 1822, 1823) != kResultYes) return;
    // Only a dialog that really closes with OK has changed the address list.
    DevicesChanged = DevicesChanged || LANCommaText() != ShownLANList;
    accept();
}

} // namespace qrb::ui
