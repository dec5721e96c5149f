#include "ui/dialogs/SensorDatabaseForms.h"

#include "device/Cp1252.h"
#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "model/SetupCommon.h"
#include "ui/dialogs/MessageService.h"
#include "ui/dialogs/StatusWindows.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace qrb::ui {

namespace {

constexpr int kNameRole = Qt::UserRole + 1; // lbTEDS: the sensor name a row shows
constexpr int kValueRole = Qt::UserRole;    // editor lists: the item's decimal text
constexpr int kTEDSRowHeight = 18;

// How an editor list draws its items (the list's tag).
enum TListTag : int {
    tagSensorType = 0,
    tagRange = 1,
    tagCoupling = 2,
    tagCurrent = 3,
    tagVoltage = 4,
    tagVoltSupply = 5,
    tagPlain = 6,
};

// The range codes every sensor type offers.
constexpr int kRanges[] = {4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 23, 24, 25};

// What each sensor type shows, by type 0..8.
struct TTypeRow {
    std::vector<int> Couplings;                 // empty: the coupling list is hidden
    int CurrentFirst, CurrentStep, CurrentLast; // 0: the current list is hidden
    bool Connection;
    bool Bridge; // bridge supply, resistor, shunt and sense
    bool VoltSupply;
};
const TTypeRow kTypeRows[9] = {
    {{}, 0, 0, 0, false, false, false},                   // 0 OFF
    {{0, 1, 2, 3, 4, 5, 6}, 0, 0, 0, false, false, true}, // 1 VOLT
    {{1, 3, 4, 5, 6}, 1, 1, 20, false, false, false},     // 2 ICP
    {{1, 3, 4, 5, 6}, 2, 2, 60, true, false, false},      // 3 DMS Current
    {{0, 3, 4}, 0, 0, 0, false, true, false},             // 4 DMS Fullbridge
    {{0, 1, 5, 6}, 0, 0, 0, false, true, false},          // 5 DMS Halfbridge
    {{0, 1, 5, 6}, 0, 0, 0, false, true, false},          // 6 DMS Quarterbridge
    {{3, 4}, 0, 0, 0, false, false, false},               // 7 CURRENT
    {{0, 3, 4}, 0, 0, 0, true, false, false},             // 8 RTD
};

int RoundInt(double value) {
    return static_cast<int>(std::nearbyint(value));
}

uint16_t RoundDAC(double value) {
    return static_cast<uint16_t>(std::clamp(std::nearbyint(value), 0.0, 65535.0));
}

std::string OnOff(uint8_t flag) {
    return flag != 0 ? "ON" : "OFF";
}

// Rows on alternating backgrounds, the selection in the selection colours, the text at a fixed
// distance from the left (and, for a list with fixed rows, from the top).
class TStripedRowDelegate : public QStyledItemDelegate {
public:
    TStripedRowDelegate(QColor odd, QColor even, int left, int top, int textRole, QObject* parent)
        : QStyledItemDelegate(parent), odd_(odd), even_(even), left_(left), top_(top), textRole_(textRole) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        QColor back = index.row() % 2 != 0 ? odd_ : even_;
        if (!back.isValid()) back = option.palette.color(QPalette::Base);
        if (selected) back = option.palette.color(QPalette::Highlight);
        painter->save();
        painter->fillRect(option.rect, back);
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QString text = index.data(textRole_).toString();
        if (top_ >= 0) {
            painter->setFont(option.font);
            const QFontMetrics metrics(option.font);
            painter->drawText(option.rect.left() + left_, option.rect.top() + top_ + metrics.ascent(), text);
        } else {
            painter->drawText(option.rect.adjusted(left_, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const QFontMetrics metrics(option.font);
        size.setWidth(
            std::max(size.width(), metrics.horizontalAdvance(index.data(textRole_).toString()) + left_ + 4));
        if (top_ >= 0) size.setHeight(kTEDSRowHeight);
        return size;
    }

private:
    QColor odd_, even_;
    int left_, top_, textRole_;
};

QPushButton* Button(QWidget* parent, const char* name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QLabel* Label(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QComboBox* List(QWidget* parent, const char* name) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    list->setItemDelegate(
        new TStripedRowDelegate(QColor(192, 220, 192), QColor(), 3, -1, Qt::DisplayRole, list));
    return list;
}

QString Caption(int id) {
    return ToDisplay(GetText(id));
}

// The text an editor list shows for an item.
std::string ItemText(int tag, int value, const std::string& plain) {
    switch (tag) {
    case tagSensorType:
        return device::SensorTypeToText(static_cast<uint16_t>(value));
    case tagRange:
        return device::VoltageRangeToLongText(2, static_cast<uint8_t>(value));
    case tagCoupling:
        return device::CouplingToText(static_cast<uint8_t>(value));
    case tagCurrent:
        return device::Format("%3.1f mA", value / 2.0);
    case tagVoltage:
        return device::Format("%3.1f V", value / 1.0);
    default:
        return plain;
    }
}

// The description as the memo shows it and as the record keeps it.
QString DescriptionToMemo(const std::string& text) {
    return ToDisplay(text);
}
std::string MemoToDescription(const QString& text) {
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return FromQt(s);
}

// Wide enough for a name of the field's full length in hex digits (an ID's characters), in the
// field's own font. QLineEdit's own hint makes room for 17 average characters.
void FitNameField(QLineEdit* edit) {
    const QFontMetrics metrics(edit->font());
    const int more = metrics.horizontalAdvance(QString(edit->maxLength(), QLatin1Char('0'))) -
                     17 * metrics.horizontalAdvance(QLatin1Char('x'));
    edit->setMinimumWidth(edit->sizeHint().width() + std::max(0, more));
}

} // namespace

// ---- Free helpers ---------------------------------------------------------------------------

int StoredDescriptionLength(const QString& memoText) {
    return static_cast<int>(device::Utf8ToCp1252(MemoToDescription(memoText)).size());
}

int OffsetPercent(uint16_t offsetDAC) {
    return RoundInt((static_cast<int>(offsetDAC) - 2048) / 10.24);
}

uint16_t OffsetDACFromPercent(int percent) {
    return RoundDAC(percent * 10.24 + 2048);
}

std::vector<std::string> SensorDetailLines(const model::TSensorRecord& rec) {
    std::vector<std::string> lines = {model::RecordText(rec.SensorName),
                                      model::RecordText(rec.DisplayName),
                                      "",
                                      model::RecordText(rec.Description),
                                      "",
                                      "Sensor:        " + device::SensorTypeToText(rec.SensorType),
                                      "Range:         " + device::VoltageRangeToText(2, rec.Range)};
    const std::string coupling = "Coupling:      " + device::CouplingToText(rec.Coupling);
    const std::string current =
        device::Format("Current:       %3.1f mA", rec.PowerDAC / kCountsPerMilliampere);
    const std::string connection = rec.TwoWire != 0 ? "Connection:    2-wire" : "Connection:    4-wire";
    switch (rec.SensorType) {
    case 1:
        lines.push_back(coupling);
        if (rec.SupplyMode == 0)
            lines.push_back("Supply:        OFF");
        else if (rec.SupplyMode == 1)
            lines.push_back("Supply:        Volt: " +
                            device::Format("%2.1f V", rec.SupplyDAC / kCountsPerVolt));
        else if (rec.SupplyMode == 2)
            lines.push_back("Supply:        Current: " +
                            device::Format("%3.1f mA", rec.SupplyDAC / kCountsPerMilliampere));
        break;
    case 2:
        lines.push_back(coupling);
        lines.push_back(current);
        break;
    case 3:
        lines.push_back(coupling);
        lines.push_back(current);
        lines.push_back(connection);
        break;
    case 4:
    case 5:
    case 6:
        lines.push_back(coupling);
        lines.push_back(device::Format("Supply:        %3.1f V", rec.BridgeSupplyDAC / kCountsPerVolt));
        lines.push_back(rec.Is350Ohm != 0 ? "Resistor:      350 Ohm" : "Resistor:      120 Ohm");
        lines.push_back("Shunt:         " + OnOff(rec.Shunt));
        lines.push_back("Sense:         " + OnOff(rec.Sense));
        break;
    case 7:
    case 9:
        lines.push_back(coupling);
        break;
    case 8:
        lines.push_back(coupling);
        lines.push_back(connection);
        break;
    default:
        break;
    }
    lines.push_back("Output Filter: " + OnOff(rec.OutputFilter));
    lines.push_back(rec.Offset != 0
                        ? device::Format("Offset:        ON (%d%% FSR)", OffsetPercent(rec.OffsetDAC))
                        : std::string("Offset:        OFF"));
    return lines;
}

bool NormalizeSensorId(const std::string& input, std::string& id) {
    std::string text = model::TrimText(input);
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (text.size() != 16) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    id = text;
    return true;
}

model::TSensorRecord ManualSensorRecord(const std::string& id) {
    model::TSensorRecord rec;
    rec.NewFlag = 1;
    model::SetRecordText(rec.SensorID, id);
    model::SetRecordText(rec.SensorName, id);
    model::SetRecordText(rec.DisplayName, id);
    model::SetRecordText(rec.Description, "Manually added entry. Please edit!");
    rec.SensorType = 0;
    rec.Range = 4;
    rec.OffsetDAC = 2048;
    rec.BridgeSupplyDAC = 0;
    rec.SupplyMode = 0;
    return rec;
}

// ---- Database dialog --------------------------------------------------------------------------

TTEDSInfoForm::TTEDSInfoForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TEDSInfoForm"));
    ExecEditor = [](TTEDSEditForm& editor) { return editor.exec(); };

    lbTEDSHeader = Label(this, "lbTEDSHeader");
    lbTEDS = new QListWidget(this);
    lbTEDS->setObjectName(QStringLiteral("lbTEDS"));
    lbTEDS->setUniformItemSizes(true);
    QFont rowFont(QStringLiteral("Tahoma"));
    rowFont.setPixelSize(10 * 96 / 72);
    lbTEDS->setFont(rowFont);
    lbTEDS->setItemDelegate(
        new TStripedRowDelegate(QColor(), QColor(239, 239, 239), 5, 1, kNameRole, lbTEDS));
    lbTEDS->setMinimumSize(200, 240);
    sttUID = Label(this, "sttUID");
    mmTEDSInfo = new QPlainTextEdit(this);
    mmTEDSInfo->setObjectName(QStringLiteral("mmTEDSInfo"));
    mmTEDSInfo->setReadOnly(true);
    mmTEDSInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmTEDSInfo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    mmTEDSInfo->setMinimumSize(300, 240);
    gbxTEDScontrol = new QGroupBox(this);
    gbxTEDScontrol->setObjectName(QStringLiteral("gbxTEDScontrol"));
    btnAddTEDS = Button(gbxTEDScontrol, "btnAddTEDS");
    btnDelTEDS = Button(gbxTEDScontrol, "btnDelTEDS");
    auto* group = new QHBoxLayout(gbxTEDScontrol);
    group->addWidget(btnAddTEDS);
    group->addWidget(btnDelTEDS);
    btnEditTEDS = Button(this, "btnEditTEDS");
    btnOk = Button(this, "btnOk");
    btnCancel = Button(this, "btnCancel");
    btnOk->setDefault(true);

    auto* left = new QVBoxLayout;
    left->addWidget(lbTEDSHeader);
    left->addWidget(lbTEDS, 1);
    left->addWidget(gbxTEDScontrol);
    auto* right = new QVBoxLayout;
    right->addWidget(sttUID);
    right->addWidget(mmTEDSInfo, 1);
    auto* rightButtons = new QHBoxLayout;
    rightButtons->addWidget(btnEditTEDS);
    rightButtons->addStretch(1);
    right->addLayout(rightButtons);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    connect(lbTEDS, &QListWidget::itemClicked, this, [this] { ShowSelection(); });
    connect(lbTEDS, &QListWidget::currentRowChanged, this, [this] { ShowSelection(); });
    connect(lbTEDS, &QListWidget::itemDoubleClicked, this, [this] { btnEditTEDSClick(); });
    connect(btnAddTEDS, &QPushButton::clicked, this, [this] { btnAddTEDSClick(); });
    connect(btnDelTEDS, &QPushButton::clicked, this, [this] { btnDelTEDSClick(); });
    connect(btnEditTEDS, &QPushButton::clicked, this, [this] { btnEditTEDSClick(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { accept(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TTEDSInfoForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TTEDSInfoForm::FormShow() {
    setWindowTitle(Caption(1905));
    btnOk->setText(Caption(452));
    btnCancel->setText(Caption(453));
    btnAddTEDS->setText(Caption(1910));
    btnDelTEDS->setText(Caption(1911));
    btnEditTEDS->setText(Caption(1912));
    lbTEDSHeader->setText(Caption(NewOnly ? 1931 : 1932));
    gbxTEDScontrol->setVisible(!NewOnly);
    if (NewOnly) lbTEDS->setMinimumHeight(351);
    RefreshList();
}

void TTEDSInfoForm::RefreshList() {
    const int remembered = lbTEDS->currentRow();
    {
        const QSignalBlocker block(lbTEDS);
        lbTEDS->clear();
        const int count = Translator != nullptr ? Translator->SensorEntryCount() : 0;
        for (int i = 0; i < count; ++i) {
            const model::TTEDSBlock* entry = Translator->GetSensorEntry(i);
            if (entry == nullptr || (NewOnly && entry->Rec.NewFlag == 0)) continue;
            auto* item = new QListWidgetItem(ToQt(entry->Rec.ID()), lbTEDS);
            item->setData(kNameRole, ToQt(model::RecordText(entry->Rec.SensorName)));
        }
    }
    if (lbTEDS->count() > 0) {
        SelectRow(remembered < 0 ? 0 : remembered);
        ShowSelection();
    } else {
        sttUID->clear();
        mmTEDSInfo->clear();
        EnableEntryButtons(false);
    }
}

void TTEDSInfoForm::SelectRow(int row) {
    const QSignalBlocker block(lbTEDS);
    if (row >= 0 && row < lbTEDS->count()) {
        lbTEDS->setCurrentRow(row);
    } else {
        lbTEDS->setCurrentRow(-1);
        lbTEDS->clearSelection();
    }
}

void TTEDSInfoForm::EnableEntryButtons(bool enabled) {
    btnDelTEDS->setEnabled(enabled);
    btnEditTEDS->setEnabled(enabled);
}

std::string TTEDSInfoForm::SelectedId() const {
    const QListWidgetItem* item = lbTEDS->currentItem();
    if (item == nullptr || !item->isSelected()) return {};
    return FromQt(item->text());
}

int TTEDSInfoForm::RowOf(const std::string& id) const {
    for (int i = 0; i < lbTEDS->count(); ++i)
        if (FromQt(lbTEDS->item(i)->text()) == id) return i;
    return -1;
}

void TTEDSInfoForm::ShowSelection() {
    sttUID->clear();
    mmTEDSInfo->clear();
    const std::string id = SelectedId();
    if (id.empty()) {
        EnableEntryButtons(false);
        return;
    }
    const int index = Translator != nullptr ? Translator->FindSensorEntry(id) : -1;
    const model::TTEDSBlock* entry = index >= 0 ? Translator->GetSensorEntry(index) : nullptr;
    if (entry == nullptr) return;
    sttUID->setText(ToQt(" 0x" + id));
    QStringList lines;
    for (const std::string& line : SensorDetailLines(entry->Rec))
        lines << ToDisplay(line);
    mmTEDSInfo->setPlainText(lines.join(QLatin1Char('\n')));
    EnableEntryButtons(true);
}

void TTEDSInfoForm::btnAddTEDSClick() {
    if (Translator == nullptr) return;
    std::string input;
    if (!Messages().InputQuery(GetText(1933), GetText(1934), input)) return;
    std::string id;
    if (!NormalizeSensorId(input, id)) {
        Messages().ShowMessage(GetText(1936));
        return;
    }
    if (Translator->FindSensorEntry(id) != -1) {
        Messages().ShowMessage(GetText(1935));
        return;
    }
    auto entry = std::make_unique<model::TTEDSBlock>(ManualSensorRecord(id));
    Translator->AddSensorEntry(entry);
    Changed = true;
    RefreshList();
}

void TTEDSInfoForm::btnDelTEDSClick() {
    const std::string id = SelectedId();
    if (id.empty()) {
        EnableEntryButtons(false);
        return;
    }
    if (Translator == nullptr || Translator->FindSensorEntry(id) < 0) return;
    if (QRBMessageDlg(1913, 1914, 1915) != kResultYes) return;
    Translator->DeleteSensorEntry(id);
    Changed = true;
    RefreshList();
}

void TTEDSInfoForm::btnEditTEDSClick() {
    const std::string id = SelectedId();
    if (id.empty()) {
        EnableEntryButtons(false);
        return;
    }
    const int index = Translator != nullptr ? Translator->FindSensorEntry(id) : -1;
    model::TTEDSBlock* entry = index >= 0 ? Translator->GetSensorEntry(index) : nullptr;
    if (entry == nullptr) return;
    TTEDSEditForm editor(this);
    editor.Entry = entry;
    if (ExecEditor(editor) != QDialog::Accepted) return;
    Changed = true;
    RefreshList();
    SelectRow(RowOf(id));
    ShowSelection();
}

void TTEDSInfoForm::btnCancelClick() {
    if (Changed && QRBMessageDlg(1906, 1907, 1908) != kResultYes) return;
    QDialog::reject();
}

void TTEDSInfoForm::reject() {
    btnCancelClick();
}

// ---- Editor ---------------------------------------------------------------------------------

TTEDSEditForm::TTEDSEditForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TEDSEditForm"));
    lbSensorname = Label(this, "lbSensorname");
    ebxSensorname = new QLineEdit(this);
    ebxSensorname->setObjectName(QStringLiteral("ebxSensorname"));
    ebxSensorname->setMaxLength(30);
    lbDisplayname = Label(this, "lbDisplayname");
    ebxDisplayName = new QLineEdit(this);
    ebxDisplayName->setObjectName(QStringLiteral("ebxDisplayName"));
    ebxDisplayName->setMaxLength(30);
    FitNameField(ebxSensorname);
    FitNameField(ebxDisplayName);
    lbDescription = Label(this, "lbDescription");
    mmDesc = new QPlainTextEdit(this);
    mmDesc->setObjectName(QStringLiteral("mmDesc"));
    // Room for the longest description, about seven lines at the names' width.
    {
        const QFontMetrics metrics(mmDesc->font());
        const QMargins frame = mmDesc->contentsMargins();
        mmDesc->setFixedHeight(7 * metrics.lineSpacing() +
                               2 * static_cast<int>(mmDesc->document()->documentMargin()) + frame.top() +
                               frame.bottom());
    }
    lbSensortype = Label(this, "lbSensortype");
    cbSensorType = List(this, "cbSensorType");
    lbRange = Label(this, "lbRange");
    cbSensorRange = List(this, "cbSensorRange");
    lbSensorCoupling = Label(this, "lbSensorCoupling");
    cbSensorCoupling = List(this, "cbSensorCoupling");
    lbSensorCurrent = Label(this, "lbSensorCurrent");
    cbSensorCurrent = List(this, "cbSensorCurrent");
    lbSensorPwrSignal = Label(this, "lbSensorPwrSignal");
    cbSensorPwrSignal = List(this, "cbSensorPwrSignal");
    lbSensorVoltage = Label(this, "lbSensorVoltage");
    cbSensorVoltage = List(this, "cbSensorVoltage");
    lbSensorResistor = Label(this, "lbSensorResistor");
    cbSensorResistor = List(this, "cbSensorResistor");
    lbSensorShunt = Label(this, "lbSensorShunt");
    cbSensorShunt = List(this, "cbSensorShunt");
    lbSensorSense = Label(this, "lbSensorSense");
    cbSensorSense = List(this, "cbSensorSense");
    lbVoltSupply = Label(this, "lbVoltSupply");
    cbVoltSupply = List(this, "cbVoltSupply");
    lbVSP = Label(this, "lbVSP");
    cbVSP = List(this, "cbVSP");
    lbSensorOptions = Label(this, "lbSensorOptions");
    cbSensorPwrFilter = new QCheckBox(this);
    cbSensorPwrFilter->setObjectName(QStringLiteral("cbSensorPwrFilter"));
    cbSensorOffset = new QCheckBox(this);
    cbSensorOffset->setObjectName(QStringLiteral("cbSensorOffset"));
    seSensorOffset = new QSpinBox(this);
    seSensorOffset->setObjectName(QStringLiteral("seSensorOffset"));
    seSensorOffset->setRange(-200, 200);
    btnOk = Button(this, "btnOk");
    btnCancel = Button(this, "btnCancel");
    btnOk->setDefault(true);

    // The two-entry lists keep their items; the type decides only whether they show.
    FillList(cbSensorPwrSignal, tagPlain, {0, 1});
    cbSensorPwrSignal->setItemText(0, QStringLiteral("4-wire"));
    cbSensorPwrSignal->setItemText(1, QStringLiteral("2-wire"));
    FillList(cbSensorResistor, tagPlain, {0, 1});
    cbSensorResistor->setItemText(0, QStringLiteral("120 Ohm"));
    cbSensorResistor->setItemText(1, QStringLiteral("350 Ohm"));
    for (QComboBox* list : {cbSensorShunt, cbSensorSense}) {
        FillList(list, tagPlain, {0, 1});
        list->setItemText(0, QStringLiteral("OFF"));
        list->setItemText(1, QStringLiteral("ON"));
    }

    auto* grid = new QGridLayout;
    int row = 0;
    auto add = [&](QLabel* label, QWidget* control) {
        grid->addWidget(label, row, 0);
        grid->addWidget(control, row, 1);
        ++row;
    };
    add(lbSensorname, ebxSensorname);
    add(lbDisplayname, ebxDisplayName);
    add(lbDescription, mmDesc);
    add(lbSensortype, cbSensorType);
    add(lbRange, cbSensorRange);
    add(lbSensorCoupling, cbSensorCoupling);
    add(lbSensorCurrent, cbSensorCurrent);
    add(lbSensorPwrSignal, cbSensorPwrSignal);
    add(lbVoltSupply, cbVoltSupply);
    add(lbVSP, cbVSP);
    add(lbSensorVoltage, cbSensorVoltage);
    add(lbSensorResistor, cbSensorResistor);
    add(lbSensorShunt, cbSensorShunt);
    add(lbSensorSense, cbSensorSense);
    auto* options = new QVBoxLayout;
    options->addWidget(cbSensorPwrFilter);
    auto* offset = new QHBoxLayout;
    offset->addWidget(cbSensorOffset);
    offset->addWidget(seSensorOffset);
    offset->addStretch(1);
    options->addLayout(offset);
    grid->addWidget(lbSensorOptions, row, 0, Qt::AlignTop);
    grid->addLayout(options, row, 1);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    auto change = [this] { ControlChange(); };
    connect(ebxSensorname, &QLineEdit::textChanged, this, change);
    connect(ebxDisplayName, &QLineEdit::textChanged, this, change);
    connect(mmDesc->document(), &QTextDocument::contentsChange, this, [this](int pos, int, int added) {
        descEditPos_ = pos;
        descEditAdded_ = added;
    });
    connect(mmDesc, &QPlainTextEdit::textChanged, this, [this] { LimitDescription(); });
    connect(mmDesc, &QPlainTextEdit::textChanged, this, change);
    for (QComboBox* list : {cbSensorRange, cbSensorCoupling, cbSensorCurrent, cbSensorPwrSignal,
                            cbSensorVoltage, cbSensorResistor, cbSensorShunt, cbSensorSense, cbVoltSupply})
        connect(list, &QComboBox::currentIndexChanged, this, change);
    connect(cbSensorPwrFilter, &QCheckBox::toggled, this, change);
    connect(cbSensorOffset, &QCheckBox::toggled, this, change);
    connect(seSensorOffset, &QSpinBox::valueChanged, this, change);
    connect(cbSensorType, &QComboBox::currentIndexChanged, this, [this] {
        if (!Updating) cbSensorTypeChange();
    });
    connect(cbVSP, &QComboBox::currentIndexChanged, this, [this] { cbVSPChange(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TTEDSEditForm::FillList(QComboBox* list, int tag, const std::vector<int>& values) {
    const bool updating = Updating;
    Updating = true;
    list->clear();
    for (int value : values) {
        const std::string plain = std::to_string(value);
        list->addItem(ToQt(ItemText(tag, value, plain)), ToQt(plain));
    }
    Updating = updating;
}

void TTEDSEditForm::LimitDescription() {
    const QString text = mmDesc->toPlainText();
    if (StoredDescriptionLength(text) <= kDescriptionLength) return;
    int pos = std::clamp(descEditPos_, 0, static_cast<int>(text.size()));
    int added = std::clamp(descEditAdded_, 0, static_cast<int>(text.size()) - pos);
    if (added == 0) { // nothing added, yet too long: the whole text is cut at its end
        pos = 0;
        added = static_cast<int>(text.size());
    }
    // Of the added characters, those that still fit; the rest is not taken.
    const QString before = text.left(pos);
    const QString after = text.mid(pos + added);
    QString kept = text.mid(pos, added);
    while (!kept.isEmpty() && StoredDescriptionLength(before + kept + after) > kDescriptionLength)
        kept.chop(kept.size() >= 2 && kept.at(kept.size() - 1).isLowSurrogate() ? 2 : 1);
    QTextCursor cursor(mmDesc->document());
    cursor.setPosition(pos);
    cursor.setPosition(pos + added, QTextCursor::KeepAnchor);
    cursor.insertText(kept);
    mmDesc->setTextCursor(cursor);
}

int TTEDSEditForm::SelectedValue(const QComboBox* list) {
    if (list->currentIndex() < 0) return -1;
    return list->currentData(kValueRole).toString().toInt();
}

namespace {

// Selects the item of value; false when the list has none.
bool SelectValue(QComboBox* list, int value) {
    const int index = list->findData(QString::number(value), kValueRole);
    if (index < 0) return false;
    list->setCurrentIndex(index);
    return true;
}

} // namespace

void TTEDSEditForm::showEvent(QShowEvent* event) {
    FormShow();
    // Sized for the rows and items the entry's type shows, not for all the rows it was built with.
    layout()->activate();
    adjustSize();
    QDialog::showEvent(event);
}

int TTEDSEditForm::SupplyMode() const {
    return cbVoltSupply->currentIndex();
}

void TTEDSEditForm::SetVoltSupplyList() {
    cbVoltSupply->clear();
    cbVoltSupply->addItem(QStringLiteral("OFF"), QStringLiteral("0"));
    cbVoltSupply->addItem(QStringLiteral("VOLT"), QStringLiteral("1"));
    cbVoltSupply->addItem(QStringLiteral("CURR"), QStringLiteral("2"));
    cbVoltSupply->setCurrentIndex(Work.SupplyMode <= 2 ? Work.SupplyMode : -1);
}

void TTEDSEditForm::FormShow() {
    if (Entry != nullptr) Work = Entry->Rec;
    setWindowTitle(Caption(1905));
    btnOk->setText(Caption(452));
    btnCancel->setText(Caption(453));
    lbSensorname->setText(Caption(1916));
    lbDisplayname->setText(Caption(1917));
    lbDescription->setText(Caption(1918));
    lbSensortype->setText(Caption(1919));
    lbRange->setText(Caption(1920));
    lbSensorCoupling->setText(Caption(1921));
    lbSensorVoltage->setText(Caption(1922));
    lbVoltSupply->setText(Caption(1922));
    lbSensorCurrent->setText(Caption(1923));
    lbSensorResistor->setText(Caption(1924));
    lbSensorPwrSignal->setText(Caption(1925));
    lbSensorShunt->setText(Caption(1926));
    lbSensorSense->setText(Caption(1927));
    lbSensorOptions->setText(Caption(1928));
    cbSensorPwrFilter->setText(Caption(1929));
    cbSensorOffset->setText(Caption(1930));

    Updating = true;
    SetVoltSupplyList();
    if (Work.SensorName.Length == 0) Work.SensorName.SetText(Work.SensorID.Text());
    ebxSensorname->setText(ToQt(model::RecordText(Work.SensorName)));
    ebxDisplayName->setText(ToQt(model::RecordText(Work.DisplayName)));
    mmDesc->setPlainText(DescriptionToMemo(model::RecordText(Work.Description)));
    cbSensorOffset->setChecked(Work.Offset != 0);
    seSensorOffset->setValue(OffsetPercent(Work.OffsetDAC));
    seSensorOffset->setEnabled(Work.Offset != 0);
    FillList(cbSensorRange, tagRange, std::vector<int>(std::begin(kRanges), std::end(kRanges)));
    FillList(cbSensorType, tagSensorType, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    if (!SelectValue(cbSensorType, Work.SensorType)) cbSensorType->setCurrentIndex(0);
    Updating = false;

    cbSensorTypeChange();
    Changed = false;
    btnOk->setEnabled(false);
}

void TTEDSEditForm::ShowSenseList() {
    const int type = SelectedValue(cbSensorType);
    const bool shown = (type >= 4 && type <= 6) || (type == 1 && SupplyMode() == 1);
    lbSensorSense->setVisible(shown);
    cbSensorSense->setVisible(shown);
}

void TTEDSEditForm::cbSensorTypeChange() {
    Changed = true;
    const int type = std::max(0, SelectedValue(cbSensorType));
    Work.SensorType = static_cast<uint16_t>(type);
    const TTypeRow& row = kTypeRows[std::min(type, 8)];

    Updating = true;
    auto show = [](QLabel* label, QComboBox* list, bool shown) {
        label->setVisible(shown);
        list->setVisible(shown);
    };
    show(lbSensorCoupling, cbSensorCoupling, !row.Couplings.empty());
    if (!row.Couplings.empty()) {
        FillList(cbSensorCoupling, tagCoupling, row.Couplings);
        if (!SelectValue(cbSensorCoupling, Work.Coupling)) cbSensorCoupling->setCurrentIndex(0);
    }
    if (!SelectValue(cbSensorRange, Work.Range)) cbSensorRange->setCurrentIndex(0);
    show(lbSensorCurrent, cbSensorCurrent, row.CurrentFirst != 0);
    if (row.CurrentFirst != 0) {
        std::vector<int> items;
        for (int item = row.CurrentFirst; item <= row.CurrentLast; item += row.CurrentStep)
            items.push_back(item);
        FillList(cbSensorCurrent, tagCurrent, items);
        // Half milliamperes: an ICP current in half steps opens as itself; the DMS current list
        // holds whole milliamperes only.
        const int item = type == 2 ? RoundInt(2.0 * Work.PowerDAC / kCountsPerMilliampere)
                                   : 2 * RoundInt(Work.PowerDAC / kCountsPerMilliampere);
        if (!SelectValue(cbSensorCurrent, item)) cbSensorCurrent->setCurrentIndex(type == 2 ? 7 : 9);
    }
    show(lbSensorPwrSignal, cbSensorPwrSignal, row.Connection);
    if (row.Connection) cbSensorPwrSignal->setCurrentIndex(Work.TwoWire != 0 ? 1 : 0);
    show(lbSensorVoltage, cbSensorVoltage, row.Bridge);
    show(lbSensorResistor, cbSensorResistor, row.Bridge);
    show(lbSensorShunt, cbSensorShunt, row.Bridge);
    if (row.Bridge) {
        std::vector<int> volts;
        for (int v = 0; v <= 15; ++v)
            volts.push_back(v);
        FillList(cbSensorVoltage, tagVoltage, volts);
        if (!SelectValue(cbSensorVoltage, RoundInt(Work.BridgeSupplyDAC / kCountsPerVolt)))
            cbSensorVoltage->setCurrentIndex(0);
        cbSensorResistor->setCurrentIndex(Work.Is350Ohm != 0 ? 1 : 0);
        cbSensorShunt->setCurrentIndex(Work.Shunt != 0 ? 1 : 0);
    }
    show(lbVoltSupply, cbVoltSupply, row.VoltSupply);
    if (!row.VoltSupply) {
        lbVSP->setVisible(false);
        cbVSP->setVisible(false);
    }
    ShowSenseList();
    if (cbSensorSense->isVisibleTo(this)) cbSensorSense->setCurrentIndex(Work.Sense != 0 ? 1 : 0);

    cbSensorPwrFilter->setChecked(Work.OutputFilter != 0);
    cbSensorOffset->setChecked(Work.Offset != 0);
    seSensorOffset->setValue(OffsetPercent(Work.OffsetDAC));
    seSensorOffset->setEnabled(Work.Offset != 0);
    Updating = false;

    ControlChange();
}

void TTEDSEditForm::ControlChange() {
    if (Updating) return;
    Updating = true;
    std::string name = device::Utf8Cut(model::TrimText(FromQt(ebxSensorname->text())), 30);
    if (name.empty()) name = model::RecordText(Work.SensorID);
    model::SetRecordText(Work.SensorName, name);
    model::SetRecordText(Work.DisplayName,
                         device::Utf8Cut(model::TrimText(FromQt(ebxDisplayName->text())), 30));
    model::SetRecordText(Work.Description,
                         device::Utf8Cut(model::TrimText(MemoToDescription(mmDesc->toPlainText())), 200));

    const int type = std::max(0, SelectedValue(cbSensorType));
    Work.SensorType = static_cast<uint16_t>(type);
    Work.Range = static_cast<uint8_t>(std::max(0, SelectedValue(cbSensorRange)));
    Work.OutputFilter = cbSensorPwrFilter->isChecked() ? 1 : 0;
    const bool offset = cbSensorOffset->isChecked();
    Work.Offset = offset ? 1 : 0;
    Work.OffsetDAC = offset ? OffsetDACFromPercent(seSensorOffset->value()) : 2048;
    seSensorOffset->setEnabled(offset);

    const auto coupling = static_cast<uint8_t>(std::max(0, SelectedValue(cbSensorCoupling)));
    const uint16_t current =
        RoundDAC(std::max(0, SelectedValue(cbSensorCurrent)) * 0.5 * kCountsPerMilliampere);
    const uint8_t twoWire = cbSensorPwrSignal->currentIndex() == 1 ? 1 : 0;
    const int mode = SupplyMode();
    // The per-type writes: coupling, power DAC, 350 Ohm, two-wire, bridge supply, sense, shunt,
    // supply mode.
    auto write = [this](uint8_t c, uint16_t power, uint8_t r350, uint8_t wire, uint16_t bridge, uint8_t sense,
                        uint8_t shunt, uint8_t supply) {
        Work.Coupling = c;
        Work.PowerDAC = power;
        Work.Is350Ohm = r350;
        Work.TwoWire = wire;
        Work.BridgeSupplyDAC = bridge;
        Work.Sense = sense;
        Work.Shunt = shunt;
        Work.SupplyMode = supply;
    };
    switch (type) {
    case 1:
        write(coupling, 2048, 1, 0, 0, cbSensorSense->currentIndex() == 1 && mode == 1 ? 1 : 0, 0,
              static_cast<uint8_t>(std::max(0, mode)));
        break;
    case 2:
        write(coupling, current, 1, 0, 0, 0, 0, 0);
        break;
    case 3:
        write(coupling, current, 1, twoWire, 0, 0, 0, 0);
        break;
    case 4:
    case 5:
    case 6:
        write(coupling, 0, cbSensorResistor->currentIndex() != 0 ? 1 : 0, twoWire,
              RoundDAC(std::max(0, SelectedValue(cbSensorVoltage)) * kCountsPerVolt),
              cbSensorSense->currentIndex() == 1 ? 1 : 0, cbSensorShunt->currentIndex() == 1 ? 1 : 0, 0);
        break;
    case 7:
        write(coupling, 0, 1, 0, 0, 0, 0, 0);
        break;
    case 8:
        write(coupling, 0, 1, twoWire, 0, 0, 0, 0);
        break;
    default:
        write(0, 2048, 1, 0, 0, 0, 0, 0);
        break;
    }

    const bool supplyShown = type == 1 && (Work.SupplyMode == 1 || Work.SupplyMode == 2);
    lbVSP->setVisible(supplyShown);
    cbVSP->setVisible(supplyShown);
    if (supplyShown) {
        const bool volts = Work.SupplyMode == 1;
        lbVSP->setText(Caption(volts ? 1937 : 1938));
        cbVSP->clear();
        for (int n = 1; n <= (volts ? 20 : 24); ++n) {
            const std::string text = volts ? device::Format("%2.1f V", n) : device::Format("%3.1f mA", n);
            cbVSP->addItem(ToQt(text), ToQt(text));
        }
        const int rounded = RoundInt(Work.SupplyDAC / (volts ? kCountsPerVolt : kCountsPerMilliampere));
        const int index = rounded == 0 ? 0 : rounded - 1;
        cbVSP->setCurrentIndex(index < cbVSP->count() ? index : -1);
    }
    ShowSenseList();

    Updating = false;
    Changed = true;
    btnOk->setEnabled(true);
}

void TTEDSEditForm::cbVSPChange() {
    if (Updating) return;
    const int index = cbVSP->currentIndex();
    if (Work.SupplyMode == 1)
        Work.SupplyDAC = RoundDAC((index + 1) * kCountsPerVolt);
    else if (Work.SupplyMode == 2)
        Work.SupplyDAC = RoundDAC((index + 1) * kCountsPerMilliampere);
    else
        Work.SupplyDAC = 0;
    Changed = true;
    btnOk->setEnabled(true);
}

void TTEDSEditForm::btnOkClick() {
    if (Entry != nullptr) Entry->Rec = Work;
    accept();
}

void TTEDSEditForm::btnCancelClick() {
    if (Changed && QRBMessageDlg(1906, 1907, 1908) != kResultYes) return;
    QDialog::reject();
}

void TTEDSEditForm::reject() {
    btnCancelClick();
}

} // namespace qrb::ui
