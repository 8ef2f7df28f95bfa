#include "platform/QtGuiPlatform.h"

#include "platform/AnsiText.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSoundEffect>
#include <QUrl>

int QtMessageBox::MsgBox(const std::string& text, int style, const std::string& title) {
  QMessageBox box(parent_);
  box.setWindowTitle(title.empty() ? QStringLiteral("Kestrin") : FromAnsi(title));
  QString body = FromAnsi(text);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  box.setText(body);
  switch (style & 0x70) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  if ((style & 0x7) == vbYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return vbOK;
}

QtSoundPlayer::QtSoundPlayer() = default;
QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::PlayAsync(const std::string& waveFile) {
  const QString path = QString::fromStdString(waveFile);
  if (!QFileInfo::exists(path)) return;   // no default sound in its place
  if (!effect_) effect_ = std::make_unique<QSoundEffect>();
  effect_->setSource(QUrl::fromLocalFile(path));
  effect_->play();   // returns at once; without an audio device nothing is heard
}

bool QtDocumentOpener::Open(const std::string& path) {
  const QString file = QString::fromStdString(path);
  if (!QFileInfo::exists(file)) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

bool QtFileDialogs::Show(const FileDialogRequest& request, std::string& chosen) {
  // "Name|*.ext|Other|*.oth" becomes Qt's "Name (*.ext);;Other (*.oth)".
  const QStringList parts = QString::fromStdString(request.filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) filters << parts[i] + " (" + parts[i + 1] + ")";
  QFileDialog dialog(parent_, QString::fromStdString(request.title));
  dialog.setNameFilters(filters);
  if (request.filterIndex >= 1 && request.filterIndex <= filters.size()) {
    dialog.selectNameFilter(filters[request.filterIndex - 1]);
  }
  dialog.setDirectory(QString::fromStdString(request.initialFolder));
  if (!request.initialName.empty() && request.initialName.find('*') == std::string::npos) {
    dialog.selectFile(QString::fromStdString(request.initialName));
  }
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
  return true;
}
