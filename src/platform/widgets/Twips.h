#pragma once

#include <QRect>

// The window is laid out in twips: 15 twips make one pixel at 96 dots per inch,
// and Qt scales device-independent pixels for other screens.
constexpr int twipsToPixels(int twips)
{
    return (2 * twips + 15) / 30; // nearest pixel
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}
