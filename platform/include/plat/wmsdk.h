// The media reader: WMCreateReader and IWMReader, which open a media file, decode the audio of
// its first audio stream and push it, paced by the platform clock (real or virtual), to an
// IWMReaderCallback.
//
// Contract:
// - Open is asynchronous: the reader's own thread opens the file and reports WMT_OPENED with
//   the result (WMT_MISSING_CODEC first when the stream has no decoder here). The file is
//   opened without blocking and must be a regular file.
// - The reader has one output, number 0: the file's first audio stream as interleaved 16-bit
//   PCM (WAVEFORMATEX, format tag 1, cbSize 0) at the stream's own rate, with one or two
//   channels (more are mixed down to two). A file without an audio stream does not open.
// - Start(time, duration, 1.0) reports WMT_STARTED and then delivers samples to OnSample, on
//   the reader's thread, up to 100 ms ahead of the clock. At the end of the file it reports
//   WMT_END_OF_FILE (WMT_END_OF_SEGMENT when a duration ends first) and delivers nothing
//   more until the next Start, which starts over. Stop reports WMT_STOPPED; Pause holds the
//   position without a status; Resume continues from it and reports WMT_STARTED.
// - Close ends the reader's thread; WMT_CLOSED is the last call the callback gets, and the
//   reader gives up its reference to the callback before making it. Until then the
//   callback must stay alive. The last Release of a closed reader waits until its thread
//   has returned from that call (so never release it from inside the callback): after
//   it, none of the callback's code runs on the reader's behalf, and it may be unloaded.
// - Control calls never wait for the reader's thread, so callbacks may call them.
#pragma once

#include "plat/winnls.h"
#include "plat/wintypes.h"

using QWORD = uint64_t;

enum WMT_STATUS : int32_t {
    WMT_ERROR = 0,
    WMT_OPENED = 1,
    WMT_BUFFERING_START = 2,
    WMT_BUFFERING_STOP = 3,
    WMT_END_OF_FILE = 4,
    WMT_END_OF_SEGMENT = 5,
    WMT_END_OF_STREAMING = 6,
    WMT_LOCATING = 7,
    WMT_CONNECTING = 8,
    WMT_NO_RIGHTS = 9,
    WMT_MISSING_CODEC = 10,
    WMT_STARTED = 11,
    WMT_STOPPED = 12,
    WMT_CLOSED = 13,
    WMT_SOURCE_SWITCH = 22,
};

enum WMT_ATTR_DATATYPE : int32_t {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
};

// Sample flags given to OnSample.
inline constexpr DWORD WM_SF_CLEANPOINT = 0x1;
inline constexpr DWORD WM_SF_DISCONTINUITY = 0x2;  // the first sample after a Start

// Result codes of the reader (media facility 0x00D).
inline constexpr HRESULT NS_E_INVALID_REQUEST = static_cast<HRESULT>(0xC00D002Bu);    // not in this state
inline constexpr HRESULT NS_E_FILE_OPEN_FAILED = static_cast<HRESULT>(0xC00D001Du);   // cannot be opened
inline constexpr HRESULT NS_E_INVALID_DATA = static_cast<HRESULT>(0xC00D002Fu);       // no media it reads
inline constexpr HRESULT NS_E_NO_AUDIO_STREAM = static_cast<HRESULT>(0xC00D0BC6u);    // media without audio
inline constexpr HRESULT NS_E_AUDIO_CODEC_NOT_INSTALLED = static_cast<HRESULT>(0xC00D10C7u);
inline constexpr HRESULT ASF_E_BUFFERTOOSMALL = static_cast<HRESULT>(0xC00D07F0u);

// Media types, as GetMediaType lays them out: the record, then the format block it points to.
struct WM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

inline constexpr GUID WMMEDIATYPE_Audio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMMEDIASUBTYPE_PCM = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMFORMAT_WaveFormatEx = {0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

inline constexpr IID IID_INSSBuffer = {0xE1CD3524, 0x03D7, 0x11D2, {0x9E, 0xED, 0x00, 0x60, 0x97, 0xD2, 0xD7, 0xCF}};
inline constexpr IID IID_IWMMediaProps = {0x96406BCE, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr IID IID_IWMOutputMediaProps = {0x96406BD7, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr IID IID_IWMStatusCallback = {0x6D7CDC70, 0x9888, 0x11D3, {0x8E, 0xDC, 0x00, 0xC0, 0x4F, 0x61, 0x09, 0xCF}};
inline constexpr IID IID_IWMReaderCallback = {0x96406BD8, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr IID IID_IWMReader = {0x96406BD6, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};

// One delivered sample: its bytes belong to the reader until the callback returns, unless
// the callback keeps a reference.
struct INSSBuffer : IUnknown {
    virtual HRESULT GetLength(DWORD* length) = 0;
    virtual HRESULT SetLength(DWORD length) = 0;
    virtual HRESULT GetMaxLength(DWORD* length) = 0;
    virtual HRESULT GetBuffer(BYTE** buffer) = 0;
    virtual HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) = 0;

protected:
    ~INSSBuffer() = default;
};

struct IWMMediaProps : IUnknown {
    virtual HRESULT GetType(GUID* type) = 0;
    // With `type` null, *bytes receives the size the record and its format block need.
    virtual HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* bytes) = 0;
    virtual HRESULT SetMediaType(WM_MEDIA_TYPE* type) = 0;

protected:
    ~IWMMediaProps() = default;
};

struct IWMOutputMediaProps : IWMMediaProps {
    virtual HRESULT GetStreamGroupName(WCHAR* name, WORD* chars) = 0;
    virtual HRESULT GetConnectionName(WCHAR* name, WORD* chars) = 0;

protected:
    ~IWMOutputMediaProps() = default;
};

struct IWMStatusCallback : IUnknown {
    virtual HRESULT OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE* value, void* context) = 0;

protected:
    ~IWMStatusCallback() = default;
};

struct IWMReaderCallback : IWMStatusCallback {
    // Times in 100-nanosecond units from the start of the file.
    virtual HRESULT OnSample(DWORD output, QWORD sampleTime, QWORD sampleDuration, DWORD flags, INSSBuffer* sample,
                             void* context) = 0;

protected:
    ~IWMReaderCallback() = default;
};

struct IWMReader : IUnknown {
    virtual HRESULT Open(LPCWSTR url, IWMReaderCallback* callback, void* context) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT GetOutputCount(DWORD* outputs) = 0;
    virtual HRESULT GetOutputProps(DWORD output, IWMOutputMediaProps** props) = 0;
    // Accepts only the output's own format.
    virtual HRESULT SetOutputProps(DWORD output, IWMOutputMediaProps* props) = 0;
    virtual HRESULT GetOutputFormatCount(DWORD output, DWORD* formats) = 0;
    virtual HRESULT GetOutputFormat(DWORD output, DWORD format, IWMOutputMediaProps** props) = 0;
    // From `start` (100 ns units) for `duration` (0: to the end); only rate 1.0 is played.
    virtual HRESULT Start(QWORD start, QWORD duration, float rate, void* context) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Resume() = 0;

protected:
    ~IWMReader() = default;
};

// `certificate` must be null; `rights` is not used.
PLAT_API HRESULT WMCreateReader(IUnknown* certificate, DWORD rights, IWMReader** reader);
