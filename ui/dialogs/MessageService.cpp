#include "ui/dialogs/MessageService.h"

#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace qrb::ui {

namespace {

TWidgetMessageService widgetService;
TMessageService* currentService = nullptr;

bool boxesEnded = false;
// The boxes shown now, innermost last.
std::vector<QPointer<QDialog>> openBoxes;

bool IsOpenBox(const QDialog* dialog) {
    return std::any_of(openBoxes.begin(), openBoxes.end(),
                       [dialog](const QPointer<QDialog>& open) { return open == dialog; });
}

// A modal dialog the program's end closes: a box with Escape's answer, any other dialog as
// rejected, without its own Cancel question; a dialog whose work must end first (a zero
// adjustment's run) ends itself through its slot EndForTermination().
void EndDialog(QDialog* dialog) {
    if (dialog == nullptr || !dialog->isVisible()) return;
    if (IsOpenBox(dialog)) {
        dialog->reject();
        return;
    }
    if (dialog->metaObject()->indexOfMethod("EndForTermination()") >= 0) {
        QMetaObject::invokeMethod(dialog, "EndForTermination", Qt::DirectConnection);
        return;
    }
    dialog->done(QDialog::Rejected);
}

bool IsModalDialog(const QWidget* widget) {
    return widget != nullptr && widget->isWindow() && widget->isModal() &&
           qobject_cast<const QDialog*>(widget) != nullptr;
}

// From the program's end on, every modal dialog shown is ended once its own loop runs.
class TDialogEnder : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (IsModalDialog(widget)) {
                QPointer<QDialog> dialog(static_cast<QDialog*>(widget));
                QTimer::singleShot(0, dialog, [dialog] { EndDialog(dialog); });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

QPointer<TDialogEnder> dialogEnder;

// The dialog's modal result; the program's end may close it meanwhile.
int RunBox(QDialog& box) {
    openBoxes.emplace_back(&box);
    const int result = box.exec();
    std::erase_if(openBoxes, [&box](const QPointer<QDialog>& open) { return open.isNull() || open == &box; });
    return result;
}

const char* KindName(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Message:
        return "MESSAGE";
    case TMessageKind::Error:
        return "ERROR";
    case TMessageKind::Confirm:
        return "CONFIRM";
    case TMessageKind::SaveFile:
        return "SAVEFILE";
    case TMessageKind::OpenFile:
        return "OPENFILE";
    case TMessageKind::Input:
        return "INPUT";
    case TMessageKind::Warning:
        return "WARNING";
    }
    return "MESSAGE";
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// "Logfiles|*.log|All files|*.*" -> "Logfiles (*.log);;All files (*.*)"
QString QtFilter(const std::string& filter) {
    const QStringList parts = ToQt(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + QStringLiteral(" (") +
                   QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
    return out.join(QStringLiteral(";;"));
}

// "*.xml" or ".xml" -> ".xml"; wildcards and empty patterns name no extension.
std::string PatternExtension(std::string pattern) {
    if (pattern.rfind("*.", 0) == 0)
        pattern.erase(0, 1);
    else if (!pattern.empty() && pattern[0] != '.')
        pattern.insert(pattern.begin(), '.');
    if (pattern.size() < 2 || pattern.find_first_of("*?", 1) != std::string::npos) return {};
    return pattern;
}

// The file dialog; a save dialog whose command writes another file than the one chosen asks
// about overwriting that file, in Qt's own words.
class TFileDialog : public QFileDialog {
public:
    explicit TFileDialog(const TFileDialogRequest& request)
        : QFileDialog(TWidgetMessageService::DialogParent(), ToQt(request.Title), ToQt(request.InitialFolder),
                      QtFilter(request.Filter)),
          request_(request) {
        if (request_.WrittenFile) setOption(QFileDialog::DontConfirmOverwrite, true);
    }

protected:
    void accept() override {
        const QStringList files = selectedFiles();
        if (request_.WrittenFile && acceptMode() == AcceptSave && !files.isEmpty() &&
            !QFileInfo(files.front()).isDir()) {
            const int index = static_cast<int>(nameFilters().indexOf(selectedNameFilter()));
            const QFileInfo written(
                ToQt(request_.WrittenFile(WithDialogExtension(FromQt(files.front()), request_, index))));
            if (written.exists()) {
                // A box of the program's: its end closes it as No.
                QMessageBox question(
                    QMessageBox::Warning, windowTitle(),
                    QFileDialog::tr("%1 already exists.\nDo you want to replace it?").arg(written.fileName()),
                    QMessageBox::Yes | QMessageBox::No, this);
                question.setDefaultButton(QMessageBox::No);
                if (RunBox(question) != QMessageBox::Yes) return;
            }
        }
        QFileDialog::accept();
    }

private:
    const TFileDialogRequest& request_;
};

// The message box with icon and an OK button.
void ShowBox(QMessageBox::Icon icon, const std::string& text) {
    if (boxesEnded) return;
    QMessageBox box(icon, QApplication::applicationName(), ToDisplay(text), QMessageBox::Ok,
                    TWidgetMessageService::DialogParent());
    // Qt sizes the box by its text; the frame's title bar needs the whole title besides the
    // window's icon and its three buttons. The buttons span the box, so their row sets the width.
    if (auto* buttons = box.findChild<QDialogButtonBox*>()) {
        const QMargins margins = box.layout() != nullptr ? box.layout()->contentsMargins() : QMargins();
        const int title = QFontMetrics(QApplication::font()).horizontalAdvance(box.windowTitle());
        buttons->setMinimumWidth(title + 120 - margins.left() - margins.right());
    }
    RunBox(box);
}

bool RunFileDialog(const TFileDialogRequest& request, bool save, std::string& fileName) {
    if (boxesEnded) return false;
    TFileDialog dialog(request);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The suffix follows the file type chosen, so the overwrite question names the real file.
    const auto suffixFor = [&request](int index) {
        const std::string ext = DialogExtension(request, index);
        return ext.empty() ? QString() : ToQt(ext.substr(1));
    };
    dialog.setDefaultSuffix(suffixFor(0));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(suffixFor(static_cast<int>(dialog.nameFilters().indexOf(filter))));
    });
    if (!request.FileName.empty()) dialog.selectFile(ToQt(request.FileName));
    if (RunBox(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const int index = static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
    fileName = WithDialogExtension(FromQt(dialog.selectedFiles().front()), request, index);
    return true;
}

} // namespace

std::string DialogExtension(const TFileDialogRequest& request, int filterIndex) {
    // The filter is "Name|patterns|Name|patterns"; patterns are separated by ';'.
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= request.Filter.size()) {
        const size_t bar = request.Filter.find('|', start);
        parts.push_back(
            request.Filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    const size_t patterns = 2 * static_cast<size_t>(filterIndex) + 1;
    if (filterIndex >= 0 && patterns < parts.size()) {
        const std::string& list = parts[patterns];
        const std::string ext = PatternExtension(list.substr(0, list.find(';')));
        if (!ext.empty()) return ext;
    }
    return PatternExtension(request.DefaultExt);
}

std::string WithDialogExtension(const std::string& fileName, const TFileDialogRequest& request,
                                int filterIndex) {
    const size_t slash = fileName.find_last_of('/');
    const std::string_view last =
        std::string_view(fileName).substr(slash == std::string::npos ? 0 : slash + 1);
    if (last.empty() || last.find('.') != std::string_view::npos) return fileName;
    return fileName + DialogExtension(request, filterIndex);
}

void EndMessageBoxes() {
    boxesEnded = true;
    // Innermost first: each reject ends that box's own loop.
    const std::vector<QPointer<QDialog>> open = openBoxes;
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        if (!it->isNull()) (*it)->reject();
    // Then every other modal dialog, open now or shown later.
    if (QCoreApplication::instance() == nullptr) return;
    if (dialogEnder.isNull()) {
        dialogEnder = new TDialogEnder(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(dialogEnder);
    }
    std::vector<QPointer<QDialog>> dialogs;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (IsModalDialog(widget) && widget->isVisible()) dialogs.emplace_back(static_cast<QDialog*>(widget));
    for (const QPointer<QDialog>& dialog : dialogs)
        EndDialog(dialog);
}

bool MessageBoxesEnded() {
    return boxesEnded;
}

void ResumeMessageBoxes() {
    boxesEnded = false;
    if (!dialogEnder.isNull()) {
        QCoreApplication::instance()->removeEventFilter(dialogEnder);
        delete dialogEnder;
    }
}

TMessageService& Messages() {
    return currentService != nullptr ? *currentService : widgetService;
}

TMessageService* SetMessageService(TMessageService* service) {
    TMessageService* previous = currentService;
    currentService = service;
    return previous;
}

// ---- Widget service -----------------------------------------------------------------------

QWidget* TWidgetMessageService::DialogParent() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("OndrixMain")) return widget;
    return nullptr;
}

void TWidgetMessageService::ShowMessage(const std::string& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

void TWidgetMessageService::ShowError(const std::string& text) {
    ShowBox(QMessageBox::Critical, text);
}

void TWidgetMessageService::ShowWarning(const std::string& text) {
    ShowBox(QMessageBox::Warning, text);
}

int TWidgetMessageService::Confirm(const std::string& caption, const std::string& header,
                                   const std::string& text) {
    if (boxesEnded) return kResultNo;
    TQRBMessageForm form(ToDisplay(caption), ToDisplay(header), ToDisplay(text), DialogParent());
    return RunBox(form);
}

bool TWidgetMessageService::SaveFileName(const TFileDialogRequest& request, std::string& fileName) {
    return RunFileDialog(request, true, fileName);
}

bool TWidgetMessageService::OpenFileName(const TFileDialogRequest& request, std::string& fileName) {
    return RunFileDialog(request, false, fileName);
}

bool TWidgetMessageService::InputQuery(const std::string& caption, const std::string& prompt,
                                       std::string& value) {
    if (boxesEnded) return false;
    QInputDialog dialog(DialogParent());
    dialog.setWindowTitle(ToDisplay(caption));
    dialog.setLabelText(ToDisplay(prompt));
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setTextValue(ToQt(value));
    if (RunBox(dialog) != QDialog::Accepted) return false;
    value = FromQt(dialog.textValue());
    return true;
}

// ---- Scripted service ---------------------------------------------------------------------

std::string TScriptedMessageService::PrintLine(const TMessageRecord& record) {
    std::string line = KindName(record.Kind);
    switch (record.Kind) {
    case TMessageKind::Message:
    case TMessageKind::Error:
    case TMessageKind::Warning:
        line += ": " + Escape(record.Text);
        break;
    case TMessageKind::Confirm:
        line += ": " + Escape(record.Caption) + " | " + Escape(record.Header) + " | " + Escape(record.Text);
        break;
    case TMessageKind::SaveFile:
    case TMessageKind::OpenFile:
        line += ": " + Escape(record.Caption) + " | " + Escape(record.Dialog.InitialFolder) + " | " +
                Escape(record.Dialog.FileName);
        break;
    case TMessageKind::Input:
        line += ": " + Escape(record.Caption) + " | " + Escape(record.Header) + " | " + Escape(record.Text);
        break;
    }
    return line;
}

void TScriptedMessageService::Note(const TMessageRecord& record) {
    Records.push_back(record);
    if (Print) {
        std::printf("%s\n", PrintLine(record).c_str());
        std::fflush(stdout);
    }
}

bool TScriptedMessageService::NextAnswer(std::string& answer) {
    if (Answers.empty()) return false;
    answer = Answers.front();
    Answers.pop_front();
    return true;
}

void TScriptedMessageService::ShowMessage(const std::string& text) {
    TMessageRecord record;
    record.Kind = TMessageKind::Message;
    record.Text = text;
    Note(record);
}

void TScriptedMessageService::ShowWarning(const std::string& text) {
    TMessageRecord record;
    record.Kind = TMessageKind::Warning;
    record.Text = text;
    Note(record);
}

void TScriptedMessageService::ShowError(const std::string& text) {
    TMessageRecord record;
    record.Kind = TMessageKind::Error;
    record.Text = text;
    Note(record);
}

int TScriptedMessageService::Confirm(const std::string& caption, const std::string& header,
                                     const std::string& text) {
    TMessageRecord record;
    record.Kind = TMessageKind::Confirm;
    record.Caption = caption;
    record.Header = header;
    record.Text = text;
    Note(record);
    std::string answer;
    if (!NextAnswer(answer)) return DefaultConfirm;
    return std::atoi(answer.c_str());
}

bool TScriptedMessageService::FileDialog(TMessageKind kind, const TFileDialogRequest& request,
                                         std::string& fileName) {
    TMessageRecord record;
    record.Kind = kind;
    record.Caption = request.Title;
    record.Text = request.FileName;
    record.Dialog = request;
    Note(record);
    std::string answer;
    if (!NextAnswer(answer) || answer.empty()) return false;
    fileName = WithDialogExtension(answer, request, FilterIndex);
    return true;
}

bool TScriptedMessageService::SaveFileName(const TFileDialogRequest& request, std::string& fileName) {
    return FileDialog(TMessageKind::SaveFile, request, fileName);
}

bool TScriptedMessageService::OpenFileName(const TFileDialogRequest& request, std::string& fileName) {
    return FileDialog(TMessageKind::OpenFile, request, fileName);
}

bool TScriptedMessageService::InputQuery(const std::string& caption, const std::string& prompt,
                                         std::string& value) {
    TMessageRecord record;
    record.Kind = TMessageKind::Input;
    record.Caption = caption;
    record.Header = prompt;
    record.Text = value;
    Note(record);
    std::string answer;
    if (!NextAnswer(answer) || answer.empty()) return false;
    value = answer;
    return true;
}

std::vector<std::string> TScriptedMessageService::MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& record : Records)
        if (record.Kind == TMessageKind::Message || record.Kind == TMessageKind::Error ||
            record.Kind == TMessageKind::Warning)
            texts.push_back(record.Text);
    return texts;
}

TScriptedMessageService* InstallServiceFromEnvironment() {
    const char* mode = std::getenv("QRB_MESSAGES");
    if (mode == nullptr || std::string(mode) != "print") return nullptr;
    static TScriptedMessageService printing;
    printing.Print = true;
    if (const char* answers = std::getenv("QRB_MESSAGE_ANSWERS")) {
        std::string all = answers;
        size_t start = 0;
        while (start <= all.size()) {
            const size_t bar = all.find('|', start);
            printing.Answers.push_back(
                all.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
    }
    SetMessageService(&printing);
    return &printing;
}

} // namespace qrb::ui
