// The sensor database dialogs over a translator's sensor list: the list and its details, add,
// delete, cancel; the editor's per-type controls and field writes on its working copy.

#include "ui/dialogs/SensorDatabaseForms.h"

#include "device/Format.h"
#include "device/HWVocabulary.h"
#include "device/I2CHAL.h"
#include "model/I2CTranslator.h"
#include "tests/ui/channels/ChannelsTestSupport.h"
#include "ui/dialogs/MessageService.h"
#include "ui/texts/Texts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTest>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qrb::test {
namespace {

using model::TSensorRecord;

TSensorRecord Record(const std::string& id, uint16_t type) {
    TSensorRecord rec;
    model::SetRecordText(rec.SensorID, id);
    model::SetRecordText(rec.SensorName, "Name " + id.substr(0, 4));
    model::SetRecordText(rec.DisplayName, "Display");
    rec.SensorType = type;
    rec.Range = 10;
    rec.Coupling = 3;
    return rec;
}

// Every visible control of the kinds that show a text gets at least its size hint.
void ExpectSizeHints(QWidget& dialog, const char* language) {
    dialog.show();
    QApplication::processEvents();
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&dialog)) continue;
        const bool textControl = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                                 qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
                                 qobject_cast<QSpinBox*>(w) || qobject_cast<QGroupBox*>(w);
        // Qt's own parts of a control (the spin box's line edit) are sized by the control.
        if (!textControl || w->objectName().isEmpty() || w->objectName().startsWith(QStringLiteral("qt_")))
            continue;
        const QSize hint = w->sizeHint();
        EXPECT_GE(w->width(), hint.width()) << language << " " << w->objectName().toStdString();
        EXPECT_GE(w->height(), hint.height()) << language << " " << w->objectName().toStdString();
    }
    dialog.hide();
}

class SensorForms : public ::testing::Test {
protected:
    void SetUp() override {
        ChannelsApplication();
        translator = std::make_unique<model::TI2CTranslator>(device::kMaskOffline);
        installed = std::make_unique<ui::TScopedMessageService>(script);
        form = std::make_unique<ui::TTEDSInfoForm>();
        form->Translator = translator.get();
    }
    void TearDown() override {
        form.reset();
        installed.reset();
        ui::SetLangOffset(ui::LangEnglish);
    }

    model::TTEDSBlock& Add(const TSensorRecord& rec) {
        auto entry = std::make_unique<model::TTEDSBlock>(rec);
        const int index = translator->AddSensorEntry(entry);
        return *translator->GetSensorEntry(index);
    }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int i = 0; i < form->lbTEDS->count(); ++i)
            rows.push_back(form->lbTEDS->item(i)->text().toStdString());
        return rows;
    }
    std::string Details() const { return form->mmTEDSInfo->toPlainText().toStdString(); }

    ui::TScriptedMessageService script;
    std::unique_ptr<ui::TScopedMessageService> installed;
    std::unique_ptr<model::TI2CTranslator> translator;
    std::unique_ptr<ui::TTEDSInfoForm> form;
};

// ---- Details and the ID rule ---------------------------------------------------------------

