// Arbitrary bytes as src.txt, reg.txt and mem.txt: loading, parsing and the
// listing must never crash, whatever the files hold or whether they exist.
// Input: src FF FF reg FF FF mem FF FF flags (one byte per file: missing or a directory).
#include <cstddef>
#include <cstdint>

#include "common/FatalError.h"
#include "fuzz/FuzzSupport.h"
#include "loader/InputFiles.h"
#include "loader/MachineState.h"

using namespace fivestage;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::enterScratchDirectory();
  const auto sections = fuzz::splitSections(data, size);
  fuzz::placeInputFiles(sections, fuzz::section(sections, 3));

  fuzz::NullStream sink;
  try {
    const MachineState state(sink, InputFolder("."));
    printLoadedData(sink, state);
  } catch (const FatalError&) {
    // A file that cannot be opened: the defined way out.
  }
  return 0;
}
