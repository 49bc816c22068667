#pragma once
// The test host's record: one JSON line for each message of the updater and
// each thing the host saw or did, numbered in order ("seq").

#include <windows.h>

#include <cstdio>
#include <string>

// Messages the updater sends to a host window.
// Messages the updater sends to a host window.
constexpr UINT kStage = 1974;       // wParam stage, lParam update file count
constexpr UINT kLogLine = 1975;     // wParam address of the line in our memory
constexpr UINT kProgress = 1976;    // wParam completed files, lParam update file count
constexpr UINT kDescription = 1977; // wParam address of the release notes in our memory
constexpr UINT kStatusText = 0x410; // wParam address of the text, lParam chosen by the sender

extern FILE* g_record; // the record file, open for the whole run
extern int g_sequence; // the number of the last line written

// A "note" line.
void recordNote(const char* note);
// The text as a JSON string, quotes included; beyond ASCII as \u escapes.
std::string json(const std::wstring& text);
// The zero-ended text the updater wrote into this process at the address.
std::wstring textAt(WPARAM address);
// A line for a message of the updater, with the window's stage and count properties.
void recordMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool hasText);
