# A second compiler over the same code: Debian's clang for the MinGW-w64
# target, with MinGW g++'s C++ library and headers, linked by lld. It finds the
# Windows headers and libraries of mingw-w64 itself, but not g++'s C++
# headers, so they are named here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
# Where g++ keeps its libraries and C++ headers, asked of g++ itself: the
# folder is named after its version, which changes with Debian's release.
execute_process(COMMAND ${MINGW_TRIPLET}-g++-posix -print-file-name=libstdc++.a
                OUTPUT_VARIABLE MINGW_LIBSTDCXX OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(MINGW_GCC_DIR ${MINGW_LIBSTDCXX} DIRECTORY)
if(NOT EXISTS ${MINGW_GCC_DIR}/include/c++)
    message(FATAL_ERROR "no C++ headers of MinGW-w64 g++ in ${MINGW_GCC_DIR}")
endif()
set(CMAKE_C_COMPILER   clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET   ${MINGW_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLET})
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLET}-windres)

# g++'s libstdc++ keeps its thread-locals (std::call_once's) in emulated TLS.
set(CMAKE_CXX_FLAGS_INIT
    "-femulated-tls -isystem ${MINGW_GCC_DIR}/include/c++ -isystem ${MINGW_GCC_DIR}/include/c++/${MINGW_TRIPLET} -isystem ${MINGW_GCC_DIR}/include/c++/backward")
# Debian's libstdc++.a lacks the symbols through which lld finds the unwind
# tables of its precompiled templates (GNU ld finds them by name), so an
# exception thrown through std::wstring or a stream would unwind with the
# wrong saved registers. A copy with them put back is linked instead; see
# restore_unwind_symbols.py. Try-compiles, in folders of their own, do without.
set(UNWIND_FIXED_LIB_DIR ${CMAKE_BINARY_DIR}/libstdc++-unwind)
set(UNWIND_FIXER ${CMAKE_CURRENT_LIST_DIR}/restore_unwind_symbols.py)
if(NOT CMAKE_IN_TRY_COMPILE AND (${MINGW_GCC_DIR}/libstdc++.a IS_NEWER_THAN ${UNWIND_FIXED_LIB_DIR}/libstdc++.a OR
                                 ${UNWIND_FIXER} IS_NEWER_THAN ${UNWIND_FIXED_LIB_DIR}/libstdc++.a))
    file(MAKE_DIRECTORY ${UNWIND_FIXED_LIB_DIR})
    execute_process(COMMAND python3 ${UNWIND_FIXER} ${MINGW_GCC_DIR}/libstdc++.a ${UNWIND_FIXED_LIB_DIR}/libstdc++.a
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endif()

# libstdc++ and libgcc live beside g++; the static libgcc needs winpthreads.
# lld links them without GNU ld's hundreds of warnings about g++'s type
# information sections differing in size from clang's.
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${UNWIND_FIXED_LIB_DIR} -L${MINGW_GCC_DIR} -pthread")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
