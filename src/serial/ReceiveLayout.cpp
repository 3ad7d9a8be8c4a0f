#include "serial/ReceiveLayout.h"

namespace tv {
namespace {

void PutDigits(std::wstring& out, unsigned value, int digits) {
  wchar_t buffer[8];
  for (int i = digits - 1; i >= 0; --i) {
    buffer[i] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  }
  out.append(buffer, static_cast<std::size_t>(digits));
}

void PutHexByte(std::wstring& out, uint8_t b) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  out.push_back(kDigits[b >> 4]);
  out.push_back(kDigits[b & 0x0F]);
  out.push_back(L' ');
}

}  // namespace

std::wstring ReceiveLayout::DateLine(const LocalTime& t) {
  std::wstring out = L"---- ";
  PutDigits(out, t.year, 4);
  out += L'-';
  PutDigits(out, t.month, 2);
  out += L'-';
  PutDigits(out, t.day, 2);
  out += L" ----\n";
  return out;
}

std::wstring ReceiveLayout::Stamp(const LocalTime& t) {
  std::wstring out = L"[";
  PutDigits(out, t.hour, 2);
  out += L':';
  PutDigits(out, t.minute, 2);
  out += L':';
  PutDigits(out, t.second, 2);
  out += L'.';
  PutDigits(out, t.ms, 3);
  out += L"] ";
  return out;
}

void ReceiveLayout::setOptions(bool stamps, uint32_t frameGapMs) {
  if (!stamps) crPending_ = false;  // the CR's blank stays; its line goes on
  stamps_ = stamps;
  frameGapMs_ = frameGapMs;
}

void ReceiveLayout::put(TextStyle style, Out& out) {
  if (style == endStyle_) return;
  endStyle_ = style;
  if (!out.runs.empty() && out.runs.back().at == out.text.size()) {
    out.runs.back().style = style;
  } else {
    out.runs.push_back(StyleRun{out.text.size(), style});
  }
}

void ReceiveLayout::newLine(Out& out) {
  out.text += L'\n';
  atLineStart_ = true;
  ownOpen_ = false;
  crPending_ = false;
  frameGoesOn_ = false;
  hexColumn_ = 0;
}

void ReceiveLayout::stamp(const LocalTime& t, Out& out) {
  put(kPlainStyle, out);
  if (!dayKnown_ || !t.sameDay(day_)) {
    out.text += DateLine(t);
    dayKnown_ = true;
    day_ = t;
  }
  out.text += Stamp(t);
}

void ReceiveLayout::begin(const Read& read, Out& out) {
  const bool gap = frameGapMs_ > 0 && haveRead_ && read.tickMs - lastReadMs_ >= frameGapMs_;
  haveRead_ = true;
  lastReadMs_ = read.tickMs;
  readTime_ = read.time;
  if (!gap) return;
  // A new frame: on a line of its own, unless its line has just ended.
  if (!atLineStart_) newLine(out);
  frameGoesOn_ = false;
}

void ReceiveLayout::text(const std::wstring& text, const std::vector<StyleRun>& runs, TextStyle style,
                         const Read* read, Out& out) {
  if (read != nullptr) begin(*read, out);
  receivedStyle_ = style;
  if (text.empty()) {
    if (!runs.empty()) receivedStyle_ = runs.back().style;
    return;
  }
  if (!stamps_ && runs.empty() && style == endStyle_) {
    // The plain way, as fast as a copy: a CR shows as a blank, so CR LF is
    // a blank and one line break.
    const std::size_t from = out.text.size();
    out.text += text;
    for (std::size_t i = from; i < out.text.size(); ++i)
      if (out.text[i] == L'\r') out.text[i] = L' ';
    atLineStart_ = text.back() == L'\n';
    ownOpen_ = false;
    hexColumn_ = 0;
    lastWasHex_ = false;
    return;
  }
  // After hex bytes, text starts its own stamped line.
  if (stamps_ && lastWasHex_ && !atLineStart_) newLine(out);
  lastWasHex_ = false;
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    while (run < runs.size() && runs[run].at <= i) receivedStyle_ = runs[run++].style;
    const wchar_t c = text[i];
    if (crPending_) {
      crPending_ = false;
      if (c == L'\n') {
        // The LF of a CR LF: the CR ended the line already.
        out.text += L'\n';
        atLineStart_ = true;
        continue;
      }
      newLine(out);
    }
    if (stamps_) {
      if (ownOpen_) newLine(out);
      if (atLineStart_) stamp(readTime_, out);
    }
    put(receivedStyle_, out);
    ownOpen_ = false;
    if (c == L'\r') {
      out.text += L' ';
      atLineStart_ = false;
      crPending_ = stamps_;
    } else {
      out.text += c;
      atLineStart_ = c == L'\n';
    }
  }
  while (run < runs.size()) receivedStyle_ = runs[run++].style;
  hexColumn_ = 0;
}

void ReceiveLayout::hex(const uint8_t* bytes, std::size_t n, const Read& read, Out& out) {
  begin(read, out);
  if (n == 0) return;
  lastWasHex_ = true;
  put(kPlainStyle, out);
  out.text.reserve(out.text.size() + n * 3 + n / kHexRowBytes + 1);
  for (std::size_t i = 0; i < n; ++i) {
    if (hexColumn_ == 0 && stamps_) {
      // Each row starts on a line of its own with the time of its first
      // byte; the rows a long frame goes on in are not stamped again.
      if (!atLineStart_) newLine(out);
      if (!(frameGapMs_ > 0 && frameGoesOn_)) stamp(readTime_, out);
    }
    PutHexByte(out.text, bytes[i]);
    atLineStart_ = false;
    ownOpen_ = false;
    crPending_ = false;
    if (++hexColumn_ == kHexRowBytes) {
      out.text += L'\n';
      hexColumn_ = 0;
      atLineStart_ = true;
      frameGoesOn_ = true;
    }
  }
}

void ReceiveLayout::own(const std::wstring& text, Out& out) {
  if (text.empty()) return;
  // With stamps, a received line in progress ends first.
  if (stamps_ && !atLineStart_) newLine(out);
  put(kPlainStyle, out);
  out.text += text;
  atLineStart_ = text.back() == L'\n';
  ownOpen_ = !atLineStart_;
  crPending_ = false;
  frameGoesOn_ = false;
  hexColumn_ = 0;
}

void ReceiveLayout::date(const LocalTime& now, Out& out) {
  own(DateLine(now), out);
  dayKnown_ = true;
  day_ = now;
}

void ReceiveLayout::echo(const std::wstring& shown, const LocalTime& now, Out& out) {
  if (!atLineStart_) newLine(out);
  if (stamps_) stamp(now, out);
  put(kPlainStyle, out);
  out.text += kEchoMark;
  out.text += shown;
  out.text += L'\n';
  atLineStart_ = true;
  ownOpen_ = false;
  frameGoesOn_ = false;
  hexColumn_ = 0;
}

void ReceiveLayout::cleared(const std::wstring& text) {
  atLineStart_ = text.empty() || text.back() == L'\n';
  ownOpen_ = !atLineStart_;
  crPending_ = false;
  frameGoesOn_ = false;
  hexColumn_ = 0;
  endStyle_ = kPlainStyle;
}

}  // namespace tv
