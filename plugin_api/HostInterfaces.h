#pragma once
// Objects of the host that the plug-in calls. The host owns them; the plug-in
// borrows them and never adds or drops references. Slot order is binding.
// When the plug-in calls them, and from which thread: docs/integrating.md.
#include <windows.h>
#include <oleauto.h>
#include <cstdint>

enum DeviceEventCode : int32_t {
    EventStopped = 1,
    EventStarted = 2,
    EventDataSent = 4,
    EventDataReceived = 5,
    EventLogText = 6,
};

// The kind of a request that carries bytes to send: the only kind that
// QueueTransferRequest takes.
constexpr int32_t kSendBytesRequestKind = 4;

class ITransferRequest {
public:
    // The first two slots belong to the host; the plug-in never calls them.
    virtual void HostSlot1() = 0;
    virtual void HostSlot2() = 0;
    virtual int32_t GetKind() = 0;
    virtual const uint8_t* GetData() = 0;
    // 0 or less sends nothing.
    virtual int32_t GetSize() = 0;

protected:
    ~ITransferRequest() = default;
};

// Called only on the exchange worker's thread; results are ignored.
class IDeviceEventSink {
public:
    // data is valid only during the call; null for EventStopped and EventStarted.
    virtual void OnEvent(int32_t code, const void* data, uint32_t count) = 0;
    virtual void OnRequestDone(ITransferRequest* request) = 0;

protected:
    ~IDeviceEventSink() = default;
};

class ISettingsReader {
public:
    // Returns a new BSTR (or null) that the plug-in frees; the default when
    // nothing is stored under the key.
    virtual BSTR ReadString(const wchar_t* key, const wchar_t* defaultValue) = 0;
    virtual int32_t ReadInt(const wchar_t* key, int32_t defaultValue) = 0;

protected:
    ~ISettingsReader() = default;
};

class ISettingsWriter {
public:
    virtual void WriteString(const wchar_t* key, const wchar_t* value) = 0;
    virtual void WriteInt(const wchar_t* key, int32_t value) = 0;

protected:
    ~ISettingsWriter() = default;
};

namespace Plugin {
class IComboItem;
template <typename T> class IEnumerator;
}  // namespace Plugin

// The host's property list. Strings passed in are valid only for the call.
class IPropertyListView {
public:
    virtual void AddGroup(const wchar_t* caption) = 0;
    virtual void AddTextProperty(int32_t id, bool flag, const wchar_t* caption,
                                 const wchar_t* text) = 0;
    // choices is positioned at the first item and valid only during the call;
    // an item kept afterwards must be AddRef'd by the view.
    virtual bool AddComboProperty(int32_t id, bool flag, const wchar_t* caption,
                                  Plugin::IEnumerator<Plugin::IComboItem*>* choices,
                                  int32_t selected) = 0;
    // A slot of the host's that the plug-in never calls.
    virtual void HostSlot4() = 0;
    // text is allocated by the view and freed by the caller.
    virtual bool GetTextValue(int32_t id, BSTR* text) = 0;
    // A slot of the host's that the plug-in never calls.
    virtual void HostSlot6() = 0;
    virtual bool GetComboValue(int32_t id, int32_t* value) = 0;

protected:
    ~IPropertyListView() = default;
};
