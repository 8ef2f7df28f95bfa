// The error report as the operator reads it: the record's four lines exactly
// as always, then what was tried and what to do. Automation replies keep
// only the record.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "automation/DdeLink.h"
#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/HexLoader.h"
#include "images/Loaders.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorAdvice.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/ProgramState.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* LinePath = "/dev/ttyUSB7";

// The platform stand-ins on a simulated line at COM2, whose device is LinePath.
struct Station {
  Station() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    platform.port.path = LinePath;
    platform.port.commPort = 2;
    platform.window.commPort = 2;
    platform.window.listedPorts = {2};
  }
  vrxsim::Unit& AddUnit(int address) {
    vrxsim::UnitConfig c;
    c.address = address;
    c.baud = vrxsim::Baud::Both;
    return line.addUnit(c);
  }
  FakePlatform platform;
  vrxsim::Line line;
};

// A general-loader conversion of one file.
bool Convert(const std::string& file) {
  std::vector<uint8_t> buffer;
  int32_t top = 0;
  return LoadHexFile(buffer, 4096, top, 0xFF, &file, 1);
}

// A family-loader conversion of one file for a one-device family.
bool ConvertForFamily(int type, const char* family, const std::string& file) {
  ProgType = static_cast<uint8_t>(type);
  FamilyList[0] = family;
  FamilyList[1] = "";
  CurFamily = 0;
  CurDevice = 0;
  DeviceTable[0] = DeviceRecord{};
  DeviceTable[0].DevName = "Dev";
  DeviceTable[0].DevFlashSize = 65536;
  FileList[0] = file;
  FileCount = 1;
  return ConvertImageFiles();
}

class ErrorReportTest : public ::testing::Test {
 protected:
  ErrorReportTest() { AppPath = dir.path(); }
  TempDir dir;
  Station station;
  FakePlatform& platform = station.platform;
  vrxsim::Line& line = station.line;
};

struct ReportCase {
  const char* name;
  std::function<void(Station&)> cause;   // leaves the error in the record
  std::string fourLines;                         // the record's lines, as specified
  std::string tried;
  std::string advice;
};

