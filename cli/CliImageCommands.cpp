// The image directory: images, delete, reset-security.
#include "cli/CliCommandTable.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "cli/CliDeviceOptions.h"
#include "cli/CliJson.h"
#include "cli/CliSerialOptions.h"
#include "cli/ConsoleArrayView.h"
#include "cli/ConsoleProgramManager.h"
#include "devices/DeviceDatabase.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/ImageSettings.h"
#include "images/ProjectFile.h"
#include "images/ProjectState.h"
#include "link/CommDefs.h"
#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ArrayRun.h"
#include "operations/Configure.h"
#include "operations/DeleteImage.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/ImageDirectory.h"
#include "operations/LoadImage.h"
#include "operations/PortStatus.h"
#include "operations/ProgramRun.h"
#include "operations/ReadTarget.h"
#include "operations/SaveImage.h"
#include "operations/Selection.h"
#include "platform/InputFile.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/OutputFile.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "programmers/Discovery.h"
#include "programmers/FirmwareArea.h"
#include "programmers/ProgrammerTypes.h"
#include "programmers/RevisionTables.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "cli/CliSupport.h"

const CliOptionList& ImagesOptions() {
  static const CliOptionList list = {SharedCliOption("address"), SharedCliOption("json")};
  return list;
}

const CliOptionList& DeleteOptions() {
  static const CliOptionList list = {SharedCliOption("address"), SharedCliOption("image")};
  return list;
}

const CliOptionList& ResetSecurityOptions() {
  static const CliOptionList list = {
      SharedCliOption("address"),
      {"yes", nullptr, "the answer to the question, for scripts", SwitchOf(&CliOptions::yes)},
  };
  return list;
}

int ImagesCommand(const CliOptions& options) {
  const RunTimes times;
  const bool selected = SelectProgrammerAt(options);
  if (options.json) {
    QJsonObject document;
    document["command"] = "images";
    document["address"] = options.address;
    QJsonArray slotList;
    if (selected) {
      ProgrammerJson(document);
      document["securityDamaged"] = SecurityDamaged;
      document["firmwareIncomplete"] = FirmwareIncomplete;   // as selection found it
      for (int slot = 1; slot <= SlotCount(); ++slot) slotList.append(SlotJson(slot));
    }
    document["slots"] = slotList;
    document["error"] = JsonLastError();
    times.Stamp(document);
    return PrintJsonDocument(document, selected ? ExitOk : ExitFailed);
  }
  if (!selected) return ExitFailed;
  for (int row = 0; row < fgImages.Rows; ++row) {
    std::string line;
    for (int col = 0; col < fgImages.Cols; ++col) line += (col ? "\t" : "") + ListedCell(fgImages.TextMatrix(row, col));
    std::printf("%s\n", line.c_str());
  }
  return ExitOk;
}

namespace {

// Yes from --yes, or from the operator at a terminal; no terminal and no
// --yes is a refusal.
bool ConfirmOnTerminal(const CliOptions& options, const std::string& question) {
  if (options.yes) return true;
  if (!isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "kestrin-cli: %s needs a terminal to ask, or --yes\n", options.command.c_str());
    return false;
  }
  std::string text = question;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n")) text.replace(at, 2, "\n");
  std::fprintf(stderr, "%s\n%s [y/N] ", ResetSecurityTitle, text.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

}  // namespace

int ResetSecurityCommand(const CliOptions& options) {
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (!SecurityDamaged) {
    std::fprintf(stderr, "kestrin-cli: the security block of the programmer at address %d is intact; nothing to reset\n",
                 options.address);
    return ExitFailed;
  }
  if (!ConfirmOnTerminal(options, ResetSecurityQuestion())) return ExitFailed;
  if (!ResetSecurityBlock()) {
    ReportLastError();
    return ExitFailed;
  }
  std::printf("Security Block Reset\n");
  return ExitOk;
}

int DeleteCommand(const CliOptions& options) {
  if (!SelectProgrammerAt(options)) return ExitFailed;
  if (options.image > SlotCount()) {
    std::fprintf(stderr, "kestrin-cli: the programmer at address %d has no image slot %d\n", options.address,
                 options.image);
    return ExitFailed;
  }
  if (!DeleteImage(options.image)) {
    ReportLastError();
    return ExitFailed;
  }
  return ExitOk;
}

