// Input file selection and project files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/FileSelection.h"
#include "images/ProjectFile.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "options/FuseState.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/TempDir.h"

namespace {

class ProjectTest : public ::testing::Test {
 protected:
  ProjectTest() {
    FileDial1 = &dialogs;
    AppPath = dir.path();
    ProgTypeName = "VRX-AVR";
  }
  ~ProjectTest() override { FileDial1 = nullptr; }

  std::vector<std::string> Lines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  }

  FakePlatform platform;
  ScriptedFileDialogs dialogs;
  TempDir dir;
};

TEST_F(ProjectTest, RoundTripWithFourFilesAndTheAvrBlock) {
  ProgType = 6;
  FileCount = 4;
  for (int i = 0; i < 4; ++i) FileList[i] = dir.Write("part" + std::to_string(i) + ".hex", EndRecord());
  EepromFileChosen = true;
  EEFilePath = dir.Write("data.eep", EndRecord());
  EEFileTitle = "data.eep";
  ImageMode = 9;
  ImageFreq = 8000;
  ImageVoltage = 250;
  OsccalOpt = 0x21;
  OsccalAddress = 4000;
  NumFuseBytes = 2;
  FuseValues = {0x62, 0xDF, 0xFF};
  AVR32SecurityF = true;
  JtagIdCheck = true;
  JtagPart = 0x9514;
  JtagVersion = 0xC;
  const std::string path = dir.path() + "/board.vrx";
  ASSERT_TRUE(WriteProjectFile(path, "Board1", "ATmega", "ATmega328P"));

  const std::vector<std::string> lines = Lines(path);
  const std::vector<std::string> expected = {
      "\"Name: Board1\"\r", "\"Family: ATmega\"\r", "\"Device: ATmega328P\"\r", "\"Mode: 9\"\r", "\"Freq: 8000\"\r",
      "\"Voltage: 250\"\r", "\"File0: " + FileList[0] + "\"\r", "\"File1: " + FileList[1] + "\"\r",
      "\"File2: " + FileList[2] + "\"\r", "\"File3: " + FileList[3] + "\"\r", "\"EEPROM: " + EEFilePath + "\"\r",
      "\"EENAME: data.eep\"\r", "\"OsccalOpt:  33\"\r", "\"OsccalAddress:  4000\"\r", "\"FUSE0:  98\"\r",
      "\"FUSE1:  223\"\r", "\"FUSE2:  255\"\r", "\"AVR32SecurityF: 1\"\r", "\"JTAG_ID: 1\"\r",
      "\"JTAG_PART: 9514\"\r", "\"JTAG_VERSION: C\"\r"};
  EXPECT_EQ(lines, expected);

  const std::array<std::string, 5> written = FileList;
  FileList.fill("");
  FileCount = 0;
  EepromFileChosen = false;
  ASSERT_TRUE(ReadProjectFile(path));
  EXPECT_EQ(ProjName, "Board1");
  EXPECT_EQ(ProjFamily, "ATmega");
  EXPECT_EQ(ProjDevice, "ATmega328P");
  EXPECT_EQ(ProjMode, 9);
  EXPECT_EQ(ProjFreq, 8000);
  EXPECT_FLOAT_EQ(ProjVoltage, 5.0f);
  EXPECT_EQ(FileCount, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(FileList[i], written[i]);
  EXPECT_TRUE(EepromFileChosen);
  EXPECT_EQ(EEFileTitle, "data.eep");
  EXPECT_EQ(ProjOsccalOpt, 0x21);
  EXPECT_EQ(ProjOsccalAddress, 4000);
  EXPECT_EQ(ProjFuses[1], 0xDF);
  EXPECT_TRUE(ProjAVR32Security);
  EXPECT_TRUE(ProjJtagId);
  EXPECT_EQ(ProjJtagPart, 0x9514);   // above 7FFF and still positive
  EXPECT_EQ(ProjJtagVersion, 0xC);
}

TEST_F(ProjectTest, OtherTypesEndAfterTheFilesAndLeaveTheOptionsAlone) {
  ProgType = 2;
  FileCount = 1;
  FileList[0] = dir.Write("a.hex", EndRecord());
  EepromFileChosen = false;
  const std::string path = dir.path() + "/z8.vrx";
  ASSERT_TRUE(WriteProjectFile(path, "Z", "Z8 Encore! F64xx", "Z8F6421"));
  EXPECT_EQ(Lines(path).size(), 7u);
  ProjOsccalOpt = 77;
  ProjJtagPart = 5;
  ASSERT_TRUE(ReadProjectFile(path));
  EXPECT_EQ(ProjOsccalOpt, 77);
  EXPECT_EQ(ProjJtagPart, 5);
  EXPECT_FALSE(ProjJtagId);
}

TEST_F(ProjectTest, LenientLinesModeWithoutBlankAndLinesWithoutColon) {
  const std::string path = dir.Write("odd.vrx",
                                     "\"Mode:9\"\r\n\"No colon here\"\r\nFreq: 12.5\r\n\"Voltage: 165\"\r\n"
                                     "\"Unknown: 1\"\r\n\"JTAG_ID: 1\"\r\n");
  ProjFreq = -1;
  ASSERT_TRUE(ReadProjectFile(path));
  EXPECT_EQ(ProjMode, 0);    // the first character after the colon is always dropped
  EXPECT_EQ(ProjFreq, 12);   // 12.5 rounds to the even 12
  EXPECT_FLOAT_EQ(ProjVoltage, 3.3f);
  EXPECT_TRUE(ProjJtagId);
}

TEST_F(ProjectTest, MissingFirstAndLaterFilesHaveTheirOwnMessages) {
  const std::string missing = dir.path() + "/gone.hex";
  const std::string first = dir.Write("first.vrx", "\"Name: A\"\r\n\"File0: " + missing + "\"\r\n\"Family: late\"\r\n");
  ProjFamily = "before";
  EXPECT_FALSE(ReadProjectFile(first));
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].text, "File Not Found " + missing);
  EXPECT_EQ(platform.messages.boxes[0].title, "Open Project");
  EXPECT_EQ(platform.messages.boxes[0].style, vbExclamation);
  EXPECT_EQ(ProjName, "A");         // settings read before the failure stay
  EXPECT_EQ(ProjFamily, "before");  // the rest is not read

  const std::string later = dir.Write("later.vrx", "\"File0: " + dir.Write("ok.hex", EndRecord()) + "\"\r\n\"File2: " +
                                                       missing + "\"\r\n");
  EXPECT_FALSE(ReadProjectFile(later));
  EXPECT_EQ(platform.messages.boxes.back().text, "File Not Found: " + missing);
  const std::string eeprom = dir.Write("ee.vrx", "\"EEPROM: " + missing + "\"\r\n");
  EXPECT_FALSE(ReadProjectFile(eeprom));
  EXPECT_EQ(platform.messages.boxes.back().text, "File Not Found: " + missing);
}

