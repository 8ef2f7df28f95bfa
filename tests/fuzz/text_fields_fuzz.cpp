// Any bytes through the text-field reader: it must end, and every field must
// come out of the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/NumberText.h"
#include "platform/TextFields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TextFieldReader reader(text);
  std::string field;
  size_t fields = 0;
  size_t total = 0;
  while (reader.ReadField(field)) {
    total += field.size();
    Val(field);
    // Each field takes at least one byte of input, so the reader cannot loop.
    if (++fields > size + 1 || total > size) std::abort();
  }
  TextFieldReader lines(text);
  std::vector<std::string> f;
  size_t count = 0;
  while (lines.ReadLineFields(f)) {
    if (++count > size + 1) std::abort();
  }
  return 0;
}