TEST(SensorDetails, LinesByTypeWithTheirConversions) {
    struct Case {
        uint16_t Type;
        std::function<void(TSensorRecord&)> Edit;
        std::vector<std::string> Tail; // the lines after the range line
    };
    const std::string coupling = "Coupling:      " + device::CouplingToText(3);
    const std::vector<Case> cases = {
        {0, [](TSensorRecord&) {}, {"Output Filter: OFF", "Offset:        OFF"}},
        {1,
         [](TSensorRecord& r) {
             r.SupplyMode = 1;
             r.SupplyDAC = 527; // 5.0 V
         },
         {coupling, "Supply:        Volt: 5.0 V", "Output Filter: OFF", "Offset:        OFF"}},
        {1,
         [](TSensorRecord& r) {
             r.SupplyMode = 2;
             r.SupplyDAC = 315; // 4.0 mA
             r.OutputFilter = 1;
         },
         {coupling, "Supply:        Current: 4.0 mA", "Output Filter: ON", "Offset:        OFF"}},
        {1,
         [](TSensorRecord& r) { r.SupplyMode = 3; },
         {coupling, "Output Filter: OFF", "Offset:        OFF"}},
        {2,
         [](TSensorRecord& r) {
             r.PowerDAC = 354;
             r.Offset = 1;
             r.OffsetDAC = 2048 + 256; // 25 %
         },
         {coupling, "Current:       4.5 mA", "Output Filter: OFF", "Offset:        ON (25% FSR)"}},
        {3,
         [](TSensorRecord& r) {
             r.PowerDAC = 786;
             r.TwoWire = 1;
         },
         {coupling, "Current:       10.0 mA", "Connection:    2-wire", "Output Filter: OFF",
          "Offset:        OFF"}},
        {5,
         [](TSensorRecord& r) {
             r.BridgeSupplyDAC = 1055; // 10.0 V
             r.Is350Ohm = 1;
             r.Sense = 1;
         },
         {coupling, "Supply:        10.0 V", "Resistor:      350 Ohm", "Shunt:         OFF",
          "Sense:         ON", "Output Filter: OFF", "Offset:        OFF"}},
        {8,
         [](TSensorRecord&) {},
         {coupling, "Connection:    4-wire", "Output Filter: OFF", "Offset:        OFF"}},
        {9, [](TSensorRecord&) {}, {coupling, "Output Filter: OFF", "Offset:        OFF"}},
    };
    for (const Case& c : cases) {
        TSensorRecord rec = Record("0123456789ABCDEF", c.Type);
        model::SetRecordText(rec.Description, "Desc");
        c.Edit(rec);
        std::vector<std::string> want = {"Name 0123",
                                         "Display",
                                         "",
                                         "Desc",
                                         "",
                                         "Sensor:        " + device::SensorTypeToText(c.Type),
                                         "Range:         " + device::VoltageRangeToText(2, 10)};
        want.insert(want.end(), c.Tail.begin(), c.Tail.end());
        EXPECT_EQ(ui::SensorDetailLines(rec), want) << c.Type;
    }
}

TEST(SensorDetails, TypedIdIsTrimmedUpperCasedAndSixteenHexDigits) {
    struct Case {
        const char* Input;
        bool Valid;
        const char* Id;
    };
    const Case cases[] = {
        {"  0123456789abcdef  ", true, "0123456789ABCDEF"},
        {"0123456789ABCDE", false, ""},
        {"0123456789ABCDEF0", false, ""},
        {"0123456789ABCDEG", false, ""},
        {"0123 456789ABCDE", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        std::string id;
        EXPECT_EQ(ui::NormalizeSensorId(c.Input, id), c.Valid) << c.Input;
        EXPECT_EQ(id, c.Id) << c.Input;
    }
}

// ---- Database dialog -----------------------------------------------------------------------

TEST_F(SensorForms, EmptyListShowsNothingAndDisablesDeleteAndEdit) {
    form->FormShow();
    EXPECT_EQ(form->lbTEDS->count(), 0);
    EXPECT_TRUE(form->sttUID->text().isEmpty());
    EXPECT_TRUE(Details().empty());
    EXPECT_FALSE(form->btnDelTEDS->isEnabled());
    EXPECT_FALSE(form->btnEditTEDS->isEnabled());
    EXPECT_EQ(form->lbTEDSHeader->text().toStdString(), ui::GetText(1932));
}

TEST_F(SensorForms, AddTakesTheNormalisedIdAndRefusesBadOrDuplicateOnes) {
    Add(Record("AAAAAAAAAAAAAAAA", 2));
    form->FormShow();
    script.Answers = {" 0123456789abcdef "};
    form->btnAddTEDSClick();
    EXPECT_TRUE(form->Changed);
    const int index = translator->FindSensorEntry("0123456789ABCDEF");
    ASSERT_GE(index, 0);
    const TSensorRecord& rec = translator->GetSensorEntry(index)->Rec;
    EXPECT_EQ(rec.ID(), "0123456789ABCDEF");
    EXPECT_EQ(model::RecordText(rec.SensorName), "0123456789ABCDEF");
    EXPECT_EQ(model::RecordText(rec.DisplayName), "0123456789ABCDEF");
    EXPECT_EQ(model::RecordText(rec.Description), "Manually added entry. Please edit!");
    EXPECT_EQ(rec.NewFlag, 1);
    EXPECT_EQ(rec.Marker, model::kSensorRecordMarker);
    EXPECT_EQ(rec.SensorType, 0);
    EXPECT_EQ(rec.Range, 4);
    EXPECT_EQ(rec.OffsetDAC, 2048);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"0123456789ABCDEF", "AAAAAAAAAAAAAAAA"}));
    EXPECT_TRUE(script.MessageTexts().empty());
    ASSERT_EQ(script.Records.size(), 1u);
    EXPECT_EQ(script.Records[0].Caption, ui::GetText(1933));
    EXPECT_EQ(script.Records[0].Header, ui::GetText(1934));

    // Invalid IDs, a duplicate in other letter case, and a cancelled input box.
    script.Clear();
    form->Changed = false;
    script.Answers = {"0123456789ABCDE", "0123456789ABCDEF0", "0123456789ABCDEX", "aaaaaaaaaaaaaaaa", ""};
    for (int i = 0; i < 5; ++i)
        form->btnAddTEDSClick();
    EXPECT_EQ(script.MessageTexts(), (std::vector<std::string>{ui::GetText(1936), ui::GetText(1936),
                                                               ui::GetText(1936), ui::GetText(1935)}));
    EXPECT_EQ(translator->SensorEntryCount(), 2);
    EXPECT_FALSE(form->Changed);
}

