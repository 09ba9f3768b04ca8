// Where a dialog opens on its owner's monitor: centred on the owner, kept inside that
// monitor's work area (a regression guard: once every dialog was kept inside the
// primary monitor's, away from an owner on a second one).
#include "framework/placement.h"

#include <gtest/gtest.h>

namespace {

TEST(CentredPlace, OnTheOwnersMonitor) {
    const PlaceRect window{0, 0, 400, 300};
    struct {
        const char* what;
        PlaceRect around, area;
        long x, y;
    } cases[] = {
        {"over the owner", {200, 150, 800, 650}, {0, 0, 1920, 1040}, 300, 250},
        {"an owner on a second monitor", {2400, 100, 3000, 600}, {1920, 0, 3200, 984}, 2500, 200},
        {"an owner on a monitor left of the primary, at its edge", {-300, 700, 300, 1100}, {-1280, 0, 0, 984},
         -400, 684},
        {"larger than the work area", {0, 0, 200, 100}, {0, 0, 300, 200}, 0, 0},
    };
    for (const auto& c : cases) {
        const PlacePoint place = CentredPlace(window, c.around, c.area);
        EXPECT_EQ(place.x, c.x) << c.what;
        EXPECT_EQ(place.y, c.y) << c.what;
    }
}

}  // namespace
