// One printf-style trace for the whole client.
//
// Discards its text unless the environment variable ORVA_TRACE is set when the
// first trace is written. ORVA_TRACE naming a path (it contains a '/') sends
// the lines to that file (appended); any other value sends them to stderr.
// Each call is formatted into a 1024-byte buffer, so at most 1023 characters
// of it are written. Thread-safe: lines from different threads never mix.
#pragma once

namespace orva {

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True when traces are written somewhere. Lets callers skip building
// expensive arguments.
bool TraceEnabled();

// Tests redirect the trace to a file of their own (nullptr restores the
// environment's choice).
void TraceRedirectForTest(const char* path);

}  // namespace orva
