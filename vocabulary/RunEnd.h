#pragma once

namespace fivestage {

// How a run stands, or how it ended: still running, run to its end (the
// program counter past the last instruction and the pipeline drained),
// ended by a failure (the console's message and exit status), or stopped
// from outside while it would have gone on (a limit of cycles or of
// instructions).
enum class RunEnd { Running, Completed, Failed, Stopped };

}  // namespace fivestage
