// The channel list: what a row paints (texts, positions, colours, separators), hover hints, the
// selection mirrored into the translator and the "All channels" box, right clicks, and a few
// pixel probes of a rendered row.

#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "tests/ui/channels/ChannelsTestSupport.h"
#include "ui/Application.h"
#include "ui/texts/Texts.h"

#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTest>

#include <deque>

namespace qrb::test {
namespace {

using ui::TListFont;
using ui::TRowOp;
using ui::TRowPaint;

// Seven pixels per character: cut rules and centring become exact.
int FixedWidth(const QString& text, TListFont) {
    return 7 * static_cast<int>(text.size());
}

class ChannelRows : public ChannelsFixture {
protected:
    void SetUp() override {
        ChannelsFixture::SetUp();
        list->Measure = FixedWidth;
    }
    TRowPaint Row(int index, bool selected = false) {
        const QRect rect(0, index * ui::kChannelRowHeight, ui::kChannelListDesignWidth,
                         ui::kChannelRowHeight);
        return ui::BuildRowPaint(list->RowContext(), index, rect, selected);
    }
    // The paint is kept until the test ends.
    const TRowOp* Text(TRowPaint paint, const std::string& text) {
        kept_.push_back(std::move(paint));
        return kept_.back().FindText(QString::fromStdString(text));
    }
    static int Top(int index) { return index * ui::kChannelRowHeight; }
    // The operations of a kind; the paint is kept until the test ends.
    std::vector<const TRowOp*> Ops(TRowPaint paint, TRowOp::TKind kind) {
        kept_.push_back(std::move(paint));
        std::vector<const TRowOp*> ops;
        for (const TRowOp& op : kept_.back().Ops)
            if (op.Kind == kind) ops.push_back(&op);
        return ops;
    }

private:
    std::deque<TRowPaint> kept_;
};

TEST_F(ChannelRows, RowWithoutChannelPaintsInvalidChannel) {
    Scan({"A-2:3"});
    const TRowPaint paint = Row(5);
    ASSERT_EQ(paint.Ops.size(), 2u);
    EXPECT_EQ(paint.Ops[0].Kind, TRowOp::opFill);
    EXPECT_EQ(paint.Ops[0].Color, ui::kColorWindow);
    const TRowOp& text = paint.Ops[1];
    EXPECT_EQ(text.Text, QStringLiteral("Invalid Channel!"));
    EXPECT_EQ(text.Font, TListFont::Invalid);
    EXPECT_EQ(text.Color, ui::kColorRed);
    EXPECT_EQ(text.X1, 10);
    EXPECT_EQ(text.Y1, Top(5) + 10);
}

TEST_F(ChannelRows, DeviceSeparatorsUnderTheLastSlotOfEveryDeviceButTheLast) {
    Scan({"A-8:3", "B-8:3", "C-3:3"});
    ASSERT_EQ(translator->ChannelCount(), 19);
    for (int i = 0; i < 19; ++i) {
        SCOPED_TRACE(i);
        const auto lines = Ops(Row(i), TRowOp::opLine);
        if (i == 7 || i == 15) {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0]->Width, 2);
            EXPECT_EQ(lines[0]->Color, ui::kColorSilver);
            EXPECT_EQ(lines[0]->Y1, Top(i) + ui::kChannelRowHeight);
            EXPECT_EQ(lines[0]->X2, ui::kChannelListDesignWidth);
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }
}

TEST_F(ChannelRows, NoSeparatorWithOneDevice) {
    Scan({"A-8:3"});
    EXPECT_TRUE(Ops(Row(7), TRowOp::opLine).empty());
}

TEST_F(ChannelRows, BackgroundsAndFramesBySelectionAndIndex) {
    Scan({"A-4:3"});
    settings.ControlBackgroundsel = 0x111111;
    settings.ControlBackgroundnor = 0x222222;
    settings.ControlSelect = 0x333333;
    EXPECT_EQ(Row(0).Ops[0].Color, 0x222222);
    EXPECT_EQ(Row(1).Ops[0].Color, 0x111111);
    const TRowPaint selected = Row(1, true);
    EXPECT_EQ(selected.Ops[0].Color, 0x333333);
    for (const TRowOp* frame : Ops(selected, TRowOp::opFrame))
        EXPECT_EQ(frame->Color, ui::kColorHotLight);
    for (const TRowOp* frame : Ops(Row(1), TRowOp::opFrame))
        EXPECT_EQ(frame->Color, ui::kColorSilver);
    // The selection mark only on the selected row.
    const auto pictures = Ops(selected, TRowOp::opPicture);
    ASSERT_FALSE(pictures.empty());
    EXPECT_EQ(pictures[0]->Picture, ui::rpSelected);
    EXPECT_EQ(pictures[0]->X1, 5);
    EXPECT_EQ(pictures[0]->Y1, Top(1) + 12);
    for (const TRowOp* p : Ops(Row(1), TRowOp::opPicture))
        EXPECT_NE(p->Picture, ui::rpSelected);
}

TEST_F(ChannelRows, NameIsCutToFitAndPositionLineFollowsTheOption) {
    Scan({"A-2:3"});
    Ch(0).SetChannelName(std::string(30, 'W'));
    TRowPaint paint = Row(0, true);
    const TRowOp* name = nullptr;
    for (const TRowOp* op : Ops(paint, TRowOp::opText))
        if (op->Text.endsWith(QStringLiteral("..."))) name = op;
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->Text, QString(10, QLatin1Char('W')) + QStringLiteral("...")); // 10 x 7 = 70 <= 73
    EXPECT_EQ(name->Font, TListFont::NameSelected);
    EXPECT_EQ(name->X1, 28);
    EXPECT_EQ(name->Y1, Top(0) + 17);
    EXPECT_EQ(name->Color, settings.ControlChannelName);

