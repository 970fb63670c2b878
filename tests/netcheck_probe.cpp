// Prints what the live network view serves, or the network report built
// over it, for the network namespace this process runs in. The namespace
// tests run it under "ip netns exec", which also puts the namespace's own
// resolver configuration in place.
//
//   netcheck_probe (--keys | --report) [--smb FILE] [--dhclient DIR]
//                  [--resolved FILE] [--after-list COMMAND]
#include "network_report/NetworkReport.h"
#include "platform/Registry.h"
#include "platform/linux/network/LiveNetworkView.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "registry/clsRegistryAccess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

using namespace ombrix::platform;

namespace {

// Runs a command just after the adapter list was read, as if the system
// changed while the report is being built.
class ChangingView final : public RegistryProvider {
public:
    ChangingView(std::shared_ptr<const RegistryProvider> inner, std::string command)
        : m_inner(std::move(inner)), m_command(std::move(command)) {}
    std::optional<ProviderKey> openKey(std::string_view relPath) const override {
        auto key = m_inner->openKey(relPath);
        if (!m_command.empty() && relPath == "NetBT\\Adapters") {
            if (std::system(m_command.c_str()) != 0)
                std::fprintf(stderr, "failed: %s\n", m_command.c_str());
            m_command.clear();
        }
        return key;
    }
    std::vector<std::string> servedKeys() const override { return m_inner->servedKeys(); }

private:
    std::shared_ptr<const RegistryProvider> m_inner;
    mutable std::string m_command;
};

std::string valueText(const RegistryValueData& value) {
    if (value.type == REG_DWORD && value.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | value.data[static_cast<std::size_t>(i)];
        return std::to_string(n);
    }
    // Strings of a multi-string are shown separated by '|'.
    std::string text;
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        const char c = static_cast<char>(value.data[i]);
        if (c != 0)
            text += c;
        else if (i + 1 < value.data.size() && value.data[i + 1] != 0)
            text += '|';
    }
    return text;
}

void printKey(const std::string& path, const std::optional<ProviderKey>& key) {
    std::printf("[%s]%s\n", path.c_str(), key ? "" : " absent");
    if (!key)
        return;
    for (const auto& subkey : key->subkeys)
        std::printf("subkey=%s\n", subkey.c_str());
    for (const auto& value : key->values)
        std::printf("%s=%s\n", value.name.c_str(), valueText(value).c_str());
}

void printKeys(const RegistryProvider& view) {
    auto print = [&](const std::string& path) { printKey(path, view.openKey(path)); };
    print("Tcpip\\Parameters");
    const auto adapters = view.openKey("NetBT\\Adapters");
    printKey("NetBT\\Adapters", adapters);
    if (!adapters)
        return;
    for (const auto& name : adapters->subkeys) {
        print("NetBT\\Adapters\\" + name);
        print(name + "\\Parameters\\Tcpip");
    }
}

} // namespace

int main(int argc, char** argv) {
    LiveNetworkView::Sources sources;
    sources.sambaConfig = "/nonexistent/smb.conf";
    sources.leases.dhclient = "/nonexistent";
    sources.leases.networkd = "/nonexistent";
    sources.leases.networkManager = "/nonexistent";
    std::string mode, change;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--keys" || arg == "--report")
            mode = arg;
        else if (arg == "--smb")
            sources.sambaConfig = next, ++i;
        else if (arg == "--dhclient")
            sources.leases.dhclient = next, ++i;
        else if (arg == "--resolved")
            sources.resolvedServers = next, ++i;
        else if (arg == "--after-list")
            change = next, ++i;
    }
    auto view = std::make_shared<ChangingView>(std::make_shared<LiveNetworkView>(sources), change);
    if (mode == "--keys") {
        printKeys(*view);
        return 0;
    }
    if (mode == "--report") {
        registry::RegistryLayer layer;
        layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
        layer.mount(HKEY_LOCAL_MACHINE, std::string(LiveNetworkView::kMountPath), view);
        const ombrix::clsRegistryAccess access(layer);
        for (const auto& line : ombrix::BuildNetworkReport(access))
            std::printf("%s\n", line.toUtf8().constData());
        return 0;
    }
    std::fprintf(stderr, "usage: netcheck_probe (--keys | --report) [options]\n");
    return 2;
}
