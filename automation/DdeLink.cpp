#include "automation/DdeLink.h"

#include "state/PublicVars.h"

DdeLink::DdeLink() {
  DdeEnabled = true;
  DDEStatus = "VRX DDE Enabled\r\n";
  ImageCountLimit = -1;
  ImageProtectFlag = false;
}

DdeLink::~DdeLink() { DdeEnabled = false; }
