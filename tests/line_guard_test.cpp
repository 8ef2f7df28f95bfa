// One operation on the line at a time: code the holder calls may take the
// line again, but whatever an event inside one of its waits tries to start is
// refused, sends nothing, and leaves the holder's exchange intact.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "automation/DdeLink.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "operations/DeleteImage.h"
#include "operations/LoadImage.h"
#include "operations/Selection.h"
#include "programmers/Discovery.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

class LineGuardTest : public ::testing::Test {
 protected:
  LineGuardTest() { ConnectSimLine(platform.port, line); }
  ~LineGuardTest() override {
    for (int id : observers) RemoveLineObserver(id);
  }

  void AddUnitWithImageInSlot2() {
    vrxsim::UnitConfig c;
    c.address = 2;
    c.type = 6;
    c.fwMajor = 3;
    c.fwMinor = 10;
    vrxsim::StoredImage image;
    image.slot = 2;
    image.name = "Keep";
    c.images.push_back(image);
    line.addUnit(c);
  }

  FakePlatform platform;
  vrxsim::Line line;
  std::vector<int> observers;
};

TEST_F(LineGuardTest, NestedCallsShareTheLineAndObserversHearOnlyTheOutermost) {
  std::vector<bool> heard;
  observers.push_back(AddLineObserver([&](bool busy) { heard.push_back(busy); }));
  EXPECT_FALSE(LineBusy());
  {
    const LineOperation outer(LineUser::Automation);
    ASSERT_TRUE(outer.Taken());
    {
      const LineOperation inner;   // called by the holder itself
      EXPECT_TRUE(inner.Taken());
      EXPECT_EQ(LineHolder(), LineUser::Automation);
    }
    EXPECT_TRUE(LineBusy());
  }
  EXPECT_FALSE(LineBusy());
  EXPECT_EQ(heard, (std::vector<bool>{true, false}));
}

TEST_F(LineGuardTest, NothingStartsFromAnEventInsideAWait) {
  AddUnitWithImageInSlot2();
  ASSERT_TRUE(AcquireProgrammerAt(2));
  SelectProgrammer();
  ASSERT_EQ(LastErrorNumber, 0);
  DdeLink automation;
  TempDir files;
  const std::string hex = files.Write("a.hex", ":020000000102FB\r\n:00000001FF\r\n");

  struct Attempt {
    const char* name;
    std::function<bool()> start;   // true when it reported its refusal
  };
  const std::vector<Attempt> attempts = {
      {"LineOperation", [] { return !LineOperation().Taken(); }},
      {"FwRev", [] { std::string revision; return !FwRev(revision); }},
      {"DeleteImage", [] { return !DeleteImage(2) && LastErrorNumber == ErrLineBusy; }},
      {"LoadImageFromFiles",
       [&] {
         ImageLoadSettings settings;
         settings.image = 2;
         settings.files = {hex};
         return !LoadImageFromFiles(settings) && LastErrorNumber == ErrLineBusy;
       }},
      {"automation Select", [&] { return automation.Execute("Select|2").rfind("Select| 1514|", 0) == 0; }},
  };

  for (const Attempt& attempt : attempts) {
    SCOPED_TRACE(attempt.name);
    bool tried = false, refused = false;
    size_t writesBefore = 0, writesAfter = 0;
    platform.events.OnTurn = [&] {
      if (tried) return;
      tried = true;
      writesBefore = platform.port.writes.size();
      refused = attempt.start();
      writesAfter = platform.port.writes.size();
    };
    std::vector<uint8_t> entry(32, 0);
    const bool read = ReadFlash(0x60, 32, entry.data(), false);   // slot 2's directory entry
    platform.events.OnTurn = nullptr;
    EXPECT_TRUE(tried);
    EXPECT_TRUE(refused);
    EXPECT_EQ(writesAfter, writesBefore);   // not one frame went out
    EXPECT_TRUE(read);
    EXPECT_EQ(LastErrorNumber, 0);   // the refusal left the reader's record alone
    EXPECT_EQ(std::string(entry.begin() + 8, entry.begin() + 12), "Keep");
    EXPECT_FALSE(LineBusy());
  }
  // The slot kept its image through every attempt.
  ClearError();
  std::vector<uint8_t> entry(32, 0);
  ASSERT_TRUE(ReadFlash(0x60, 32, entry.data(), false));
  EXPECT_EQ(std::string(entry.begin() + 8, entry.begin() + 12), "Keep");
}

}  // namespace
