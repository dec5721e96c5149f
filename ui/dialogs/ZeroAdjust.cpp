#include "ui/dialogs/ZeroAdjust.h"

#include "device/HWVocabulary.h"
#include "device/MainLoop.h"
#include "model/I2CTranslator.h"
#include "ui/dialogs/MessageService.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace qrb::ui {

namespace {

constexpr const char* kSourceAdjusted = "QRBCAL730";
constexpr const char* kSourceCleared = "         "; // nine blanks
constexpr uint8_t kMarkerAdjusted = 174;
constexpr uint8_t kMarkerCleared = 0;
constexpr uint16_t kNotAdjusted = 2048;
constexpr uint8_t kReferenceOduOff = 4;
constexpr uint8_t kReferenceOduOn = 5;
// Info.Defaults word 8 takes the relay-off zero of this step.
constexpr uint8_t kDefaultsCoupling = 0;
constexpr uint8_t kDefaultsRange = 4;
constexpr size_t kOffsetDACWord = 8;
constexpr uint32_t kStorePauseMs = 500;
constexpr int kLastCoupling = static_cast<int>(device::kCouplingCount) - 1;
constexpr int kLastRange = static_cast<int>(device::kRangeCount) - 1;

QCheckBox* OptionBox(QWidget* parent, const char* name, int textId, bool checked) {
    auto* box = new QCheckBox(ToQt(GetText(textId)), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(checked);
    return box;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QProgressBar* Bar(QWidget* parent, const char* name) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setTextVisible(false);
    bar->setRange(0, kZeroStepsAll);
    bar->setValue(0);
    return bar;
}

} // namespace

struct TZeroAdjustForm::TRunState {
    bool AllOk = true;            // every step and every store held
    std::vector<bool> DefaultsOk; // per row: the step word 8 is taken from held
};

TZeroAdjustForm::TZeroAdjustForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ZeroAdjustForm"));
    setWindowTitle(ToQt(GetText(600)));
    Today = [] { return device::Now(); };

