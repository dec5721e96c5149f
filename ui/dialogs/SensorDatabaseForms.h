#pragma once
// The sensor database dialogs: TTEDSInfoForm lists the stored sensor configurations (or only the
// newly found ones), shows the details of the selected one and adds, deletes and edits entries;
// TTEDSEditForm edits one entry on a working copy of its whole record, so bytes the editor
// does not know survive an edit. Both work on the translator's sensor list only; whoever opens
// the database dialog saves the list after OK or reloads it otherwise.

#include "model/SensorDatabase.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace qrb::model {
class TI2CTranslator;
}

namespace qrb::ui {

// The characters a description takes in the record (a line break is stored as CR LF).
inline constexpr int kDescriptionLength = 200;
int StoredDescriptionLength(const QString& memoText);

// Counts per milliampere and per volt of the stored DAC values.
inline constexpr double kCountsPerMilliampere = 78.63576399;
inline constexpr double kCountsPerVolt = 105.4583;

// The details of an entry, one line each, as the database dialog shows them.
std::vector<std::string> SensorDetailLines(const model::TSensorRecord& rec);
// An ID typed by the user: trimmed, ASCII letters upper-cased; false unless 16 hex digits.
bool NormalizeSensorId(const std::string& input, std::string& id);
// The record of a manually added entry with that ID.
model::TSensorRecord ManualSensorRecord(const std::string& id);
// The offset in percent of an offset DAC value and back (2048 is 0 %).
int OffsetPercent(uint16_t offsetDAC);
uint16_t OffsetDACFromPercent(int percent);

class TTEDSEditForm;

class TTEDSInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TTEDSInfoForm(QWidget* parent = nullptr);

    // Set by the opener before showing; never freed here.
    model::TI2CTranslator* Translator = nullptr;
    bool Changed = false;
    bool NewOnly = false;
    // Runs the editor modally and gives its result (tests script it).
    std::function<int(TTEDSEditForm& editor)> ExecEditor;

    QLabel* lbTEDSHeader;
    QListWidget* lbTEDS; // each item's text is a sensor ID; the row shows the sensor name
    QLabel* sttUID;
    QPlainTextEdit* mmTEDSInfo;
    QGroupBox* gbxTEDScontrol;
    QPushButton* btnAddTEDS;
    QPushButton* btnDelTEDS;
    QPushButton* btnEditTEDS;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    void FormShow();
    void RefreshList();
    void ShowSelection();
    void btnAddTEDSClick();
    void btnDelTEDSClick();
    void btnEditTEDSClick();
    void btnCancelClick();

    // The row showing id, -1 when none does.
    int RowOf(const std::string& id) const;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // Escape and the close button: the Cancel rule

private:
    void SelectRow(int row);
    void EnableEntryButtons(bool enabled);
    std::string SelectedId() const;
};

class TTEDSEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TTEDSEditForm(QWidget* parent = nullptr);

    // Set by the opener before showing; the form never frees it. OK copies Work into it.
    model::TTEDSBlock* Entry = nullptr;
    model::TSensorRecord Work;
    bool Updating = false;
    bool Changed = false;

    QLabel* lbSensorname;
    QLineEdit* ebxSensorname;
    QLabel* lbDisplayname;
    QLineEdit* ebxDisplayName;
    QLabel* lbDescription;
    QPlainTextEdit* mmDesc;
    QLabel* lbSensortype;
    QComboBox* cbSensorType;
    QLabel* lbRange;
    QComboBox* cbSensorRange;
    QLabel* lbSensorCoupling;
    QComboBox* cbSensorCoupling;
    QLabel* lbSensorCurrent;
    QComboBox* cbSensorCurrent;
    QLabel* lbSensorPwrSignal;
    QComboBox* cbSensorPwrSignal;
    QLabel* lbSensorVoltage;
    QComboBox* cbSensorVoltage;
    QLabel* lbSensorResistor;
    QComboBox* cbSensorResistor;
    QLabel* lbSensorShunt;
    QComboBox* cbSensorShunt;
    QLabel* lbSensorSense;
    QComboBox* cbSensorSense;
    QLabel* lbVoltSupply;
    QComboBox* cbVoltSupply;
    QLabel* lbVSP;
    QComboBox* cbVSP;
    QLabel* lbSensorOptions;
    QCheckBox* cbSensorPwrFilter;
    QCheckBox* cbSensorOffset;
    QSpinBox* seSensorOffset;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    void FormShow();
    void cbSensorTypeChange();
    void ControlChange();
    void cbVSPChange();
    void btnOkClick();
    void btnCancelClick();

    // The value (decimal text) of a list's selected item; -1 with none.
    static int SelectedValue(const QComboBox* list);

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void FillList(QComboBox* list, int tag, const std::vector<int>& values);
    // Takes back what the last edit of the description added beyond what the record holds.
    void LimitDescription();
    void SetVoltSupplyList();
    void ShowSenseList();
    int SupplyMode() const;

    int descEditPos_ = 0; // the description's last edit: where, and how many characters it added
    int descEditAdded_ = 0;
};

} // namespace qrb::ui
