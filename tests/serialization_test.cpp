// Serial numbers: the texts and entries of the serialization dialog, the
// memory choices and the device range check, and a program run on the
// in-process simulated line that writes consecutive numbers into the targets.
#include <gtest/gtest.h>

#include <algorithm>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "operations/LoadImage.h"
#include "operations/ProgramRun.h"
#include "operations/RunState.h"
#include "operations/Selection.h"
#include "operations/Serialize.h"
#include "options/SerialState.h"
#include "options/Serialization.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/ProgramManagerView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

constexpr uint64_t Max48 = (uint64_t{1} << 48) - 1;

SerialBytes Number(uint64_t value) {
  SerialBytes n{};
  for (int i = 0; i < 6; ++i) n[i] = static_cast<uint8_t>(value >> (8 * i));
  return n;
}

uint64_t ValueOf(const SerialBytes& n) {
  uint64_t v = 0;
  for (int i = 5; i >= 0; --i) v = v << 8 | n[i];
  return v;
}

TEST(SerialTexts, RefreshShowsTheSizeWithLeadingZeros) {
  struct Case {
    int size;
    uint64_t value;
    const char* hex;
    const char* decimal;
  };
  const Case cases[] = {
      {2, 0, "0000", "00000"},
      {2, 65535, "FFFF", "65535"},
      {2, 0x0A, "000A", "00010"},
      {4, 1234, "000004D2", "0000001234"},
      {4, 0xFFFFFFFF, "FFFFFFFF", "4294967295"},
      {6, 10, "00000000000A", "000000000000010"},
      {6, Max48, "FFFFFFFFFFFF", "281474976710655"},
      // Too large for its size (a record read from a programmer): shown in full, never cut.
      {2, 65536, "000000010000", "000000000065536"},
      {4, 0x123456789A, "00123456789A", "000078187493530"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    const SerialTexts texts = SerialRefreshTexts(Number(c.value), c.size);
    EXPECT_EQ(texts.hex, c.hex);
    EXPECT_EQ(texts.decimal, c.decimal);
  }
}

TEST(SerialTexts, TheArithmeticWrapsAt2To48AndSaysSo) {
  SerialBytes n = Number(Max48);
  EXPECT_FALSE(SerialAddByte(n, 1));   // the carry out of byte 5 is dropped
  EXPECT_EQ(ValueOf(n), 0u);
  EXPECT_EQ(SerialRefreshTexts(n, 6).hex, "000000000000");
  EXPECT_EQ(n[6], 0);

  n = Number(Max48 - 5);
  EXPECT_TRUE(SerialAddByte(n, 5));
  EXPECT_EQ(ValueOf(n), Max48);

  n = Number(uint64_t{1} << 44);
  SerialMulByte(n, 16);               // 2^48 wraps to 0
  EXPECT_EQ(ValueOf(n), 0u);
}

TEST(SerialEntry, TypedTextIsTakenOrRefusedAndNeverWraps) {
  struct Case {
    const char* text;
    int base;
    int size;
    bool taken;
    uint64_t stored;        // the number afterwards (77 = kept)
    const char* message;    // part of the refusal
  };
  const Case cases[] = {
      {"65535", 10, 2, true, 65535, ""},
      {"65536", 10, 2, false, 77, "does not fit in 2 bytes: the largest is 65535"},
      {"00012", 10, 2, true, 12, ""},
      {"12 345", 10, 4, true, 12345, ""},
      {"12 34x5", 10, 4, false, 77, "only hold the digits 0 to 9"},
      {"-5", 10, 2, false, 77, "only hold the digits 0 to 9"},
      {"", 10, 2, false, 77, "Enter the next serial number"},
      {"   ", 16, 2, false, 77, "Enter the next serial number"},
      {"ffff", 16, 2, true, 0xFFFF, ""},
      {"0x1A2b", 16, 4, true, 0x1A2B, ""},
      {"&HFF", 16, 2, true, 0xFF, ""},
      {"10000", 16, 2, false, 77, "does not fit in 2 bytes: the largest is FFFF"},
      {"FG", 16, 2, false, 77, "hexadecimal digits"},
      {"4294967296", 10, 4, false, 77, "does not fit in 4 bytes"},
      {"281474976710655", 10, 6, true, Max48, ""},
      {"281474976710656", 10, 6, false, 77, "does not fit in 6 bytes"},
      {"99999999999999999999999", 10, 6, false, 77, "does not fit in 6 bytes"},
      {"1000000000000", 16, 6, false, 77, "does not fit in 6 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SerialBytes n = Number(77);
    n[6] = 0x5A;   // the byte past the number is not the entry's
    std::string message;
    EXPECT_EQ(SerialFromEntry(c.text, c.base, c.size, n, message), c.taken);
    EXPECT_EQ(ValueOf(n), c.stored);
    EXPECT_EQ(n[6], 0x5A);
    if (c.taken) EXPECT_EQ(message, "");
    else EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }
}

TEST(SerialEntry, AddressIsHexadecimalUpTo32Bits) {
  int32_t address = 5;
  std::string message;
  EXPECT_TRUE(SerialAddressFromEntry("0x1f00", address, message));
  EXPECT_EQ(address, 0x1F00);
  EXPECT_EQ(SerialAddressText(address), "1F00");
  EXPECT_TRUE(SerialAddressFromEntry("80800010", address, message));
  EXPECT_EQ(static_cast<uint32_t>(address), 0x80800010u);
  EXPECT_EQ(SerialAddressText(address), "80800010");
  for (const char* refused : {"", "12G", "100000000"}) {
    address = 7;
    EXPECT_FALSE(SerialAddressFromEntry(refused, address, message)) << refused;
    EXPECT_EQ(address, 7);
  }
}

TEST(SerialFormatBits, ByteOrderChangesOnlyBit7AndSizeOnlyTheLowBits) {
  for (uint8_t format : {0x02, 0x04, 0x06, 0x84, 0x86, 0x00}) {
    SCOPED_TRACE(format);
    EXPECT_EQ(SerialFormatWithOrder(format, true), format | 0x80);
    EXPECT_EQ(SerialFormatWithOrder(format, false), format & 0x7F);
    EXPECT_EQ(SerialFormatWith(format, 4), (format & 0x80) | 4);
  }
  EXPECT_EQ(ListedSerialSize(0x82), 2);
  EXPECT_EQ(ListedSerialSize(0x04), 4);
  EXPECT_EQ(ListedSerialSize(0x00), 6);
  EXPECT_EQ(ListedSerialSize(0x05), 6);
  EXPECT_EQ(SerialSize(0x86), 6);
}

TEST(SerialMemories, CaptionsFollowTypeFamilyAndDevice) {
  struct Case {
    int type;
    const char* family;
    int32_t eeSize;
    const char* flash;
    const char* eeprom;
    bool eepromEnabled;
    const char* user;
    bool userVisible;
  };
  const Case cases[] = {
      {6, "ATmega", 512, "Flash", "EEPROM", true, "User Signature Page", false},
      {6, "ATmega", 0, "Flash", "EEPROM", false, "User Signature Page", false},
      {6, "ATxmega AVR", 1024, "Flash", "EEPROM", true, "User Signature Page", true},
      {9, "STM32", 0, "Application Flash", "Data Flash", true, "Loader Flash", true},
      {2, "ZLF645", 0, "Flash", "FIB3", true, "User", false},
      {2, "Z8 Encore!", 256, "Flash", "EEPROM", false, "User", false},
      {7, "AVR32", 0, "Flash", "EEPROM", false, "User", false},
      {1, "PSoC1", 0, "Flash", "EEPROM", false, "User", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + c.family);
    const SerialMemoryChoices m = SerialMemoryChoicesFor(c.type, c.family, c.eeSize);
    EXPECT_EQ(m.flash, c.flash);
    EXPECT_EQ(m.eeprom, c.eeprom);
    EXPECT_EQ(m.eepromEnabled, c.eepromEnabled);
    EXPECT_EQ(m.user, c.user);
    EXPECT_EQ(m.userVisible, c.userVisible);
    EXPECT_EQ(m.userEnabled, c.userVisible);
  }
  // An AVR without EEPROM cannot take code 2: it becomes 0.
  const SerialMemoryChoices noEeprom = SerialMemoryChoicesFor(6, "ATmega", 0);
  EXPECT_EQ(SelectableSerialMemory(SerialEeprom, noEeprom), SerialOff);
  EXPECT_EQ(SelectableSerialMemory(SerialUser, noEeprom), SerialOff);
  EXPECT_EQ(SelectableSerialMemory(SerialFlash, noEeprom), SerialFlash);
  EXPECT_EQ(SelectableSerialMemory(9, noEeprom), SerialOff);
}

TEST(SerialRange, AddressesOutsideTheChosenMemoryAreRefused) {
  DeviceRecord device;
  device.DevFlashSize = 8192;
  device.DevEESize = 512;
  device.DevAuxSize = 64;
  struct Case {
    int type;
    uint8_t memory;
    uint32_t address;
    int size;
    bool inside;
  };
  const Case cases[] = {
      {6, SerialFlash, 8190, 2, true},      // the last two bytes of the flash
      {6, SerialFlash, 8191, 2, false},
      {6, SerialFlash, 8188, 4, true},
      {6, SerialFlash, 8187, 6, false},
      {6, SerialEeprom, 510, 2, true},      // the last two EEPROM bytes
      {6, SerialEeprom, 511, 2, false},
      {6, SerialUser, 60, 4, true},
      {6, SerialUser, 61, 4, false},
      {6, SerialFlash, 0xFFFFFFFE, 2, false},   // no negative addresses
      {6, SerialOff, 0x7FFFFFFF, 6, true},      // off: nothing to check
      {7, SerialFlash, 0x80000100, 4, true},    // AVR32: bit 31 dropped
      {7, SerialFlash, 0x80800010, 4, true},    // the second memory from 0x800000
      {7, SerialFlash, 0x808001FE, 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.memory) + " " + std::to_string(c.address));
    const SerialPlacement p = PlaceSerialNumber(c.type, c.memory, static_cast<int32_t>(c.address));
    EXPECT_EQ(SerialInsideDevice(p, c.size, device), c.inside);
  }
  const SerialPlacement avr32 = PlaceSerialNumber(7, SerialFlash, static_cast<int32_t>(0x80800010u));
  EXPECT_EQ(avr32.memory, SerialEeprom);
  EXPECT_EQ(avr32.address, 0x10);
  EXPECT_STREQ(SerialRangeMessage, "Serial Number Address Out of Range for Device");
  EXPECT_STREQ(SerialRangeTitle, "Check Serialization");
}

// The windows show the number in decimal with the hexadecimal beside it;
// the run log keeps the hexadecimal alone.
TEST(SerialTexts, WindowsShowLastSerialsInDecimalWithTheHexBeside) {
  struct Case {
    const char* reply;
    int size;
    const char* shown;
  } cases[] = {
      {"E80300000000", 6, "1000 (0x0000000003E8)"},
      {"E80300000000", 2, "1000 (0x03E8)"},
      {"FFFFFFFFFFFF", 6, "281474976710655 (0xFFFFFFFFFFFF)"},
      {"000000000000", 4, "0 (0x00000000)"},
      {"0000010000", 4, "0000010000"},   // cut short: as it came
      {"ZZ0300000000", 4, "ZZ0300000000"},
      {"", 2, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LastSerialShownText(c.reply, c.size), c.shown) << c.reply << " " << c.size;
  }
  EXPECT_EQ(LastSerialText("E80300000000", 6), "0000000003E8");
}

TEST(SerialTexts, LastSerialsAreShownMostSignificantFirst) {
  EXPECT_EQ(LastSerialText("E80300000000", 4), "000003E8");
  EXPECT_EQ(LastSerialText("FFFF00000000", 2), "FFFF");
  EXPECT_EQ(LastSerialText("", 2), "");
}

// ---- On the simulated line ----

const char* DeviceFileText =
    "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
    "6,ATmega,mega,4096,255,&H312,HEX,1.8,5.5,1040\r\n";

class AllDone : public ProgramManagerView {
 public:
  bool PortEnabled(int) override { return true; }
  bool CrcVerifyOnly() override { return false; }
  bool Sequential() override { return false; }
  bool SoundEnabled() override { return false; }
  void SetPortStatus(int port, const std::string& caption, int64_t, int64_t) override { captions[port] = caption; }
  void SetStatusFrameVisible(bool) override {}
  std::string captions[4];
};

class SerialRunTest : public ::testing::Test {
 protected:
  SerialRunTest() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    AppPath = dir.path();
    dir.Write("device.inf", DeviceFileText);
    dir.Write("device_V2.inf", DeviceFileText);
    frmProgram = &manager;
  }
  ~SerialRunTest() override { frmProgram = nullptr; }

  vrxsim::Unit& Select() {
    vrxsim::UnitConfig c;
    c.address = 4;
    c.images.push_back(vrxsim::StoredImage{});   // slot 1
    vrxsim::Unit& unit = line.addUnit(c);
    EXPECT_TRUE(AcquireProgrammerAt(4));
    SelectProgrammer();
    EXPECT_TRUE(SerialSupported);
    for (int port = 0; port < 4; ++port) unit.target(port).memory.assign(256, 0xFF);
    return unit;
  }

  void SetRecord(uint8_t memory, uint8_t format, int32_t address, uint64_t next) {
    SerialMemory = memory;
    SerialFormat = format;
    SerialAddress = address;
    SerialNumber = Number(next);
  }

  bool Sent(uint8_t code) const {
    return std::any_of(line.log().begin(), line.log().end(),
                       [code](const auto& f) { return !f.payload.empty() && f.payload[0] == code; });
  }

  FakePlatform platform;
  vrxsim::Line line;
  AllDone manager;
  TempDir dir;
};

