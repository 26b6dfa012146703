// Writes images as PNG or 24-bit BMP (stb_image_write). The file appears
// whole or not at all: bytes go to a temporary name beside it, then a rename.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ImageFormat { Png, Bmp };

// rgb: width * height * 3 bytes, top row first. On failure returns false
// with a message in error and leaves nothing behind.
bool WriteImageFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                    ImageFormat format, std::string& error);

// Draws text in the given colour with its top-left corner at (x, y), each
// font pixel scale x scale image pixels (stb_easy_font's bitmap font).
void DrawLabel(std::vector<uint8_t>& rgb, int width, int height, int x, int y, const std::string& text, int scale,
               const uint8_t colour[3]);

// Width in image pixels of text drawn at that scale.
int LabelWidth(const std::string& text, int scale);
