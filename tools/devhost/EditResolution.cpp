#include "EditResolution.h"

namespace DevHost {
namespace {

bool Resolve(const SetRequest& request, CAnsweringPropertyView& view, std::wstring& error) {
    const OfferedProperty* property = view.Find(request.id);
    if (!property) {
        error = L"the plug-in offers no " + request.name + L" setting";
        return false;
    }
    if (!property->isChoice) {
        int32_t seconds = 0;
        if (!ParseWaitTime(request.value, seconds)) {
            error = request.name + L"=" + request.value + L" is not a whole number of seconds (0 or more)";
            return false;
        }
        view.AnswerText(request.id, std::to_wstring(seconds));
        return true;
    }
    int32_t value = 0;
    if (!MatchChoice(request.id, property->choices, request.value, value)) {
        error = request.name + L"=" + request.value + L" is not among the choices: " +
                DescribeChoices(request.id, property->choices);
        return false;
    }
    view.AnswerChoice(request.id, value);
    return true;
}

}  // namespace

bool ResolveEdits(const std::vector<SetRequest>& requests, CAnsweringPropertyView& view, std::wstring& errors) {
    CAnsweringPropertyView checked = view;
    errors.clear();
    for (const SetRequest& request : requests) {
        std::wstring error;
        if (!Resolve(request, checked, error)) errors += (errors.empty() ? L"" : L"\n") + error;
    }
    if (!errors.empty()) return false;
    view = std::move(checked);
    return true;
}

}  // namespace DevHost
