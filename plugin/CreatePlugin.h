#pragma once
#include "plugin_api/IDevImportPlugin.h"

extern "C" Plugin::IDevImportPlugin* CreatePlugin();
