#pragma once
// Resource identifiers shared by the resource script and the code.
#define IDI_PROGRAM 1   // 64 x 64 program icon: the file, the main window and the dialogs (every form shows icon 1)
#define IDI_TRAY    2   // notification-area icon, eight sizes
