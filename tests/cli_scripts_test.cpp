// kestrin-cli as scripts use it: JSON documents, exit codes, the offline
// device list and conversion; and every program's --version.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/Crc16.h"
#include "tests/support/HexText.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimProcess.h"

namespace {

using Result = ProcessResult;

std::string ReadFile(const std::string& path) { return ReadWholeFile(path); }

// The whole standard output as one JSON object; an empty object when it is not one.
QJsonObject Json(const Result& r) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << r.out;
  EXPECT_TRUE(document.isObject()) << r.out;
  return document.object();
}

// Start and end are UTC ISO 8601 times, in order, the duration their difference.
void ExpectTimes(const QJsonObject& document) {
  const QDateTime start = QDateTime::fromString(document["start"].toString(), Qt::ISODateWithMs);
  const QDateTime end = QDateTime::fromString(document["end"].toString(), Qt::ISODateWithMs);
  ASSERT_TRUE(start.isValid()) << document["start"].toString().toStdString();
  ASSERT_TRUE(end.isValid());
  EXPECT_TRUE(document["start"].toString().endsWith('Z'));
  EXPECT_LE(start, end);
  EXPECT_EQ(start.msecsTo(end), document["durationMs"].toInteger());
}

class CliScriptsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrin-cliscripts-XXXXXX";
    dir = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);   // no settings of the user's
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  Result RunProgram(const std::string& program, const std::vector<std::string>& args) {
    return RunProcess(program, args, dir);
  }
  Result Run(const std::vector<std::string>& args) { return RunProgram(KESTRIN_CLI_PATH, args); }

  std::string dir;
};

TEST_F(CliScriptsTest, EveryProgramPrintsItsNameAndTheProjectVersion) {
  const std::pair<const char*, const char*> programs[] = {{KESTRIN_PATH, "kestrin"},
                                                          {KESTRIN_CLI_PATH, "kestrin-cli"},
                                                          {KESTRIN_DDE_PATH, "kestrin-dde"},
                                                          {VRX_SIM_PATH, "vrx-sim"},
                                                          {KESTRIN_REX_PATH, "kestrin-rex"}};
  for (const auto& [path, name] : programs) {
    const Result r = RunProgram(path, {"--version"});
    EXPECT_EQ(r.status, 0) << name << r.err;
    EXPECT_EQ(r.out, std::string(name) + " " + KESTRIN_VERSION_TEXT + "\n") << name;
  }
}

TEST_F(CliScriptsTest, ProgramJsonCarriesEveryPortAndExitsOneWhenATargetFails) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=1,name=Board,device=9,family=0", "--target", "port=2,result=19,program=4"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"program", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--ports", "1,2,4",
                  "--json"});
  EXPECT_EQ(r.status, 1) << r.err;
  const QJsonObject document = Json(r);
  EXPECT_EQ(document["command"].toString(), "program");
  EXPECT_EQ(document["exitCode"].toInt(), 1);
  EXPECT_FALSE(document["ok"].toBool());
  EXPECT_EQ(document["address"].toInt(), 2);
  EXPECT_EQ(document["image"].toInt(), 1);
  EXPECT_EQ(document["slot"].toObject()["cells"].toObject()["Device Type"].toString(), "ATmega328P");
  EXPECT_EQ(document["slot"].toObject()["crc"].toString().size(), 4);
  ExpectTimes(document);
  struct PortCase {
    bool enabled;
    const char* status;
    int code;
    const char* result;
  };
  const PortCase expected[] = {{true, "Done", 0, "passed"},
                               {true, "Device ID Failed", 19, "failed"},
                               {false, "- Disabled -", 5, "not run"},
                               {true, "Done", 0, "passed"}};
  const QJsonArray ports = document["ports"].toArray();
  ASSERT_EQ(ports.size(), 4);
  for (int i = 0; i < 4; ++i) {
    const QJsonObject port = ports[i].toObject();
    EXPECT_EQ(port["port"].toInt(), i + 1);
    EXPECT_EQ(port["enabled"].toBool(), expected[i].enabled) << i;
    EXPECT_EQ(port["status"].toString().toStdString(), expected[i].status) << i;
    EXPECT_EQ(port["code"].toInt(), expected[i].code) << i;
    EXPECT_EQ(port["result"].toString().toStdString(), expected[i].result) << i;
  }
  EXPECT_EQ(document["passed"].toInt(), 2);
  EXPECT_EQ(document["failed"].toInt(), 1);
  EXPECT_EQ(document["notRun"].toInt(), 1);

  // Text mode ends with the summary; a clean run exits 0.
  r = Run({"program", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--ports", "1,4"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nprogram: address 2 image 1: 2 passed, 0 failed, 2 not run ("), std::string::npos) << r.out;
  EXPECT_EQ(r.out.back(), '\n');
  EXPECT_NE(r.out.find(" s)\n"), std::string::npos) << r.out;
}

