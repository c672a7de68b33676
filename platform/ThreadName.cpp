#include "platform/ThreadName.h"

#include <pthread.h>

#include <cstring>
#include <string>

void nameCurrentThread(const char* name)
{
    constexpr std::size_t kMaxLength = 15;
    const std::string kept(name, strnlen(name, kMaxLength));
    pthread_setname_np(pthread_self(), kept.c_str());
}
