#include "platform/linux/modules/SharedLibrary.h"

#include "platform/PlatformError.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/auxv.h>

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace ombrix::platform {
namespace {

namespace fs = std::filesystem;

// The running program's folder, which $ORIGIN stands for. The loader asks
// /proc/self/exe for it, which a process without /proc lacks; the path the
// kernel started the program from (AT_EXECFN) names the program too.
std::optional<fs::path> programFolder() {
    std::error_code error;
    fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
        if (!started)
            return std::nullopt;
        program = fs::canonical(started, error);
        if (error)
            return std::nullopt;
    }
    return program.parent_path();
}

// The search path the program's RUNPATH (or RPATH) names, as written.
std::string programRunPath() {
    void* self = ::dlopen(nullptr, RTLD_NOW);
    if (!self)
        return {};
    const std::unique_ptr<void, int (*)(void*)> closed(self, ::dlclose);
    link_map* program = nullptr;
    if (::dlinfo(self, RTLD_DI_LINKMAP, &program) != 0 || !program || !program->l_ld)
        return {};
    ElfW(Addr) strings = 0;
    std::optional<ElfW(Addr)> runPath, rPath;
    for (const ElfW(Dyn)* entry = program->l_ld; entry->d_tag != DT_NULL; ++entry) {
        if (entry->d_tag == DT_STRTAB)
            strings = entry->d_un.d_ptr;
        else if (entry->d_tag == DT_RUNPATH)
            runPath = entry->d_un.d_val;
        else if (entry->d_tag == DT_RPATH)
            rPath = entry->d_un.d_val;
    }
    // Most loaders leave the string table's address relocated in place; where
    // the dynamic section is read-only it is still relative to the load base.
    if (strings != 0 && strings < program->l_addr)
        strings += program->l_addr;
    const std::optional<ElfW(Addr)> offset = runPath ? runPath : rPath;
    if (strings == 0 || !offset)
        return {};
    return reinterpret_cast<const char*>(strings + *offset);
}

// The folders of the program's search path, $ORIGIN read as its folder.
std::vector<fs::path> programSearchFolders(const fs::path& origin) {
    std::vector<fs::path> folders;
    const std::string path = programRunPath();
    std::string_view rest = path;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        for (const std::string_view token : {"${ORIGIN}", "$ORIGIN"}) {
            for (std::size_t at; (at = folder.find(token)) != std::string::npos;)
                folder.replace(at, token.size(), origin.string());
        }
        if (!folder.empty() && folder.find('$') == std::string::npos)
            folders.emplace_back(folder);
    }
    return folders;
}

} // namespace

void SharedLibrary::Unload::operator()(void* handle) const {
    ::dlclose(handle);
}

SharedLibrary::SharedLibrary(const std::string& nameOrPath, const std::string& what,
                             bool staysLoaded)
    : m_name(nameOrPath) {
    const int flags = RTLD_NOW | RTLD_LOCAL | (staysLoaded ? RTLD_NODELETE : 0);
    m_handle.reset(::dlopen(m_name.c_str(), flags));
    const char* reason = m_handle ? nullptr : ::dlerror();
    std::string firstReason = reason ? reason : "unknown reason";
    if (!m_handle && m_name.find('/') == std::string::npos) {
        // The loader skips the program's RUNPATH where it cannot tell the
        // program's folder (no /proc), and a sanitizer's dlopen interceptor
        // makes itself the caller: search it as the loader would.
        if (const std::optional<fs::path> origin = programFolder()) {
            for (const fs::path& folder : programSearchFolders(*origin)) {
                m_handle.reset(::dlopen((folder / m_name).c_str(), flags));
                if (m_handle)
                    break;
            }
        } else {
            firstReason += " (nor can the program's own folder be told, to look there)";
        }
    }
    if (!m_handle)
        throw PlatformError("Cannot load the " + what + " " + m_name + ": " + firstReason);
}

void* SharedLibrary::symbol(const char* name) const {
    ::dlerror();
    void* address = ::dlsym(m_handle.get(), name);
    if (!address)
        throw PlatformError("Can't find entry point " + std::string(name) + " in " + m_name);
    return address;
}

} // namespace ombrix::platform
