#pragma once

#include <string>
#include <string_view>

namespace tamro {

// Operator-visible texts of the dialog, shown exactly as written. The device
// protocol's own texts (communication error, write complete, ...) are in
// protocol/messages.h, the model file's in models/model_file.h.

inline constexpr std::string_view noAdapterMessage = "ネットワークデバイスが見つかりませんでした。";

inline constexpr std::string_view portErrorMessage = "ポート番号設定エラー";
inline constexpr std::string_view remoteIpErrorMessage = "通信先IPアドレス設定エラー";
inline constexpr std::string_view remotePortErrorMessage = "通信先ポート番号エラー";
inline constexpr std::string_view keepAliveRangeMessage = "キープアライブ設定は0-65の範囲です。";
inline constexpr std::string_view writeConfirmationMessage = "設定を書き込みます。";

inline constexpr std::string_view pingNoAnswerMessage =
    "PINGに返答がありません。\nこのアドレスは設定可能と思われます。";
inline constexpr std::string_view pingAnsweredMessage = "PINGに返答がありました。";
inline constexpr std::string_view pingConflictMessage =
    "PINGに返答がありました。\nこの設定はアドレス衝突の恐れがあります。";

// "このモデルの場合、ボーレート値は最大%sです。" with the highest rate allowed.
inline std::string baudLimitMessage(std::string_view maxBaudText) {
    return "このモデルの場合、ボーレート値は最大" + std::string(maxBaudText) + "です。";
}

// "IPアドレス設定エラー\n%sは機器に設定できないアドレスです。" with the
// refused address.
inline std::string deviceAddressErrorMessage(std::string_view address) {
    return "IPアドレス設定エラー\n" + std::string(address) + "は機器に設定できないアドレスです。";
}

// "%sに設定を書き込みます。" with the chosen model's name.
inline std::string modelWriteConfirmationMessage(std::string_view modelName) {
    return std::string(modelName) + "に設定を書き込みます。";
}

}  // namespace tamro
