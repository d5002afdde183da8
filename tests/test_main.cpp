#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>

int main(int argc, char** argv)
{
    // Unbuffered, so that a program that ends abruptly still shows how far it got (and the
    // test runner can tell it from one that Wine never started).
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::printf("plenvort test program started\n");
    ::testing::InitGoogleTest(&argc, argv);
    // Every test runs in a single-threaded apartment, as the library's hosts do.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int rc = RUN_ALL_TESTS();
    CoUninitialize();
    return rc;
}
