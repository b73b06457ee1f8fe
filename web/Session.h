#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "run/RunSetup.h"

namespace fivestage::web {

// The whole console program on the files of `folder` with `keys` as its
// standard input, as fivestage runs in a folder holding those files.
struct ConsoleRun {
  std::string output;
  int status;
};
ConsoleRun runConsole(const std::string& folder, const std::string& keys, MachineOptions machine = {});

// A run the page steps through: loaded from the files of a folder, one
// cycle per Step as with one Enter per prompt, back by running again to the
// cycle before. Every view is a JSON text for the page's script.
class Session {
 public:
  explicit Session(const std::string& folder, MachineOptions machine = {});
  ~Session();

  // What the console shows when loading, and the listing of choice 2.
  std::string opening() const;
  // The current state: see view().
  std::string view() const;
  std::string step();
  std::string back();
  // Steps until the run ends or `cycle` has run.
  std::string runUntil(double cycle);
  // Goes to the end of `cycle`, forward or back.
  std::string goTo(double cycle);
  // The console's whole output for the cycles run so far.
  std::string trace() const;
  // The report page of the whole run.
  std::string reportPage() const;

 private:
  struct Stepping;
  void start();
  bool running() const;
  // Steps until the run ends or cycle `last` has run.
  void stepTo(Cycle last);

  RunSetup setup_;
  std::string loading_;  // the welcome, the loading messages, or the loading error
  std::string listing_;
  std::optional<MachineState> program_;
  std::unique_ptr<Stepping> run_;
};

}  // namespace fivestage::web
