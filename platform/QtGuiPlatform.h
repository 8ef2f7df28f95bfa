// The platform pieces that need the windowing system: message boxes, sound
// and the document opener.
#pragma once

#include <QObject>
#include <memory>

#include "platform/DocumentOpener.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBox.h"
#include "platform/SoundPlayer.h"

class QWidget;
class QSoundEffect;

class QtMessageBox : public MessageBoxes {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  int MsgBox(const std::string& text, int style, const std::string& title) override;
  // Shown with the critical icon.
  int ErrorReport(const std::string& text, const std::string& title) override;

 private:
  QWidget* parent_;
};

class QtSoundPlayer : public SoundPlayer {
 public:
  QtSoundPlayer();
  ~QtSoundPlayer() override;
  void PlayAsync(const std::string& waveFile) override;

 private:
  std::unique_ptr<QSoundEffect> effect_;
};

class QtDocumentOpener : public DocumentOpener {
 public:
  bool Open(const std::string& path) override;
};

class QtFileDialogs : public FileDialogs {
 public:
  explicit QtFileDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  bool Show(const FileDialogRequest& request, std::string& chosen) override;
  bool AskText(const std::string& title, const std::string& prompt, const std::string& initial,
               std::string& answer) override;

 private:
  QWidget* parent_;
};
