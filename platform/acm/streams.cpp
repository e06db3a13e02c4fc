// The compression manager's calls: format suggestion, metrics and conversion
// streams. A stream handle is a checked id into a table of open streams; the
// table is locked because the sound thread converts while the window thread
// opens and closes.
#include <cstring>
#include <mutex>

#include "platform/acm.h"
#include "platform/acm/codec_internal.h"
#include "platform/handle_table_internal.h"

namespace {

using platform::acm::Codec;

struct AcmStream {
    std::unique_ptr<Codec> codec;
    WAVEFORMATEX destination;
};

std::mutex tableLock;
platform::HandleTable<AcmStream>& StreamTable() {
    static platform::HandleTable<AcmStream> table(platform::HandleKind::AcmStream);
    return table;
}

AcmStream* FindStream(HACMSTREAM handle) {
    std::lock_guard<std::mutex> hold(tableLock);
    return StreamTable().Find(reinterpret_cast<uintptr_t>(handle));
}

// The flags of acmFormatSuggest that name fields of the destination.
constexpr DWORD kSuggestFieldFlags = ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                                     ACM_FORMATSUGGESTF_NSAMPLESPERSEC |
                                     ACM_FORMATSUGGESTF_WBITSPERSAMPLE;

MMRESULT CheckHeader(const ACMSTREAMHEADER* header) {
    if (header == nullptr || header->cbStruct < sizeof(ACMSTREAMHEADER)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->pbSrc == nullptr && header->cbSrcLength > 0) ||
        (header->pbDst == nullptr && header->cbDstLength > 0)) {
        return MMSYSERR_INVALPARAM;
    }
    return MMSYSERR_NOERROR;
}

// What preparing and unpreparing both ask: a stream, no flags, a sound header.
MMRESULT CheckHeaderCall(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    if (FindStream(stream) == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    return CheckHeader(header);
}

}  // namespace

MMRESULT acmMetrics(HACMOBJ object, UINT metric, LPVOID value) {
    if (object != nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (value == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (metric != ACM_METRIC_MAX_SIZE_FORMAT) {
        return MMSYSERR_NOTSUPPORTED;
    }
    // Microsoft ADPCM with its seven standard coefficient pairs is the largest.
    *static_cast<DWORD*>(value) = sizeof(WAVEFORMATEX) + 4 + 7 * sizeof(ADPCMCOEFSET);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER driver, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                          DWORD cbDestination, DWORD flags) {
    if (driver != nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (source == nullptr || destination == nullptr || cbDestination < 16) {
        return MMSYSERR_INVALPARAM;
    }
    if ((flags & ~kSuggestFieldFlags) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    WAVEFORMATEX suggested;
    if (!platform::acm::SuggestPcmFormat(source, destination, flags, &suggested)) {
        return ACMERR_NOTPOSSIBLE;
    }
    // A 16-byte destination is the old PCMWAVEFORMAT without the size field.
    std::memcpy(destination, &suggested,
                cbDestination < sizeof(suggested) ? 16 : sizeof(suggested));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(LPHACMSTREAM stream, HACMDRIVER driver, LPWAVEFORMATEX source,
                       LPWAVEFORMATEX destination, LPWAVEFILTER filter, DWORD_PTR callback,
                       DWORD_PTR instance, DWORD flags) {
    (void)instance;
    bool query = (flags & ACM_STREAMOPENF_QUERY) != 0;
    if (stream != nullptr) {
        *stream = nullptr;
    }
    if (driver != nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (source == nullptr || destination == nullptr || (stream == nullptr && !query)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((flags & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME)) != 0 || callback != 0) {
        // Conversion is synchronous only: no callbacks, no asynchronous streams.
        return MMSYSERR_INVALFLAG;
    }
    if (filter != nullptr) {
        return ACMERR_NOTPOSSIBLE;
    }
    std::unique_ptr<Codec> codec = platform::acm::MakeCodec(source, destination);
    if (codec == nullptr) {
        return ACMERR_NOTPOSSIBLE;
    }
    if (query) {
        return MMSYSERR_NOERROR;
    }
    auto* record = new AcmStream{std::move(codec), {}};
    std::memcpy(&record->destination, destination, 16);
    std::lock_guard<std::mutex> hold(tableLock);
    uintptr_t id = StreamTable().Add(record);
    if (id == 0) {
        delete record;
        return MMSYSERR_NOMEM;
    }
    *stream = reinterpret_cast<HACMSTREAM>(id);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags) {
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    AcmStream* record;
    {
        std::lock_guard<std::mutex> hold(tableLock);
        record = StreamTable().Remove(reinterpret_cast<uintptr_t>(stream));
    }
    if (record == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    delete record;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM stream, DWORD input, LPDWORD output, DWORD flags) {
    AcmStream* record = FindStream(stream);
    if (record == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (output == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    DWORD query = flags & ACM_STREAMSIZEF_QUERYMASK;
    if ((flags & ~ACM_STREAMSIZEF_QUERYMASK) != 0 || query > ACM_STREAMSIZEF_DESTINATION) {
        return MMSYSERR_INVALFLAG;
    }
    *output = query == ACM_STREAMSIZEF_SOURCE ? record->codec->OutputFor(input)
                                              : record->codec->InputFor(input);
    // Too little to make or fill one block.
    return *output == 0 ? ACMERR_NOTPOSSIBLE : MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    if (MMRESULT check = CheckHeaderCall(stream, header, flags); check != MMSYSERR_NOERROR) {
        return check;
    }
    header->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    if (MMRESULT check = CheckHeaderCall(stream, header, flags); check != MMSYSERR_NOERROR) {
        return check;
    }
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) {
        return ACMERR_UNPREPARED;
    }
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    AcmStream* record = FindStream(stream);
    if (record == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    constexpr DWORD kKnown =
        ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
    if ((flags & ~kKnown) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if (MMRESULT check = CheckHeader(header); check != MMSYSERR_NOERROR) {
        return check;
    }
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) {
        return ACMERR_UNPREPARED;
    }
    if ((flags & ACM_STREAMCONVERTF_START) != 0) {
        record->codec->Restart();
    }
    // Every codec converts whole blocks, so block alignment is always kept.
    uint32_t used = 0;
    uint32_t produced = 0;
    record->codec->Convert(header->pbSrc, header->cbSrcLength, header->pbDst, header->cbDstLength,
                           (flags & ACM_STREAMCONVERTF_END) != 0, &used, &produced);
    header->cbSrcLengthUsed = used;
    header->cbDstLengthUsed = produced;
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}
