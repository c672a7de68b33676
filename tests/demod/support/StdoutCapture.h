#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// Collects what the code under test prints to stdout between construction and take().
class StdoutCapture {
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        testing::internal::CaptureStdout();
    }
    std::string take()
    {
        // printf output may still sit in the stdio buffer.
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
};
