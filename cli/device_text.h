#pragma once

#include <string>
#include <string_view>

// Text that a device reports (serial number, maker, product, the build text
// of its firmware) is 8-bit: Latin-1, one character a byte, as the window
// shows it. JSON wants UTF-8, so it goes there through this: every byte
// survives, none can make the document invalid.
std::string latin1ToUtf8(std::string_view text);
