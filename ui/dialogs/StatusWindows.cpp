#include "ui/dialogs/StatusWindows.h"

#include "device/Cp1252.h"
#include "device/FileUtil.h"
#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "ui/dialogs/MessageService.h"
#include "ui/platform/Scopes.h"
#include "ui/platform/ScreenPlacement.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDate>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace qrb::ui {

namespace {

QString Text(int id) {
    return ToDisplay(GetText(id));
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, bool wrap) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    memo->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return memo;
}

QPushButton* MakeButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// Centres a top-level window on the main window (or the screen when there is none), moved in
// where it would cross an edge of the screen.
void CenterOn(QWidget* window, QWidget* center) {
    QRect area;
    if (center != nullptr && center->isVisible())
        area = center->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    else
        return;
    QRect frame(QPoint(), FrameSize(window));
    frame.moveCenter(area.center());
    MoveOnScreen(window, frame.topLeft());
}

// The memo's first line in view, its cursor at the start.
void ScrollToStart(QPlainTextEdit* memo) {
    memo->moveCursor(QTextCursor::Start);
    memo->ensureCursorVisible();
    if (QScrollBar* bar = memo->horizontalScrollBar()) bar->setValue(bar->minimum());
}

// The memo's last line in view.
void ScrollToEnd(QPlainTextEdit* memo) {
    if (QScrollBar* bar = memo->verticalScrollBar()) bar->setValue(bar->maximum());
}

QWidget* MainWindowWidget() {
    return TWidgetMessageService::DialogParent();
}

} // namespace

// ---- Confirmation box ---------------------------------------------------------------------

TQRBMessageForm::TQRBMessageForm(const QString& caption, const QString& header, const QString& text,
                                 QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("QRBMessageForm"));
    setWindowTitle(caption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(this);
    box->setObjectName(QStringLiteral("gbxMessage"));
    box->setAutoFillBackground(true);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Window, Qt::white);
    box->setPalette(pal);
    auto* boxLayout = new QHBoxLayout(box);
    auto* image = MakeLabel(box, "imgMessage");
    image->setPixmap(QPixmap(QStringLiteral(":/images/question.png")));
    image->setAlignment(Qt::AlignTop);
    boxLayout->addWidget(image);
    auto* textLayout = new QVBoxLayout;
    lbHeader = MakeLabel(box, "lbHeader");
    QFont bold = lbHeader->font();
    bold.setBold(true);
    lbHeader->setFont(bold);
    lbHeader->setText(header);
    lbText = MakeLabel(box, "lbText");
    lbText->setWordWrap(true);
    lbText->setText(text);
    lbText->setMinimumWidth(340);
    textLayout->addWidget(lbHeader);
    textLayout->addWidget(lbText);
    textLayout->addStretch();
    boxLayout->addLayout(textLayout, 1);
    layout->addWidget(box);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnYes = MakeButton(this, "btnYes");
    btnYes->setText(Text(450));
    btnYes->setDefault(true);
    btnYes->setAutoDefault(true);
    btnNo = MakeButton(this, "btnNo");
    btnNo->setText(Text(451));
    btnNo->setAutoDefault(false);
    buttons->addWidget(btnYes);
    buttons->addWidget(btnNo);
    layout->addLayout(buttons);
    connect(btnYes, &QPushButton::clicked, this, [this] { done(kResultYes); });
    connect(btnNo, &QPushButton::clicked, this, [this] { done(kResultNo); });
}

void TQRBMessageForm::reject() {
    // QDialog routes Escape and the window's close button through reject(); closeEvent marks
    // the latter.
    done(closing_ ? kResultClosed : kResultNo);
    closing_ = false;
}

void TQRBMessageForm::closeEvent(QCloseEvent* event) {
    if (isVisible() && result() == 0) {
        closing_ = true;
        reject();
    }
    event->accept();
}

int QRBMessageDlg(int captionId, int headerId, int textId) {
    return Messages().Confirm(GetText(captionId), GetText(headerId), GetText(textId));
}

// ---- Busy pop-up --------------------------------------------------------------------------

namespace {
TStatusWinForm* currentPopup = nullptr;
}

