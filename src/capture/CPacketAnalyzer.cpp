#include "capture/CPacketAnalyzer.h"

#include "capture/PacketDecoder.h"

CPacketAnalyzer::CPacketAnalyzer(CPacketQueue& queue, IErrorListener* errors)
    : m_queue(&queue), m_errors(errors)
{
}

CPacketAnalyzer::CPacketAnalyzer(IPacketDispatch& dispatch, IErrorListener* errors)
    : m_dispatch(&dispatch), m_errors(errors)
{
}

void CPacketAnalyzer::Analyze(const CapturedFrame& frame)
{
    if (frame.header == nullptr || frame.header->len == 0)
        return;
    PacketInfo single;
    PacketInfo& packet = frame.burst != nullptr ? frame.burst->packets[frame.burst->count] : single;
    if (!DecodeFrame(frame.data, frame.header->caplen, frame.header->len, frame.linkType, packet))
    {
        m_undecoded.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // The kernel's arrival stamp live, the recorded stamp in a replay.
    packet.time = frame.header->ts.tv_sec;
    if (frame.counters != nullptr)
        frame.counters->Add(packet.length);
    if (frame.burst != nullptr)
    {
        if (++frame.burst->count == PacketBurst::Capacity)
            FlushBurst(*frame.burst);
    }
    else if (m_queue != nullptr)
        m_queue->Push(packet);
    else
        m_dispatch->DispatchPacket(packet);
}

void CPacketAnalyzer::FlushBurst(PacketBurst& burst)
{
    const size_t count = burst.count;
    burst.count = 0;
    if (count == 0)
        return;
    if (m_queue != nullptr)
        m_queue->PushBatch(burst.packets, count);
    else
        m_dispatch->DispatchBatch(burst.packets, count, m_errors);
}

void CPacketAnalyzer::OnError(const CKavoException& error)
{
    if (m_errors != nullptr)
        m_errors->OnError(error);
}
