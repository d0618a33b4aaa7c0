#pragma once

#include <string_view>

namespace tamro {

// Operator-visible texts of the device protocol, shown exactly as written.
inline constexpr std::string_view communicationErrorMessage = "通信エラー";
inline constexpr std::string_view subnetMaskErrorMessage = "サブネットマスク設定エラー";
inline constexpr std::string_view settingErrorMessage = "設定エラー";
inline constexpr std::string_view writeCompleteMessage = "設定完了しました。\nデバイスを再起動します。";

}  // namespace tamro