    Ch(1).SetChannelName("Short");
    EXPECT_NE(Row(1).FindText(QStringLiteral("Short")), nullptr);
    const TRowOp* position = Text(Row(1), device::Format(ui::GetText(1501), {1, 2}));
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->X1, 28);
    EXPECT_EQ(position->Y1, Top(1) + 5);
    settings.UseDeviceNames = true;
    EXPECT_NE(Text(Row(1), Ch(1).Master->DeviceName + " - 02"), nullptr);
}

TEST_F(ChannelRows, ChannelThatIsNotPresentShowsItsState) {
    Scan({"A-2:3"});
    Ch(0).SetChannelName(std::string(30, 'W'));
    Ch(0).Present = false;
    Ch(1).Present = false;
    Ch(1).Defect = true;
    settings.UseDeviceNames = true;
    TRowPaint paint = Row(0);
    EXPECT_NE(Text(paint, ui::GetText(1554)), nullptr);
    EXPECT_NE(Text(paint, ui::GetText(1555)), nullptr);
    EXPECT_NE(paint.FindText(QString(10, QLatin1Char('W')) + QStringLiteral("...")), nullptr); // 70 pixels
    EXPECT_NE(Text(paint, device::Format(ui::GetText(1501), {1, 1})), nullptr); // always the position format
    EXPECT_EQ(Text(paint, ui::GetText(1502)), nullptr);
    const auto pictures = Ops(paint, TRowOp::opPicture);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0]->Picture, ui::rpNotPresent);
    EXPECT_EQ(pictures[0]->X1, ui::kChannelListDesignWidth - 25);
    paint = Row(1);
    EXPECT_NE(Text(paint, ui::GetText(1569)), nullptr);
    EXPECT_NE(Text(paint, ui::GetText(1570)), nullptr);
}

