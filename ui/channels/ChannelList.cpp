#include "ui/channels/ChannelList.h"

#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "model/I2CTranslator.h"
#include "model/QRBRawMaster.h"
#include "ui/dialogs/ChannelOffsetDialog.h"
#include "ui/texts/QtText.h"
#include "ui/texts/Texts.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace qrb::ui {

namespace {

// Steps of the supply display: power-DAC counts per volt and per mA, by converter.
constexpr double kVoltStepADC18 = 105.4583;
constexpr double kVoltStep = 102.4;
constexpr double kCurrentStepADC18 = 78.63576399;
constexpr double kCurrentStep = 30.63466666667;

QString UiText(int id) {
    return ToQt(GetText(id));
}

bool IsBridge(int type) {
    return type >= model::stDMSFullbridge && type <= model::stDMSQuarterbridge;
}

std::string OnOff(bool on) {
    return on ? "ON" : "OFF";
}

// Builds the operations of one row.
class TRowBuilder {
public:
    TRowBuilder(const TRowContext& context, const QRect& rect, TRowPaint& paint)
        : ctx_(context), s_(*context.Settings), paint_(paint), L(rect.left()), T(rect.top()),
          R(rect.left() + rect.width()), B(rect.top() + rect.height()) {}

    void Fill(int x1, int y1, int x2, int y2, int32_t color) { Op(TRowOp::opFill, x1, y1, x2, y2, color); }
    void Frame(int x1, int y1, int x2, int y2) { Op(TRowOp::opFrame, x1, y1, x2, y2, frameColor); }
    void Line(int x1, int y1, int x2, int y2, int32_t color, int width) {
        Op(TRowOp::opLine, x1, y1, x2, y2, color).Width = width;
    }
    void Text(int x, int y, const QString& text, TListFont font, int32_t color) {
        TRowOp& op = Op(TRowOp::opText, x, y, x, y, color);
        op.Text = text;
        op.Font = font;
    }
    void Picture(int x, int y, TRowPicture picture) {
        Op(TRowOp::opPicture, x, y, x, y, 0).Picture = picture;
    }

    // Caption in the small font at the top of a cell, value in the value font below.
    void Caption(int x, const QString& text) { Text(x, T + 5, text, TListFont::Small, rowTextColor); }
    void Value(int x, const QString& text) { Text(x, T + 17, text, TListFont::Value, s_.ControlText); }
    void Value(int x, const std::string& text) { Value(x, ToQt(text)); }
    void CentredValue(int centre, const QString& text) {
        Value(centre - Width(text, TListFont::Value) / 2, text);
    }
    void CentredValue(int centre, const std::string& text) { CentredValue(centre, ToQt(text)); }

    int Width(const QString& text, TListFont font) const {
        return ctx_.Measure ? ctx_.Measure(text, font) : 0;
    }

    void Build(int index, bool selected);

    int32_t rowTextColor = 0;
    int32_t frameColor = kColorSilver;

private:
    TRowOp& Op(TRowOp::TKind kind, int x1, int y1, int x2, int y2, int32_t color) {
        TRowOp op;
        op.Kind = kind;
        op.X1 = x1;
        op.Y1 = y1;
        op.X2 = x2;
        op.Y2 = y2;
        op.Color = color;
        paint_.Ops.push_back(op);
        return paint_.Ops.back();
    }

    void PositionLine(const model::TQRBRawChannel& ch, bool deviceNames);
    void ChannelSettings(const model::TQRBRawChannel& ch);
    void TypeSettings(const model::TQRBRawChannel& ch);
    void Coupling(const model::TQRBRawChannel& ch) {
        Caption(L + 334, UiText(1504));
        Value(L + 334, device::CouplingToText(ch.CouplingCache));
    }
    void Connection(const model::TQRBRawChannel& ch) {
        Caption(L + 410, UiText(1568));
        Value(L + 410, QString::fromLatin1(ch.PwrAtSignalCache != 0 ? "2-Wire" : "4-Wire"));
    }

