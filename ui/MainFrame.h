// What a child window asks of the main frame: besides what the operations
// show there, its menu entries and toolbar buttons, the programmer list, the
// dialogs of other subsystems, and the other children. Child windows hold
// this interface, never the main window itself.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "state/views/MainWindowView.h"

class MdiChild;
class RunTally;
struct ProgrammingOptionsSetup;
class QPoint;
class QWidget;

class MainFrame : public MainWindowView {
 public:
  // Menu entries by name ("mnuFileOpen") and toolbar buttons by key ("Program").
  virtual void EnableMenus(std::initializer_list<const char*> names, bool enabled) = 0;
  virtual void EnableButtons(std::initializer_list<const char*> keys, bool enabled) = 0;
  virtual void SetMenuVisible(const char* name, bool visible) = 0;
  // mnuImageAction, the pop-up menu of the image grid, at a screen position.
  virtual void PopupImageMenu(const QPoint& globalPosition) = 0;

  // lstAllProgs
  virtual int ProgrammerListCount() const = 0;
  virtual void SetProgrammerListEnabled(bool enabled) = 0;

  // The Load Image and Read Image dialogs, run modally over `parent`.
  virtual void RunLoadImageDialog(QWidget* parent) = 0;
  virtual void RunReadImageDialog(QWidget* parent) = 0;
  // The programming options window of the selected AVR, AVR32 or ARM device, run modally over `parent`.
  virtual void RunProgrammingOptions(QWidget* parent, const ProgrammingOptionsSetup& setup) = 0;
  // The option bits window of the selected device's family (Z8 Encore!, ZNEO or
  // ZLF645), run modally over `parent`; true when Accept wrote the bytes.
  virtual bool RunOptionBits(QWidget* parent) = 0;

  // The serialization dialog over `parent`, its memory captions for the family
  // and second-memory size; SerialEditable says whether it may change the record.
  virtual void RunSerialization(QWidget* parent, const std::string& family, int32_t eeSize) = 0;

  // frmSetAddress over `parent` for the selected programmer; after a move the
  // line is scanned again, which replaces the image manager.
  virtual void RunSetAddressDialog(QWidget* parent) = 0;
  // The image manager's grid selects the row of an image slot and runs its
  // click handling; nothing when the window is closed or has no such row.
  virtual void SelectImageRow(int row) = 0;

  // Locks (disables) or unlocks every child window but `except`.
  virtual void LockOtherChildren(MdiChild* except, bool locked) = 0;
  // A child window is going away.
  virtual void ChildClosed(MdiChild* child) = 0;

  // The operator's session: whether the verdict tiles are shown (View menu,
  // kept in the settings) and the pass and fail counts of its runs. A child
  // hears of a change through MdiChild::SessionChanged.
  virtual bool VerdictTilesShown() const = 0;
  virtual RunTally& SessionTally() = 0;
};
