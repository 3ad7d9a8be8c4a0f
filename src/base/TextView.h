// A view a program writes text to and never reads back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tv {

// How a stretch of text looks: the view's own colour or one of the 16
// terminal colours (0-7 normal, 8-15 bright), and bold or not. Zero is the
// view's own look.
using TextStyle = uint8_t;
constexpr TextStyle kPlainStyle = 0;
constexpr TextStyle kBoldStyle = 0x20;
inline TextStyle StyleOf(int colour, bool bold) {
  return static_cast<TextStyle>((colour >= 0 && colour < 16 ? colour + 1 : 0) | (bold ? kBoldStyle : 0));
}
// The terminal colour 0-15, or -1 for the view's own.
inline int StyleColour(TextStyle style) { return (style & 0x1F) - 1; }
inline bool StyleBold(TextStyle style) { return (style & kBoldStyle) != 0; }

// The text from unit `at` on looks as style says (up to the next run).
struct StyleRun {
  std::size_t at;
  TextStyle style;
  bool operator==(const StyleRun& o) const { return at == o.at && style == o.style; }
};

class TextView {
 public:
  // At the end, scrolled to the bottom, in the view's own look.
  virtual void append(const std::wstring& text) = 0;
  // The same, in the looks runs give; the first run starts at 0.
  virtual void appendStyled(const std::wstring& text, const std::vector<StyleRun>& runs) {
    (void)runs;
    append(text);
  }
  virtual void replaceAll(const std::wstring& text) = 0;
  virtual void clear() = 0;
  // Around a run of appends: the view may put off showing them until the
  // run ends, which saves a repaint per append.
  virtual void beginBatch() {}
  virtual void endBatch() {}
  // The most characters the view keeps of what it is given (its oldest
  // text goes beyond that); 0 when it keeps everything.
  virtual std::size_t keptChars() const { return 0; }

 protected:
  ~TextView() = default;
};

}  // namespace tv