TEST_F(ChannelRows, CommonCellsOfAVoltChannel) {
    Scan({"A-2:3"});
    SetType(0, model::stVolt);
    const model::TQRBRawChannel& c = Ch(0);
    const TRowPaint paint = Row(0);
    const TRowOp* sensor = Text(paint, device::SensorTypeToText(model::stVolt));
    ASSERT_NE(sensor, nullptr);
    EXPECT_EQ(sensor->X1, 121);
    EXPECT_EQ(sensor->Font, TListFont::Value);
    EXPECT_EQ(sensor->Color, settings.ControlText);
    const TRowOp* filter =
        Text(paint, "Filter: " + device::OutputFilterToText(c.Info.FilterType, c.OutputFilterCache != 0));
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->X1, 183);
    const TRowOp* range = Text(paint, device::VoltageRangeToText(c.Info.Version, c.RangeCache));
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->X1, 257);
    // Offset off: "OFF" three pixels into the offset column.
    const TRowOp* offsetCaption = Text(paint, ui::GetText(1505));
    ASSERT_NE(offsetCaption, nullptr);
    EXPECT_EQ(offsetCaption->X1, 720);
    bool offAtOffset = false;
    for (const TRowOp* op : Ops(paint, TRowOp::opText))
        offAtOffset = offAtOffset || (op->Text == QStringLiteral("OFF") && op->X1 == 723);
    EXPECT_TRUE(offAtOffset);
    // Supply off: "OFF" under "Supply" and no sense cell.
    const TRowOp* supply = Text(paint, ui::GetText(1521));
    ASSERT_NE(supply, nullptr);
    EXPECT_EQ(supply->X1, 656);
    bool offAtSupply = false;
    for (const TRowOp* op : Ops(paint, TRowOp::opText))
        offAtSupply = offAtSupply || (op->Text == QStringLiteral("OFF") && op->X1 == 656 + 16 - 21 / 2);
    EXPECT_TRUE(offAtSupply);
    EXPECT_EQ(Text(paint, ui::GetText(1523)), nullptr);
    // The frames of the sensor, range, settings and status cells.
    const auto frames = Ops(paint, TRowOp::opFrame);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ((std::array<int, 4>{frames[0]->X1, frames[0]->Y1, frames[0]->X2, frames[0]->Y2}),
              (std::array<int, 4>{116, 3, 250, 37}));
    EXPECT_EQ(frames[2]->X2, ui::kChannelListDesignWidth - 36);
    EXPECT_EQ(frames[3]->X1, ui::kChannelListDesignWidth - 33);
}

TEST_F(ChannelRows, OffsetCellPercentOfTheUncalibratedZero) {
    Scan({"A-2:3"});
    SetType(0, model::stVolt);
    ASSERT_TRUE(translator->SetOffset(0, 1));
    ASSERT_TRUE(translator->SetDACs(0, Ch(0).PowerDACCache, 2560));
    const TRowOp* offset = Text(Row(0), "50.0 %");
    ASSERT_NE(offset, nullptr);
    EXPECT_EQ(offset->X1, 720 + 17 - (7 * 6) / 2);
}

TEST_F(ChannelRows, RangeModeChangesVoltageTextsOnly) {
    Scan({"A-2:3"});
    SetType(0, model::stVolt);
    SetType(1, model::stCurrent);
    const uint8_t v = Ch(0).Info.Version;
    settings.RangeMode = 1;
    EXPECT_NE(Text(Row(0), device::VoltageRangeDividerToText(v, Ch(0).RangeCache)), nullptr);
    EXPECT_NE(Text(Row(1), device::CurrentRangeToText(v, Ch(1).RangeCache)), nullptr);
    settings.RangeMode = 2;
    EXPECT_NE(Text(Row(0), device::VoltageRangeGainToText(v, Ch(0).RangeCache)), nullptr);
    EXPECT_NE(Text(Row(1), device::CurrentRangeToText(v, Ch(1).RangeCache)), nullptr);
}

