#include "tools/converter/demo_page.h"

#include <algorithm>
#include <cmath>

namespace {

void fillRect(Page& p, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min<int>(x1, int(p.width));
    y1 = std::min<int>(y1, int(p.height));
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = &p.bgr[size_t(y) * p.width * 3];
        for (int x = x0; x < x1; ++x) {
            row[x * 3] = b;
            row[x * 3 + 1] = g;
            row[x * 3 + 2] = r;
        }
    }
}

} // namespace

Page renderPage(uint32_t width, uint32_t height, int number)
{
    Page p{width, height, std::vector<uint8_t>(size_t(width) * height * 3, 0xFF)};
    const int m = int(width) / 12;                    // margin
    const int unit = std::max<int>(2, int(width) / 200);
    int y = m;
    fillRect(p, m, y, int(width) * 2 / 3, y + unit * 6, 0x20, 0x30, 0x60);  // heading
    y += unit * 12;

    const int pictureW = int(width) / 2 - m;
    const int pictureH = int(height) / 4;
    const int pictureX = int(width) - m - pictureW;
    const int pictureY = y;
    uint32_t seed = 12345u + uint32_t(number) * 777u;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    while (y < int(height) - m * 2) {
        // One paragraph of lines; lines beside the picture are shorter.
        for (int line = 0; line < 6 && y < int(height) - m * 2; ++line) {
            int right = (y >= pictureY - unit && y < pictureY + pictureH + unit) ? pictureX - unit * 4
                                                                                   : int(width) - m;
            if (line == 5)
                right = m + (right - m) / 2;
            int x = m;
            while (x < right) {
                int word = unit * (3 + int(next() % 9));
                fillRect(p, x, y, std::min(x + word, right), y + unit * 2, 0x28, 0x28, 0x28);
                x += word + unit * 2;
            }
            y += unit * 4;
        }
        y += unit * 4;
    }
    // The picture: a sky gradient, a sun and two hills.
    for (int py = 0; py < pictureH; ++py) {
        for (int px = 0; px < pictureW; ++px) {
            uint8_t r = uint8_t(90 + 100 * py / pictureH), g = uint8_t(150 + 80 * py / pictureH), b = 240;
            int dx = px - pictureW * 3 / 4, dy = py - pictureH / 3;
            if (dx * dx + dy * dy < (pictureH / 6) * (pictureH / 6)) {
                r = 250;
                g = 200;
                b = 40;
            }
            int hill1 = pictureH * 2 / 3 + (px - pictureW / 3) * (px - pictureW / 3) / std::max(1, pictureW * 2);
            int hill2 = pictureH * 3 / 4 + (px - pictureW) * (px - pictureW) / std::max(1, pictureW * 3);
            if (py > hill1 || py > hill2) {
                r = 40;
                g = uint8_t(120 + 60 * px / pictureW);
                b = 50;
            }
            fillRect(p, pictureX + px, pictureY + py, pictureX + px + 1, pictureY + py + 1, r, g, b);
        }
    }
    fillRect(p, pictureX - 1, pictureY - 1, pictureX + pictureW + 1, pictureY, 0, 0, 0);
    // A signature above the footer: a wave one pixel wide (its pixels touch
    // only at corners where it runs flat) and a ring with a dot inside.
    const int base = int(height) - m - m / 2;
    const int amplitude = std::max(2, m / 6);
    int previous = base;
    for (int x = m; x < m + int(width) / 4; ++x) {
        const double t = double(x - m) / std::max(1, m / 3);
        const int yy = base + int(amplitude * std::sin(t) * std::cos(t / 3));
        const int from = yy > previous ? previous + 1 : yy, to = yy < previous ? previous - 1 : yy;
        fillRect(p, x, from, x + 1, to + 1, 0x10, 0x20, 0x70);
        previous = yy;
    }
    const int cx = m + int(width) / 4 + m / 3, radius = std::max(3, m / 5);
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int d = dx * dx + dy * dy;
            if ((d <= radius * radius && d >= (radius - unit / 2 - 1) * (radius - unit / 2 - 1)) || d <= unit * unit / 4)
                fillRect(p, cx + dx, base + dy, cx + dx + 1, base + dy + 1, 0x10, 0x20, 0x70);
        }
    // Footer: a rule and the page number as a row of blocks.
    fillRect(p, m, int(height) - m, int(width) - m, int(height) - m + unit / 2 + 1, 0x80, 0x80, 0x80);
    for (int i = 0; i < number; ++i)
        fillRect(p, int(width) / 2 + i * unit * 4, int(height) - m + unit * 2, int(width) / 2 + i * unit * 4 + unit * 3,
                 int(height) - m + unit * 5, 0xC0, 0x20, 0x20);
    return p;
}

