// A verdict tile: a port's or a run's outcome in a word large enough to be
// read across the room, on green (pass), red (fail), amber (busy), violet
// (line lost) or grey (not enabled, not run, stopped, or an earlier image's
// run), with the status caption under it, the image it was run with, the
// run's number and time, and the session's counts.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <vector>

#include "operations/RunTally.h"

class QDateTime;
class QLabel;

class VerdictTile : public QFrame {
  Q_OBJECT
 public:
  enum class Look { Idle, Busy, Pass, Fail, Lost };
  // Stacked: the word above the lines; Wide: the word beside them.
  enum class Shape { Stacked, Wide };
  // The word's height is `wordScale` times the height of a line of label text.
  VerdictTile(const QString& title, Shape shape, double wordScale, QWidget* parent);

  // Grey, a dash and "No run yet": nothing has run since the tile was made.
  void Clear();
  void ShowPort(const UnitRun& run, int port);
  void ShowVerdict(const std::vector<UnitRun>& runs);
  void ShowUnit(const UnitRun& run);   // one unit among several, its failures named
  void SetRun(int number, const QDateTime& time);   // "Run 3 · 14:02:31"
  // "Image 2 · Sensor board": the slot and image name the run was started with.
  void SetImage(int slot, const QString& name);
  // The verdict shown belongs to an earlier image: grey, its word kept, the
  // detail saying so. Showing a verdict again takes it back.
  void MarkEarlier();
  bool Earlier() const { return earlier_; }
  // "Pass 3 · Fail 1 · Yield 75.0 %", after `prefix` when one is given; a
  // stacked tile puts the yield on a line of its own, so that growing counts
  // do not widen it.
  void SetCounts(const PassFail& counts, const QString& prefix = QString());

  Look look() const { return look_; }
  QString Title() const;
  QString Word() const;
  QString Detail() const;
  QString RunText() const;
  QString ImageText() const;
  QString CountsText() const;
  QLabel* WordLabel() const { return word_; }

  static QColor Background(Look look);
  static QColor Foreground(Look look);
  static Look LookOf(PortOutcome outcome);
  static Look LookOf(Verdict verdict);

 private:
  void Paint(Look look, const QString& word, const QString& detail);

  QLabel* title_;
  QLabel* image_;
  QLabel* word_;
  QLabel* detail_;
  QLabel* run_;
  QLabel* counts_;
  Shape shape_;
  Look look_ = Look::Idle;
  bool earlier_ = false;
  QFont wordFont_;   // the word's full size; a longer word is set smaller to keep the tile's width
};
