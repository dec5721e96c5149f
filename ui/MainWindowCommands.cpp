// The main window's file, edit and about commands: restore defaults, load and save a setup, the
// default setup file, the offer to save before a setup change, the edit commands by the focused
// control and the about box.

#include "ui/MainWindow.h"

#include "device/FileUtil.h"
#include "device/Format.h"
#include "device/Helpers.h"
#include "model/I2CTranslator.h"
#include "model/SetupCommon.h"
#include "ui/MainWindowChannels.h"
#include "ui/channels/ChannelList.h"
#include "ui/channels/ColumnMenus.h"
#include "ui/channels/ScanController.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QAbstractEventDispatcher>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QVBoxLayout>

#include <exception>
#include <filesystem>
#include <system_error>

namespace qrb::ui {

namespace {

constexpr const char* kSetupFilter = "Ondrix xml setup|*.xml|Ondrix raw setup|*.prs";
constexpr const char* kNewSetupName = "newSetup.xml";
constexpr const char* kSetupExt = "*.xml";

// The folder of a file with its trailing '/'.
std::string FolderOf(const std::string& file) {
    const size_t slash = file.find_last_of('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

// Only the exact lower-case extension selects XML.
bool IsXmlSetupName(const std::string& file) {
    return model::ExtractFileExt(file) == ".xml";
}

// SaveSetup replaces the last extension by the one of the kind it writes.
std::string WrittenSetupFile(const std::string& chosen) {
    return model::RemoveFileExt(chosen) + (IsXmlSetupName(chosen) ? ".xml" : ".prs");
}

std::string SetupCaption(const std::string& file) {
    return file.empty() ? std::string(kMainCaption)
                        : std::string(kMainCaption) + " - " + model::ExtractFileName(file);
}

TFileDialogRequest SetupDialog(int titleId, const std::string& folder) {
    TFileDialogRequest request;
    request.Title = GetText(titleId);
    request.Filter = kSetupFilter;
    request.DefaultExt = kSetupExt;
    request.InitialFolder = folder;
    request.FileName = kNewSetupName;
    return request;
}

// w when it is an edit control (a spin box edits through its line edit).
QWidget* EditControl(QWidget* w) {
    if (qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<QPlainTextEdit*>(w) != nullptr ||
        qobject_cast<QTextEdit*>(w) != nullptr)
        return w;
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) return spin->findChild<QLineEdit*>();
    return nullptr;
}

enum class TEditOp { Cut, Copy, Paste, SelectAll };

template <class TEdit> void RunEditOp(TEdit& edit, TEditOp op) {
    switch (op) {
    case TEditOp::Cut:
        edit.cut();
        break;
    case TEditOp::Copy:
        edit.copy();
        break;
    case TEditOp::Paste:
        edit.paste();
        break;
    case TEditOp::SelectAll:
        edit.selectAll();
        break;
    }
}

void EditOp(QWidget* w, TEditOp op) {
    if (auto* line = qobject_cast<QLineEdit*>(w))
        RunEditOp(*line, op);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        RunEditOp(*plain, op);
    else if (auto* rich = qobject_cast<QTextEdit*>(w))
        RunEditOp(*rich, op);
}

// Cut as the platform offers it: selected text in a writable edit control.
bool CanCut(QWidget* w) {
    if (auto* line = qobject_cast<QLineEdit*>(w)) return !line->isReadOnly() && line->hasSelectedText();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        return !plain->isReadOnly() && plain->textCursor().hasSelection();
    if (auto* rich = qobject_cast<QTextEdit*>(w))
        return !rich->isReadOnly() && rich->textCursor().hasSelection();
    return false;
}

// A channel menu command run from the edit menu, whatever state the channel menu showed last.
void RunMenuItem(QAction* item) {
    if (item == nullptr) return;
    const bool enabled = item->isEnabled();
    item->setEnabled(true);
    item->trigger();
    item->setEnabled(enabled);
}

// The about box: title, version, logo and OK.
class TAboutForm : public QDialog {
public:
    explicit TAboutForm(QWidget* parent) : QDialog(parent) {
        setObjectName(QStringLiteral("AboutBox"));
        setWindowTitle(ToDisplay(GetText(16)));
        auto* layout = new QVBoxLayout(this);
        auto* row = new QHBoxLayout;
        auto* logo = new QLabel(this);
        logo->setObjectName(QStringLiteral("imgLogo"));
        logo->setPixmap(QPixmap(QStringLiteral(":/images/logo.png")));
        row->addWidget(logo);
        auto* texts = new QVBoxLayout;
        auto* title = new QLabel(QString::fromLatin1(kMainCaption), this);
        title->setObjectName(QStringLiteral("lbMainTitle"));
        QFont font = title->font();
        font.setBold(true);
        title->setFont(font);
        auto* version = new QLabel(ToDisplay(VersionLabelText()), this);
        version->setObjectName(QStringLiteral("lbMainVersion"));
        texts->addWidget(title);
        texts->addWidget(version);
        texts->addStretch(1);
        row->addLayout(texts, 1);
        layout->addLayout(row);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
        buttons->setObjectName(QStringLiteral("btnOK"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        layout->addWidget(buttons);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }
};

} // namespace

std::string VersionLabelText() {
    return "Version: " + device::GetProgramVersion() + "\r\n" + "QRB GmbH";
}

void TOndrixMain::ConnectMainCommands() {
    // Commands that reach the devices or the model do nothing while the gate is closed.
    const auto command = [this](void (TOndrixMain::*fn)(), bool gated) {
        return [this, fn, gated] {
            if (gated && !Gate.IsOpen()) return;
            Guarded([&] { (this->*fn)(); });
        };
    };
    ConnectCommand("actDefaultSetup", command(&TOndrixMain::actDefaultSetupExecute, true));
    ConnectCommand("actLoadSetup", command(&TOndrixMain::actLoadSetupExecute, true));
    ConnectCommand("actSaveSetup", command(&TOndrixMain::actSaveSetupExecute, true));
    ConnectCommand("actSaveAsDefault", command(&TOndrixMain::actSaveAsDefaultExecute, true));
    ConnectCommand("actClearDefault", command(&TOndrixMain::actClearDefaultExecute, false));
    ConnectCommand("acteditcut", command(&TOndrixMain::acteditcutExecute, false));
    ConnectCommand("acteditcopy", command(&TOndrixMain::acteditcopyExecute, false));
    ConnectCommand("acteditpaste", command(&TOndrixMain::acteditpasteExecute, false));
    ConnectCommand("acteditselectall", command(&TOndrixMain::acteditselectallExecute, false));
    ConnectCommand("actAbout", command(&TOndrixMain::actAboutExecute, false));
    Action("acteditcut")->setShortcut(QKeySequence::Cut);
    Action("acteditcopy")->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    Action("acteditpaste")->setShortcut(QKeySequence(QStringLiteral("Ctrl+V")));
    Action("acteditselectall")->setShortcut(QKeySequence(QStringLiteral("Ctrl+A")));
    SetCommandEnabled("actAbout", true);
    // The edit commands' update handlers run whenever the application goes idle.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (lbDevControl == nullptr) return;
            acteditcutUpdate();
            acteditcopyUpdate();
            acteditpasteUpdate();
            acteditselectallUpdate();
        });
}

// ---- File commands --------------------------------------------------------------------------

bool TOndrixMain::SaveBeforeSetupChange() {
    // An empty model (after turning off) holds no setup to save.
    if (!ChannelsPresent()) return !MessageBoxesEnded();
    if (SetupModified && Options.AskSaveonChange && QRBMessageDlg(1609, 1610, 1611) == kResultYes)
        actSaveSetupExecute();
    // A termination answers the offer No: what follows it must not reach the devices.
    return !MessageBoxesEnded();
}

void TOndrixMain::ShowNewSetup(const std::string& file) {
    if (Options.ClearHistoryOnConfig) {
        Translator->ClearErrorHistory();
        HistoryList.clear();
    }
    UpdateActions();
    UpdateErrorHistory();
    if (Channels) Channels->List().Repaint();
    setWindowTitle(ToQt(SetupCaption(file)));
}

void TOndrixMain::actDefaultSetupExecute() {
    if (!Translator || !SaveBeforeSetupChange()) return;
    if (Options.AskOnDefault && QRBMessageDlg(1590, 1591, 1592) != kResultYes) return;
    TWaitCursor wait;
    const bool done = Translator->DefaultSettingsAll();
    if (!done) return;
    const std::string nameFormat =
        ListTexts.DefaultChannelName.empty() ? GetText(1500) : ListTexts.DefaultChannelName;
    for (int i = 0; i < Translator->ChannelCount(); ++i)
        if (model::TQRBRawChannel* ch = Translator->GetChannel(i))
            ch->SetChannelName(device::Format(nameFormat, {i + 1}));
    ShowNewSetup({});
    SetupModified = false;
}

void TOndrixMain::actLoadSetupExecute() {
    if (!Translator || !SaveBeforeSetupChange()) return;
    std::string file;
    if (!Messages().OpenFileName(SetupDialog(43, SetupFolder), file)) return;
    SetupFolder = FolderOf(file);
    bool bySerial = false;

    bool valid = false;
    if (!Translator->CheckSetupFile(file, valid) || !valid) {
        Messages().ShowMessage(device::Format(GetText(1041), {Translator->LastFileError}));
        return;
    }
    if (Options.DiffSetupWarning) {
        bool countsEqual = false;
        const bool result = Translator->GetSetupChannelCount(file, countsEqual);
        if (!(countsEqual ? result : QRBMessageDlg(1543, 1544, 1545) == kResultYes)) return;
    }
    if (Options.DiffSerNoWarning) {
        bool serialsMatch = false;
        const bool result = Translator->SetupSerialsMatch(file, serialsMatch);
        bool go = false;
        if (serialsMatch) {
            bySerial = true;
            go = result;
        } else {
            go = QRBMessageDlg(1546, 1547, 1548) == kResultYes;
        }
        if (!go) return;
    }
    if (!Translator->LoadSetup(file, bySerial)) {
        Messages().ShowMessage(device::Format(GetText(1042), {Translator->LastFileError}));
        return;
    }
    {
        TWaitCursor wait;
        const bool committed = Translator->NewConfig(0, true);
        if (!committed) {
            wait.Release();
            Messages().ShowMessage(device::Format(GetText(1043), {Translator->LastError}));
            return;
        }
        ShowNewSetup(file);
    }
    // The scan's rule: the fan never slower than the channels allow.
    const int limit = FanLimit(*Translator);
    if (Options.FanSpeed > limit) {
        Translator->SetFanSpeed(limit);
        Options.FanSpeed = limit;
    }
    SetupModified = false;
}

void TOndrixMain::actSaveSetupExecute() {
    if (!ChannelsPresent()) return;
    TFileDialogRequest request = SetupDialog(42, SetupFolder);
    // "b.XML" writes the raw "b.prs": the overwrite question is about that file.
    request.WrittenFile = WrittenSetupFile;
    std::string file;
    if (!Messages().SaveFileName(request, file)) return;
    const uint8_t kinds = IsXmlSetupName(file) ? 2 : 1;
    const uint8_t exports = (Options.SaveConfAsText ? 1 : 0) | (Options.SaveConfAsXLS ? 2 : 0);
    if (!Translator->SaveSetup(file, kinds, exports)) {
        Messages().ShowMessage(device::Format(GetText(1040), {Translator->LastFileError}));
        return;
    }
    // The message and the caption name the setup file written (".XML" writes a raw ".prs").
    const std::string written = WrittenSetupFile(file);
    SetupFolder = FolderOf(written);
    setWindowTitle(ToQt(SetupCaption(written)));
    Messages().ShowMessage(GetText(1542) + "\"" + written + "\"");
    SetupModified = false;
}

void TOndrixMain::actSaveAsDefaultExecute() {
    // A setup without channels would replace the user's default setup with nothing.
    if (!ChannelsPresent()) return;
    const bool saved = Translator->SaveSetup(DefaultSetupFile, 2, 0);
    if (saved)
        Messages().ShowMessage(GetText(1650));
    else
        Messages().ShowMessage(device::Format(GetText(1040), {Translator->LastFileError}));
    UpdateClearDefault();
}

void TOndrixMain::actClearDefaultExecute() {
    if (device::FileExists(DefaultSetupFile)) {
        std::error_code ec;
        if (std::filesystem::remove(DefaultSetupFile, ec) && !ec)
            Messages().ShowMessage(GetText(1651));
        else
            Messages().ShowMessage(GetText(1062));
    }
    UpdateClearDefault();
}

void TOndrixMain::UpdateClearDefault() {
    SetCommandEnabled("actClearDefault", device::FileExists(DefaultSetupFile));
}

// ---- Edit commands --------------------------------------------------------------------------

QWidget* TOndrixMain::EditFocus() const {
    QWidget* w = QApplication::focusWidget();
    if (w == mnbMain || qobject_cast<QMenu*>(w) != nullptr)
        return editFocus_ != nullptr && editFocus_->window() == this ? editFocus_.data() : nullptr;
    return w;
}

void TOndrixMain::ConnectEditMenu() {
    // The menu bar takes the focus while it is worked by keyboard; the edit commands act on the
    // control that had it before.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now != nullptr && now != mnbMain && qobject_cast<QMenu*>(now) == nullptr) editFocus_ = now;
    });
    // The menu shows the states of its opening.
    connect(miEdit, &QMenu::aboutToShow, this, [this] {
        acteditcutUpdate();
        acteditcopyUpdate();
        acteditpasteUpdate();
        acteditselectallUpdate();
    });
}

