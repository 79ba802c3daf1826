// One collector: an IPFIX session over UDP that sends the records of an export interval.
#pragma once

#include "report/IpfixRecords.h"

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct fBuf_st;
struct fbInfoModel_st;
struct fbTemplate_st;
struct _GError;

class CIpfixSender
{
public:
    CIpfixSender(fbInfoModel_st* model, IpfixEndpoint endpoint);
    ~CIpfixSender();
    CIpfixSender(const CIpfixSender&) = delete;
    CIpfixSender& operator=(const CIpfixSender&) = delete;

    // One message per domain at least: the message header carries the domain. Templates go
    // ahead of a domain's first records and again whenever withTemplates is set, as does the
    // options record naming the domain (in domain 0). A failed send comes back as false with
    // the reason in error, after the rest was sent (a refused datagram is lost like any other);
    // a failure to encode or connect drops the session, and the next call opens a new one.
    bool Send(const std::vector<IpfixDomain>& domains, uint64_t startMs, uint64_t endMs,
              bool withTemplates, int paceMicroseconds, std::string& error);

    const IpfixEndpoint& GetEndpoint() const { return m_endpoint; }
    uint64_t GetMessageCount() const { return m_messages; }

private:
    bool SendAll(const std::vector<IpfixDomain>& domains, uint64_t startMs, uint64_t endMs,
                 bool withTemplates, int paceMicroseconds, std::string& error);
    bool Open(std::string& error);
    void Close();
    bool SendDomain(const IpfixDomain& domain, uint64_t startMs, uint64_t endMs, bool withTemplates,
                    int paceMicroseconds, std::string& error);
    // Makes id the domain of the next message and sends its template first if it needs it.
    bool SelectDomain(uint32_t id, bool withTemplates, _GError*& failure);
    bool Emit(int paceMicroseconds, std::string& error);

    fbInfoModel_st* m_model;
    IpfixEndpoint m_endpoint;
    fBuf_st* m_buffer = nullptr;
    fbTemplate_st* m_dataTemplate = nullptr;
    fbTemplate_st* m_dataTemplate6 = nullptr;
    fbTemplate_st* m_optionsTemplate = nullptr;
    std::set<uint32_t> m_domainsWithTemplates;
    uint64_t m_messages = 0;
    std::chrono::steady_clock::time_point m_paceNext; // when the next message may go
};
