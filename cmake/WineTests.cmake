# The Windows test programs run under Wine, on a private X display and with a
# running Wine server, which two ctest fixtures start before the first test
# and stop after the last, whatever the tests' outcome: cmake/wine-session.sh
# does both, and launches each program with the Wine that runs this build's
# programs here (the 32-bit ones from the i386 root). Each build's prefix
# (about 1.3 GB) is shared with the benchmarks of the same bits.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(bits x86_64)
    set(prefix wineprefix)
else()
    set(bits i686)
    set(prefix wineprefix-i686)
endif()
set(VELTRANE_WINEPREFIX ${CMAKE_BINARY_DIR}/../${prefix})
set(VELTRANE_WINE_TESTS ON)
set(session ${PROJECT_SOURCE_DIR}/cmake/wine-session.sh)
set(state ${CMAKE_BINARY_DIR}/wine-session)
set(CMAKE_CROSSCOMPILING_EMULATOR sh ${session} run ${state})

add_test(NAME wine_session_start COMMAND sh ${session} start ${state} ${VELTRANE_WINEPREFIX} ${bits})
add_test(NAME wine_session_stop COMMAND sh ${session} stop ${state})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session)
