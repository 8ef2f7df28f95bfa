// A child window of the main window. The main window forwards its File,
// Image, Program and Configure menu commands to the active child's public
// method of the same name; a child overrides those that apply to it.
#pragma once

#include <QWidget>

class MdiChild : public QWidget {
  Q_OBJECT
 public:
  using QWidget::QWidget;

  virtual void mnuFileOpen() {}
  virtual void mnuFileProject() {}
  virtual void mnuFileClose() {}
  virtual void mnuImageNew() {}
  virtual void mnuImageRead() {}
  virtual void mnuProgramStart() {}
  virtual void mnuProgramVerify() {}
  virtual void mnuProgramCancel() {}
  virtual void mnuConfigSetDefaults() {}
  virtual void mnuConfigViewDefaults() {}
  virtual void mnuConfigSetATEOption(int option) {}
  virtual void mnuConfigViewATEOption(int option) {}
  virtual void mnuConfigSetAddress() {}

  // The window became, or stopped being, the active child.
  virtual void Form_Activate() {}
  virtual void Form_Deactivate() {}

  // The verdict tiles were shown or hidden, the session's counts reset, or
  // the chosen image or a slot's contents changed (a verdict may no longer
  // belong to the image shown).
  virtual void SessionChanged() {}
};
