// Drawing goes to whatever canvas the caller of Redraw handed over as the
// device context. A null device context draws nothing, as on Windows.
#include "platform/WinApi.h"

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    if (hdc == nullptr) {
        return 0xFFFFFFFFu; // CLR_INVALID
    }
    return hdc->SetTextColor(color);
}

BOOL TextOutA(HDC hdc, int x, int y, const char* text, int length)
{
    if (hdc == nullptr || text == nullptr || length < 0) {
        return FALSE;
    }
    return hdc->TextOut(x, y, text, length);
}
