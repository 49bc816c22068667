#pragma once
// The small borderless progress window: an animated background and strip, a
// percentage label, and the update run on a worker thread of its own. It
// enters itself as a host window to receive stage, progress and status
// messages, and when the run is over decides what follows. A full update that
// failed shows why (the last status text) for a few seconds, or until a click
// or a key, before it goes on. Pictures and buttons follow the window's DPI.
// Created, shown and destroyed on the main thread; the worker only sends to its window.

#include "platform/handles.h"
#include "ui/dialog_sk.h"
#include "ui/picture_button.h"
#include "ui/picture_ex.h"

#include <functional>
#include <string>

namespace rk {

// What the window runs: a full update, a check only, or the check of an entry
// run followed by its question.
enum class RunKind { FullUpdate = 0, CheckOnly = 1, EntryCheck = 2 };

namespace progress_ids {
constexpr int kDialog = 171;
constexpr int kPercent = 165;
constexpr int kBackground = 166;
constexpr int kStrip = 167;
constexpr int kMinimise = 170;
constexpr int kMinimiseHidden = 160;
constexpr int kStatusLine = 169; // hidden until a failed run shows its status text
} // namespace progress_ids

// How long a failed full update shows its status text unless clicked away.
constexpr unsigned kFailureShownMs = 5000;

class CDlgMostSimple : public CDialogSK {
public:
    // fullUpdate runs the full update in a progress window of its own: the
    // entry question's Yes.
    CDlgMostSimple(RunKind kind, HWND owner, std::function<void()> fullUpdate = {});

    int percent() const { return m_percent; }
    // True while a failed run shows its status text.
    bool showingFailure() const { return m_showingFailure; }

protected:
    BOOL onInitDialog() override;
    void onCommand(int id, int code, HWND control) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void onDestroy() override;

private:
    void startWorker();
    void showPercent();
    void endOfRun();
    void showFailure();
    void finishRun();
    void onDpiChanged(int dpi);

    CPictureEx m_background;
    CPictureEx m_strip;
    CPictureButton m_minimise;
    CPictureButton m_minimiseHidden;

    RunKind m_kind;
    std::wstring m_statusText;
    int m_updateStatus = 0;
    long m_total = 0;
    long m_done = 0;
    int m_percent = 1;

    std::function<void()> m_fullUpdate;
    void* m_previousMainWindow = nullptr;
    bool m_runOver = false;
    bool m_showingFailure = false;
    bool m_finished = false;
    UniqueGdiObject m_labelBrush;
};

} // namespace rk
