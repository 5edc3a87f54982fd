#include "pal/system/debugoutput.h"

#include <unistd.h>

#include "pal/system/machine.h"
#include "pal/system/system.h"
#include "pal/text/text.h"

namespace pal {

void WriteDebugOutput(const std::string& utf8)
{
    if (utf8.empty() || NonEmptySetting("VESK_DEBUG_OUTPUT").empty())
        return;
    // One write per message keeps lines of concurrent threads whole.
    std::string line = utf8;
    if (line.back() != '\n')
        line += '\n';
    for (size_t done = 0; done < line.size();) {
        const ssize_t n = write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace pal

void WINAPI OutputDebugStringW(LPCWSTR text)
{
    if (text)
        pal::WriteDebugOutput(pal::ToUtf8(text));
}
