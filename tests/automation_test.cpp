// The automation commands and the serial-number arithmetic they use.
#include <gtest/gtest.h>

#include <algorithm>

#include "automation/DdeLink.h"
#include "link/CommDefs.h"
#include "operations/Selection.h"
#include "options/FuseState.h"
#include "options/SerialNumbers.h"
#include "programmers/Discovery.h"
#include "programmers/SecurityBlock.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/Bindings.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

TEST(SerialNumbersTest, TwoByteNumbersShowTheirSizeOnly) {
  SerialBytes n = SerialFromText("65535", 10);
  EXPECT_EQ(SerialHexText(n, 2), "FFFF");
  EXPECT_EQ(SerialDecimalText(n, 2), "65535");
  n = SerialFromText("65536", 10);
  EXPECT_EQ(SerialHexText(n, 2), "0000");
  EXPECT_EQ(SerialDecimalText(n, 2), "00000");
  EXPECT_EQ(n[2], 1);   // the stored number keeps its third byte
}

TEST(SerialNumbersTest, LargestValueLenientTextAndCase) {
  SerialBytes n = SerialFromText("281474976710655", 10);   // 2^48 - 1
  EXPECT_EQ(SerialHexText(n, 6), "FFFFFFFFFFFF");
  EXPECT_EQ(SerialDecimalText(n, 6), "281474976710655");
  EXPECT_FALSE(SerialAddByte(n, 1));   // wraps at 2^48
  EXPECT_EQ(SerialHexText(n, 6), "000000000000");
  EXPECT_EQ(SerialDecimalText(SerialFromText("12 34x5", 10), 4), "0000012345");
  EXPECT_EQ(SerialHexText(SerialFromText("ab Cd", 16), 2), "ABCD");
  SerialBytes m = SerialFromText("1000", 10);
  EXPECT_EQ(SerialDivByte(m, 7), 1000 % 7);
  EXPECT_EQ(m[0] | m[1] << 8, 1000 / 7);
  EXPECT_EQ(RemoveChars("a b c", " "), "abc");
  EXPECT_EQ(KeepChars("x1y2", "0123456789"), "12");
  const uint8_t bytes[] = {0x0A, 0xFF, 0x10};
  EXPECT_EQ(BytesToHex(bytes, 1, 2), "FF10");
}

class AutomationTest : public ::testing::Test {
 protected:
  AutomationTest() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    AppPath = dir.path();
    dir.Write("device.inf", "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
                            "6,ATmega,mega,4096,255,9,HEX,1.8,5.5,1040\r\n");
  }

  vrxsim::Unit& AddUnit(int address = 3) {
    vrxsim::UnitConfig c;
    c.address = address;
    c.images.push_back(vrxsim::StoredImage{1, 4096, 9, 0, 165, "Stored", 0, 4000, -1, false, ""});
    return line.addUnit(c);
  }
  std::string Run(const std::string& command) { return link.Execute(command); }
  void LetTimePass(double ms) {
    platform.port.nowMs += ms;
    line.advance(platform.port.nowMs);
  }
  std::vector<std::vector<uint8_t>> PayloadsOf(uint8_t code) const {
    std::vector<std::vector<uint8_t>> found;
    for (const auto& frame : line.log()) {
      if (!frame.payload.empty() && frame.payload[0] == code) found.push_back(frame.payload);
    }
    return found;
  }

  FakePlatform platform;
  vrxsim::Line line;
  TempDir dir;
  DdeLink link;
};

TEST_F(AutomationTest, LoadingTheWindowSetsTheInterfaceUp) {
  EXPECT_TRUE(DdeEnabled);
  EXPECT_EQ(link.DDEStatus, "VRX DDE Enabled\r\n");
  EXPECT_EQ(ImageCountLimit, -1);
  EXPECT_FALSE(ImageProtectFlag);
}

TEST_F(AutomationTest, UnknownCommandsFieldsAndTooManyFields) {
  EXPECT_EQ(Run("Foo"), "Foo| 1601|Unrecognized Command\r\n");
  EXPECT_EQ(link.NumParams, 1);
  Run("portstatus|x|");
  EXPECT_EQ(link.NumParams, 2);   // an empty rest adds no field
  EXPECT_EQ(link.DDEStatus, "portstatus| 1601|Unrecognized Command\r\n");
  EXPECT_EQ(Run("ImageProtect|1|2|3|4|5|6|7|8|9|10|11"), "ImageProtect| 1601|Too Many Parameters\r\n");
  EXPECT_FALSE(ImageProtectFlag);
}

