#include "automation/DdeLink.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <vector>

#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "images/ImageSettings.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/LoadImage.h"
#include "operations/PortStatus.h"
#include "operations/ReadTarget.h"
#include "operations/RunLog.h"
#include "operations/RunState.h"
#include "operations/SaveImage.h"
#include "operations/Selection.h"
#include "operations/Serialize.h"
#include "options/FuseState.h"
#include "options/SerialNumbers.h"
#include "options/SerialState.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/SerialPort.h"
#include "programmers/Discovery.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/SlotContents.h"
#include "state/StateList.h"
#include "state/views/MainWindowView.h"

#define AUTOMATION_STATE(STATE)    \
  STATE(DdeEnabled, {false})       \
  STATE(ImageProtectFlag, {false}) \
  STATE(ImageCountLimit, {-1})

AUTOMATION_STATE(DEFINE_STATE)

namespace {

constexpr int32_t ErrNotConnected = 1600;
constexpr int32_t ErrUnrecognized = 1601;
constexpr int32_t ErrUnknownDevice = 1602;
constexpr int32_t ErrIllegalImage = 1603;
constexpr int32_t ErrPortAlreadyOpen = 1604;
constexpr int32_t ErrInvalidPort = 1605;
constexpr int32_t ErrTooFew = 1607;
constexpr int32_t ErrIllegalValue = 1608;

// The programmer sets the target supply in 20 mV steps, 255 at most.
constexpr double VoltStep = 0.02;
constexpr double HighestVolts = 255 * VoltStep;

// Commands answer only in their reply: message boxes the operations would
// show are swallowed while a command runs.
class SilentMessageBox : public MessageBoxes {
 public:
  int MsgBox(const std::string&, int style, const std::string&) override {
    return (style & 0x7) == vbYesNo ? vbYes : vbOK;
  }
};

bool Raise(int32_t number, const char* source, const char* text) {
  RaiseError(number, source, text);
  return true;   // raised here: captured by the caller
}

// Hexadecimal text as a 32-bit value: leading blanks skipped, digits up to
// the first other character; longer numbers keep their low 32 bits.
int32_t HexValue(const std::string& text) {
  uint32_t value = 0;
  size_t i = text.find_first_not_of(" \t");
  for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
  }
  return static_cast<int32_t>(value);
}
int32_t Number(const std::string& text) {
  const double v = Val(text);
  return std::isfinite(v) ? static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0)) : 0;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Volts as a plain decimal number ("3.3", "5", ".5"): no sign, exponent or
// hexadecimal, which Val would read as something else or as 0.
bool PlainVolts(const std::string& field, double& volts) {
  const std::string text = Trimmed(field);
  size_t digits = 0, points = 0;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) ++digits;
    else if (c == '.') ++points;
    else return false;
  }
  if (digits == 0 || points > 1 || digits > 12) return false;
  volts = Val(text);
  return true;
}

// The supply for a device: within its rating and what the programmer can set.
bool VoltageForDevice(const std::string& field, const DeviceRecord& device, uint8_t& voltage) {
  double volts = 0;
  if (!PlainVolts(field, volts)) return false;
  const double highest = std::min<double>(device.DevVMax, HighestVolts);
  if (volts < device.DevVMin - 1e-6 || volts > highest + 1e-6) return false;
  voltage = static_cast<uint8_t>(std::clamp<int64_t>(RoundHalfEven(volts / VoltStep), 0, 255));
  return true;
}

// A whole number within low..high; an empty field is 0, as it always was.
bool WholeWithin(const std::string& field, int32_t low, int32_t high, int32_t& value) {
  const std::string text = Trimmed(field);
  if (text.empty()) {
    value = 0;
    return low <= 0 && 0 <= high;
  }
  if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = static_cast<int32_t>(std::stol(text));
  return low <= value && value <= high;
}

}  // namespace

DdeLink::DdeLink() {
  DdeEnabled = true;
  DDEStatus = "VRX DDE Enabled\r\n";
  ImageCountLimit = -1;
  ImageProtectFlag = false;
}

DdeLink::~DdeLink() { DdeEnabled = false; }