TEST_F(SensorForms, SelectionShowsIdAndDetailsDeletingTheLastRowLeavesNothingSelected) {
    Add(Record("1111111111111111", 7));
    Add(Record("2222222222222222", 7));
    form->FormShow();
    ASSERT_EQ(form->lbTEDS->currentRow(), 0);
    EXPECT_EQ(form->sttUID->text().toStdString(), " 0x1111111111111111");
    EXPECT_EQ(Details().substr(0, 10), "Name 1111\n");
    // The row shows the sensor name, its text is the ID.
    EXPECT_EQ(form->lbTEDS->item(1)->data(Qt::UserRole + 1).toString().toStdString(), "Name 2222");

    form->lbTEDS->setCurrentRow(1);
    EXPECT_EQ(form->sttUID->text().toStdString(), " 0x2222222222222222");
    script.Answers = {"7"}; // No
    form->btnDelTEDSClick();
    EXPECT_EQ(translator->SensorEntryCount(), 2);
    script.Answers = {"6"};
    form->btnDelTEDSClick();
    EXPECT_TRUE(form->Changed);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1111111111111111"}));
    EXPECT_EQ(form->lbTEDS->selectedItems().size(), 0);
    EXPECT_TRUE(form->sttUID->text().isEmpty());
    EXPECT_TRUE(Details().empty());
    EXPECT_FALSE(form->btnDelTEDS->isEnabled());
    EXPECT_FALSE(form->btnEditTEDS->isEnabled());
    ASSERT_EQ(script.Records.size(), 2u);
    EXPECT_EQ(script.Records[1].Header, ui::GetText(1914));
}

TEST_F(SensorForms, NewOnlyListsNewEntriesHidesAddDeleteAndCancelAsksFirst) {
    Add(Record("1111111111111111", 0));
    TSensorRecord fresh = Record("2222222222222222", 0);
    fresh.NewFlag = 1;
    Add(fresh);
    form->NewOnly = true;
    form->Changed = true;
    form->show();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"2222222222222222"}));
    EXPECT_FALSE(form->gbxTEDScontrol->isVisible());
    EXPECT_EQ(form->lbTEDSHeader->text().toStdString(), ui::GetText(1931));
    script.Answers = {"7"};
    form->btnCancel->click();
    EXPECT_TRUE(form->isVisible());
    script.Answers = {"6"};
    form->btnCancel->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Rejected);
    ASSERT_EQ(script.Records.size(), 2u);
    EXPECT_EQ(script.Records[0].Caption, ui::GetText(1906));
    EXPECT_EQ(script.Records[0].Text, ui::GetText(1908));
}

TEST_F(SensorForms, ConfirmedEditMarksTheListChangedAndKeepsTheRowSelected) {
    Add(Record("1111111111111111", 0));
    Add(Record("2222222222222222", 0));
    form->FormShow();
    form->lbTEDS->setCurrentRow(1);
    form->ExecEditor = [](ui::TTEDSEditForm& editor) {
        editor.FormShow();
        editor.ebxDisplayName->setText(QStringLiteral("Edited"));
        editor.btnOkClick();
        return int(QDialog::Accepted);
    };
    form->btnEditTEDSClick();
    EXPECT_TRUE(form->Changed);
    EXPECT_EQ(form->lbTEDS->currentRow(), 1);
    EXPECT_EQ(model::RecordText(translator->GetSensorEntry(1)->Rec.DisplayName), "Edited");
    EXPECT_NE(Details().find("Edited"), std::string::npos);

    // An editor closed otherwise changes nothing.
    form->Changed = false;
    form->ExecEditor = [](ui::TTEDSEditForm&) { return int(QDialog::Rejected); };
    form->btnEditTEDSClick();
    EXPECT_FALSE(form->Changed);
}