TEST_F(ChannelRows, TypeCellsAtTheirPositions) {
    Scan({"A-8:3"});
    SetType(0, model::stDMSQuarterbridge);
    SetType(1, model::stDMSCurrent);
    SetType(2, model::stCharge);
    SetType(3, model::stICP);
    SetType(4, model::stRTD);
    auto at = [](const TRowPaint& paint, const std::string& text) {
        const TRowOp* op = paint.FindText(QString::fromStdString(text));
        return op == nullptr ? -1 : op->X1;
    };
    TRowPaint bridge = Row(0);
    EXPECT_EQ(at(bridge, "Zero"), 334);
    EXPECT_EQ(at(bridge, ui::GetText(1524)), 410);
    EXPECT_EQ(at(bridge, Ch(0).Is350OhmCache ? "350 Ohm" : "120 Ohm"), 410);
    EXPECT_EQ(at(bridge, ui::GetText(1522)), 500);
    EXPECT_EQ(at(bridge, ui::GetText(1523)), 570);
    const std::string sense = Ch(0).SenseCache ? "ON (3)" : "OFF (2,3)";
    EXPECT_EQ(at(bridge, sense), 570 + 15 - (7 * static_cast<int>(sense.size())) / 2);
    EXPECT_EQ(at(bridge, device::Format("%2.1f V", {(Ch(0).PowerDACCache2 - Ch(0).PowerZero) / 105.4583})),
              656);

    TRowPaint dms = Row(1);
    EXPECT_EQ(at(dms, Ch(1).PwrAtSignalCache ? "2-Wire" : "4-Wire"), 410);
    const std::string current = device::Format("%2.1f mA", {Ch(1).PowerDACCache / 78.63576399});
    EXPECT_EQ(at(dms, current), 656 + 17 - (7 * static_cast<int>(current.size())) / 2);

    TRowPaint charge = Row(2);
    EXPECT_EQ(at(charge, ui::GetText(1593)), 334);
    EXPECT_EQ(at(charge, device::ChargeModeToText(Ch(2).ChargeModeCache)), 334);
    EXPECT_EQ(at(charge, device::ChargeCapacityToText(Ch(2).CapacityCache)), 410);
    EXPECT_EQ(at(charge, device::ChargeHighPassToText(Ch(2).HighpassCache, Ch(2).CapacityCache)), 570);
    EXPECT_EQ(at(charge, device::ChargeClearModeToText(Ch(2).AutoClearCache)), 656);
    EXPECT_EQ(
        at(charge, device::ChargeRangeToText(Ch(2).Info.Version, Ch(2).RangeCache, Ch(2).CapacityCache)),
        257);

    TRowPaint icp = Row(3);
    EXPECT_EQ(at(icp, device::Format("%2.1f mA", {Ch(3).PowerDACCache / 78.63576399})), 656);
    EXPECT_EQ(at(Row(4), ui::GetText(1568)), 410);
}

TEST_F(ChannelRows, StatusPictureAndCopyMark) {
    Scan({"A-2:3"});
    auto status = [&](int index) {
        ui::TRowPicture last = ui::rpSelected;
        for (const TRowOp* p : Ops(Row(index), TRowOp::opPicture))
            last = p->Picture;
        return last;
    };
    Ch(0).ADC8Status = 2; // bit 1 only: no error
    EXPECT_EQ(status(0), ui::rpStatusOK);
    Ch(0).ADC8History = 4;
    EXPECT_EQ(status(0), ui::rpErrorHistory);
    Ch(0).ADC8Status = 0x80;
    EXPECT_EQ(status(0), ui::rpErrorNow);

    ASSERT_TRUE(translator->CopyChannel(1));
    const TRowPaint copied = Row(1);
    const TRowOp* star = copied.FindText(QStringLiteral("*"));
    ASSERT_NE(star, nullptr);
    EXPECT_EQ(star->Color, ui::kColorMoneyGreen);
    EXPECT_EQ(Row(1, true).FindText(QStringLiteral("*"))->Color, ui::kColorInfoBk);
    EXPECT_EQ(Row(0).FindText(QStringLiteral("*")), nullptr);
}

