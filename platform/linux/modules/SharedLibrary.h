#pragma once
#include <memory>
#include <string>

namespace ombrix::platform {

// A library loaded at run time by name or path. The dlopen is made from this
// code, linked into the program, so the program's RUNPATH ($ORIGIN) is
// searched; where the loader cannot read $ORIGIN (a process without /proc)
// a bare name is looked for in those folders all the same.
class SharedLibrary {
public:
    // Throws PlatformError: "Cannot load the <what> <name>: <reason>".
    // A library that stays loaded is not unloaded with this object: one that
    // keeps per-thread state must outlive every thread that called it.
    SharedLibrary(const std::string& nameOrPath, const std::string& what, bool staysLoaded = false);
    // Throws PlatformError naming the entry point and the library.
    void* symbol(const char* name) const;
    const std::string& name() const { return m_name; }

private:
    struct Unload {
        void operator()(void* handle) const;
    };
    std::string m_name;
    std::unique_ptr<void, Unload> m_handle;
};

} // namespace ombrix::platform
