#include "platform/QtGuiPlatform.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QSoundEffect>
#include <QUrl>

namespace {
QString FromAnsi(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<int>(text.size())); }
}  // namespace

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
