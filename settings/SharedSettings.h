#pragma once
#include <utility>
#include "settings/PortSettings.h"
#include "win32/CriticalSection.h"

namespace Settings {

// The plug-in's settings, edited by the host (LoadSettings, ApplyView) and
// copied by an exchange as it starts, which may be on the worker's thread,
// from inside the previous exchange's final event: edits replace them whole
// and copies are taken whole, under one lock, so no copy sees a port name
// half assigned or freed. The lock is never held while the host is called.
class CSharedSettings {
public:
    CSharedSettings() = default;
    CSharedSettings(const CSharedSettings&) = delete;
    CSharedSettings& operator=(const CSharedSettings&) = delete;

    // Raises the standard allocation failure, with the lock released.
    PortSettings Copy() const {
        Win32::CLock hold(m_lock);
        return m_settings;
    }
    void Replace(PortSettings&& edited) {
        Win32::CLock hold(m_lock);
        m_settings = std::move(edited);
    }

private:
    PortSettings m_settings;
    mutable Win32::CCriticalSection m_lock;
};

}  // namespace Settings
