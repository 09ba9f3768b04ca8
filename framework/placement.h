// Where a dialog opens: the arithmetic of CDialog::CenterWindow, standard C++ only.
#pragma once

struct PlaceRect {
    long left, top, right, bottom;
};

struct PlacePoint {
    long x, y;
};

// The top left corner of a window the size of `window` centred on `around`, and kept
// inside `area` (the work area of the monitor it opens on) as far as it fits: a window
// larger than the area keeps its top left corner inside.
PlacePoint CentredPlace(const PlaceRect& window, const PlaceRect& around, const PlaceRect& area);