// ---- Editor --------------------------------------------------------------------------------

class SensorEditor : public SensorForms {
protected:
    // Opens the editor on a copy of rec kept in the list.
    ui::TTEDSEditForm& Open(const TSensorRecord& rec) {
        entry = &Add(rec);
        editor = std::make_unique<ui::TTEDSEditForm>();
        editor->Entry = entry;
        editor->FormShow();
        return *editor;
    }
    static QString Value(const QComboBox* list) { return list->currentData(Qt::UserRole).toString(); }
    static void Pick(QComboBox* list, int value) {
        const int index = list->findData(QString::number(value), Qt::UserRole);
        ASSERT_GE(index, 0) << value;
        list->setCurrentIndex(index);
    }

    model::TTEDSBlock* entry = nullptr;
    std::unique_ptr<ui::TTEDSEditForm> editor;
};

TEST_F(SensorEditor, OpeningIsNoChangeAndCancelThenClosesWithoutAQuestion) {
    TSensorRecord rec = Record("1111111111111111", 4);
    rec.BridgeSupplyDAC = 1055;
    ui::TTEDSEditForm& e = Open(rec);
    EXPECT_FALSE(e.Changed);
    EXPECT_FALSE(e.btnOk->isEnabled());
    e.show();
    e.btnCancel->click();
    EXPECT_FALSE(e.isVisible());
    EXPECT_TRUE(script.Records.empty());
    EXPECT_EQ(entry->Rec, rec);
}

TEST_F(SensorEditor, TypeNineOpensAsOffAndIsStoredWithTheOffDefaults) {
    TSensorRecord rec = Record("1111111111111111", 9);
    rec.PowerDAC = 500;
    rec.Is350Ohm = 0;
    ui::TTEDSEditForm& e = Open(rec);
    EXPECT_EQ(Value(e.cbSensorType), QStringLiteral("0"));
    EXPECT_FALSE(e.cbSensorCoupling->isVisibleTo(&e));
    EXPECT_EQ(entry->Rec.SensorType, 9); // nothing written yet
    e.ebxDisplayName->setText(QStringLiteral("Other"));
    EXPECT_TRUE(e.btnOk->isEnabled());
    e.btnOkClick();
    EXPECT_EQ(entry->Rec.SensorType, 0);
    EXPECT_EQ(entry->Rec.Coupling, 0);
    EXPECT_EQ(entry->Rec.PowerDAC, 2048);
    EXPECT_EQ(entry->Rec.Is350Ohm, 1);
}

TEST_F(SensorEditor, IcpHalfMilliampereCurrentSurvivesAnUnrelatedEdit) {
    TSensorRecord rec = Record("1111111111111111", 2);
    rec.PowerDAC = 354; // 4.5 mA
    ui::TTEDSEditForm& e = Open(rec);
    EXPECT_EQ(Value(e.cbSensorCurrent), QStringLiteral("9"));
    EXPECT_EQ(e.cbSensorCurrent->currentText(), QStringLiteral("4.5 mA"));
    e.ebxSensorname->setText(QStringLiteral("Renamed"));
    e.btnOkClick();
    EXPECT_EQ(entry->Rec.PowerDAC, 354);
    EXPECT_EQ(model::RecordText(entry->Rec.SensorName), "Renamed");
}

