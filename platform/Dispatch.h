#pragma once
#include "platform/PlatformError.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

namespace ombrix::platform {

// The late-bound interface of a hosted control: properties and methods are
// reached by dispatch identifier. An identifier the control does not know is
// an error like any other and escapes to the caller.
class Dispatch {
public:
    virtual ~Dispatch() = default;
    virtual QVariant get(int dispid) { unknown(dispid); }
    virtual void put(int dispid, const QVariant& /*value*/) { unknown(dispid); }
    virtual QVariant call(int dispid, const QVariantList& /*args*/ = {}) { unknown(dispid); }

protected:
    [[noreturn]] static void unknown(int dispid) {
        throw PlatformError("Object doesn't support this property or method (dispatch id " +
                            std::to_string(dispid) + ")");
    }
};

} // namespace ombrix::platform
