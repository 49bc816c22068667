#include "ui/common_controls.h"

namespace rk {
namespace {

template <typename Function> void resolve(HMODULE module, const char* name, WORD ordinal, Function& function)
{
    FARPROC found = ::GetProcAddress(module, name);
    // Exported by ordinal only before version 6.
    if (!found)
        found = ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

SubclassFunctions load()
{
    SubclassFunctions functions;
    // The manifest's activation context picks version 6; the search stays in the
    // system folder, never the application's.
    HMODULE module = ::LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows 7 without its loader update refuses the flag.
    if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER)
        module = ::LoadLibraryW(L"comctl32.dll");
    if (!module)
        return functions;
    resolve(module, "SetWindowSubclass", 410, functions.set);
    resolve(module, "RemoveWindowSubclass", 412, functions.remove);
    resolve(module, "DefSubclassProc", 413, functions.defaultProcedure);
    if (!functions.set || !functions.remove || !functions.defaultProcedure)
        return SubclassFunctions();
    return functions;
}

} // namespace

const SubclassFunctions& commonControls()
{
    static const SubclassFunctions functions = load(); // thread-safe once
    return functions;
}

} // namespace rk
