// Stand-ins for the windows in fuzz targets: no boxes, no main window.
#pragma once

#include <string>

#include "platform/MessageBox.h"
#include "state/views/MainWindowView.h"

class SilentMessageBox : public MessageBoxes {
 public:
  int MsgBox(const std::string&, int, const std::string&) override { return vbOK; }
};

class NullMainWindow : public MainWindowView {
 public:
  void SetEnabled(bool) override {}
  void SetProgressVisible(bool) override {}
  void SetProgressValue(int) override {}
  void SetStatusPanel(const std::string&, const std::string&) override {}
  void ClearProgrammerList() override {}
  void AddProgrammerItem(const std::string&, const std::string&, const std::string&) override {}
  void SelectProgrammerItem(int) override {}
  int SelectedProgrammerItem() override { return 0; }
  void SetPortListEnabled(bool) override {}
  int SelectedCommPort() override { return 1; }
  bool SelectCommPortEntry(int port) override { return port == 1; }
  void SetArrayProgrammingEnabled(bool) override {}
  void SetConfigMenuEnabled(bool) override {}
  void CloseImageManager() override {}
  void ShowImageManager() override {}
};
