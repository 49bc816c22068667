#include "ui/picture.h"

#include "ui/gdi.h"

#include <cstring>

namespace rk {

std::vector<std::uint8_t> resourceBytes(int id, const wchar_t* type)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found)
        return {};
    DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return {};
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    return std::vector<std::uint8_t>(first, first + size);
}

PicturePtr loadPicture(const std::uint8_t* data, std::size_t size)
{
    if (!data || size == 0 || size > 0x7FFFFFFF)
        return {};
    UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!memory)
        return {};
    void* target = ::GlobalLock(memory.get());
    if (!target)
        return {};
    std::memcpy(target, data, size);
    ::GlobalUnlock(memory.get());

    // The stream does not own the memory: the owner above frees it after the
    // loader has read everything it keeps.
    ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(memory.get(), FALSE, stream.put())))
        return {};
    PicturePtr picture;
    if (FAILED(::OleLoadPicture(stream.get(), static_cast<LONG>(size), FALSE, IID_IPicture,
                                reinterpret_cast<void**>(picture.put()))))
        return {};
    return picture;
}

int himetricToPixels(long himetric, int pixelsPerInch)
{
    return ::MulDiv(static_cast<int>(himetric), pixelsPerInch, 2540);
}

SIZE pictureSizePixels(IPicture* picture)
{
    SIZE size{0, 0};
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    if (!picture || FAILED(picture->get_Width(&width)) || FAILED(picture->get_Height(&height)))
        return size;
    WindowDc screen(nullptr);
    size.cx = himetricToPixels(width, ::GetDeviceCaps(screen.get(), LOGPIXELSX));
    size.cy = himetricToPixels(height, ::GetDeviceCaps(screen.get(), LOGPIXELSY));
    return size;
}

bool renderPicture(IPicture* picture, HDC dc, int x, int y, int width, int height)
{
    OLE_XSIZE_HIMETRIC hmWidth = 0;
    OLE_YSIZE_HIMETRIC hmHeight = 0;
    if (!picture || FAILED(picture->get_Width(&hmWidth)) || FAILED(picture->get_Height(&hmHeight)))
        return false;
    // HIMETRIC runs upwards: start at the bottom and go up by the height.
    return SUCCEEDED(picture->Render(dc, x, y, width, height, 0, hmHeight, hmWidth, -hmHeight, nullptr));
}

} // namespace rk
