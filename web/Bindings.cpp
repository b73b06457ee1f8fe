// The module's interface to the page's script.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include "web/Session.h"

namespace {

using fivestage::web::Session;

// The console's output as bytes, exactly as fivestage writes them, and its
// exit status, on the machine the two options choose.
emscripten::val runConsole(const std::string& folder, const std::string& keys, bool forwarding, bool flush) {
  const fivestage::web::ConsoleRun run = fivestage::web::runConsole(folder, keys, {forwarding, flush});
  emscripten::val result = emscripten::val::object();
  const emscripten::val bytes = emscripten::val(
      emscripten::typed_memory_view(run.output.size(), reinterpret_cast<const unsigned char*>(run.output.data())));
  result.set("stdout", emscripten::val::global("Uint8Array").new_(bytes));
  result.set("status", run.status);
  return result;
}

// The energy files an input folder holds, by their paths inside it.
emscripten::val energyFiles() {
  emscripten::val paths = emscripten::val::array();
  for (const std::string& path : fivestage::energyFilePaths()) paths.call<void>("push", path);
  return paths;
}

// A session on the machine the two options choose.
Session* sessionOn(const std::string& folder, bool forwarding, bool flush) {
  return new Session(folder, {forwarding, flush});
}

}  // namespace

EMSCRIPTEN_BINDINGS(fivestage) {
  emscripten::function("runConsole", &runConsole);
  emscripten::function("energyFiles", &energyFiles);
  emscripten::function("reportJson", &fivestage::web::reportJson);
  emscripten::function("compareJson", &fivestage::web::compareJson);
  emscripten::function("compareFigures", &fivestage::web::compareFigures);
  emscripten::class_<Session>("Session")
      .constructor(&sessionOn, emscripten::allow_raw_pointers())
      .function("opening", &Session::opening)
      .function("view", &Session::view)
      .function("advance", &Session::advance)
      .function("memoryWords", &Session::memoryWords)
      .function("trace", &Session::trace)
      .function("reportPage", &Session::reportPage);
}
