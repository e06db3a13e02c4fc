// Code pages: the system's (932, Shift JIS) and the others the library
// converts with, through iconv. Conversions follow Windows' sizes and
// failures (a zero destination size asks for the size needed). Not here:
// the layer's file names, which kernel/pathmap converts on their own.
#pragma once

#include "platform/types.h"

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF8 65001u

#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u

// The system code page is 932; 936, 949, 950 and UTF-8 are there beside it.
UINT GetACP();
UINT GetOEMCP();
BOOL IsValidCodePage(UINT codePage);
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE testChar);
BOOL IsDBCSLeadByte(BYTE testChar);

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest,
                        int destUnits);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceUnits, LPSTR dest,
                        int destBytes, LPCSTR defaultChar, BOOL* usedDefaultChar);
