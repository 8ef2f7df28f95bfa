#include "operations/ui/ImageManagerWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "images/ProjectState.h"
#include "link/Transport.h"
#include "operations/ImageDirectory.h"
#include "operations/Selection.h"
#include "platform/AnsiText.h"
#include "platform/SerialPort.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/LineGuard.h"
#include "state/ProgramFiles.h"
#include "state/SlotContents.h"
#include "ui/MainFrame.h"

ImageManagerWindow::ImageManagerWindow(MainFrame& main) : main_(main) {
  setObjectName(QStringLiteral("frmImageMan"));
  setWindowTitle(tr("Image Manager"));
  auto* layout = new QVBoxLayout(this);

  frmPgmrList_ = new QGroupBox(tr("Programmer"), this);
  frmPgmrList_->setObjectName(QStringLiteral("frmPgmrList"));
  auto* programmer = new QHBoxLayout(frmPgmrList_);
  picFamily_ = new QLabel(frmPgmrList_);
  picFamily_->setObjectName(QStringLiteral("picFamily"));
  picFamily_->setFixedSize(52, 52);
  lblAddress_ = new QLabel(tr("<address>"), frmPgmrList_);
  lblAddress_->setObjectName(QStringLiteral("lblAddress"));
  lblProgType_ = new QLabel(tr("<model>"), frmPgmrList_);
  lblProgType_->setObjectName(QStringLiteral("lblProgType"));
  lblFWRev_ = new QLabel(tr("<FW Rev>"), frmPgmrList_);
  lblFWRev_->setObjectName(QStringLiteral("lblFWRev"));
  programmer->addWidget(picFamily_);
  programmer->addWidget(lblAddress_);
  programmer->addWidget(lblProgType_);
  programmer->addWidget(lblFWRev_);
  programmer->addStretch(1);
  layout->addWidget(frmPgmrList_);

  frmImages_ = new QGroupBox(tr("Images Stored on This Programmer"), this);
  frmImages_->setObjectName(QStringLiteral("frmImages"));
  auto* images = new QVBoxLayout(frmImages_);
  grid_ = new QTableWidget(frmImages_);
  grid_->setObjectName(QStringLiteral("fgImages"));
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->verticalHeader()->hide();
  grid_->horizontalHeader()->setStretchLastSection(true);
  grid_->setContextMenuPolicy(Qt::CustomContextMenu);
  lblOffline_ = new QLabel(frmImages_);
  lblOffline_->setObjectName(QStringLiteral("lblOffline"));
  lblOffline_->setWordWrap(true);
  lblOffline_->setStyleSheet(QStringLiteral("QLabel { color: #b00020; font-weight: bold; }"));
  lblOffline_->hide();
  images->addWidget(lblOffline_);
  // Tab leaves the grid for the next control, and the grid asks for room for
  // all its rows and columns when the window is first sized.
  grid_->setTabKeyNavigation(false);
  grid_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  images->addWidget(grid_);
  layout->addWidget(frmImages_, 1);

  connect(grid_, &QTableWidget::cellClicked, this, [this](int row, int) { fgImages_Click(row + 1); });
  connect(grid_, &QTableWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (QTableWidgetItem* item = grid_->itemAt(at)) fgImages_Click(item->row() + 1);
    main_.PopupImageMenu(grid_->viewport()->mapToGlobal(at));
  });

  frmImageMan = this;
  ImageManOpen = true;
  resize(760, 300);
}

ImageManagerWindow::~ImageManagerWindow() {
  if (frmImageMan == this) frmImageMan = nullptr;
}

void ImageManagerWindow::Form_Load() {
  lblFWRev_->hide();
  lblProgType_->hide();
  lblAddress_->hide();
  frmPgmrList_->hide();
  SelectAgain();
}

void ImageManagerWindow::SelectAgain() {
  ++busy_;
  SelectProgrammer();
  --busy_;
  if (closeRequested_ && busy_ == 0) QTimer::singleShot(0, this, [this] { parentWidget()->close(); });
}

void ImageManagerWindow::Form_Activate() {
  active_ = true;
  if (main_.ProgrammerListCount() >= 1 && busy_ == 0) SelectAgain();
  EnableImageItems(true);
  main_.EnableButtons({"Open", "Project"}, true);
  main_.EnableButtons({"ImageMan"}, false);
  fgImages_Click(fgImages.Row);
}

void ImageManagerWindow::Form_Deactivate() {
  active_ = false;
  EnableImageItems(false);
  main_.EnableButtons({"Open", "Project", "Delete", "Program"}, false);
  main_.EnableButtons({"ImageMan"}, true);
}

void ImageManagerWindow::EnableImageItems(bool enabled) {
  main_.EnableMenus({"mnuImage", "mnuImageNew", "mnuImageRead", "mnuImageDelete", "mnuImageUpload",
                     "mnuImageSerialization", "mnuFileOpen", "mnuFileProject", "mnuFileClose", "mnuViewProgMan",
                     "mnuConfigSetAddress"},
                    enabled);
}

