#pragma once
// The one exception family of the core. Only the few operations documented as raising
// throw it; the window catches it at its handler boundary and shows the message.

#include <stdexcept>
#include <string>

namespace tessaro {

class CoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that should hold a number does not.
class ConversionError : public CoreError {
public:
    using CoreError::CoreError;
};

}  // namespace tessaro
