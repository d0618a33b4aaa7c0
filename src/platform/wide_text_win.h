#pragma once

#include <string>
#include <string_view>

namespace tamro {

// UTF-16 to and from UTF-8, for the system's wide-character calls.
// Unpaired surrogates and malformed UTF-8 become U+FFFD.
std::wstring wideFromUtf8(std::string_view text);
std::string utf8FromWide(std::wstring_view text);

// Text in a Windows code page (CP_ACP for the system's own) as UTF-8.
std::string utf8FromCodePage(std::string_view bytes, unsigned codePage);

}  // namespace tamro
