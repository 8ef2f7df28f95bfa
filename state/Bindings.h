// What the program's start-up binds for every subsystem: the platform objects,
// the views of the open windows and the folder of the delivered data files.
// Logic reaches the screen and the machine only through these.
#pragma once

#include <string>

class SerialPort;
class EventLoop;
class SettingsStore;
class MessageBoxes;
class MainWindowView;
class ImageManagerView;
class ProgramManagerView;
class SoundPlayer;
class DocumentOpener;
class FileDialogs;
class LoadImageView;
class ReadImageView;

extern SerialPort* MSComm1;        // the serial port of the main window
extern EventLoop* Events;          // lets pending user-interface events run inside a wait
extern SettingsStore* Settings;    // per-user settings store
extern MessageBoxes* MessageBox;   // message boxes
extern MainWindowView* frmMain;    // what operations show in the main window
extern ImageManagerView* frmImageMan;   // the image manager window; null while it is closed
extern ProgramManagerView* frmProgram;  // the programming manager window; null while it is closed
extern SoundPlayer* Sound;          // asynchronous wave playback
extern DocumentOpener* Documents;  // opens help documents with the system's viewer
extern FileDialogs* FileDial1;     // file-open and file-save dialogs
extern LoadImageView* frmLoadImage;   // the Load Image dialog; null while it is closed
extern ReadImageView* frmReadImage;   // the Read Image dialog; null while it is closed
extern bool ImageManOpen;          // the image manager window is loaded

extern std::string AppPath;        // folder of the delivered data files

// Puts every global above back to its start value.
void ResetBindings();
