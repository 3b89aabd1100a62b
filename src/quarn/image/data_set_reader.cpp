#include "quarn/image/data_set_reader.h"

#include "quarn/compression/compress_data.h"
#include "quarn/compression/decode_ahead.h"
#include "quarn/compression/parallel_compressor.h"
#include "quarn/io/device_io.h"
#include "quarn/api/quarn.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

CDataSetReader::CDataSetReader(DataSetSource& source) : m_source(source)
{}

CDataSetReader::~CDataSetReader()
{
    m_ahead.reset();  // joins its worker first
}

int CDataSetReader::Init()
{
    m_piece.resize(kPieceBytes);
    m_scratch.resize(kPieceBytes);
    m_decompressor.reset();
    m_ahead.reset();
    m_state = State::Idle;
    const uint8_t type = m_source.CompressType();
    if (type != 0) {
        m_decompressor = std::make_unique<CCompressData>(type);
        if (!m_decompressor->IsReady())
            return ERR_NO_MEMORY;
        if (CParallelCompressor::ThreadsFromEnvironment() > 1) {
            m_ahead = std::make_unique<CDecodeAhead>(type);
            if (!m_ahead->IsReady())
                return ERR_NO_MEMORY;
        }
    }
    return 0;
}

int CDataSetReader::MismatchCode() const
{
    return m_raw ? ERR_READ_FILE : ERR_COMPRESS;
}

int CDataSetReader::ReadHead()
{
    if (m_source.ReadImage(&m_head, sizeof(m_head)) != static_cast<int64_t>(sizeof(m_head)))
        return ERR_READ_FILE;
    m_storedLeft = m_head.dataBytes;
    return 0;
}

int CDataSetReader::Begin()
{
    m_state = State::Idle;
    m_out = nullptr;
    m_outLeft = 0;
    int result = ReadHead();
    if (result != 0)
        return result;
    m_raw = m_decompressor == nullptr || m_head.storedRaw == 1;
    m_state = State::Begun;
    m_fedEnd = false;
    // A small set is decoded here: handing it to the worker and waiting
    // for it would cost more than decoding it.
    m_decodingAhead = m_ahead != nullptr && !m_raw &&
                      (m_head.continued != 0 || m_head.dataBytes > CDecodeAhead::kSmallSetBytes);
    if (m_decodingAhead)
        m_ahead->Start();
    return 0;
}

int CDataSetReader::NextPart()
{
    int result = m_source.OpenNextVolume();
    if (result != 0)
        return result;
    return ReadHead();
}

int CDataSetReader::Decompress(unsigned char* data, unsigned length, bool final)
{
    unsigned char* out = nullptr;
    unsigned long outLength = 0;
    bool more = false;
    if (m_decompressor->Decompress(data, length, final, &out, &outLength, more) != 0) {
        DEBUG_TRACE(final ? "decompress last buf failed!\n" : "decompress failed!\n");
        return ERR_COMPRESS;
    }
    // A coder that asks to be called again without giving anything would
    // never end.
    if (more && outLength == 0 && data == nullptr)
        return ERR_COMPRESS;
    m_out = out;
    m_outLeft = out != nullptr ? outLength : 0;
    if (more)
        m_state = final ? State::DrainingFinal : State::Draining;
    else
        m_state = final ? State::Ended : State::Feeding;
    return 0;
}

int CDataSetReader::FeedAhead()
{
    if (m_storedLeft != 0) {
        // Several pieces at once; the worker still gives its coder one
        // piece at a time.
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(m_storedLeft, CDecodeAhead::kFeedBytes));
        const int result = m_ahead->Feed(n, [this, n](unsigned char* into) {
            return m_source.ReadImage(into, n) == static_cast<int64_t>(n);
        });
        if (result != 0)
            return result;
        m_storedLeft -= n;
        return 0;
    }
    if (PartContinues())
        return NextPart();
    m_ahead->FeedEnd();
    m_fedEnd = true;
    return 0;
}

