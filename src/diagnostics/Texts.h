// The fixed texts of the function keys: the help, the test texts for the
// send panes and the byte listings.
#pragma once

#include <cstddef>
#include <string>

namespace tv {

const wchar_t* HelpText();
// F12: the options and keys added since, in their order.
const wchar_t* NewFeaturesText();

// 75 short Chinese anecdotes, then a null entry.
constexpr std::size_t kTestTextCount = 75;
const wchar_t* const* TestTexts();

// English and Chinese mixed, 735 characters in 14 lines, from "[START]"
// to "[END]" and a line break.
const wchar_t* MixedTestText();
const wchar_t* EnglishTestText();

// "%02X " of the bytes first..last, in order.
std::wstring ByteListing(int first, int last);
// Line feeds, bars and GBK symbol pairs that draw a small picture.
const wchar_t* HexPattern();

}  // namespace tv