TEST_F(SerialRunTest, FourPortsGetConsecutiveNumbersInTheChosenOrder) {
  struct Case {
    uint8_t format;
    uint64_t first;
    int address;
    // Bytes written at the address for each port, in target memory order.
    std::vector<std::vector<uint8_t>> written;
    const char* last[4];   // what the programming manager shows
  };
  const Case cases[] = {
      {0x84, 0x01020304, 0x10, {{1, 2, 3, 4}, {1, 2, 3, 5}, {1, 2, 3, 6}, {1, 2, 3, 7}},
       {"01020304", "01020305", "01020306", "01020307"}},
      {0x04, 0x010203FE, 0x20, {{0xFE, 3, 2, 1}, {0xFF, 3, 2, 1}, {0x00, 4, 2, 1}, {0x01, 4, 2, 1}},
       {"010203FE", "010203FF", "01020400", "01020401"}},
      {0x82, 1000, 0xFE, {{0x03, 0xE8}, {0x03, 0xE9}, {0x03, 0xEA}, {0x03, 0xEB}}, {"03E8", "03E9", "03EA", "03EB"}},
  };
  vrxsim::Unit& unit = Select();
  ImageNumber = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last[0]);
    SetRecord(SerialFlash, c.format, c.address, c.first);
    ASSERT_TRUE(WriteSerializationSettings(0)) << LastErrorText;
    ASSERT_TRUE(ProgramImage(false)) << LastErrorText;
    for (int port = 0; port < 4; ++port) EXPECT_EQ(manager.captions[port], "Done");

    SetRecord(0, 0, 0, 0);   // the record shown afterwards comes from the programmer
    bool active = false;
    ASSERT_TRUE(ReadRunSerials(1, active)) << LastErrorText;
    EXPECT_TRUE(active);
    EXPECT_EQ(SerialMemory, SerialFlash);
    EXPECT_EQ(SerialFormat, c.format);
    EXPECT_EQ(SerialAddress, c.address);
    EXPECT_EQ(ValueOf(SerialNumber), c.first + 4);   // the next device gets the fifth number
    const size_t size = c.written[0].size();
    for (int port = 0; port < 4; ++port) {
      const std::vector<uint8_t>& memory = unit.target(port).memory;
      ASSERT_GE(memory.size(), c.address + size);
      EXPECT_EQ(std::vector<uint8_t>(memory.begin() + c.address, memory.begin() + c.address + size), c.written[port])
          << port;
      EXPECT_EQ(memory[c.address - 1], 0xFF);   // nothing written around the number
      if (c.address + size < memory.size()) {
        EXPECT_EQ(memory[c.address + size], 0xFF);
      }
      EXPECT_EQ(LastSerialText(LastSerials[port], SerialSize(SerialFormat)), c.last[port]) << port;
    }
  }
}