TEST_F(AutomationTest, OptionCommandsAndTheirMissingFields) {
  EXPECT_EQ(Run("AVRFuses|62|DF|FF"), "AVRFuses| 1607|Too few parameters\r\n");
  EXPECT_EQ(Run("AVRFuses|62|df|FF|7"), "AVRFuses|Success|\r\n");
  EXPECT_EQ(FuseValues[0], 0x62);
  EXPECT_EQ(FuseValues[1], 0xDF);
  EXPECT_EQ(FuseValues[3], 0x07);
  EXPECT_EQ(FuseValues[4], 0);
  EXPECT_EQ(Run("OscCal|33"), "OscCal| 1607|Too few parameters\r\n");
  EXPECT_EQ(Run("OscCal|33|1FFF"), "OscCal|Success|\r\n");
  EXPECT_EQ(OsccalOpt, 33);
  EXPECT_EQ(OsccalAddress, 0x1FFF);

  EXPECT_EQ(Run("OscCal|99999999999999999999999|123456789ABCDEF0123"), "OscCal|Success|\r\n");   // no overflow
  EXPECT_EQ(static_cast<uint32_t>(OsccalAddress), 0xCDEF0123u);   // the low 32 bits
  ImageCountLimit = 50;
  EXPECT_EQ(Run("ImageProtect|0|0"), "ImageProtect|Success|\r\n");
  EXPECT_FALSE(ImageProtectFlag);
  EXPECT_EQ(ImageCountLimit, -1);
  Run("ImageProtect|1|250");
  EXPECT_TRUE(ImageProtectFlag);
  EXPECT_EQ(ImageCountLimit, 250);
  Run("ImageProtect|0|7");
  EXPECT_TRUE(ImageProtectFlag);   // only a 1 changes the flag
}

TEST_F(AutomationTest, SelectionImageInfoAndLoadErrors) {
  AddUnit();
  EXPECT_EQ(Run("ImageInfo|1"), "ImageInfo| 1606|No Programmer Selected\r\n");
  EXPECT_EQ(Run("FindProgrammers"), "FindProgrammers|Success|\r\n");
  EXPECT_EQ(Run("Select|4"), "Select| 1600|Requested Programmer is Not Connected\r\n");
  EXPECT_EQ(Run("Select|3"), "Select|Success|\r\n");
  EXPECT_EQ(Run("ImageInfo|5"), "ImageInfo| 1603|Illegal Image #\r\n");
  EXPECT_EQ(Run("ImageInfo|1"), "ImageInfo|Success||Unrestricted|Stored              |ATmega|mega|3.30|SPI 4 MHz||<none>|\r\n");
  EXPECT_EQ(Run("LoadImage|5|Name|x.hex|mega|3.3|0|0||"), "LoadImage| 1603|Illegal Image #\r\n");
  EXPECT_EQ(Run("LoadImage|5|Name|x.hex|NoSuch|3.3|0|0||"), "LoadImage| 1602|Unrecognized Device\r\n");
  EXPECT_EQ(Run("LoadImage|2|Name|" + dir.path() + "/none.hex|mega|3.3|0|0||").substr(0, 15), "LoadImage| 53|C");
}

