#pragma once

#include <string_view>

#include <QString>

// The core's texts are 8-bit; each byte becomes one character on screen.
inline QString latin1Text(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
