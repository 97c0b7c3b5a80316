#pragma once

#include <string>

#include "batch/BatchHost.h"

// The texts the user sees, shared by every host of the batch driver. They are
// the program's own wording and must stay exactly as they are.

inline constexpr char kProgramName[] = "変換ぽるて";
inline constexpr char kProgramVersion[] = "1.0";

// Captions of the start button in its two states.
inline constexpr char kCaptionStart[] = "変換開始";
inline constexpr char kCaptionAbort[] = "処理中止";

// Titles and buttons of the message boxes.
inline constexpr char kTitleWarning[] = "警告";
inline constexpr char kTitleConfirm[] = "確認";
inline constexpr char kButtonOk[] = "OK";
inline constexpr char kButtonYes[] = "はい(&Y)";
inline constexpr char kButtonNo[] = "いいえ(&N)";
inline constexpr char kButtonYesToAll[] = "すべてはい(&A)";

// Message texts. Those about a file follow the quoted path on a line of their
// own (PathMessage); the out-of-memory message and the abort question stand
// alone. The same open-failure text serves for inputs and outputs: only the
// quoted path tells them apart.
inline constexpr char kTextOpenFailed[] = "ファイルが開けませんでした。";
inline constexpr char kTextNoMemory[] = "メモリを確保できませんでした。";
inline constexpr char kTextUnsupported[] = "対応できないファイル形式です。";
inline constexpr char kTextReadFailed[] = "ファイルの読み込みに失敗しました。";
inline constexpr char kTextWriteFailed[] = "ファイルの書き込みに失敗しました。";
// The question mark is the full-width one.
inline constexpr char kTextOverwrite[] = "同じ名前のファイルがあります。上書きしますか？";
inline constexpr char kTextAbortQuestion[] = "処理を中止しますか。";

// A double quote, the path, a double quote, a line feed, then text.
std::string PathMessage(const std::string& path, const char* text);

// The whole text of the overwrite question for an existing output file.
std::string OverwriteQuestionText(const std::string& outputPath);

// The designed message for a failure: the path quoted over the text of its
// kind, or the out-of-memory text alone.
std::string DesignedMessage(const BatchFailure& failure);
