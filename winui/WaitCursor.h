// The hour-glass cursor shown while a long operation runs on the user-interface thread.
#pragma once

namespace winui {

void BeginWaitCursor();
void EndWaitCursor();
// Shows the hour-glass again while a wait is under way (a message box or another window
// the user answered in between put the arrow back); nothing otherwise.
void RestoreWaitCursor();
// How many BeginWaitCursor calls are not yet ended (0: the normal cursor is back).
int WaitCursorDepth();

// Scoped use: the cursor is restored on every path out of the scope.
class WaitCursor {
public:
    WaitCursor() { BeginWaitCursor(); }
    ~WaitCursor() { EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace winui
