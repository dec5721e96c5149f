#pragma once
// The zero adjustment dialog TZeroAdjustForm: finds, channel by channel, the offset DAC value of
// zero output for every coupling and range (or coupling 0 only, copied to the others), stamps and
// stores the calibration table and the default image in the channel, and reloads the channel's
// defaults; or clears the adjusted values instead. The run works on the main thread inside the
// Run button's handler and lets pending events run between its steps, so Cancel can ask to abort.

#include "device/Format.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace qrb::model {
class TI2CTranslator;
class TQRBRawChannel;
} // namespace qrb::model

namespace qrb::ui {

inline constexpr int kZeroStepsGndOnly = 26;
inline constexpr int kZeroStepsAll = 182;

class TZeroAdjustForm : public QDialog {
    Q_OBJECT
public:
    explicit TZeroAdjustForm(QWidget* parent = nullptr);
    ~TZeroAdjustForm() override;

    // Set before the dialog is shown.
    model::TI2CTranslator* Translator = nullptr;
    bool Running = false;
    bool AbortRequested = false;
    // The translator index of each row of clbCalib.
    std::vector<int32_t> RowChannels;

    // The pending-event pass between the steps (tests step their own loop here).
    std::function<void()> ProcessPending;
    // The day stamped into the tables.
    std::function<device::TDateTime()> Today;

    QLabel* lbMainTitle;
    QLabel* lbTopic1Text;
    QGroupBox* gbOptions;
    QListWidget* clbCalib;
    QCheckBox* cbSaveToChannel;
    QCheckBox* cbSaveChannel;
    QCheckBox* cbResetOffset;
    QCheckBox* cbQuickAdjust;
    QCheckBox* cbGNDonly;
    QLabel* lbAction;
    QLabel* stAction;
    QLabel* lbChannel;
    QProgressBar* pbChannel;
    QLabel* lbTotal;
    QProgressBar* pbTotal;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // Fills the list; throws std::runtime_error without a translator. The first show event
    // runs it, later ones (hide and show, restore from minimised) do not.
    void FormShow();
    void clbCalibClick();
    void cbGNDonlyClick();
    void cbResetOffsetClick();
    void cbSaveToChannelClick();
    void btnOKClick();
    void btnCancelClick();

    // A device was lost since the run started, reported or seen as an operation that got no
    // answer (it ends the run as an abort does).
    bool DeviceLost() const { return deviceLost_; }
    // The names of the devices that ended a run of this window by an operation that got no
    // answer. Their loss may never be reported: a device whose data side froze still answers
    // the keep-alive's knock.
    const std::vector<std::string>& SilentDevices() const { return silentDevices_; }

    // Escape: the Cancel button.
    void reject() override;

public slots:
    // The program ends: an idle window closes as Cancel does; a run is aborted at its next step
    // as Cancel -> Yes aborts it, and the window closes after it.
    void EndForTermination();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct TRunState;
    void Run();
    void EndRun();
    // Returns whether the step Info.Defaults word 8 is taken from held.
    bool AdjustChannel(int32_t index, const std::string& label, int32_t average, TRunState& state);
    void ClearChannel(int32_t index, const std::string& label, TRunState& state);
    // Stamps the table as adjusted and stores it with the default offset of coupling 0, range 4.
    bool StoreAdjusted(int32_t index, const std::string& label);
    bool StoreChannel(int32_t index, const std::string& label, uint16_t offset);
    void SetAction(const std::string& text);
    void AppendAction(const std::string& text);
    void Pending();
    void StepIt(QProgressBar* bar);
    void SetDate(model::TQRBRawChannel& channel) const;
    bool Stopped();
    void NoteSilentDevices();
    // One adjustment step: the commit and the autozero; a loss raised inside a reading fails it.
    bool AdjustStep(int32_t index, int32_t average);
    void HookDeviceLost();
    void UnhookDeviceLost();

    bool filling_ = false;
    bool filled_ = false;
    bool closeAfterRun_ = false;
    bool deviceLost_ = false;
    bool hooked_ = false;
    std::vector<uint32_t> noAnswersAtStart_;
    std::vector<std::string> silentDevices_;
    std::function<void(const void*, const std::string&)> previousLost_;
};

} // namespace qrb::ui
