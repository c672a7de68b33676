#pragma once

// Runs NorvaleRTSA from start-up to shut-down and returns the process exit code.
int runApplication(int argc, char** argv);
