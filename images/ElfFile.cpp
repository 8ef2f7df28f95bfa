#include "images/ElfFile.h"

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "link/CommDefs.h"

namespace {

struct ElfHandle {
  Elf* elf = nullptr;
  ~ElfHandle() {
    if (elf) elf_end(elf);
  }
};

std::string LibelfReason() {
  const char* message = elf_errmsg(-1);
  return message && *message ? std::string(" (") + message + ")" : std::string();
}

}  // namespace

bool IsElfContent(std::string_view content) { return content.substr(0, 4) == std::string_view("\x7f" "ELF", 4); }

bool ReadElfFile(const std::string& path, std::string_view content, BuildRecords& records, BuildFileError& error) {
  auto fail = [&](int32_t number, const std::string& description, int segment) {
    error.number = number;
    error.description = description + ": " + path + (segment >= 0 ? ", segment " + std::to_string(segment) : "");
    error.place = segment;
    return false;
  };
  if (elf_version(EV_CURRENT) == EV_NONE) return fail(ErrFileFormat, "ELF Files Cannot Be Read" + LibelfReason(), -1);
  // libelf may turn the headers of a file of the other byte order round in
  // place: it gets a copy, and the data is taken from the file as read.
  std::vector<char> image(content.begin(), content.end());
  ElfHandle handle;
  handle.elf = elf_memory(image.data(), image.size());
  if (!handle.elf || elf_kind(handle.elf) != ELF_K_ELF) {
    return fail(ErrFileFormat, "Damaged ELF File" + LibelfReason(), -1);
  }
  GElf_Ehdr header;
  size_t segments = 0;
  if (!gelf_getehdr(handle.elf, &header) || elf_getphdrnum(handle.elf, &segments) != 0) {
    return fail(ErrFileFormat, "Damaged ELF File" + LibelfReason(), -1);
  }
  // The loadable segments, all checked before any of their data is taken.
  struct Loadable {
    uint64_t address, from, size;
    int index;
  };
  std::vector<Loadable> loadable;
  for (size_t i = 0; i < segments; ++i) {
    const int index = static_cast<int>(i);
    GElf_Phdr segment;
    if (!gelf_getphdr(handle.elf, index, &segment)) {
      return fail(ErrFileFormat, "Damaged ELF File" + LibelfReason(), index);
    }
    if (segment.p_type != PT_LOAD || segment.p_filesz == 0) continue;
    if (segment.p_offset > content.size() || segment.p_filesz > content.size() - segment.p_offset) {
      return fail(ErrFileFormat, "ELF Segment Beyond the End of the File", index);
    }
    if (segment.p_paddr > UINT32_MAX || segment.p_paddr + segment.p_filesz > uint64_t{1} << 32) {
      return fail(ErrAddressRange, "Address Out of Range in ELF File", index);
    }
    loadable.push_back({segment.p_paddr, segment.p_offset, segment.p_filesz, index});
  }
  // Segments sharing their bytes in the file would let a small file give any
  // amount of data; a linker never writes them.
  std::vector<Loadable> byOffset = loadable;
  std::sort(byOffset.begin(), byOffset.end(), [](const Loadable& a, const Loadable& b) { return a.from < b.from; });
  for (size_t i = 1; i < byOffset.size(); ++i) {
    if (byOffset[i].from < byOffset[i - 1].from + byOffset[i - 1].size) {
      return fail(ErrFileFormat, "ELF Segments Overlap in the File", std::max(byOffset[i].index, byOffset[i - 1].index));
    }
  }
  for (const Loadable& segment : loadable) {
    records.Add(static_cast<uint32_t>(segment.address), reinterpret_cast<const uint8_t*>(content.data()) + segment.from,
                static_cast<size_t>(segment.size), segment.index);
  }
  // A file that holds nothing would leave a blank image that replaces a good one.
  if (records.DataBytes() == 0) return fail(ErrFileFormat, "No Loadable Data in ELF File", -1);
  records.End(static_cast<int>(segments));
  return true;
}