TEST_F(CliScriptsTest, ArrayJsonCarriesEveryUnitsPorts) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "address=2,slot=1,name=A,device=9,family=0", "--programmer",
                  "address=4,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "address=4,slot=3,name=B,device=9,family=0", "--target", "address=4,port=2,result=18"});
  ASSERT_TRUE(sim.ready());
  const Result r = Run({"array", "--device", sim.linkPath(), "--run", "2:1:1,3", "--run", "4:3", "--json"});
  EXPECT_EQ(r.status, 1) << r.err;
  const QJsonObject document = Json(r);
  EXPECT_EQ(document["command"].toString(), "array");
  ExpectTimes(document);
  const QJsonArray units = document["units"].toArray();
  ASSERT_EQ(units.size(), 2);
  const QJsonObject first = units[0].toObject(), second = units[1].toObject();
  EXPECT_EQ(first["address"].toInt(), 2);
  EXPECT_EQ(first["outcome"].toString(), "done");
  EXPECT_EQ(second["address"].toInt(), 4);
  EXPECT_EQ(second["image"].toInt(), 3);
  EXPECT_EQ(second["outcome"].toString(), "port failed");
  const QJsonObject failedPort = second["ports"].toArray()[1].toObject();
  EXPECT_EQ(failedPort["status"].toString(), "Verify Failed");
  EXPECT_EQ(failedPort["code"].toInt(), 18);
  EXPECT_EQ(failedPort["result"].toString(), "failed");
  EXPECT_EQ(first["ports"].toArray()[0].toObject()["result"].toString(), "passed");
  EXPECT_EQ(first["ports"].toArray()[1].toObject()["enabled"].toBool(), false);
  EXPECT_EQ(document["failed"].toInt(), 1);
  EXPECT_EQ(document["passed"].toInt(), 5);   // ports 1, 3 of unit 2 and 1, 3, 4 of unit 4
}

TEST_F(CliScriptsTest, ExitCodesTellTargetLineAndUsageApart) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=1,name=Board,device=9,family=0"});
  ASSERT_TRUE(sim.ready());
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {{"program", "--address", "5", "--image", "1"}, 3, "1508"},   // nobody answers at 5
      {{"array", "--run", "5:1"}, 3, "no programmer answers at address 5"},
      {{"program", "--address", "2", "--image", "3"}, 3, "holds no image"},
      {{"program", "--address", "2", "--image", "1", "--frobnicate"}, 2, "see 'kestrin-cli program --help'"},
      {{"program", "--address", "2"}, 2, "see 'kestrin-cli program --help'"},
      {{"fwrev", "--address", "2", "--json"}, 2, "--json goes with"},
      {{"devices", "--type", "99"}, 2, "--type takes a programmer type code"},
      {{"convert", "--file", "x.hex"}, 2, "convert needs --device-type NAME"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 1, {"--device", sim.linkPath()});
    const Result r = Run(args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (c.status == 2) { EXPECT_EQ(r.err.find("Usage:"), std::string::npos) << r.err; }   // not the whole help
  }

  // The JSON form of a failure is still one document, with the error record.
  const Result r = Run({"images", "--device", sim.linkPath(), "--address", "5", "--json"});
  EXPECT_EQ(r.status, 3);
  const QJsonObject document = Json(r);
  EXPECT_EQ(document["exitCode"].toInt(), 3);
  EXPECT_EQ(document["error"].toObject()["number"].toInt(), 1508);
  EXPECT_TRUE(document["slots"].toArray().isEmpty());
}

