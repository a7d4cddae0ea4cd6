// A native C library's own words for system errors.
#include "io/ErrorText.h"

#include <cstring>

namespace zm::io {

const char* errorText(int err) {
    return std::strerror(err);
}

} // namespace zm::io
