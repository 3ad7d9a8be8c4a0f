// The bounded view over a real rich edit: bounded, cleared by a new control
// in its place, and making room when the control refuses text.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/BoundedView.h"
#include "base/ControlTwin.h"
#include "base/Format.h"
#include "base/RichEdit.h"

namespace tv {
namespace {

constexpr int kViewId = 1005;
const wchar_t kTrimmedLine[] = L"...older text went...\n";
const wchar_t kShortOfMemoryLine[] = L"...short of memory, older text went...\n";
const wchar_t kClearedForMemoryLine[] = L"...short of memory, cleared...\n";

std::wstring Paragraphs(std::wstring text) {
  for (wchar_t& c : text)
    if (c == L'\n') c = L'\r';
  return text;
}

std::wstring Line(int n) { return Format(L"line %06d\n", {n}); }
std::wstring Line(const wchar_t* word, int n) { return Format(L"%s %06d\n", {word, n}); }
constexpr std::size_t kLineChars = 12;  // "line 000123\n"
constexpr int kBatchLines = 97;         // lines to an append, as a drain gives them

// Lines first up to last of word, a batch to an append; after each append
// the check is called.
template <typename Check>
void Feed(BoundedView& view, const wchar_t* word, int first, int last, Check check) {
  std::wstring batch;
  for (int n = first; n < last; ++n) {
    batch += Line(word, n);
    if ((n - first) % kBatchLines == kBatchLines - 1 || n + 1 == last) {
      view.append(batch);
      batch.clear();
      check();
    }
  }
}

// The control's text is the trimmed line, then whole lines of word, in
// order, up to the line before last.
void ExpectNewestWholeLines(HWND control, const wchar_t* word, int last) {
  std::wstring text = GetRichText(control);
  const std::wstring first = Paragraphs(kTrimmedLine);
  ASSERT_EQ(text.compare(0, first.size(), first), 0) << text.substr(0, 80);
  std::wstring kept = text.substr(first.size());
  ASSERT_EQ(kept.size() % kLineChars, 0u) << kept.substr(0, 40);
  std::wstring expected;
  for (int n = last - static_cast<int>(kept.size() / kLineChars); n < last; ++n) expected += Line(word, n);
  EXPECT_EQ(kept, Paragraphs(expected));
}

int ChildCount(HWND parent) {
  int count = 0;
  EnumChildWindows(
      parent, [](HWND, LPARAM counter) { return ++*reinterpret_cast<int*>(counter), TRUE; },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

class BoundedViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    richEdit_ = LoadLibraryW(L"msftedit.dll");
    parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                              nullptr);
    HWND control = CreateWindowExW(0, L"RichEdit50W", L"",
                                   WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL, 5, 6, 300, 200,
                                   parent_, reinterpret_cast<HMENU>(kViewId), nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    SendMessageW(control, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
    view_.attach(control, BoundedView::Site{
                              [this](HWND like, bool visible) {
                                if (makeFails_) return HWND{};
                                HWND twin = MakeTwin(like, visible);
                                if (twin != nullptr) SendMessageW(twin, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
                                return twin;
                              },
                              [this](HWND old, HWND fresh) {
                                EXPECT_EQ(old, current_);
                                current_ = fresh;
                                ++replaced_;
                              },
                              [this] { return memory_; },
                              kTrimmedLine,
                              kShortOfMemoryLine,
                              kClearedForMemoryLine,
                          });
    current_ = control;
  }
  void TearDown() override {
    DestroyWindow(parent_);
    FreeLibrary(richEdit_);
  }

  HMODULE richEdit_ = nullptr;
  HWND parent_ = nullptr;
  HWND current_ = nullptr;
  int replaced_ = 0;
  uint64_t memory_ = 16u << 20;
  bool makeFails_ = false;
  BoundedView view_;
};

// A night of logging: the view keeps the newest lines, whole and in order,
// says older text went, and the control in its place answers to its id.
TEST_F(BoundedViewTest, ALongSessionKeepsTheNewestWholeLinesWithinTheBound) {
  const int lines = static_cast<int>(3 * ViewBound::kFirstChars / Line(0).size());
  std::wstring batch;
  for (int n = 0; n < lines; ++n) {
    batch += Line(n);
    if (n % 97 == 96 || n + 1 == lines) {
      view_.beginBatch();
      view_.append(batch);
      view_.endBatch();
      batch.clear();
    }
  }
  HWND view = view_.hwnd();
  EXPECT_GT(replaced_, 0);
  EXPECT_EQ(view, current_);
  EXPECT_EQ(GetDlgItem(parent_, kViewId), view);
  EXPECT_TRUE(GetWindowLongPtrW(view, GWL_STYLE) & WS_VISIBLE);
  std::wstring text = GetRichText(view);
  EXPECT_LT(text.size(), static_cast<std::size_t>(lines) * Line(0).size());
  const std::wstring first = Paragraphs(kTrimmedLine);
  ASSERT_EQ(text.compare(0, first.size(), first), 0) << text.substr(0, 80);
  // Everything after the first line is the newest lines, none missing.
  std::wstring kept = text.substr(first.size());
  const std::size_t lineUnits = Line(0).size();
  ASSERT_EQ(kept.size() % lineUnits, 0u);
  const int firstKept = lines - static_cast<int>(kept.size() / lineUnits);
  EXPECT_EQ(kept, Paragraphs([&] {
              std::wstring all;
              for (int n = firstKept; n < lines; ++n) all += Line(n);
              return all;
            }()));
}

// A clear and a replacement of the whole text are a new control in the
// old one's place: same id and rectangle, the focus moved along.
TEST_F(BoundedViewTest, AClearIsANewControlInThePlaceOfTheOld) {
  std::wstring lots;
  for (int n = 0; n < 5000; ++n) lots += Line(n);
  view_.append(lots);
  HWND old = view_.hwnd();
  SetFocus(old);
  RECT before;
  GetWindowRect(old, &before);
  view_.clear();
  HWND fresh = view_.hwnd();
  EXPECT_NE(fresh, old);
  EXPECT_FALSE(IsWindow(old));
  EXPECT_EQ(current_, fresh);
  EXPECT_EQ(GetDlgItem(parent_, kViewId), fresh);
  EXPECT_EQ(GetFocus(), fresh);
  RECT after;
  GetWindowRect(fresh, &after);
  EXPECT_TRUE(EqualRect(&before, &after));
  EXPECT_EQ(TextLength(fresh), 0u);

  view_.replaceAll(L"help\nmore\n");
  EXPECT_EQ(GetRichText(view_.hwnd()), L"help\rmore\r");
  CHARRANGE caret{};
  SendMessageW(view_.hwnd(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  EXPECT_EQ(caret.cpMin, 0);
  view_.append(L"x");
  EXPECT_EQ(GetRichText(view_.hwnd()), L"help\rmore\rx");
}

// A control that cannot get memory refuses the text and tells its parent.
WNDPROC g_richEditProc = nullptr;
LRESULT CALLBACK OutOfMemoryProc(HWND control, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == EM_REPLACESEL) {
    SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), EN_ERRSPACE),
                 reinterpret_cast<LPARAM>(control));
    return 0;
  }
  return CallWindowProcW(g_richEditProc, control, msg, wp, lp);
}

// The parent that hands EN_ERRSPACE to the view, as the dialog does.
BoundedView* g_notified = nullptr;
WNDPROC g_parentProc = nullptr;
LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && HIWORD(wp) == EN_ERRSPACE && g_notified != nullptr)
    g_notified->noteNoSpace(reinterpret_cast<HWND>(lp));
  return CallWindowProcW(g_parentProc, window, msg, wp, lp);
}

