#include <windows.h>

#include "platform/code_page.h"
#include "platform/wide_text_win.h"

namespace tamro {

namespace {

constexpr unsigned codePage932 = 932;
constexpr wchar_t replacementCharacter = 0xFFFD;

// One character's bytes as UTF-16; false when the code page cannot read them.
bool readCharacter(unsigned codePage, std::string_view bytes, std::wstring& out) {
    wchar_t wide[4];
    const int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                             static_cast<int>(bytes.size()), wide, 4);
    if (length <= 0) return false;
    out.append(wide, static_cast<std::size_t>(length));
    return true;
}

}  // namespace

std::wstring wideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    // Without MB_ERR_INVALID_CHARS malformed input becomes U+FFFD.
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                          length);
    return result;
}

std::string utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string result(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                          length, nullptr, nullptr);
    return result;
}

namespace {

// Character by character, so that one unreadable byte costs one mark and
// reading goes on with the next byte, as on Linux. `single` reads the bytes
// the code page itself cannot.
template <typename Single>
std::string convertCharacters(std::string_view bytes, unsigned codePage, Single single) {
    std::string result;
    std::wstring wide;
    std::size_t position = 0;
    while (position < bytes.size()) {
        const auto lead = static_cast<BYTE>(bytes[position]);
        const bool pair = ::IsDBCSLeadByteEx(codePage, lead) && position + 1 < bytes.size();
        if (pair && readCharacter(codePage, bytes.substr(position, 2), wide)) {
            position += 2;
            continue;
        }
        if (!readCharacter(codePage, bytes.substr(position, 1), wide)) {
            const std::string_view fallback = single(lead);
            if (fallback.empty()) {
                wide += replacementCharacter;
            } else {
                result += utf8FromWide(wide);
                wide.clear();
                result += fallback;
            }
        }
        ++position;
    }
    return result + utf8FromWide(wide);
}

}  // namespace

std::string utf8FromCodePage(std::string_view bytes, unsigned codePage) {
    return convertCharacters(bytes, codePage, [](BYTE) { return std::string_view{}; });
}

std::string utf8FromCodePage932(std::string_view bytes) {
    // Wine's table lacks some of the single bytes Windows reads.
    return convertCharacters(bytes, codePage932, codePage932SingleByte);
}

}  // namespace tamro
