// A separate process for the registry tests: writes values and says which
// writes returned (so the test can kill it at any moment), or checks what a
// user who is not root may do.
#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"
#include "registry/clsRegistryAccess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace ombrix;
using namespace ombrix::platform;
using registry::SqliteRegistryStore;

namespace {

// write <db> <prefix> <count> [<key>]: one REG_DWORD per write into the key
// (Durable unless named), "<i>\n" once it returned.
int writeValues(const char* db, const char* prefix, long count, const char* keyName) {
    registry::RegistryLayer layer;
    layer.setStore(HKEY_CURRENT_USER, std::make_shared<SqliteRegistryStore>(db));
    HKEY key = 0;
    LONG status = layer.RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "create: %d\n", status);
        return 1;
    }
    for (long i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(i);
        const auto value = static_cast<DWORD>(i);
        status = layer.RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                                      reinterpret_cast<const unsigned char*>(&value), 4);
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "write %ld: %d\n", i, status);
            return 1;
        }
        const std::string ack = std::to_string(i) + "\n";
        if (::write(STDOUT_FILENO, ack.data(), ack.size()) < 0)
            return 1;
    }
    layer.RegCloseKey(key);
    return 0;
}

// unprivileged <machine db> <user db>: what the class and the layer answer.
int unprivileged(const char* machineDb, const char* userDb) {
    registry::RegistryLayer layer;
    layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<SqliteRegistryStore>(
                                           machineDb, SqliteRegistryStore::Writers::RootOnly));
    layer.setStore(HKEY_CURRENT_USER, std::make_shared<SqliteRegistryStore>(userDb));
    clsRegistryAccess access(layer);
    const auto show = [](const char* what, const std::optional<QString>& text) {
        std::printf("%s=%s\n", what, text ? qPrintable(*text) : "<absent>");
    };
    show("read", access.GetRegistryValue("Soft\\Co", "v"));
    const auto keys = access.EnumerateRegistryKeys("Soft");
    std::printf("keys=%d\n", keys ? int(keys->size()) : -1);
    access.SetRegistryValue("Soft\\Co", "v", "changed");
    access.SetRegistryValue("Soft\\Co", "n", "12", 0, 4);
    access.SetRegistryValue("Soft\\New", "v", "x");
    std::printf("deleteValue=%d\n", int(access.DeleteRegistryValue("Soft\\Co", "v")));
    std::printf("deleteKey=%d\n", int(access.DeleteRegistryKey("Soft\\Co")));
    HKEY key = 0;
    std::printf("create=%d\n", layer.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Soft\\Other", 0, nullptr,
                                                     0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    std::printf("openForWrite=%d\n",
                layer.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Soft\\Co", 0, KEY_SET_VALUE, &key));
    std::printf("deleteKeyAtRoot=%d\n", layer.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Soft\\Co"));
    show("afterwards", access.GetRegistryValue("Soft\\Co", "v"));
    // The user's own store, made read-only by its owner.
    show("userRead", access.GetRegistryValue("Mine", "v", static_cast<int>(HKEY_CURRENT_USER)));
    std::printf("userSet=%d\n", layer.RegCreateKeyExA(HKEY_CURRENT_USER, "Mine", 0, nullptr, 0,
                                                      KEY_SET_VALUE, nullptr, &key, nullptr));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "write") == 0)
        return writeValues(argv[2], argv[3], std::atol(argv[4]), argc == 6 ? argv[5] : "Durable");
    if (argc == 4 && std::strcmp(argv[1], "unprivileged") == 0)
        return unprivileged(argv[2], argv[3]);
    std::fprintf(stderr, "usage: registry_helper write <db> <prefix> <count> [<key>]\n"
                         "       registry_helper unprivileged <machine db> <user db>\n");
    return 2;
}
