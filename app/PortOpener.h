#pragma once
// The stick behind `fota-cli --port PATH`.
//
// A serial port is a real stick, with one exception: a pseudo-terminal whose
// other end answers the ANT version request as the simulated stick does
// (fota-sim, "SIM..."). Only that line counts as the simulator, so that the
// demo images may be sent over it; a real stick, or a real stick bridged to a
// pseudo-terminal, answers with its own version and stays a real stick.

#include <memory>
#include <string>

#include "antlink/ByteTransport.h"
#include "antlink/TransportOpener.h"
#include "platform/Clock.h"

namespace fota::cli {

// True when path names a pseudo-terminal (the slave side, /dev/pts/N).
bool IsPseudoTerminal(const std::string& path);

// Asks the stick on the line for its version; true when it is the simulated
// stick's. Waits at most `timeout` of clock time; bytes read meanwhile are
// dropped.
bool AnswersAsSimulator(Clock& clock, ant::ByteTransport& line, Duration timeout);

// The line marked as the simulator's (isSimulated() true), all else unchanged.
std::unique_ptr<ant::ByteTransport> MarkAsSimulator(std::unique_ptr<ant::ByteTransport> line);

// The opener for --port PATH.
ant::TransportOpener PortOpener(Clock& clock, std::string path);

}  // namespace fota::cli
