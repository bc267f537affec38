// The window tree and the menus as text, for tests and for authors:
//
//   <label> style=0x%08X[ focus][ modal][ capture][ hover][ section="<name>"]
//
// a line per window, the desktop first, children top of the z-order first,
// indented two spaces per depth, a control's label with "#0x<id>" after its
// class and its own detail lines (state, rows, text) two spaces deeper; then
// per menu "menu: <title>" and, indented,
// "item: <id> <text>[ disabled][ checked]" or "separator". The text is UTF-8
// with tabs, line breaks and backslashes escaped as \t, \n and \\.
#pragma once

#include <string>

class CDesktop;
class CMenuModel;

std::string DumpTree(const CDesktop& desktop, const CMenuModel* menu);
