#include "support/CDiagnosticsConfig.h"

#include <algorithm>

#include "support/CFsHelper.h"
#include "support/RecordReaders.h"
#include "support/Registry.h"

CDiagnosticsConfig::CDiagnosticsConfig()
    : m_sKeyPath(W("SOFTWARE\\vesk\\Diagnostics")), m_sValueName(W("Configuration"))
{
}

void CDiagnosticsConfig::Reset()
{
    m_bAuxSwitch = false;
    m_nAuxMode = 0;
    m_sAuxFolder.clear();
    m_bLogSwitch = false;
    m_nLogLevel = 0;
    m_sLogFolder.clear();
}

bool CDiagnosticsConfig::Read()
{
    Reset();
    CMyByteArray record;
    if (!ReadBinaryValue(HKEY_LOCAL_MACHINE, m_sKeyPath, m_sValueName, record, false, false))
        return false;
    return Parse(record) && Validate();
}

bool CDiagnosticsConfig::Parse(const CMyByteArray& record)
{
    Reset();
    uint32_t nCursor = 0;
    uint32_t nLength = 0;
    uint8_t nAuxSwitch = 0;
    uint32_t nAuxMode = 0;
    WString sAuxFolder;
    uint8_t nLogSwitch = 0;
    uint32_t nLogLevel = 0;
    WString sLogFolder;
    const bool bRead = ReadUInt32(record, nCursor, nLength) && nLength == record.GetSize() &&
                       ReadUInt8(record, nCursor, nAuxSwitch) &&
                       ReadUInt32(record, nCursor, nAuxMode) &&
                       ReadString(record, nCursor, sAuxFolder) &&
                       ReadUInt8(record, nCursor, nLogSwitch) &&
                       ReadUInt32(record, nCursor, nLogLevel) &&
                       ReadString(record, nCursor, sLogFolder);
    if (!bRead)
        return false;
    m_bAuxSwitch = nAuxSwitch != 0;
    m_nAuxMode = nAuxMode;
    m_sAuxFolder = sAuxFolder;
    m_bLogSwitch = nLogSwitch != 0;
    m_nLogLevel = nLogLevel;
    m_sLogFolder = sLogFolder;
    return true;
}

bool CDiagnosticsConfig::Validate() const
{
    if (m_bAuxSwitch && ((m_nAuxMode != 1 && m_nAuxMode != 2) ||
                         !CFsHelper::PathExists(m_sAuxFolder)))
        return false;
    if (!m_bLogSwitch)
        return true;
    return m_nLogLevel >= 1 && m_nLogLevel <= 4 && CFsHelper::PathExists(m_sLogFolder);
}

namespace {

void AppendBytes(CMyByteArray& record, const void* pBytes, uint32_t nCount)
{
    const uint32_t nOffset = record.GetSize();
    record.SetSize(nOffset + nCount);
    const auto* p = static_cast<const uint8_t*>(pBytes);
    std::copy(p, p + nCount, record.GetData() + nOffset);
}

void AppendUInt32(CMyByteArray& record, uint32_t nValue)
{
    const uint8_t bytes[4] = {static_cast<uint8_t>(nValue), static_cast<uint8_t>(nValue >> 8),
                              static_cast<uint8_t>(nValue >> 16), static_cast<uint8_t>(nValue >> 24)};
    AppendBytes(record, bytes, 4);
}

void AppendString(CMyByteArray& record, const WString& sText)
{
    AppendUInt32(record, static_cast<uint32_t>(2 * (sText.size() + 1)));
    for (const WCHAR c : sText + WCHAR(0)) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)};
        AppendBytes(record, bytes, 2);
    }
}

}  // namespace

CMyByteArray CDiagnosticsConfig::BuildRecord(bool bAuxSwitch, uint32_t nAuxMode,
                                             const WString& sAuxFolder, bool bLogSwitch,
                                             uint32_t nLogLevel, const WString& sLogFolder)
{
    CMyByteArray record;
    AppendUInt32(record, 0);
    const uint8_t nAux = bAuxSwitch ? 1 : 0;
    AppendBytes(record, &nAux, 1);
    AppendUInt32(record, nAuxMode);
    AppendString(record, sAuxFolder);
    const uint8_t nLog = bLogSwitch ? 1 : 0;
    AppendBytes(record, &nLog, 1);
    AppendUInt32(record, nLogLevel);
    AppendString(record, sLogFolder);
    const uint32_t nSize = record.GetSize();
    for (int i = 0; i < 4; ++i)
        record.ElementAt(i) = static_cast<uint8_t>(nSize >> (8 * i));
    return record;
}
