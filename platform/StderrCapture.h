#pragma once

#include <cstdio>
#include <string>

// Keeps what is written to standard error while it lives, for a library that says why it failed
// only there (the receiver SDK). The text still reaches the console once taken. Anything another
// thread writes meanwhile is kept too, so it should wrap one short call.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Ends the capture and returns what was written, without the trailing line break; "" when
    // nothing was, or when standard error could not be redirected.
    std::string take();

private:
    void restore();

    int m_saved = -1;
    std::FILE* m_file = nullptr;
};