// A control out of memory loses its older text, not the new text and not
// the program.
TEST_F(BoundedViewTest, RefusedTextMakesRoomAndIsShownAfterASayingSo) {
  HWND starved = view_.hwnd();
  std::wstring lines;
  for (int n = 0; n < 5000; ++n) lines += Line(n);
  view_.append(lines);
  g_notified = &view_;
  g_parentProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(parent_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ParentProc)));
  g_richEditProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(starved, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OutOfMemoryProc)));
  view_.append(L"new\n");
  EXPECT_FALSE(IsWindow(starved));
  std::wstring text = GetRichText(view_.hwnd());
  const std::wstring first = Paragraphs(kShortOfMemoryLine);
  ASSERT_EQ(text.compare(0, first.size(), first), 0);
  // The newest whole lines, then the new text.
  std::wstring kept = text.substr(first.size());
  ASSERT_GT(kept.size(), 1000u);
  ASSERT_LT(kept.size(), lines.size());
  EXPECT_EQ(kept, Paragraphs(lines.substr(lines.size() - (kept.size() - 4)) + L"new\n"));
  EXPECT_EQ(kept.compare(0, 5, L"line "), 0);
  g_notified = nullptr;
}

// Memory short, whatever the view's length: the view is cut at once.
TEST_F(BoundedViewTest, ShortOfMemoryTheViewIsCut) {
  std::wstring lots;
  for (int n = 0; n < 10000; ++n) lots += Line(n);
  view_.append(lots);
  memory_ = ViewBound::kMemoryLimit;
  // Memory is looked at again after some tens of thousands of characters.
  for (int n = 10000; n < 14000; n += 10) {
    std::wstring ten;
    for (int k = n; k < n + 10; ++k) ten += Line(k);
    view_.append(ten);
  }
  std::wstring text = GetRichText(view_.hwnd());
  EXPECT_LT(text.size(), lots.size() / 2);
  EXPECT_EQ(text.compare(0, 10, Paragraphs(kTrimmedLine).substr(0, 10)), 0);
  EXPECT_EQ(text.substr(text.size() - Line(0).size()), Paragraphs(Line(13999)));
}


