#include "tests/support/ProgramState.h"

#include "automation/DdeLink.h"
#include "devices/DeviceState.h"
#include "devices/ImageState.h"
#include "images/Loaders.h"
#include "images/ProjectState.h"
#include "link/Frame.h"
#include "link/LineState.h"
#include "operations/RunLog.h"
#include "operations/RunState.h"
#include "options/FuseDefinitions.h"
#include "options/FuseState.h"
#include "options/SerialState.h"
#include "programmers/SecurityBlock.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/LineGuard.h"

void ResetProgramState() {
  ResetBindings();
  ResetLineState();
  ResetReceiveState();
  ResetErrorState();
  ResetUnitState();
  ResetSecurityBlockState();
  ResetDeviceState();
  ResetImageState();
  ResetLoaderState();
  ResetProjectState();
  ResetFuseState();
  ResetFuseReaderState();
  ResetSerialState();
  ResetRunState();
  ResetRunLogState();
  ResetAutomationState();
  ResetLineGuard();
}
