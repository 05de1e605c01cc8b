#pragma once

#include "platform/exception.h"

#include <QLatin1String>

// Errors of the program's own controls, and their texts.

// A component was given an owner of the wrong kind.
class EInvalidCast : public Exception { using Exception::Exception; };

namespace widget_messages {

inline constexpr QLatin1String kInvalidCast("Invalid class typecast");
// Assigning one control's settings from an object of another kind (raised as EConvertError):
// %1 is the source's class name ("nil" for none), %2 the target's.
inline constexpr QLatin1String kAssignError("Cannot assign a %1 to a %2");

} // namespace widget_messages
