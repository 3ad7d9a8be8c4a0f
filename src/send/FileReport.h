// What the load report says about a file: whether it counts as a ".txt"
// path, and the text encoding its first bytes announce.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv {

enum class TextEncoding { UnicodeLE, UnicodeBE, Utf8, Ansi };

// The part from the last '.' to the end, lower-cased, is ".txt". A '.' in a
// directory name leaves a backslash in that part, so it does not count.
bool IsTxtPath(const std::wstring& path);

// Looks at up to three leading bytes (missing ones are zero).
TextEncoding DetectEncoding(const uint8_t* bytes, std::size_t n);

// The text shown after "编码:", ending in a tab.
const wchar_t* EncodingText(TextEncoding e);

}  // namespace tv
