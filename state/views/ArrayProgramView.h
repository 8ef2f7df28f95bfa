// What an array run reads from and shows in the array programming window:
// per panel the programmer's enable box, port boxes and chosen image, the
// common run options, and the four port status labels of each panel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArrayPanel;

class ArrayProgramView {
 public:
  virtual ~ArrayProgramView() = default;
  virtual bool ProgrammerEnabled(int panel) = 0;   // cbProgEnbl(panel)
  virtual bool PortEnabled(int panel, int port) = 0;   // cbPort1..4(panel), port 0..3
  virtual int ChosenImage(int panel) = 0;          // numeric value of cbImage(panel)'s text; 0 = none
  virtual bool CrcVerify() = 0;                     // cbCRCVerify
  virtual bool Sequential() = 0;                    // cbSequential
  virtual void SetPanelEnabled(int panel, bool enabled) = 0;   // frProg(panel)
  // lblStatus1..4(panel): caption and colours as 0xBBGGRR values.
  virtual void SetPortStatus(int panel, int port, const std::string& caption, int64_t backColor,
                             int64_t foreColor) = 0;
  // Each unit's run (ArrayPanel::run) as it stands: once every unit has been
  // started, after each status poll of one unit, and once all are over.
  // They only show; they send nothing to the line.
  virtual void RunStarted(const std::vector<ArrayPanel>& panels) {}
  virtual void PanelPolled(int panel, const ArrayPanel& unit) {}
  virtual void RunFinished(const std::vector<ArrayPanel>& panels) {}
};
