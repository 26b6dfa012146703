#include "renderer/ImageFile.h"

#include <windows.h>

#include <cstdio>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>
#include <stb_easy_font.h>

namespace {

void AppendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

}  // namespace

bool WriteImageFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                    ImageFormat format, std::string& error) {
    // Encode in memory first: an encoder failure touches no file.
    std::vector<uint8_t> encoded;
    int ok = format == ImageFormat::Png
                 ? stbi_write_png_to_func(AppendBytes, &encoded, width, height, 3, rgb.data(), width * 3)
                 : stbi_write_bmp_to_func(AppendBytes, &encoded, width, height, 3, rgb.data());
    if (!ok) {
        error = "cannot encode the image for '" + path + "'";
        return false;
    }

    std::string temporary = path + ".tmp" + std::to_string(GetCurrentProcessId());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write '" + path + "': the folder is missing or not writable";
        return false;
    }
    bool written = std::fwrite(encoded.data(), 1, encoded.size(), file) == encoded.size();
    written = (std::fclose(file) == 0) && written;
    if (!written) {
        std::remove(temporary.c_str());
        error = "cannot write '" + path + "': the disk refused the data";
        return false;
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        std::remove(temporary.c_str());
        error = "cannot write '" + path + "' (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}

int LabelWidth(const std::string& text, int scale) {
    std::string copy = text;
    return stb_easy_font_width(copy.data()) * scale;
}

void DrawLabel(std::vector<uint8_t>& rgb, int width, int height, int x, int y, const std::string& text, int scale,
               const uint8_t colour[3]) {
    // The font comes as quads of four vertices (x, y, z floats and 4 colour bytes each).
    struct Vertex {
        float x, y, z;
        unsigned char rgba[4];
    };
    static_assert(sizeof(Vertex) == 16, "stb_easy_font's vertex layout");
    std::vector<Vertex> vertices(text.size() * 270 + 4);
    std::string copy = text;
    unsigned char white[4] = {255, 255, 255, 255};
    int quads = stb_easy_font_print(0, 0, copy.data(), white, vertices.data(),
                                    static_cast<int>(vertices.size() * sizeof(Vertex)));
    for (int q = 0; q < quads; ++q) {
        const Vertex& a = vertices[q * 4];
        const Vertex& c = vertices[q * 4 + 2];
        for (int fy = static_cast<int>(a.y) * scale; fy < static_cast<int>(c.y) * scale; ++fy) {
            for (int fx = static_cast<int>(a.x) * scale; fx < static_cast<int>(c.x) * scale; ++fx) {
                int px = x + fx, py = y + fy;
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                uint8_t* pixel = &rgb[(static_cast<size_t>(py) * width + px) * 3];
                pixel[0] = colour[0], pixel[1] = colour[1], pixel[2] = colour[2];
            }
        }
    }
}
