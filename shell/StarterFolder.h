#pragma once

#include <filesystem>
#include <iosfwd>
#include <span>
#include <string_view>
#include <utility>

namespace fivestage {

// The files of examples/starter, compiled in: each one's path relative to the
// folder, with its text.
using StarterFile = std::pair<std::string_view, std::string_view>;
extern const std::span<const StarterFile> starterFiles;

// fivestage --init: writes the starter files into `folder`, a new folder or
// an empty one. A symbolic link at `folder` is not followed and nothing that
// exists is overwritten. Says on `out` what was made and what to type next,
// and returns 0; or says on `err` why not, leaves nothing of its own behind,
// and returns the usage error status. `invokedAs` is the program's name as
// it was started (argv[0]): what to type next starts fivestage the same way.
int createStarterFolder(const std::filesystem::path& folder, std::string_view invokedAs, std::ostream& out,
                        std::ostream& err);

}  // namespace fivestage
