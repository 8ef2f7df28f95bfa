#include "operations/DeleteImage.h"

#include <vector>

#include "link/Commands.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/RunLog.h"
#include "platform/NumberText.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"
#include "state/SlotContents.h"

bool DeleteImage(int imageNumber) {
  const LineOperation operation;
  if (!operation.Taken()) return RefuseBusyLine("Delete Image");
  SlotContentsChanged(CurrentAddress, imageNumber);
  ClearError();
  ErrorTitle = "Delete Image";
  RunLogScope log("delete", imageNumber);   // the slot as it was
  const std::vector<uint8_t> zeros(DirEntryBytes, 0);
  return WriteFlashVerified(DirectoryAddress + (imageNumber - 1) * DirEntryBytes, DirEntryBytes, zeros.data());
}

std::string DeleteImageQuestion(int imageNumber, const std::string& imageName) {
  return "Delete Image  " + Str(imageNumber) + ": " + imageName + "  from Programmer?";
}