// ---- Hover -----------------------------------------------------------------------------------

TEST_F(ChannelRows, HoverHints) {
    Scan({"A-2:3"});
    SetType(0, model::stDMSFullbridge);
    Ch(0).SetChannelName("Bridge");
    Ch(0).SetDescription("  strain gauge  ");
    const model::TQRBRawChannel& c = Ch(0);
    const struct {
        int X;
        std::string Hint;
    } cases[] = {
        {27, ""},
        {28, "Bridge\r\n\r\n  strain gauge  "},
        {116, "Bridge\r\n\r\n  strain gauge  "},
        {121, ui::GetText(1502) + ": " + device::SensorTypeToText(c.TypeCache)},
        {300, ui::GetText(1503) + ": " + device::VoltageRangeToLongText(c.Info.Version, c.RangeCache) +
                  " - CMR: " + device::CommonModeRangeToText(c.Info.Version, c.RangeCache)},
        {328, ui::GetText(1504) + ": " + device::CouplingToText(c.CouplingCache)},
        {409, ""},
        {450, ui::GetText(1524) + ": " + (c.Is350OhmCache ? "350 Ohm" : "120 Ohm")},
        {530, ui::GetText(1522) + ": " + (c.DMSShuntCache ? "ON" : "OFF")},
        {650, ui::GetText(1523) + ": " + (c.SenseCache ? "ON" : "OFF")},
        {700, ""},
        {750, ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.X);
        const ui::THover hover = ui::HoverAt(*translator, 0, k.X, 783);
        EXPECT_EQ(hover.Hint, k.Hint);
        EXPECT_EQ(hover.StatusWindow, ui::THover::Hide);
    }
    // A VOLT channel shows no bridge hints.
    EXPECT_EQ(ui::HoverAt(*translator, 1, 450, 783).Hint, "");
}

TEST_F(ChannelRows, HoverOverTheStatusColumnDrivesTheStatusWindow) {
    Scan({"A-2:3"});
    QWidget statusWindow;
    list->StatusWindow = &statusWindow;
    std::vector<int> updated;
    list->UpdateStatusWindow = [&](int row) { updated.push_back(row); };
    Ch(0).ADC8Status = 2;
    list->lbDevControlMouseMove(QPoint(790, 20), QPoint(1000, 500));
    EXPECT_EQ(list->Hint(), "Status: OK");
    EXPECT_FALSE(statusWindow.isVisible());
    EXPECT_EQ(updated, std::vector<int>{0});

    Ch(1).ADC8Status = 0x10;
    list->lbDevControlMouseMove(QPoint(790, 60), QPoint(1000, 500));
    EXPECT_EQ(list->Hint(), "");
    EXPECT_TRUE(statusWindow.isVisible());
    EXPECT_EQ(statusWindow.pos(), QPoint(1000 - 115, 500 - 60));
    EXPECT_EQ(updated, (std::vector<int>{0, 1}));

    // Anywhere left of the status column hides it again.
    list->lbDevControlMouseMove(QPoint(300, 60), QPoint(500, 500));
    EXPECT_FALSE(statusWindow.isVisible());

    Ch(1).Present = false;
    list->lbDevControlMouseMove(QPoint(790, 60), QPoint(1000, 500));
    EXPECT_EQ(list->Hint(), "Status: OFF");
    // Below the last row: no hint, the window as it was.
    list->lbDevControlMouseMove(QPoint(790, 300), QPoint(1000, 500));
    EXPECT_EQ(list->Hint(), "");
}

// ---- Selection -------------------------------------------------------------------------------

TEST_F(ChannelRows, RowSelectionIsMirroredIntoTheTranslator) {
    Scan({"A-4:3"});
    page->Window.show();
    QTest::mouseClick(page->List->viewport(), Qt::LeftButton, {}, QPoint(300, 60));
    EXPECT_TRUE(translator->IsSelected(1));
    EXPECT_FALSE(translator->IsSelected(0));
    QTest::mouseClick(page->List->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(300, 140));
    EXPECT_TRUE(translator->IsSelected(1));
    EXPECT_TRUE(translator->IsSelected(3));
    EXPECT_GE(host.UpdateActionsCount, 2);
}

