#pragma once
// Proportional resizing: each edge of a control follows the window's client
// size in proportion to where it stood when the layout was recorded.

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};

struct Size {
    int width = 0, height = 0;
};

// Where a control recorded at `recorded` in a client area of `recordedClient`
// stands in a client area of `client`. Edges are scaled in floating point; the
// left and top edges, the width and the height are each rounded to the nearest
// whole pixel, halves to even.
Rect ScaledRect(const Rect& recorded, Size recordedClient, Size client);
