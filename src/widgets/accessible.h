#pragma once

namespace quorvex {

// What screen readers and GUI test tools see of the program's controls. Installed once, after
// the application object exists, for every window:
//  - option buttons (OptionButton) are push buttons whose "Press" runs their service, as a
//    click does (Qt's own interface shows a check box whose "Toggle" only flips the check);
//  - plain push buttons offer the same "Press" (Qt's own animates the click on a timer);
//  - flag options (FlagOption) are option buttons whose "Press" sets them, as a click does;
//  - help labels (ClickLabel) offer "Press", which does what their click does;
//  - menu items show their program name (objectName) as accessible description, as every
//    other control does, and offer "Press" (or "Show Menu" for a submenu).
// Every action returns at once: the work it starts runs afterwards from the event loop, so a
// message box it opens never blocks the tool that pressed it.
void install_accessibility();

} // namespace quorvex