    const TRowContext& ctx_;
    const TSettings& s_;
    TRowPaint& paint_;
    const int L, T, R, B;
};

void TRowBuilder::PositionLine(const model::TQRBRawChannel& ch, bool deviceNames) {
    std::string text;
    if (deviceNames)
        text = device::Format("%s - %2.2d",
                              {ch.Master != nullptr ? ch.Master->DeviceName : std::string(), ch.Slot + 1});
    else
        text = device::Format(GetText(1501), {ch.Device + 1, ch.Slot + 1});
    Text(L + 28, T + 5, ToQt(text), TListFont::Small, rowTextColor);
}

void TRowBuilder::Build(int index, bool selected) {
    const model::TI2CTranslator& translator = *ctx_.Translator;
    const model::TQRBRawChannel* ch = translator.GetChannel(index);
    if (ch == nullptr) {
        Fill(L, T, R, B, kColorWindow);
        Text(L + 10, T + 10, QStringLiteral("Invalid Channel!"), TListFont::Invalid, kColorRed);
        return;
    }
    int32_t background;
    rowTextColor = s_.ControlForeground;
    if (selected) {
        background = s_.ControlSelect;
        frameColor = kColorHotLight;
    } else {
        background = (index % 2 != 0) ? s_.ControlBackgroundsel : s_.ControlBackgroundnor;
        frameColor = kColorSilver;
    }
    Fill(L, T, R, B, background);

    const int masters = translator.MasterCount();
    if (masters > 1 && ch->Slot == 7 && ch->Device < masters - 1) Line(L, B, R, B, kColorSilver, 2);
    if (selected) Picture(L + 5, T + 12, rpSelected);

    if (ch->Present) {
        if (ch->CopySource)
            Text(L + 16, T + 4, QStringLiteral("*"), TListFont::Value,
                 selected ? kColorInfoBk : kColorMoneyGreen);
        Text(L + 28, T + 17, CutName(ToQt(ch->ChannelName), 73, ctx_.Measure, TListFont::Value),
             selected ? TListFont::NameSelected : TListFont::Value, s_.ControlChannelName);
        PositionLine(*ch, s_.UseDeviceNames);
        if (ch->open_gnd_shield != 0) Text(L + 7, T + 5, QStringLiteral("Hy"), TListFont::Mark, rowTextColor);
        ChannelSettings(*ch);
        TypeSettings(*ch);
        return;
    }

    Text(L + 28, T + 17, CutName(ToQt(ch->ChannelName), 70, ctx_.Measure, TListFont::Value), TListFont::Value,
         kColorDarkGrey);
    PositionLine(*ch, false);
    Frame(L + 116, T + 3, R - 36, B - 3);
    Caption(L + 121, UiText(ch->Defect ? 1569 : 1554));
    Value(L + 121, UiText(ch->Defect ? 1570 : 1555));
    Frame(R - 33, T + 3, R - 3, B - 3);
    Picture(R - 25, T + 12, rpNotPresent);
}

void TRowBuilder::ChannelSettings(const model::TQRBRawChannel& ch) {
    Frame(L + 116, T + 3, L + 250, B - 3);
    Caption(L + 121, UiText(1502));
    Caption(L + 183, QStringLiteral("Filter: ") +
                         ToQt(device::OutputFilterToText(ch.Info.FilterType, ch.OutputFilterCache != 0)));
    Value(L + 121, device::SensorTypeToText(ch.TypeCache));

    Frame(L + 253, T + 3, L + 325, B - 3);
    Caption(L + 257, UiText(1503));
    std::string range;
    if (ch.TypeCache == model::stCurrent) {
        range = device::CurrentRangeToText(ch.Info.Version, ch.RangeCache);
    } else if (ch.TypeCache == model::stCharge) {
        range = device::ChargeRangeToText(ch.Info.Version, ch.RangeCache, ch.CapacityCache);
    } else {
        switch (s_.RangeMode) {
        case 1:
            range = device::VoltageRangeDividerToText(ch.Info.Version, ch.RangeCache);
            break;
        case 2:
            range = device::VoltageRangeGainToText(ch.Info.Version, ch.RangeCache);
            break;
        default:
            range = device::VoltageRangeToText(ch.Info.Version, ch.RangeCache);
            break;
        }
    }
    Value(L + 257, range);

    Frame(L + 328, T + 3, R - 36, B - 3);
    const int offsetLeft = ctx_.OffsetColumnLeft;
    Caption(offsetLeft, UiText(1505));
    if (ch.OffsetCache != 0) {
        const double percent =
            (static_cast<int>(ch.OffsetDACCache) - static_cast<int>(OffsetZero(ch, true))) / 10.24;
        CentredValue(offsetLeft + 17, device::Format("%3.1f %%", {percent}));
    } else {
        Value(offsetLeft + 3, QStringLiteral("OFF"));
    }

    Frame(R - 33, T + 3, R - 3, B - 3);
    TRowPicture status = rpStatusOK;
    if (ch.ADC8Status >= 4)
        status = rpErrorNow;
    else if (ch.ADC8History >= 4)
        status = rpErrorHistory;
    Picture(R - 26, T + 12, status);
}

void TRowBuilder::TypeSettings(const model::TQRBRawChannel& ch) {
    const int supply = ctx_.SupplyColumnLeft;
    const double voltStep = ch.HasADC18 ? kVoltStepADC18 : kVoltStep;
    const double currentStep = ch.HasADC18 ? kCurrentStepADC18 : kCurrentStep;
    const int powerZero = ch.PowerZero;
    const double volts = (static_cast<int>(ch.PowerDACCache2) - powerZero) / voltStep;
    // ICP and DMS current channels.
    const double current = ch.HasADC18 ? ch.PowerDACCache / kCurrentStepADC18
                                       : (static_cast<int>(ch.PowerDACCache) - powerZero) / kCurrentStep;

    switch (ch.TypeCache) {
    case model::stVolt:
        Coupling(ch);
        if (ch.SupplyCache == 1) {
            Caption(L + 570, UiText(1523));
            CentredValue(L + 570 + 12, OnOff(ch.SenseCache != 0));
        }
        if (ch.SupplyCache <= 1)
            Caption(supply, UiText(1521));
        else if (ch.SupplyCache == 2)
            Caption(supply, UiText(1510));
        if (ch.SupplyCache == 0)
            CentredValue(supply + 16, QStringLiteral("OFF"));
        else if (ch.SupplyCache == 1)
            CentredValue(supply + 16, device::Format("%2.1f V", {volts}));
        else if (ch.SupplyCache == 2)
            CentredValue(
                supply + 16,
                device::Format("%2.1f mA", {(static_cast<int>(ch.PowerDACCache) - powerZero) / currentStep}));
        break;
    case model::stICP:
        Coupling(ch);
        Caption(supply, UiText(1510));
        Value(supply, device::Format("%2.1f mA", {current}));
        break;
    case model::stDMSCurrent:
        Coupling(ch);
        Connection(ch);
        Caption(supply, UiText(1510));
        CentredValue(supply + 17, device::Format("%2.1f mA", {current}));
        break;
    case model::stDMSFullbridge:
    case model::stDMSHalfbridge:
    case model::stDMSQuarterbridge: {
        Caption(L + 334, UiText(1504));
        Value(L + 334,
              ch.CouplingCache == 0 ? std::string("Zero") : device::CouplingToText(ch.CouplingCache));
        Caption(L + 410, UiText(1524));
        if (ch.Is350OhmCache == 0)
            Value(L + 410, QStringLiteral("120 Ohm"));
        else if (ch.Is350OhmCache == 1)
            Value(L + 410, QStringLiteral("350 Ohm"));
        Caption(L + 500, UiText(1522));
        Value(L + 500, OnOff(ch.DMSShuntCache != 0));
        Caption(L + 570, UiText(1523));
        static constexpr const char* kSense[3][2] = {
            {"OFF (4)", "ON (5)"}, {"OFF (3)", "ON (4)"}, {"OFF (2,3)", "ON (3)"}};
        CentredValue(
            L + 570 + 15,
            QString::fromLatin1(kSense[ch.TypeCache - model::stDMSFullbridge][ch.SenseCache != 0 ? 1 : 0]));
        Caption(supply, UiText(1521));
        Value(supply, device::Format("%2.1f V", {volts}));
        break;
    }
    case model::stCurrent:
        Coupling(ch);
        break;
    case model::stRTD:
        Coupling(ch);
        Connection(ch);
        break;
    case model::stCharge:
        Caption(L + 334, UiText(1593));
        Value(L + 334, device::ChargeModeToText(ch.ChargeModeCache));
        Caption(L + 410, UiText(1594));
        Value(L + 410, device::ChargeCapacityToText(ch.CapacityCache));
        Caption(L + 570, UiText(1595));
        Value(L + 570, device::ChargeHighPassToText(ch.HighpassCache, ch.CapacityCache));
        Caption(supply, UiText(1596));
        Value(supply, device::ChargeClearModeToText(ch.AutoClearCache));
        break;
    default: // OFF, Debug and unknown types: none
        break;
    }
}

} // namespace

