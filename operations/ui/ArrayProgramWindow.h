// frmMultiProg: one panel per programmer on the line, each with its own
// image and ports; Program starts them all and follows every port.
#pragma once

#include <QDateTime>
#include <array>
#include <vector>

#include "operations/ArrayRun.h"
#include "state/views/ArrayProgramView.h"
#include "ui/MdiChild.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;
class MainFrame;
class VerdictTile;

class ArrayProgramWindow : public MdiChild, public ArrayProgramView {
  Q_OBJECT
 public:
  explicit ArrayProgramWindow(MainFrame& main);
  ~ArrayProgramWindow() override;

  // Reads every programmer's image directory and builds the panels.
  void Form_Load();
  void Form_Activate() override;

  void mnuFileClose() override { parentWidget()->close(); }
  void mnuProgramStart() override { btProgram_Click(); }
  void mnuProgramCancel() override { btCancel_Click(); }

  void btProgram_Click();
  void btCancel_Click();
  void cbProgEnbl_Click(int panel);
  void cbImage_Click(int panel);

  // ArrayProgramView
  bool ProgrammerEnabled(int panel) override;
  bool PortEnabled(int panel, int port) override;
  int ChosenImage(int panel) override;
  bool CrcVerify() override;
  bool Sequential() override;
  void SetPanelEnabled(int panel, bool enabled) override;
  void SetPortStatus(int panel, int port, const std::string& caption, int64_t backColor, int64_t foreColor) override;
  void RunStarted(const std::vector<ArrayPanel>& panels) override;
  void PanelPolled(int panel, const ArrayPanel& unit) override;
  void RunFinished(const std::vector<ArrayPanel>& panels) override;

  // The tiles shown or hidden as the main window says, and the counts anew.
  void SessionChanged() override;

  // Controls, for the main window and tests.
  int PanelCount() const { return static_cast<int>(panels_.size()); }
  QGroupBox* frProg(int i) const { return controls_[i].frame; }
  QCheckBox* cbProgEnbl(int i) const { return controls_[i].enable; }
  QCheckBox* cbPort(int i, int port) const { return controls_[i].ports[port]; }
  QComboBox* cbImage(int i) const { return controls_[i].image; }
  QLabel* lblStatus(int i, int port) const { return controls_[i].status[port]; }
  // The verdict tile beside each panel, and the whole run's.
  VerdictTile* UnitTile(int i) const { return controls_[i].tile; }
  VerdictTile* RunTile() const { return runTile_; }
  QCheckBox* cbCRCVerify() const { return cbCRCVerify_; }
  QCheckBox* cbSequential() const { return cbSequential_; }
  QPushButton* btProgram() const { return btProgram_; }
  QPushButton* btCancel() const { return btCancel_; }
  const std::vector<ArrayPanel>& Panels() const { return panels_; }
  bool Running() const { return running_; }

  // Height of one panel in pixels; the window adds 1200 twips to the panels.
  static constexpr int PanelHeight = 96;
  static constexpr int TwipsPerPixel = 15;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct PanelControls {
    QGroupBox* frame = nullptr;
    QCheckBox* enable = nullptr;
    std::array<QCheckBox*, 4> ports{};
    QComboBox* image = nullptr;
    std::array<QLabel*, 4> status{};
    VerdictTile* tile = nullptr;
  };
  void AddPanel(int i);
  void SetPanelControlsEnabled(int i, bool enabled);
  void SetUpRunOptions();
  void ShowRunTiles();
  void ShowCounts();
  // Panel i's last run was on the image now chosen there, and that slot still holds it.
  bool RunBelongsToImage(int i);

  MainFrame& main_;
  QVBoxLayout* panelLayout_;
  std::vector<ArrayPanel> panels_;
  std::vector<PanelControls> controls_;
  QCheckBox* cbCRCVerify_;
  QCheckBox* cbSequential_;
  QPushButton* btProgram_;
  QPushButton* btCancel_;
  bool running_ = false;
  bool closeRequested_ = false;
  VerdictTile* runTile_;
  int runNumber_ = 0;
  QDateTime runTime_;
};
