#pragma once
// The main window's controls as designed: rectangles in the window's client
// area (the loading picture and its caption: inside the content panel and the
// loading picture).

#include "app/ProgramRow.h"

namespace box::layout {

inline constexpr Rect kWindow{50, 50, 964, 700};

inline constexpr Rect kHeaderBase{0, 0, 1088, 88};
inline constexpr Rect kHelpPicture{16, 0, 64, 64};
inline constexpr Rect kHelpLink{16, 64, 64, 24};
inline constexpr Rect kContactPicture{104, 0, 64, 64};
inline constexpr Rect kContactLink{104, 64, 64, 24};
inline constexpr Rect kHomePicture{192, 0, 64, 64};
inline constexpr Rect kHomeLink{192, 64, 64, 24};
inline constexpr Rect kVipPicture{280, 0, 64, 64};
inline constexpr Rect kVipLink{280, 64, 64, 24};
inline constexpr Rect kSitePicture{384, 12, 195, 64};
inline constexpr Rect kDownloadAllButton{616, 8, 320, 36};
inline constexpr Rect kSearchBox{616, 46, 320, 36};
inline constexpr Rect kSearchResults{616, 88, 320, 576};
inline constexpr Rect kSeparator{0, 88, 2000, 2};
inline constexpr Rect kViewport{0, 90, 952, 390};
inline constexpr Rect kContentPanel{0, 0, 944, 238};
inline constexpr Rect kHorizontalBar{536, 180, 80, 20};
inline constexpr Rect kVerticalBar{616, 136, 20, 64};
inline constexpr Rect kLoadingPicture{16, 54, 664, 200};
inline constexpr Rect kLoadingCaption{200, 87, 392, 24};

// Timer periods in milliseconds.
inline constexpr int kPendingDeletionPeriod = 1000;
inline constexpr int kSearchHitDelay = 500;
inline constexpr int kHeaderAnimationPeriod = 20;
inline constexpr int kDownloadPeriod = 1000;

}  // namespace box::layout
