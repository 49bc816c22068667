#include "tests/run/screen_capture.h"

#include "core/path_helpers.h"
#include "platform/com_ptr.h"
#include "tests/e2e/e2e_support.h"

#include <algorithm>
#include <cstdio>
#include <wincodec.h>

namespace rk::test {
namespace {

ComPtr<IWICImagingFactory> imagingFactory()
{
    ComPtr<IWICImagingFactory> factory;
    ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                       reinterpret_cast<void**>(factory.put()));
    return factory;
}

// COM for the calling thread while the object lives.
struct ComScope {
    ComScope() : ok(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope()
    {
        if (ok)
            ::CoUninitialize();
    }
    bool ok;
};

RECT clipped(const Image& image, const RECT& area)
{
    return RECT{std::max<LONG>(area.left, 0), std::max<LONG>(area.top, 0), std::min<LONG>(area.right, image.width),
                std::min<LONG>(area.bottom, image.height)};
}

} // namespace

std::uint32_t Image::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0xFF000000u;
    return pixels[static_cast<std::size_t>(y) * width + x];
}

Image captureScreen()
{
    Image image;
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    HDC screen = ::GetDC(nullptr);
    if (!screen)
        return image;
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        ::GdiFlush();
        ::SelectObject(memory, old);
        const auto* first = static_cast<const std::uint32_t*>(bits);
        image.width = width;
        image.height = height;
        image.pixels.assign(first, first + static_cast<std::size_t>(width) * height);
        for (std::uint32_t& pixel : image.pixels)
            pixel &= 0x00FFFFFFu;
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    if (memory)
        ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return image;
}

Image loadPng(const std::wstring& path)
{
    Image image;
    ComScope com;
    ComPtr<IWICImagingFactory> factory = imagingFactory();
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    UINT width = 0;
    UINT height = 0;
    if (!factory ||
        FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnLoad,
                                                  decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0)
        return image;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size() * 4),
                                     reinterpret_cast<BYTE*>(pixels.data()))))
        return image;
    for (std::uint32_t& pixel : pixels)
        pixel &= 0x00FFFFFFu;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels = std::move(pixels);
    return image;
}

bool savePng(const Image& image, const std::wstring& path)
{
    if (image.empty())
        return false;
    ComScope com;
    ComPtr<IWICImagingFactory> factory = imagingFactory();
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    createFolderChain(path);
    if (!factory || FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.put(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height))) ||
        FAILED(frame->SetPixelFormat(&format)))
        return false;
    std::vector<std::uint32_t> pixels = image.pixels;
    const UINT stride = static_cast<UINT>(image.width) * 4;
    return SUCCEEDED(frame->WritePixels(static_cast<UINT>(image.height), stride, static_cast<UINT>(pixels.size() * 4),
                                        reinterpret_cast<BYTE*>(pixels.data()))) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

Image saveScreenshot(const std::wstring& name, std::wstring& path)
{
    Image image = captureScreen();
    path = e2e::buildDir() + L"artifacts\\" + name + L".png";
    if (!savePng(image, path))
        path.clear();
    return image;
}

std::wstring saveScreenshot(const std::wstring& name)
{
    std::wstring path;
    saveScreenshot(name, path);
    return path;
}

int countColour(const Image& image, const RECT& area, std::uint32_t colour, int tolerance)
{
    auto within = [tolerance](std::uint32_t a, std::uint32_t b) {
        for (int shift : {16, 8, 0}) {
            const int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
            if (difference > tolerance || difference < -tolerance)
                return false;
        }
        return true;
    };
    const RECT inside = clipped(image, area);
    int count = 0;
    for (int y = inside.top; y < inside.bottom; ++y) {
        for (int x = inside.left; x < inside.right; ++x)
            count += within(image.at(x, y), colour) ? 1 : 0;
    }
    return count;
}

bool differIn(const Image& a, const Image& b, const RECT& area)
{
    const RECT inside = clipped(a, area);
    for (int y = inside.top; y < inside.bottom; ++y) {
        for (int x = inside.left; x < inside.right; ++x) {
            if (a.at(x, y) != b.at(x, y))
                return true;
        }
    }
    return false;
}

std::string colourText(std::uint32_t colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(colour & 0xFFFFFFu));
    return text;
}

} // namespace rk::test
