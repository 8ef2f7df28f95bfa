// Build files of every kind the loaders take: Intel HEX, Motorola S-record,
// ELF and raw binary. The kind is told by the content; a binary file needs
// its load address, given after the name: "firmware.bin@0x08000000".
//
// The other kinds reach the loaders as the Intel HEX records of their data,
// so placement, range checks, family sections and checksums are those of a
// HEX file of the same data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class BuildFileKind { IntelHex, SRecord, Elf, Binary };

// A name as the file lists hold it: the file, and the load address when the
// name ends in "@" and a number (decimal, or hexadecimal with 0x).
struct BuildFileName {
  std::string path;
  bool hasAddress = false;
  uint32_t address = 0;
};
BuildFileName SplitBuildFileName(const std::string& name);
// "path@0x08000000".
std::string BuildFileNameWithAddress(const std::string& path, uint32_t address);
// Decimal, or hexadecimal with 0x; at most 32 bits.
bool ParseLoadAddress(const std::string& text, uint32_t& address);

// Whether content read from `path` is a binary file, one that would need a
// load address: nothing of the other kinds, and either named *.bin or not
// text at all.
bool LooksLikeBinaryFile(const std::string& path, std::string_view content);
// The same for a file on disk: false when it cannot be read.
bool BuildFileNeedsAddress(const std::string& path);

// The data of a build file as Intel HEX records, with where in the file each
// record's data stands.
class BuildRecords {
 public:
  // Data from an address; place is where it stands in the file (the line,
  // segment or offset the errors name).
  void Add(uint32_t address, const uint8_t* data, size_t count, int place);
  void End(int place);
  size_t DataBytes() const { return dataBytes_; }
  std::string& Text() { return text_; }
  std::vector<int>& Places() { return places_; }

 private:
  void Line(int count, uint16_t offset, int type, const uint8_t* data, int place);
  std::string text_;
  std::vector<int> places_;   // one per line of text_
  uint32_t upper_ = 0;        // the upper address half the records stand in
  size_t dataBytes_ = 0;
};

// A reader's refusal: the loaders' error number and text, and the place.
struct BuildFileError {
  int32_t number = 0;
  std::string description;
  int place = -1;   // -1: the file as a whole
};

// The kind the content shows, binary when it shows none. With a load
// address only a file that is plainly of another kind is not binary.
BuildFileKind BuildFileKindOf(std::string_view content, bool addressGiven);

// Where a reader's place numbers point for the kind: "line", "segment", "offset".
const char* PlaceUnitOf(BuildFileKind kind);

// Converts the content of the build file named `name` (as read whole from
// its path) into Intel HEX records; kind receives the kind found. An Intel
// HEX file is left as it is (false is never returned for one).
bool TranslateBuildFile(const BuildFileName& name, std::string_view content, BuildFileKind& kind,
                        BuildRecords& records, BuildFileError& error);
