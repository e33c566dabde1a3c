#include "WaitCursor.h"

#include <windows.h>

namespace winui {
namespace {
int g_depth = 0;
HCURSOR g_saved = nullptr;
}

void BeginWaitCursor()
{
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
    if (g_depth++ == 0)
        g_saved = previous;
}

void EndWaitCursor()
{
    if (g_depth == 0)
        return;
    if (--g_depth == 0)
        SetCursor(g_saved ? g_saved : LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));  // IDC_ARROW
}

void RestoreWaitCursor()
{
    if (g_depth > 0)
        SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
}

int WaitCursorDepth() { return g_depth; }

}  // namespace winui
