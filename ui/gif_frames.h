#pragma once
// Splits a GIF87a/GIF89a stream into its images, each rebuilt as a GIF of its
// own (screen descriptor, colour table, graphic control extension, image) that
// a picture loader can take. Pure code: bytes in, bytes out. Every read is
// bounded by the input; damaged data ends the split at the last whole image.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rk {

struct GifFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int delay = 0;    // hundredths of a second, from the graphic control extension
    int disposal = 0; // 0-3 as the extension gives it (0 without one)
    bool transparent = false;
    int transparentIndex = 0;
    bool localColourTable = false;
    bool interlaced = false;
    std::vector<std::uint8_t> stream; // the one-image GIF
};

struct GifImage {
    int screenWidth = 0;
    int screenHeight = 0;
    int backgroundIndex = 0;
    // RGB triples of the global colour table; empty without one.
    std::vector<std::uint8_t> globalColours;
    std::vector<GifFrame> frames;
    // The data ended or broke before the trailer; frames holds the whole images before it.
    bool damaged = false;
};

// True when the data starts with "GIF87a" or "GIF89a".
bool hasGifSignature(const std::uint8_t* data, std::size_t size);

// False when the data is no GIF or holds no whole image.
bool splitGif(const std::uint8_t* data, std::size_t size, GifImage& out);

// How long a frame stays: delay x 10 ms, or 100 ms when the delay is 4 or less.
int frameDelayMs(int delay);

} // namespace rk
