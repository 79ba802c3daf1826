#include "report/CIpfixSender.h"

#include <fixbuf/public.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <thread>

namespace
{
constexpr uint16_t kDataTemplate = 256;
constexpr uint16_t kOptionsTemplate = 257;
constexpr uint16_t kDataTemplate6 = 258;
// fixbuf's UDP messages stay within about 1,400 bytes (no IP fragments); ending each after this
// many 45-byte records (69 for IPv6) makes every message one this code emits, so the pause after
// each one paces the collector.
constexpr size_t kRecordsPerMessage = 28;
constexpr size_t kRecordsPerMessage6 = 18;

// The data record as fixbuf reads it: fields in template order, no padding between them.
// Internal templates need every length spelled out, so the element lists below repeat these sizes.
struct DataRecord
{
    uint64_t flowStartMilliseconds;
    uint64_t flowEndMilliseconds;
    uint64_t octetDeltaCount;
    uint64_t packetDeltaCount;
    uint32_t sourceIPv4Address; // host byte order, as fixbuf expects
    uint32_t destinationIPv4Address;
    uint32_t observationDomainId;
    uint8_t flowDirection; // 0 ingress (received), 1 egress (sent)
};

// The same for a remote host of IPv6, whose addresses fixbuf takes as sixteen bytes in
// network order.
struct DataRecord6
{
    uint64_t flowStartMilliseconds;
    uint64_t flowEndMilliseconds;
    uint64_t octetDeltaCount;
    uint64_t packetDeltaCount;
    uint8_t sourceIPv6Address[16];
    uint8_t destinationIPv6Address[16];
    uint32_t observationDomainId;
    uint8_t flowDirection;
};

struct OptionsRecord
{
    uint32_t observationDomainId;
    uint8_t padding[4];
    fbVarfield_t observationDomainName;
};

fbInfoElementSpec_t kDataSpec[] = {{const_cast<char*>("flowStartMilliseconds"), 8, 0},
                                   {const_cast<char*>("flowEndMilliseconds"), 8, 0},
                                   {const_cast<char*>("octetDeltaCount"), 8, 0},
                                   {const_cast<char*>("packetDeltaCount"), 8, 0},
                                   {const_cast<char*>("sourceIPv4Address"), 4, 0},
                                   {const_cast<char*>("destinationIPv4Address"), 4, 0},
                                   {const_cast<char*>("observationDomainId"), 4, 0},
                                   {const_cast<char*>("flowDirection"), 1, 0},
                                   FB_IESPEC_NULL};

fbInfoElementSpec_t kDataSpec6[] = {{const_cast<char*>("flowStartMilliseconds"), 8, 0},
                                    {const_cast<char*>("flowEndMilliseconds"), 8, 0},
                                    {const_cast<char*>("octetDeltaCount"), 8, 0},
                                    {const_cast<char*>("packetDeltaCount"), 8, 0},
                                    {const_cast<char*>("sourceIPv6Address"), 16, 0},
                                    {const_cast<char*>("destinationIPv6Address"), 16, 0},
                                    {const_cast<char*>("observationDomainId"), 4, 0},
                                    {const_cast<char*>("flowDirection"), 1, 0},
                                    FB_IESPEC_NULL};

// The padding exists only in memory; flag 1 keeps it out of the template that is sent.
fbInfoElementSpec_t kOptionsSpec[] = {{const_cast<char*>("observationDomainId"), 4, 0},
                                      {const_cast<char*>("paddingOctets"), 4, 1},
                                      {const_cast<char*>("observationDomainName"), FB_IE_VARLEN, 0},
                                      FB_IESPEC_NULL};

// fixbuf reports a failed UDP send only as a GLib warning and carries on, so the warning is
// caught while this thread emits and becomes the sender's error.
thread_local std::string* t_sendError = nullptr;

void CatchSendWarning(const gchar* domain, GLogLevelFlags level, const gchar* message,
                      gpointer data)
{
    if (t_sendError == nullptr)
        g_log_default_handler(domain, level, message, data);
    else if (t_sendError->empty())
        *t_sendError = message;
}

std::string TakeMessage(GError*& error)
{
    std::string text = error != nullptr ? error->message : "unknown fixbuf failure";
    g_clear_error(&error);
    return text;
}

// Both record shapes share every field but the addresses.
template <typename Record>
uint8_t* FillCommon(Record& record, const IpfixDelta& delta, uint64_t startMs, uint64_t endMs,
                    uint32_t domain)
{
    record.flowStartMilliseconds = startMs;
    record.flowEndMilliseconds = endMs;
    record.octetDeltaCount = delta.octets;
    record.packetDeltaCount = delta.packets;
    record.observationDomainId = domain;
    record.flowDirection = delta.sent ? 1 : 0;
    return reinterpret_cast<uint8_t*>(&record);
}

uint8_t* FillRecord(DataRecord& record, const IpfixDelta& delta, uint64_t startMs, uint64_t endMs,
                    uint32_t domain)
{
    record.sourceIPv4Address = ntohl(delta.sent ? delta.local : delta.remote);
    record.destinationIPv4Address = ntohl(delta.sent ? delta.remote : delta.local);
    return FillCommon(record, delta, startMs, endMs, domain);
}

uint8_t* FillRecord(DataRecord6& record, const IpfixDelta& delta, uint64_t startMs, uint64_t endMs,
                    uint32_t domain)
{
    const Ip6Address& source = delta.sent ? delta.local6 : delta.remote6;
    const Ip6Address& destination = delta.sent ? delta.remote6 : delta.local6;
    std::memcpy(record.sourceIPv6Address, source.bytes.data(), 16);
    std::memcpy(record.destinationIPv6Address, destination.bytes.data(), 16);
    return FillCommon(record, delta, startMs, endMs, domain);
}
} // namespace

