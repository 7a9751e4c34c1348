#pragma once
// Two ends of an in-process byte line on a clock: the program's end and the
// stick's end. Reads wait through the clock, so a simulated stick and the ANT
// library's reader run in virtual time.

#include <deque>
#include <memory>
#include <mutex>

#include "antlink/ByteTransport.h"
#include "platform/Clock.h"

namespace fota::ant {

class InProcessLine {
public:
    explicit InProcessLine(Clock& clock);

    // The end the ANT library opens (reports isSimulated()).
    std::unique_ptr<ByteTransport> programEnd();
    // The end the simulated stick reads and writes.
    std::unique_ptr<ByteTransport> stickEnd();

    // Breaks the line as an unplugged stick would: both ends fail.
    void unplug();
    bool unplugged() const;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace fota::ant
