#include "core/sample_config.h"

#include "core/config.h"
#include "core/language.h"
#include "core/process_state.h"
#include "core/path_text.h"

namespace rk {

bool offerSampleConfiguration(void* owner, Prompter& ask)
{
    std::wstring text = replaceAll(tr(L"can't to get [UNDATEINFO]-ListURL from renewkit.ini\nMake a sample?"),
                                   L"renewkit.ini", programBaseName() + L".ini");
    if (ask.ask(owner, text, L"RenewKit", MessageKind::YesNoQuestion) != MessageAnswer::Yes)
        return false;
    config::write(L"RenewKit", L"Language", tr(L"renewkit.lan"));
    config::write(L"RenewKit", L"QuickCheck", L"0");
    config::write(L"UPDATEINFO", L"ListURL", kSampleListUrl);
    config::write(L"APPLICATION", L"Application", L"demo.exe");
    config::write(L"APPLICATION", L"Name", L"RenewKit demo");
    return true;
}

} // namespace rk