// Voltage, mode and frequency fields the slot cannot hold as given are
// refused before anything reaches the programmer. The device is rated 1.8-5.5 V;
// the programmer sets at most 5.10 V.
TEST_F(AutomationTest, OutOfRangeLoadAndReadFieldsAreRefusedAndTheSlotKept) {
  vrxsim::Unit& unit = AddUnit();
  ASSERT_EQ(Run("FindProgrammers"), "FindProgrammers|Success|\r\n");
  ASSERT_EQ(Run("Select|3"), "Select|Success|\r\n");
  const std::string hex = dir.Write("a.hex", DataRecord(0, {1, 2, 3, 4}) + EndRecord());
  struct Case {
    const char* command;   // with %F for the HEX file
    const char* reply;
  };
  const Case cases[] = {
      {"LoadImage|1|X|%F|mega|33|0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega|-3.3|0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega|nan|0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega|0x3|0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega|3.3V|0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega|33e-1|0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega|3..3|0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega||0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega|1.7|0|0||", "LoadImage| 1608|Illegal Voltage"},
      {"LoadImage|1|X|%F|mega|5.5|0|0||", "LoadImage| 1608|Illegal Voltage"},   // rated, but above 5.10 V
      {"LoadImage|1|X|%F|mega|3.3|256|0||", "LoadImage| 1608|Illegal Mode"},
      {"LoadImage|1|X|%F|mega|3.3|-1|0||", "LoadImage| 1608|Illegal Mode"},
      {"LoadImage|1|X|%F|mega|3.3|1.5|0||", "LoadImage| 1608|Illegal Mode"},
      {"LoadImage|1|X|%F|mega|3.3|&H10|0||", "LoadImage| 1608|Illegal Mode"},
      {"LoadImage|1|X|%F|mega|3.3|0|32768||", "LoadImage| 1608|Illegal Frequency"},
      {"LoadImage|1|X|%F|mega|3.3|0|-4000||", "LoadImage| 1608|Illegal Frequency"},
      {"LoadImage|1|X|%F|mega|3.3|0|99999999999||", "LoadImage| 1608|Illegal Frequency"},
      {"ReadDevice|1|X|mega|33|0|0|", "ReadDevice| 1608|Illegal Voltage"},
      {"ReadDevice|1|X|mega|nan|0|0|", "ReadDevice| 1608|Illegal Voltage"},
      {"ReadDevice|1|X|mega|1.79|0|0|", "ReadDevice| 1608|Illegal Voltage"},
      {"ReadDevice|1|X|mega|3.3|300|0|", "ReadDevice| 1608|Illegal Mode"},
      {"ReadDevice|1|X|mega|3.3|0|40000|", "ReadDevice| 1608|Illegal Frequency"},
  };
  const std::vector<uint8_t> flashBefore(unit.flash(), unit.flash() + unit.flashSize());
  const size_t framesBefore = line.log().size();
  for (const Case& c : cases) {
    std::string command = c.command;
    if (const size_t at = command.find("%F"); at != std::string::npos) command.replace(at, 2, hex);
    EXPECT_EQ(Run(command), std::string(c.reply) + "\r\n") << command;
  }
  EXPECT_EQ(line.log().size(), framesBefore);   // not a frame sent
  EXPECT_TRUE(std::equal(flashBefore.begin(), flashBefore.end(), unit.flash()));
  EXPECT_EQ(Run("ImageInfo|1"), "ImageInfo|Success||Unrestricted|Stored              |ATmega|mega|3.30|SPI 4 MHz||<none>|\r\n");
}

// The ends of the ranges are taken and stored as given.
TEST_F(AutomationTest, LoadTakesTheEndsOfTheRanges) {
  AddUnit();
  Run("FindProgrammers");
  Run("Select|3");
  const std::string hex = dir.Write("a.hex", DataRecord(0, {1, 2, 3, 4}) + EndRecord());
  EXPECT_EQ(Run("LoadImage|2|Top|" + hex + "|mega| 5.10 |255|32767||"), "LoadImage|Success|\r\n");
  EXPECT_EQ(Run("LoadImage|3|Low|" + hex + "|mega|1.8|||||"), "LoadImage|Success|\r\n");
  EXPECT_EQ(Run("Select|3"), "Select|Success|\r\n");   // re-read the directory
  const std::string top = Run("ImageInfo|2");
  EXPECT_EQ(top.substr(0, top.find("5.10|") + 5), "ImageInfo|Success||Unrestricted|Top                 |ATmega|mega|5.10|") << top;
  const std::string low = Run("ImageInfo|3");
  EXPECT_EQ(low.substr(0, low.find("1.80|") + 5), "ImageInfo|Success||Unrestricted|Low                 |ATmega|mega|1.80|") << low;
}

