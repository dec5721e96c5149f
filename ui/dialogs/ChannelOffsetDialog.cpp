#include "ui/dialogs/ChannelOffsetDialog.h"

#include "model/I2CTranslator.h"
#include "model/QRBRawCalibration.h"
#include "ui/platform/ScreenPlacement.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace qrb::ui {

namespace {

struct TPreset {
    const char* Caption;
    int Track;
    int Spin;
};
constexpr TPreset kPresets[5] = {
    {"0%", 0, 0}, {"-50%", 50, -500}, {"-100%", 100, -1000}, {"50%", -50, 500}, {"100%", -100, 1000}};

QToolButton* PresetButton(QWidget* parent, int number) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("SpeedButton%1").arg(number));
    button->setText(QString::fromLatin1(kPresets[number - 1].Caption));
    button->setMinimumWidth(48);
    return button;
}

} // namespace

uint16_t OffsetZero(const model::TQRBRawChannel& channel, bool relayOn) {
    return model::UsableZeroOffset(channel.Calibration, channel.CouplingCache, channel.RangeCache,
                                   relayOn ? 1 : 0);
}

uint16_t OffsetDACValue(const model::TQRBRawChannel& channel, int perMille) {
    const double value = std::nearbyint(perMille * 1.024 + OffsetZero(channel, true));
    return static_cast<uint16_t>(std::clamp(value, 0.0, 4095.0));
}

int OffsetPerMille(const model::TQRBRawChannel& channel) {
    if (channel.OffsetCache == 0) return 0;
    const int counts = static_cast<int>(channel.OffsetDACCache) - static_cast<int>(OffsetZero(channel, true));
    return static_cast<int>(std::nearbyint(counts / 1.024));
}

void WriteOffsetToSelected(model::TI2CTranslator& translator, bool active, int perMille) {
    const int count = translator.ChannelCount();
    for (int i = 0; i < count; ++i) {
        const model::TQRBRawChannel* channel = translator.GetChannel(i);
        if (channel == nullptr || !channel->Present || !translator.IsSelected(i)) continue;
        if (active) {
            translator.SetDACs(i, channel->PowerDACCache, OffsetDACValue(*channel, perMille));
            translator.SetOffset(i, 1);
        } else {
            translator.SetDACs(i, channel->PowerDACCache, OffsetZero(*channel, false));
            translator.SetOffset(i, 0);
        }
    }
}

TChannelOffsetForm::TChannelOffsetForm(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("ChannelOffsetForm"));
    setWindowTitle(QStringLiteral("Offset"));

    cbOffsetActive = new QCheckBox(QStringLiteral(" Offset aktiv"), this);
    cbOffsetActive->setObjectName(QStringLiteral("cbOffsetActive"));

    gbxOffset = new QGroupBox(this);
    gbxOffset->setObjectName(QStringLiteral("gbxOffset"));
    trbOffset = new QSlider(Qt::Vertical, gbxOffset);
    trbOffset->setObjectName(QStringLiteral("trbOffset"));
    // The lowest position at the top: position -(per mille / 10), so the top end is the positive one.
    trbOffset->setInvertedAppearance(true);
    trbOffset->setInvertedControls(true);
    trbOffset->setTickPosition(QSlider::TicksBothSides);
    trbOffset->setTickInterval(50);
    trbOffset->setMinimumHeight(180);
    lbMaxFSR = new QLabel(gbxOffset);
    lbMaxFSR->setObjectName(QStringLiteral("lbMaxFSR"));
    lbMinFSR = new QLabel(gbxOffset);
    lbMinFSR->setObjectName(QStringLiteral("lbMinFSR"));
    lbZero = new QLabel(QStringLiteral("0%"), gbxOffset);
    lbZero->setObjectName(QStringLiteral("lbZero"));
    lbOffset = new QLabel(QStringLiteral("Offset"), gbxOffset);
    lbOffset->setObjectName(QStringLiteral("lbOffset"));
    seOffset = new QSpinBox(gbxOffset);
    seOffset->setObjectName(QStringLiteral("seOffset"));
    lbUnit = new QLabel(QString::fromUtf8("\xE2\x80\xB0"), gbxOffset);
    lbUnit->setObjectName(QStringLiteral("lbUnit"));
    SpeedButton1 = PresetButton(gbxOffset, 1);
    SpeedButton2 = PresetButton(gbxOffset, 2);
    SpeedButton3 = PresetButton(gbxOffset, 3);
    SpeedButton4 = PresetButton(gbxOffset, 4);
    SpeedButton5 = PresetButton(gbxOffset, 5);

    auto* scale = new QVBoxLayout;
    scale->addWidget(lbMaxFSR);
    scale->addStretch(1);
    scale->addWidget(lbZero);
    scale->addStretch(1);
    scale->addWidget(lbMinFSR);
    auto* value = new QHBoxLayout;
    value->addWidget(seOffset);
    value->addWidget(lbUnit);
    auto* right = new QVBoxLayout;
    right->addWidget(lbOffset);
    right->addLayout(value);
    right->addSpacing(8);
    for (QToolButton* button : {SpeedButton5, SpeedButton4, SpeedButton1, SpeedButton2, SpeedButton3})
        right->addWidget(button);
    right->addStretch(1);
    auto* group = new QHBoxLayout(gbxOffset);
    group->addWidget(trbOffset);
    group->addLayout(scale);
    group->addSpacing(12);
    group->addLayout(right);

    btnApply = new QPushButton(this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setAutoDefault(false);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(ToDisplay(GetText(453)), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnApply);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cbOffsetActive);
    layout->addWidget(gbxOffset, 1);
    layout->addLayout(buttons);

    SetLimited(false);
    gbxOffset->setVisible(false);

    connect(cbOffsetActive, &QCheckBox::toggled, this, [this] { cbOffsetActiveClick(); });
    connect(trbOffset, &QSlider::valueChanged, this, [this] { trbOffsetChange(); });
    connect(seOffset, &QSpinBox::valueChanged, this, [this] { seOffsetChange(); });
    const std::array<QToolButton*, 5> presets = {SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4,
                                                 SpeedButton5};
    for (int i = 0; i < 5; ++i)
        connect(presets[static_cast<size_t>(i)], &QToolButton::clicked, this,
                [this, i] { SpeedButtonClick(i + 1); });
    connect(btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    seOffset->installEventFilter(this);
    if (QLineEdit* edit = seOffset->findChild<QLineEdit*>()) edit->installEventFilter(this);
}

