#include "operations/ui/RunLogWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <string_view>

#include "operations/RunLog.h"
#include "platform/AnsiText.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBox.h"
#include "state/Bindings.h"
#include "ui/MainFrame.h"

namespace {

const char* const Captions[] = {"Time (UTC)", "Station", "Line", "Address", "Programmer", "Firmware",
                                "Slot", "Image", "Device", "Checksum", "Operation", "Port",
                                "Result", "Code", "Serial", "Duration (ms)", "Error", "Error Report"};

// The error report's lines on one line of the grid.
QString OneLine(const std::string& text) {
  QString line = FromAnsi(text);
  line.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
  line.replace(QLatin1Char('\n'), QStringLiteral(" / "));
  return line;
}

}  // namespace

RunLogWindow::RunLogWindow(MainFrame&) {
  setWindowTitle(tr("Run Log"));
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  auto* filterLabel = new QLabel(tr("&Filter:"), this);
  txtFilter_ = new QLineEdit(this);
  txtFilter_->setObjectName(QStringLiteral("txtFilter"));
  txtFilter_->setPlaceholderText(tr("text in any column"));
  txtFilter_->setClearButtonEnabled(true);
  filterLabel->setBuddy(txtFilter_);
  btRefresh_ = new QPushButton(tr("&Refresh"), this);
  btRefresh_->setObjectName(QStringLiteral("btRefresh"));
  btExport_ = new QPushButton(tr("&Export..."), this);
  btExport_->setObjectName(QStringLiteral("btExport"));
  lblCount_ = new QLabel(this);
  bar->addWidget(filterLabel);
  bar->addWidget(txtFilter_, 1);
  bar->addWidget(lblCount_);
  bar->addWidget(btRefresh_);
  bar->addWidget(btExport_);
  layout->addLayout(bar);

  grid_ = new QTableWidget(this);
  grid_->setObjectName(QStringLiteral("fgRuns"));
  grid_->setColumnCount(static_cast<int>(std::size(Captions)));
  QStringList headers;
  for (const char* caption : Captions) headers << tr(caption);
  grid_->setHorizontalHeaderLabels(headers);
  grid_->verticalHeader()->hide();
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setWordWrap(false);
  grid_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(grid_, 1);

  connect(btRefresh_, &QPushButton::clicked, this, &RunLogWindow::btRefresh_Click);
  connect(btExport_, &QPushButton::clicked, this, &RunLogWindow::btExport_Click);
  connect(txtFilter_, &QLineEdit::textChanged, this, &RunLogWindow::txtFilter_Change);
  resize(900, 420);
  btRefresh_Click();
}

QSize RunLogWindow::sizeHint() const {
  const QHeaderView* header = grid_->horizontalHeader();
  const int result = static_cast<int>(std::find(std::begin(Captions), std::end(Captions), std::string_view("Result")) -
                                      std::begin(Captions));
  const QMargins margins = layout()->contentsMargins();
  const int width = header->sectionPosition(result) + header->sectionSize(result) + 2 * grid_->frameWidth() +
                    grid_->verticalScrollBar()->sizeHint().width() + margins.left() + margins.right();
  return QSize(std::max(width, MdiChild::sizeHint().width()), std::max(420, MdiChild::sizeHint().height()));
}

void RunLogWindow::btRefresh_Click() {
  records_ = RunLogFolder.empty() ? std::vector<RunRecord>()
                                  : LatestRunRecords(RunLogFolder, MaxRecords, std::chrono::system_clock::now());
  grid_->setRowCount(0);
  grid_->setRowCount(static_cast<int>(records_.size()));
  rowTexts_.clear();
  for (int row = 0; row < static_cast<int>(records_.size()); ++row) {
    const RunRecord& record = records_[static_cast<size_t>(row)];
    const std::vector<std::string> fields = RunRecordFields(record);
    QStringList texts;
    for (int col = 0; col < static_cast<int>(fields.size()); ++col) {
      const QString text = OneLine(fields[static_cast<size_t>(col)]);
      auto* item = new QTableWidgetItem(text);
      if (col == 17) item->setToolTip(FromAnsi(fields[static_cast<size_t>(col)]));
      grid_->setItem(row, col, item);
      texts << text;
    }
    rowTexts_ << texts.join(QLatin1Char('\t'));
  }
  grid_->resizeColumnsToContents();
  txtFilter_Change();
}

void RunLogWindow::txtFilter_Change() {
  const QString filter = txtFilter_->text().trimmed();
  int shown = 0;
  for (int row = 0; row < rowTexts_.size(); ++row) {
    const bool match = filter.isEmpty() || rowTexts_[row].contains(filter, Qt::CaseInsensitive);
    grid_->setRowHidden(row, !match);
    shown += match ? 1 : 0;
  }
  lblCount_->setText(tr("%1 of %2").arg(shown).arg(rowTexts_.size()));
  btExport_->setEnabled(shown > 0);
}

std::vector<RunRecord> RunLogWindow::ShownRecords() const {
  std::vector<RunRecord> shown;
  for (int row = 0; row < static_cast<int>(records_.size()); ++row) {
    if (!grid_->isRowHidden(row)) shown.push_back(records_[static_cast<size_t>(row)]);
  }
  return shown;
}

void RunLogWindow::btExport_Click() {
  if (!FileDial1) return;
  FileDialogRequest request;
  request.save = true;
  request.mustExist = false;
  request.title = "Export Run Log";
  request.filter = "CSV Files|*.csv";
  request.initialName = "runs.csv";
  request.defaultExtension = "csv";
  std::string path;
  if (!FileDial1->Show(request, path)) return;
  std::string reason;
  if (!ExportRunRecords(path, ShownRecords(), reason) && MessageBox) {
    MessageBox->MsgBox("Run log not exported: " + reason, vbOKOnly, "Kestrin - Export Run Log");
  }
}
