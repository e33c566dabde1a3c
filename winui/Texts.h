// The two texts the dialog framework shows itself, when a handler could not finish. The
// framework depends on nothing of the tool's, so they live here and not with the tool's
// other texts (Messages.h).
#pragma once

namespace winui {
namespace text {

// A handler ran out of memory.
inline const char kOutOfMemory[] = "テクニカルエラー\n\nメモリが不足しているため、処理を中断しました。";
// A handler stopped on anything else thrown (a fault of the program's own).
inline const char kUnexpectedError[] = "テクニカルエラー\n\n予期しないエラーが発生したため、処理を中断しました。";

}  // namespace text
}  // namespace winui
