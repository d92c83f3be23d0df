// What the user sees of a sequence while it runs: message boxes, the
// progress caption, the wait cursor, and a dialog kept alive meanwhile.
#pragma once

#include "str.h"

// Shows `text` in a message box owned by MainDialog and returns the
// MessageBoxA result. In a silent run the box is logged instead, with the
// answer a careful administrator gives: No to a question, OK to the rest.
// The owner comes back from the box as enabled or disabled as it went in:
// ending a box enables its owner (Wine does so even when the owner was
// disabled before), and a sequence that runs with its dialog disabled
// relies on that against a second click on its buttons.
int MsgBox(unsigned type, const char* caption, const char* text);

// Formats `tmpl` like Str::Format and shows it with MsgBox.
int MsgBoxFormat(unsigned type, const char* caption, const char* tmpl, ...);

// The wait cursor, again after a window of the shell's may have taken it.
void ShowWaitCursor();

// Shows the step the program is at: the caption of MainDialog, or a line of
// the log in a silent run.
void ShowStatus(const char* text);

// Keeps the dialog alive: waits `ms` on a message loop (timer 5009 of
// MainDialog ends it), or with 0 drains the queue. A quit request met on
// the way is posted again for the dialog's own loop.
void PumpAndWait(unsigned ms);
