#include "OfferedChoices.h"
#include "UniqueBstr.h"

namespace DevHost {

std::vector<Choice> ReadOfferedChoices(Plugin::IEnumerator<Plugin::IComboItem*>* choices) {
    std::vector<Choice> result;
    if (!choices) return result;
    for (; choices->HasCurrent(); choices->MoveNext()) {
        Plugin::IComboItem* item = choices->GetCurrent();
        if (!item) continue;
        UniqueBstr caption(item->GetCaption());
        result.push_back({item->GetValue(), caption.Text()});
    }
    return result;
}

}  // namespace DevHost
