#pragma once
// Message boxes, behind an interface so that tests can answer them.

#include <string>

namespace rk {

enum class MessageKind { Ok, YesNoQuestion, YesNoCancelQuestion, OkExclamation, RetryCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel, Retry };

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual MessageAnswer ask(void* owner, const std::wstring& text, const std::wstring& caption, MessageKind kind) = 0;
};

// The system's message boxes; tests install their own with setPrompter.
Prompter& prompter();
void setPrompter(Prompter* replacement); // nullptr restores the system's

MessageAnswer showMessage(void* owner, const std::wstring& text, const std::wstring& caption, MessageKind kind);

} // namespace rk
