#pragma once
// The channel offset window TChannelOffsetForm: switches the DC output offset of the selected
// channels on or off and sets its size in per mille of full scale, with a vertical track bar, a
// spin edit and five presets. Created once and reused; the caller sets its fields before each
// opening. Apply writes the pending images and lets the caller apply at once (OnApplied).

#include <QDialog>

#include <cstdint>
#include <functional>

class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

namespace qrb::model {
class TI2CTranslator;
class TQRBRawChannel;
} // namespace qrb::model

namespace qrb::ui {

// The offset DAC zero of the channel's coupling and range for the offset relay on or off: the
// calibration's entry when the table is usable, else 2048.
uint16_t OffsetZero(const model::TQRBRawChannel& channel, bool relayOn);
// The offset DAC value of a spin value (per mille of full scale) on a channel with the offset
// on: Round(value x 1.024 + zero), halves to even, limited to 0..4095.
uint16_t OffsetDACValue(const model::TQRBRawChannel& channel, int perMille);
// The spin value that shows a channel's pending offset: Round((offset DAC - zero) / 1.024) with
// the offset on, else 0.
int OffsetPerMille(const model::TQRBRawChannel& channel);
// The offset onto every present and selected channel: with active, the value and the offset
// relay on, else the relay-off zero and the relay off. The pending power DAC is kept.
void WriteOffsetToSelected(model::TI2CTranslator& translator, bool active, int perMille);

class TChannelOffsetForm : public QDialog {
    Q_OBJECT
public:
    explicit TChannelOffsetForm(QWidget* parent = nullptr);

    // Set by the caller before each opening.
    model::TI2CTranslator* Translator = nullptr;
    std::function<void(bool)> OnApplied;
    QAbstractButton* AdHocButton = nullptr; // checked: ad-hoc mode
    bool* PendingFlag = nullptr;            // the main window's ChangesPending
    int Row = 0;
    bool Updating = false;

    // The offset range: +-100 % of full scale when limited, else +-200 %.
    bool Limited() const { return limited_; }
    void SetLimited(bool limited);

    QCheckBox* cbOffsetActive;
    QGroupBox* gbxOffset;
    QSlider* trbOffset;
    QSpinBox* seOffset;
    QLabel* lbMaxFSR;
    QLabel* lbMinFSR;
    QLabel* lbOffset;
    QLabel* lbZero;
    QLabel* lbUnit;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton2;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton4;
    QToolButton* SpeedButton5;
    QPushButton* btnApply;
    QPushButton* BitBtn1; // OK
    QPushButton* BitBtn2; // Cancel

    void FormShow();
    void cbOffsetActiveClick();
    void trbOffsetChange();
    void seOffsetChange();
    // Presets 1..5: "0%", "-50%", "-100%", "50%", "100%".
    void SpeedButtonClick(int button);
    void btnApplyClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool limited_ = false;
    bool framePending_ = false; // shown, not yet activated: the frame may still change
};

} // namespace qrb::ui
