#include "ui/VerdictTile.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/AnsiText.h"

namespace {
const QString Dot = QStringLiteral(" \u00B7 ");

QLabel* Line(QWidget* parent, const char* name, bool bold, double scale) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignCenter);
  QFont font = label->font();
  font.setBold(bold);
  if (scale != 1.0) font.setPointSizeF(font.pointSizeF() * scale);
  label->setFont(font);
  return label;
}
}  // namespace

VerdictTile::VerdictTile(const QString& title, Shape shape, double wordScale, QWidget* parent)
    : QFrame(parent), shape_(shape) {
  setFrameShape(QFrame::Box);
  setLineWidth(1);
  setAutoFillBackground(true);
  title_ = Line(this, "Title", true, 1.0);
  title_->setText(title);
  image_ = Line(this, "Image", false, 1.0);
  // Never widens the tile: a long name is cut, its whole text in the tool tip.
  image_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  image_->hide();
  word_ = Line(this, "Word", true, 1.0);
  // Sized from the label text so that it grows with the screen's scaling.
  const int lineHeight = QFontMetrics(font()).height();
  QFont big = word_->font();
  big.setPixelSize(std::max(12, static_cast<int>(std::lround(lineHeight * wordScale))));
  word_->setFont(big);
  wordFont_ = big;
  const QFontMetrics bigMetrics(big);
  word_->setMinimumWidth(bigMetrics.horizontalAdvance(QStringLiteral("BUSY")) + 8);
  detail_ = Line(this, "Detail", true, 1.15);
  detail_->setWordWrap(true);
  run_ = Line(this, "Run", false, 1.0);
  counts_ = Line(this, "Counts", false, 1.0);
  // Room for counts in the thousands, so that the tile keeps its width as they grow.
  const QString widest = shape == Shape::Stacked ? QStringLiteral("Pass 0000 \u00B7 Fail 0000")
                                                 : QStringLiteral("Pass 0000 \u00B7 Fail 0000 \u00B7 Yield 100.0 %");
  counts_->setMinimumWidth(counts_->fontMetrics().horizontalAdvance(widest));

  if (shape == Shape::Stacked) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(1);
    for (QLabel* l : {title_, image_, word_, detail_, run_, counts_}) layout->addWidget(l);
  } else {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(0);
    for (QLabel* l : {title_, image_, detail_, run_, counts_}) {
      l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      lines->addWidget(l);
    }
    layout->addWidget(word_);
    layout->addLayout(lines, 1);
  }
  Clear();
}

QColor VerdictTile::Background(Look look) {
  switch (look) {
    case Look::Pass: return QColor(0x1B, 0x7F, 0x2A);
    case Look::Fail: return QColor(0xC6, 0x28, 0x28);
    case Look::Busy: return QColor(0xFF, 0xB3, 0x00);
    case Look::Lost: return QColor(0x5E, 0x35, 0xB1);
    case Look::Idle: break;
  }
  return QColor(0xB0, 0xB0, 0xB0);
}

QColor VerdictTile::Foreground(Look look) {
  switch (look) {
    case Look::Pass:
    case Look::Fail:
    case Look::Lost: return QColor(Qt::white);
    case Look::Busy: return QColor(Qt::black);
    case Look::Idle: break;
  }
  return QColor(0x30, 0x30, 0x30);
}

VerdictTile::Look VerdictTile::LookOf(PortOutcome outcome) {
  switch (outcome) {
    case PortOutcome::Busy: return Look::Busy;
    case PortOutcome::Passed: return Look::Pass;
    case PortOutcome::Failed: return Look::Fail;
    case PortOutcome::LineLost: return Look::Lost;
    case PortOutcome::Idle:
    case PortOutcome::Stopped:
    case PortOutcome::NotRun: break;
  }
  return Look::Idle;
}

VerdictTile::Look VerdictTile::LookOf(Verdict verdict) {
  switch (verdict) {
    case Verdict::Busy: return Look::Busy;
    case Verdict::Pass: return Look::Pass;
    case Verdict::Fail: return Look::Fail;
    case Verdict::LineLost: return Look::Lost;
    case Verdict::None:
    case Verdict::Stopped:
    case Verdict::NotRun: break;
  }
  return Look::Idle;
}

void VerdictTile::Paint(Look look, const QString& word, const QString& detail) {
  look_ = look;
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Background(look));
  palette.setColor(QPalette::WindowText, Foreground(look));
  setPalette(palette);
  earlier_ = false;
  // A word longer than "BUSY" ("LINE LOST") is set smaller rather than widening the tile.
  QFont font = wordFont_;
  const int room = word_->minimumWidth() - 8;
  const int wide = QFontMetrics(font).horizontalAdvance(word);
  if (wide > room && room > 0) {
    font.setPixelSize(std::max(12, static_cast<int>(font.pixelSize() * static_cast<double>(room) / wide)));
  }
  word_->setFont(font);
  word_->setText(word);
  detail_->setText(detail);
}

void VerdictTile::MarkEarlier() {
  if (earlier_) return;
  const QString word = word_->text();
  const QString detail = tr("Earlier run") + QStringLiteral(": ") + detail_->text();
  Paint(Look::Idle, word, detail);
  earlier_ = true;
}

void VerdictTile::SetImage(int slot, const QString& name) {
  const QString text = name.isEmpty() ? tr("Image %1").arg(slot) : tr("Image %1").arg(slot) + Dot + name;
  image_->setText(text);
  image_->setToolTip(text);
  image_->show();
}

void VerdictTile::Clear() {
  Paint(Look::Idle, QStringLiteral("\u2014"), tr("No run yet"));
  run_->clear();
  image_->clear();
  image_->hide();
}

void VerdictTile::ShowPort(const UnitRun& run, int port) {
  const PortOutcome outcome = OutcomeOf(run, port);
  Paint(LookOf(outcome), QString::fromLatin1(VerdictWord(outcome)), FromAnsi(OutcomeDetail(run, port)));
}

void VerdictTile::ShowVerdict(const std::vector<UnitRun>& runs) {
  const Verdict verdict = VerdictOf(runs);
  Paint(LookOf(verdict), QString::fromLatin1(VerdictWord(verdict)), FromAnsi(VerdictDetail(runs)));
}

void VerdictTile::ShowUnit(const UnitRun& run) {
  const Verdict verdict = VerdictOf(run);
  Paint(LookOf(verdict), QString::fromLatin1(VerdictWord(verdict)), FromAnsi(UnitDetail(run)));
}

void VerdictTile::SetRun(int number, const QDateTime& time) {
  run_->setText(tr("Run %1").arg(number) + Dot + time.toString(QStringLiteral("HH:mm:ss")));
}

void VerdictTile::SetCounts(const PassFail& counts, const QString& prefix) {
  const QString passFail = tr("Pass %1").arg(counts.passes) + Dot + tr("Fail %1").arg(counts.fails);
  const QString yield = tr("Yield %1").arg(QString::fromStdString(YieldText(counts)));
  const QString text = passFail + (shape_ == Shape::Stacked ? QStringLiteral("\n") : Dot) + yield;
  counts_->setText(prefix.isEmpty() ? text : prefix + QStringLiteral(": ") + text);
}

QString VerdictTile::Title() const { return title_->text(); }
QString VerdictTile::Word() const { return word_->text(); }
QString VerdictTile::Detail() const { return detail_->text(); }
QString VerdictTile::RunText() const { return run_->text(); }
QString VerdictTile::ImageText() const { return image_->text(); }
QString VerdictTile::CountsText() const { return counts_->text(); }
