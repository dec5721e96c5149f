#include "ui/dialogs/MessageService.h"

#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace qrb::ui {

namespace {

TWidgetMessageService widgetService;
TMessageService* currentService = nullptr;

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

bool RunFileDialog(const TFileDialogRequest& request, bool save, std::string& fileName) {
    QFileDialog dialog(TWidgetMessageService::DialogParent(), ToQt(request.Title),
                       ToQt(request.InitialFolder), QtFilter(request.Filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    std::string ext = request.DefaultExt;
    if (ext.rfind("*.", 0) == 0)
        ext.erase(0, 2);
    else if (!ext.empty() && ext[0] == '.')
        ext.erase(0, 1);
    if (!ext.empty()) dialog.setDefaultSuffix(ToQt(ext));
    if (!request.FileName.empty()) dialog.selectFile(ToQt(request.FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName = FromQt(dialog.selectedFiles().front());
    return true;
}

} // namespace

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
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), ToDisplay(text), QMessageBox::Ok,
                    DialogParent());
    box.exec();
}

void TWidgetMessageService::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), ToDisplay(text), QMessageBox::Ok,
                    DialogParent());
    box.exec();
}

int TWidgetMessageService::Confirm(const std::string& caption, const std::string& header,
                                   const std::string& text) {
    TQRBMessageForm form(ToDisplay(caption), ToDisplay(header), ToDisplay(text), DialogParent());
    return form.exec();
}

bool TWidgetMessageService::SaveFileName(const TFileDialogRequest& request, std::string& fileName) {
    return RunFileDialog(request, true, fileName);
}

bool TWidgetMessageService::OpenFileName(const TFileDialogRequest& request, std::string& fileName) {
    return RunFileDialog(request, false, fileName);
}

bool TWidgetMessageService::InputQuery(const std::string& caption, const std::string& prompt,
                                       std::string& value) {
    bool ok = false;
    const QString result = QInputDialog::getText(DialogParent(), ToDisplay(caption), ToDisplay(prompt),
                                                 QLineEdit::Normal, ToQt(value), &ok);
    if (!ok) return false;
    value = FromQt(result);
    return true;
}

// ---- Scripted service ---------------------------------------------------------------------

std::string TScriptedMessageService::PrintLine(const TMessageRecord& record) {
    std::string line = KindName(record.Kind);
    switch (record.Kind) {
    case TMessageKind::Message:
    case TMessageKind::Error:
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
    fileName = answer;
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
        if (record.Kind == TMessageKind::Message || record.Kind == TMessageKind::Error)
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
