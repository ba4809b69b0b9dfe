// The media type of the reader's output: 16-bit PCM described by a WAVEFORMATEX. The object
// is a copy; changing it changes nothing until the reader is given it back.
#pragma once

#include "com_object.h"
#include <plat/dsound.h>
#include <plat/wmsdk.h>

namespace plat {

class MediaOutputProps final : public ComObject<MediaOutputProps, IWMOutputMediaProps, IID_IUnknown,
                                                 IID_IWMMediaProps, IID_IWMOutputMediaProps> {
public:
    explicit MediaOutputProps(const WAVEFORMATEX& format) : format_(format) {}

    HRESULT GetType(GUID* type) override;
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* bytes) override;
    // Takes an audio type whose format block is a PCM WAVEFORMATEX.
    HRESULT SetMediaType(WM_MEDIA_TYPE* type) override;
    HRESULT GetStreamGroupName(WCHAR* name, WORD* chars) override;
    HRESULT GetConnectionName(WCHAR* name, WORD* chars) override;

    WAVEFORMATEX format() const { return format_; }

private:
    friend Base;
    ~MediaOutputProps() = default;

    WAVEFORMATEX format_;
};

// The PCM format the reader gives for `rate` and `channels`.
WAVEFORMATEX pcmOutputFormat(uint32_t rate, uint16_t channels);

}  // namespace plat