void ImageManagerWindow::closeEvent(QCloseEvent* event) {
  if (busy_ > 0) {   // closed from inside its own selection: close once that is done
    closeRequested_ = true;
    event->ignore();
    return;
  }
  ImageManOpen = false;
  Form_Deactivate();
  MSComm1->Close();
  main_.SetPortListEnabled(true);
  frmImageMan = nullptr;
  main_.ChildClosed(this);
  event->accept();
}

void ImageManagerWindow::mnuFileClose() { parentWidget()->close(); }

void ImageManagerWindow::mnuFileOpen() {
  OpenProjectRequest = false;
  mnuImageNew();
}

void ImageManagerWindow::mnuFileProject() {
  OpenProjectRequest = true;
  mnuImageNew();
}

// The dialog is the operation: the line stays taken while it is open, so
// nothing else changes the programmer or the device lists under it.
void ImageManagerWindow::mnuImageRead() {
  const LineOperation operation;
  if (!operation.Taken()) return;
  main_.RunReadImageDialog(this);
  ShowImageDirectory();
}

// The dialog holds the line like the other dialogs; a move ends with a new
// scan, which closes this window: nothing here may run after it.
void ImageManagerWindow::mnuConfigSetAddress() {
  const LineOperation operation;
  if (!operation.Taken()) return;
  main_.RunSetAddressDialog(this);
}

void ImageManagerWindow::mnuImageNew() {
  const LineOperation operation;
  if (!operation.Taken()) return;
  main_.RunLoadImageDialog(this);
  ShowImageDirectory();
}

void ImageManagerWindow::SetProgrammerPicture(const std::string& key) {
  picFamily_->setPixmap(QPixmap(QString::fromStdString(ProgramFile("\\prog_" + key + ".png"))));
}

void ImageManagerWindow::SetProgrammerLabels(const std::string& address, const std::string& progType,
                                             const std::string& fwRevision) {
  lblAddress_->setText(FromAnsi(address));
  lblProgType_->setText(FromAnsi(progType));
  lblFWRev_->setText(FromAnsi(fwRevision));
  for (QWidget* w : {static_cast<QWidget*>(lblAddress_), static_cast<QWidget*>(lblProgType_),
                     static_cast<QWidget*>(lblFWRev_), static_cast<QWidget*>(frmPgmrList_)}) {
    w->show();
  }
}

void ImageManagerWindow::GridChanged() {
  const int rows = std::max(fgImages.Rows - 1, 0);
  grid_->clear();
  grid_->setColumnCount(fgImages.Cols);
  grid_->setRowCount(rows);
  QStringList headers;
  for (int c = 0; c < fgImages.Cols; ++c) headers << FromAnsi(fgImages.TextMatrix(0, c));
  grid_->setHorizontalHeaderLabels(headers);
  for (int r = 1; r <= rows; ++r) {
    for (int c = 0; c < fgImages.Cols; ++c) {
      grid_->setItem(r - 1, c, new QTableWidgetItem(FromAnsi(fgImages.TextMatrix(r, c)).trimmed()));
    }
  }
  grid_->resizeColumnsToContents();
  grid_->updateGeometry();   // the window's size hint follows the rows and columns now shown
  if (fgImages.Row >= 1 && fgImages.Row <= rows) grid_->selectRow(fgImages.Row - 1);
  // A load, delete or read changed the slots: what the selected one offers follows.
  if (active_) fgImages_Click(fgImages.Row);
}

void ImageManagerWindow::ShowLineState(const std::string& lostText) {
  const bool current = lostText.empty();
  const bool lost = LineLostNow(lostText);
  lblOffline_->setText(current ? QString()
                               : (lost ? tr("OFFLINE \u2014 the images below were read before the line was lost. ")
                                       : tr("NOT CURRENT \u2014 the images below were read before the line was lost. ")) +
                                     FromAnsi(lostText));
  lblOffline_->setVisible(!current);
  grid_->setEnabled(current);
}

void ImageManagerWindow::fgImages_Click(int row) {
  const bool slot = row >= 1 && row < fgImages.Rows;
  if (slot) {
    fgImages.Row = row;
    ImageNumber = row;
    ImageChoiceChanged();
  }
  const bool holdsImage = slot && SlotHoldsImage(row);
  main_.EnableMenus({"mnuProgram", "mnuProgramStart", "mnuImageDelete", "mnuImageUpload", "mnuImageSerialization",
                     "mnuImageActionProgram", "mnuIMageActionSave", "mnuImageActionDelete", "mnuImageActionSerial"},
                    holdsImage);
  main_.EnableButtons({"Program", "ArrayMan", "Delete"}, holdsImage);
}