TEST_F(SerialRunTest, NumbersThatNoLongerFitTheSizeAreNotHandedOut) {
  vrxsim::Unit& unit = Select();
  ImageNumber = 1;
  SetRecord(SerialFlash, 0x02, 0, 0xFFFE);
  ASSERT_TRUE(WriteSerializationSettings(0));
  ASSERT_TRUE(ProgramImage(false));
  EXPECT_EQ(manager.captions[0], "Done");
  EXPECT_EQ(manager.captions[1], "Done");
  EXPECT_EQ(manager.captions[2], "Image Count Expired");
  EXPECT_EQ(manager.captions[3], "Image Count Expired");
  EXPECT_EQ(unit.target(0).memory[0], 0xFE);
  EXPECT_EQ(unit.target(1).memory[0], 0xFF);
  EXPECT_EQ(unit.target(1).memory[1], 0xFF);
  EXPECT_EQ(unit.target(2).memory[0], 0xFF);   // no 0x0000 written: the number does not wrap
  EXPECT_EQ(unit.target(2).memory[1], 0xFF);
  EXPECT_EQ(unit.target(3).memory[0], 0xFF);
}

TEST_F(SerialRunTest, SerializationOffWritesNothingAndShowsNoNumbers) {
  vrxsim::Unit& unit = Select();
  ImageNumber = 1;
  SetRecord(SerialOff, 0x02, 0, 5);
  ASSERT_TRUE(WriteSerializationSettings(0));
  ASSERT_TRUE(ProgramImage(false));
  bool active = true;
  line.clearLog();
  ASSERT_TRUE(ReadRunSerials(1, active));
  EXPECT_FALSE(active);
  EXPECT_FALSE(Sent(CmdGetLastSerials));
  for (int port = 0; port < 4; ++port) {
    EXPECT_EQ(unit.target(port).memory, std::vector<uint8_t>(256, 0xFF));
  }
}

