// The image directory: images, delete, reset-security.
#include "cli/CliCommandTable.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

#include "cli/CliJson.h"
#include "cli/CliSupport.h"
#include "operations/DeleteImage.h"
#include "operations/ImageDirectory.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"

namespace {

struct ImagesValues : CliCommonValues {
  int address = 0;
  bool json = false;
};

struct DeleteValues : CliCommonValues {
  int address = 0;
  int image = 0;
};

struct ResetSecurityValues : CliCommonValues {
  int address = 0;
  bool yes = false;   // the answer to its question, for scripts
};

}  // namespace

const CliOptionList& ImagesOptions() {
  static const CliOptionList list = {SharedCliOption("address", &ImagesValues::address),
                                     SharedCliOption("json", &ImagesValues::json)};
  return list;
}

const CliOptionList& DeleteOptions() {
  static const CliOptionList list = {SharedCliOption("address", &DeleteValues::address),
                                     SharedCliOption("image", &DeleteValues::image)};
  return list;
}

const CliOptionList& ResetSecurityOptions() {
  static const CliOptionList list = {
      SharedCliOption("address", &ResetSecurityValues::address),
      {"yes", nullptr, "the answer to the question, for scripts", ValueOf(&ResetSecurityValues::yes)},
  };
  return list;
}

int ImagesCommand(const ImagesValues& options) {
  const RunTimes times;
  const bool selected = SelectProgrammerAt(options.address);
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
bool ConfirmOnTerminal(const ResetSecurityValues& options, const std::string& question) {
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

int ResetSecurityCommand(const ResetSecurityValues& options) {
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
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

int DeleteCommand(const DeleteValues& options) {
  if (!SelectProgrammerAt(options.address)) return ExitFailed;
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

CliBody ImagesEntry() { return BodyOf<ImagesValues, ImagesCommand>(); }
CliBody DeleteEntry() { return BodyOf<DeleteValues, DeleteCommand>(); }
CliBody ResetSecurityEntry() { return BodyOf<ResetSecurityValues, ResetSecurityCommand>(); }