// No control to be had for the copy (as when the process is short of
// memory): the view is trimmed where it stands at the bound, to the newest
// whole lines a swap would keep, instead of growing without end. (Short of
// memory the bound is the view's least; a trim at the first bound costs
// Wine's rich edit half a minute.)
TEST_F(BoundedViewTest, WithNoControlForTheCopyTheViewIsTrimmedWhereItStands) {
  makeFails_ = true;
  memory_ = ViewBound::kMemoryLimit;
  HWND view = view_.hwnd();
  const std::size_t batchChars = kBatchLines * kLineChars;
  std::size_t longest = 0, length = 0, afterFirstTrim = 0;
  const int lines = static_cast<int>(4 * ViewBound::kLeastChars / kLineChars);
  Feed(view_, L"line", 0, lines, [&] {
    const std::size_t now = TextLength(view_.hwnd());
    if (now < length && afterFirstTrim == 0) afterFirstTrim = now;
    length = now;
    if (now > longest) longest = now;
  });
  const std::size_t bound = view_.boundChars();
  EXPECT_LT(bound, ViewBound::kLeastChars + batchChars);
  EXPECT_EQ(view_.hwnd(), view);
  EXPECT_EQ(replaced_, 0);
  EXPECT_LE(longest, bound + batchChars);
  ASSERT_GT(afterFirstTrim, 0u) << "never trimmed";
  EXPECT_GE(afterFirstTrim, bound / 4);
  EXPECT_LE(afterFirstTrim, bound / 4 + 2 * batchChars);
  ExpectNewestWholeLines(view, L"line", lines);

  // Once controls can be had again, the view is replaced as usual.
  makeFails_ = false;
  const int more = lines + static_cast<int>(bound / kLineChars);
  Feed(view_, L"line", lines, more, [] {});
  EXPECT_GT(replaced_, 0);
  ExpectNewestWholeLines(view_.hwnd(), L"line", more);
}

// A clear while the copy is being made takes the copy along: nothing from
// before the clear comes back when the copy would have taken the view's
// place, and the view keeps to its bound.
TEST_F(BoundedViewTest, AClearWhileTheCopyIsMadeNeverBringsTheClearedTextBack) {
  const std::size_t bound = view_.boundChars();
  Feed(view_, L"old!", 0, static_cast<int>(bound / 4 * 3 / kLineChars) + 2 * kBatchLines, [] {});
  ASSERT_EQ(ChildCount(parent_), 2) << "no copy being made";
  view_.clear();
  HWND shown = view_.hwnd();
  std::size_t longest = 0;
  const int lines = static_cast<int>(2 * bound / kLineChars);
  Feed(view_, L"new!", 0, lines, [&] {
    if (view_.hwnd() != shown) {
      shown = view_.hwnd();
      EXPECT_EQ(GetRichText(shown).find(L"old!"), std::wstring::npos);
    }
    if (TextLength(shown) > longest) longest = TextLength(shown);
  });
  EXPECT_GE(replaced_, 2) << "cleared and replaced at the bound";
  EXPECT_LE(longest, bound + kBatchLines * kLineChars);
  ExpectNewestWholeLines(view_.hwnd(), L"new!", lines);
}

