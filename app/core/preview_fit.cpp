#include "app/core/preview_fit.h"

PreviewFit fitPreview(int left, int top, int right, int bottom,
                      uint32_t imageWidth, uint32_t imageHeight, int outlineWidth)
{
    PreviewFit fit;
    // 64-bit products: a large page times a large frame must not wrap.
    const int64_t W = int64_t(right) - left;
    const int64_t H = int64_t(bottom) - top;
    const int64_t w = imageWidth;
    const int64_t h = imageHeight;
    int64_t drawnW = W;
    int64_t drawnH = H;
    if (w > 0 && h > 0 && W > 0 && H > 0) {
        fit.fitted = true;
        if (h * W >= w * H) {
            drawnH = H;
            drawnW = w * H / h;
        } else {
            drawnW = W;
            drawnH = h * W / w;
        }
    }
    fit.picture.width = int(drawnW);
    fit.picture.height = int(drawnH);
    fit.picture.x = int(left + (W - drawnW) / 2);
    fit.picture.y = int(top + (H - drawnH) / 2);
    const int t = outlineWidth < 1 ? 1 : outlineWidth > 64 ? 64 : outlineWidth;
    fit.outlineWidth = t;
    fit.outline = {fit.picture.x - t, fit.picture.y - t, fit.picture.width + 2 * t, fit.picture.height + 2 * t};
    return fit;
}
