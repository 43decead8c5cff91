#pragma once

namespace tw {

class Form1;
class Platform;

// The main window's controls and menus, made where its twips place them, named as the window
// knows them and connected to its handlers (what a form designer's generated code would do).
void createControls(Form1& form, Platform& platform);
void createMenus(Form1& form);

} // namespace tw
