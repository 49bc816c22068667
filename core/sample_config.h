#pragma once
// The sample configuration offered when the list address is missing.

#include "platform/message_box.h"

namespace rk {

// Placeholder address of a vendor's sample list; deployments set their own ListURL.
inline const wchar_t kSampleListUrl[] = L"http://updates.example.com/renewkit/sample/renewkit.xml";

// Asks whether to write a sample; on Yes writes it. Returns whether it was written.
bool offerSampleConfiguration(void* owner, Prompter& ask);

} // namespace rk