int CDataSetReader::TakeAhead()
{
    for (;;) {
        // Keep the worker's queue full, so that it decodes while this
        // thread writes out what it took.
        while (!m_fedEnd && m_ahead->CanFeed()) {
            const int result = FeedAhead();
            if (result != 0)
                return result;
        }
        const unsigned char* out = nullptr;
        uint32_t length = 0;
        bool hungry = false;
        if (m_ahead->Take(&out, &length, &hungry) != 0) {
            DEBUG_TRACE("decompress failed!\n");
            return ERR_COMPRESS;
        }
        if (hungry) {
            if (m_fedEnd)
                return ERR_COMPRESS;  // the worker ended without saying so
            const int result = FeedAhead();
            if (result != 0)
                return result;
            continue;
        }
        if (length == 0)
            m_state = State::Ended;
        m_out = out;
        m_outLeft = length;
        return 0;
    }
}

bool CDataSetReader::StepCompressed(int* result)
{
    if (m_decodingAhead) {
        if (m_state == State::Ended || m_state == State::Idle)
            return false;
        *result = TakeAhead();
        return true;
    }
    switch (m_state) {
    case State::Draining:
        *result = Decompress(nullptr, 0, false);
        return true;
    case State::DrainingFinal:
        *result = Decompress(nullptr, 0, true);
        return true;
    case State::Ended:
    case State::Idle:
        return false;
    case State::Begun:
    case State::Feeding:
        break;
    }
    if (m_storedLeft != 0) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(m_storedLeft, kPieceBytes));
        if (m_source.ReadImage(m_piece.data(), n) != static_cast<int64_t>(n)) {
            *result = ERR_READ_FILE;
            return true;
        }
        m_storedLeft -= n;
        *result = Decompress(m_piece.data(), n, false);
    } else if (PartContinues()) {
        *result = NextPart();
    } else {
        // The stored bytes are all in: the final call flushes the coder.
        *result = Decompress(nullptr, 0, true);
    }
    return true;
}

int CDataSetReader::Read(unsigned char* out, uint32_t want, uint32_t* got)
{
    *got = 0;
    if (m_state == State::Idle)
        return 0;
    if (m_state == State::Begun)
        m_state = State::Feeding;
    while (*got < want) {
        if (m_outLeft != 0) {
            uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(m_outLeft, want - *got));
            std::memcpy(out + *got, m_out, n);
            m_out += n;
            m_outLeft -= n;
            *got += n;
            continue;
        }
        int result = 0;
        if (m_raw) {
            if (m_storedLeft == 0) {
                if (!PartContinues())
                    break;
                result = NextPart();
            } else {
                uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(m_storedLeft, want - *got));
                if (m_source.ReadImage(out + *got, n) != static_cast<int64_t>(n))
                    return ERR_READ_FILE;
                m_storedLeft -= n;
                *got += n;
            }
        } else if (!StepCompressed(&result)) {
            break;
        }
        if (result != 0)
            return result;
    }
    return 0;
}

int CDataSetReader::Finish(uint64_t* extra)
{
    *extra = 0;
    for (;;) {
        uint32_t got = 0;
        int result = Read(m_scratch.data(), kPieceBytes, &got);
        if (result != 0)
            return result;
        *extra += got;
        if (got < kPieceBytes)
            break;
    }
    m_state = State::Idle;
    return 0;
}

int CDataSetReader::Skip()
{
    if (m_state == State::Idle)
        return 0;
    if (m_state != State::Begun) {
        uint64_t extra = 0;
        return Finish(&extra);
    }
    for (;;) {
        if (m_storedLeft > m_source.ImageBytesLeft())
            return ERR_READ_FILE;
        if (m_storedLeft != 0 && m_source.SkipImage(m_storedLeft) != 0)
            return ERR_SEEK_FILE;
        m_storedLeft = 0;
        if (!PartContinues())
            break;
        int result = NextPart();
        if (result != 0)
            return result;
    }
    m_state = State::Idle;
    return 0;
}

int CDataSetReader::ReadExactly(unsigned char* out, uint32_t length)
{
    uint32_t got = 0;
    int result = Read(out, length, &got);
    if (result != 0)
        return result;
    uint64_t extra = 0;
    result = Finish(&extra);
    if (result != 0)
        return result;
    return got == length && extra == 0 ? 0 : MismatchCode();
}