TStatusWinForm::TStatusWinForm(QWidget* center)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("StatusWinForm"));
    setWindowTitle(QStringLiteral("Status"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::ToolTipText));
    setPalette(pal);
    auto* layout = new QVBoxLayout(this);
    lbStatHeader = MakeLabel(this, "lbStatHeader");
    QFont big = lbStatHeader->font();
    big.setBold(true);
    big.setPixelSize(16);
    lbStatHeader->setFont(big);
    lbStatText = MakeLabel(this, "lbStatText");
    lbStatText->setWordWrap(true);
    lbStatText->setMinimumWidth(360);
    layout->addWidget(lbStatHeader);
    layout->addWidget(lbStatText);
    Q_UNUSED(center);
}

TBusyPopup::TBusyPopup(const std::string& header, const std::string& text, QWidget* center)
    : form_(new TStatusWinForm(center)) {
    form_->lbStatHeader->setText(ToDisplay(header));
    form_->lbStatText->setText(ToDisplay(text));
    form_->adjustSize();
    CenterOn(form_, center != nullptr ? center : MainWindowWidget());
    form_->show();
    // One synchronous paint on the main thread; no widget lives on another thread.
    form_->repaint();
    currentPopup = form_;
}

TBusyPopup::~TBusyPopup() {
    if (currentPopup == form_) currentPopup = nullptr;
    form_->hide();
    delete form_;
}

TStatusWinForm* TBusyPopup::Current() {
    return currentPopup;
}

// ---- Text window --------------------------------------------------------------------------

TDeviceInfoForm::TDeviceInfoForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DeviceInfoForm"));
    resize(640, 480);
    auto* layout = new QVBoxLayout(this);
    mmInfo = MakeMemo(this, "mmInfo", false);
    mmInfo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(mmInfo, 1);
    auto* buttons = new QHBoxLayout;
    btnSave = MakeButton(this, "btnSave");
    btnOk = MakeButton(this, "btnOk");
    btnOk->setText(QStringLiteral("OK"));
    btnOk->setDefault(true);
    buttons->addWidget(btnSave);
    buttons->addStretch();
    buttons->addWidget(btnOk);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnSave, &QPushButton::clicked, this, &TDeviceInfoForm::btnSaveClick);
}

void TDeviceInfoForm::AddLine(const std::string& line) {
    mmInfo->appendPlainText(ToQt(line));
}

