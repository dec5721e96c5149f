#include "ui/dialogs/DeviceSetupForms.h"

#include "device/Format.h"
#include "device/MainLoop.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/ModalRunner.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/dialogs/TitleLabel.h"
#include "ui/platform/NetworkInfo.h"
#include "ui/platform/ScanGate.h"
#include "ui/platform/Scopes.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QThread>
#include <QVBoxLayout>

#include <memory>
#include <optional>

namespace qrb::ui {

namespace {

constexpr int kLanPort = 15000;
constexpr const char* kFirmwareFilter = "Firmware Image Files|*.fwi";

QString Text(int id) {
    return ToQt(GetText(id));
}

QPushButton* Button(QWidget* parent, const char* name, int textId) {
    auto* button = new QPushButton(Text(textId), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

// The settings dialog's LAN list entry of an amplifier's address ("address:port").
std::string LanListEntry(const std::string& address) {
    return device::Format("%s:%d", {address, static_cast<int64_t>(kLanPort)});
}

// The owner-drawn rows of the device list.
class TDeviceDelegate : public QStyledItemDelegate {
public:
    TDeviceDelegate(QListWidget* list, const TDeviceSetupForm& form, bool lan)
        : QStyledItemDelegate(list), list_(list), form_(form), lan_(lan) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QRect r = option.rect;
        const QPalette& palette = option.palette;
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->save();
        painter->fillRect(
            r, selected ? palette.color(QPalette::Highlight)
                        : (index.row() % 2 != 0 ? palette.color(QPalette::Base) : QColor(192, 220, 192)));
        QColor text = selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
        if (!list_->isEnabled()) text = palette.color(QPalette::Inactive, QPalette::WindowText);
        painter->drawPixmap(r.left() + 2, r.top() + 1, SetupDeviceImage());
        QFont font = painter->font();
        font.setPixelSize(11); // 8 points at 96 dpi
        painter->setFont(font);
        painter->setPen(text);
        const int y = r.top() + 2 + QFontMetrics(font).ascent();
        const size_t row = static_cast<size_t>(index.row());
        if (row < form_.Entries().size()) {
            const TNodeEntry& e = form_.Entries()[row];
            if (lan_) {
                painter->drawText(r.left() + 23, y, ToQt(e.AddressText));
                painter->drawText(r.left() + 125, y, QStringLiteral("QRB-730"));
                painter->drawText(r.right() - 85, y, ToQt(e.Version));
            } else {
                painter->drawText(r.left() + 23, y,
                                  ToQt(device::Format("USB Device %d", {static_cast<int64_t>(e.Index) + 1})));
                painter->drawText(r.left() + 125, y, QStringLiteral("QRB-730"));
                painter->drawText(r.left() + 195, y, ToQt(e.AddressText));
                painter->drawText(r.right() - 105, y, ToQt(e.Version));
            }
        }
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(list_->width(), 18);
    }

private:
    QListWidget* list_;
    const TDeviceSetupForm& form_;
    bool lan_;
};

// Keeps the gate closed and the dialog busy for the span of a scan or an upload.
class TWorkScope {
public:
    TWorkScope(TScanGate* gate, bool& busy) : busy_(busy) {
        if (gate != nullptr) guard_.emplace(*gate, TScanGate::THold::GateAndRequests);
    }

private:
    std::optional<TScanGate::TGuard> guard_;
    TFlagScope busy_;
};

// The upload's result and the freeing of its image, which follows a failed upload too. True when
// the device took the image, whatever freeing says.
bool UploadedAndFreed(void* image, int32_t uploaded, const char* uploadError, const char* freeError,
                      std::vector<std::string>& errors) {
    if (uploaded != 0) errors.push_back(device::Format(uploadError, {static_cast<int64_t>(uploaded)}));
    if (FWFreeImage(image) != 0) errors.push_back(freeError);
    return uploaded == 0;
}

} // namespace

TNodeEntry TNodeEntry::FromRecord(const TFWScanRecord& record, const char* versionPrefix) {
    TNodeEntry e;
    e.Address = record.Address;
    e.AddressText = IpAddressToStr(record.Address);
    e.Kind = record.Kind;
    e.Index = record.Index;
    e.Number = std::to_string(record.Number);
    e.Version = device::Format(
        std::string(versionPrefix) + " %d.%d.%d (%d)",
        {static_cast<int64_t>(record.Version >> 28), static_cast<int64_t>((record.Version >> 24) & 0xF),
         static_cast<int64_t>((record.Version >> 16) & 0xFF), static_cast<int64_t>(record.Version & 0xFFFF)});
    e.DeviceHandle = record.DeviceHandle;
    return e;
}

int ProgressPhase(int32_t status) {
    return (status >> 8) & 0xFF;
}

int ProgressPercent(int32_t status) {
    return status & 0xFF;
}

std::string PhaseText(int phase) {
    if (phase >= 1 && phase <= 5) return GetText(1867 + phase);
    return MissingText;
}

// ---- Shared dialog -------------------------------------------------------------------------

TDeviceSetupForm::TDeviceSetupForm(QWidget* parent, TSettingsForm* settings, const char* name, int titleId,
                                   bool lan)
    : QDialog(parent), settings_(settings), lan_(lan) {
    setObjectName(QString::fromLatin1(name));
    busy_ = true;
    setWindowTitle(Text(62));
    lbMainTitle = TitleLabel(this, "lbMainTitle");
    lbMainTitle->setText(Text(titleId));
    lbTopic1Text = new QLabel(Text(1862), this);
    lbTopic1Text->setObjectName(QStringLiteral("lbTopic1Text"));
    lbDevices = new QListWidget(this);
    lbDevices->setObjectName(QStringLiteral("lbDevices"));
    lbDevices->setItemDelegate(new TDeviceDelegate(lbDevices, *this, lan));
    lbDevices->setMinimumSize(lan ? 380 : 460, 160);
    lbDevices->setUniformItemSizes(true);
    lbDevices->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    btnRescan = Button(this, "btnRescan", 1880);
    if (lan) btnAddDevice = Button(this, "btnAddDevice", 1881);
    btnIPChange = Button(this, "btnIPChange", 1882);
    btnFirmware = Button(this, "btnFirmware", 1883);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    lbStatus->setVisible(false);
    pbStatus = new QProgressBar(this);
    pbStatus->setObjectName(QStringLiteral("pbStatus"));
    pbStatus->setRange(0, 100);
    pbStatus->setVisible(false);
    // Their room is kept while they are hidden, so the dialog keeps its size when they show.
    lbStatus->setText(Text(1867));
    for (QWidget* w : {static_cast<QWidget*>(lbStatus), static_cast<QWidget*>(pbStatus)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbMainTitle);
    layout->addWidget(lbTopic1Text);
    auto* middle = new QHBoxLayout;
    middle->addWidget(lbDevices, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(btnRescan);
    if (btnAddDevice != nullptr) side->addWidget(btnAddDevice);
    side->addWidget(btnIPChange);
    side->addWidget(btnFirmware);
    side->addStretch(1);
    middle->addLayout(side);
    layout->addLayout(middle, 1);
    layout->addWidget(lbStatus);
    layout->addWidget(pbStatus);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnOK);
    layout->addLayout(bottom);

    connect(btnRescan, &QPushButton::clicked, this, [this] { Scan(); });
    connect(btnIPChange, &QPushButton::clicked, this, [this] { btnIPChangeClick(); });
    connect(btnFirmware, &QPushButton::clicked, this, [this] { btnFirmwareClick(); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(lbDevices, &QListWidget::itemSelectionChanged, this, [this] { lbDevicesClick(); });
    UpdateButtons();
}

TDeviceSetupForm::~TDeviceSetupForm() {
    if (timer_ != 0) device::MainLoop().StopTimer(timer_);
}

const TNodeEntry* TDeviceSetupForm::SelectedEntry() const {
    const int row = lbDevices->currentRow();
    if (row < 0 || lbDevices->selectedItems().isEmpty() || static_cast<size_t>(row) >= entries_.size())
        return nullptr;
    return &entries_[static_cast<size_t>(row)];
}

void TDeviceSetupForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TDeviceSetupForm::FormShow() {
    if (timer_ == 0) timer_ = device::MainLoop().StartTimer(500, [this] { TimerTick(); });
    busy_ = false;
}

void TDeviceSetupForm::TimerTick() {
    if (timer_ != 0) device::MainLoop().StopTimer(timer_);
    timer_ = 0;
    Scan();
}

void TDeviceSetupForm::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TDeviceSetupForm::done(int result) {
    if (busy_) return;
    QDialog::done(result);
}

bool TDeviceSetupForm::EndedAfterWork() {
    if (busy_ || !MessageBoxesEnded()) return false;
    QDialog::done(QDialog::Rejected);
    return true;
}

void TDeviceSetupForm::Repaint() {
    QCoreApplication::processEvents();
}

void TDeviceSetupForm::DisableButtons() {
    for (QPushButton* b : {btnOK, btnRescan, btnIPChange, btnFirmware, btnAddDevice})
        if (b != nullptr) b->setEnabled(false);
}

void TDeviceSetupForm::AddEntry(const TNodeEntry& entry) {
    entries_.push_back(entry);
    lbDevices->addItem(ToQt(ItemText(entry)));
}

void TDeviceSetupForm::Scan() {
    {
        TWaitCursor wait;
        TWorkScope work(Gate, busy_);
        DisableButtons();
        lbDevices->clear();
        entries_.clear();
        Repaint();
        ScanDevices();
    }
    if (EndedAfterWork()) return;
    btnOK->setEnabled(true);
    btnRescan->setEnabled(true);
    UpdateButtons();
}

void TDeviceSetupForm::lbDevicesClick() {
    UpdateButtons();
}

void TDeviceSetupForm::UpdateButtons() {
    const bool selected = SelectedEntry() != nullptr;
    btnIPChange->setEnabled(selected);
    btnFirmware->setEnabled(selected);
}

void TDeviceSetupForm::BeginWork() {
    lbStatus->setText(Text(1867));
    lbStatus->setVisible(true);
    pbStatus->setValue(0);
    pbStatus->setVisible(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    DisableButtons();
    Repaint();
}

void TDeviceSetupForm::EndWork() {
    QApplication::restoreOverrideCursor();
    lbStatus->setVisible(false);
    pbStatus->setVisible(false);
}

void TDeviceSetupForm::WaitAndRescan() {
    {
        TWaitCursor wait;
        TWorkScope work(Gate, busy_);
        lbStatus->setText(Text(1867));
        lbStatus->setVisible(true);
        pbStatus->setValue(50);
        pbStatus->setVisible(true);
        Repaint();
        device::MainLoop().Sleep(5000);
    }
    if (EndedAfterWork()) return;
    Scan();
    lbStatus->setVisible(false);
    pbStatus->setVisible(false);
}

void TDeviceSetupForm::btnFirmwareClick() {
    const TNodeEntry* selected = SelectedEntry();
    if (selected == nullptr) {
        btnFirmware->setEnabled(false);
        return;
    }
    const TNodeEntry entry = *selected;
    bool success = false;
    TFileDialogRequest request;
    request.Filter = kFirmwareFilter;
    std::string file;
    if (Messages().OpenFileName(request, file)) {
        std::vector<std::string> errors;
        {
            TWorkScope work(Gate, busy_);
            BeginWork();
            void* image = nullptr;
            uint32_t size = 0;
            const int32_t loaded = FWLoadImage(image, size, DoubleBackslashes(file));
            if (loaded != 0) {
                EndWork();
                Messages().ShowMessage(device::Format(GetText(1061), {file, static_cast<int64_t>(loaded)}));
            } else {
                success = UploadedAndFreed(image, UploadFirmware(entry, image, size),
                                           "Error on uploading firmware image (%d)",
                                           "Invalid firmware address buffer pointer!", errors);
                EndWork();
            }
        }
        for (const std::string& error : errors)
            Messages().ShowMessage(error);
    }
    if (EndedAfterWork()) return;
    if (success) {
        WaitAndRescan();
        if (settings_ != nullptr) settings_->DevicesChanged = true;
    }
    btnRescan->setEnabled(true);
    btnOK->setEnabled(true);
    UpdateButtons();
}

void TDeviceSetupForm::btnIPChangeClick() {
    const TNodeEntry* selected = SelectedEntry();
    if (selected == nullptr) {
        btnIPChange->setEnabled(false);
        return;
    }
    const TNodeEntry entry = *selected;
    const std::string oldEntry = LanListEntry(entry.AddressText);
    bool success = false;
    std::string address;
    {
        TAddLANAddressForm form(this);
        form.setWindowTitle(Text(1863));
        form.lbLANHeader->setText(Text(1863));
        form.lbLANText->setText(Text(1864));
        form.btnApplyLAN->setText(Text(452));
        form.btnCancelLAN->setText(Text(453));
        form.lbIPAddress->setText(Text(1865));
        form.lbSubnet->setText(Text(1866));
        form.SetAddress(entry.Address);
        form.SetMaskEnabled(true);
        form.seLANport->setEnabled(false);
        if (RunModal(form) == QDialog::Accepted) {
            address = form.AddressOnly();
            const std::string mask = form.MaskText();
            std::vector<std::string> errors;
            {
                TWorkScope work(Gate, busy_);
                BeginWork();
                void* image = nullptr;
                uint32_t size = 0;
                if (FWCreateIPAddrImage(image, size, address, mask) == 0) {
                    success = UploadedAndFreed(image, UploadAddress(entry, image, size),
                                               "Error on uploading IP address image (%d)",
                                               "Invalid IP address buffer pointer!", errors);
                }
                EndWork();
            }
            for (const std::string& error : errors)
                Messages().ShowMessage(error);
        }
    }
    if (EndedAfterWork()) return;
    if (success) {
        WaitAndRescan();
        AddressChanged(oldEntry, address);
        if (settings_ != nullptr) settings_->DevicesChanged = true;
    }
    btnRescan->setEnabled(true);
    btnOK->setEnabled(true);
    UpdateButtons();
}

void TDeviceSetupForm::AddressChanged(const std::string&, const std::string&) {}

int32_t TDeviceSetupForm::ProgressCallback(void* userData, int32_t status) {
    auto* form = static_cast<TDeviceSetupForm*>(userData);
    if (form == nullptr) return 0;
    if (QThread::currentThread() == form->thread()) {
        form->Progress(status);
    } else {
        // A library that reports from a thread of its own: the dialog is updated on the main thread.
        QPointer<TDeviceSetupForm> guarded(form);
        QMetaObject::invokeMethod(
            form,
            [guarded, status] {
                if (guarded) guarded->Progress(status);
            },
            Qt::QueuedConnection);
    }
    return 0;
}

void TDeviceSetupForm::Progress(int32_t status) {
    const int phase = ProgressPhase(status);
    int& last = LastPhase();
    if (phase != last) {
        pbStatus->setValue(0);
        lbStatus->setText(ToQt(PhaseText(phase)));
    } else {
        pbStatus->setValue(ProgressPercent(status));
    }
    last = phase;
    Repaint();
}

// ---- USB -------------------------------------------------------------------------------------

TUSBSetupForm::TUSBSetupForm(TSettingsForm* settings)
    : TDeviceSetupForm(settings, settings, "USBSetupForm", 1874, false) {}

int& TUSBSetupForm::PreviousPhase() {
    static int phase = 0;
    return phase;
}

void TUSBSetupForm::ScanDevices() {
    std::vector<TFWScanRecord> records;
    if (FWUsbScan(records) != 0) return;
    for (const TFWScanRecord& record : records) {
        if (record.Kind != 3) continue;
        AddEntry(TNodeEntry::FromRecord(record, "HW"));
        Repaint();
    }
}

std::string TUSBSetupForm::ItemText(const TNodeEntry& entry) const {
    return std::to_string(entry.DeviceHandle);
}

int32_t TUSBSetupForm::UploadFirmware(const TNodeEntry& entry, void* image, uint32_t size) {
    return FWUsbUploadFWImg(entry.Address, image, size, &TDeviceSetupForm::ProgressCallback, this);
}

int32_t TUSBSetupForm::UploadAddress(const TNodeEntry& entry, void* image, uint32_t size) {
    return FWUsbUploadIPAddrImg(entry.DeviceHandle, image, size, &TDeviceSetupForm::ProgressCallback, this);
}

// ---- LAN -------------------------------------------------------------------------------------

TLanSetupForm::TLanSetupForm(TSettingsForm* settings)
    : TDeviceSetupForm(settings, settings, "LanSetupForm", 1861, true) {
    connect(btnAddDevice, &QPushButton::clicked, this, [this] { btnAddDeviceClick(); });
    connect(lbDevices, &QListWidget::itemDoubleClicked, this, [this] { btnAddDeviceClick(); });
    UpdateButtons();
}

int& TLanSetupForm::PreviousPhase() {
    static int phase = 0;
    return phase;
}

void TLanSetupForm::ScanDevices() {
    if (NetworkInfo == nullptr) return;
    for (const std::string& line : NetworkInfo->IpMaskList()) {
        const size_t slash = line.find('/');
        const std::string address = line.substr(0, slash);
        const std::string mask = slash == std::string::npos ? std::string() : line.substr(slash + 1);
        if (FWNetInit(address, mask) != 0) continue;
        std::vector<TFWScanRecord> records;
        if (FWNetScan(records) != 0) continue;
        for (const TFWScanRecord& record : records)
            if (record.Kind == 3) AddEntry(TNodeEntry::FromRecord(record, "FW"));
        Repaint();
    }
}

std::string TLanSetupForm::ItemText(const TNodeEntry& entry) const {
    return entry.AddressText;
}

int32_t TLanSetupForm::UploadFirmware(const TNodeEntry& entry, void* image, uint32_t size) {
    return FWNetUploadFWImg(entry.Address, image, size, &TDeviceSetupForm::ProgressCallback, this);
}

int32_t TLanSetupForm::UploadAddress(const TNodeEntry& entry, void* image, uint32_t size) {
    return FWNetUploadIPAddrImg(entry.Address, image, size, &TDeviceSetupForm::ProgressCallback, this);
}

void TLanSetupForm::UpdateButtons() {
    TDeviceSetupForm::UpdateButtons();
    if (btnAddDevice == nullptr) return;
    const TNodeEntry* entry = SelectedEntry();
    btnAddDevice->setEnabled(entry != nullptr && settings_ != nullptr &&
                             !settings_->HasLANAddress(LanListEntry(entry->AddressText)));
}

void TLanSetupForm::btnAddDeviceClick() {
    const TNodeEntry* entry = SelectedEntry();
    if (entry == nullptr) {
        btnAddDevice->setEnabled(false);
    } else if (settings_ != nullptr) {
        settings_->AddLANAddress(LanListEntry(entry->AddressText));
    }
    UpdateButtons();
}

void TLanSetupForm::AddressChanged(const std::string& oldEntry, const std::string& newAddress) {
    if (settings_ == nullptr) return;
    settings_->ReplaceLANAddress(oldEntry, LanListEntry(newAddress));
}

} // namespace qrb::ui
