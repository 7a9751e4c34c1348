#pragma once
// The image store: the Intel HEX images the program carries, by name.
//
// The build embeds the images of the folder FOTA_IMAGES_DIR (default
// images/): one NAME.hex per name of kImageNames, read unchanged. The store
// is read-only and safe to read from any thread.
//
// Demo set: the build marks each image that starts with the demo header
// (image/DemoHeader.h). The embedded set is a demo set when any of its images
// is a demo image, so a set with a single demo image in it is still treated
// as a demo set and never sent to a real trainer.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/HexText.h"
#include "image/ImageNames.h"
#include "image/UFirmware.h"

namespace fota {

class ImageStore {
public:
    // Every name the store holds (the names of kImageNames, in that order).
    static std::span<const std::string_view> names();

    static bool contains(std::string_view name);

    // The image's HEX text, byte for byte; empty when the store holds no
    // such name (names match exactly, case included).
    static std::optional<std::string> text(std::string_view name);

    // The text split into lines (SplitHexLines); empty for an unknown name.
    static std::optional<std::vector<std::string>> lines(std::string_view name);

    // Loads the image into fw, one addHex per line (appending: pass a new
    // TFirmware). False, fw untouched, for an unknown name. Throws
    // HexLineError for a line addHex rejects.
    static bool load(std::string_view name, TFirmware& fw);

    // True when the embedded set is the demo set (see above).
    static bool isDemoSet();

    // True when the named image starts with the demo header; false for an
    // unknown name.
    static bool isDemoImage(std::string_view name);
};

}  // namespace fota
