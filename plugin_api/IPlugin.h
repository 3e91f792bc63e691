#pragma once
#include <windows.h>
#include <oleauto.h>
#include "plugin_api/AbiCompat.h"
#include "plugin_api/IRefCounted.h"

namespace Plugin {

class IPlugin : public IRefCounted {
public:
    // Kinds 0 and 4 answer the object itself with one more reference.
    virtual IPlugin* GetInterface(int kind) = 0;
    // A new BSTR that the caller frees with SysFreeString.
    virtual BSTR GetName() = 0;
#if PLUGIN_EXPLICIT_STRUCT_RETURN
    virtual GUID* GetId(GUID* result) = 0;
#else
    virtual GUID GetId() = 0;
#endif
    virtual int GetPluginValue() = 0;

protected:
    ~IPlugin() = default;
};

// Reads the identifier the same way under either compiler.
inline GUID PluginIdOf(IPlugin& plugin) {
#if PLUGIN_EXPLICIT_STRUCT_RETURN
    GUID id;
    return *plugin.GetId(&id);
#else
    return plugin.GetId();
#endif
}

}  // namespace Plugin
