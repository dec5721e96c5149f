#pragma once
// Every message box, confirmation box, file dialog and input box of the program goes through
// one service, so tests can compare the exact texts and give the answers. The widget service
// shows real dialogs; the scripted service records each request and answers from a list; with
// QRB_MESSAGES=print in the environment the program prints each request on standard output
// and answers from QRB_MESSAGE_ANSWERS (items separated by '|').

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace qrb::ui {

// Modal results of the confirmation box.
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;
inline constexpr int kResultClosed = 2;

enum class TMessageKind : uint8_t { Message, Error, Confirm, SaveFile, OpenFile, Input, Warning };

struct TFileDialogRequest {
    std::string Title;
    std::string Filter; // "Name|*.ext|Name|*.*"
    std::string DefaultExt;
    std::string InitialFolder;
    std::string FileName;
    // A save dialog's command may write another file than the name chosen: this gives it, and
    // the question before overwriting asks about that file (unset: the name chosen).
    std::function<std::string(const std::string&)> WrittenFile;
};

// The extension (with its dot) a file dialog gives a name typed without one: that of the file
// type chosen in the filter (filterIndex from 0; its first pattern), else, for a wildcard type
// ("*.*") or an index outside the filter, the default extension; empty when neither names one.
std::string DialogExtension(const TFileDialogRequest& request, int filterIndex);
// fileName as the dialog returns it: with DialogExtension appended when its last path element
// has no extension, else unchanged.
std::string WithDialogExtension(const std::string& fileName, const TFileDialogRequest& request,
                                int filterIndex);

class TMessageService {
public:
    virtual ~TMessageService() = default;
    // A plain message box (the class library's ShowMessage).
    virtual void ShowMessage(const std::string& text) = 0;
    // The application's error box (an exception that reached the event loop).
    virtual void ShowError(const std::string& text) = 0;
    // A message box with the warning icon.
    virtual void ShowWarning(const std::string& text) = 0;
    // The Yes/No confirmation box with its three texts; 6 Yes, 7 No, 2 closed.
    virtual int Confirm(const std::string& caption, const std::string& header, const std::string& text) = 0;
    // A file chosen in a save or open dialog; false when cancelled.
    virtual bool SaveFileName(const TFileDialogRequest& request, std::string& fileName) = 0;
    virtual bool OpenFileName(const TFileDialogRequest& request, std::string& fileName) = 0;
    // A one-line input box; false when cancelled, value unchanged.
    virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
};

// The process-wide service (the widget service unless one was installed).
TMessageService& Messages();
// Installs service (not owned); nullptr restores the default. Returns the previous one.
TMessageService* SetMessageService(TMessageService* service);

// The program ends: every box and dialog the widget service shows now is closed with the answer
// Escape gives (No, cancelled), and those asked for later give it at once without showing. Every
// other modal dialog, open now or shown later, ends as rejected without asking (a dialog with a
// slot EndForTermination() ends through it). A command that asked a box checks
// MessageBoxesEnded() before it goes on to the devices.
void EndMessageBoxes();
bool MessageBoxesEnded();
// Boxes are shown again (a new start within the same process).
void ResumeMessageBoxes();

// Runs fn; an exception it throws is shown in the error box (nothing may leave a Qt handler).
template <class F> void Guarded(F&& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        Messages().ShowError(e.what());
    } catch (...) {
        Messages().ShowError("unknown error");
    }
}

class TScopedMessageService {
public:
    explicit TScopedMessageService(TMessageService& service) : previous_(SetMessageService(&service)) {}
    ~TScopedMessageService() { SetMessageService(previous_); }
    TScopedMessageService(const TScopedMessageService&) = delete;
    TScopedMessageService& operator=(const TScopedMessageService&) = delete;

private:
    TMessageService* previous_;
};

// Real dialogs, owned by the application's main window when there is one.
class TWidgetMessageService : public TMessageService {
public:
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    int Confirm(const std::string& caption, const std::string& header, const std::string& text) override;
    bool SaveFileName(const TFileDialogRequest& request, std::string& fileName) override;
    bool OpenFileName(const TFileDialogRequest& request, std::string& fileName) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;

    // The parent of every dialog (the main window once it exists).
    static QWidget* DialogParent();
};

struct TMessageRecord {
    TMessageKind Kind = TMessageKind::Message;
    std::string Caption; // confirmation caption, dialog title, input caption
    std::string Header;  // confirmation header, input prompt
    std::string Text;    // message text, confirmation text, proposed file name, input value
    TFileDialogRequest Dialog;
};

// Records every request; answers are taken in order from Answers: a confirmation takes a number
// (6, 7, 2), a file dialog a file name (typed as a user types it: it gets the extension of the
// file type FilterIndex chooses when it has none), an input box the value; an empty answer
// cancels a dialog. With no answer left a confirmation answers DefaultConfirm and dialogs are
// cancelled.
// With Print set each request is also written to standard output as one line.
class TScriptedMessageService : public TMessageService {
public:
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    int Confirm(const std::string& caption, const std::string& header, const std::string& text) override;
    bool SaveFileName(const TFileDialogRequest& request, std::string& fileName) override;
    bool OpenFileName(const TFileDialogRequest& request, std::string& fileName) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;

    std::vector<TMessageRecord> Records;
    std::deque<std::string> Answers;
    int DefaultConfirm = kResultNo;
    // The file type chosen in every file dialog's filter (from 0).
    int FilterIndex = 0;
    bool Print = false;

    // Only the texts of the message, warning and error boxes, in order.
    std::vector<std::string> MessageTexts() const;
    void Clear() { Records.clear(); }

    // The one-line form of a request that Print writes ("CR LF" as "\r\n").
    static std::string PrintLine(const TMessageRecord& record);

private:
    bool FileDialog(TMessageKind kind, const TFileDialogRequest& request, std::string& fileName);
    bool NextAnswer(std::string& answer);
    void Note(const TMessageRecord& record);
};

// Installs a printing scripted service when QRB_MESSAGES=print is set; the returned service
// (or nullptr) must live as long as it is installed.
TScriptedMessageService* InstallServiceFromEnvironment();

} // namespace qrb::ui
