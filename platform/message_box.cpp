#include "platform/message_box.h"

#include <windows.h>

#include <atomic>

namespace rk {
namespace {

class SystemPrompter final : public Prompter {
public:
    MessageAnswer ask(void* owner, const std::wstring& text, const std::wstring& caption, MessageKind kind) override
    {
        UINT type = MB_OK;
        switch (kind) {
        case MessageKind::Ok:
            type = MB_OK;
            break;
        case MessageKind::YesNoQuestion:
            type = MB_YESNO | MB_ICONQUESTION;
            break;
        case MessageKind::YesNoCancelQuestion:
            type = MB_YESNOCANCEL | MB_ICONQUESTION;
            break;
        case MessageKind::OkExclamation:
            type = MB_OK | MB_ICONEXCLAMATION;
            break;
        case MessageKind::RetryCancel:
            type = MB_RETRYCANCEL;
            break;
        }
        switch (::MessageBoxW(static_cast<HWND>(owner), text.c_str(), caption.c_str(), type)) {
        case IDYES:
            return MessageAnswer::Yes;
        case IDNO:
            return MessageAnswer::No;
        case IDCANCEL:
            return MessageAnswer::Cancel;
        case IDRETRY:
            return MessageAnswer::Retry;
        default:
            return MessageAnswer::Ok;
        }
    }
};

SystemPrompter g_system;
std::atomic<Prompter*> g_current{nullptr};

} // namespace

Prompter& prompter()
{
    Prompter* p = g_current.load();
    return p ? *p : g_system;
}

void setPrompter(Prompter* replacement) { g_current.store(replacement); }

MessageAnswer showMessage(void* owner, const std::wstring& text, const std::wstring& caption, MessageKind kind)
{
    return prompter().ask(owner, text, caption, kind);
}

} // namespace rk