TEST_F(ChannelRows, AllChannelsBoxAndARowClickAfterIt) {
    Scan({"A-4:3"});
    page->Window.show();
    page->AllChannels->click();
    EXPECT_TRUE(page->AllChannels->isChecked());
    EXPECT_EQ(list->SelectedRowCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(translator->IsSelected(i));
    // A row click unchecks the box without selecting or deselecting all rows.
    QTest::mouseClick(page->List->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(300, 20));
    EXPECT_FALSE(page->AllChannels->isChecked());
    EXPECT_EQ(list->SelectedRowCount(), 3);
    EXPECT_FALSE(translator->IsSelected(0));
    EXPECT_TRUE(translator->IsSelected(1));

    page->AllChannels->click();
    page->AllChannels->click();
    EXPECT_EQ(list->SelectedRowCount(), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(translator->IsSelected(i));

    // While SelectionSyncing is set the box's click does nothing.
    fields.SelectionSyncing = true;
    page->AllChannels->click();
    EXPECT_EQ(list->SelectedRowCount(), 0);
}

TEST_F(ChannelRows, RightClickKeepsTheSelectionAndAsksForTheMenu) {
    Scan({"A-4:3"});
    page->Window.show();
    std::vector<QPoint> requests;
    list->OnContextPopup = [&](const QPoint& pos) { requests.push_back(pos); };
    SelectRows({0});
    QTest::mouseClick(page->List->viewport(), Qt::RightButton, {}, QPoint(300, 100));
    EXPECT_TRUE(page->List->item(0)->isSelected());
    EXPECT_FALSE(page->List->item(2)->isSelected());
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(300, 100),
                            page->List->viewport()->mapToGlobal(QPoint(300, 100)));
    QCoreApplication::sendEvent(page->List->viewport(), &event);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back(), QPoint(300, 100));
}

// ---- Pixels ----------------------------------------------------------------------------------

