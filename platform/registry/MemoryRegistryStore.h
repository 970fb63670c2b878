#pragma once
#include "platform/registry/RegistryStore.h"

#include <map>
#include <memory>
#include <mutex>

namespace ombrix::platform::registry {

// Keys that live only while the program runs; also the store of the tests.
class MemoryRegistryStore final : public RegistryStore {
public:
    explicit MemoryRegistryStore(bool writable = true);
    ~MemoryRegistryStore() override;

    bool writable() override { return m_writable; }
    LONG keyExists(const KeyPath& path) override;
    LONG createKey(const KeyPath& path, const std::string& className, bool& created) override;
    LONG deleteKey(const KeyPath& path) override;
    LONG queryValue(const KeyPath& path, const KeyName& name, RegistryValueData& out) override;
    LONG setValue(const KeyPath& path, const KeyName& name, DWORD type, const unsigned char* data,
                  std::size_t size) override;
    LONG deleteValue(const KeyPath& path, const KeyName& name) override;
    LONG listSubkeys(const KeyPath& path, std::vector<SubkeyEntry>& out) override;
    LONG listValues(const KeyPath& path, std::vector<RegistryValueData>& out) override;
    std::uint64_t generation() override;

private:
    struct Node;
    Node* find(const KeyPath& path);
    template <class Body> LONG withKey(const KeyPath& path, Body body);
    template <class Body> LONG changeKey(const KeyPath& path, Body body);

    std::mutex m_mutex;
    bool m_writable;
    std::unique_ptr<Node> m_root;
    std::uint64_t m_generation = 0;
};

} // namespace ombrix::platform::registry