CIpfixSender::CIpfixSender(fbInfoModel_st* model, IpfixEndpoint endpoint)
    : m_model(model), m_endpoint(std::move(endpoint))
{
}

CIpfixSender::~CIpfixSender()
{
    Close();
}

bool CIpfixSender::Open(std::string& error)
{
    GError* failure = nullptr;
    fbSession_t* session = fbSessionAlloc(m_model);
    m_dataTemplate = fbTemplateAlloc(m_model);
    m_dataTemplate6 = fbTemplateAlloc(m_model);
    m_optionsTemplate = fbTemplateAlloc(m_model);
    fbTemplate_t* optionsInternal = fbTemplateAlloc(m_model);
    bool ok = fbTemplateAppendSpecArray(m_dataTemplate, kDataSpec, 0, &failure) &&
              fbTemplateAppendSpecArray(m_dataTemplate6, kDataSpec6, 0, &failure) &&
              fbTemplateAppendSpecArray(m_optionsTemplate, kOptionsSpec, 0, &failure) &&
              fbTemplateAppendSpecArray(optionsInternal, kOptionsSpec, 1, &failure);
    if (ok)
    {
        fbTemplateSetOptionsScope(m_optionsTemplate, 1);
        fbTemplateSetOptionsScope(optionsInternal, 1);
        ok = fbSessionAddTemplate(session, TRUE, kDataTemplate, m_dataTemplate, &failure) != 0 &&
             fbSessionAddTemplate(session, TRUE, kDataTemplate6, m_dataTemplate6, &failure) != 0 &&
             fbSessionAddTemplate(session, TRUE, kOptionsTemplate, optionsInternal, &failure) != 0;
    }
    if (!ok)
    {
        error = TakeMessage(failure);
        fbSessionFree(session);
        m_dataTemplate = nullptr;
        m_dataTemplate6 = nullptr;
        m_optionsTemplate = nullptr;
        return false;
    }
    fbConnSpec_t connection{};
    connection.transport = FB_UDP;
    connection.host = const_cast<char*>(m_endpoint.host.c_str());
    connection.svc = const_cast<char*>(m_endpoint.port.c_str());
    fbExporter_t* exporter = fbExporterAllocNet(&connection);
    m_buffer = fBufAllocForExport(session, exporter);
    m_domainsWithTemplates.clear();
    return true;
}

void CIpfixSender::Close()
{
    if (m_buffer != nullptr)
        fBufFree(m_buffer); // with its session, its templates and its socket
    m_buffer = nullptr;
    m_dataTemplate = nullptr;
    m_dataTemplate6 = nullptr;
    m_optionsTemplate = nullptr;
    m_domainsWithTemplates.clear();
}

bool CIpfixSender::Send(const std::vector<IpfixDomain>& domains, uint64_t startMs, uint64_t endMs,
                        bool withTemplates, int paceMicroseconds, std::string& error)
{
    static const guint handler = g_log_set_handler(
        nullptr, static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
        CatchSendWarning, nullptr);
    (void)handler;
    std::string sendError;
    t_sendError = &sendError;
    m_paceNext = std::chrono::steady_clock::now();
    const bool sent = SendAll(domains, startMs, endMs, withTemplates, paceMicroseconds, error);
    t_sendError = nullptr;
    if (sent && !sendError.empty())
        error = sendError;
    return sent && sendError.empty();
}

