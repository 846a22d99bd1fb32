# libxlsxwriter, as the target "xlsxwriter": the system's own (Debian's
# libxlsxwriter-dev, MSYS2's package), or, given VELTRANE_XLSXWRITER_SOURCE,
# built here from its sources with this build's compilers and linked
# statically, with the zlib of the same toolchain, and without diagnostics of
# its own (cmake/quiet-xlsxwriter/R.h).
set(VELTRANE_XLSXWRITER_SOURCE "" CACHE PATH "libxlsxwriter sources to build with this build's toolchain")

if(MINGW)
    # Static libraries, not import libraries: the programs need no DLL.
    set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
endif()

if(VELTRANE_XLSXWRITER_SOURCE)
    include(ExternalProject)
    find_package(ZLIB REQUIRED)
    set(prefix ${CMAKE_BINARY_DIR}/xlsxwriter)
    set(library ${prefix}/lib/${CMAKE_STATIC_LIBRARY_PREFIX}xlsxwriter${CMAKE_STATIC_LIBRARY_SUFFIX})
    set(toolchain_argument)
    if(CMAKE_TOOLCHAIN_FILE)
        set(toolchain_argument -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
    endif()
    # Its compiler flags are one command-line string: the folders in them are
    # quoted, so that a path with spaces stays one argument.
    set(flags_file ${CMAKE_BINARY_DIR}/xlsxwriter-flags.cmake)
    file(WRITE ${flags_file} "set(CMAKE_C_FLAGS [==[-ffile-prefix-map=\"${VELTRANE_XLSXWRITER_SOURCE}\"=libxlsxwriter "
        "-DUSE_R_LANG -I\"${PROJECT_SOURCE_DIR}/cmake/quiet-xlsxwriter\"]==] CACHE STRING \"\")\n")
    ExternalProject_Add(xlsxwriter_build
        SOURCE_DIR ${VELTRANE_XLSXWRITER_SOURCE}
        INSTALL_DIR ${prefix}
        CMAKE_ARGS -C ${flags_file} ${toolchain_argument} -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
            -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_SHARED_LIBS=OFF
            -DZLIB_LIBRARY=${ZLIB_LIBRARY} -DZLIB_INCLUDE_DIR=${ZLIB_INCLUDE_DIR}
        BUILD_BYPRODUCTS ${library})
    file(MAKE_DIRECTORY ${prefix}/include)
    add_library(xlsxwriter STATIC IMPORTED GLOBAL)
    set_target_properties(xlsxwriter PROPERTIES
        IMPORTED_LOCATION ${library}
        INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
        INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
    add_dependencies(xlsxwriter xlsxwriter_build)
else()
    find_path(XLSXWRITER_INCLUDE_DIR xlsxwriter.h REQUIRED)
    find_library(XLSXWRITER_LIBRARY xlsxwriter REQUIRED)
    add_library(xlsxwriter UNKNOWN IMPORTED GLOBAL)
    set_target_properties(xlsxwriter PROPERTIES
        IMPORTED_LOCATION ${XLSXWRITER_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${XLSXWRITER_INCLUDE_DIR})
    if(MINGW)
        find_package(ZLIB REQUIRED)
        set_target_properties(xlsxwriter PROPERTIES INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
    endif()
endif()