// ---- Colours, fonts, texts -------------------------------------------------------------------

int PointsToPixels(int points) {
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

QFont ListFont(TListFont font) {
    QFont f(QStringLiteral("Tahoma"));
    // Substitutes of similar width where Tahoma is missing, so that names fit as they would.
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                   QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    switch (font) {
    case TListFont::Small:
        f.setPixelSize(PointsToPixels(7));
        break;
    case TListFont::Value:
        f.setPixelSize(PointsToPixels(10));
        f.setBold(true);
        break;
    case TListFont::NameSelected:
        f.setPixelSize(PointsToPixels(10));
        f.setBold(true);
        f.setUnderline(true);
        break;
    case TListFont::Mark:
        f.setPixelSize(PointsToPixels(6));
        f.setBold(true);
        break;
    case TListFont::Invalid:
        f.setPixelSize(PointsToPixels(10));
        f.setItalic(true);
        break;
    }
    return f;
}

TTextMeasure FontMetricsMeasure() {
    return [](const QString& text, TListFont font) {
        return QFontMetrics(ListFont(font)).horizontalAdvance(text);
    };
}

const TRowOp* TRowPaint::FindText(const QString& text) const {
    for (const TRowOp& op : Ops)
        if (op.Kind == TRowOp::opText && op.Text == text) return &op;
    return nullptr;
}

std::vector<QString> TRowPaint::Texts() const {
    std::vector<QString> texts;
    for (const TRowOp& op : Ops)
        if (op.Kind == TRowOp::opText) texts.push_back(op.Text);
    return texts;
}

QString CutName(const QString& name, int maxWidth, const TTextMeasure& measure, TListFont font) {
    if (!measure) return name;
    QString text = name;
    bool cut = false;
    while (!text.isEmpty() && measure(text, font) > maxWidth) {
        text.chop(1);
        cut = true;
    }
    return cut ? text + QStringLiteral("...") : text;
}

TRowPaint BuildRowPaint(const TRowContext& context, int index, const QRect& rect, bool selected) {
    TRowPaint paint;
    if (context.Translator == nullptr || context.Settings == nullptr) return paint;
    TRowBuilder(context, rect, paint).Build(index, selected);
    return paint;
}

// ---- Hover -----------------------------------------------------------------------------------

THover HoverAt(const model::TI2CTranslator& translator, int row, int x, int offsetColumnRight) {
    THover hover;
    const model::TQRBRawChannel* ch = translator.GetChannel(row);
    if (ch == nullptr) return hover;
    const auto pair = [](int id, const std::string& value) {
        return device::Format("%s: %s", {GetText(id), value});
    };

    if (x > offsetColumnRight) {
        if (ch->Present) {
            hover.UpdateStatus = true;
            if (ch->ADC8Status < 4 && ch->ADC8History < 4) {
                hover.StatusWindow = THover::Hide;
                hover.Hint = "Status: OK";
            } else {
                hover.StatusWindow = THover::Show;
            }
        } else {
            hover.StatusWindow = THover::Hide;
            hover.Hint = "Status: OFF";
        }
        return hover;
    }
    hover.StatusWindow = THover::Hide;

    const int type = ch->TypeCache;
    const int sensorType = ch->SensorType;
    if (x >= 28 && x <= 116) {
        hover.Hint = ch->ChannelName;
        const QString description = ToQt(ch->Description).trimmed();
        if (!description.isEmpty()) hover.Hint += "\r\n\r\n" + ch->Description;
    } else if (x >= 121 && x <= 250) {
        hover.Hint = pair(1502, device::SensorTypeToText(ch->TypeCache));
    } else if (x >= 253 && x <= 325) {
        if (type == model::stCurrent)
            hover.Hint = pair(1503, device::CurrentRangeToText(ch->Info.Version, ch->RangeCache));
        else if (type == model::stCharge)
            hover.Hint = pair(
                1503, device::ChargeRangeToLongText(ch->Info.Version, ch->RangeCache, ch->CapacityCache));
        else
            hover.Hint = device::Format("%s: %s - CMR: %s",
                                        {GetText(1503),
                                         device::VoltageRangeToLongText(ch->Info.Version, ch->RangeCache),
                                         device::CommonModeRangeToText(ch->Info.Version, ch->RangeCache)});
    } else if (x >= 328 && x <= 408) {
        if (type >= model::stVolt && type <= model::stRTD)
            hover.Hint = pair(1504, device::CouplingToText(ch->CouplingCache));
    } else if (x >= 410 && x <= 490) {
        if (IsBridge(sensorType)) hover.Hint = pair(1524, ch->Is350OhmCache != 0 ? "350 Ohm" : "120 Ohm");
    } else if (x >= 500 && x <= 568) {
        if (IsBridge(sensorType)) hover.Hint = pair(1522, OnOff(ch->DMSShuntCache != 0));
    } else if (x >= 570 && x <= 650) {
        if (IsBridge(sensorType)) hover.Hint = pair(1523, OnOff(ch->SenseCache != 0));
    }
    return hover;
}

// ---- Delegate --------------------------------------------------------------------------------

TChannelRowDelegate::TChannelRowDelegate(std::function<TRowContext()> context,
                                         const std::array<QPixmap, 5>* pictures, QObject* parent)
    : QStyledItemDelegate(parent), context_(std::move(context)), pictures_(pictures) {}

void TChannelRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const TRowPaint rowPaint = BuildRowPaint(context_(), index.row(), option.rect, selected);
    painter->save();
    painter->setClipRect(option.rect);
    Execute(*painter, rowPaint, option.palette, pictures_);
    painter->restore();
}

