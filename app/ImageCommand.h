#pragma once
// fota-cli image: the embedded images and HEX files.
//
//   image list               name, bytes, blocks and demo mark of every
//                            embedded image
//   image dump NAME|FILE     the block dump (TFirmware::printHex) of an
//                            embedded image or of an Intel HEX file (an
//                            image name wins over a file of that name)
//
// A file that does not load gives "FILE:LINE: <conversion error>" on the
// error stream and exit status 1; so do an unknown name and a file without
// data records.

#include "app/Cli.h"

namespace fota::cli {

int RunImageCommand(Args args, Io io);

}  // namespace fota::cli
