#include "OfferedChoices.h"
#include "PropertyNames.h"
#include "win32/UniqueBstr.h"

namespace DevHost {

std::vector<Choice> ReadOfferedChoices(Plugin::IEnumerator<Plugin::IComboItem*>* choices) {
    std::vector<Choice> result;
    if (!choices) return result;
    for (; choices->HasCurrent(); choices->MoveNext()) {
        Plugin::IComboItem* item = choices->GetCurrent();
        if (!item) continue;
        Win32::UniqueBstr caption(item->GetCaption());
        result.push_back({item->GetValue(), caption.Text()});
    }
    return result;
}

std::wstring UnofferedSelection(int32_t propertyId, const std::vector<Choice>& choices, int32_t selected,
                                const std::wstring& storedPort) {
    const bool isPort = propertyId == kPortId;
    for (const Choice& choice : choices) {
        if (isPort ? choice.caption == storedPort : choice.value == selected) return L"";
    }
    return isPort ? storedPort + L" (not present)" : std::to_wstring(selected) + L" (not among the choices)";
}

}  // namespace DevHost
