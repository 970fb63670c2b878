#include "platform/linux/counters/LinuxCounterSources.h"

#include "platform/PlatformError.h"
#include "platform/linux/KernelFile.h"

#include <cstdlib>
#include <sstream>

namespace ombrix::platform {
namespace {

// A computer that does not answer is given up within a few seconds, unless
// the user's environment says otherwise. libpcp reads these when it first
// connects; they are set here, on the thread that makes the machine's
// services, before any computer's thread can read the environment.
void boundRemoteWaits() {
    static const bool bounded = [] {
        setenv("PMCD_CONNECT_TIMEOUT", "4", 0);
        setenv("PMCD_REQUEST_TIMEOUT", "4", 0);
        return true;
    }();
    (void)bounded;
}

// libpcp puts every setting of its configuration file into the environment
// the first time it is used, which may be on any thread while others read
// the environment. Each setting is put there first, as libpcp would put it
// (the file named by PCP_CONF, else PCP_DIR's, else /etc/pcp.conf; quotes
// around a value dropped; a setting the user's environment has kept), so
// that libpcp finds them all set and writes nothing.
void presetCollectorConfiguration() {
    static const bool preset = [] {
        std::string path = "/etc/pcp.conf";
        if (const char* conf = std::getenv("PCP_CONF"))
            path = conf;
        else if (const char* dir = std::getenv("PCP_DIR"))
            path = std::string(dir) + "/etc/pcp.conf";
        std::istringstream lines(readKernelFile(path).value_or(std::string()));
        for (std::string line; std::getline(lines, line);) {
            const auto equals = line.find('=');
            if (line.empty() || line.front() == '#' || equals == std::string::npos || equals == 0)
                continue;
            std::string value = line.substr(equals + 1);
            std::erase(value, '"');
            setenv(line.substr(0, equals).c_str(), value.c_str(), 0);
        }
        return true;
    }();
    (void)preset;
}

// What the module's entry (ombrix_pcp_connect, ombrix_pcp_facts) makes for
// computer; throws PlatformError with the module's reason when it makes none.
template <class Service> std::unique_ptr<Service> opened(void* entry, const QString& computer) {
    using Open = Service* (*)(const char*, char*, std::size_t);
    char error[256] = {};
    std::unique_ptr<Service> service(
        reinterpret_cast<Open>(entry)(computer.toUtf8().constData(), error, sizeof error));
    if (!service)
        throw PlatformError(error);
    return service;
}

} // namespace

LinuxCounterSources::LinuxCounterSources(std::string module) : m_module(std::move(module)) {
    boundRemoteWaits();
    presetCollectorConfiguration();
}

void* LinuxCounterSources::entry(const char* name) {
    const std::lock_guard lock(m_mutex);
    if (!m_library)
        // libpcp keeps state for the whole process: it is never unloaded.
        m_library.emplace(m_module, "counters module", true);
    return m_library->symbol(name);
}

void LinuxCounterSources::prepare() {
    using Prepare = void (*)();
    reinterpret_cast<Prepare>(entry("ombrix_pcp_prepare"))();
}

std::unique_ptr<ComputerFacts> LinuxCounterSources::connectFacts(const QString& computer) {
    return opened<ComputerFacts>(entry("ombrix_pcp_facts"), computer);
}

std::unique_ptr<PerfCounters> LinuxCounterSources::connect(const QString& computer) {
    return opened<PerfCounters>(entry("ombrix_pcp_connect"), computer);
}

} // namespace ombrix::platform