bool CIpfixSender::SendAll(const std::vector<IpfixDomain>& domains, uint64_t startMs,
                           uint64_t endMs, bool withTemplates, int paceMicroseconds,
                           std::string& error)
{
    if (m_buffer == nullptr && !Open(error))
        return false;
    for (const IpfixDomain& domain : domains)
    {
        if (!SendDomain(domain, startMs, endMs, withTemplates, paceMicroseconds, error))
        {
            Close();
            return false;
        }
    }
    return true;
}

bool CIpfixSender::SendDomain(const IpfixDomain& domain, uint64_t startMs, uint64_t endMs,
                              bool withTemplates, int paceMicroseconds, std::string& error)
{
    GError* failure = nullptr;
    const bool known = m_domainsWithTemplates.count(domain.id) != 0;
    bool ok = true;
    if (!known || withTemplates)
    {
        // The name goes in domain 0, the exporter's own: fixbuf counts an options record in
        // its domain's sequence number and nfdump does not, which would show every re-send as
        // a lost message in the filter's domain.
        ok = SelectDomain(0, withTemplates, failure);
        OptionsRecord options{};
        options.observationDomainId = domain.id;
        options.observationDomainName.buf =
            reinterpret_cast<uint8_t*>(const_cast<char*>(domain.name.data()));
        options.observationDomainName.len = domain.name.size();
        ok = ok && fBufSetInternalTemplate(m_buffer, kOptionsTemplate, &failure) &&
             fBufSetExportTemplate(m_buffer, kOptionsTemplate, &failure) &&
             fBufAppend(m_buffer, reinterpret_cast<uint8_t*>(&options), sizeof options, &failure);
        if (!ok)
        {
            error = TakeMessage(failure);
            return false;
        }
        if (!Emit(paceMicroseconds, error))
            return false;
    }
    if (!SelectDomain(domain.id, withTemplates, failure))
    {
        error = TakeMessage(failure);
        return false;
    }
    // IPv4 records first, then IPv6 ones, each family under its own template.
    size_t inMessage = 0;
    for (const bool ipv6 : {false, true})
    {
        const uint16_t data = ipv6 ? kDataTemplate6 : kDataTemplate;
        bool selected = false;
        for (const IpfixDelta& delta : domain.deltas)
        {
            if (delta.ipv6 != ipv6)
                continue;
            if (!selected)
            {
                // Each family's records start a message of their own.
                if (inMessage != 0 && !Emit(paceMicroseconds, error))
                    return false;
                inMessage = 0;
                if (!fBufSetInternalTemplate(m_buffer, data, &failure) ||
                    !fBufSetExportTemplate(m_buffer, data, &failure))
                {
                    error = TakeMessage(failure);
                    return false;
                }
                selected = true;
            }
            DataRecord record{};
            DataRecord6 record6{};
            const bool appended =
                ipv6 ? fBufAppend(m_buffer, FillRecord(record6, delta, startMs, endMs, domain.id),
                                  sizeof record6, &failure)
                     : fBufAppend(m_buffer, FillRecord(record, delta, startMs, endMs, domain.id),
                                  sizeof record, &failure);
            if (!appended)
            {
                error = TakeMessage(failure);
                return false;
            }
            if (++inMessage == (ipv6 ? kRecordsPerMessage6 : kRecordsPerMessage))
            {
                inMessage = 0;
                if (!Emit(paceMicroseconds, error))
                    return false;
            }
        }
    }
    return Emit(paceMicroseconds, error);
}

bool CIpfixSender::SelectDomain(uint32_t id, bool withTemplates, GError*& failure)
{
    fbSession_t* session = fBufGetSession(m_buffer);
    fbSessionSetDomain(session, id);
    if (m_domainsWithTemplates.insert(id).second)
    {
        // A session sends an external template as soon as it is added.
        if (id == 0)
            return fbSessionAddTemplate(session, FALSE, kOptionsTemplate, m_optionsTemplate,
                                        &failure) != 0;
        return fbSessionAddTemplate(session, FALSE, kDataTemplate, m_dataTemplate, &failure) != 0 &&
               fbSessionAddTemplate(session, FALSE, kDataTemplate6, m_dataTemplate6, &failure) != 0;
    }
    return !withTemplates || fbSessionExportTemplates(session, &failure);
}

bool CIpfixSender::Emit(int paceMicroseconds, std::string& error)
{
    GError* failure = nullptr;
    if (!fBufEmit(m_buffer, &failure))
    {
        error = TakeMessage(failure);
        return false;
    }
    ++m_messages;
    // The pace is kept on average: a sleep overshoots by tens of microseconds, and the messages
    // after it go at once until the schedule is met again.
    if (paceMicroseconds > 0)
    {
        m_paceNext += std::chrono::microseconds(paceMicroseconds);
        if (std::chrono::steady_clock::now() < m_paceNext)
            std::this_thread::sleep_until(m_paceNext);
    }
    return true;
}
