#pragma once
// How much of the skin progress bar is filled: the geometry behind its
// painting and its repaint economy, kept apart from the window.

// The filled share of the range for drawing: (pos - lower) / (upper - lower),
// clamped to 0..1 so that positions outside the range draw as the nearest
// end. An empty or inverted range (lower not below upper) gives 0.
double progressFraction(int pos, int lower, int upper);

// True when the range can be drawn at all (lower below upper).
bool progressRangeDrawable(int lower, int upper);

// The filled part of `extent` pixels: trunc(extent * fraction), 0..extent.
int progressFillExtent(int extent, double fraction);
