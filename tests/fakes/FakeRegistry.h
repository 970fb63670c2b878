#pragma once
#include "platform/Registry.h"

#include <set>
#include <string>
#include <vector>

// Passes every call on to a real registry, records which operations were
// called, and can make chosen operations fail: they do nothing and answer
// ERROR_REGISTRY_IO_FAILED (a failing close still closes).
struct FakeRegistry final : ombrix::platform::Registry {
    using HKEY = ombrix::platform::HKEY;
    using DWORD = ombrix::platform::DWORD;
    using LONG = ombrix::platform::LONG;

    explicit FakeRegistry(ombrix::platform::Registry& real) : inner(real) {}

    ombrix::platform::Registry& inner;
    std::vector<std::string> calls;
    std::set<std::string> failIn;
    int open = 0; // handles opened through this fake and not yet closed

    static constexpr LONG kFailed = ombrix::platform::ERROR_REGISTRY_IO_FAILED;
    // Whether the operation goes on to the real registry.
    bool note(const char* op) {
        calls.emplace_back(op);
        return !failIn.count(op);
    }
    LONG opened(LONG status) {
        open += status == 0;
        return status;
    }

    LONG RegOpenKeyA(HKEY h, const char* s, HKEY* r) override {
        if (!note("RegOpenKeyA"))
            return kFailed;
        return opened(inner.RegOpenKeyA(h, s, r));
    }
    LONG RegOpenKeyExA(HKEY h, const char* s, DWORD o, DWORD m, HKEY* r) override {
        if (!note("RegOpenKeyExA"))
            return kFailed;
        return opened(inner.RegOpenKeyExA(h, s, o, m, r));
    }
    LONG RegQueryValueExA(HKEY h, const char* n, DWORD* r, DWORD* t, unsigned char* d,
                          DWORD* c) override {
        if (!note("RegQueryValueExA"))
            return kFailed;
        return inner.RegQueryValueExA(h, n, r, t, d, c);
    }
    LONG RegCreateKeyExA(HKEY h, const char* s, DWORD r, const char* c, DWORD o, DWORD m,
                         const void* a, HKEY* k, DWORD* d) override {
        if (!note("RegCreateKeyExA"))
            return kFailed;
        return opened(inner.RegCreateKeyExA(h, s, r, c, o, m, a, k, d));
    }
    LONG RegSetValueExA(HKEY h, const char* n, DWORD r, DWORD t, const unsigned char* d,
                        DWORD c) override {
        if (!note("RegSetValueExA"))
            return kFailed;
        return inner.RegSetValueExA(h, n, r, t, d, c);
    }
    LONG RegDeleteValueA(HKEY h, const char* n) override {
        if (!note("RegDeleteValueA"))
            return kFailed;
        return inner.RegDeleteValueA(h, n);
    }
    LONG RegDeleteKeyA(HKEY h, const char* s) override {
        if (!note("RegDeleteKeyA"))
            return kFailed;
        return inner.RegDeleteKeyA(h, s);
    }
    LONG RegEnumKeyExA(HKEY h, DWORD i, char* n, DWORD* nl, DWORD* r, char* c, DWORD* cl,
                       void* t) override {
        if (!note("RegEnumKeyExA"))
            return kFailed;
        return inner.RegEnumKeyExA(h, i, n, nl, r, c, cl, t);
    }
    LONG RegEnumValueA(HKEY h, DWORD i, char* n, DWORD* nl, DWORD* r, DWORD* t, unsigned char* d,
                       DWORD* dl) override {
        if (!note("RegEnumValueA"))
            return kFailed;
        return inner.RegEnumValueA(h, i, n, nl, r, t, d, dl);
    }
    LONG RegCloseKey(HKEY h) override {
        calls.emplace_back("RegCloseKey");
        const LONG status = inner.RegCloseKey(h);
        open -= status == 0 && h < 0x80000000u;
        return failIn.count("RegCloseKey") ? kFailed : status;
    }
};