TEST_F(ChannelRows, RenderedRowsShowTheirFillsAndTheSeparator) {
    Scan({"A-8:3", "B-8:3"});
    settings.ControlBackgroundsel = 0xE8E8E8;
    settings.ControlBackgroundnor = 0xFFFFFF;
    settings.ControlSelect = 0xF0CAA6;
    list->Measure = ui::FontMetricsMeasure();
    QImage image(ui::kChannelListDesignWidth, 2 * ui::kChannelRowHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QPalette palette;
    auto paintRow = [&](int index, int y, bool selected) {
        const QRect rect(0, y, ui::kChannelListDesignWidth, ui::kChannelRowHeight);
        painter.setClipRect(rect);
        ui::TChannelRowDelegate::Execute(
            painter, ui::BuildRowPaint(list->RowContext(), index, rect, selected), palette, nullptr);
    };
    paintRow(7, 0, false);
    paintRow(8, ui::kChannelRowHeight, true);
    painter.end();
    // Row 7 (odd) on its background, the silver separator in its two bottom lines.
    EXPECT_EQ(image.pixel(2, 2), qRgb(0xE8, 0xE8, 0xE8));
    EXPECT_EQ(image.pixel(400, ui::kChannelRowHeight - 1), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(image.pixel(400, ui::kChannelRowHeight - 2), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(image.pixel(400, ui::kChannelRowHeight - 3), qRgb(0xE8, 0xE8, 0xE8));
    // Row 8 selected: 0x00BBGGRR 0xF0CAA6 is red A6, green CA, blue F0.
    EXPECT_EQ(image.pixel(2, ui::kChannelRowHeight + 2), qRgb(0xA6, 0xCA, 0xF0));
    EXPECT_NE(image.pixel(400, 2 * ui::kChannelRowHeight - 1), qRgb(0xC0, 0xC0, 0xC0));
    // Texts were drawn: the sensor cell of row 8 holds pixels other than its background.
    bool ink = false;
    for (int x = 121; x < 200 && !ink; ++x)
        for (int y = ui::kChannelRowHeight + 17; y < ui::kChannelRowHeight + 30; ++y)
            ink = ink || image.pixel(x, y) != qRgb(0xA6, 0xCA, 0xF0);
    EXPECT_TRUE(ink);
    image.save(
        QString::fromUtf8(std::getenv("QRB_TEST_BINARY_DIR") ? std::getenv("QRB_TEST_BINARY_DIR") : ".") +
        QStringLiteral("/channel_rows.png"));
}

TEST(ChannelListFont, DefaultNamesUpToChannel99FitTheNameCellWithTahoma) {
    ChannelsApplication();
    if (!QFile::exists(QString::fromLatin1(ui::kTahomaFiles[0])) ||
        !QFile::exists(QString::fromLatin1(ui::kTahomaFiles[1])))
        GTEST_SKIP() << "fonts-wine is not installed";
    // What the program's start does.
    ui::RegisterTahoma();
    EXPECT_EQ(QFontInfo(ui::ListFont(TListFont::Value)).family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(QFontInfo(ui::ListFont(TListFont::Small)).family(), QStringLiteral("Tahoma"));
    const ui::TTextMeasure measure = ui::FontMetricsMeasure();
    for (const uint16_t language : {ui::LangGerman, ui::LangEnglish}) {
        ui::SetLangOffset(language);
        for (int i = 1; i <= 99; ++i) {
            const QString name = QString::fromStdString(device::Format(ui::GetText(1500), {i}));
            for (const TListFont font : {TListFont::Value, TListFont::NameSelected})
                EXPECT_EQ(ui::CutName(name, 73, measure, font), name) << name.toStdString();
        }
    }
    ui::SetLangOffset(ui::LangEnglish);
    EXPECT_EQ(measure(QStringLiteral("Channel 10"), TListFont::Value), 73);
    // A name that really is too long is still cut by the rule.
    const QString cut = ui::CutName(QStringLiteral("Channel 100"), 73, measure, TListFont::Value);
    EXPECT_EQ(cut, QStringLiteral("Channel 10..."));
    EXPECT_EQ(ui::CutName(QString(30, QLatin1Char('W')), 73, measure, TListFont::Value).right(3),
              QStringLiteral("..."));
}

TEST(ChannelListColors, SettingsValuesAndSystemColours) {
    ChannelsApplication();
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(1, 2, 3));
    palette.setColor(QPalette::Text, QColor(4, 5, 6));
    palette.setColor(QPalette::Link, QColor(7, 8, 9));
    EXPECT_EQ(ui::ColorFromValue(0x0000FF, palette), QColor(255, 0, 0));
    EXPECT_EQ(ui::ColorFromValue(0x800000, palette), QColor(0, 0, 0x80));
    EXPECT_EQ(ui::ColorFromValue(static_cast<int32_t>(0xFF000005u), palette), QColor(1, 2, 3));
    EXPECT_EQ(ui::ColorFromValue(static_cast<int32_t>(0xFF000008u), palette), QColor(4, 5, 6));
    EXPECT_EQ(ui::ColorFromValue(ui::kColorHotLight, palette), QColor(7, 8, 9));
    EXPECT_EQ(ui::ListFont(TListFont::Value).pixelSize(), 13);
    EXPECT_EQ(ui::ListFont(TListFont::Small).pixelSize(), 9);
    EXPECT_EQ(ui::ListFont(TListFont::Mark).pixelSize(), 8);
    EXPECT_TRUE(ui::ListFont(TListFont::NameSelected).underline());
    EXPECT_EQ(ui::ListFont(TListFont::Small).family(), QStringLiteral("Tahoma"));
}

} // namespace
} // namespace qrb::test
