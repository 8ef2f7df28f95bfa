// Platform stand-ins for tests: a serial port whose far end is a function of
// the frames written to it, an event loop whose every idle turn is one 50 ms
// tick, and recording message boxes, main window and settings.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBox.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "state/views/MainWindowView.h"

// The far end of a fake serial port: it sees every write with the line
// settings in force and may queue bytes to arrive later.
class FakeSerialPort : public SerialPort {
 public:
  // Called for every write; returns the bytes that arrive in answer.
  std::function<std::vector<uint8_t>(const std::vector<uint8_t>& written, const std::string& settings)> Peer;
  // Called on every idle turn of the event loop with the time in ms; returns bytes that arrive.
  std::function<std::vector<uint8_t>(double nowMs)> Poll;

  void SetCommPort(int portNumber) override { commPort = portNumber; }
  int CommPort() const override { return commPort; }
  std::string PortPath() const override { return path; }
  void SetSettings(const std::string& s) override { settings = s; }
  bool Open(int32_t& errorNumber, std::string& errorText) override;
  void Close() override { open = vanished = false; }
  bool IsOpen() const override { return open; }
  bool Vanished() const override { return vanished; }
  void SetRThreshold(int bytes) override { threshold = bytes; }
  void Write(const uint8_t* data, size_t count) override;
  std::vector<uint8_t> ReadAll() override;

  // Delivers waiting bytes through the receive event; false when none waited.
  bool DeliverIncoming();

  int commPort = 1;
  std::string path;                   // the device behind the port, as reports name it
  std::string settings;
  bool open = false;
  bool vanished = false;              // closed under the program, as a device that went away
  int opens = 0;                      // successful Open() calls
  int threshold = 0;
  bool failOpen = false;              // Open fails with the error below
  int32_t openErrorNumber = 8002;
  std::string openErrorText = "Invalid Port Number";
  std::vector<std::vector<uint8_t>> writes;   // every write, in order
  std::deque<uint8_t> incoming;
  double nowMs = 0;
};

// Each turn delivers waiting bytes, or else lets one 50 ms tick pass.
class FakeEventLoop : public EventLoop {
 public:
  explicit FakeEventLoop(FakeSerialPort& port) : port_(port) {}
  void DoEvents() override;
  void ProcessPending() override { ++pendingRuns; }
  int pendingRuns = 0;
  int ticks = 0;                 // ticks that passed
  std::function<void()> OnTick;  // runs after each tick
  std::function<void()> OnTurn;  // runs at the start of every turn, as an event inside a wait would

 private:
  FakeSerialPort& port_;
};

class RecordingMessageBox : public MessageBoxes {
 public:
  struct Box { std::string text; int style; std::string title; };
  int MsgBox(const std::string& text, int style, const std::string& title) override {
    boxes.push_back({text, style, title});
    return answer;
  }
  std::vector<Box> boxes;
  int answer = vbOK;
};

class RecordingMainWindow : public MainWindowView {
 public:
  void SetEnabled(bool on) override { enabled = on; }
  void SetProgressVisible(bool visible) override { progressVisible = visible; }
  void SetProgressValue(int percent) override { progressValues.push_back(percent); }
  void SetStatusPanel(const std::string& key, const std::string& text) override { panels[key] = text; }
  void ClearProgrammerList() override { items.clear(); selectedItem = 0; }
  void AddProgrammerItem(const std::string& key, const std::string& text, const std::string& image) override {
    items.push_back({key, text, image});
  }
  void SelectProgrammerItem(int index) override { selectedItem = index; }
  int SelectedProgrammerItem() override { return selectedItem; }
  void SetConfigMenuEnabled(bool enabled) override { configMenuEnabled = enabled; }
  void SetPortListEnabled(bool enabled) override { portListEnabled = enabled; }
  int SelectedCommPort() override { return commPort; }
  bool SelectCommPortEntry(int port) override {
    for (int p : listedPorts) {
      if (p == port) commPort = port;
    }
    return commPort == port;
  }
  std::vector<int> listedPorts{1};
  void SetArrayProgrammingEnabled(bool enabled) override { arrayProgrammingEnabled = enabled; }
  void CloseImageManager() override { imageManagerOpen = false; }
  void ShowImageManager() override { imageManagerOpen = true; }
  void ShowLineState(const std::string& lostText) override { lineState = lostText; }

  struct Item { std::string key, text, image; };
  std::vector<Item> items;
  int selectedItem = 0;
  bool progressVisible = false;
  std::vector<int> progressValues;
  std::map<std::string, std::string> panels;
  bool portListEnabled = true;
  int commPort = 1;
  bool arrayProgrammingEnabled = false;
  bool imageManagerOpen = false;
  bool configMenuEnabled = false;
  bool enabled = true;
  std::string lineState;   // the line's state as last shown
};

class MemorySettingsStore : public SettingsStore {
 public:
  std::string GetSetting(const std::string& section, const std::string& key, const std::string& def) override {
    auto it = values.find(section + "/" + key);
    return it == values.end() ? def : it->second;
  }
  void SaveSetting(const std::string& section, const std::string& key, const std::string& value) override {
    values[section + "/" + key] = value;
  }
  std::map<std::string, std::string> values;
};

// Answers every file dialog with the next prepared name; an empty one, or
// none left, cancels.
class ScriptedFileDialogs : public FileDialogs {
 public:
  bool Show(const FileDialogRequest& request, std::string& chosen) override {
    requests.push_back(request);
    if (answers.empty()) return false;
    chosen = answers.front();
    answers.erase(answers.begin());
    return !chosen.empty();
  }
  std::vector<std::string> answers;
  std::vector<FileDialogRequest> requests;
};

// Resets the whole program state, then binds the fakes to the platform globals.
struct FakePlatform {
  FakePlatform();
  ~FakePlatform();
  FakeSerialPort port;
  FakeEventLoop events{port};
  RecordingMessageBox messages;
  RecordingMainWindow window;
  MemorySettingsStore settings;
};

// The payload of a command frame (unstuffed); empty when the bytes are no frame.
std::vector<uint8_t> FramePayload(const std::vector<uint8_t>& frame, uint8_t* address = nullptr);
// A reply frame from an address.
std::vector<uint8_t> ReplyFrame(uint8_t address, const std::vector<uint8_t>& payload);
