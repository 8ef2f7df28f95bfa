// The automation window frmDDELink: loaded, it switches the automation
// interface on; unloaded, off. It is never shown.
#pragma once

#include <string>

class DdeLink {
 public:
  DdeLink();    // Form_Load
  ~DdeLink();   // Form_Unload

  // The one data item clients read: the reply to the last command.
  std::string DDEStatus;
};
