#include "serial/EscapeFilter.h"

namespace tv {
namespace {

constexpr wchar_t kEsc = 0x1B;
constexpr wchar_t kBell = 0x07;
constexpr wchar_t kCancel = 0x18;
constexpr wchar_t kSubstitute = 0x1A;
constexpr std::size_t kMostParameterChars = 64;

// One parameter of a colour sequence and its sub-parameters (38:5:n).
struct Parameter {
  std::vector<int> values;
};

std::vector<Parameter> SplitParameters(const std::string& text) {
  std::vector<Parameter> out(1);
  out.back().values.push_back(-1);  // -1: left out
  for (char c : text) {
    if (c == ';') {
      out.emplace_back();
      out.back().values.push_back(-1);
    } else if (c == ':') {
      out.back().values.push_back(-1);
    } else if (c >= '0' && c <= '9') {
      int& v = out.back().values.back();
      v = v < 0 ? c - '0' : (v > 9999 ? v : v * 10 + (c - '0'));
    }
  }
  return out;
}

}  // namespace

void EscapeFilter::enter(State state) {
  state_ = state;
  if (state == State::Escape) {
    length_ = 1;
  } else if (state == State::Control) {
    graphics_ = true;
    parameters_.clear();
  }
}

void EscapeFilter::setStyle(TextStyle style, std::vector<StyleRun>& runs, std::size_t at) {
  if (style == style_) return;
  style_ = style;
  if (!runs.empty() && runs.back().at == at) {
    runs.back().style = style;
  } else {
    runs.push_back(StyleRun{at, style});
  }
}

void EscapeFilter::applyGraphics(std::vector<StyleRun>& runs, std::size_t at) {
  const std::vector<Parameter> parameters = SplitParameters(parameters_);
  int colour = StyleColour(style_);
  bool bold = StyleBold(style_);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const std::vector<int>& v = parameters[i].values;
    const int code = v[0] < 0 ? 0 : v[0];
    if (code == 0) {
      colour = -1;
      bold = false;
    } else if (code == 1) {
      bold = true;
    } else if (code == 22) {
      bold = false;
    } else if (code >= 30 && code <= 37) {
      colour = code - 30;
    } else if (code >= 90 && code <= 97) {
      colour = code - 90 + 8;
    } else if (code == 39) {
      colour = -1;
    } else if (code == 38 || code == 48) {
      // An extended colour: 5;n from the 256, or 2;r;g;b. Its numbers come
      // as sub-parameters (38:5:n) or as the parameters that follow.
      std::vector<int> rest(v.begin() + 1, v.end());
      const bool subParameters = !rest.empty();
      std::size_t next = i + 1;
      auto take = [&](std::size_t index) {
        if (subParameters) return index < rest.size() ? rest[index] : -1;
        if (next >= parameters.size()) return -1;
        return parameters[next++].values[0];
      };
      const int kind = take(0);
      int value = -1;
      if (kind == 5) {
        value = take(1);
      } else if (kind == 2) {
        take(1);
        take(2);
        take(3);
      }
      if (!subParameters) i = next - 1;
      // Only the 16 the view has; others and backgrounds are hidden.
      if (code == 38 && kind == 5 && value >= 0 && value < 16) colour = value;
    }
  }
  setStyle(StyleOf(colour, bold), runs, at);
}

void EscapeFilter::filter(const wchar_t* text, std::size_t n, std::wstring& out, std::vector<StyleRun>& runs) {
  out.reserve(out.size() + n);
  for (std::size_t i = 0; i < n; ++i) {
    const wchar_t c = text[i];
    if (state_ == State::Ground) {
      if (c == kEsc) {
        enter(State::Escape);
      } else {
        out.push_back(c);
      }
      continue;
    }
    // Inside a sequence.
    if (c == kCancel || c == kSubstitute) {
      state_ = State::Ground;
      continue;
    }
    const std::size_t most =
        state_ == State::String || state_ == State::StringEscape ? kMostStringUnits : kMostControlUnits;
    if (++length_ > most) {
      // Not a sequence after all: what follows shows.
      state_ = State::Ground;
      --i;
      continue;
    }
    switch (state_) {
      case State::Ground:
        break;
      case State::Escape:
      case State::EscapeIntermediate:
        if (c == kEsc) {
          enter(State::Escape);
        } else if (c < 0x20) {
          out.push_back(c);  // a control inside a sequence still acts (a line break shows)
        } else if (state_ == State::Escape && c == L'[') {
          enter(State::Control);
        } else if (state_ == State::Escape && (c == L']' || c == L'P' || c == L'X' || c == L'^' || c == L'_')) {
          enter(State::String);
        } else if (c >= 0x20 && c <= 0x2F) {
          state_ = State::EscapeIntermediate;
        } else if (c >= 0x30 && c <= 0x7E) {
          state_ = State::Ground;  // ESC x: done
        } else {
          state_ = State::Ground;
          if (c > 0x7F) out.push_back(c);
        }
        break;
      case State::Control:
        if (c == kEsc) {
          enter(State::Escape);
        } else if (c < 0x20) {
          out.push_back(c);
        } else if (c >= 0x30 && c <= 0x3F) {
          // A private marker (<, =, >, ?) or a parameter after an
          // intermediate makes it no colour sequence.
          if (c >= 0x3C && c <= 0x3F) graphics_ = false;
          if (parameters_.size() < kMostParameterChars) {
            parameters_.push_back(static_cast<char>(c));
          } else {
            graphics_ = false;
          }
        } else if (c >= 0x20 && c <= 0x2F) {
          graphics_ = false;
        } else if (c >= 0x40 && c <= 0x7E) {
          state_ = State::Ground;
          if (c == L'm' && graphics_) applyGraphics(runs, out.size());
        } else {
          state_ = State::Ground;
          if (c > 0x7F) out.push_back(c);
        }
        break;
      case State::String:
        if (c == kEsc) {
          state_ = State::StringEscape;
        } else if (c == kBell) {
          state_ = State::Ground;
        }
        break;
      case State::StringEscape:
        if (c == L'\\') {
          state_ = State::Ground;
        } else {
          // Another sequence begins, and ends the string.
          enter(State::Escape);
          --i;
          length_ = 0;
        }
        break;
    }
  }
}

}  // namespace tv
