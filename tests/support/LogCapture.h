// The support tests' own logger in place of the library's: while a capture
// lives, levels up to its own are on and their lines are kept.
#pragma once
#include <string>

namespace logcapture {

class CCapture {
public:
    explicit CCapture(int level);  // 1 error .. 4 debug; earlier lines are forgotten
    ~CCapture();
    CCapture(const CCapture&) = delete;
    CCapture& operator=(const CCapture&) = delete;

    // Every line kept, each as "<level> <text>\n".
    std::string Text() const;
};

}  // namespace logcapture
