#include "platform/QtGuiPlatform.h"

#include "platform/AnsiText.h"

#include <algorithm>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSoundEffect>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QUrl>

namespace {

// A box that names no icon takes the one its kind implies: a question asks,
// a box titled as an error or a warning says so, any other informs.
QMessageBox::Icon ImpliedIcon(int style, const QString& title) {
  switch (style & 0x70) {
    case vbCritical: return QMessageBox::Critical;
    case vbQuestion: return QMessageBox::Question;
    case vbExclamation: return QMessageBox::Warning;
    case vbInformation: return QMessageBox::Information;
    default: break;
  }
  if ((style & 0x7) == vbYesNo) return QMessageBox::Question;
  static const struct {
    const char* word;
    QMessageBox::Icon icon;
  } byTitle[] = {{"Error", QMessageBox::Critical}, {"Warning", QMessageBox::Warning}};
  for (const auto& entry : byTitle) {
    if (title.contains(QLatin1String(entry.word), Qt::CaseInsensitive)) return entry.icon;
  }
  return QMessageBox::Information;
}

// Window managers cut a title that is wider than its window; the box is made
// at least as wide as its title in the title bar's (often bold) font, with
// room for the window's buttons.
void FitTitle(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
  titleFont.setBold(true);
  const QFontMetrics metrics(titleFont);
  int width = metrics.horizontalAdvance(box.windowTitle()) + 5 * metrics.height();
  // Never wider than the screen: a title that long is cut either way.
  if (const QScreen* screen = box.screen()) width = std::min(width, screen->availableGeometry().width() * 9 / 10);
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                grid->columnCount());
}

int ShowBox(QWidget* parent, const std::string& text, int style, const std::string& title, QMessageBox::Icon icon) {
  QMessageBox box(parent);
  box.setWindowTitle(title.empty() ? QStringLiteral("Kestrin") : FromAnsi(title));
  QString body = FromAnsi(text);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  box.setText(body);
  box.setIcon(icon);
  if ((style & 0x7) == vbYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    if (style & vbDefaultButton2) box.setDefaultButton(QMessageBox::No);
    FitTitle(box);
    return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  FitTitle(box);
  box.exec();
  return vbOK;
}

}  // namespace

int QtMessageBox::MsgBox(const std::string& text, int style, const std::string& title) {
  return ShowBox(parent_, text, style, title, ImpliedIcon(style, FromAnsi(title)));
}

int QtMessageBox::ErrorReport(const std::string& text, const std::string& title) {
  return ShowBox(parent_, text, vbOKOnly, title, QMessageBox::Critical);
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

namespace {
// xdg-open starts, and so "succeeds", even when no program takes the file;
// asking xdg-mime first tells whether anything would show it. Without
// xdg-mime the opener's own answer stands.
bool ViewerKnownFor(const QString& file) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdgMime.isEmpty()) return true;
  QProcess query;
  query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("filetype"), file});
  if (!query.waitForFinished(3000)) {
    query.kill();
    query.waitForFinished(1000);
    return true;
  }
  const QString type = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
  if (type.isEmpty()) return true;
  query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type});
  if (!query.waitForFinished(3000)) {
    query.kill();
    query.waitForFinished(1000);
    return true;
  }
  return !query.readAllStandardOutput().trimmed().isEmpty();
#else
  Q_UNUSED(file);
  return true;
#endif
}
}  // namespace

bool QtDocumentOpener::Open(const std::string& path) {
  const QString file = QString::fromStdString(path);
  if (!QFileInfo::exists(file)) return false;
  if (!ViewerKnownFor(file)) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

bool QtFileDialogs::Show(const FileDialogRequest& request, std::string& chosen) {
  // "Name|*.ext|Other|*.oth" becomes Qt's "Name (*.ext);;Other (*.oth)".
  const QStringList parts = QString::fromStdString(request.filter).split('|');
  QStringList filters;
  // Patterns listed as "*.s19;*.srec" are Qt's "*.s19 *.srec".
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    filters << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  }
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

bool QtFileDialogs::AskText(const std::string& title, const std::string& prompt, const std::string& initial,
                            std::string& answer) {
  bool accepted = false;
  const QString text = QInputDialog::getText(parent_, QString::fromStdString(title), QString::fromStdString(prompt),
                                             QLineEdit::Normal, QString::fromStdString(initial), &accepted);
  if (!accepted) return false;
  answer = text.trimmed().toStdString();
  return true;
}