// A slot never names a new image with the old image's serialization record:
// a LoadImage turns the slot's record off, unless a Serialize set it for the
// slot since its last load or run, which the load keeps.
TEST_F(AutomationTest, LoadImageNeverKeepsTheReplacedImagesSerialNumbers) {
  vrxsim::Unit& unit = AddUnit();
  Run("FindProgrammers");
  Run("Select|3");
  const std::string hex = dir.Write("a.hex", DataRecord(0, {1, 2, 3, 4}) + EndRecord());
  const std::vector<uint8_t> old{1, 2, 0x00, 0x01, 0, 0, 0xE8, 0x03, 0, 0, 0, 0};   // flash 0x100, 2 bytes, 1000
  const std::vector<uint8_t> off(12, 0);
  const std::vector<uint8_t> set{2, 4, 0xF0, 0x01, 0, 0, 0x20, 0xA1, 0x07, 0, 0, 0};   // EEPROM 0x1F0, 4 bytes, 500000

  ASSERT_EQ(Run("Serialize|1|1|2|100|3E8"), "Serialize|Success|\r\n");
  ASSERT_EQ(unit.serialRecord(0), old);
  EXPECT_EQ(Run("Program|1|1"), "Program|Success|\r\n");   // the record served the image in the slot
  LetTimePass(5000);
  ASSERT_EQ(Run("LoadImage|1|Next|" + hex + "|mega|3.3|0|0||"), "LoadImage|Success|\r\n");
  EXPECT_EQ(unit.serialRecord(0), off);

  // Set before the load: kept for the image loaded next, also after a failed try.
  ASSERT_EQ(Run("Serialize|1|2|4|1F0|7A120"), "Serialize|Success|\r\n");
  EXPECT_NE(Run("LoadImage|1|Next|" + dir.path() + "/none.hex|mega|3.3|0|0||"), "LoadImage|Success|\r\n");
  ASSERT_EQ(Run("LoadImage|1|Next|" + hex + "|mega|3.3|0|0||"), "LoadImage|Success|\r\n");
  EXPECT_EQ(unit.serialRecord(0), set);
  ASSERT_EQ(Run("LoadImage|1|Again|" + hex + "|mega|3.3|0|0||"), "LoadImage|Success|\r\n");
  EXPECT_EQ(unit.serialRecord(0), off);
}

// A load or a read changes a slot: the next ImageInfo and SaveImage see it
// without a Select, and a failed load still answers with its own error.
TEST_F(AutomationTest, LoadAndReadAreSeenAtOnceAndAFailureKeepsItsError) {
  AddUnit();
  Run("FindProgrammers");
  Run("Select|3");
  const std::string hex = dir.Write("a.hex", DataRecord(0, {1, 2, 3, 4}) + EndRecord());
  ASSERT_EQ(Run("LoadImage|2|Fresh|" + hex + "|mega|3.3|0|0||"), "LoadImage|Success|\r\n");
  const std::string info = Run("ImageInfo|2");
  EXPECT_EQ(info.rfind("ImageInfo|Success||Unrestricted|Fresh ", 0), 0u) << info;
  const std::string saved = dir.path() + "/fresh.hex";
  EXPECT_EQ(Run("SaveImage|2|" + saved), "SaveImage|Success|\r\n");
  EXPECT_EQ(dir.Read("fresh.hex").substr(0, 17), ":2000000001020304");   // the new bytes, not the old image's

  EXPECT_EQ(Run("ReadDevice|4|Copied|mega|3.3|0|0|"), "ReadDevice|Success|\r\n");
  const std::string copied = Run("ImageInfo|4");
  EXPECT_EQ(copied.rfind("ImageInfo|Success||Unrestricted|Copied ", 0), 0u) << copied;

  vrxsim::FaultConfig drop{vrxsim::FaultKind::Drop};
  drop.command = 0x01;   // the first write of the next load goes unanswered
  drop.count = 1;
  line.addFault(drop);
  const std::string failed = Run("LoadImage|2|Lost|" + hex + "|mega|3.3|0|0||");
  EXPECT_EQ(failed.rfind("LoadImage| 1500|", 0), 0u) << failed;
  const std::string emptied = Run("ImageInfo|2");   // marked empty, and seen so
  EXPECT_EQ(emptied.find("Fresh"), std::string::npos) << emptied;
  EXPECT_EQ(emptied.find("Lost"), std::string::npos) << emptied;
}

