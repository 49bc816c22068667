#include "core/process_state.h"

#include <atomic>
#include <mutex>

namespace rk {
namespace {

std::atomic<bool> g_elevated{false};
std::atomic<long> g_attempts{3};
std::mutex g_nameMutex; // guards g_baseName
std::wstring g_baseName = L"renewkit";
std::atomic<void*> g_mainWindow{nullptr};

} // namespace

bool isElevated() { return g_elevated.load(); }
void setElevated(bool elevated) { g_elevated.store(elevated); }

std::wstring programBaseName()
{
    std::lock_guard<std::mutex> guard(g_nameMutex);
    return g_baseName;
}

void setProgramBaseName(const std::wstring& name)
{
    std::lock_guard<std::mutex> guard(g_nameMutex);
    g_baseName = name;
}

void* mainWindow() { return g_mainWindow.load(); }
void setMainWindow(void* window) { g_mainWindow.store(window); }

long connectionAttempts() { return g_attempts.load(); }
void setConnectionAttempts(long attempts) { g_attempts.store(attempts); }

} // namespace rk