TEST_F(SerialRunTest, LoadWithTheNumberOutsideTheDeviceSendsNothing) {
  vrxsim::Unit& unit = Select();
  ASSERT_TRUE(FindDeviceByName("mega"));
  const std::vector<uint8_t> recordBefore = unit.serialRecord(1);
  SetRecord(SerialFlash, 0x84, 4094, 1);   // 4 bytes from 4094 end past the 4096-byte flash
  line.clearLog();
  ImageLoadSettings settings;
  settings.image = 2;
  settings.files = {dir.Write("image.hex", DataRecord(0, {1, 2, 3}) + EndRecord())};
  EXPECT_FALSE(LoadImageFromFiles(settings));
  EXPECT_EQ(LastErrorNumber, ErrAddressRange);
  EXPECT_EQ(LastErrorText, "Serial Number Address Out of Range for Device");
  EXPECT_EQ(ErrorTitle, "Check Serialization");
  EXPECT_TRUE(line.log().empty());
  EXPECT_EQ(unit.serialRecord(1), recordBefore);

  SetRecord(SerialFlash, 0x84, 4092, 1);   // the last four bytes: taken and written after the image
  EXPECT_TRUE(LoadImageFromFiles(settings)) << LastErrorText;
  EXPECT_EQ(unit.serialRecord(1), (std::vector<uint8_t>{1, 0x84, 0xFC, 0x0F, 0, 0, 1, 0, 0, 0, 0, 0}));
}

}  // namespace
