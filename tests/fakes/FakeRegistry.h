#pragma once
#include "platform/Registry.h"

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// Passes every call on to a real registry, records which operations were
// called, and can make chosen operations throw.
struct FakeRegistry final : ombrix::platform::Registry {
    using HKEY = ombrix::platform::HKEY;
    using DWORD = ombrix::platform::DWORD;
    using LONG = ombrix::platform::LONG;

    explicit FakeRegistry(ombrix::platform::Registry& real) : inner(real) {}

    ombrix::platform::Registry& inner;
    std::vector<std::string> calls;
    std::set<std::string> throwIn;
    int open = 0; // handles opened through this fake and not yet closed

    void note(const char* op) {
        calls.emplace_back(op);
        if (throwIn.count(op))
            throw std::runtime_error(op);
    }
    LONG opened(LONG status) {
        open += status == 0;
        return status;
    }

    LONG RegOpenKeyA(HKEY h, const char* s, HKEY* r) override {
        note("RegOpenKeyA");
        return opened(inner.RegOpenKeyA(h, s, r));
    }
    LONG RegOpenKeyExA(HKEY h, const char* s, DWORD o, DWORD m, HKEY* r) override {
        note("RegOpenKeyExA");
        return opened(inner.RegOpenKeyExA(h, s, o, m, r));
    }
    LONG RegQueryValueExA(HKEY h, const char* n, DWORD* r, DWORD* t, unsigned char* d,
                          DWORD* c) override {
        note("RegQueryValueExA");
        return inner.RegQueryValueExA(h, n, r, t, d, c);
    }
    LONG RegCreateKeyExA(HKEY h, const char* s, DWORD r, const char* c, DWORD o, DWORD m,
                         const void* a, HKEY* k, DWORD* d) override {
        note("RegCreateKeyExA");
        return opened(inner.RegCreateKeyExA(h, s, r, c, o, m, a, k, d));
    }
    LONG RegSetValueExA(HKEY h, const char* n, DWORD r, DWORD t, const unsigned char* d,
                        DWORD c) override {
        note("RegSetValueExA");
        return inner.RegSetValueExA(h, n, r, t, d, c);
    }
    LONG RegDeleteValueA(HKEY h, const char* n) override {
        note("RegDeleteValueA");
        return inner.RegDeleteValueA(h, n);
    }
    LONG RegDeleteKeyA(HKEY h, const char* s) override {
        note("RegDeleteKeyA");
        return inner.RegDeleteKeyA(h, s);
    }
    LONG RegEnumKeyExA(HKEY h, DWORD i, char* n, DWORD* nl, DWORD* r, char* c, DWORD* cl,
                       void* t) override {
        note("RegEnumKeyExA");
        return inner.RegEnumKeyExA(h, i, n, nl, r, c, cl, t);
    }
    LONG RegEnumValueA(HKEY h, DWORD i, char* n, DWORD* nl, DWORD* r, DWORD* t, unsigned char* d,
                       DWORD* dl) override {
        note("RegEnumValueA");
        return inner.RegEnumValueA(h, i, n, nl, r, t, d, dl);
    }
    LONG RegCloseKey(HKEY h) override {
        calls.emplace_back("RegCloseKey");
        const LONG status = inner.RegCloseKey(h);
        open -= status == 0 && h < 0x80000000u;
        if (throwIn.count("RegCloseKey"))
            throw std::runtime_error("RegCloseKey");
        return status;
    }
};
