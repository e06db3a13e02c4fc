// The input method: each window's input context (the composition being
// typed, its cursor, the result it ended with, the open status) and the
// messages that tell the window about it. The desktop's input method reaches
// us through the screen's editing and text events (WindowEvent records of the
// window service): an editing event starts or changes a composition, the text
// that follows it is the composition's result. What the desktop does not tell
// is not made up: there is never a candidate list, nor clause or attribute
// data, and setting a composition string changes only what this context
// reports, not what the desktop's input method shows.
//
// Text is code page 932; the input method's positions are byte offsets in it.
// The switch of a window's input method (WINNLSEnableIME) is in window.h.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

using HIMC = struct PlatformInputContext*;

// ------------------------------------------------------------------ messages
#define WM_IME_STARTCOMPOSITION 0x010Du
#define WM_IME_ENDCOMPOSITION 0x010Eu
#define WM_IME_COMPOSITION 0x010Fu
#define WM_IME_SETCONTEXT 0x0281u
#define WM_IME_NOTIFY 0x0282u

// What changed, in the long parameter of WM_IME_COMPOSITION, and what
// ImmGetCompositionStringA reads.
#define GCS_COMPSTR 0x0008u
#define GCS_COMPCLAUSE 0x0020u
#define GCS_CURSORPOS 0x0080u
#define GCS_RESULTSTR 0x0800u

// The notifications of WM_IME_NOTIFY (word parameter).
#define IMN_CHANGECANDIDATE 0x0003u
#define IMN_CLOSECANDIDATE 0x0004u
#define IMN_OPENCANDIDATE 0x0005u
#define IMN_SETOPENSTATUS 0x0008u
#define IMN_SETCANDIDATEPOS 0x0009u

// ImmNotifyIME: what to do with the composition.
#define NI_COMPOSITIONSTR 0x0015u
#define CPS_COMPLETE 0x0001u
#define CPS_CANCEL 0x0004u

// ImmSetCompositionStringA: set the composition string.
#define SCS_SETSTR 0x0009u

#define IMM_ERROR_NODATA (-1)
#define IMM_ERROR_GENERAL (-2)

struct CANDIDATELIST {
    DWORD dwSize;
    DWORD dwStyle;
    DWORD dwCount;
    DWORD dwSelection;
    DWORD dwPageStart;
    DWORD dwPageSize;
    DWORD dwOffset[1];
};
using LPCANDIDATELIST = CANDIDATELIST*;

// The window's input context; null for a bad window.
HIMC ImmGetContext(HWND window);
BOOL ImmReleaseContext(HWND window, HIMC context);
// The window of the input method's own user interface: there is none here.
HWND ImmGetDefaultIMEWnd(HWND window);

// GCS_COMPSTR and GCS_RESULTSTR copy up to `bytes` bytes of the text (no
// terminator) and return the text's length; with no buffer or 0 bytes they
// only return the length. GCS_CURSORPOS returns the cursor's byte offset
// and GCS_COMPCLAUSE 0 (the desktop gives no clauses). IMM_ERROR_GENERAL for
// a bad context or another index.
LONG ImmGetCompositionStringA(HIMC context, DWORD index, LPVOID buffer, DWORD bytes);
// SCS_SETSTR only: the composition becomes `composition` (`bytes` bytes),
// the cursor goes behind it, and the window is told as for a typed change.
BOOL ImmSetCompositionStringA(HIMC context, DWORD index, LPCVOID composition, DWORD bytes,
                              LPCVOID reading, DWORD readingBytes);
// NI_COMPOSITIONSTR with CPS_CANCEL drops the composition (the desktop's
// too), with CPS_COMPLETE makes it the result.
BOOL ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value);
BOOL ImmGetOpenStatus(HIMC context);
// A change is sent to the window as WM_IME_NOTIFY / IMN_SETOPENSTATUS.
// Closing drops the composition; while closed, editing is not reported and
// typed text arrives as characters.
BOOL ImmSetOpenStatus(HIMC context, BOOL open);
// The desktop gives no candidate list: always 0.
DWORD ImmGetCandidateListA(HIMC context, DWORD index, LPCANDIDATELIST list, DWORD bytes);
