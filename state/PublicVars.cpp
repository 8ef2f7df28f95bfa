#include "state/PublicVars.h"

SerialPort* MSComm1 = nullptr;
EventLoop* Events = nullptr;
SettingsStore* Settings = nullptr;
MessageBoxes* MessageBox = nullptr;
MainWindowView* frmMain = nullptr;

uint8_t CurrentAddress = 0;
int32_t TickCount = 0;
std::array<uint8_t, RxBufferSize> RxBuffer{};
int16_t RxCount = 0;
uint8_t RxAddress = 0;
bool ReplyComplete = false;
int16_t RxState = 0;

int32_t LastErrorNumber = 0;
std::string LastErrorText;
std::string LastErrorSource;
std::string LastFunction;
std::string ErrorTitle;
ErrorObject Err;

std::array<ProgrammerRecord, MaxProgrammers + 1> ProgrammerTable{};
int ProgCount = 0;
int SelectedProgrammer = 0;
std::array<std::string, MaxProgrammers + 1> ProgSettings{};
std::array<uint8_t, 32> ConfigBlock{};

uint8_t ProgType = 0;
bool SerialSupported = false;

int ImageNumber = 1;
int ReadPort = 1;

uint8_t SerialMemory = 0;
uint8_t SerialFormat = 0;
int32_t SerialAddress = 0;
std::array<uint8_t, 7> SerialNumber{};
std::array<std::string, 4> LastSerials{};
