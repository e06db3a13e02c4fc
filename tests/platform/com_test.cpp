// COM initialisation counts per thread.
#include <gtest/gtest.h>

#include <thread>

#include "platform/com.h"

TEST(ComInitialize, CountsPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    HRESULT otherThread = E_POINTER;
    std::thread([&otherThread] {
        otherThread = CoInitialize(nullptr);
        CoUninitialize();
    }).join();
    EXPECT_EQ(otherThread, S_OK);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    int reserved = 0;
    EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
}
