// The reader of line recordings (a file a user sends in): any bytes either
// parse or give a message naming the line, never a crash; what parses is
// consistent (chunks in order, byte counts add up).

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "antlink/ReplayTransport.h"
#include "tests/fuzz/Require.h"

using fota::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    fota::ant::Recording recording;
    std::string error;
    if (!fota::ant::Recording::parse(in, recording, error)) {
        require(error.rfind("line ", 0) == 0 || error.find("no \"open\"") != std::string::npos);
        return 0;
    }
    require(!recording.sessions.empty());
    for (const auto& s : recording.sessions) {
        std::size_t program = 0;
        for (const auto& c : s.chunks) {
            require(!c.bytes.empty());
            require(c.programBefore == program);
            program += c.fromStick ? 0 : c.bytes.size();
        }
        require(s.lostAfterChunks <= s.chunks.size());
    }
    return 0;
}
