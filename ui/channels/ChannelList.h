#pragma once
// The channel list lbDevControl: one owner-drawn row of 40 pixels per translator channel. A row
// is described by a list of paint operations (fills, frames, lines, texts, pictures) that a
// delegate executes, so that what a row shows is tested without pixels. The list mirrors its
// row selection into the translator's Selected flags, shows hover hints and the channel status
// window, and hands right clicks to the column menus.

#include "model/QRBRawChannel.h"
#include "ui/channels/ChannelsHost.h"
#include "ui/settings/ColorValues.h"
#include "ui/settings/Settings.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStyledItemDelegate>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QListWidget;
class QPalette;

namespace qrb::model {
class TI2CTranslator;
}

namespace qrb::ui {

inline constexpr int kChannelRowHeight = 40;
inline constexpr int kChannelListDesignWidth = 816;

// Colour values the list uses besides the settings.
inline constexpr int32_t kColorSilver = 0xC0C0C0;
inline constexpr int32_t kColorMoneyGreen = 0xC0DCC0;
inline constexpr int32_t kColorDarkGrey = 0x525252;
inline constexpr int32_t kColorRed = 0x0000FF;
inline constexpr int32_t kColorWindow = static_cast<int32_t>(0xFF000005u);
inline constexpr int32_t kColorHotLight = static_cast<int32_t>(0xFF00001Au);
inline constexpr int32_t kColorInfoBk = static_cast<int32_t>(0xFF000018u);

// The list's fonts: face "Tahoma", sizes in points turned into pixels (x 96 / 72).
enum class TListFont : uint8_t {
    Small,        // 7
    Value,        // 10 bold
    NameSelected, // 10 bold underlined
    Mark,         // 6 bold ("Hy")
    Invalid,      // 10 italic
};
QFont ListFont(TListFont font);
int PointsToPixels(int points);

// The five row pictures, in the order of the main window's ListGlyphs.
enum TRowPicture : uint8_t {
    rpSelected = 0,
    rpStatusOK = 1,
    rpErrorNow = 2,
    rpErrorHistory = 3,
    rpNotPresent = 4
};

// One paint operation in the platform's row coordinates.
struct TRowOp {
    enum TKind : uint8_t { opFill, opFrame, opLine, opText, opPicture };
    TKind Kind = opFill;
    // Fill and Frame: (X1, Y1)-(X2, Y2) with X2 and Y2 the first pixels outside; Line: from
    // (X1, Y1) to (X2, Y2), the pen inside the row; Text (top-left corner) and Picture: (X1, Y1).
    int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    QString Text;
    TListFont Font = TListFont::Small;
    int32_t Color = 0; // a colour value
    int Width = 1;     // Line
    TRowPicture Picture = rpStatusOK;
};

struct TRowPaint {
    std::vector<TRowOp> Ops;
    // The first text operation showing text, or null.
    const TRowOp* FindText(const QString& text) const;
    // Every text, in paint order.
    std::vector<QString> Texts() const;
};

// Width of a text in a list font, in pixels.
using TTextMeasure = std::function<int(const QString& text, TListFont font)>;
TTextMeasure FontMetricsMeasure();

// What painting a row reads besides the channel.
struct TRowContext {
    const model::TI2CTranslator* Translator = nullptr;
    const TSettings* Settings = nullptr;
    int SupplyColumnLeft = 656;
    int OffsetColumnLeft = 720;
    TTextMeasure Measure;
};

// The paint operations of row index in rect (left L, top T, right R, bottom B exclusive).
TRowPaint BuildRowPaint(const TRowContext& context, int index, const QRect& rect, bool selected);

// The name cut rule: characters dropped from the end while wider than maxWidth, then "..."
// when anything was cut.
QString CutName(const QString& name, int maxWidth, const TTextMeasure& measure, TListFont font);

// What the mouse over a cell shows.
struct THover {
    enum TStatusWindow : uint8_t { Keep, Hide, Show };
    std::string Hint;
    TStatusWindow StatusWindow = Keep;
    bool UpdateStatus = false; // the window gets the row and updates before it is shown or hidden
};
// Hover over x of row (the row exists); offsetColumnRight bounds the status column.
THover HoverAt(const model::TI2CTranslator& translator, int row, int x, int offsetColumnRight);

class TChannelRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TChannelRowDelegate(std::function<TRowContext()> context, const std::array<QPixmap, 5>* pictures,
                                 QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Executes the operations of a row.
    static void Execute(QPainter& painter, const TRowPaint& paint, const QPalette& palette,
                        const std::array<QPixmap, 5>* pictures);

private:
    std::function<TRowContext()> context_;
    const std::array<QPixmap, 5>* pictures_;
};

// Drives the main window's list widget and its "All channels" check box.
class TChannelList : public QObject {
    Q_OBJECT
public:
    TChannelList(QListWidget& list, QCheckBox& allChannels, model::TI2CTranslator& translator,
                 const TSettings& settings, TMainWindowState state, TChannelsHost& host);
    ~TChannelList() override;
    TChannelList(const TChannelList&) = delete;
    TChannelList& operator=(const TChannelList&) = delete;

    // The row pictures (selection mark, status OK, error now, error in the history, not present).
    std::array<QPixmap, 5> Pictures;
    // The channel status window, its update for a row (index field and UpdateChannelStatus).
    QWidget* StatusWindow = nullptr;
    std::function<void(int row)> UpdateStatusWindow;
    // A context-menu request at a position in list client pixels (the column menus).
    std::function<void(const QPoint& pos)> OnContextPopup;
    // Text measure for painting (default: the fonts' metrics).
    TTextMeasure Measure;

    QListWidget& List() const { return list_; }

    // The list emptied, then one row per channel whose text is its index.
    void FillRows(int count);
    void Clear();
    void Repaint();
    // The row at a point in list client pixels; -1 below the last row or outside.
    int RowAt(const QPoint& pos) const;
    bool IsRowSelected(int row) const;
    int SelectedRowCount() const;
    // Selects every row and the translator's flags (the edit command), the box unchecked.
    void SelectAllRows();
    // Unchecks the box with SelectionSyncing set, so its click handler does nothing.
    void UncheckAllChannels();

    // The list's click: the box unchecked, the row selection into Selected, UpdateActions.
    void lbDevControlClick();
    // The box's click.
    void cbDevConAllChClick();
    // Hover at a point in list client pixels, the mouse at globalPos on the screen.
    void lbDevControlMouseMove(const QPoint& pos, const QPoint& globalPos);
    void HideStatusWindow();
    // Mouse moves over widget hide the status window (the control page, the window, the group box).
    void HideStatusWindowOnMouseMove(QWidget* widget);
    // The hint the last mouse move set.
    const std::string& Hint() const { return hint_; }

    TRowContext RowContext() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetRowsSelected(bool selected);

    QListWidget& list_;
    QCheckBox& allChannels_;
    model::TI2CTranslator& translator_;
    const TSettings& settings_;
    TMainWindowState state_;
    TChannelsHost& host_;
    TChannelRowDelegate* delegate_;
    QAbstractItemDelegate* previousDelegate_;
    std::vector<QWidget*> watched_;
    std::string hint_;
    bool programmatic_ = false;
};

} // namespace qrb::ui
