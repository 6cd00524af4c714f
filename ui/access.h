// Names for a screen reader where a control's own text does not say what it is.
#ifndef PELLMARK_ACCESS_H
#define PELLMARK_ACCESS_H

#include <windows.h>

// Gives the main dialog's browse buttons and format buttons their names, through the
// accessibility service's Dynamic Annotation; where the system has no such service, or it
// answers that it cannot, they keep the names of their texts. Needs COM on this thread.
void nameControls(HWND dlg);

// Takes the names back, before the dialog is destroyed.
void unnameControls(HWND dlg);

#endif
