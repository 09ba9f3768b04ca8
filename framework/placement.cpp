#include "framework/placement.h"

namespace {

// Where a span of `size` centred on [from, to) starts, kept inside [low, high) as far
// as it fits (its start first).
long CentredStart(long size, long from, long to, long low, long high) {
    long start = from + (to - from - size) / 2;
    if (start + size > high) start = high - size;
    if (start < low) start = low;
    return start;
}

}  // namespace

PlacePoint CentredPlace(const PlaceRect& window, const PlaceRect& around, const PlaceRect& area) {
    return {CentredStart(window.right - window.left, around.left, around.right, area.left, area.right),
            CentredStart(window.bottom - window.top, around.top, around.bottom, area.top, area.bottom)};
}
