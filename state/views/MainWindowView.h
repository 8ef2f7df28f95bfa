// What operations show in the main window and read from it. The windowed
// program binds its frame window; the command line and tests bind their own.
#pragma once

#include <string>

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;

  // The whole window, disabled during long operations.
  virtual void SetEnabled(bool enabled) = 0;

  // pbProgress
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressValue(int percent) = 0;
  // Status bar panels keyed "Status", "ExtStatus1" and "ExtStatus2".
  virtual void SetStatusPanel(const std::string& key, const std::string& text) = 0;

  // lstAllProgs: the programmers found on the line.
  virtual void ClearProgrammerList() = 0;
  virtual void AddProgrammerItem(const std::string& key, const std::string& text,
                                 const std::string& image) = 0;
  virtual void SelectProgrammerItem(int index) = 0;   // 1-based, as ProgrammerTable
  virtual int SelectedProgrammerItem() = 0;           // 0 when none

  // lstComm: the serial port list.
  virtual void SetPortListEnabled(bool enabled) = 0;
  virtual int SelectedCommPort() = 0;
  // Selects the port list entry of a port number; false when none has it.
  virtual bool SelectCommPortEntry(int port) = 0;

  // mnuViewMultiMan and the toolbar button "ArrayMan".
  virtual void SetArrayProgrammingEnabled(bool enabled) = 0;

  // mnuConfig: the Configure menu.
  virtual void SetConfigMenuEnabled(bool enabled) = 0;

  // frmImageMan
  virtual void CloseImageManager() = 0;
  virtual void ShowImageManager() = 0;

  // The chosen image or a slot's contents changed (SlotContents): the
  // windows showing verdicts look again whether theirs still belong.
  virtual void ImagesChanged() {}
  // The line to the programmers: why it is lost, "" while it works.
  virtual void ShowLineState(const std::string& lostText) {}
};
