#pragma once
// The window's typeface: Tahoma, or where it is missing a sans-serif of
// about its width (Liberation Sans, Arial), so that captions fit their places.

#include <QFont>

namespace fota::qt {

inline QFont windowFont(int pixelSize, bool bold = false) {
    QFont font;
    font.setFamilies({"Tahoma", "Liberation Sans", "Arial", "DejaVu Sans"});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace fota::qt
