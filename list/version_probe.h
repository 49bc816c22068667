#pragma once
// The version probe document: a "ver" element followed by "url" elements of
// plain text. Read as text, not as XML. Any thread.

#include "list/update_list.h"

#include <string>
#include <string_view>
#include <vector>

namespace rk {

struct VersionProbe {
    std::wstring version;           // after the first "<ver>" up to the next "<"
    std::vector<std::wstring> urls; // after each "<url>" up to the next "<", in order
    // False for a text cut short: a value that runs to the end of the text
    // (no "<" after it), or a text that does not end with ">".
    bool complete = true;
};

// Trims the text and accepts the tags spelt "Ver"/"VER" and "URL"/"Url".
VersionProbe parseVersionProbe(const std::wstring& text);
// The bytes are text in the thread's ANSI code page.
VersionProbe parseVersionProbeBytes(std::string_view bytes);

// Sets probeVersion and probeUrls of the list from the probe.
void applyVersionProbe(const VersionProbe& probe, DownLoadList& list);

} // namespace rk