QSize TChannelRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(std::max(option.rect.width(), 1), kChannelRowHeight);
}

void TChannelRowDelegate::Execute(QPainter& painter, const TRowPaint& paint, const QPalette& palette,
                                  const std::array<QPixmap, 5>* pictures) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const TRowOp& op : paint.Ops) {
        const QColor color = ColorFromValue(op.Color, palette);
        switch (op.Kind) {
        case TRowOp::opFill:
            painter.fillRect(QRect(op.X1, op.Y1, op.X2 - op.X1, op.Y2 - op.Y1), color);
            break;
        case TRowOp::opFrame:
            painter.setPen(QPen(color, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(op.X1 + 0.5, op.Y1 + 0.5, op.X2 - op.X1 - 1, op.Y2 - op.Y1 - 1),
                                    2.5, 2.0);
            break;
        case TRowOp::opLine:
            // A pen drawn inside the frame: the line's width lies above its end points.
            painter.fillRect(QRect(op.X1, op.Y2 - op.Width, op.X2 - op.X1, op.Width), color);
            break;
        case TRowOp::opText:
            painter.setFont(ListFont(op.Font));
            painter.setPen(color);
            painter.drawText(QRect(op.X1, op.Y1, 4000, 200),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, op.Text);
            break;
        case TRowOp::opPicture:
            if (pictures != nullptr && !(*pictures)[op.Picture].isNull())
                painter.drawPixmap(op.X1, op.Y1, (*pictures)[op.Picture]);
            break;
        }
    }
}

