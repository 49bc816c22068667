#pragma once
// What the test host watches of the updater's own windows while it runs: its
// message boxes (answered as told), the progress window's label, buttons and
// failure line, and the screenshots and file copies asked for at a stage or a
// count of completed files. Everything is recorded (host_record.h).

#include <windows.h>

#include <string>
#include <vector>

// What the watch timer does with the updater's own windows.
struct Watch {
    DWORD updaterPid = 0;
    std::vector<std::wstring> answers; // consumed in order, one per message box
    bool watchProgress = false;
    long clickAtProgress = -1;
    bool clicked = false;
    struct Shot {
        long at;
        std::wstring path;
        bool taken;
    };
    std::vector<Shot> stageShots; // each taken once, the first time its moment comes
    struct Copy {
        long at;
        long nth;
        std::wstring from, to;
        long seen;
    };
    std::vector<Copy> stageCopies; // each made once, the first time its stage comes
    std::vector<Shot> progressShots;
    std::wstring failureShot;
    bool clickFailure = false;
    bool failureSeen = false;
    std::wstring lastLabel;
    std::vector<HWND> answered;
    bool active() const { return !answers.empty() || watchProgress || !failureShot.empty() || clickFailure; }
};
extern Watch g_watch;
extern HWND g_host; // the host window, whose properties carry the stage

// Each tick of the watch timer: the failure line and message boxes.
void watchUpdater();
// Inside the updater's stage and progress sends, so its window stays as it is.
void atStage(long stage);
void atProgress(long completed);