// A program run would count devices off a block whose seal is wrong; a verify
// run counts nothing and goes ahead.
TEST_F(AutomationTest, ProgramIsRefusedWhileTheSecurityBlockIsDamaged) {
  vrxsim::Unit& unit = AddUnit();
  unit.flash()[SecurityBlockAddress] ^= 0x01;   // slot 1's count, behind the seal
  const std::vector<uint8_t> damaged(unit.flash() + SecurityBlockAddress,
                                     unit.flash() + SecurityBlockAddress + SecurityBlockBytes);
  Run("FindProgrammers");
  Run("Select|3");
  EXPECT_EQ(Run("Program|1|1"), std::string("Program| 1521|") + SecurityDamagedText + "\r\n");
  EXPECT_TRUE(PayloadsOf(CmdProgram).empty());
  EXPECT_EQ(Run("Verify|1|1"), "Verify|Success|\r\n");
  EXPECT_EQ(PayloadsOf(CmdVerify).size(), 1u);
  LetTimePass(5000);
  EXPECT_EQ(std::vector<uint8_t>(unit.flash() + SecurityBlockAddress,
                                 unit.flash() + SecurityBlockAddress + SecurityBlockBytes),
            damaged);
}

TEST_F(AutomationTest, ProgramMaskPortStatusAndSerialize) {
  vrxsim::Unit& unit = AddUnit();
  Run("FindProgrammers");
  Run("Select|3");
  EXPECT_EQ(Run("PortStatus"), "PortStatus|Success|Done|Done|Done|Done|Complete|\r\n");
  EXPECT_EQ(Run("Program|1|134"), "Program|Success|\r\n");
  EXPECT_EQ(PayloadsOf(0x07).back(), (std::vector<uint8_t>{0x07, (13 ^ 0x0F) & 0x3F}));
  EXPECT_NE(Run("PortStatus").find("|Active|"), std::string::npos);   // the run goes on in the programmer
  EXPECT_EQ(Run("Verify|1|1234|CHK"), "Verify| 5|Programmer Busy\r\n");
  LetTimePass(5000);
  EXPECT_EQ(Run("PortStatus"), "PortStatus|Success|Done|- Disabled -|Done|Done|Complete|\r\n");
  EXPECT_EQ(Run("Verify|1|1234|CHK"), "Verify|Success|\r\n");
  EXPECT_EQ(PayloadsOf(0x07).back(), (std::vector<uint8_t>{0x07, (31 ^ 0x0F) & 0x3F}));
  LetTimePass(5000);
  EXPECT_EQ(Run("Program|2|1"), "Program| 7|Selected Image is Empty\r\n");

  EXPECT_EQ(Run("Serialize|1|1|2"), "Serialize| 1607|Too few parameters\r\n");
  EXPECT_EQ(Run("Serialize|5|1|2|100|1"), "Serialize| 1603|Illegal Image #\r\n");
  EXPECT_EQ(Run("Serialize|1|1|2|1FF0|0 0 1 2 A B"), "Serialize|Success|\r\n");
  const std::vector<uint8_t> record = unit.serialRecord(0);
  EXPECT_EQ(record, (std::vector<uint8_t>{1, 2, 0xF0, 0x1F, 0, 0, 0xAB, 0x12, 0, 0, 0, 0}));
}

TEST_F(AutomationTest, SerializeNeedsSupportAndCommSelectNeedsAClosedKnownPort) {
  vrxsim::UnitConfig c;
  c.address = 3;
  c.serialization = false;
  line.addUnit(c);
  Run("FindProgrammers");
  Run("Select|3");
  EXPECT_EQ(Run("Serialize|1|1|2|0|1"), "Serialize| 1601|Not Supported\r\n");
  EXPECT_EQ(Run("CommSelect|1"), "CommSelect| 1604|Comm Port is Already Open\r\n");
  platform.port.open = false;
  EXPECT_EQ(Run("CommSelect|9"), "CommSelect| 1605|Invalid Comm Port Selection\r\n");
  EXPECT_EQ(Run("CommSelect|1"), "CommSelect|Success|\r\n");
}

TEST_F(AutomationTest, FailedScanRepliesWithoutShowingABox) {
  EXPECT_EQ(Run("FindProgrammers"), "FindProgrammers| 1508|No Programmers Found\r\n");
  EXPECT_TRUE(platform.messages.boxes.empty());
}

}  // namespace
