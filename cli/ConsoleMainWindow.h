// The main window as the command line shows it: status texts and progress go
// to standard error when asked for, the chosen port comes from the options.
#pragma once

#include <string>

#include "state/views/MainWindowView.h"

class ConsoleMainWindow : public MainWindowView {
 public:
  ConsoleMainWindow(int commPort, bool verbose) : commPort_(commPort), verbose_(verbose) {}

  void SetEnabled(bool enabled) override {}
  void SetProgressVisible(bool visible) override;
  void SetProgressValue(int percent) override;
  void SetStatusPanel(const std::string& key, const std::string& text) override;
  void ClearProgrammerList() override {}
  void AddProgrammerItem(const std::string& key, const std::string& text, const std::string& image) override {}
  void SelectProgrammerItem(int index) override { selectedItem_ = index; }
  int SelectedProgrammerItem() override { return selectedItem_; }
  void SetConfigMenuEnabled(bool enabled) override {}
  void SetPortListEnabled(bool enabled) override {}
  int SelectedCommPort() override { return commPort_; }
  bool SelectCommPortEntry(int port) override {
    commPort_ = port;
    return port >= 1 && port <= 16;
  }
  void SetArrayProgrammingEnabled(bool enabled) override {}
  void CloseImageManager() override {}
  void ShowImageManager() override {}

  const std::string& StatusText() const { return status_; }

 private:
  int commPort_;
  int selectedItem_ = 0;
  bool verbose_;
  bool progressVisible_ = false;
  int progress_ = -1;
  std::string status_;
};
