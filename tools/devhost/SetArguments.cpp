#include "SetArguments.h"
#include "PropertyNames.h"

namespace DevHost {

bool ParseSetArguments(const std::vector<std::wstring>& arguments, std::vector<SetRequest>& requests,
                       std::wstring& error) {
    std::vector<SetRequest> parsed;
    for (const std::wstring& argument : arguments) {
        size_t equals = argument.find(L'=');
        if (equals == std::wstring::npos || equals == 0) {
            error = L"\"" + argument + L"\" is not name=value";
            return false;
        }
        std::wstring name = argument.substr(0, equals);
        std::wstring value = argument.substr(equals + 1);
        const PropertyName* property = FindPropertyName(name);
        if (!property) {
            error = L"unknown setting \"" + name + L"\"; the settings are: " + ListPropertyNames();
            return false;
        }
        if (value.empty()) {
            error = L"no value given for " + std::wstring(property->name);
            return false;
        }
        for (const SetRequest& earlier : parsed) {
            if (earlier.id == property->id) {
                error = std::wstring(property->name) + L" is given twice";
                return false;
            }
        }
        parsed.push_back({property->id, property->name, value});
    }
    if (parsed.empty()) {
        error = L"nothing to set; give name=value pairs, e.g. port=COM5 baud=115200";
        return false;
    }
    requests = std::move(parsed);
    return true;
}

}  // namespace DevHost
