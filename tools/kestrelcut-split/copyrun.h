#pragma once

#include "splitrunner.h"

namespace kc::cli {

// Copies the pieces of the job without re-encoding, on this thread, reporting as the
// render runner does. Ctrl+C and SIGTERM stop the copy; its unfinished piece is removed.
// Returns the exit code.
int RunCopySplitJob(const SplitJobSpec &job, RunReporter *reporter);

// The closing line: pieces written, and how many planned pieces were merged.
QString CopySummaryLine(int written, int planned);

} // namespace kc::cli