void TChannelOffsetForm::SetLimited(bool limited) {
    limited_ = limited;
    const int percent = limited ? 100 : 200;
    Updating = true;
    trbOffset->setRange(-percent, percent);
    seOffset->setRange(-10 * percent, 10 * percent);
    Updating = false;
    lbMaxFSR->setText(QStringLiteral("%1% FSR").arg(percent));
    lbMinFSR->setText(QStringLiteral("-%1% FSR").arg(percent));
    // A value the new range cut moves the other control too.
    seOffsetChange();
}

void TChannelOffsetForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
    // The caller placed the window before its frame was known; the frame comes with the window
    // manager, at the latest by the first activation.
    KeepOnScreen(this);
    framePending_ = true;
}

bool TChannelOffsetForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && framePending_) {
        framePending_ = false;
        KeepOnScreen(this);
    }
    return QDialog::event(event);
}

void TChannelOffsetForm::FormShow() {
    BitBtn2->setText(ToDisplay(GetText(453)));
    cbOffsetActive->setFocus();
    SetLimited(limited_);
}

void TChannelOffsetForm::cbOffsetActiveClick() {
    gbxOffset->setVisible(cbOffsetActive->isChecked());
    // The window grows with the group; it stays on the screen.
    if (isVisible()) {
        layout()->activate();
        KeepOnScreen(this);
    }
}

void TChannelOffsetForm::trbOffsetChange() {
    if (Updating) return;
    Updating = true;
    seOffset->setValue(-10 * trbOffset->value());
    Updating = false;
}

void TChannelOffsetForm::seOffsetChange() {
    if (Updating) return;
    Updating = true;
    trbOffset->setValue(-(seOffset->value() / 10));
    Updating = false;
}

void TChannelOffsetForm::SpeedButtonClick(int button) {
    if (button < 1 || button > 5) return;
    const TPreset& preset = kPresets[button - 1];
    Updating = true;
    trbOffset->setValue(preset.Track);
    seOffset->setValue(preset.Spin);
    Updating = false;
}

void TChannelOffsetForm::btnApplyClick() {
    if (Translator == nullptr) return;
    const bool adHoc = AdHocButton != nullptr && AdHocButton->isChecked();
    const bool pending = PendingFlag != nullptr && *PendingFlag;
    if (!adHoc && !pending) Translator->TakeSnapshot();
    seOffset->interpretText();
    WriteOffsetToSelected(*Translator, cbOffsetActive->isChecked(), seOffset->value());
    if (PendingFlag != nullptr) *PendingFlag = true;
    if (OnApplied) OnApplied(true);
}

bool TChannelOffsetForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter applies without closing the window.
            btnApplyClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace qrb::ui