const std::string& DdeLink::Execute(const std::string& commandString) {
  CancelRequest = false;
  // Field i is the text before the i-th "|"; the rest is the last field unless it is empty.
  std::vector<std::string> fields;
  for (size_t from = 0;;) {
    const size_t bar = commandString.find('|', from);
    if (bar == std::string::npos) {
      if (from < commandString.size()) fields.push_back(commandString.substr(from));
      break;
    }
    fields.push_back(commandString.substr(from, bar - from));
    from = bar + 1;
  }
  const bool tooMany = fields.size() > static_cast<size_t>(MaxFields);
  Params.fill("");
  NumParams = static_cast<int16_t>(std::min<size_t>(fields.size(), MaxFields));
  std::copy(fields.begin(), fields.begin() + NumParams, Params.begin());

  // The channel serves no request while another operation holds the line;
  // one that gets here all the same is refused, never interleaved, and the
  // error record stays that operation's.
  const LineOperation operation(LineUser::Automation);
  if (!operation.Taken()) {
    DDEStatus = Params[0] + "|" + Str(ErrLineBusy) + "|" + LineBusyText + "\r\n";
    return DDEStatus;
  }
  ClearError();
  SilentMessageBox silent;
  MessageBoxes* shown = MessageBox;
  MessageBox = &silent;
  std::string data;
  bool capture = true;
  if (tooMany) {
    RaiseError(ErrUnrecognized, "DDE Link", "Too Many Parameters");
  } else {
    const std::string& name = Params[0];
    if (name == "ImageInfo") {
      const int image = Number(Params[1]);
      if (image < 1 || image > 4) {
        RaiseError(ErrIllegalImage, "DDE Link - ImageInfo", "Illegal Image #");
      } else if (SelectedProgrammer == 0) {
        RaiseError(ErrNoneSelected, "DDE Link - ImageInfo", "No Programmer Selected");
      } else if (image < fgImages.Rows) {
        for (int c = 1; c < fgImages.Cols; ++c) data += fgImages.TextMatrix(image, c) + "|";
      }
    } else if (name == "PortStatus") {
      // A client acts on this reply alone: a final state is read again at
      // once and answered only when the two replies agree.
      PortStatusWatch watch;
      const bool read = ReadPortStatus(watch, StatusConfirm::AtOnce);   // else the failed GetStatus is the reply
      if (read && watch.AnyUnconfirmed()) {
        RaiseError(ErrReadVerify, "Get Status", "Read-Verify Error");
      } else if (read) {
        const bool busy = !watch.AllSettled();
        for (int port = 0; port < 4; ++port) {
          std::string caption;
          int64_t back = 0, fore = 0;
          bool failed = false;
          PortStatusText(watch.Code(port), caption, back, fore, failed);
          data += caption + "|";
        }
        data += busy ? "Active|" : "Complete|";
        if (!busy && startedRun_) {
          for (int port = 0; port < 4; ++port) {
            if (!(startedPorts_ & (1 << port))) continue;
            std::string caption;
            int64_t back = 0, fore = 0;
            bool failed = false;
            PortStatusText(watch.Code(port), caption, back, fore, failed);
            startedRun_->SetPort(port + 1, caption, watch.Code(port));
          }
          startedRun_->Write();
          startedRun_.reset();
        }
      }
    } else {
      capture = Dispatch();
    }
  }
  if (capture) CaptureError();
  MessageBox = shown;

  if (LastErrorNumber == 0) {
    DDEStatus = Params[0] + "|Success|" + data + "\r\n";
  } else {
    DDEStatus = Params[0] + "|" + Str(LastErrorNumber) + "|" + LastErrorText + "\r\n";
  }
  return DDEStatus;
}

