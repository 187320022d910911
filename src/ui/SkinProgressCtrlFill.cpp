#include "ui/SkinProgressCtrlFill.h"

bool progressRangeDrawable(int lower, int upper)
{
    return lower < upper;
}

double progressFraction(int pos, int lower, int upper)
{
    if (!progressRangeDrawable(lower, upper))
        return 0.0;
    // In double, so that no difference of two 32-bit values can overflow.
    double f = (static_cast<double>(pos) - lower) / (static_cast<double>(upper) - lower);
    if (f < 0.0)
        return 0.0;
    if (f > 1.0)
        return 1.0;
    return f;
}

int progressFillExtent(int extent, double fraction)
{
    if (extent <= 0 || fraction <= 0.0)
        return 0;
    if (fraction >= 1.0)
        return extent;
    return static_cast<int>(extent * fraction); // truncates toward zero
}