void TDeviceInfoForm::AddText(const std::string& text) {
    QString s = ToQt(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    mmInfo->appendPlainText(s);
}

std::vector<std::string> TDeviceInfoForm::Lines() const {
    std::vector<std::string> lines;
    const QString all = mmInfo->toPlainText();
    if (all.isEmpty() && mmInfo->document()->blockCount() <= 1) return lines;
    for (const QString& line : all.split(QLatin1Char('\n')))
        lines.push_back(FromQt(line));
    return lines;
}

std::string TDeviceInfoForm::ProposedFileName(const std::string& prefix, int year, int month, int day) {
    const std::string date = device::Format("%4.4d_%2.2d_%2.2d", year, month, day);
    return device::Format("%s_%s.log", prefix, date);
}

void TDeviceInfoForm::showEvent(QShowEvent* event) {
    btnSave->setText(Text(457));
    QDialog::showEvent(event);
    // The report's headings come first: it opens at its first line.
    ScrollToStart(mmInfo);
    btnOk->setFocus();
}

void TDeviceInfoForm::btnSaveClick() {
    if (FilePrefix.empty()) FilePrefix = "info";
    const QDate today = QDate::currentDate();
    TFileDialogRequest request;
    request.Title = GetText(402);
    request.Filter = GetText(343);
    request.DefaultExt = "*.log";
    request.InitialFolder = SaveFolder;
    request.FileName = ProposedFileName(FilePrefix, today.year(), today.month(), today.day());
    std::string fileName;
    if (!Messages().SaveFileName(request, fileName)) return;
    std::string error;
    if (!SaveTextLines(fileName, Lines(), error)) Messages().ShowError(error);
}

bool SaveTextLines(const std::string& path, const std::vector<std::string>& lines, std::string& error) {
    std::string bytes;
    for (const auto& line : lines) {
        bytes += device::Utf8ToCp1252(line);
        bytes += "\r\n";
    }
    return device::WriteFileAtomic(path, bytes, error);
}

// ---- Channel error window -----------------------------------------------------------------

namespace {
constexpr int ErrorBitTexts[6][2] = {{4, 1033}, {8, 1034}, {16, 1035}, {32, 1036}, {64, 1037}, {128, 1038}};
}

std::vector<std::string> ChannelErrorLines(uint8_t bits) {
    std::vector<std::string> lines;
    for (const auto& [bit, id] : ErrorBitTexts)
        if ((bits & bit) != 0) lines.push_back(" " + GetText(id));
    return lines;
}

TChannelStatusForm::TChannelStatusForm() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("ChannelStatusForm"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    gbxStatus = new QGroupBox(this);
    gbxStatus->setObjectName(QStringLiteral("gbxStatus"));
    auto* boxLayout = new QVBoxLayout(gbxStatus);
    stChannel = MakeLabel(gbxStatus, "stChannel");
    stChannel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    stChannel->setAutoFillBackground(true);
    QPalette green = stChannel->palette();
    green.setColor(QPalette::Window, QColor(0xC0, 0xDC, 0xC0));
    stChannel->setPalette(green);
    lbKind = MakeLabel(gbxStatus, "lbKind");
    mmErr = MakeMemo(gbxStatus, "mmErr", false);
    mmErr->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mmErr->setFixedHeight(110);
    boxLayout->addWidget(stChannel);
    boxLayout->addWidget(lbKind);
    boxLayout->addWidget(mmErr);
    layout->addWidget(gbxStatus);
    resize(220, 190);
}

void TChannelStatusForm::UpdateChannelStatus() {
    if (Translator == nullptr) return;
    const model::TQRBRawChannel* channel = Translator->GetChannel(ChannelIndex);
    if (channel == nullptr) return;
    const uint8_t status = channel->ADC8Status;
    stChannel->setText(ToQt(channel->ChannelName));
    mmErr->clear();
    uint8_t bits;
    if (status > 3) {
        lbKind->setText(Text(1576));
        bits = status;
    } else {
        lbKind->setText(Text(1577));
        bits = channel->ADC8History;
    }
    // An empty first line, then one line per set bit.
    QString text;
    for (const auto& line : ChannelErrorLines(bits))
        text += QLatin1Char('\n') + ToQt(line);
    mmErr->setPlainText(text);
}

// ---- Device status window -----------------------------------------------------------------

TDeviceStatusForm::TDeviceStatusForm() : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint) {
    // A top-level window of its own (the desktop as parent), not owned by the main window.
    setObjectName(QStringLiteral("DeviceStatusForm"));
    setWindowTitle(QStringLiteral("Status"));
    resize(560, 420);
    auto* layout = new QVBoxLayout(this);
    mmStatus = MakeMemo(this, "mmStatus", false);
    mmStatus->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(mmStatus, 1);
    cbStayOnTop = new QCheckBox(this);
    cbStayOnTop->setObjectName(QStringLiteral("cbStayOnTop"));
    cbStayOnTop->setChecked(true);
    layout->addWidget(cbStayOnTop);
    auto* buttons = new QHBoxLayout;
    btnRefresh = MakeButton(this, "btnRefresh");
    btnOK = MakeButton(this, "btnOK");
    buttons->addWidget(btnRefresh);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    layout->addLayout(buttons);
    connect(btnRefresh, &QPushButton::clicked, this, &TDeviceStatusForm::btnRefreshClick);
    connect(btnOK, &QPushButton::clicked, this, &TDeviceStatusForm::btnOKClick);
    connect(cbStayOnTop, &QCheckBox::clicked, this, &TDeviceStatusForm::cbStayOnTopClick);
}

