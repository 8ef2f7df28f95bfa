// frmProgram: chooses image, ports and run options, runs Program or Verify,
// shows the four port states and stops a run.
#pragma once

#include <QDateTime>
#include <array>

#include "operations/RunTally.h"
#include "state/views/ProgramManagerView.h"
#include "ui/MdiChild.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class MainFrame;
class VerdictTile;

class ProgramManagerWindow : public MdiChild, public ProgramManagerView {
  Q_OBJECT
 public:
  explicit ProgramManagerWindow(MainFrame& main);
  ~ProgramManagerWindow() override;

  void Form_Load();
  void Form_Activate() override;
  void Form_Deactivate() override;

  // Menu entry points.
  void mnuFileClose() override { btClose_Click(); }
  void mnuProgramStart() override { btStart_Click(); }
  void mnuProgramVerify() override { btVerify_Click(); }
  void mnuProgramCancel() override { btCancel_Click(); }
  // The programmer's power-on defaults and ATE options 0..3, from and into the
  // image number and the port and run option check boxes.
  void mnuConfigSetDefaults() override { SetDefaults(-1); }
  void mnuConfigViewDefaults() override { ViewDefaults(-1); }
  void mnuConfigSetATEOption(int option) override { SetDefaults(option); }
  void mnuConfigViewATEOption(int option) override { ViewDefaults(option); }

  void btStart_Click();
  void btVerify_Click();
  void btCancel_Click();
  void btClose_Click();
  void lstImage_Click();

  // ProgramManagerView
  bool PortEnabled(int port) override;
  bool CrcVerifyOnly() override;
  bool Sequential() override;
  bool SoundEnabled() override;
  void SetPortStatus(int port, const std::string& caption, int64_t backColor, int64_t foreColor) override;
  void SetStatusFrameVisible(bool visible) override;
  void DirectoryChanged() override;
  void RunStarted(const UnitRun& run) override;
  void RunPolled(const UnitRun& run) override;
  void RunFinished(const UnitRun& run) override;

  // The tiles shown or hidden as the main window says, and the counts anew.
  void SessionChanged() override;

  // Controls, for the main window and tests.
  QComboBox* lstImage() const { return lstImage_; }
  QLabel* lblVal(int i) const { return lblVal_[i]; }
  QCheckBox* ChkPortEnbl(int i) const { return ChkPortEnbl_[i]; }
  QLabel* valPortSts(int i) const { return valPortSts_[i]; }
  QLabel* Serial(int i) const { return Serial_[i]; }
  QCheckBox* cbCRCVerify() const { return cbCRCVerify_; }
  QCheckBox* cbSequential() const { return cbSequential_; }
  QCheckBox* cbEnableSound() const { return cbEnableSound_; }
  QPushButton* btStart() const { return btStart_; }
  QPushButton* btVerify() const { return btVerify_; }
  QPushButton* btCancel() const { return btCancel_; }
  QPushButton* btClose() const { return btClose_; }
  QGroupBox* frmStatus() const { return frmStatus_; }
  // The verdict tiles beside the status labels: one per port and the run's.
  VerdictTile* PortTile(int i) const { return portTiles_[i]; }
  VerdictTile* RunTile() const { return runTile_; }
  bool Running() const { return running_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // True when the run went to its end without a failed command or a cancel.
  bool RunOperation(bool verifyOnly);
  // The serial numbers written on the ports that are done, when the image is serialized.
  void ShowRunSerials();
  void ShowImages();   // lstImage and the selected image's information
  void ShowImageInformation();
  void SetRunButtonsEnabled(bool enabled);
  void SetUpRunOptions();
  void LockForRun(bool locked);
  void SetDefaults(int option);    // -1: power-on defaults
  void ViewDefaults(int option);
  void ShowRunTiles();
  void ShowCounts();
  // The last run was on the chosen image of the selected programmer, and its slot still holds it.
  bool RunBelongsToImage() const;

  MainFrame& main_;
  QComboBox* lstImage_;
  std::array<QLabel*, 4> lbl1_{};
  std::array<QLabel*, 4> lblVal_{};
  std::array<QCheckBox*, 4> ChkPortEnbl_{};
  std::array<QLabel*, 4> valPortSts_{};
  std::array<QLabel*, 4> Serial_{};
  QGroupBox* frmStatus_;
  QCheckBox* cbCRCVerify_;
  QCheckBox* cbSequential_;
  QCheckBox* cbEnableSound_;
  QPushButton* btStart_;
  QPushButton* btVerify_;
  QPushButton* btCancel_;
  QPushButton* btClose_;
  QWidget* DummyFocus_;
  bool HasAteOptions = false;
  bool running_ = false;
  bool closeRequested_ = false;
  std::array<VerdictTile*, 4> portTiles_{};
  VerdictTile* runTile_;
  QWidget* portTileRow_;
  UnitRun lastRun_;
  bool hasRun_ = false;
  int runNumber_ = 0;
  QDateTime runTime_;
};
