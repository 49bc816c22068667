#include "host_record.h"

FILE* g_record = nullptr;
int g_sequence = 0;

void recordNote(const char* note)
{
    std::fprintf(g_record, "{\"seq\":%d,\"note\":\"%s\"}\n", ++g_sequence, note);
    std::fflush(g_record);
}

std::string json(const std::wstring& text)
{
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out + "\"";
}

// Reads a zero-ended text the updater wrote into this process. The address
// comes from another program, so it is read defensively.
std::wstring textAt(WPARAM address)
{
    std::wstring text;
    if (address == 0)
        return text;
    const wchar_t* p = reinterpret_cast<const wchar_t*>(address);
    for (size_t i = 0; i < 65536; ++i) {
        wchar_t c = 0;
        SIZE_T got = 0;
        if (!::ReadProcessMemory(::GetCurrentProcess(), p + i, &c, sizeof c, &got) || got != sizeof c || c == 0)
            break;
        text += c;
    }
    return text;
}

void recordMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool hasText)
{
    long long stage = reinterpret_cast<long long>(::GetPropW(window, L"renewkit.exe"));
    long long count = reinterpret_cast<long long>(::GetPropW(window, L"updatefilecount"));
    std::fprintf(g_record, "{\"seq\":%d,\"msg\":%u,\"wparam\":%llu,\"lparam\":%lld", ++g_sequence, message,
                 static_cast<unsigned long long>(wParam), static_cast<long long>(lParam));
    if (hasText) {
        std::wstring text = textAt(wParam);
        std::fprintf(g_record, ",\"text\":%s,\"length\":%zu", json(text).c_str(), text.size());
    }
    std::fprintf(g_record, ",\"prop_stage\":%lld,\"prop_count\":%lld}\n", stage, count);
    std::fflush(g_record);
}
