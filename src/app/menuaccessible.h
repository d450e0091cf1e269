#pragma once

namespace quorvex {

// Makes menu items show their program name (objectName) as their accessible description, as
// every other control does. Qt's own menu-item interface reports no description, so an
// interface of ours is installed for actions that live in a menu. Call once, after the
// application object exists.
void install_menu_item_accessibility();

} // namespace quorvex