void TOndrixMain::acteditcutExecute() {
    if (QWidget* edit = EditControl(EditFocus())) EditOp(edit, TEditOp::Cut);
}

void TOndrixMain::acteditcopyExecute() {
    QWidget* focus = EditFocus();
    if (QWidget* edit = EditControl(focus))
        EditOp(edit, TEditOp::Copy);
    else if (focus == lbDevControl)
        RunMenuItem(ChannelMenuItems["miCopyChannel"]);
}

void TOndrixMain::acteditpasteExecute() {
    QWidget* focus = EditFocus();
    if (QWidget* edit = EditControl(focus))
        EditOp(edit, TEditOp::Paste);
    else if (focus == lbDevControl)
        RunMenuItem(ChannelMenuItems["miPasteChannel"]);
}

void TOndrixMain::acteditselectallExecute() {
    QWidget* focus = EditFocus();
    if (QWidget* edit = EditControl(focus)) {
        EditOp(edit, TEditOp::SelectAll);
    } else if (focus == lbDevControl && Channels) {
        Channels->List().SelectAllRows();
        UpdateActions();
    }
}

void TOndrixMain::acteditcutUpdate() {
    SetCommandEnabled("acteditcut", CanCut(EditControl(EditFocus())));
}

void TOndrixMain::acteditcopyUpdate() {
    QWidget* focus = EditFocus();
    SetCommandEnabled("acteditcopy",
                      EditControl(focus) != nullptr ||
                          (focus == lbDevControl && lbDevControl->selectedItems().size() == 1));
}

void TOndrixMain::acteditpasteUpdate() {
    QWidget* focus = EditFocus();
    // A read-only edit control (the log) takes no text.
    const auto writable = [](QWidget* w) {
        if (auto* line = qobject_cast<QLineEdit*>(w)) return !line->isReadOnly();
        if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return !plain->isReadOnly();
        if (auto* rich = qobject_cast<QTextEdit*>(w)) return !rich->isReadOnly();
        return false;
    };
    SetCommandEnabled("acteditpaste", writable(EditControl(focus)) || (focus == lbDevControl && Translator &&
                                                                       Translator->ClipboardValid));
}

void TOndrixMain::acteditselectallUpdate() {
    QWidget* focus = EditFocus();
    SetCommandEnabled("acteditselectall", EditControl(focus) != nullptr || focus == lbDevControl);
}

// ---- About ----------------------------------------------------------------------------------

void TOndrixMain::actAboutExecute() {
    TAboutForm about(this);
    about.exec();
}

} // namespace qrb::ui