TEST_F(CliScriptsTest, ScanAndImagesJson) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=2,name=Board,device=9,family=0"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"scan", "--device", sim.linkPath(), "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  QJsonObject document = Json(r);
  ExpectTimes(document);
  const QJsonArray programmers = document["programmers"].toArray();
  ASSERT_EQ(programmers.size(), 1);
  EXPECT_EQ(programmers[0].toObject()["address"].toInt(), 2);
  EXPECT_EQ(programmers[0].toObject()["baud"].toInt(), 115200);
  EXPECT_EQ(programmers[0].toObject()["firmware"].toString(), "3.010");
  EXPECT_EQ(programmers[0].toObject()["slotSize"].toInt(), 262144);

  r = Run({"images", "--device", sim.linkPath(), "--address", "2", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  document = Json(r);
  const QJsonArray slotList = document["slots"].toArray();
  ASSERT_EQ(slotList.size(), 4);
  EXPECT_TRUE(slotList[0].toObject()["empty"].toBool());
  const QJsonObject held = slotList[1].toObject();
  EXPECT_FALSE(held["empty"].toBool());
  EXPECT_EQ(held["slot"].toInt(), 2);
  EXPECT_EQ(held["cells"].toObject()["Image Name"].toString().trimmed(), "Board");
  EXPECT_GT(held["size"].toInt(), 0);
}

TEST_F(CliScriptsTest, DevicesListsTheDatabaseFilteredByTypeAndFamily) {
  Result r = Run({"devices", "--type", "6", "--family", "atmega"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n6\tATmega\tATmega328P\t32768\t"), std::string::npos) << r.out;
  int lines = 0;
  size_t start = r.out.find('\n') + 1;   // after the heading
  while (start < r.out.size()) {
    const size_t end = r.out.find('\n', start);
    EXPECT_EQ(r.out.compare(start, 9, "6\tATmega\t"), 0) << r.out.substr(start, end - start);
    ++lines;
    start = end + 1;
  }
  EXPECT_GT(lines, 1);

  r = Run({"devices", "--type", "9", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const QJsonObject document = Json(r);
  EXPECT_EQ(document["database"].toString(), "device.inf");
  const QJsonArray devices = document["devices"].toArray();
  ASSERT_FALSE(devices.isEmpty());
  bool largest = false;
  for (const QJsonValue& d : devices) {
    EXPECT_EQ(d.toObject()["type"].toInt(), 9);
    largest |= d.toObject()["device"].toString() == "STM32F103ZG" && d.toObject()["flashSize"].toInt() == 1048576;
  }
  EXPECT_TRUE(largest);

  // Without --type every programmer type's devices are there.
  r = Run({"devices"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n9\tSTM32F1\tSTM32F103ZG\t"), std::string::npos);
  EXPECT_NE(r.out.find("\n6\tATmega\tATmega328P\t"), std::string::npos);
}

// What convert prints equals what a load of the same files over the line
// reports, and the slot then holds exactly the converted image.
TEST_F(CliScriptsTest, ConvertChecksumsEqualWhatTheLoadReports) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const std::string first = dir + "/code.hex", second = dir + "/table.hex", out = dir + "/image.bin";
  std::ofstream(first) << DataRecord(0, {0x0C, 0x94, 0x34, 0x00}) + DataRecord(0x7FF0, {0x55, 0xAA}) + EndRecord();
  std::ofstream(second) << DataRecord(0x200, {1, 2, 3, 4, 5, 6, 7, 8}) + EndRecord();

  // Names differ only in case from the database's "ATmega328P".
  Result converted = Run({"convert", "--device-type", "atmega328p", "--file", first, "--file", second, "--out", out});
  ASSERT_EQ(converted.status, 0) << converted.err;
  Result loaded = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", "3", "--device-type",
                       "ATMEGA328P", "--file", first, "--file", second});
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  auto checksums = [](const std::string& text) { return text.substr(text.find("  File Checksum")); };
  EXPECT_EQ(checksums(converted.out), checksums(loaded.out));
  EXPECT_EQ(converted.out.find("ATmega328P (ATmega, programmer type 6)\n"), 0u) << converted.out;

  // The written image: the whole flash, blank where no file sets a byte.
  const std::string image = ReadFile(out);
  ASSERT_EQ(image.size(), 32768u);
  EXPECT_EQ(image.substr(0, 4), std::string("\x0C\x94\x34\x00", 4));
  EXPECT_EQ(static_cast<uint8_t>(image[4]), 0xFF);
  EXPECT_EQ(image.substr(0x200, 3), std::string("\x01\x02\x03", 3));

  // The slot holds the same bytes: its size and the CRC the programmer took.
  const Result images = Run({"images", "--device", sim.linkPath(), "--address", "2", "--json"});
  ASSERT_EQ(images.status, 0) << images.err;
  const QJsonObject slot = Json(images)["slots"].toArray()[2].toObject();
  EXPECT_EQ(slot["size"].toInt(), 32768);
  const uint16_t crc = vrxsim::Crc16(reinterpret_cast<const uint8_t*>(image.data()), image.size());
  char expected[8];
  std::snprintf(expected, sizeof expected, "%02X%02X", crc & 0xFF, crc >> 8);
  EXPECT_EQ(slot["crc"].toString().toStdString(), expected);

  // JSON form: the same sums.
  const Result json = Run({"convert", "--device-type", "ATmega328P", "--type", "6", "--file", first, "--file", second,
                           "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const QJsonObject document = Json(json);
  EXPECT_NE(loaded.out.find("File Checksum = " + document["fileChecksum"].toString().toStdString() + "\n"),
            std::string::npos);
  EXPECT_NE(loaded.out.find("Entire Image Checksum = " + document["entireImageChecksum"].toString().toStdString()),
            std::string::npos);
}

// PSoC images carry their configuration and extended areas into the entire sum.
TEST_F(CliScriptsTest, ConvertMatchesTheLoadOfAPSoCImage) {
  SimProcess sim({"--programmer", "address=2,type=1,fw=3.010,slots=4,slotsize=512,baud=115200"});
  ASSERT_TRUE(sim.ready());
  const std::string hex = dir + "/psoc.hex";
  std::ofstream(hex) << DataRecord(0, {1, 2, 3, 4}) + DataRecord(0x1FF0, {0x40, 0x41}) + EndRecord();
  const Result converted = Run({"convert", "--device-type", "cy8c20134", "--type", "1", "--file", hex});
  ASSERT_EQ(converted.status, 0) << converted.err;
  const Result loaded = Run({"load", "--device", sim.linkPath(), "--address", "2", "--image", "1", "--device-type",
                             "CY8C20134", "--file", hex});
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  ASSERT_NE(loaded.out.find("  File Checksum"), std::string::npos) << loaded.out;
  EXPECT_EQ(converted.out.substr(converted.out.find("  File Checksum")),
            loaded.out.substr(loaded.out.find("  File Checksum")));
}

// An STM32 build addressed from the flash base 0x08000000 (as its toolchain
// writes it) lands at the flash start: the image srec_cat makes when told to
// move the file down by the base, blank bytes filled with the device's
// erased value, and the same sums as the same data addressed from 0.
TEST_F(CliScriptsTest, ConvertPlacesAnStm32BuildAtTheFlashStartAsSrecCatDoes) {
  // About 64 KiB of firmware-like bytes in two runs with a gap between them,
  // 16-byte records, an extended linear address record per 64 KiB.
  std::vector<uint8_t> data(0x10400);
  uint32_t seed = 0x5EED;
  for (uint8_t& b : data) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  auto hex = [&data](uint32_t base) {
    std::string text;
    uint32_t upper = 0xFFFFFFFF;
    for (size_t i = 0; i < data.size(); i += 16) {
      if (i >= 0x8000 && i < 0x9000) continue;   // the gap stays blank
      const uint32_t at = base + static_cast<uint32_t>(i);
      if (at >> 16 != upper) {
        upper = at >> 16;
        text += LinearRecord(static_cast<uint16_t>(upper));
      }
      text += DataRecord(static_cast<uint16_t>(at), std::vector<uint8_t>(data.begin() + i, data.begin() + i + 16));
    }
    return text + EndRecord();
  };
  const std::string atBase = dir + "/stm32.hex", atZero = dir + "/zero.hex";
  std::ofstream(atBase) << hex(0x08000000);
  std::ofstream(atZero) << hex(0);

  // STM32F103CB: 128 KiB of flash, erased value 0xFF.
  const Result converted = Run({"convert", "--device-type", "STM32F103CB", "--file", atBase, "--out", dir + "/kestrin.bin"});
  ASSERT_EQ(converted.status, 0) << converted.err;
  const Result reference = RunProgram("srec_cat", {atBase, "-Intel", "-offset", "-0x08000000", "-fill", "0xFF", "0",
                                                   "0x20000", "-o", dir + "/srec.bin", "-Binary"});
  ASSERT_EQ(reference.status, 0) << "srec_cat (Debian package srecord) is needed: " << reference.err;
  const std::string image = ReadFile(dir + "/kestrin.bin");
  ASSERT_EQ(image.size(), 0x20000u);
  EXPECT_TRUE(image == ReadFile(dir + "/srec.bin"));
  EXPECT_EQ(image.substr(0, 16), std::string(data.begin(), data.begin() + 16));
  EXPECT_EQ(image.substr(0x8000, 0x1000), std::string(0x1000, '\xFF'));

  const Result fromZero = Run({"convert", "--device-type", "STM32F103CB", "--file", atZero, "--out", dir + "/zero.bin"});
  ASSERT_EQ(fromZero.status, 0) << fromZero.err;
  EXPECT_TRUE(ReadFile(dir + "/zero.bin") == image);
  EXPECT_EQ(fromZero.out, converted.out);   // device line, File Checksum, Entire Image Checksum
  EXPECT_NE(converted.out.find("  File Checksum = "), std::string::npos) << converted.out;

  // One byte past the base plus the flash size is still refused, and nothing is written.
  std::ofstream(dir + "/past.hex") << LinearRecord(0x0802) + DataRecord(0, {1}) + EndRecord();
  std::ofstream(dir + "/past.bin") << "previous";
  const Result past =
      Run({"convert", "--device-type", "STM32F103CB", "--file", dir + "/past.hex", "--out", dir + "/past.bin"});
  EXPECT_EQ(past.status, 3);
  EXPECT_NE(past.err.find("Address Out of Range"), std::string::npos) << past.err;
  EXPECT_EQ(ReadFile(dir + "/past.bin"), "previous");
}

TEST_F(CliScriptsTest, ConvertRefusesBadInputAndLeavesTheOutputUntouched) {
  const std::string good = dir + "/good.hex", bad = dir + "/bad.hex", outside = dir + "/outside.hex";
  const std::string out = dir + "/image.bin";
  std::ofstream(good) << DataRecord(0, {1, 2}) + EndRecord();
  std::ofstream(bad) << ":020000000102FC\r\n" + EndRecord();                    // checksum FB is right
  std::ofstream(outside) << DataRecord(0x8000, {1}) + EndRecord();              // past 32 KiB
  std::ofstream(out) << "previous";
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {{"--device-type", "ATmega328P", "--file", bad}, 3, "Checksum"},
      {{"--device-type", "ATmega328P", "--file", outside}, 3, "Address Out of Range"},
      {{"--device-type", "ATmega328P", "--file", dir + "/missing.hex"}, 3, "missing.hex"},
      {{"--device-type", "NoSuchPart", "--file", good}, 3, "NoSuchPart"},
      {{"--device-type", "ATmega328P", "--type", "9", "--file", good}, 3, "programmer type 9"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"convert", "--out", out};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(out), "previous");
  }
}

// kestrin-cli converts by itself what it can and hands the rest to
// kestrin-cli-qt; either way a command line must give what kestrin-cli-qt
// gives: the same lines, exit status and output file.
TEST_F(CliScriptsTest, ConvertSaysAndWritesWhatTheWholeProgramDoes) {
  const std::string whole = std::filesystem::path(KESTRIN_CLI_PATH).parent_path() / "kestrin-cli-qt";
  const std::string a = dir + "/a.hex", b = dir + "/b.hex", bad = dir + "/bad.hex", out = dir + "/image.bin";
  std::ofstream(a) << LinearRecord(0) + DataRecord(0x10, {1, 2, 3, 4}) + DataRecord(0x7FF0, {9}) + EndRecord();
  std::ofstream(b) << DataRecord(0x12, {0xAA, 0xBB}) + EndRecord();
  std::ofstream(bad) << ":020000000102FC\r\n" + EndRecord();
  const std::vector<std::vector<std::string>> lines{
      {"convert", "--device-type", "ATmega328P", "--file", a, "--out", out},
      {"--file", a, "--file", b, "convert", "--out", out, "--device-type", "atmega328p"},
      {"convert", "--device-type", "ATmega328P", "--type", "6", "--firmware", "2.0", "--file", a},
      {"convert", "--device-type", "ATmega328P", "--file", a, "--out", out, "--json"},
      {"convert", "--device-type", "ATmega328P", "--file", bad, "--out", out},
      {"convert", "--device-type", "ATmega328P", "--file", dir + "/missing.hex", "--out", out},
      {"convert", "--device-type", "ATmega328P", "--type", "40", "--file", a},
      {"convert", "--device-type", "NoSuchPart", "--type", "6", "--file", a},
      {"convert", "--device-type", "ATmega328P", "--file"},
      {"convert", "--device-type", "ATmega328P", "--file", a, "--out", dir},
      {"convert", "--device-type", "ATmega328P", "--data-dir", dir, "--file", a},
      {"convert", "--file", a},
  };
  for (const std::vector<std::string>& args : lines) {
    std::string joined;
    for (const std::string& arg : args) joined += " " + arg;
    std::ofstream(out) << "previous";
    const Result front = Run(args);
    const std::string frontImage = ReadFile(out);
    std::ofstream(out) << "previous";
    const Result expected = RunProgram(whole, args);
    EXPECT_EQ(front.status, expected.status) << joined;
    EXPECT_EQ(front.out, expected.out) << joined;
    EXPECT_EQ(front.err, expected.err) << joined;
    EXPECT_EQ(frontImage, ReadFile(out)) << joined;
  }
  // The first line converted and wrote the whole flash.
  std::ofstream(out) << "previous";
  ASSERT_EQ(Run(lines[0]).status, 0);
  const std::string image = ReadFile(out);
  ASSERT_EQ(image.size(), 32768u);
  EXPECT_EQ(image.substr(0x10, 4), std::string("\x01\x02\x03\x04"));
  EXPECT_EQ(static_cast<uint8_t>(image[0x7FF0]), 9);
}

TEST_F(CliScriptsTest, FusesFindsTheDeviceTypeInAnyCase) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
  ASSERT_TRUE(sim.ready());
  Result r = Run({"fuses", "--device", sim.linkPath(), "--address", "2", "--device-type", "atmega328P"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Result exact = Run({"fuses", "--device", sim.linkPath(), "--address", "2", "--device-type", "ATmega328P"});
  EXPECT_EQ(r.out, exact.out);
  r = Run({"fuses", "--device", sim.linkPath(), "--address", "2", "--device-type", "ATmega328P", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const QJsonObject document = Json(r);
  EXPECT_EQ(document["device"].toString(), "ATmega328P");
  EXPECT_FALSE(document["bytes"].toArray().isEmpty());
}

TEST_F(CliScriptsTest, DdeClientSaysWhenNothingListens) {
  const std::string runtime = dir + "/runtime";
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const Result r = RunProgram(KESTRIN_DDE_PATH, {"--name", "nobody-here", "[FwRev]"});
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Kestrin is not running, or its automation interface \"nobody-here\" is off"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("QLocalSocket"), std::string::npos) << r.err;
}

}  // namespace
