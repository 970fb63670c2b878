#pragma once
#include <QByteArray>

namespace ombrix::program {

// Opens each of descriptors 0, 1 and 2 that is closed on /dev/null, before
// the program opens anything else: otherwise the first socket or file it
// opens would take that number, and a report or a message meant for the
// terminal would be written into it. Each is opened for the other direction
// (standard input write-only, output and error read-only), so it still acts
// as closed: a write to a closed standard output fails and is reported.
void holdClosedStandardStreams();

// Writes bytes to standard output and flushes it. Returns 0, or 1 after one
// line on stderr ("ombrix: cannot write the <what>: <reason>") when they
// could not all be written: a closed output, a full disk.
int writeStandardOutput(const QByteArray& bytes, const char* what);

} // namespace ombrix::program
