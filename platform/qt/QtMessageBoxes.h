#pragma once
#include "platform/MessageBoxes.h"

namespace ombrix::platform {

class QtMessageBoxes final : public MessageBoxes {
public:
    void show(const QString& caption, const QString& text, Icon icon) override;
};

} // namespace ombrix::platform
