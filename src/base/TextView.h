// A view a program writes text to and never reads back.
#pragma once

#include <cstddef>
#include <string>

namespace tv {

class TextView {
 public:
  // At the end, scrolled to the bottom.
  virtual void append(const std::wstring& text) = 0;
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
