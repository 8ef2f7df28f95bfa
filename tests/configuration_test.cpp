// The settings a programmer keeps in its own flash: the DefaultsRecord of the
// power-on defaults and the ATE options, and the move to another bus address,
// against the in-process simulated line.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/Selection.h"
#include "programmers/Configuration.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"

namespace {

using Bytes = std::vector<uint8_t>;

ProgrammerDefaults Defaults(int image, bool sequential, bool crc, std::array<bool, 4> ports) {
  ProgrammerDefaults d;
  d.imageNumber = image;
  d.sequential = sequential;
  d.crcVerify = crc;
  d.ports = ports;
  return d;
}

TEST(DefaultsRecordTest, EncodesSlotZeroBasedAndDisabledPortsAsSetBits) {
  struct Case {
    const char* name;
    ProgrammerDefaults defaults;
    std::array<uint8_t, 2> record;
  };
  const Case cases[] = {
      // Sequential on, CRC verify off, ports 1 and 3 enabled, image 2.
      {"SequentialPortsOneAndThree", Defaults(2, true, false, {true, false, true, false}), {0x01, 0x2A}},
      {"AllPortsNoOptions", Defaults(1, false, false, {true, true, true, true}), {0x00, 0x00}},
      {"NoPortsBothOptions", Defaults(4, true, true, {false, false, false, false}), {0x03, 0x3F}},
      {"CrcVerifyPortFourOnly", Defaults(3, false, true, {false, false, false, true}), {0x02, 0x17}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeDefaultsRecord(c.defaults), c.record) << c.name;
    const ProgrammerDefaults back = DecodeDefaultsRecord(c.record);
    EXPECT_EQ(back.imageNumber, c.defaults.imageNumber) << c.name;
    EXPECT_EQ(back.sequential, c.defaults.sequential) << c.name;
    EXPECT_EQ(back.crcVerify, c.defaults.crcVerify) << c.name;
    EXPECT_EQ(back.ports, c.defaults.ports) << c.name;
  }
}

TEST(DefaultsRecordTest, FlagsByteTenChecksEveryPortAndCrcVerifyButNotSequential) {
  const ProgrammerDefaults d = DecodeDefaultsRecord({0x00, 0x10});
  EXPECT_EQ(d.ports, (std::array<bool, 4>{true, true, true, true}));
  EXPECT_TRUE(d.crcVerify);
  EXPECT_FALSE(d.sequential);
  EXPECT_EQ(d.imageNumber, 1);
}

TEST(DefaultsRecordTest, RecordsLiveAtTwentySixAndAteOptionsFromTwoThirtyTwo) {
  EXPECT_EQ(DefaultsAddress(-1), 26);
  EXPECT_EQ(DefaultsAddress(0), 232);
  EXPECT_EQ(DefaultsAddress(3), 238);
}

TEST(AddressChoicesTest, EveryAddressButTheCurrentAscending) {
  struct Case {
    int current;
    std::vector<int> choices;
  };
  const Case cases[] = {
      {5, {1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {1, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
  };
  for (const Case& c : cases) EXPECT_EQ(NewAddressChoices(c.current), c.choices) << c.current;
}

TEST(ConfigurationTextTest, MessagesOfTheDialogsAndMenus) {
  EXPECT_EQ(AddressConflictMessage(7),
            "There is Already a Programmer Responding at Address 7\r\n"
            "Setting this programmer to address 7 will cause a conflict");
  EXPECT_EQ(DefaultsSetMessage(-1), "Defaults have been sent to programmer");
  EXPECT_EQ(DefaultsSetMessage(2), "ATE Option 2 has been set");
  EXPECT_EQ(DefaultsReadMessage(-1), "Defaults have been read from programmer");
  EXPECT_EQ(DefaultsReadMessage(0), "ATE Option 0 has been read from programmer.");
  EXPECT_EQ(DefaultsSetTitle(-1), "Set Programmer Defaults");
  EXPECT_EQ(DefaultsSetTitle(1), "Set ATE Options");
  EXPECT_EQ(DefaultsReadTitle(-1), "Set Programmer Defaults");
  EXPECT_EQ(DefaultsReadTitle(3), "View ATE Options");
}

class ConfigurationTest : public ::testing::Test {
 protected:
  ConfigurationTest() { ConnectSimLine(platform.port, line); }

  vrxsim::Unit& AddUnit(int address, vrxsim::Baud baud = vrxsim::Baud::B115200) {
    vrxsim::UnitConfig c;
    c.address = address;
    c.baud = baud;
    return line.addUnit(c);
  }

  // Finds the unit at `address` and makes it the one talked to.
  void Choose(int address) {
    ASSERT_TRUE(AcquireProgrammerAt(address)) << LastErrorText;
    CurrentAddress = static_cast<uint8_t>(address);
  }

  Bytes Flash(vrxsim::Unit& unit, uint32_t address, size_t n) {
    return Bytes(unit.flash() + address, unit.flash() + address + n);
  }

  // The addresses the scan lists, in order.
  std::vector<int> Scanned() {
    std::vector<int> found;
    AcquireProgrammers();
    for (int i = 1; i <= ProgCount; ++i) found.push_back(ProgrammerTable[i].Address);
    return found;
  }

  FakePlatform platform;
  vrxsim::Line line;
};

TEST_F(ConfigurationTest, DefaultsAndAteOptionsAreWrittenWhereTheyBelongAndReadBack) {
  vrxsim::Unit& unit = AddUnit(3);
  Choose(3);
  const Bytes ateBefore = Flash(unit, 232, 8);
  ASSERT_TRUE(WriteProgrammerDefaults(-1, Defaults(2, true, false, {true, false, true, false}))) << LastErrorText;
  EXPECT_EQ(Flash(unit, 26, 2), (Bytes{0x01, 0x2A}));
  EXPECT_EQ(Flash(unit, 232, 8), ateBefore);

  ASSERT_TRUE(WriteProgrammerDefaults(3, Defaults(4, false, true, {false, true, true, true}))) << LastErrorText;
  EXPECT_EQ(Flash(unit, 238, 2), (Bytes{0x03, 0x11}));
  EXPECT_EQ(Flash(unit, 232, 6), Bytes(ateBefore.begin(), ateBefore.begin() + 6));
  EXPECT_EQ(Flash(unit, 26, 2), (Bytes{0x01, 0x2A}));

  ProgrammerDefaults read;
  ASSERT_TRUE(ReadProgrammerDefaults(3, read)) << LastErrorText;
  EXPECT_EQ(read.imageNumber, 4);
  EXPECT_TRUE(read.crcVerify);
  EXPECT_FALSE(read.sequential);
  EXPECT_EQ(read.ports, (std::array<bool, 4>{false, true, true, true}));
  EXPECT_EQ(ErrorTitle, "Read ATE Options");
}

TEST_F(ConfigurationTest, FailedWriteAndReadAreReportedAsFlashWriteErrors) {
  AddUnit(3);
  Choose(3);
  struct Case {
    const char* name;
    int option;
    bool write;
    const char* title;
  };
  const Case cases[] = {
      {"SetDefaults", -1, true, "Set Defaults"},
      {"SetAte", 1, true, "Set ATE Options"},
      {"ReadDefaults", -1, false, "Read Defaults"},
      {"ReadAte", 2, false, "Read ATE Options"},
  };
  for (const Case& c : cases) {
    line.addFault({vrxsim::FaultKind::Drop, 1, 0, 1, c.write ? CmdWriteFlash : CmdReadFlash});
    ProgrammerDefaults d = Defaults(1, true, true, {true, true, true, true});
    const bool ok = c.write ? WriteProgrammerDefaults(c.option, d) : ReadProgrammerDefaults(c.option, d);
    EXPECT_FALSE(ok) << c.name;
    EXPECT_EQ(LastErrorNumber, 3) << c.name;
    EXPECT_EQ(LastErrorText, "Flash Write Error") << c.name;
    EXPECT_EQ(LastErrorSource, c.write ? "Set Defaults" : "Read Defaults") << c.name;
    EXPECT_EQ(ErrorTitle, c.title) << c.name;
    EXPECT_TRUE(d.sequential && d.crcVerify) << c.name;   // a failed read leaves the values
  }
}

// A byte flipped on the way back is not taken for the programmer's record.
TEST_F(ConfigurationTest, ARecordIsActedOnOnlyWhenTwoReadsAgree) {
  vrxsim::Unit& unit = AddUnit(3);
  Choose(3);
  unit.flash()[26] = 0x02;
  unit.flash()[27] = 0x30;
  line.addFault({vrxsim::FaultKind::Corrupt, 1, 0, 1, CmdReadFlash, 0, 0, -1});
  ProgrammerDefaults d;
  ASSERT_TRUE(ReadProgrammerDefaults(-1, d)) << LastErrorText;
  EXPECT_EQ(d.imageNumber, 3);
  EXPECT_TRUE(d.sequential);
  EXPECT_TRUE(d.crcVerify);
  EXPECT_EQ(d.ports, (std::array<bool, 4>{true, true, true, true}));
}

TEST_F(ConfigurationTest, AMoveToAFreeAddressIsFollowedByAScanThatListsTheUnitThere) {
  vrxsim::Unit& unit = AddUnit(3);
  AddUnit(5);
  Choose(3);
  EXPECT_EQ(SetProgrammerAddress(9), AddressChange::Moved) << LastErrorText;
  EXPECT_EQ(LastErrorNumber, 0);
  EXPECT_EQ(unit.flash()[31], 9);
  EXPECT_EQ(unit.address(), 9);
  EXPECT_EQ(Scanned(), (std::vector<int>{5, 9}));
}

TEST_F(ConfigurationTest, AConflictLeavesBothUnitsAsTheyWere) {
  struct Case {
    const char* name;
    vrxsim::Baud otherSpeed;
  };
  for (const Case& c : {Case{"SameSpeed", vrxsim::Baud::B115200}, Case{"OtherSpeed", vrxsim::Baud::B38400}}) {
    line = vrxsim::Line();
    ConnectSimLine(platform.port, line);
    vrxsim::Unit& moving = AddUnit(3);
    vrxsim::Unit& other = AddUnit(7, c.otherSpeed);
    const Bytes movingConfig = Flash(moving, 0, 32), otherConfig = Flash(other, 0, 32);
    Choose(3);
    ProgSettings[3] = "115200,n,8,1";
    line.clearLog();
    EXPECT_EQ(SetProgrammerAddress(7), AddressChange::Conflict) << c.name;
    EXPECT_EQ(LastErrorNumber, 0) << c.name;
    EXPECT_EQ(Flash(moving, 0, 32), movingConfig) << c.name;
    EXPECT_EQ(Flash(other, 0, 32), otherConfig) << c.name;
    EXPECT_EQ(moving.address(), 3) << c.name;
    EXPECT_EQ(other.address(), 7) << c.name;
    for (const vrxsim::LoggedFrame& f : line.log()) {
      EXPECT_EQ(f.payload[0], CmdFwRev) << c.name << ": only the probe was sent";
    }
    EXPECT_EQ(CurrentAddress, 3) << c.name;
    EXPECT_EQ(platform.port.settings, "115200,n,8,1") << c.name;   // the moving unit's speed again
    EXPECT_EQ(Scanned(), (std::vector<int>{3, 7})) << c.name;
  }
}

// The address byte is read back before the unit is told to take it; when it
// did not arrive as sent, the unit's own address goes back and it stays put.
TEST_F(ConfigurationTest, AnAddressByteThatDoesNotReadBackKeepsTheUnitWhereItIs) {
  vrxsim::Unit& unit = AddUnit(3);
  Choose(3);
  // The read-back of the new byte arrives flipped; later reads are clean.
  line.addFault({vrxsim::FaultKind::Corrupt, 1, 0, 1, CmdReadFlash, 0, 0, -1});
  line.clearLog();
  EXPECT_EQ(SetProgrammerAddress(9), AddressChange::Failed);
  EXPECT_EQ(LastErrorNumber, ErrReadVerify);
  EXPECT_EQ(ErrorTitle, "Set Address");
  EXPECT_EQ(unit.flash()[31], 3);
  EXPECT_EQ(unit.address(), 3);
  for (const vrxsim::LoggedFrame& f : line.log()) EXPECT_NE(f.payload[0], CmdConfigureProgrammer);
  EXPECT_EQ(Scanned(), (std::vector<int>{3}));
}

TEST_F(ConfigurationTest, AFailedAddressWriteIsReportedAndTheUnitKeepsItsAddress) {
  vrxsim::Unit& unit = AddUnit(3);
  Choose(3);
  line.addFault({vrxsim::FaultKind::Drop, 1, 0, 1, CmdWriteFlash});
  EXPECT_EQ(SetProgrammerAddress(9), AddressChange::Failed);
  EXPECT_EQ(LastErrorNumber, ErrNoResponse);
  EXPECT_EQ(unit.flash()[31], 3);   // the write arrived though its reply did not: put back
  EXPECT_EQ(unit.address(), 3);
}

}  // namespace
