#include "DiagnosticsRecord.h"

#include <algorithm>
#include <utility>

#include "Text.h"
#include "support/CDiagnosticsConfig.h"
#include "support/CFsHelper.h"
#include "support/RecordReaders.h"

namespace vadmin {
namespace {

// Reads with the library's readers and, where one refuses, works out why.
class CRecordExplainer {
public:
    explicit CRecordExplainer(const CMyByteArray& record) : m_record(record) {}

    bool UInt8(const char16_t* pszField, uint8_t& nValue)
    {
        const uint32_t nStart = m_nCursor;
        return ReadUInt8(m_record, m_nCursor, nValue) || _Truncated(pszField, nStart, 1);
    }

    bool UInt32(const char16_t* pszField, uint32_t& nValue)
    {
        const uint32_t nStart = m_nCursor;
        return ReadUInt32(m_record, m_nCursor, nValue) || _Truncated(pszField, nStart, 4);
    }

    bool String(const std::u16string& sField, WString& sValue)
    {
        const uint32_t nStart = m_nCursor;
        return ReadString(m_record, m_nCursor, sValue) || _ExplainString(sField, nStart);
    }

    bool TotalLength(uint32_t nLength)
    {
        if (nLength == m_record.GetSize())
            return true;
        return _Fail(u"the total length field says " + Decimal(nLength) +
                     u" bytes but the value holds " + Decimal(m_record.GetSize()));
    }

    const std::u16string& Problem() const { return m_sProblem; }

private:
    bool _Fail(std::u16string sProblem)
    {
        m_sProblem = std::move(sProblem);
        return false;
    }

    uint32_t _Left(uint32_t nOffset) const
    {
        return nOffset < m_record.GetSize() ? m_record.GetSize() - nOffset : 0;
    }

    bool _Truncated(const std::u16string& sField, uint32_t nOffset, uint32_t nNeeded)
    {
        return _Fail(u"the value is truncated in the " + sField + u" at offset " +
                     Decimal(nOffset) + u": it needs " + Decimal(nNeeded) + u" bytes, " +
                     Decimal(_Left(nOffset)) + u" remain");
    }

    // Index of the first 0x0000 among the string's characters, counting an
    // odd last byte as a character of its own, as the library's reader does.
    uint32_t _FirstZero(uint32_t nOffset, uint32_t nBytes) const
    {
        const uint8_t* p = m_record.GetData() + nOffset;
        uint32_t nIndex = 0;
        for (uint32_t i = 0; i < nBytes; i += 2, ++nIndex) {
            const uint32_t nHigh = i + 1 < nBytes ? p[i + 1] : 0;
            if ((p[i] | nHigh) == 0)
                break;
        }
        return nIndex;
    }

    bool _ExplainString(const std::u16string& sField, uint32_t nStart)
    {
        uint32_t nCursor = nStart;
        uint32_t nBytes = 0;
        if (!ReadUInt32(m_record, nCursor, nBytes))
            return _Truncated(u"length of the " + sField, nStart, 4);
        if (nBytes == 0)
            return _Fail(u"the length of the " + sField +
                         u" is 0; it must count the terminating 0x0000");
        if (nBytes > _Left(nCursor))
            return _Truncated(sField, nCursor, nBytes);
        const uint32_t nZero = _FirstZero(nCursor, nBytes);
        if (nZero < (nBytes - 1) / 2)
            return _Fail(u"the " + sField + u" has a 0x0000 after " + Decimal(nZero) +
                         u" characters; only its last character may be 0x0000");
        return _Fail(u"the " + sField + u" does not end in a 0x0000 character");
    }

    const CMyByteArray& m_record;
    uint32_t m_nCursor = 0;
    std::u16string m_sProblem;
};

void _CheckFolder(const std::u16string& sField, const WString& sFolder,
                  std::vector<std::u16string>& broken)
{
    if (sFolder.empty())
        broken.push_back(u"the " + sField + u" is empty");
    else if (!CFsHelper::PathExists(sFolder))
        broken.push_back(u"the " + sField + u" '" + FromWide(sFolder) + u"' does not exist");
}

}  // namespace

CMyByteArray EncodeRecord(const CDiagnosticsSettings& settings)
{
    return CDiagnosticsConfig::BuildRecord(settings.m_bAuxOn, settings.m_nAuxMode,
                                           settings.m_sAuxFolder, settings.m_bLogOn,
                                           settings.m_nLogLevel, settings.m_sLogFolder);
}

bool DecodeRecord(const CMyByteArray& record, CDiagnosticsSettings& settings,
                  std::u16string& sProblem)
{
    CRecordExplainer reader(record);
    CDiagnosticsSettings decoded;
    uint32_t nLength = 0;
    uint8_t nAuxSwitch = 0;
    uint8_t nLogSwitch = 0;
    const bool bRead = reader.UInt32(u"total length", nLength) && reader.TotalLength(nLength) &&
                       reader.UInt8(u"auxiliary switch", nAuxSwitch) &&
                       reader.UInt32(u"auxiliary mode", decoded.m_nAuxMode) &&
                       reader.String(u"auxiliary folder", decoded.m_sAuxFolder) &&
                       reader.UInt8(u"log switch", nLogSwitch) &&
                       reader.UInt32(u"log level", decoded.m_nLogLevel) &&
                       reader.String(u"log folder", decoded.m_sLogFolder);
    sProblem = reader.Problem();
    if (!bRead)
        return false;
    decoded.m_bAuxOn = nAuxSwitch != 0;
    decoded.m_bLogOn = nLogSwitch != 0;
    settings = decoded;
    return true;
}

std::vector<std::u16string> BrokenRules(const CDiagnosticsSettings& settings)
{
    std::vector<std::u16string> broken;
    if (settings.m_bAuxOn) {
        if (settings.m_nAuxMode != 1 && settings.m_nAuxMode != 2)
            broken.push_back(u"the auxiliary mode is " + Decimal(settings.m_nAuxMode) +
                             u", not 1 or 2");
        _CheckFolder(u"auxiliary folder", settings.m_sAuxFolder, broken);
    }
    if (settings.m_bLogOn) {
        if (settings.m_nLogLevel < 1 || settings.m_nLogLevel > 4)
            broken.push_back(u"the log level is " + Decimal(settings.m_nLogLevel) +
                             u", not 1-4");
        _CheckFolder(u"log folder", settings.m_sLogFolder, broken);
    }
    return broken;
}

}  // namespace vadmin
