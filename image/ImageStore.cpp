#include "image/ImageStore.h"

#include "image/EmbeddedImages.h"

namespace fota {

namespace {

const embedded::Image* find(std::string_view name) {
    for (std::size_t i = 0; i < embedded::kImageCount; ++i) {
        if (name == embedded::kImages[i].name) {
            return &embedded::kImages[i];
        }
    }
    return nullptr;
}

}  // namespace

std::span<const std::string_view> ImageStore::names() {
    return kImageNames;
}

bool ImageStore::contains(std::string_view name) {
    return find(name) != nullptr;
}

std::optional<std::string> ImageStore::text(std::string_view name) {
    const embedded::Image* image = find(name);
    if (image == nullptr) {
        return std::nullopt;
    }
    std::string text;
    text.reserve(image->size);
    for (std::size_t i = 0; i < image->pieceCount; ++i) {
        text.append(image->pieces[i].data, image->pieces[i].size);
    }
    return text;
}

std::optional<std::vector<std::string>> ImageStore::lines(std::string_view name) {
    const std::optional<std::string> hex = text(name);
    if (!hex) {
        return std::nullopt;
    }
    return SplitHexLines(*hex);
}

bool ImageStore::load(std::string_view name, TFirmware& fw) {
    const std::optional<std::string> hex = text(name);
    if (!hex) {
        return false;
    }
    LoadHexText(*hex, fw);
    return true;
}

bool ImageStore::isDemoSet() {
    for (std::size_t i = 0; i < embedded::kImageCount; ++i) {
        if (embedded::kImages[i].demo) {
            return true;
        }
    }
    return false;
}

bool ImageStore::isDemoImage(std::string_view name) {
    const embedded::Image* image = find(name);
    return image != nullptr && image->demo;
}

}  // namespace fota
