#include "transfer/download_bound.h"

BoundBreach CheckBound(const DownloadBound& bound, BoundStage stage, uint64_t count) {
    const bool exact = bound.exact.has_value();
    switch (stage) {
    case BoundStage::kStart:
        return exact && *bound.exact > bound.most ? BoundBreach::kExactBeyondMost : BoundBreach::kNone;
    case BoundStage::kAnnounced:
        if (count > bound.most) return BoundBreach::kAnnouncedBeyondMost;
        return exact && count != *bound.exact ? BoundBreach::kAnnouncedNotExact : BoundBreach::kNone;
    case BoundStage::kReceived:
    case BoundStage::kEnded:
        if (count > bound.most) return BoundBreach::kBeyondMost;
        if (exact && count > *bound.exact) return BoundBreach::kBeyondExact;
        return stage == BoundStage::kEnded && exact && count < *bound.exact ? BoundBreach::kShortOfExact
                                                                            : BoundBreach::kNone;
    }
    return BoundBreach::kNone;
}
