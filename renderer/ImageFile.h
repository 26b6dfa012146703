// Writes pictures as PNG (stb_image_write) or BMP, 24-bit colour or 8-bit
// grey, the format chosen by the file name's extension. A file appears whole
// or not at all: bytes go to a temporary name beside it, then a rename.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ImageFormat { Png, Bmp };

// The format a file name asks for: ".png" or ".bmp", in any case. False for
// any other name.
bool ImageFormatOf(const std::string& path, ImageFormat& format);

// Whether a picture can be written at path, found out before any work: the
// folder exists and takes a new file (the writer's own temporary, created and
// removed at once), and path is no folder itself. The message says why not.
bool CheckWritable(const std::string& path, std::string& error);

// pixels: width * height * channels bytes, top row first; 3 channels are
// RGB, 1 is grey. On failure returns false with a message in error and
// leaves nothing behind.
bool WriteImageFile(const std::string& path, int width, int height, const std::vector<uint8_t>& pixels,
                    int channels, ImageFormat format, std::string& error);

// The memory blocks writing such a picture holds at its peak, in bytes: an
// upper bound (PNG's deflate output may grow past its input before it is cut
// back). BMP goes out row by row.
std::vector<uint64_t> ImageWriteBlocks(int width, int height, int channels, ImageFormat format);

// Draws text in the given colour with its top-left corner at (x, y), each
// font pixel scale x scale image pixels (stb_easy_font's bitmap font).
void DrawLabel(std::vector<uint8_t>& rgb, int width, int height, int x, int y, const std::string& text, int scale,
               const uint8_t colour[3]);

// Width in image pixels of text drawn at that scale.
int LabelWidth(const std::string& text, int scale);