// ---- The list --------------------------------------------------------------------------------

TChannelList::TChannelList(QListWidget& list, QCheckBox& allChannels, model::TI2CTranslator& translator,
                           const TSettings& settings, TMainWindowState state, TChannelsHost& host)
    : list_(list), allChannels_(allChannels), translator_(translator), settings_(settings), state_(state),
      host_(host) {
    Measure = FontMetricsMeasure();
    previousDelegate_ = list_.itemDelegate();
    delegate_ = new TChannelRowDelegate([this] { return RowContext(); }, &Pictures, this);
    list_.setItemDelegate(delegate_);
    list_.setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_.setUniformItemSizes(true);
    list_.setSpacing(0);
    list_.setMouseTracking(true);
    list_.viewport()->setMouseTracking(true);
    list_.setContextMenuPolicy(Qt::DefaultContextMenu);
    list_.viewport()->installEventFilter(this);
    connect(&list_, &QListWidget::itemSelectionChanged, this, [this] {
        if (!programmatic_) lbDevControlClick();
    });
    // The focus row alone may move (Ctrl+arrow keys); the commands that depend on it follow.
    connect(&list_, &QListWidget::currentRowChanged, this, [this] {
        if (!programmatic_) host_.UpdateActions();
    });
    connect(&allChannels_, &QCheckBox::clicked, this, [this] { cbDevConAllChClick(); });
}

TChannelList::~TChannelList() {
    list_.viewport()->removeEventFilter(this);
    for (QWidget* w : watched_)
        w->removeEventFilter(this);
    if (list_.itemDelegate() == delegate_) list_.setItemDelegate(previousDelegate_);
}