TEST_F(SensorEditor, CurrentListsOfIcpAndDmsCurrent) {
    TSensorRecord icp = Record("1111111111111111", 2);
    icp.PowerDAC = 315;
    ui::TTEDSEditForm& e = Open(icp);
    EXPECT_EQ(e.cbSensorCurrent->count(), 20);
    EXPECT_EQ(Value(e.cbSensorCurrent), QStringLiteral("8"));
    Pick(e.cbSensorCurrent, 9);
    e.btnOkClick();
    EXPECT_EQ(entry->Rec.PowerDAC, 354);

    TSensorRecord dms = Record("2222222222222222", 3);
    dms.PowerDAC = 786;
    ui::TTEDSEditForm& d = Open(dms);
    EXPECT_EQ(d.cbSensorCurrent->count(), 30);
    EXPECT_EQ(Value(d.cbSensorCurrent), QStringLiteral("20"));
    EXPECT_TRUE(d.cbSensorPwrSignal->isVisibleTo(&d));
    // A DMS current outside the list opens as 10.0 mA.
    TSensorRecord odd = Record("3333333333333333", 3);
    odd.PowerDAC = 0;
    ui::TTEDSEditForm& o = Open(odd);
    EXPECT_EQ(Value(o.cbSensorCurrent), QStringLiteral("20"));
}

TEST_F(SensorEditor, ClearedNameStoresTheIdAndUncheckedOffsetStoresZeroOffset) {
    TSensorRecord rec = Record("1111111111111111", 7);
    rec.Offset = 1;
    rec.OffsetDAC = 2048 + 512; // 50 %
    ui::TTEDSEditForm& e = Open(rec);
    EXPECT_TRUE(e.cbSensorOffset->isChecked());
    EXPECT_EQ(e.seSensorOffset->value(), 50);
    EXPECT_TRUE(e.seSensorOffset->isEnabled());
    EXPECT_EQ(e.seSensorOffset->minimum(), -200);
    EXPECT_EQ(e.seSensorOffset->maximum(), 200);
    e.seSensorOffset->setValue(-120);
    EXPECT_EQ(e.Work.OffsetDAC, ui::OffsetDACFromPercent(-120));
    e.cbSensorOffset->setChecked(false);
    EXPECT_FALSE(e.seSensorOffset->isEnabled());
    e.ebxSensorname->clear();
    e.btnOkClick();
    EXPECT_EQ(entry->Rec.Offset, 0);
    EXPECT_EQ(entry->Rec.OffsetDAC, 2048);
    EXPECT_EQ(model::RecordText(entry->Rec.SensorName), "1111111111111111");
}

TEST_F(SensorEditor, ReservedBytesSurviveAnEdit) {
    TSensorRecord rec = Record("1111111111111111", 1);
    rec.Reserved290 = 0x5A;
    for (size_t i = 0; i < rec.Reserved302.size(); ++i)
        rec.Reserved302[i] = static_cast<uint8_t>(i * 7);
    ui::TTEDSEditForm& e = Open(rec);
    e.mmDesc->setPlainText(QStringLiteral("line one\nline two"));
    e.btnOkClick();
    EXPECT_EQ(entry->Rec.Reserved290, 0x5A);
    EXPECT_EQ(entry->Rec.Reserved302, rec.Reserved302);
    EXPECT_EQ(model::RecordText(entry->Rec.Description), "line one\r\nline two");
}

