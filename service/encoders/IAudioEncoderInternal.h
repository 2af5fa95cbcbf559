#pragma once
// What a file format adds to the encoder base: the codec hooks that the save
// loop of KAudioEncoder drives. Not a COM interface.
//
// The contract between the loop and a format:
//  - EncoderInit(name): the output file exists, empty, and opens under `name`
//    (a path to a file without a name in the target folder, or a hidden name
//    there; the loop names it once the file is complete). Reports name the
//    user's file through KAudioEncoder::ReportName. Open it with
//    KAudioEncoder::OpenOutputFile, set up the codec,
//    and set m_dwPieceSizeInBytes (a positive multiple of 4). The tag members
//    and bit rates are set by then. On failure the format releases whatever it
//    set up itself; the loop then removes the file.
//  - EncodePiece(samples, bytes): 16-bit stereo PCM at 48000 Hz; bytes is a
//    positive multiple of 4 and at most the piece size (only the last piece
//    of a stretch is shorter). The buffer is the loop's; it may be changed.
//  - EncoderUninit(): drains the codec, writes what the format writes at the
//    end and closes the file. The loop calls it exactly once after every
//    successful EncoderInit, also after a failed EncodePiece or a stop, so a
//    format never calls it itself. It releases everything even when it fails,
//    and its failure (a lost trailer, a failed write) fails the save.
#include "ipc/QXServiceLib.h"

class IAudioEncoderInternal {
public:
    virtual ~IAudioEncoderInternal() = default;
    // The format's file extension with its dot (".mp3").
    virtual const char16_t* GetExtension() = 0;
    virtual HRESULT EncoderInit(BSTR bstrFileName) = 0;
    virtual DWORD GetPieceSizeInBytes() = 0;
    virtual HRESULT EncoderUninit() = 0;
    virtual HRESULT EncodePiece(BYTE* pSamples, DWORD dwBytes) = 0;
};