    lbMainTitle = Label(this, "lbMainTitle", ToQt(GetText(600)));
    QFont title = lbMainTitle->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.4);
    lbMainTitle->setFont(title);
    lbTopic1Text = Label(this, "lbTopic1Text", ToQt(GetText(601)));
    lbTopic1Text->setWordWrap(true);

    gbOptions = new QGroupBox(this);
    gbOptions->setObjectName(QStringLiteral("gbOptions"));
    clbCalib = new QListWidget(gbOptions);
    clbCalib->setObjectName(QStringLiteral("clbCalib"));
    clbCalib->setMinimumSize(clbCalib->sizeHint());
    cbSaveToChannel = OptionBox(gbOptions, "cbSaveToChannel", 605, true);
    cbSaveChannel = OptionBox(gbOptions, "cbSaveChannel", 608, true);
    cbResetOffset = OptionBox(gbOptions, "cbResetOffset", 606, false);
    cbQuickAdjust = OptionBox(gbOptions, "cbQuickAdjust", 607, false);
    cbGNDonly = OptionBox(gbOptions, "cbGNDonly", 619, false);
    auto* options = new QVBoxLayout(gbOptions);
    options->addWidget(clbCalib, 1);
    for (QCheckBox* box : {cbSaveToChannel, cbSaveChannel, cbResetOffset, cbQuickAdjust, cbGNDonly})
        options->addWidget(box);

    lbAction = Label(this, "lbAction", ToQt(GetText(609)));
    stAction = Label(this, "stAction", QStringLiteral("   <n/a>"));
    stAction->setMinimumWidth(360);
    lbChannel = Label(this, "lbChannel", ToQt(GetText(610)));
    pbChannel = Bar(this, "pbChannel");
    lbTotal = Label(this, "lbTotal", ToQt(GetText(611)));
    pbTotal = Bar(this, "pbTotal");
    auto* progress = new QGridLayout;
    progress->addWidget(lbAction, 0, 0);
    progress->addWidget(stAction, 0, 1);
    progress->addWidget(lbChannel, 1, 0);
    progress->addWidget(pbChannel, 1, 1);
    progress->addWidget(lbTotal, 2, 0);
    progress->addWidget(pbTotal, 2, 1);
    progress->setColumnStretch(1, 1);

    btnOK = new QPushButton(ToQt(GetText(464)), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(ToQt(GetText(453)), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbMainTitle);
    layout->addWidget(lbTopic1Text);
    layout->addWidget(gbOptions, 1);
    layout->addLayout(progress);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    connect(clbCalib, &QListWidget::itemChanged, this, [this] {
        if (!filling_) clbCalibClick();
    });
    connect(cbGNDonly, &QCheckBox::toggled, this, [this] { cbGNDonlyClick(); });
    connect(cbResetOffset, &QCheckBox::toggled, this, [this] { cbResetOffsetClick(); });
    connect(cbSaveToChannel, &QCheckBox::toggled, this, [this] { cbSaveToChannelClick(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

TZeroAdjustForm::~TZeroAdjustForm() {
    UnhookDeviceLost();
}

void TZeroAdjustForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A restore from minimised or a hide and show brings the window back as the user left it.
    if (filled_) return;
    try {
        FormShow();
    } catch (const std::exception& e) {
        Messages().ShowError(e.what());
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
}

void TZeroAdjustForm::FormShow() {
    if (Translator == nullptr) throw std::runtime_error("Abnormal error: Invalid call to Zero-Adjustment!");
    filling_ = true;
    clbCalib->clear();
    RowChannels.clear();
    for (int32_t i = 0; i < Translator->ChannelCount(); ++i) {
        const model::TQRBRawChannel* ch = Translator->GetChannel(i);
        if (ch == nullptr || !ch->Present || ch->Kind == device::TInterfaceKind::ikOffline) continue;
        auto* item = new QListWidgetItem(
            ToQt(device::Format("%s - %2.2d:%2.2d", ch->ChannelName, ch->Device + 1, ch->Slot + 1)),
            clbCalib);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        RowChannels.push_back(i);
    }
    filling_ = false;
    filled_ = true;
    clbCalibClick();
}

void TZeroAdjustForm::clbCalibClick() {
    int checked = 0;
    for (int row = 0; row < clbCalib->count(); ++row)
        checked += clbCalib->item(row)->checkState() == Qt::Checked;
    cbGNDonlyClick();
    pbTotal->setMaximum(checked);
    btnOK->setEnabled(checked > 0);
}

void TZeroAdjustForm::cbGNDonlyClick() {
    pbChannel->setMaximum(cbGNDonly->isChecked() ? kZeroStepsGndOnly : kZeroStepsAll);
}

void TZeroAdjustForm::cbResetOffsetClick() {
    const bool adjust = !cbResetOffset->isChecked();
    cbSaveToChannel->setEnabled(adjust);
    cbSaveChannel->setEnabled(adjust);
    cbQuickAdjust->setEnabled(adjust);
}

void TZeroAdjustForm::cbSaveToChannelClick() {
    cbSaveChannel->setEnabled(cbSaveToChannel->isChecked());
}

void TZeroAdjustForm::btnCancelClick() {
    if (!Running) {
        QDialog::reject();
        return;
    }
    // Once the program ends no box asks: the run is aborted already. An abort the question's
    // box did not see (the end came while it was open) stays requested.
    if (MessageBoxesEnded() || Messages().Confirm(GetText(602), GetText(603), GetText(604)) == kResultYes)
        AbortRequested = true;
}

void TZeroAdjustForm::EndForTermination() {
    if (!Running) {
        QDialog::reject();
        return;
    }
    AbortRequested = true;
    closeAfterRun_ = true;
}

void TZeroAdjustForm::reject() {
    btnCancelClick();
}

void TZeroAdjustForm::closeEvent(QCloseEvent* event) {
    if (Running) {
        // The run owns the channels until it ends; the close follows it.
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TZeroAdjustForm::btnOKClick() {
    if (Running || Translator == nullptr) return;
    try {
        Run();
    } catch (const std::exception& e) {
        Messages().ShowError(e.what());
    }
}

void TZeroAdjustForm::Run() {
    if (cbResetOffset->isChecked() &&
        Messages().Confirm(GetText(616), GetText(617), GetText(618)) != kResultYes)
        return;
    AbortRequested = false;
    deviceLost_ = false;
    noAnswersAtStart_ = Translator->NoAnswers;
    Running = true;
    struct TEnd {
        TZeroAdjustForm& Form;
        ~TEnd() { Form.EndRun(); }
    } end{*this};
    HookDeviceLost();
    gbOptions->setEnabled(false);
    btnOK->setEnabled(false);
    pbChannel->setValue(0);
    pbTotal->setValue(0);
    const int32_t average = cbQuickAdjust->isChecked() ? 1 : Translator->ZeroAverage;
    btnCancel->setText(ToQt(GetText(453)));

    const bool clear = cbResetOffset->isChecked();
    const bool store = cbSaveToChannel->isChecked();
    const bool storeEach = cbSaveChannel->isChecked();
    TRunState state;
    state.DefaultsOk.assign(RowChannels.size(), false);
    auto checked = [this](size_t row) {
        return clbCalib->item(static_cast<int>(row))->checkState() == Qt::Checked;
    };
    auto label = [](int32_t index) { return device::Format("%2.2d", index + 1); };

    for (size_t row = 0; row < RowChannels.size() && !Stopped(); ++row) {
        if (!checked(row)) continue;
        const int32_t index = RowChannels[row];
        const std::string l = label(index);
        SetAction(device::Format("   %s: Start", l));
        if (clear) {
            ClearChannel(index, l, state);
        } else {
            state.DefaultsOk[row] = AdjustChannel(index, l, average, state);
            if (!Stopped() && store && storeEach && state.DefaultsOk[row])
                state.AllOk = StoreAdjusted(index, l) && state.AllOk;
        }
        {
            // An aborted channel gets its defaults back even when the program ends.
            std::optional<device::TI2CHAL::TWriteAllowance> allowed;
            if (Stopped() && Translator->HAL) allowed.emplace(*Translator->HAL);
            Translator->LoadDefaults(index);
            Translator->NewConfig(0, true);
        }
    }

    if (!clear && !Stopped() && store && !storeEach) {
        for (size_t row = 0; row < RowChannels.size(); ++row) {
            if (!checked(row) || !state.DefaultsOk[row]) continue;
            state.AllOk = StoreAdjusted(RowChannels[row], label(RowChannels[row])) && state.AllOk;
        }
    }
    SetAction(Stopped() || !state.AllOk ? "   Aborted by user or error!" : "   Finished.");
}

void TZeroAdjustForm::EndRun() {
    UnhookDeviceLost();
    Running = false;
    gbOptions->setEnabled(true);
    btnOK->setEnabled(false);
    pbChannel->setValue(pbChannel->maximum());
    pbTotal->setValue(pbTotal->maximum());
    btnCancel->setText(ToQt(GetText(465)));
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

bool TZeroAdjustForm::AdjustChannel(int32_t index, const std::string& label, int32_t average,
                                    TRunState& state) {
    model::TI2CTranslator& t = *Translator;
    t.ApplySensorType(index, model::stOff);
    t.NewConfig(0, true);
    const int lastCoupling = cbGNDonly->isChecked() ? 0 : kLastCoupling;
    // Word 8 of the defaults comes from one step; without it the channel is not stamped or stored.
    bool defaultsOk = false;
    for (int c = 0; c <= lastCoupling; ++c) {
        Pending();
        if (Stopped()) break;
        t.SetReference(index, c == 0 ? kReferenceOduOff : kReferenceOduOn);
        t.SetRange(index, 0);
        t.SetCoupling(index, static_cast<uint8_t>(c));
        for (int r = 0; r <= kLastRange; ++r) {
            Pending();
            if (Stopped()) break;
            t.SetRange(index, static_cast<uint8_t>(r));
            model::TQRBRawChannel* ch = t.GetChannel(index);
            const uint8_t version = ch != nullptr ? ch->Info.Version : 0;
            SetAction(device::Format("   %s:  %s  (%s)", label,
                                     device::CouplingToText(static_cast<uint8_t>(c)),
                                     device::VoltageRangeToText(version, static_cast<uint8_t>(r))) +
                      " ... ");
            Pending();
            const bool ok = AdjustStep(index, average);
            AppendAction(ok ? " OK " : " ERR ");
            if (ok && cbGNDonly->isChecked() && ch != nullptr) {
                auto& offsets = ch->Calibration.ZeroOffsets;
                for (size_t k = 1; k < device::kCouplingCount; ++k)
                    offsets[k][static_cast<size_t>(r)] = offsets[0][static_cast<size_t>(r)];
            }
            if (!ok) state.AllOk = false;
            if (c == kDefaultsCoupling && r == kDefaultsRange) defaultsOk = ok;
            Pending();
            StepIt(pbChannel);
        }
    }
    StepIt(pbTotal);
    return defaultsOk;
}

bool TZeroAdjustForm::AdjustStep(int32_t index, int32_t average) {
    try {
        return Translator->NewConfig(0, true) && Translator->Autozero(index, average);
    } catch (const model::ETranslatorError&) {
        // A converter write that got no answer raises; the run ends as for any lost device.
        if (!Stopped()) throw;
        return false;
    }
}

bool TZeroAdjustForm::Stopped() {
    // An operation that got no answer means the device is gone, before its loss is reported.
    if (!deviceLost_ && Running && Translator != nullptr && Translator->NoAnswers != noAnswersAtStart_)
        deviceLost_ = true;
    return AbortRequested || deviceLost_;
}

void TZeroAdjustForm::ClearChannel(int32_t index, const std::string& label, TRunState& state) {
    model::TQRBRawChannel* ch = Translator->GetChannel(index);
    if (ch == nullptr) return;
    for (int c = 0; c <= kLastCoupling; ++c) {
        for (int r = 0; r <= kLastRange; ++r) {
            SetAction(device::Format("   %s:  %s  (%s)", label,
                                     device::CouplingToText(static_cast<uint8_t>(c)),
                                     device::VoltageRangeToText(ch->Info.Version, static_cast<uint8_t>(r))) +
                      " ... ");
            ch->Calibration.ZeroOffsets[static_cast<size_t>(c)][static_cast<size_t>(r)] = {kNotAdjusted,
                                                                                           kNotAdjusted};
            Pending();
            StepIt(pbChannel);
        }
    }
    SetDate(*ch);
    ch->Calibration.SetSource(kSourceCleared);
    ch->Calibration.AdjustMarker = kMarkerCleared;
    state.AllOk = StoreChannel(index, label, kNotAdjusted) && state.AllOk;
    StepIt(pbTotal);
}

void TZeroAdjustForm::SetDate(model::TQRBRawChannel& channel) const {
    // Only the characters: the length byte before them stays as the table had it.
    const std::string date = device::FormatDateTime("yyyy-mm-dd", Today());
    auto& chars = channel.Calibration.CalibDate.Chars;
    chars.fill(0);
    std::copy_n(date.begin(), std::min(date.size(), chars.size()), chars.begin());
}

bool TZeroAdjustForm::StoreAdjusted(int32_t index, const std::string& label) {
    model::TQRBRawChannel* ch = Translator->GetChannel(index);
    if (ch == nullptr) return false;
    SetDate(*ch);
    ch->Calibration.SetSource(kSourceAdjusted);
    ch->Calibration.AdjustMarker = kMarkerAdjusted;
    return StoreChannel(index, label, ch->Calibration.ZeroOffsets[kDefaultsCoupling][kDefaultsRange][0]);
}

bool TZeroAdjustForm::StoreChannel(int32_t index, const std::string& label, uint16_t offset) {
    model::TQRBRawChannel* ch = Translator->GetChannel(index);
    if (ch == nullptr) return false;
    SetAction(device::Format("   %s: storing ...", label));
    Pending();
    if (!Translator->StoreCalibration(index)) {
        // Defaults that point at a table the channel does not hold would be worse than none.
        AppendAction(" ERR ");
        Pending();
        return false;
    }
    SetAction(device::Format("   %s: please wait ...", label));
    Pending();
    device::MainLoop().Sleep(kStorePauseMs);
    uint16_t& word = ch->Info.Defaults.Words[kOffsetDACWord];
    const uint16_t previous = word;
    word = offset;
    if (!Translator->StoreDefaults(index)) {
        // The model keeps what the device holds.
        word = previous;
        AppendAction(" ERR ");
        Pending();
        return false;
    }
    SetAction(device::Format("   %s: stored!", label));
    Pending();
    device::MainLoop().Sleep(kStorePauseMs);
    return true;
}

void TZeroAdjustForm::SetAction(const std::string& text) {
    stAction->setText(ToQt(text));
}

void TZeroAdjustForm::AppendAction(const std::string& text) {
    stAction->setText(stAction->text() + ToQt(text));
}

void TZeroAdjustForm::Pending() {
    if (ProcessPending)
        ProcessPending();
    else
        QCoreApplication::processEvents();
}

void TZeroAdjustForm::StepIt(QProgressBar* bar) {
    // Past its maximum the bar starts over, as a stepped progress bar does.
    int value = bar->value() + 1;
    if (value > bar->maximum()) value = bar->minimum() + 1;
    bar->setValue(std::min(value, bar->maximum()));
}

void TZeroAdjustForm::HookDeviceLost() {
    if (hooked_ || Translator == nullptr) return;
    previousLost_ = Translator->OnDeviceLost;
    Translator->OnDeviceLost = [this](const void* sender, const std::string& text) {
        deviceLost_ = true;
        if (previousLost_) previousLost_(sender, text);
    };
    hooked_ = true;
}

void TZeroAdjustForm::UnhookDeviceLost() {
    if (!hooked_) return;
    if (Translator != nullptr) Translator->OnDeviceLost = previousLost_;
    previousLost_ = nullptr;
    hooked_ = false;
}

} // namespace qrb::ui
