#pragma once
#include "plugin_api/RefCounted.h"

namespace Plugin {

// Base of plug-in objects: the host may count references from any thread.
template <typename Interface>
class CPluginImpl : public CRefCountedImpl<Interface, 1> {
protected:
    ~CPluginImpl() override = default;
};

}  // namespace Plugin
