// The main of every test program. On Windows a crash must never wait on an
// error box, which under Wine would hang the test run. On Linux the program's
// mounts and scratch folders are its own, before any thread starts.

#include "testing/SmallDisk.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
    testfiles::MakeMountsPrivate();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
