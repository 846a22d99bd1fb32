#include "ui/Layout.h"

#include <cmath>

Rect ScaledRect(const Rect& recorded, Size recordedClient, Size client)
{
    if (recordedClient.width <= 0 || recordedClient.height <= 0)
        return recorded;
    double xScale = static_cast<double>(client.width) / recordedClient.width;
    double yScale = static_cast<double>(client.height) / recordedClient.height;
    double left = xScale * recorded.left, right = xScale * recorded.right;
    double top = yScale * recorded.top, bottom = yScale * recorded.bottom;
    // nearbyint rounds halves to even in the default rounding mode.
    int x = static_cast<int>(std::nearbyint(left));
    int y = static_cast<int>(std::nearbyint(top));
    int width = static_cast<int>(std::nearbyint(right - left));
    int height = static_cast<int>(std::nearbyint(bottom - top));
    return {x, y, x + width, y + height};
}