TEST_F(ErrorReportTest, ReportKeepsTheRecordsLinesAndAddsWhatWasTriedAndWhatToDo) {
  const std::string badHex = dir.path() + "/bad.hex";
  const std::string shortHex = dir.path() + "/short.hex";
  const std::string missingHex = dir.path() + "/missing.hex";
  const std::vector<ReportCase> cases = {
      {"empty line",
       [](Station&) { ScanProgrammers(); },
       "Function: FwRev\r\nError Code:  1508\r\nSource: Image Manager\r\nNo Programmers Found",
       "COM2 (/dev/ttyUSB7), addresses 1 to 16 at 38400 and 115200 bit/s",
       "Check that the programmer is powered and connected to /dev/ttyUSB7."},
      {"one address, nobody there",
       [](Station&) { AcquireProgrammerAt(9); },
       "Function: FwRev\r\nError Code:  1508\r\nSource: Image Manager\r\nNo Programmers Found",
       "COM2 (/dev/ttyUSB7), address 9 at 38400 and 115200 bit/s",
       "Check that the programmer is powered and connected to /dev/ttyUSB7."},
      {"time-out at an address",
       [](Station& t) {
         t.platform.port.open = true;
         CurrentAddress = 5;
         std::string revision;
         FwRev(revision);
       },
       "Function: FwRev\r\nError Code:  1500\r\nSource: Send Command\r\nNo Response from Programmer",
       "COM2 (/dev/ttyUSB7), address 5",
       "Check that the programmer is powered, set to this address and connected to /dev/ttyUSB7."},
      {"programmer refuses an empty slot",
       [](Station& t) {
         t.AddUnit(4);
         t.platform.port.open = true;
         CurrentAddress = 4;
         Program(2);
       },
       "Function: Program\r\nError Code:  7\r\nSource: Program\r\nSelected Image is Empty",
       "COM2 (/dev/ttyUSB7), address 4",
       "Load an image into this slot before using it."},
      {"port that cannot be opened",
       [](Station& t) {
         t.platform.port.failOpen = true;
         t.platform.port.openErrorNumber = 8005;
         t.platform.port.openErrorText = "Permission denied (/dev/ttyUSB7)";
         ScanProgrammers();
       },
       "Function: Open Communications Port\r\nError Code:  8005\r\nSource: Scan for Programmers\r\n"
       "Error Opening Communications Port - Permission denied (/dev/ttyUSB7)",
       "opening COM2 (/dev/ttyUSB7)",
       "Check that /dev/ttyUSB7 exists, that no other program holds it and that your user may open it "
       "(on Linux, membership of the dialout group)."},
      {"HEX line without its colon",
       [this, badHex](Station&) {
         dir.Write("bad.hex", DataRecord(0, {1, 2}) + DataRecord(2, {3, 4}) + "0400040005060708DE\r\n" + EndRecord());
         Convert(badHex);
       },
       "Function: Load Hex File\r\nError Code:  1501\r\nSource: Convert Hex File\r\nIllegal File Format",
       "reading " + badHex + ", line 3",
       "Check that " + badHex +
           " is a complete build file (Intel HEX, S-record, ELF, or binary with its load address), or export it "
           "again from the build."},
      {"HEX file cut short",
       [this, shortHex](Station&) {
         dir.Write("short.hex", DataRecord(0, {1, 2}) + "\r\n" + DataRecord(2, {3, 4}));
         Convert(shortHex);
       },
       "Function: Load Hex File\r\nError Code:  1501\r\nSource: Convert Hex File\r\nUnexpected End of File: " +
           shortHex + ", line 4",
       "reading " + shortHex + ", line 4",
       "Check that " + shortHex +
           " is a complete build file (Intel HEX, S-record, ELF, or binary with its load address), or export it "
           "again from the build."},
      {"family HEX line with a bad checksum",
       [this](Station&) {
         const std::string file = dir.Write("family.hex", DataRecord(0, {1, 2}) + ":0200020003040A\r\n" + EndRecord());
         ConvertForFamily(1, "CapSense", file);
       },
       "Function: \r\nError Code:  1510\r\nSource: Read Hex File\r\nLine Checksum Error - Record  1",
       "reading " + dir.path() + "/family.hex, line 2",
       "Export " + dir.path() + "/family.hex again from the build: a line of it is damaged."},
      {"family HEX section it does not know",
       [this](Station&) {
         const std::string file =
             dir.Write("section.hex", DataRecord(0, {1}) + "\n\n" + LinearRecord(0x0000) + EndRecord());
         ConvertForFamily(1, "PSoC3", file);
       },
       "Function: \r\nError Code:  1501\r\nSource: Read Hex File\r\nUnexpected Section in HEX file: 0000",
       "reading " + dir.path() + "/section.hex, line 4",
       "Check that " + dir.path() +
           "/section.hex is a complete build file for the selected device (Intel HEX, S-record, ELF, or binary "
           "with its load address), or export it again from the build."},
      {"HEX file that is not there",
       [missingHex](Station&) { Convert(missingHex); },
       "",   // the system's wording; only the added lines are fixed
       "reading " + missingHex,
       "Check that " + missingHex + " exists and choose it again."},
  };

  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto fresh = std::make_unique<Station>();
    AppPath = dir.path();
    Station& t = *fresh;
    c.cause(t);
    ASSERT_NE(LastErrorNumber, 0);
    const std::string report = ErrorReportText();
    const std::string added = "\r\n\r\nTried: " + c.tried + "\r\n" + c.advice;
    ASSERT_GT(report.size(), added.size()) << report;
    EXPECT_EQ(report.substr(report.size() - added.size()), added) << report;
    const std::string record = report.substr(0, report.size() - added.size());
    if (!c.fourLines.empty()) {
      EXPECT_EQ(record, c.fourLines);
    }
    EXPECT_EQ(record, "Function: " + LastFunction + "\r\nError Code: " + std::to_string(LastErrorNumber).insert(0, " ") +
                          "\r\nSource: " + LastErrorSource + "\r\n" + LastErrorText);

    // What the operator is shown is that same report, as one box.
    t.platform.messages.boxes.clear();
    ShowErrorReport();
    ASSERT_EQ(t.platform.messages.boxes.size(), 1u);
    EXPECT_EQ(t.platform.messages.boxes[0].text, report);
    EXPECT_EQ(t.platform.messages.boxes[0].style, vbOKOnly);
  }
}

