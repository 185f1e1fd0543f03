// Pictures the Windows-layer tests keep of what they drew, for a person to look at: BMP files
// in the folder that KELTO_TEST_PICTURES names (nothing is written when it is unset).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kelto::testing {

// A 32-bit picture, top row first, selected into a memory DC to draw on.
class DibPicture {
public:
    DibPicture(int width, int height) : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_ != nullptr) old_ = ::SelectObject(dc_, bitmap_);
    }
    ~DibPicture() {
        if (old_ != nullptr) ::SelectObject(dc_, old_);
        if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    DibPicture(const DibPicture&) = delete;
    DibPicture& operator=(const DibPicture&) = delete;

    HDC Dc() const { return dc_; }
    // What was drawn, as COLORREF values, top row first.
    std::vector<COLORREF> Pixels() const {
        std::vector<COLORREF> pixels;
        if (bits_ == nullptr) return pixels;
        ::GdiFlush();
        const auto* quads = static_cast<const RGBQUAD*>(bits_);
        for (int i = 0; i < width_ * height_; ++i)
            pixels.push_back(RGB(quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue));
        return pixels;
    }

private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

// Pixels top row first, as COLORREF values.
inline void KeepPicture(const std::string& name, int width, int height, const std::vector<COLORREF>& pixels) {
    char folder[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("KELTO_TEST_PICTURES", folder, sizeof folder) == 0) return;
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height) return;
    const std::string where = folder;
    for (size_t end = where.find_first_of("\\/", 3); end != std::string::npos;
         end = where.find_first_of("\\/", end + 1))
        ::CreateDirectoryA(where.substr(0, end).c_str(), nullptr);  // the folders above it
    ::CreateDirectoryA(folder, nullptr);
    const std::string path = std::string(folder) + "\\" + name + ".bmp";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = -height;  // top row first
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size() * 4);
    std::fwrite(&header, sizeof header, 1, file);
    std::fwrite(&info, sizeof info, 1, file);
    for (const COLORREF pixel : pixels) {
        const std::uint8_t bgrx[4] = {GetBValue(pixel), GetGValue(pixel), GetRValue(pixel), 0};
        std::fwrite(bgrx, 1, 4, file);
    }
    std::fclose(file);
}

// The window as it stands on the screen, once the thread's pending painting is done (where a
// display draws at all).
inline void KeepWindowPicture(const std::string& name, HWND window) {
    ::UpdateWindow(window);
    for (int round = 0; round < 20; ++round) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(10);
    }
    RECT r{};
    if (!::GetWindowRect(window, &r)) return;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return;
    DibPicture picture(width, height);
    HDC screen = ::GetDC(nullptr);
    const bool copied = ::BitBlt(picture.Dc(), 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
    ::ReleaseDC(nullptr, screen);
    if (copied) KeepPicture(name, width, height, picture.Pixels());
}

}  // namespace kelto::testing
