#pragma once
#include "platform/linux/network/NetworkFacts.h"

#include <string_view>

namespace ombrix::platform {

// The WINS servers of Samba's "wins server" setting in the [global]
// section of smb.conf text: the first is the primary, the second the backup.
WinsServers parseSambaWins(std::string_view smbConf);

} // namespace ombrix::platform
