#include "ConsolePropertyView.h"
#include "OfferedChoices.h"
#include "PropertyNames.h"

namespace DevHost {
namespace {

std::wstring Heading(int32_t id, const wchar_t* caption) {
    return L"  " + std::wstring(caption ? caption : L"") + L" [" + NameOfProperty(id) + L"]";
}

}  // namespace

void CConsolePropertyView::AddGroup(const wchar_t* caption) {
    m_text += std::wstring(caption ? caption : L"") + L"\n";
}

void CConsolePropertyView::AddTextProperty(int32_t id, bool, const wchar_t* caption, const wchar_t* text) {
    m_text += Heading(id, caption) + L": " + (text ? text : L"") + L"\n";
}

bool CConsolePropertyView::AddComboProperty(int32_t id, bool, const wchar_t* caption,
                                            Plugin::IEnumerator<Plugin::IComboItem*>* choices, int32_t selected) {
    m_text += Heading(id, caption) + L"\n";
    std::vector<Choice> offered = ReadOfferedChoices(choices);
    const std::wstring unoffered = UnofferedSelection(id, offered, selected, m_storedPort);
    if (!unoffered.empty()) m_text += L"    * " + unoffered + L"\n";
    if (offered.empty()) m_text += L"      (no choices)\n";
    for (const Choice& choice : offered) {
        m_text += (unoffered.empty() && choice.value == selected ? L"    * " : L"      ") + choice.caption + L" (" +
                  std::to_wstring(choice.value) + L")\n";
    }
    return true;
}

}  // namespace DevHost
