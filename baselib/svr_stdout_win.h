// Trace lines on the process's standard output that never hold the caller
// back. A converter may capture the output through a pipe it never reads; a
// write there blocks once the pipe's buffer is full. Lines therefore go into
// a bounded queue that a thread of its own writes out; when the queue is
// full a line is dropped instead of waited for. At exit the writer is given
// time to write what is queued only while it keeps finishing lines (bounded
// in all): a writer blocked on such a pipe ends with the process.
#pragma once
#include <string>

namespace Solvaris_Win32 {

// Queues `text` (one or more lines, each ending in "\n") for the standard
// output, as the text-mode run-time writes it: every "\n" goes out as CR LF.
// Returns false when the line was dropped (the queue is full, or there is no
// standard output). Any thread may call it; it never blocks on the output.
bool writeStandardOutput(const std::string& text);

} // namespace Solvaris_Win32