TEST_F(ProjectTest, ByteOrderMarkIsNoPartOfTheFirstLine) {
  const std::string hex = dir.Write("a.hex", DataRecord(0, {1}) + EndRecord());
  const std::string path = dir.Write("bom.vrx", "\xEF\xBB\xBF\"Name: Marked\"\r\n\"File0: " + hex + "\"\r\n");
  ProjName = "before";
  ASSERT_TRUE(ReadProjectFile(path));
  EXPECT_EQ(ProjName, "Marked");
  EXPECT_EQ(FileList[0], hex);
}

TEST_F(ProjectTest, FileThatExistsButCannotBeReadIsNotCalledMissing) {
  const std::string folder = dir.path() + "/sub";
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::string first = dir.Write("first.vrx", "\"File0: " + folder + "\"\r\n");
  EXPECT_FALSE(ReadProjectFile(first));
  ASSERT_EQ(platform.messages.boxes.size(), 1u);
  EXPECT_EQ(platform.messages.boxes[0].text, "File Cannot Be Read " + folder + " (a folder, not a file)");
  const std::string eeprom = dir.Write("ee.vrx", "\"EEPROM: /dev/zero\"\r\n");
  EXPECT_FALSE(ReadProjectFile(eeprom));
  EXPECT_EQ(platform.messages.boxes.back().text, "File Cannot Be Read: /dev/zero (not a regular file)");
}

TEST_F(ProjectTest, ProjectWithoutItsFirstFileIsRefusedForLoadingAndBringsNoOldFiles) {
  FileCount = 2;
  FileList[0] = dir.Write("old0.hex", DataRecord(0, {1}) + EndRecord());
  FileList[1] = dir.Write("old1.hex", DataRecord(0, {1}) + EndRecord());
  const std::string path = dir.Write("nofile.vrx", "\"Name: Empty\"\r\n\"Device: ATmega328P\"\r\n");
  EXPECT_FALSE(ReadProjectForLoad(path));
  EXPECT_EQ(LastErrorNumber, ErrFileFormat);
  EXPECT_EQ(LastErrorText, "No Image File (File0) in Project: " + path);
  EXPECT_EQ(FileCount, 0);
  EXPECT_EQ(FileList[0], "");
  EXPECT_EQ(FileList[1], "");

  const std::string good = dir.Write("good.vrx", "\"File0: " + dir.path() + "/old1.hex\"\r\n");
  ASSERT_TRUE(ReadProjectForLoad(good));
  EXPECT_EQ(FileCount, 1);
}

