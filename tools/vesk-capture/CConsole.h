// Whole lines on standard output and error. The library's capture thread and
// the main thread both print, so every line is written under one lock.
#pragma once
#include <string>

#include "support/CCriticalSection.h"

namespace vcap {

class CConsole {
public:
    void Out(const std::u16string& sLine);
    void Err(const std::u16string& sLine);

private:
    CCriticalSection m_lines;
};

}  // namespace vcap