// While a menu is open or the mouse is captured (a selection being dragged
// in the view, the splitter being dragged), the view is not replaced under
// the user's hands: the copy goes on, and takes the view's place with the
// first text after.
TEST_F(BoundedViewTest, NoSwapWhileHeldOrWhileTheMouseIsCaptured) {
  int next = 0;
  for (bool byCapture : {false, true}) {
    SCOPED_TRACE(byCapture ? "captured" : "held");
    HWND before = view_.hwnd();
    const int replacedBefore = replaced_;
    const std::size_t bound = view_.boundChars();
    if (byCapture) {
      SetCapture(parent_);
      ASSERT_EQ(GetCapture(), parent_);
    } else {
      view_.hold(true);
    }
    const int last = next + static_cast<int>((bound + 2 * kBatchLines * kLineChars) / kLineChars);
    Feed(view_, L"line", next, last, [] {});
    next = last;
    EXPECT_EQ(view_.hwnd(), before);
    EXPECT_EQ(replaced_, replacedBefore);
    EXPECT_GT(TextLength(before), bound);
    if (byCapture) {
      ReleaseCapture();
    } else {
      view_.hold(false);
    }
    view_.append(Line(L"line", next++));
    EXPECT_NE(view_.hwnd(), before);
    EXPECT_EQ(replaced_, replacedBefore + 1);
    ExpectNewestWholeLines(view_.hwnd(), L"line", next);
  }
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

// The colour and boldness of the character at.
struct Look {
  bool automatic;
  COLORREF colour;
  bool bold;
};
Look LookAt(HWND control, std::size_t at) {
  SendMessageW(control, EM_SETSEL, at, at + 1);
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof(cf);
  SendMessageW(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  return Look{(cf.dwEffects & CFE_AUTOCOLOR) != 0, cf.crTextColor, (cf.dwEffects & CFE_BOLD) != 0};
}

// Received colours show as colours, and the program's own text after them
// in the view's own colour, not in the colour the device left on.
TEST_F(BoundedViewTest, ColouredTextShowsInItsColoursAndPlainTextStaysPlain) {
  const TextStyle red = StyleOf(1, false), boldBlue = StyleOf(4, true);
  view_.append(L"start ");
  view_.appendStyled(L"ok FAIL\n", {{0, kPlainStyle}, {3, red}});
  view_.append(L"[note]\n");
  view_.appendStyled(L"dir", {{0, boldBlue}});
  HWND v = view_.hwnd();
  EXPECT_EQ(GetRichText(v), L"start ok FAIL\r[note]\rdir");
  EXPECT_TRUE(LookAt(v, 0).automatic);
  EXPECT_TRUE(LookAt(v, 6).automatic) << "'o' of ok";
  const Look fail = LookAt(v, 9);
  EXPECT_FALSE(fail.automatic);
  EXPECT_EQ(GetRValue(fail.colour), 170);
  EXPECT_EQ(GetGValue(fail.colour), 0);
  EXPECT_FALSE(fail.bold);
  const Look note = LookAt(v, 15);
  EXPECT_TRUE(note.automatic) << "the program's own line took the device's colour";
  EXPECT_FALSE(note.bold);
  const Look dir = LookAt(v, 22);
  EXPECT_FALSE(dir.automatic);
  EXPECT_TRUE(dir.bold);
  EXPECT_GT(GetBValue(dir.colour), 150);
}

// Each change of look costs the control memory of its own, so a view full
// of colours reaches its bound with fewer characters than a plain one; its
// copy keeps the colours.
TEST_F(BoundedViewTest, ColourChangesCountTowardTheBound) {
  const TextStyle red = StyleOf(1, false);
  // Lines whose characters alone stay below where a copy starts.
  const int lines = static_cast<int>(ViewBound::kFirstChars / 2 / Line(0).size()) * 2 / 3 * 2;
  ASSERT_LT(static_cast<std::size_t>(lines) * Line(0).size(), ViewBound::kFirstChars / 4 * 3);
  auto feed = [&](bool coloured) {
    std::wstring batch;
    std::vector<StyleRun> runs;
    for (int n = 0; n < lines; ++n) {
      const std::size_t at = batch.size();
      batch += Line(n);
      runs.push_back({at + 5, red});
      runs.push_back({at + 11, kPlainStyle});
      if (n % kBatchLines == kBatchLines - 1 || n + 1 == lines) {
        runs.insert(runs.begin(), StyleRun{0, kPlainStyle});
        view_.beginBatch();
        if (coloured) {
          view_.appendStyled(batch, runs);
        } else {
          view_.append(batch);
        }
        view_.endBatch();
        batch.clear();
        runs.clear();
      }
    }
  };
  feed(false);
  EXPECT_EQ(replaced_, 0) << "a plain view this long was replaced";
  view_.clear();
  replaced_ = 0;
  feed(true);
  EXPECT_GT(replaced_, 0) << "colour changes were not counted";
  HWND v = view_.hwnd();
  const std::size_t length = TextLength(v);
  ASSERT_GT(length, 12u);
  EXPECT_FALSE(LookAt(v, length - 7).automatic) << "the copy lost its colours";
  EXPECT_TRUE(LookAt(v, length - 9).automatic);
}

}  // namespace
}  // namespace tv
