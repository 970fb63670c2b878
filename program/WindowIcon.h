#pragma once
#include <QIcon>

namespace ombrix::program {

// The program's icon in every size built into it, for every window.
QIcon windowIcon();

} // namespace ombrix::program
