// The run log window: the latest records of the run log, newest first, a
// filter over every column, and an export of the rows shown.
#pragma once

#include <QStringList>
#include <vector>

#include "operations/RunLog.h"
#include "ui/MdiChild.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class MainFrame;

class RunLogWindow : public MdiChild {
  Q_OBJECT
 public:
  explicit RunLogWindow(MainFrame& main);   // the frame is not asked for anything yet

  // Reads the records again from the log's files.
  void btRefresh_Click();
  // Asks for a file and writes the rows shown into it as CSV.
  void btExport_Click();
  void txtFilter_Change();

  void mnuFileClose() override { parentWidget()->close(); }

  // Wide enough for the columns up to each run's result.
  QSize sizeHint() const override;

  // The records the filter lets through, newest first.
  std::vector<RunRecord> ShownRecords() const;

  QTableWidget* grid() const { return grid_; }
  QLineEdit* txtFilter() const { return txtFilter_; }
  QPushButton* btRefresh() const { return btRefresh_; }
  QPushButton* btExport() const { return btExport_; }
  QLabel* lblCount() const { return lblCount_; }

  // The most records the window reads.
  static constexpr size_t MaxRecords = 1000;

 private:
  QLineEdit* txtFilter_ = nullptr;
  QPushButton* btRefresh_ = nullptr;
  QPushButton* btExport_ = nullptr;
  QLabel* lblCount_ = nullptr;
  QTableWidget* grid_ = nullptr;
  std::vector<RunRecord> records_;
  QStringList rowTexts_;   // every column of a row, for the filter
};