bool DdeLink::Dispatch() {
  const std::string& name = Params[0];
  if (name == "CommSelect") {
    if (MSComm1->IsOpen()) return Raise(ErrPortAlreadyOpen, "DDE Link - Comm Select", "Comm Port is Already Open");
    if (!frmMain->SelectCommPortEntry(Number(Params[1]))) {
      return Raise(ErrInvalidPort, "DDE Link - Comm Select", "Invalid Comm Port Selection");
    }
    return true;
  }
  if (name == "FindProgrammers") {
    ScanProgrammers();
    return true;
  }
  if (name == "Select") {
    const int address = Number(Params[1]);
    for (int i = 1; i <= ProgCount; ++i) {
      if (ProgrammerTable[i].Address == address) {
        frmMain->SelectProgrammerItem(i);
        SelectProgrammer();
        return true;
      }
    }
    return Raise(ErrNotConnected, "DDE Link - Select", "Requested Programmer is Not Connected");
  }
  if (name == "SaveImage") {
    ImageNumber = Number(Params[1]);
    ImageChoiceChanged();
    return SaveImageToFile(Params[2]);
  }
  if (name == "LoadImage" || name == "ReadDevice") {
    const bool load = name == "LoadImage";
    if (!FindDeviceByName(Params[load ? 4 : 3])) {
      return Raise(ErrUnknownDevice, "DDE Link - Load Image", "Unrecognized Device");
    }
    const int image = Number(Params[1]);
    if (image < 1 || image > 4) return Raise(ErrIllegalImage, "DDE Link - LoadImage", "Illegal Image #");
    // Refused rather than brought into range: the slot would keep a setting nobody asked for.
    const char* source = load ? "DDE Link - LoadImage" : "DDE Link - ReadDevice";
    uint8_t voltage = 0;
    if (!VoltageForDevice(Params[load ? 5 : 4], DeviceTable[CurDevice], voltage)) {
      return Raise(ErrIllegalValue, source, "Illegal Voltage");
    }
    int32_t modeValue = 0, freqValue = 0;
    if (!WholeWithin(Params[load ? 6 : 5], 0, 255, modeValue)) return Raise(ErrIllegalValue, source, "Illegal Mode");
    if (!WholeWithin(Params[load ? 7 : 6], 0, 32767, freqValue)) {
      return Raise(ErrIllegalValue, source, "Illegal Frequency");
    }
    const auto mode = static_cast<int16_t>(modeValue);
    const auto freq = static_cast<int16_t>(freqValue);
    if (!load) {
      TargetReadSettings read;
      read.image = image;
      read.port = ReadPort;
      read.name = Params[2];
      read.secondName = Params[7];
      read.mode = mode;
      read.freq = freq;
      read.voltage = voltage;
      const bool done = ReadTargetIntoSlot(read);
      if (done) serializedForLoad_[image - 1] = false;
      RefreshImageDirectory();   // ImageInfo and SaveImage see the slot as it is now
      return done;
    }
    ImageLoadSettings settings;
    settings.image = image;
    settings.files = {Params[3]};
    settings.secondFile = Params[8];
    settings.secondName = Params[9];
    settings.keepSecondMemory = false;   // without a file the command loads no second memory
    const auto modeWord = static_cast<int16_t>(mode + (Params[8].empty() ? 0 : 2) + DeviceModeBits());
    settings.modeWord = [modeWord] { return modeWord; };
    settings.name = Params[2];
    settings.freq = freq;
    settings.voltage = voltage;
    settings.readProtect = ImageProtectFlag;
    settings.count = ImageCountLimit;
    // A record a Serialize command set for this slot stays; otherwise the
    // slot's record is turned off with the load, before the slot is usable.
    // The serialization settings stay what the commands set.
    settings.writeSerialization = !serializedForLoad_[image - 1];
    settings.serialRecord = SerialRecord{};
    const bool done = LoadImageFromFiles(settings);
    if (done) serializedForLoad_[image - 1] = false;
    RefreshImageDirectory();   // ImageInfo and SaveImage see the slot as it is now
    return done;
  }
  if (name == "Program" || name == "Verify") {
    uint8_t mask = 0;
    for (int port = 1; port <= 4; ++port) {
      if (Params[2].find(static_cast<char>('0' + port)) != std::string::npos) mask |= static_cast<uint8_t>(1 << (port - 1));
    }
    if (Params[3] == "CHK") mask |= 16;
    const int image = Number(Params[1]);
    // A record set before this run was meant for the image it runs.
    if (image >= 1 && image <= 4) serializedForLoad_[image - 1] = false;
    startedRun_ = std::make_unique<RunLogEntry>(name == "Program" ? "program" : "verify", image);
    startedPorts_ = mask & 0x0F;
    bool started = false;
    if (name == "Program" && SecurityDamaged) {
      RefuseRunOnDamagedBlock("DDE Link - Program");
    } else if (PortsEnable(mask)) {
      if (name == "Program") started = Program(image);
      else started = Verify(image);
    }
    if (!started) {   // a refused start is logged at once, with its error
      startedRun_->Write();
      startedRun_.reset();
    }
    return true;
  }
  if (name == "AVRFuses") {
    FuseValues.fill(0);
    if (NumParams - 1 < 4) return Raise(ErrTooFew, "DDE Link - AVRFuses", "Too few parameters");
    for (int i = 0; i < 4; ++i) FuseValues[i] = static_cast<uint8_t>(HexValue(Params[1 + i]));
    return true;
  }
  if (name == "OscCal") {
    if (NumParams - 1 < 2) return Raise(ErrTooFew, "DDE Link - OscCal", "Too few parameters");
    OsccalOpt = static_cast<uint8_t>(Number(Params[1]));
    OsccalAddress = HexValue(Params[2]);
    return true;
  }
  if (name == "ImageProtect") {
    if (NumParams - 1 < 2) return Raise(ErrTooFew, "DDE Link - ImageProtect", "Too few parameters");
    if (Number(Params[1]) == 1) ImageProtectFlag = true;
    const int32_t count = Number(Params[2]);
    ImageCountLimit = count > 0 ? count : -1;
    return true;
  }
  if (name == "Serialize") {
    if (!SerialSupported) return Raise(ErrUnrecognized, "DDE Link - Serialize", "Not Supported");
    if (NumParams - 1 < 5) return Raise(ErrTooFew, "DDE Link - Serialize", "Too few parameters");
    const int image = Number(Params[1]);
    if (image < 1 || image > 4) return Raise(ErrIllegalImage, "DDE Link - LoadImage", "Illegal Image #");
    SerialAddress = HexValue(Params[4]);
    SerialFormat = static_cast<uint8_t>(Number(Params[3]));
    SerialMemory = static_cast<uint8_t>(Number(Params[2]));
    SerialNumber = SerialFromText(Params[5], 16);
    serializedForLoad_[image - 1] = WriteSerializationSettings(image - 1);
    return true;
  }
  return Raise(ErrUnrecognized, "DDE Link", "Unrecognized Command");
}

void ResetAutomationState() { AUTOMATION_STATE(RESET_STATE) }
