// libFuzzer target over the registry layer: random sequences of the ten
// operations with random handles, paths, names, types, data and buffer
// sizes, over an in-memory store, a read-only store, a mounted provider and
// an SQLite store. Any crash, sanitizer report or unknown status is a find.
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace ombrix::platform;
using namespace ombrix::platform::registry;

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return v;
    }
    std::string text() {
        const std::size_t n = std::min<std::size_t>(byte() * (byte() % 4 + 1), m_size - m_pos);
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        // Paths are built from a few level names so that keys get reused.
        for (char& c : s)
            if (c == '\0')
                c = '\\';
        return s;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

bool knownStatus(LONG s) {
    switch (s) {
    case ERROR_SUCCESS:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_PARAMETER:
    case ERROR_MORE_DATA:
    case ERROR_NO_MORE_ITEMS:
    case ERROR_REGISTRY_CORRUPT:
    case ERROR_REGISTRY_IO_FAILED:
    case ERROR_KEY_DELETED:
        return true;
    default:
        return false;
    }
}

void check(LONG status) {
    if (!knownStatus(status))
        std::abort();
}

struct Provider final : RegistryProvider {
    std::optional<ProviderKey> openKey(std::string_view relPath) const override {
        if (relPath.empty())
            return ProviderKey{{"Tcpip", "NetBT"}, {{"Name", REG_SZ, {'x', 0}}}};
        if (relPath.size() % 3 == 0)
            return ProviderKey{{}, {{"", REG_DWORD, {1, 0, 0, 0}}}};
        return std::nullopt;
    }
};

std::string g_dir;
std::shared_ptr<SqliteRegistryStore> g_sqlite;

void setUp() {
    char pattern[] = "/tmp/fuzz-registry-XXXXXX";
    g_dir = ::mkdtemp(pattern);
    g_sqlite = std::make_shared<SqliteRegistryStore>(g_dir + "/registry.db");
    std::atexit([] {
        g_sqlite.reset();
        std::error_code ec;
        std::filesystem::remove_all(g_dir, ec);
    });
}

// Fills a buffer with a pattern and checks, after a 234, that it is intact.
bool untouched(const std::vector<unsigned char>& b) {
    for (std::size_t i = 0; i < b.size(); ++i)
        if (b[i] != static_cast<unsigned char>(0xA5 ^ i))
            return false;
    return true;
}
std::vector<unsigned char> patterned(std::size_t n) {
    std::vector<unsigned char> b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(0xA5 ^ i);
    return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (g_dir.empty())
        setUp();
    RegistryLayer layer;
    layer.setStore(HKEY_CURRENT_USER, std::make_shared<MemoryRegistryStore>());
    layer.setStore(HKEY_CLASSES_ROOT, std::make_shared<MemoryRegistryStore>(false));
    layer.setStore(HKEY_LOCAL_MACHINE, g_sqlite);
    layer.mount(HKEY_CURRENT_USER, "SYSTEM\\Services", std::make_shared<Provider>());

    Input in(data, size);
    std::vector<HKEY> handles{HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT};
    const auto pickHandle = [&]() -> HKEY {
        const std::uint8_t b = in.byte();
        if (b == 0xFF)
            return in.u32(); // forged
        return handles[b % handles.size()];
    };
    for (int step = 0; step < 64 && !in.empty(); ++step) {
        const std::uint8_t op = in.byte() % 11;
        const HKEY h = pickHandle();
        switch (op) {
        case 0:
        case 1: {
            const std::string path = in.text();
            HKEY out = 0;
            const LONG s = op == 0 ? layer.RegOpenKeyA(h, path.c_str(), &out)
                                   : layer.RegOpenKeyExA(h, path.c_str(), 0, in.u32(), &out);
            check(s);
            if (s == ERROR_SUCCESS)
                handles.push_back(out);
            break;
        }
        case 2: {
            const std::string name = in.text();
            const std::size_t cap = in.byte() * 3;
            auto buffer = patterned(cap + 1);
            DWORD cb = static_cast<DWORD>(cap);
            DWORD type = 0;
            const bool noData = in.byte() % 5 == 0;
            const LONG s = layer.RegQueryValueExA(h, name.c_str(), nullptr, &type,
                                                  noData ? nullptr : buffer.data(), &cb);
            check(s);
            if (s == ERROR_MORE_DATA && !untouched(buffer))
                std::abort();
            if ((s == ERROR_SUCCESS && cb > cap && !noData) ||
                buffer[cap] != static_cast<unsigned char>(0xA5 ^ cap))
                std::abort();
            break;
        }
        case 3: {
            const std::string path = in.text();
            const std::string cls = in.text();
            HKEY out = 0;
            DWORD disposition = 0;
            const LONG s = layer.RegCreateKeyExA(h, path.c_str(), 0, cls.c_str(), in.byte() % 2,
                                                 in.u32(), nullptr, &out, &disposition);
            check(s);
            if (s == ERROR_SUCCESS)
                handles.push_back(out);
            break;
        }
        case 4: {
            const std::string name = in.text();
            const DWORD type = in.byte() % 13;
            const std::string value = in.text();
            const bool huge = in.byte() == 0xEE;
            std::vector<unsigned char> big;
            if (huge)
                big.assign(1024 * 1024 + 1, 'h');
            const LONG s =
                huge ? layer.RegSetValueExA(h, name.c_str(), 0, type, big.data(),
                                            static_cast<DWORD>(big.size()))
                     : layer.RegSetValueExA(h, name.c_str(), 0, type,
                                            reinterpret_cast<const unsigned char*>(value.data()),
                                            static_cast<DWORD>(value.size()));
            check(s);
            if (huge && s == ERROR_SUCCESS)
                std::abort();
            break;
        }
        case 5:
            check(layer.RegDeleteValueA(h, in.text().c_str()));
            break;
        case 6:
            check(layer.RegDeleteKeyA(h, in.text().c_str()));
            break;
        case 7: {
            const std::size_t nameCap = in.byte() % 64;
            const std::size_t classCap = in.byte() % 8;
            auto name = patterned(nameCap + 1);
            auto cls = patterned(classCap + 1);
            DWORD nameLen = static_cast<DWORD>(nameCap);
            DWORD classLen = static_cast<DWORD>(classCap);
            unsigned char when[8];
            // Buffers one larger than declared: the extra byte must stay.
            const LONG s = layer.RegEnumKeyExA(
                h, in.byte() % 8, reinterpret_cast<char*>(name.data()), &nameLen, nullptr,
                reinterpret_cast<char*>(cls.data()), &classLen, when);
            check(s);
            if (name[nameCap] != static_cast<unsigned char>(0xA5 ^ nameCap) ||
                cls[classCap] != static_cast<unsigned char>(0xA5 ^ classCap))
                std::abort();
            if (s == ERROR_MORE_DATA && (!untouched(name) || !untouched(cls)))
                std::abort();
            break;
        }
        case 8: {
            const std::size_t nameCap = in.byte() % 64;
            const std::size_t dataCap = in.byte() % 64;
            auto name = patterned(nameCap + 1);
            auto value = patterned(dataCap + 1);
            DWORD nameLen = static_cast<DWORD>(nameCap);
            DWORD dataLen = static_cast<DWORD>(dataCap);
            DWORD type = 0;
            const LONG s =
                layer.RegEnumValueA(h, in.byte() % 8, reinterpret_cast<char*>(name.data()),
                                    &nameLen, nullptr, &type, value.data(), &dataLen);
            check(s);
            if (name[nameCap] != static_cast<unsigned char>(0xA5 ^ nameCap) ||
                value[dataCap] != static_cast<unsigned char>(0xA5 ^ dataCap))
                std::abort();
            if (s == ERROR_MORE_DATA && (!untouched(name) || !untouched(value)))
                std::abort();
            break;
        }
        case 9:
        case 10: {
            const LONG s = layer.RegCloseKey(h);
            check(s);
            break;
        }
        }
    }
    for (HKEY h : handles)
        layer.RegCloseKey(h);
    if (layer.openHandleCount() != 0)
        std::abort();
    return 0;
}