TEST_F(ProjectTest, ProjectThatIsAFolderOrAFifoIsAnErrorNotAWait) {
  const std::string fifo = dir.path() + "/pipe.vrx";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir.path(), fifo}) {
    EXPECT_FALSE(ReadProjectFile(path));
    EXPECT_EQ(LastErrorNumber, ErrFileAccess);
    EXPECT_EQ(LastErrorText.rfind("Cannot read " + path + ": ", 0), 0u) << LastErrorText;
  }
}

TEST_F(ProjectTest, OpenProjectRemembersItsFolderAndCancelIsNoFailure) {
  const std::string path = dir.Write("p.vrx", "\"Name: P\"\r\n");
  dialogs.answers = {path, ""};
  ASSERT_TRUE(OpenProject());
  EXPECT_EQ(ProjectFile, path);
  EXPECT_EQ(platform.settings.values["VRX-AVR/ProjectPath"], dir.path() + "/");
  EXPECT_EQ(dialogs.requests[0].filter, "VRX Project Files|*.vrx");
  EXPECT_EQ(dialogs.requests[0].title, "Open Project");
  EXPECT_EQ(dialogs.requests[0].initialFolder, dir.path());
  EXPECT_FALSE(OpenProject());
  EXPECT_EQ(LastErrorNumber, ErrDialogCancelled);
  EXPECT_EQ(dialogs.requests[1].initialFolder, dir.path() + "/");
}

TEST_F(ProjectTest, ImageFileDialogFollowsTheDeviceFileKindAndSharesItsFolder) {
  DeviceTable[0].DevFileType = "IIC";
  CurDevice = 0;
  const std::string image = dir.Write("boot.iic", EndRecord());
  dialogs.answers = {image};
  ASSERT_TRUE(SelectImageFile(0));
  EXPECT_EQ(FileList[0], image);
  EXPECT_EQ(dialogs.requests[0].title, "Select Image File 0");
  EXPECT_EQ(dialogs.requests[0].filter,
            "Intel HEX Format Files|*.hex|Cypress IIC Files|*.iic|Motorola S-Record Files|*.s19;*.s28;*.s37;*.srec;"
            "*.mot|ELF Files|*.elf;*.axf|Binary Files|*.bin|All Files|*");
  EXPECT_EQ(dialogs.requests[0].filterIndex, 2);
  EXPECT_EQ(ErrorTitle, "Select Target Image");

  // The second-memory dialog starts where the image dialog ended, and converts at once.
  SecondaryName = "EEPROM";
  FlashMap.EESlotSize = 64;
  const std::string ee = dir.Write("cal.hex", DataRecord(60, {1, 2, 3, 4}) + EndRecord());
  dialogs.answers = {ee};
  ASSERT_TRUE(LoadEEFile(""));
  EXPECT_EQ(dialogs.requests[1].initialFolder, dir.path() + "/");
  EXPECT_EQ(dialogs.requests[1].title, "Load EEPROM Image");
  EXPECT_EQ(EEFileTitle, "cal.hex");
  EXPECT_EQ(EEBuffer[63], 4);
  EXPECT_EQ(EEBuffer[0], 0xFF);
  dialogs.answers = {""};   // a cancelled choice keeps the image converted before
  EXPECT_FALSE(LoadEEFile(""));
  EXPECT_EQ(LastErrorNumber, ErrDialogCancelled);
  EXPECT_EQ(EEBuffer[63], 4);
  EXPECT_EQ(EEFileTitle, "cal.hex");
  EXPECT_FALSE(LoadEEFile(dir.Write("big.hex", DataRecord(62, {1, 2, 3}) + EndRecord())));
  EXPECT_EQ(LastErrorText, "Address Out of Range in HEX File");

  dialogs.answers = {""};
  EXPECT_FALSE(SelectImageFile(1));
  EXPECT_EQ(LastErrorNumber, ErrDialogCancelled);
}

}  // namespace
