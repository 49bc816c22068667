#include "core/app_directory.h"

#include "platform/files.h"

#include <mutex>

namespace rk {
namespace {

std::mutex g_mutex; // guards g_directory; written once at start-up, read from every thread
std::wstring g_directory;

} // namespace

std::wstring programFolder()
{
    std::wstring module = moduleFileName();
    size_t slash = module.rfind(L'\\');
    if (slash == std::wstring::npos)
        return {};
    return module.substr(0, slash);
}

std::wstring applicationDirectory()
{
    std::lock_guard<std::mutex> guard(g_mutex);
    if (g_directory.empty()) {
        std::wstring folder = programFolder();
        if (!folder.empty())
            g_directory = folder + L"\\";
    }
    return g_directory;
}

void setApplicationDirectory(const std::wstring& folder)
{
    std::lock_guard<std::mutex> guard(g_mutex);
    g_directory = folder;
    if (!g_directory.empty() && g_directory.back() != L'\\')
        g_directory += L'\\';
}

} // namespace rk
