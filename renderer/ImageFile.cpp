#include "renderer/ImageFile.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "renderer/SystemMessage.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>
#include <stb_easy_font.h>

namespace {

std::string TemporaryPath(const std::string& path) { return path + ".tmp" + std::to_string(GetCurrentProcessId()); }

// The folder part of a path, for messages ("." when there is none).
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Why a file could not be created at path, in words.
std::string CreateFailure(const std::string& path, DWORD code) {
    if (code == ERROR_PATH_NOT_FOUND)
        return "cannot write '" + path + "': the folder '" + FolderOf(path) + "' does not exist";
    return "cannot write '" + path + "': " + SystemMessage(code, path);
}

struct FileSink {
    HANDLE file;
    bool failed = false;
    DWORD code = 0;
};

void Put(FileSink& sink, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0 && !sink.failed) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30)), written = 0;
        if (!WriteFile(sink.file, bytes, chunk, &written, nullptr) || written != chunk) {
            sink.failed = true;
            sink.code = GetLastError();
        }
        bytes += chunk;
        size -= chunk;
    }
}

void PutToSink(void* context, void* data, int size) { Put(*static_cast<FileSink*>(context), data, size); }

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A bottom-up BMP, 24-bit BGR or 8-bit with a grey palette, written row by row.
void PutBmp(FileSink& sink, int width, int height, const uint8_t* pixels, int channels) {
    const uint32_t stride = (static_cast<uint32_t>(width) * channels + 3) & ~3u;
    const uint32_t palette = channels == 1 ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + palette;
    const uint32_t imageBytes = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> header;
    header.push_back('B'), header.push_back('M');
    PutLittleEndian(header, offset + imageBytes, 4);
    PutLittleEndian(header, 0, 4);
    PutLittleEndian(header, offset, 4);
    PutLittleEndian(header, 40, 4);  // BITMAPINFOHEADER
    PutLittleEndian(header, width, 4);
    PutLittleEndian(header, height, 4);  // positive: bottom row first
    PutLittleEndian(header, 1, 2);
    PutLittleEndian(header, channels * 8, 2);
    PutLittleEndian(header, 0, 4);  // BI_RGB
    PutLittleEndian(header, imageBytes, 4);
    PutLittleEndian(header, 2835, 4), PutLittleEndian(header, 2835, 4);  // 72 dpi
    PutLittleEndian(header, channels == 1 ? 256 : 0, 4), PutLittleEndian(header, 0, 4);
    for (uint32_t i = 0; i < palette / 4; ++i) PutLittleEndian(header, i * 0x010101u, 4);
    Put(sink, header.data(), header.size());

    std::vector<uint8_t> row(stride, 0);
    for (int y = height - 1; y >= 0 && !sink.failed; --y) {
        const uint8_t* source = pixels + static_cast<size_t>(y) * width * channels;
        if (channels == 1) {
            std::copy(source, source + width, row.begin());
        } else {
            for (int x = 0; x < width; ++x) {
                row[x * 3] = source[x * 3 + 2];
                row[x * 3 + 1] = source[x * 3 + 1];
                row[x * 3 + 2] = source[x * 3];
            }
        }
        Put(sink, row.data(), row.size());
    }
}

}  // namespace

bool ImageFormatOf(const std::string& path, ImageFormat& format) {
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find_first_of("\\/", dot) != std::string::npos) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "png") format = ImageFormat::Png;
    else if (extension == "bmp") format = ImageFormat::Bmp;
    else return false;
    return true;
}

bool CheckWritable(const std::string& path, std::string& error) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "cannot write '" + path + "': it is a folder";
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = "cannot write '" + path + "': the file is read-only";
        return false;
    }
    HANDLE probe = CreateFileA(TemporaryPath(path).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        error = CreateFailure(path, GetLastError());
        return false;
    }
    CloseHandle(probe);
    return true;
}

bool WriteImageFile(const std::string& path, int width, int height, const std::vector<uint8_t>& pixels,
                    int channels, ImageFormat format, std::string& error) {
    std::string temporary = TemporaryPath(path);
    FileSink sink{CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr)};
    if (sink.file == INVALID_HANDLE_VALUE) {
        error = CreateFailure(path, GetLastError());
        return false;
    }
    bool encoded = true;
    if (format == ImageFormat::Png)
        encoded = stbi_write_png_to_func(PutToSink, &sink, width, height, channels, pixels.data(),
                                         width * channels) != 0;
    else
        PutBmp(sink, width, height, pixels.data(), channels);
    bool closed = CloseHandle(sink.file) != 0;
    if (!encoded || sink.failed || !closed) {
        DeleteFileA(temporary.c_str());
        error = !encoded ? "cannot encode the picture for '" + path + "': out of memory"
                         : "cannot write '" + path + "': " + SystemMessage(sink.code, path);
        return false;
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DWORD code = GetLastError();
        DeleteFileA(temporary.c_str());
        error = "cannot write '" + path + "': " + SystemMessage(code, path);
        return false;
    }
    return true;
}

std::vector<uint64_t> ImageWriteBlocks(int width, int height, int channels, ImageFormat format) {
    const uint64_t row = static_cast<uint64_t>(width) * channels;
    if (format == ImageFormat::Bmp) return {row + 4};
    // stb filters the rows into one buffer, then deflates it into a buffer
    // that doubles as it grows (old and new alive while it moves); fixed
    // Huffman codes take at most 9 bits a byte; the hash chains stay small.
    const uint64_t filtered = (row + 1) * height;
    const uint64_t deflated = filtered + filtered / 8 + 64;
    return {filtered, deflated, 2 * deflated, 4u << 20};
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
