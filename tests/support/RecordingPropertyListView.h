#pragma once
// A host property list for tests: records what the plug-in adds, reading
// every drop-down's items through the enumerator as a host does, and
// answers the read-back calls from a script.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include "plugin_api/HostInterfaces.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"

namespace Fakes {

using Choices = std::vector<std::pair<int32_t, std::wstring>>;

struct RecordedEntry {
    enum Kind { Group, Text, Combo } kind = Group;
    int32_t id = -1;  // -1 for groups, which have none
    bool flag = false;
    std::wstring caption;
    std::wstring text;  // text properties
    Choices choices;    // drop-downs, in enumeration order
    int32_t selected = 0;
};

class CRecordingPropertyListView : public IPropertyListView {
public:
    using ComboEnumerator = Plugin::IEnumerator<Plugin::IComboItem*>;

    std::vector<RecordedEntry> entries;
    // Read-back script: a property absent from the map is not delivered.
    std::map<int32_t, int32_t> comboValues;
    // The wait-time text; an inner nullopt delivers a null BSTR.
    std::optional<std::optional<std::wstring>> textValue;
    // Number of Get*Value calls, to prove a view untouched.
    int readBacks = 0;
    bool comboResult = true;
    // Runs inside AddComboProperty before the items are read, to inspect
    // the enumerator as the plug-in hands it over; it must leave the
    // enumerator at the first item.
    std::function<void(int32_t id, ComboEnumerator&)> onCombo;
    // Items this view keeps beyond the call (with its own reference).
    std::vector<Plugin::IComboItem*> kept;
    std::optional<std::pair<int32_t, size_t>> keepItem;  // (property id, item index)

    void AddGroup(const wchar_t* caption) override { entries.push_back(Entry(RecordedEntry::Group, -1, false, caption)); }

    void AddTextProperty(int32_t id, bool flag, const wchar_t* caption, const wchar_t* text) override {
        entries.push_back(Entry(RecordedEntry::Text, id, flag, caption));
        entries.back().text = text;
    }

    bool AddComboProperty(int32_t id, bool flag, const wchar_t* caption, ComboEnumerator* choices,
                          int32_t selected) override {
        if (onCombo) onCombo(id, *choices);
        RecordedEntry entry = Entry(RecordedEntry::Combo, id, flag, caption);
        entry.selected = selected;
        for (size_t index = 0; choices->HasCurrent(); choices->MoveNext(), ++index) {
            Plugin::IComboItem* item = choices->GetCurrent();
            BSTR text = item->GetCaption();
            entry.choices.emplace_back(item->GetValue(), text ? text : L"(null)");
            SysFreeString(text);
            if (keepItem && keepItem->first == id && keepItem->second == index) {
                item->AddRef();
                kept.push_back(item);
            }
        }
        entries.push_back(std::move(entry));
        return comboResult;
    }

    void HostSlot4() override {}

    bool GetTextValue(int32_t, BSTR* text) override {
        ++readBacks;
        if (!textValue) return false;
        *text = *textValue ? SysAllocString((*textValue)->c_str()) : nullptr;
        return true;
    }

    void HostSlot6() override {}

    bool GetComboValue(int32_t id, int32_t* value) override {
        ++readBacks;
        auto scripted = comboValues.find(id);
        if (scripted == comboValues.end()) return false;
        *value = scripted->second;
        return true;
    }

    const RecordedEntry* Find(int32_t id) const {
        for (const RecordedEntry& entry : entries) {
            if (entry.id == id) return &entry;
        }
        return nullptr;
    }

    static RecordedEntry Entry(RecordedEntry::Kind kind, int32_t id, bool flag, const wchar_t* caption) {
        RecordedEntry entry;
        entry.kind = kind;
        entry.id = id;
        entry.flag = flag;
        entry.caption = caption;
        return entry;
    }

    ~CRecordingPropertyListView() {
        for (Plugin::IComboItem* item : kept) item->Release();
    }
};

}  // namespace Fakes