TEST_F(SensorEditor, VisibilityAndWritesFollowTheType) {
    TSensorRecord bridge = Record("1111111111111111", 6);
    bridge.BridgeSupplyDAC = 527; // 5 V
    bridge.Sense = 1;
    bridge.Coupling = 5;
    ui::TTEDSEditForm& b = Open(bridge);
    EXPECT_TRUE(b.cbSensorSense->isVisibleTo(&b));
    EXPECT_TRUE(b.cbSensorVoltage->isVisibleTo(&b));
    EXPECT_FALSE(b.cbSensorCurrent->isVisibleTo(&b));
    EXPECT_FALSE(b.cbVoltSupply->isVisibleTo(&b));
    EXPECT_EQ(Value(b.cbSensorVoltage), QStringLiteral("5"));
    EXPECT_EQ(b.cbSensorSense->currentText(), QStringLiteral("ON"));
    EXPECT_EQ(b.cbSensorVoltage->currentText(), QStringLiteral("5.0 V"));
    std::vector<QString> couplings;
    for (int i = 0; i < b.cbSensorCoupling->count(); ++i)
        couplings.push_back(b.cbSensorCoupling->itemData(i, Qt::UserRole).toString());
    EXPECT_EQ(couplings, (std::vector<QString>{"0", "1", "5", "6"}));
    Pick(b.cbSensorVoltage, 10);
    b.cbSensorShunt->setCurrentIndex(1);
    b.btnOkClick();
    EXPECT_EQ(entry->Rec.BridgeSupplyDAC, 1055);
    EXPECT_EQ(entry->Rec.Shunt, 1);
    EXPECT_EQ(entry->Rec.Sense, 1);
    EXPECT_EQ(entry->Rec.Is350Ohm, 0);
    EXPECT_EQ(entry->Rec.Coupling, 5);
    EXPECT_EQ(entry->Rec.PowerDAC, 0);

    TSensorRecord volt = Record("2222222222222222", 1);
    volt.SupplyMode = 0;
    ui::TTEDSEditForm& v = Open(volt);
    EXPECT_TRUE(v.cbVoltSupply->isVisibleTo(&v));
    EXPECT_FALSE(v.cbSensorSense->isVisibleTo(&v));
    EXPECT_FALSE(v.cbVSP->isVisibleTo(&v));
    v.cbVoltSupply->setCurrentIndex(1); // VOLT
    EXPECT_TRUE(v.cbSensorSense->isVisibleTo(&v));
    EXPECT_TRUE(v.cbVSP->isVisibleTo(&v));
    EXPECT_EQ(v.lbVSP->text().toStdString(), ui::GetText(1937));
    EXPECT_EQ(v.cbVSP->count(), 20);
    v.cbVSP->setCurrentIndex(4); // 5.0 V
    EXPECT_EQ(v.Work.SupplyDAC, 527);
    v.cbVoltSupply->setCurrentIndex(2); // CURR
    EXPECT_FALSE(v.cbSensorSense->isVisibleTo(&v));
    EXPECT_EQ(v.cbVSP->count(), 24);
    EXPECT_EQ(v.lbVSP->text().toStdString(), ui::GetText(1938));
    EXPECT_EQ(v.cbVSP->currentIndex(), 6); // 527 counts are 6.7 mA: "7.0 mA"
    v.btnOkClick();
    EXPECT_EQ(entry->Rec.SupplyMode, 2);
    EXPECT_EQ(entry->Rec.PowerDAC, 2048);
}

TEST_F(SensorEditor, CancelAfterAChangeAsksAndKeepsTheEntry) {
    const TSensorRecord rec = Record("1111111111111111", 2);
    ui::TTEDSEditForm& e = Open(rec);
    e.show();
    e.ebxDisplayName->setText(QStringLiteral("Changed"));
    script.Answers = {"7"};
    e.btnCancel->click();
    EXPECT_TRUE(e.isVisible());
    script.Answers = {"6"};
    e.btnCancel->click();
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(entry->Rec, rec);
}

// The width a line edit shows its text in: inside its frame and the 2-pixel margins on each side.
int ContentWidth(const QLineEdit* edit) {
    const QMargins text = edit->textMargins();
    return edit->width() - 2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) - 4 -
           text.left() - text.right();
}

TEST_F(SensorEditor, NewEntryNameShowsInFullInBothFieldsAndTheDescriptionKeepsAFewLines) {
    // The names the sensor detection gives a new entry: 25 characters.
    const std::string id = "2811223344556656";
    const std::string name = device::Format("Ch%2.2d:  0x%s", 1, id);
    ASSERT_EQ(name.size(), 25u);
    for (uint16_t lang : {ui::LangGerman, ui::LangEnglish}) {
        ui::SetLangOffset(lang);
        const char* language = lang == ui::LangGerman ? "German" : "English";
        for (uint16_t type : {0, 4}) { // fewest and most rows
            SCOPED_TRACE(std::string(language) + " type " + std::to_string(type));
            translator->ClearSensorEntries();
            TSensorRecord rec = Record(id, type);
            model::SetRecordText(rec.SensorName, name);
            model::SetRecordText(rec.DisplayName, name);
            ui::TTEDSEditForm& e = Open(rec);
            ExpectSizeHints(e, language);
            e.show();
            QApplication::processEvents();
            for (const QLineEdit* field : {e.ebxSensorname, e.ebxDisplayName}) {
                EXPECT_EQ(field->text().toStdString(), name);
                EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()), ContentWidth(field))
                    << field->objectName().toStdString() << " " << field->width();
            }
            // The description box is a few lines high, not the rest of the window.
            const int line = e.mmDesc->fontMetrics().lineSpacing();
            EXPECT_GE(e.mmDesc->height(), 4 * line);
            EXPECT_LE(e.mmDesc->height(), 10 * line);
            e.hide();
        }
    }
}

