#pragma once

#include <span>
#include <string_view>

#include "ui/dialog_template.h"

namespace tamro {

// How the template table is spelt in a resource script. Only the Win32 side
// needs these names: the generator of template 102 and the tests that read
// the built dialog back.

// Resource-script spelling ("WS_POPUP", "DS_MODALFRAME", "WS_EX_APPWINDOW").
std::string_view styleResourceName(DialogStyle style);
bool isExtendedStyle(DialogStyle style);
// Window class and the kind's fixed style names, for a resource-built window.
std::string_view windowClassName(ControlKind kind);
std::span<const std::string_view> kindStyleNames(ControlKind kind);

}  // namespace tamro