void TDeviceStatusForm::showEvent(QShowEvent* event) {
    // Opened, it is centred on the main window; shown again for its stay-on-top state, it stays.
    if (!keepPlace_) CenterOn(this, MainWindowWidget());
    QWidget::showEvent(event);
    btnOK->setFocus();
    // Opened, it takes the keyboard (a window manager may leave a tool window unfocused), so
    // Escape reaches it.
    if (!keepPlace_)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isVisible()) activateWindow();
            },
            Qt::QueuedConnection);
}

void TDeviceStatusForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btnOKClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TDeviceStatusForm::btnRefreshClick() {
    if (CanRefresh && !CanRefresh()) return;
    TWaitCursor wait;
    mmStatus->clear();
    const std::string report = StatusReport ? StatusReport() : std::string();
    if (!report.empty()) {
        QString s = ToQt(report);
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        mmStatus->appendPlainText(s);
    }
}

void TDeviceStatusForm::btnOKClick() {
    hide();
}

void TDeviceStatusForm::cbStayOnTopClick() {
    // Keeps position and size; a visible window is shown again without being activated.
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, cbStayOnTop->isChecked());
    if (visible) {
        TFlagScope keep(keepPlace_);
        setAttribute(Qt::WA_ShowWithoutActivating);
        show();
        setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

// ---- Offline dialog -----------------------------------------------------------------------

namespace {
constexpr int kOfflineTextWidth = 360;
} // namespace

TOfflineForm::TOfflineForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OfflineForm"));
    auto* layout = new QVBoxLayout(this);
    lbMainTitle = MakeLabel(this, "lbMainTitle");
    QFont title = lbMainTitle->font();
    title.setBold(true);
    title.setPixelSize(16);
    lbMainTitle->setFont(title);
    lbTopic1Text = MakeLabel(this, "lbTopic1Text");
    lbTopic1Text->setWordWrap(true);
    layout->addWidget(lbMainTitle);
    layout->addWidget(lbTopic1Text);
    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("gbxOffline"));
    auto* grid = new QVBoxLayout(group);
    lbText2 = MakeLabel(group, "lbText2");
    grid->addWidget(lbText2);
    auto* row1 = new QHBoxLayout;
    lbDevices = MakeLabel(group, "lbDevices");
    seDevices = new QSpinBox(group);
    seDevices->setObjectName(QStringLiteral("seDevices"));
    seDevices->setRange(1, 8);
    seDevices->setValue(1);
    row1->addWidget(lbDevices);
    row1->addWidget(seDevices);
    grid->addLayout(row1);
    auto* row2 = new QHBoxLayout;
    lbChannels = MakeLabel(group, "lbChannels");
    seChannels = new QSpinBox(group);
    seChannels->setObjectName(QStringLiteral("seChannels"));
    seChannels->setRange(1, 8);
    seChannels->setValue(8);
    seChannels->setEnabled(false);
    row2->addWidget(lbChannels);
    row2->addWidget(seChannels);
    grid->addLayout(row2);
    layout->addWidget(group);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = MakeButton(this, "btnOK");
    btnOK->setDefault(true);
    btnCancel = MakeButton(this, "btnCancel");
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // The window is never smaller than its controls need; the wrapped text gets a width of
    // its own so it does not wrap into a narrow column.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    lbTopic1Text->setMinimumWidth(kOfflineTextWidth);
    ApplyTexts();
}

void TOfflineForm::showEvent(QShowEvent* event) {
    ApplyTexts();
    adjustSize();
    QDialog::showEvent(event);
    btnOK->setFocus();
}

void TOfflineForm::ApplyTexts() {
    setWindowTitle(Text(55));
    lbMainTitle->setText(Text(1875));
    lbTopic1Text->setText(Text(1876));
    lbText2->setText(Text(1877));
    lbDevices->setText(Text(1878));
    lbChannels->setText(Text(1879));
    btnCancel->setText(Text(453));
    btnOK->setText(Text(452));
}

// ---- Extended channel information ---------------------------------------------------------

namespace {

std::string PadRight(std::string text, size_t width) {
    const size_t length = device::Utf8Length(text);
    if (length < width) text.append(width - length, ' ');
    return text;
}

} // namespace