TEST_F(SensorEditor, OpensAtTheSizeOfTheRowsItsTypeShows) {
    // As the database dialog opens it: made and shown, its rows filled while it shows.
    for (uint16_t type : {0, 4}) {
        SCOPED_TRACE(type);
        translator->ClearSensorEntries();
        entry = &Add(Record("1111111111111111", type));
        ui::TTEDSEditForm e;
        e.Entry = entry;
        e.show();
        QApplication::processEvents();
        EXPECT_EQ(e.size(), e.sizeHint());
        EXPECT_GE(e.cbSensorRange->width(), e.cbSensorRange->sizeHint().width());
    }
}

TEST_F(SensorEditor, DescriptionTakesNoMoreThanTheRecordHoldsCountingALineBreakAsTwo) {
    const QString lines = QStringLiteral("line\n").repeated(50); // 300 characters as stored
    const struct {
        const char* Name;
        QString Start;
        int At; // where the text is inserted
        QString Inserted;
        QString Expected;
    } cases[] = {
        {"pasted past the end", QString(), 0, QString(250, QLatin1Char('a')), QString(200, QLatin1Char('a'))},
        {"line breaks count as two", QString(), 0, lines,
         QStringLiteral("line\n").repeated(33) + QStringLiteral("li")},
        {"only what fits of an insert in the middle", QString(199, QLatin1Char('b')), 10,
         QStringLiteral("XYZ"),
         QString(10, QLatin1Char('b')) + QStringLiteral("X") + QString(189, QLatin1Char('b'))},
        {"a break that does not fit", QString(199, QLatin1Char('c')), 199, QStringLiteral("\n"),
         QString(199, QLatin1Char('c'))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        translator->ClearSensorEntries();
        ui::TTEDSEditForm& e = Open(Record("1111111111111111", 2));
        e.mmDesc->setPlainText(c.Start);
        QTextCursor cursor(e.mmDesc->document());
        cursor.setPosition(c.At);
        cursor.insertText(c.Inserted);
        EXPECT_EQ(e.mmDesc->toPlainText(), c.Expected);
        EXPECT_LE(ui::StoredDescriptionLength(e.mmDesc->toPlainText()), ui::kDescriptionLength);
        // What is shown is what is stored, nothing cut when it is saved.
        e.btnOkClick();
        QString stored = c.Expected;
        stored.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        EXPECT_EQ(model::RecordText(entry->Rec.Description), stored.trimmed().toStdString());
    }

    // Typing at the limit: the character is not taken.
    translator->ClearSensorEntries();
    ui::TTEDSEditForm& e = Open(Record("2222222222222222", 2));
    e.show();
    e.mmDesc->setPlainText(QString(199, QLatin1Char('d')));
    e.mmDesc->moveCursor(QTextCursor::End);
    QTest::keyClick(e.mmDesc, Qt::Key_E);
    QTest::keyClick(e.mmDesc, Qt::Key_F);
    QTest::keyClick(e.mmDesc, Qt::Key_Return);
    EXPECT_EQ(e.mmDesc->toPlainText(), QString(199, QLatin1Char('d')) + QStringLiteral("e"));
    QTest::keyClick(e.mmDesc, Qt::Key_Backspace);
    QTest::keyClick(e.mmDesc, Qt::Key_Backspace);
    QTest::keyClick(e.mmDesc, Qt::Key_Return);
    EXPECT_EQ(e.mmDesc->toPlainText(), QString(198, QLatin1Char('d')) + QStringLiteral("\n"));
}

TEST_F(SensorEditor, ControlsGetTheirSizeHintInBothLanguages) {
    for (uint16_t lang : {ui::LangGerman, ui::LangEnglish}) {
        ui::SetLangOffset(lang);
        const char* name = lang == ui::LangGerman ? "German" : "English";
        TSensorRecord bridge = Record(lang == ui::LangGerman ? "1111111111111111" : "2222222222222222", 4);
        ExpectSizeHints(Open(bridge), name);
        TSensorRecord volt = Record(lang == ui::LangGerman ? "3333333333333333" : "4444444444444444", 1);
        volt.SupplyMode = 2;
        ExpectSizeHints(Open(volt), name);
        Add(Record("5555555555555555", 3));
        ui::TTEDSInfoForm info;
        info.Translator = translator.get();
        ExpectSizeHints(info, name);
    }
}

} // namespace
} // namespace qrb::test
