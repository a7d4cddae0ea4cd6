#pragma once

namespace zm::io {

// The words for a system error, the same on every platform the program runs
// on under Linux: the C library of the Node build words some of them otherwise
// (ErrorTextNode.cpp).
const char* errorText(int err);

} // namespace zm::io
