#pragma once
// The agreement shown once at start-up, before the main window is usable.

#include <string>
#include <vector>

namespace fota {

// The agreement text, one entry per line, trailing spaces included.
std::vector<std::string> AgreementLines();

}  // namespace fota
