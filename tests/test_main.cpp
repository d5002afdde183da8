#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <cstdio>

namespace {

// A fault ends the program at once with its code and address, instead of waiting for a
// debugger that a headless Wine starts and nobody answers.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    std::fprintf(stderr, "fault 0x%08lx at %p\n", static_cast<unsigned long>(r->ExceptionCode), r->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int main(int argc, char** argv)
{
    // Unbuffered, so that a program that ends abruptly still shows how far it got (and the
    // test runner can tell it from one that Wine never started).
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::printf("plenvort test program started\n");
    SetUnhandledExceptionFilter(ReportFault);
    ::testing::InitGoogleTest(&argc, argv);
    // Every test runs in a single-threaded apartment, as the library's hosts do.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int rc = RUN_ALL_TESTS();
    CoUninitialize();
    return rc;
}
