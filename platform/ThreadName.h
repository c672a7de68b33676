#pragma once

// Names the calling thread as the system shows it (at most 15 characters are kept), so that a
// thread's share of the processor can be told apart from the others'.
void nameCurrentThread(const char* name);