TRowContext TChannelList::RowContext() const {
    TRowContext context;
    context.Translator = &translator_;
    context.Settings = &settings_;
    context.SupplyColumnLeft = state_.SupplyColumnLeft;
    context.OffsetColumnLeft = state_.OffsetColumnLeft;
    context.Measure = Measure;
    return context;
}

void TChannelList::FillRows(int count) {
    programmatic_ = true;
    list_.clear();
    for (int i = 0; i < count; ++i)
        list_.addItem(QString::number(i));
    programmatic_ = false;
}

void TChannelList::Clear() {
    FillRows(0);
}

void TChannelList::Repaint() {
    list_.viewport()->update();
}

int TChannelList::RowAt(const QPoint& pos) const {
    const QModelIndex index = list_.indexAt(pos);
    return index.isValid() ? index.row() : -1;
}

bool TChannelList::IsRowSelected(int row) const {
    const QListWidgetItem* item = list_.item(row);
    return item != nullptr && item->isSelected();
}

int TChannelList::SelectedRowCount() const {
    return static_cast<int>(list_.selectedItems().size());
}

void TChannelList::SetRowsSelected(bool selected) {
    programmatic_ = true;
    if (selected)
        list_.selectAll();
    else
        list_.clearSelection();
    programmatic_ = false;
}

void TChannelList::SelectAllRows() {
    translator_.SelectAll();
    SetRowsSelected(true);
    UncheckAllChannels();
}

void TChannelList::UncheckAllChannels() {
    state_.SelectionSyncing = true;
    allChannels_.setChecked(false);
    state_.SelectionSyncing = false;
}

void TChannelList::lbDevControlClick() {
    UncheckAllChannels();
    const int rows = list_.count();
    for (int i = 0; i < rows && i < model::kSelectionSize; ++i)
        translator_.Selected[static_cast<size_t>(i)] = IsRowSelected(i);
    host_.UpdateActions();
}

void TChannelList::cbDevConAllChClick() {
    if (state_.SelectionSyncing) return;
    if (allChannels_.isChecked()) {
        translator_.SelectAll();
        SetRowsSelected(true);
    } else {
        translator_.ClearSelection();
        SetRowsSelected(false);
    }
    host_.UpdateActions();
}

void TChannelList::HideStatusWindow() {
    if (StatusWindow != nullptr && StatusWindow->isVisible()) StatusWindow->hide();
}

void TChannelList::HideStatusWindowOnMouseMove(QWidget* widget) {
    if (widget == nullptr) return;
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
    watched_.push_back(widget);
}

void TChannelList::lbDevControlMouseMove(const QPoint& pos, const QPoint& globalPos) {
    hint_.clear();
    const int row = RowAt(pos);
    if (row >= 0 && translator_.GetChannel(row) != nullptr) {
        const THover hover = HoverAt(translator_, row, pos.x(), state_.OffsetColumnRight);
        if (hover.UpdateStatus && UpdateStatusWindow) UpdateStatusWindow(row);
        if (StatusWindow != nullptr) {
            if (hover.StatusWindow == THover::Hide) {
                HideStatusWindow();
            } else if (hover.StatusWindow == THover::Show) {
                StatusWindow->move(globalPos.x() - 115, globalPos.y() - 60);
                if (!StatusWindow->isVisible()) StatusWindow->show();
            }
        }
        hint_ = hover.Hint;
    }
    if (hint_.empty())
        QToolTip::hideText();
    else if (QToolTip::isVisible())
        QToolTip::showText(globalPos, ToDisplay(hint_), list_.viewport());
}

bool TChannelList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_.viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            // A right click never changes the selection; it only opens a column menu.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
            break;
        case QEvent::ContextMenu: {
            const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            if (OnContextPopup) OnContextPopup(menuEvent->pos());
            return true;
        }
        case QEvent::MouseMove: {
            const auto* move = static_cast<QMouseEvent*>(event);
            lbDevControlMouseMove(move->position().toPoint(), move->globalPosition().toPoint());
            break;
        }
        case QEvent::ToolTip: {
            const auto* help = static_cast<QHelpEvent*>(event);
            if (hint_.empty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), ToDisplay(hint_), list_.viewport());
            return true;
        }
        default:
            break;
        }
        return false;
    }
    if (event->type() == QEvent::MouseMove) HideStatusWindow();
    return QObject::eventFilter(watched, event);
}

} // namespace qrb::ui
