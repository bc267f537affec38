// The engine-drawn menus: the menu model shown as a bar along the top of the
// desktop, and the pull-down list of the menu that is open.
//
// The bar does all the work: while a menu is open it holds the capture, so
// every click and move comes to it, and it filters the keys before they
// reach the focus. Alt and a title's mnemonic open that menu; arrows move
// between menus and items, Enter or a click chooses, Escape or a click
// outside closes. Before a list shows, the top-level window reports the menu
// opening (0xF00); a chosen item is reported as a menu command (0x800).
#pragma once

#include <cstdint>
#include <string>

#include "ui/event_queue.h"
#include "ui/window.h"

class COSWindow;
struct SMenu;

class CUIMenu : public CWindow, private CEventFilter {
  TV_CLASS(CUIMenu, CWindow)

 public:
  static constexpr int kBarHeight = 20;

  // The bar: a desktop child across the top of `desktop`, kept on top,
  // showing the menu model of `top_level`.
  CUIMenu(CDesktop* desktop, COSWindow* top_level);
  ~CUIMenu() override;

  void Draw(const SDrawContext& context, const TRect& rect) override;
  bool OnMouse(uint32_t code, TPoint point, int32_t steps) override;

  // The open menu's index in the bar, or -1.
  int OpenIndex() const { return m_open; }
  // Opens menu `index` (-1 closes), its `item` highlighted (-1: none).
  void Open(int index, int item);

 private:
  // The pull-down list, drawn from the bar's state.
  CUIMenu(CDesktop* desktop, CUIMenu* bar, const TRect& rect);

  bool Pass(const SEventRecord& record) override;
  bool OnMenuKey(uint16_t virtual_key, uint16_t character, uint32_t modifiers);
  void DrawBar(const SDrawContext& context) const;
  void DrawList(const SDrawContext& context) const;
  const SMenu* MenuAt(int index) const;
  TRect TitleRect(int index) const;
  TRect ItemRect(int item) const;
  TRect ListRect(int index) const;
  int TitleAt(TPoint point) const;
  int ItemAt(TPoint point) const;
  int TitleWithMnemonic(uint16_t virtual_key) const;
  // The next item from `item` in `direction` that is not a separator.
  int StepItem(int item, int direction) const;
  void Choose(int item);
  void SetHighlight(int item);
  void MarkOpen(bool open);

  COSWindow* m_top_level = nullptr;
  CUIMenu* m_bar = nullptr;  // for the list: the bar it belongs to
  uint32_t m_list = 0;       // for the bar: the list's window id
  int m_open = -1;
  int m_highlight = -1;
};
