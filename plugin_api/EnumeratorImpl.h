#pragma once
#include "plugin_api/IEnumerator.h"

namespace Plugin {

// Walks a container it does not own. Reads the container's ends afresh on
// every call, so it stays valid while the container is unchanged.
template <typename Container>
class CEnumeratorImpl : public IEnumerator<typename Container::value_type> {
public:
    explicit CEnumeratorImpl(const Container& items)
        : m_position(items.begin()), m_items(&items) {}

    bool HasCurrent() override { return m_position != m_items->end(); }
    void MoveNext() override {
        if (m_position != m_items->end()) ++m_position;
    }
    typename Container::value_type GetCurrent() override { return *m_position; }
    void Reset() override { m_position = m_items->begin(); }

private:
    typename Container::const_iterator m_position;
    const Container* m_items;
};

}  // namespace Plugin
