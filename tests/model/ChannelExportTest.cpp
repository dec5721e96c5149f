#include "model/ChannelExport.h"

#include "device/Cp1252.h"
#include "device/FileUtil.h"
#include "device/HWVocabulary.h"
#include "tests/model/SetupTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qrb::model {
namespace {

using testing::TTempDir;
using testing::TTestModel;

TExportHeadings Headings() {
    TExportHeadings h;
    h.Line1 = "OndrixQRB Version: 1.2.3.4, QRB GmbH";
    h.Line2 = "2024-03-07 09:05:02";
    return h;
}

const std::string kHeaderLine =
    "Device,Channel,Name,Sensor,Range,Coupling,Supply,Connect,Resistor,Shunt,Sense,"
    "Offset,LP Filter,ChargeGain,ChargeCapacity,ChargeHighPass\r\n";

std::string Label(uint16_t row, uint16_t col, const std::string& bytes) {
    std::string s;
    const auto put = [&s](uint16_t v) {
        s.push_back(static_cast<char>(v & 0xFF));
        s.push_back(static_cast<char>(v >> 8));
    };
    put(0x0204);
    put(static_cast<uint16_t>(bytes.size() + 8));
    put(row);
    put(col);
    put(0);
    put(static_cast<uint16_t>(bytes.size()));
    return s + bytes;
}

const std::string kBOF("\x09\x08\x08\x00\x00\x00\x10\x00\x00\x00\x00\x00", 12);
const std::string kCodePage1252("\x42\x00\x02\x00\xE4\x04", 6);
const std::string kEOF("\x0A\x00\x00\x00", 4);

TEST(HeadingLines, VersionCompanyAndDateTime) {
    device::TFormatSettingsScope scope;
    const TExportHeadings h =
        TExportHeadings::Make("2.0.1.7", device::EncodeDateTime(2024, 1, 2, 0, 0, 0, 0));
    EXPECT_EQ(h.Line1, "OndrixQRB Version: 2.0.1.7, QRB GmbH");
    EXPECT_EQ(h.Line2, "2024-01-02 00:00:00");
}

TEST(TextExport, AModelWithoutChannelsHasThreeLines) {
    EXPECT_EQ(BuildTextExport(TSetupModel{}, Headings()),
              "OndrixQRB Version: 1.2.3.4, QRB GmbH\r\n2024-03-07 09:05:02\r\n" + kHeaderLine);
}

TEST(XlsExport, AModelWithoutChannelsHasBOFEighteenLabelsAndEOF) {
    std::string expected = kBOF + kCodePage1252 + Label(0, 0, "OndrixQRB Version: 1.2.3.4, QRB GmbH") +
                           Label(1, 0, "2024-03-07 09:05:02");
    for (uint16_t c = 0; c < 16; ++c)
        expected += Label(3, c, kChannelTableHeaders[c]);
    expected += kEOF;
    EXPECT_EQ(BuildXlsExport(TSetupModel{}, Headings()), expected);
}

TEST(XlsExport, LabelRecordBytes) {
    std::string s;
    WriteXlsLabel(s, 0x0102, 0x0304, "\xC3\xA4z");
    EXPECT_EQ(s, std::string("\x04\x02\x0A\x00\x04\x03\x02\x01\x00\x00\x02\x00\xE4z", 14));
    s.clear();
    WriteXlsLabel(s, 0, 0, std::string(300, 'x'));
    EXPECT_EQ(s.size(), 12u + 255u);
    EXPECT_EQ(static_cast<uint8_t>(s[2]), (255 + 8) & 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(s[3]), (255 + 8) >> 8);
}

// A bridge channel, a defect placeholder and a charge channel.
class ExportRows : public ::testing::Test {
protected:
    void SetUp() override {
        TQRBRawChannel& b = model.Add(2, 417, stDMSFullbridge);
        b.ChannelName = "Br\xC3\xBC"
                        "cke, links"; // a comma: quoted in the text export
        b.RangeCache = 4;
        b.coupling = 0;
        b.PowerZero = 100;
        b.PowerDACCache2 = 2100;
        b.Is350OhmCache = 1;
        b.DMSShuntCache = 1;
        b.SenseCache = 0;
        b.OffsetCache = 1;
        b.OffsetDACCache = 4095;
        b.OutputFilterCache = 1;
        model.Add(0, 0, stOff, false);
        TQRBRawChannel& q = model.Add(2, 9, stCharge);
        q.RangeCache = 12;
        q.CapacityCache = 1;
        q.HighpassCache = 1;
        q.ChargeModeCache = 2;
        q.OffsetCache = 0;
        for (size_t i = 0; i < model.Size(); ++i)
            model[i].Device = 0, model[i].Slot = static_cast<int>(i);
    }
    TTestModel model;
};

TEST_F(ExportRows, TextLinesPadNumbersAndEndEveryFieldWithAComma) {
    device::TFormatSettingsScope scope;
    using namespace device;
    const std::string text = BuildTextExport(model.Model(), Headings());
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    ASSERT_EQ(lines.size(), 6u);
    const std::string bridge = "00,00,\"Br\xFC"
                               "cke, links\"," +
                               Utf8ToCp1252(SensorTypeToText(4)) + "," +
                               Utf8ToCp1252(VoltageRangeToText(2, 4) + "[" + VoltageRangeDividerToText(2, 4) +
                                            ";" + VoltageRangeGainToText(2, 4) + "]") +
                               "," + CouplingToText(0) + ",19.0 V,<n/a>,350 Ohm,ON,OFF (4),199.9 %," +
                               Utf8ToCp1252(OutputFilterToText(0, true)) + ",<n/a>,<n/a>,<n/a>,";
    EXPECT_EQ(lines[3], bridge);
    const std::string defect = "00,01,," + Utf8ToCp1252(SensorTypeToText(0)) + ",";
    EXPECT_EQ(lines[4].substr(0, defect.size()), defect);
    const std::string defectTail = ",<n/a>,<n/a>,<n/a>,<n/a>,<n/a>,OFF," +
                                   Utf8ToCp1252(OutputFilterToText(0, false)) + ",<n/a>,<n/a>,<n/a>,";
    ASSERT_GE(lines[4].size(), defectTail.size());
    EXPECT_EQ(lines[4].substr(lines[4].size() - defectTail.size()), defectTail);
    const std::string chargeTail =
        ",OFF," + Utf8ToCp1252(OutputFilterToText(0, false)) + "," + Utf8ToCp1252(ChargeModeToText(2)) + "," +
        Utf8ToCp1252(ChargeCapacityToText(1)) + "," + Utf8ToCp1252(ChargeHighPassToText(1, 1)) + ",";
    EXPECT_EQ(lines[5].substr(lines[5].size() - chargeTail.size()), chargeTail);
    EXPECT_NE(lines[5].find("," + Utf8ToCp1252(ChargeRangeToText(2, 12, 1)) + ","), std::string::npos);
}

TEST_F(ExportRows, SupplyOffsetAndSenseCells) {
    device::TFormatSettingsScope scope;
    TQRBRawChannel& ch = model[0];
    struct Case {
        TSensorType Type, Cache;
        uint8_t Version;
        uint16_t Offset;
        const char *Supply, *OffsetText, *Sense;
    };
    const std::vector<Case> cases = {
        {stDMSFullbridge, stDMSFullbridge, 2, 2048, "19.0 V", "0.0 %", "OFF (4)"},
        {stDMSHalfbridge, stDMSHalfbridge, 1, 0, "19.5 V", "-200.0 %", "OFF (3)"},
        {stDMSQuarterbridge, stDMSQuarterbridge, 2, 4095, "19.0 V", "199.9 %", "OFF (2,3)"},
        {stDMSQuarterbridge, stVolt, 2, 2048, "19.0 V", "0.0 %", "<n/a>"},
        {stICP, stICP, 2, 2048, "25.4 mA", "0.0 %", "<n/a>"},
        {stDMSCurrent, stDMSCurrent, 1, 2048, "65.3 mA", "0.0 %", "<n/a>"},
        {stVolt, stVolt, 2, 2048, "<n/a>", "0.0 %", "<n/a>"},
        {stDebug, stDebug, 2, 2048, "<n/a>", "0.0 %", "<n/a>"},
    };
    for (const Case& c : cases) {
        ch.SensorType = c.Type;
        ch.TypeCache = c.Cache;
        ch.Info.Version = c.Version;
        ch.OffsetDACCache = c.Offset;
        ch.PowerDACCache = 2100; // 2000 counts above PowerZero, as PowerDACCache2
        const auto row = ChannelTableRow(ch);
        EXPECT_EQ(row[6], c.Supply) << c.Type;
        EXPECT_EQ(row[11], c.OffsetText) << c.Type;
        EXPECT_EQ(row[10], c.Sense) << c.Type;
    }
    ch.SensorType = ch.TypeCache = stDMSHalfbridge;
    ch.SenseCache = 1;
    EXPECT_EQ(ChannelTableRow(ch)[10], "ON (4)");
    ch.SensorType = ch.TypeCache = stDebug;
    const auto row = ChannelTableRow(ch);
    for (size_t col : {6, 7, 8, 9, 10})
        EXPECT_EQ(row[col], "<n/a>") << col;

    ch.SensorType = stRTD;
    ch.PwrAtSignalCache = 1;
    EXPECT_EQ(ChannelTableRow(ch)[7], "2-Wire");
    ch.PwrAtSignalCache = 0;
    EXPECT_EQ(ChannelTableRow(ch)[7], "4-Wire");
    ch.SensorType = stDMSFullbridge;
    ch.Is350OhmCache = 0;
    ch.DMSShuntCache = 0;
    EXPECT_EQ(ChannelTableRow(ch)[8], "120 Ohm");
    EXPECT_EQ(ChannelTableRow(ch)[9], "OFF");

    device::TFormatSettings comma;
    comma.DecimalSeparator = ",";
    device::TFormatSettingsScope decimalComma(comma);
    ch.Info.Version = 2;
    EXPECT_EQ(ChannelTableRow(ch)[6], "19,0 V");
}

TEST_F(ExportRows, XlsCellsArePlainNumbersAndTexts) {
    const std::string xls = BuildXlsExport(model.Model(), Headings());
    const std::string bridgeName = Label(4, 2,
                                         "Br\xFC"
                                         "cke, links");
    EXPECT_NE(xls.find(Label(4, 0, "0") + Label(4, 1, "0") + bridgeName), std::string::npos);
    EXPECT_NE(xls.find(Label(6, 1, "2")), std::string::npos);
    EXPECT_EQ(xls.substr(xls.size() - 4), kEOF);
    EXPECT_EQ(xls.substr(0, 18), kBOF + kCodePage1252);
}

bool HavePythonWithXlrd() {
    return std::system("/usr/bin/python3 -c 'import csv, xlrd' >/dev/null 2>&1") == 0;
}

// Runs a Python script on the files given and returns its output lines (stderr included).
std::vector<std::string> RunPython(const TTempDir& dir, const std::string& script,
                                   const std::vector<std::string>& files) {
    std::string error;
    const std::string scriptFile = dir.File("read.py");
    EXPECT_TRUE(device::WriteFileAtomic(scriptFile, script, error)) << error;
    const std::string out = dir.File("out.txt");
    std::string cmd = "/usr/bin/python3 '" + scriptFile + "'";
    for (const std::string& f : files)
        cmd += " '" + f + "'";
    cmd += " > '" + out + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    std::string text;
    EXPECT_TRUE(device::ReadFileBytes(out, text, error)) << error;
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << text;
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

// The spreadsheet as a real reader sees it, told nothing about the code page.
TEST_F(ExportRows, XlsReadsBackWithXlrd) {
    if (!HavePythonWithXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    TTempDir dir;
    const std::string path = dir.File("t.xls");
    std::string error;
    ASSERT_TRUE(ExportXls(path, model.Model(), Headings(), error)) << error;
    const std::vector<std::string> lines = RunPython(dir,
                                                     "import sys, xlrd\n"
                                                     "b = xlrd.open_workbook(sys.argv[1])\n"
                                                     "s = b.sheet_by_index(0)\n"
                                                     "print(s.nrows, s.ncols)\n"
                                                     "for r in range(s.nrows):\n"
                                                     "    print('|'.join(str(s.cell_value(r, c)) "
                                                     "for c in range(s.ncols)))\n",
                                                     {path});
    ASSERT_EQ(lines.size(), 8u) << lines.front();
    EXPECT_EQ(lines[0], "7 16");
    EXPECT_EQ(lines[1], "OndrixQRB Version: 1.2.3.4, QRB GmbH" + std::string(15, '|'));
    EXPECT_EQ(lines[3], std::string(15, '|'));
    EXPECT_EQ(lines[4].substr(0, 22), "Device|Channel|Name|Se");
    // UTF-8 again, "ü" and "±" included.
    EXPECT_NE(lines[5].find("\xC3\xBC"), std::string::npos) << lines[5];
    EXPECT_NE(lines[5].find("\xC2\xB1"), std::string::npos) << lines[5];
    for (size_t i = 0; i < model.Size(); ++i) {
        const auto row = ChannelTableRow(model[i]);
        std::string cells;
        for (size_t c = 0; c < row.size(); ++c)
            cells += (c ? "|" : "") + row[c];
        EXPECT_EQ(lines[5 + i], cells) << i;
    }
    EXPECT_EQ(lines[7].substr(0, 4), "0|2|");
}

TEST_F(ExportRows, TextFieldsWithACommaAQuoteOrALineBreakAreQuoted) {
    device::TFormatSettingsScope scope;
    const struct {
        const char* Name;
        const char* Field;
    } cases[] = {
        {"plain name", "plain name,"},
        {"1,5 m", "\"1,5 m\","},
        {"6\" probe", "\"6\"\" probe\","},
        {"\"quoted\"", "\"\"\"quoted\"\"\","},
        {"two\r\nlines", "\"two\r\nlines\","},
        {"line\nfeed", "\"line\nfeed\","},
        {"carriage\rreturn", "\"carriage\rreturn\","},
        {"", ","},
        {"semi;colon 'single'", "semi;colon 'single',"},
    };
    for (const auto& c : cases) {
        model[2].ChannelName = c.Name;
        const std::string text = BuildTextExport(model.Model(), Headings());
        const std::string head =
            "00,02," + std::string(c.Field) + device::Utf8ToCp1252(device::SensorTypeToText(9)) + ",";
        EXPECT_NE(text.find("\r\n" + head), std::string::npos) << c.Name << "\n" << text;
    }
    // The header row has nothing to quote and still ends without a comma.
    EXPECT_NE(BuildTextExport(model.Model(), Headings()).find("\r\n" + kHeaderLine), std::string::npos);
}

// With a decimal comma, a spreadsheet's CSV reader finds the table the .xls of the same save holds.
TEST_F(ExportRows, ATextExportWithDecimalCommasReadsBackAsTheSpreadsheetsCells) {
    if (!HavePythonWithXlrd()) GTEST_SKIP() << "python3-xlrd is not installed";
    device::TFormatSettings german; // what de_DE gives
    german.DecimalSeparator = ",";
    german.ThousandSeparator = ".";
    german.DateSeparator = ".";
    german.ShortDateFormat = "dd.mm.yyyy";
    device::TFormatSettingsScope scope(german);
    model[0].ChannelName = "Pr\xC3\xBC"
                           "fstand 1,5 m";
    model[1].ChannelName = "Sonde \"A\"\r\nlinks";
    TTempDir dir;
    std::string error;
    const TExportHeadings headings = TExportHeadings::Make("1.2.3.4", device::Now());
    ASSERT_TRUE(ExportText(dir.File("s.txt"), model.Model(), headings, error)) << error;
    ASSERT_TRUE(ExportXls(dir.File("s.xls"), model.Model(), headings, error)) << error;
    std::string text;
    ASSERT_TRUE(device::ReadFileBytes(dir.File("s.txt"), text, error)) << error;
    ASSERT_NE(text.find("199,9 %"), std::string::npos) << "no decimal comma in the export";

    const std::vector<std::string> lines = RunPython(
        dir,
        "import csv, sys, xlrd\n"
        "with open(sys.argv[1], encoding='cp1252', newline='') as f:\n"
        "    rows = list(csv.reader(f))\n"
        "sheet = xlrd.open_workbook(sys.argv[2]).sheet_by_index(0)\n"
        "print('channels', len(rows) - 3, sheet.nrows - 4)\n"
        "print('header', rows[2] == sheet.row_values(3))\n"
        "for i, row in enumerate(rows[3:]):\n"
        "    cells = sheet.row_values(4 + i)\n"
        "    if len(row) != 17 or row[16] != '':\n"
        "        print('row', i, 'has', len(row), 'fields:', row)\n"
        "    elif int(row[0]) != int(cells[0]) or int(row[1]) != int(cells[1]) or row[2:16] != cells[2:]:\n"
        "        print('row', i, 'differs:', row, cells)\n"
        "    else:\n"
        "        print('row', i, 'same')\n",
        {dir.File("s.txt"), dir.File("s.xls")});
    EXPECT_EQ(lines, (std::vector<std::string>{"channels 3 3", "header True", "row 0 same", "row 1 same",
                                               "row 2 same"}));
}

// The export's own text with the code, then the file it could not write and why, in parentheses.
void ExpectNamesItsFile(const std::string& error, const std::string& kind, int code, const std::string& file,
                        const std::string& reason) {
    const std::string head = "Error while writing setup info " + kind + " file (";
    ASSERT_EQ(error.rfind(head, 0), 0u) << error;
    if (code != 0) {
        EXPECT_EQ(error.rfind(head + std::to_string(code) + "): ", 0), 0u) << error;
    }
    const std::string named = "): " + file + " (";
    const size_t at = error.find(named);
    ASSERT_NE(at, std::string::npos) << error;
    EXPECT_EQ(error.back(), ')') << error;
    const std::string why = error.substr(at + named.size(), error.size() - at - named.size() - 1);
    EXPECT_NE(why.find(reason), std::string::npos) << error;
}

TEST_F(ExportRows, ExportsWriteTheirFilesAndAFailureNamesTheFileAndWhy) {
    TTempDir dir;
    std::string error;
    ASSERT_TRUE(ExportText(dir.File("t.txt"), model.Model(), Headings(), error)) << error;
    ASSERT_TRUE(ExportXls(dir.File("t.xls"), model.Model(), Headings(), error)) << error;
    std::string bytes;
    ASSERT_TRUE(device::ReadFileBytes(dir.File("t.txt"), bytes, error));
    EXPECT_EQ(bytes, BuildTextExport(model.Model(), Headings()));
    ASSERT_TRUE(device::ReadFileBytes(dir.File("t.xls"), bytes, error));
    EXPECT_EQ(bytes, BuildXlsExport(model.Model(), Headings()));

    ASSERT_TRUE(device::WriteFileAtomic(dir.File("plain"), std::string_view("x"), error)) << error;
    struct TCase {
        const char* Name;
        const char* Folder; // where the export's file would be
        int Code;           // 0: whatever the system gives
        std::string Reason;
    };
    const TCase cases[] = {
        {"a folder that does not exist", "none/", ENOENT, std::strerror(ENOENT)},
        {"a folder that is a regular file", "plain/", ENOTDIR, std::strerror(ENOTDIR)},
        {"a name that is a folder", "", 0, ""},
    };
    for (const TCase& c : cases) {
        for (const char* kind : {"txt", "xls"}) {
            SCOPED_TRACE(std::string(c.Name) + ", " + kind);
            const std::string file = dir.File(std::string(c.Folder) + "f." + kind);
            if (*c.Folder == '\0') {
                ASSERT_EQ(::mkdir(file.c_str(), 0755), 0);
            }
            error.clear();
            const bool ok = std::string(kind) == "txt" ? ExportText(file, model.Model(), Headings(), error)
                                                       : ExportXls(file, model.Model(), Headings(), error);
            EXPECT_FALSE(ok);
            ExpectNamesItsFile(error, kind, c.Code, file, c.Reason);
        }
    }
}

// Another user's link in a sticky folder everyone can write to is not followed; each export
// reports that in its own words, with the link's name, and the file the link names keeps its
// content.
TEST_F(ExportRows, ExportsThroughAnotherUsersLinkInASharedFolderFail) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make another user's link";
    TTempDir dir;
    std::string error;
    ASSERT_TRUE(device::WriteFileAtomic(dir.File("mine.txt"), std::string_view("old"), error)) << error;
    const std::string shared = dir.File("share");
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    for (const char* name : {"t.txt", "t.xls"}) {
        const std::string link = shared + "/" + name;
        ASSERT_EQ(::symlink(dir.File("mine.txt").c_str(), link.c_str()), 0);
        ASSERT_EQ(::lchown(link.c_str(), 4321, 4321), 0);
    }
    EXPECT_FALSE(ExportText(shared + "/t.txt", model.Model(), Headings(), error));
    ExpectNamesItsFile(error, "txt", EACCES, shared + "/t.txt", shared + "/t.txt");
    EXPECT_FALSE(ExportXls(shared + "/t.xls", model.Model(), Headings(), error));
    ExpectNamesItsFile(error, "xls", EACCES, shared + "/t.xls", shared + "/t.xls");
    std::string bytes;
    ASSERT_TRUE(device::ReadFileBytes(dir.File("mine.txt"), bytes, error)) << error;
    EXPECT_EQ(bytes, "old");
}

} // namespace
} // namespace qrb::model
