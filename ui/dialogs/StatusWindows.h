#pragma once
// The small status and information windows: the confirmation box, the busy pop-up, the text
// window, the channel error window, the device status window, the offline dialog and the
// extended channel information. Every one lives on the main thread.

#include "model/QRBRawChannel.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace qrb::model {
class TI2CTranslator;
}

namespace qrb::ui {

// ---- Confirmation box ---------------------------------------------------------------------

// The Yes/No box: 6 Yes (default button), 7 No (Escape), 2 closed otherwise.
class TQRBMessageForm : public QDialog {
    Q_OBJECT
public:
    TQRBMessageForm(const QString& caption, const QString& header, const QString& text, QWidget* parent);

    QLabel* lbHeader;
    QLabel* lbText;
    QPushButton* btnYes;
    QPushButton* btnNo;

protected:
    void reject() override; // Escape answers No; the close button gives 2 (closeEvent)
    void closeEvent(QCloseEvent* event) override;

private:
    bool closing_ = false;
};

// Shows the confirmation box with the texts of the three IDs through the message service.
int QRBMessageDlg(int captionId, int headerId, int textId);

// ---- Busy pop-up --------------------------------------------------------------------------

class TStatusWinForm : public QWidget {
    Q_OBJECT
public:
    explicit TStatusWinForm(QWidget* center);

    QLabel* lbStatHeader;
    QLabel* lbStatText;
};

// Shows the pop-up for its lifetime: created, filled and painted once synchronously on the
// main thread; the caller then lets pending events run once so that it reaches the screen.
class TBusyPopup {
public:
    TBusyPopup(const std::string& header, const std::string& text, QWidget* center = nullptr);
    ~TBusyPopup();
    TBusyPopup(const TBusyPopup&) = delete;
    TBusyPopup& operator=(const TBusyPopup&) = delete;

    TStatusWinForm* Form() const { return form_; }
    // The pop-up shown now, if any (for tests).
    static TStatusWinForm* Current();

private:
    TStatusWinForm* form_;
};

// ---- Text window --------------------------------------------------------------------------

class TDeviceInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TDeviceInfoForm(QWidget* parent);

    void AddLine(const std::string& line);
    void AddText(const std::string& text); // split at line breaks
    std::vector<std::string> Lines() const;

    // "info" when empty at save time.
    std::string FilePrefix;
    // Initial folder of the save dialog (the program's folder).
    std::string SaveFolder;

    QPlainTextEdit* mmInfo;
    QPushButton* btnOk;
    QPushButton* btnSave;

    // The save dialog's proposal: prefix "_" yyyy_mm_dd ".log".
    static std::string ProposedFileName(const std::string& prefix, int year, int month, int day);

public slots:
    void btnSaveClick();

protected:
    void showEvent(QShowEvent* event) override;
};

// Writes lines as Windows-1252 with CR LF, replacing the file. False with error.
bool SaveTextLines(const std::string& path, const std::vector<std::string>& lines, std::string& error);

// ---- Channel error window -----------------------------------------------------------------

class TChannelStatusForm : public QWidget {
    Q_OBJECT
public:
    TChannelStatusForm();

    model::TI2CTranslator* Translator = nullptr;
    int ChannelIndex = 0;

    void UpdateChannelStatus();

    QGroupBox* gbxStatus;
    QLabel* lbKind;
    QLabel* stChannel;
    QPlainTextEdit* mmErr;
};

// The error lines of a status byte: bits 2..7 in order, each "  " + text (the memo's lines
// after its empty first line).
std::vector<std::string> ChannelErrorLines(uint8_t bits);

// ---- Device status window -----------------------------------------------------------------

class TDeviceStatusForm : public QWidget {
    Q_OBJECT
public:
    TDeviceStatusForm();

    // The device status report; the refresh adds it (an empty report leaves the memo empty).
    std::function<std::string()> StatusReport;
    // False while the main window is busy: the refresh then does nothing.
    std::function<bool()> CanRefresh;

    QPlainTextEdit* mmStatus;
    QPushButton* btnRefresh;
    QPushButton* btnOK;
    QCheckBox* cbStayOnTop;

public slots:
    void btnRefreshClick();
    void btnOKClick();
    void cbStayOnTopClick();

protected:
    void showEvent(QShowEvent* event) override;
    // Escape closes it as OK does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool keepPlace_ = false;
};

// ---- Offline dialog -----------------------------------------------------------------------

class TOfflineForm : public QDialog {
    Q_OBJECT
public:
    explicit TOfflineForm(QWidget* parent);

    QLabel* lbMainTitle;
    QLabel* lbTopic1Text;
    QLabel* lbText2;
    QLabel* lbDevices;
    QSpinBox* seDevices;
    QLabel* lbChannels;
    QSpinBox* seChannels;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ApplyTexts();
};

// ---- Extended channel information ---------------------------------------------------------

// The table lines for the channels whose selected flag is set (null channels are skipped).
std::vector<std::string> ExtChannelInfoLines(const std::vector<const model::TQRBRawChannel*>& channels,
                                             const std::vector<bool>& selected);

class TExtChannelInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TExtChannelInfoForm(QWidget* parent);

    model::TI2CTranslator* Translator = nullptr;

    void AddInfoLine(const std::string& text);

    QPlainTextEdit* mmStatus;
    QPushButton* btnOK;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace qrb::ui
