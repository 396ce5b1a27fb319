// The demo's pages: drawn by the converter stand-in instead of a printed
// document. Portable, so that the encoder's tests use the same pages.
#pragma once

#include <cstdint>
#include <vector>

struct Page {
    uint32_t width, height;
    std::vector<uint8_t> bgr;  // packed rows from the top: blue, green, red
};

// A page that reads as a document at a glance: a heading, paragraphs of
// "words", a colour picture (sky, sun, hills), a hand-drawn signature and a
// footer with the page number as a row of blocks.
Page renderPage(uint32_t width, uint32_t height, int number);
