// The audio compression manager: conversion streams from a compressed wave
// format to PCM (and PCM to PCM of another width). The drivers are built in:
// PCM, mu-law, A-law, IMA ADPCM, Microsoft ADPCM, and MPEG audio layers I to
// III through libmpg123. Only synchronous, non-real-time use is offered; a
// stream handle is a checked id.
#pragma once

#include "platform/mmreg.h"
#include "platform/types.h"
#include "platform/winmm.h"

using HACMDRIVER = struct PlatformAcmDriver*;
using HACMSTREAM = struct PlatformAcmStream*;
using HACMOBJ = struct PlatformAcmObject*;
using LPHACMSTREAM = HACMSTREAM*;
struct WAVEFILTER;
using LPWAVEFILTER = WAVEFILTER*;

#define MMSYSERR_ERROR 1u
#define MMSYSERR_INVALHANDLE 5u
#define MMSYSERR_NOMEM 7u
#define MMSYSERR_NOTSUPPORTED 8u
#define MMSYSERR_INVALFLAG 10u
#define ACMERR_BASE 512u
#define ACMERR_NOTPOSSIBLE (ACMERR_BASE + 0)
#define ACMERR_BUSY (ACMERR_BASE + 1)
#define ACMERR_UNPREPARED (ACMERR_BASE + 2)
#define ACMERR_CANCELED (ACMERR_BASE + 3)

// acmMetrics: the largest format record any driver uses, in bytes.
#define ACM_METRIC_MAX_SIZE_FORMAT 50u

#define ACM_FORMATSUGGESTF_WFORMATTAG 0x00010000u
#define ACM_FORMATSUGGESTF_NCHANNELS 0x00020000u
#define ACM_FORMATSUGGESTF_NSAMPLESPERSEC 0x00040000u
#define ACM_FORMATSUGGESTF_WBITSPERSAMPLE 0x00080000u
#define ACM_FORMATSUGGESTF_TYPEMASK 0x00FF0000u

#define ACM_STREAMOPENF_QUERY 0x00000001u
#define ACM_STREAMOPENF_ASYNC 0x00000002u
#define ACM_STREAMOPENF_NONREALTIME 0x00000004u

#define ACM_STREAMSIZEF_SOURCE 0x00000000u
#define ACM_STREAMSIZEF_DESTINATION 0x00000001u
#define ACM_STREAMSIZEF_QUERYMASK 0x0000000Fu

#define ACM_STREAMCONVERTF_BLOCKALIGN 0x00000004u
#define ACM_STREAMCONVERTF_START 0x00000010u
#define ACM_STREAMCONVERTF_END 0x00000020u

#define ACMSTREAMHEADER_STATUSF_DONE 0x00010000u
#define ACMSTREAMHEADER_STATUSF_PREPARED 0x00020000u
#define ACMSTREAMHEADER_STATUSF_INQUEUE 0x00100000u

struct ACMSTREAMHEADER {
    DWORD cbStruct;
    DWORD fdwStatus;
    DWORD_PTR dwUser;
    LPBYTE pbSrc;
    DWORD cbSrcLength;
    DWORD cbSrcLengthUsed;
    DWORD_PTR dwSrcUser;
    LPBYTE pbDst;
    DWORD cbDstLength;
    DWORD cbDstLengthUsed;
    DWORD_PTR dwDstUser;
    DWORD dwReservedDriver[10];
};
using LPACMSTREAMHEADER = ACMSTREAMHEADER*;

MMRESULT acmMetrics(HACMOBJ object, UINT metric, LPVOID value);
// Fills `destination` (cbDestination bytes) with the PCM format a driver
// converts `source` to; the flags say which fields of `destination` are
// already asked for.
MMRESULT acmFormatSuggest(HACMDRIVER driver, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                          DWORD cbDestination, DWORD flags);

MMRESULT acmStreamOpen(LPHACMSTREAM stream, HACMDRIVER driver, LPWAVEFORMATEX source,
                       LPWAVEFORMATEX destination, LPWAVEFILTER filter, DWORD_PTR callback,
                       DWORD_PTR instance, DWORD flags);
MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags);
// The largest output for `input` source bytes (ACM_STREAMSIZEF_SOURCE), or the
// source bytes that fill `input` output bytes (ACM_STREAMSIZEF_DESTINATION).
MMRESULT acmStreamSize(HACMSTREAM stream, DWORD input, LPDWORD output, DWORD flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);
MMRESULT acmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);
