#include "state/PublicVars.h"

SerialPort* MSComm1 = nullptr;
EventLoop* Events = nullptr;
SettingsStore* Settings = nullptr;
MessageBoxes* MessageBox = nullptr;
MainWindowView* frmMain = nullptr;
ImageManagerView* frmImageMan = nullptr;
ProgramManagerView* frmProgram = nullptr;
SoundPlayer* Sound = nullptr;
DocumentOpener* Documents = nullptr;
FileDialogs* FileDial1 = nullptr;
LoadImageView* frmLoadImage = nullptr;
ReadImageView* frmReadImage = nullptr;

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

std::string AppPath = ".";

std::array<ProgTypeInfo, 6> TypeTableV1{};
std::array<ProgTypeInfo, 11> TypeTableV2{};
std::array<ProgTypeInfo, 26> TypeTableV3{};

uint8_t ProgType = 0;
std::string ProgTypeName;
std::string FirmwareFileName;
float LatestFwRev = 0;
std::array<std::string, 5> HwcFileNames{};
std::string VectorFileName;
std::string VectorFileName2;
bool FwGen2 = false;
bool FwGen3 = false;
std::string SecondaryName;
std::array<std::string, 11> StartModeNames{};
bool SerialSupported = false;
FlashMapInfo FlashMap;

std::array<ImageSecurityEntry, MaxImageSlots> ImageSecurity{};
int16_t SecurityWord = 0;
std::array<uint8_t, 2> SecurityCrc{};
bool SecurityValid = false;

std::vector<DirEntry> ImageDirectory;
std::array<std::string, MaxImageSlots + 1> EEImageName{};
GridModel fgImages;

std::string DeviceFile;
std::array<std::string, MaxFamilies + 1> FamilyList{};
int CurFamily = 0;
std::array<DeviceRecord, MaxDeviceTypes + 1> DeviceTable{};
int CurDevice = -1;

std::array<std::string, 5> FileList{};
int FileCount = 0;
std::vector<uint8_t> ImageBuffer;
std::vector<uint8_t> EEBuffer;
std::vector<uint8_t> AuxBuffer;
std::array<uint8_t, 257> ExtData{};
int32_t ImageTop = 0;
int32_t EETop = 0;
int32_t ImageChecksum = 0;
int32_t EntireImageChecksum = 0;
int32_t PSoCConfigTop = 0;
bool HasSection9020 = false;
bool SecondaryEnabled = false;
int32_t RecCount = 0;
int32_t ByteCount = 0;
int16_t RecLen = 0;
int32_t RecAddr = 0;
int16_t RecType = 0;
std::array<uint8_t, 129> RecData{};

std::string EEFilePath;
std::string EEFileTitle;
bool EepromFileChosen = false;
std::string ProjectFile;
std::string ProjName;
std::string ProjFamily;
std::string ProjDevice;
uint8_t ProjMode = 0;
int16_t ProjFreq = 0;
float ProjVoltage = 0;
uint8_t ProjOsccalOpt = 0;
int32_t ProjOsccalAddress = 0;
std::array<uint8_t, 9> ProjFuses{};
bool ProjAVR32Security = false;
bool ProjJtagId = false;
int32_t ProjJtagPart = 0;
int32_t ProjJtagVersion = 0;
bool ProjectLoaded = false;
bool OpenProjectRequest = false;
int32_t FileChecksum = 0;

std::string ImageName;
int16_t ImageMode = 0;
int16_t ImageFreq = 0;
uint8_t ImageVoltage = 0;
std::string EEName;

std::array<uint8_t, 16> FuseValues{};
int NumFuseBytes = 0;
uint8_t OsccalOpt = 0;
int32_t OsccalAddress = 0;
bool AVR32SecurityF = false;
bool JtagIdCheck = false;
int32_t JtagPart = 0;
uint8_t JtagVersion = 0;

bool DdeEnabled = false;
bool ImageProtectFlag = false;
int32_t ImageCountLimit = -1;

bool ImageManOpen = false;

bool CancelRequest = false;

int ImageNumber = 1;
int ReadPort = 1;

uint8_t SerialMemory = 0;
uint8_t SerialFormat = 0;
int32_t SerialAddress = 0;
std::array<uint8_t, 7> SerialNumber{};
std::array<std::string, 4> LastSerials{};