TEST_F(ErrorReportTest, ClearingSucceedingAndRestoringTheRecordKeepTheAddedLinesInStep) {
  ScanProgrammers();
  ASSERT_FALSE(LastErrorTried.empty());
  ASSERT_FALSE(LastErrorAdvice.empty());

  ClearError();
  EXPECT_EQ(LastErrorTried, "");
  EXPECT_EQ(LastErrorAdvice, "");
  EXPECT_EQ(ErrorReportText(), "Function: \r\nError Code:  0\r\nSource: Image Manager\r\n");

  // A record saved with its context comes back with it.
  ScanProgrammers();
  const std::string failed = ErrorReportText();
  {
    const ErrorRecordCopy saved;
    ClearError();
    saved.Restore();
  }
  EXPECT_EQ(ErrorReportText(), failed);

  // The next command that succeeds leaves nothing of the failure behind.
  station.AddUnit(3);
  platform.port.open = true;
  CurrentAddress = 3;
  std::string revision;
  ASSERT_TRUE(FwRev(revision));
  EXPECT_EQ(LastErrorTried, "");
  EXPECT_EQ(LastErrorAdvice, "");

  // A raise forgets the context of the one before.
  RaiseError(ErrNoProgrammers, "Image Manager", "No Programmers Found");
  SetErrorContext("somewhere", "/dev/elsewhere");
  RaiseError(ErrLineBusy, "Scan for Programmers", LineBusyText);
  CaptureError();
  EXPECT_EQ(LastErrorTried, "");
  EXPECT_EQ(LastErrorAdvice, "Wait until the operation under way has finished, then try again.");

  ResetProgramState();
  EXPECT_EQ(LastErrorTried, "");
  EXPECT_EQ(LastErrorAdvice, "");
}

// A cancelled file dialog is no failure and an unknown number has no advice:
// the report is then the record's four lines and nothing more.
TEST_F(ErrorReportTest, NothingIsAddedWhereThereIsNothingToSay) {
  EXPECT_EQ(ErrorAdvice(ErrDialogCancelled, "Select Target Image", ""), "");
  EXPECT_EQ(ErrorAdvice(0, "", ""), "");
  RaiseError(4242, "Somewhere", "Odd");
  LastFunction = "Step";
  CaptureError();
  EXPECT_EQ(ErrorReportText(), "Function: Step\r\nError Code:  4242\r\nSource: Somewhere\r\nOdd");
  // Without a known device the advice still reads as a sentence.
  EXPECT_EQ(ErrorAdvice(ErrNoProgrammers, "Image Manager", ""),
            "Check that the programmer is powered and connected to the selected serial port.");
}

// Automation answers with the record alone: the same bytes as before the
// report learnt to say more, while the record does carry the added lines.
TEST_F(ErrorReportTest, AutomationRepliesCarryOnlyTheRecord) {
  DdeLink link;
  EXPECT_EQ(link.Execute("FindProgrammers"), "FindProgrammers| 1508|No Programmers Found\r\n");
  EXPECT_EQ(link.DDEStatus, "FindProgrammers| 1508|No Programmers Found\r\n");
  EXPECT_NE(ErrorReportText().find("Tried: COM2 (/dev/ttyUSB7), addresses 1 to 16"), std::string::npos);
  EXPECT_TRUE(platform.messages.boxes.empty());

  dir.Write("device.inf", "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
                          "6,ATmega,mega,4096,255,9,HEX,1.8,5.5,1040\r\n");
  vrxsim::UnitConfig c;
  c.address = 3;
  c.images.push_back(vrxsim::StoredImage{1, 4096, 9, 0, 165, "Stored", 0, 4000, -1, false, ""});
  line.addUnit(c);
  ASSERT_EQ(link.Execute("FindProgrammers"), "FindProgrammers|Success|\r\n");
  ASSERT_EQ(link.Execute("Select|3"), "Select|Success|\r\n");
  const std::string bad = dir.Write("bad.hex", DataRecord(0, {1, 2}) + "garbage\r\n" + EndRecord());
  EXPECT_EQ(link.Execute("LoadImage|2|Name|" + bad + "|mega|3.3|0|0||"), "LoadImage| 1501|Illegal File Format\r\n");
  EXPECT_NE(ErrorReportText().find("\r\n\r\nTried: reading " + bad + ", line 2\r\n"), std::string::npos)
      << ErrorReportText();
  EXPECT_TRUE(platform.messages.boxes.empty());
}

}  // namespace
