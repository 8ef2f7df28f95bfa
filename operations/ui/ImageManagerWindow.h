// frmImageMan: the selected programmer and the images stored in it, one grid
// row per slot; the starting point of the image operations.
#pragma once

#include <string>

#include "state/views/ImageManagerView.h"
#include "ui/MdiChild.h"

class QGroupBox;
class QLabel;
class QTableWidget;
class MainFrame;

class ImageManagerWindow : public MdiChild, public ImageManagerView {
  Q_OBJECT
 public:
  explicit ImageManagerWindow(MainFrame& main);
  ~ImageManagerWindow() override;

  void Form_Load();
  void Form_Activate() override;
  void Form_Deactivate() override;

  // Menu entry points.
  void mnuFileClose() override;
  void mnuFileOpen() override;
  void mnuFileProject() override;
  void mnuImageNew() override;
  void mnuImageRead() override;
  void mnuConfigSetAddress() override;

  // ImageManagerView
  void SetProgrammerPicture(const std::string& key) override;
  void SetProgrammerLabels(const std::string& address, const std::string& progType,
                           const std::string& fwRevision) override;
  void GridChanged() override;

  // The line is lost (or back, with the grid read before): a note over the
  // grid, which is greyed as not current; "" clears both.
  void ShowLineState(const std::string& lostText);
  QLabel* lblOffline() const { return lblOffline_; }

  // Selects the slot of a grid row and enables what applies to it.
  void fgImages_Click(int row);

  QTableWidget* Grid() const { return grid_; }
  QLabel* lblAddress() const { return lblAddress_; }
  QLabel* lblProgType() const { return lblProgType_; }
  QLabel* lblFWRev() const { return lblFWRev_; }
  QLabel* picFamily() const { return picFamily_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void SelectAgain();
  void EnableImageItems(bool enabled);

  MainFrame& main_;
  QGroupBox* frmPgmrList_;
  QLabel* picFamily_;
  QLabel* lblAddress_;
  QLabel* lblProgType_;
  QLabel* lblFWRev_;
  QGroupBox* frmImages_;
  QTableWidget* grid_;
  QLabel* lblOffline_;
  int busy_ = 0;              // selection under way: the window must not go away
  bool active_ = false;       // the active child: the menus follow its selected slot
  bool closeRequested_ = false;
};
