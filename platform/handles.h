#pragma once
// Owners for the kernel, file, search, registry, module and GDI handles.

#include "platform/unique_any.h"
#include <windows.h>

namespace rk {

struct HandleTraits {
    using Type = HANDLE;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};

// CreateFile and FindFirstFile report failure as INVALID_HANDLE_VALUE, not null.
struct FileTraits {
    using Type = HANDLE;
    static Type empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};

struct FindTraits {
    using Type = HANDLE;
    static Type empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::FindClose(h); }
};

struct HKeyTraits {
    using Type = HKEY;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::RegCloseKey(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::FreeLibrary(h); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DeleteObject(h); }
};

struct UpdateResourceTraits {
    using Type = HANDLE;
    static Type empty() noexcept { return nullptr; }
    // Closing without committing throws the pending changes away.
    static void close(Type h) noexcept { ::EndUpdateResourceW(h, TRUE); }
};

using UniqueHandle = UniqueAny<HandleTraits>;
using UniqueFile = UniqueAny<FileTraits>;
using UniqueFindHandle = UniqueAny<FindTraits>;
using UniqueHKey = UniqueAny<HKeyTraits>;
using UniqueModule = UniqueAny<ModuleTraits>;
using UniqueGdiObject = UniqueAny<GdiObjectTraits>;
using UniqueResourceUpdate = UniqueAny<UpdateResourceTraits>;

} // namespace rk