std::vector<std::string> ExtChannelInfoLines(const std::vector<const model::TQRBRawChannel*>& channels,
                                             const std::vector<bool>& selected) {
    std::vector<std::string> lines;
    lines.emplace_back();
    lines.emplace_back("CHANNEL      SENSOR              RANGE      COUPLING     SCALE (INPUT » OUTPUT)");
    lines.emplace_back(81, '_');
    lines.emplace_back();
    for (size_t i = 0; i < channels.size(); ++i) {
        const model::TQRBRawChannel* ch = channels[i];
        if (ch == nullptr || i >= selected.size() || !selected[i]) continue;
        const bool charge = ch->SensorType == model::stCharge;
        const std::string sensor = PadRight(device::SensorTypeToText(ch->SensorType), 17);
        const std::string range =
            PadRight(charge ? device::ChargeRangeToText(ch->Info.Version, ch->RangeCache, ch->CapacityCache)
                            : device::VoltageRangeToText(ch->Info.Version, ch->RangeCache),
                     8);
        const std::string coupling = PadRight(device::CouplingToText(ch->coupling), 10);
        // A range code outside the table has no factor: it shows as 1.0 like a NaN factor.
        float factor =
            ch->RangeCache < device::kRangeCount ? ch->Calibration.RangeFactors[ch->RangeCache] : NAN;
        std::string input;
        float capFactor = 1.0f;
        if (charge) {
            if (ch->CapacityCache == 0)
                capFactor = ch->Calibration.CapacityFactors[0];
            else if (ch->CapacityCache == 1)
                capFactor = ch->Calibration.CapacityFactors[1];
            if (!std::isnan(factor)) factor = factor * capFactor;
            input = device::Format("%6.6g C",
                                   device::ChargeRangeFullScale(ch->RangeCache, ch->CapacityCache) / 5.0);
        } else {
            input = device::Format("%6.6g V",
                                   device::VoltageRangeFullScale(ch->Info.Version, ch->RangeCache) / 5.0);
        }
        std::string factorText = device::Format("%7.7f", static_cast<double>(factor));
        std::string trimmed = factorText;
        trimmed.erase(0, trimmed.find_first_not_of(' '));
        if (trimmed == "NAN") factorText = device::Format("%7.7f", 1.0);
        const int number = static_cast<int>(i) + 1;
        if (charge && ch->CapacityCache == 0)
            lines.push_back(device::Format("Channel %2.2d   %s   %s   %s   %s » %s V  (%4.6f nF )", number,
                                           sensor, range, coupling, input, factorText, capFactor * 10.0));
        else if (charge)
            lines.push_back(device::Format("Channel %2.2d   %s   %s   %s   %s » %s V  (%4.6f pF)", number,
                                           sensor, range, coupling, input, factorText, capFactor * 100.0));
        else
            lines.push_back(device::Format("Channel %2.2d   %s   %s   %s   %s » %s V", number, sensor, range,
                                           coupling, input, factorText));
    }
    lines.emplace_back();
    return lines;
}

TExtChannelInfoForm::TExtChannelInfoForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ExtChannelInfoForm"));
    resize(760, 420);
    auto* layout = new QVBoxLayout(this);
    mmStatus = MakeMemo(this, "mmStatus", false);
    mmStatus->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(mmStatus, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = MakeButton(this, "btnOK");
    btnOK->setText(QStringLiteral("OK"));
    btnOK->setDefault(true);
    buttons->addWidget(btnOK);
    layout->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TExtChannelInfoForm::AddInfoLine(const std::string& text) {
    mmStatus->appendPlainText(ToQt(text));
    ScrollToEnd(mmStatus);
}

void TExtChannelInfoForm::showEvent(QShowEvent* event) {
    mmStatus->clear();
    if (Translator != nullptr) {
        std::vector<const model::TQRBRawChannel*> channels;
        std::vector<bool> selected;
        for (int i = 0; i < Translator->ChannelCount(); ++i) {
            channels.push_back(Translator->GetChannel(i));
            selected.push_back(Translator->IsSelected(i));
        }
        for (const auto& line : ExtChannelInfoLines(channels, selected))
            AddInfoLine(line);
    }
    QDialog::showEvent(event);
    btnOK->setFocus();
}

} // namespace qrb::ui
