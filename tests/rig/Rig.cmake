# Null-modem rig for tests under Wine: two COM ports of a prefix joined by
# the rig's relay (ptyrelay) and declared to Wine (wineports.sh), and
# ptyshim, preloaded into wine64 so WaitCommEvent blocks on them.
#
#   include(tests/rig/Rig.cmake)
#   add_nullmodem_fixture(${WINE_PREFIX_DIR} PREFIX_FIXTURE wineprefix)
#   set_tests_properties(some.test PROPERTIES
#       FIXTURES_REQUIRED nullmodem RESOURCE_LOCK nullmodem
#       ENVIRONMENT LD_PRELOAD=${RIG_PRELOAD})

# The project is cross-compiled for Windows, but the shim is loaded by the
# Linux wine64 process and the relay is a Linux program, so both are built
# by the host's own compiler.
find_program(NATIVE_CC NAMES cc gcc)
if(NOT NATIVE_CC)
    message(FATAL_ERROR "Rig.cmake: no native C compiler (cc or gcc) to build ptyshim")
endif()

set(RIG_PRELOAD ${CMAKE_BINARY_DIR}/rig/libptyshim.so)
set(RIG_NULLMODEM ${CMAKE_CURRENT_LIST_DIR}/nullmodem.sh)

add_custom_command(
    OUTPUT ${RIG_PRELOAD}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/rig
    COMMAND ${NATIVE_CC} -shared -fPIC -O2 -Wall -Wextra
            -o ${RIG_PRELOAD} ${CMAKE_CURRENT_LIST_DIR}/ptyshim.c -ldl
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ptyshim.c
    COMMENT "Building native ptyshim for wine64"
    VERBATIM)
add_custom_target(ptyshim ALL DEPENDS ${RIG_PRELOAD})

# nullmodem.sh finds it in rig/ beside the prefix's folder.
set(RIG_RELAY ${CMAKE_BINARY_DIR}/rig/ptyrelay)
add_custom_command(
    OUTPUT ${RIG_RELAY}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/rig
    COMMAND ${NATIVE_CC} -O2 -Wall -Wextra -o ${RIG_RELAY} ${CMAKE_CURRENT_LIST_DIR}/ptyrelay.c
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ptyrelay.c
    COMMENT "Building the rig's native pty relay"
    VERBATIM)
add_custom_target(ptyrelay ALL DEPENDS ${RIG_RELAY})

# Tests sharing the pair should also take RESOURCE_LOCK nullmodem: there is
# one cable, and a test that stops the relay pulls it out for everyone.
# PREFIX_FIXTURE names the fixture that boots the prefix, which must happen
# first: the ports go into its registry and dosdevices folder. Starting and
# stopping restart Wine, which ends every program in the prefix, so nothing
# else runs meanwhile.
function(add_nullmodem_fixture PREFIX_DIR)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "PREFIX_FIXTURE" "")
    add_test(NAME rig.nullmodem.start
             COMMAND bash ${RIG_NULLMODEM} start ${PREFIX_DIR} com5 com6)
    add_test(NAME rig.nullmodem.stop
             COMMAND bash ${RIG_NULLMODEM} stop ${PREFIX_DIR})
    set_tests_properties(rig.nullmodem.start PROPERTIES
        FIXTURES_SETUP nullmodem RUN_SERIAL TRUE TIMEOUT 60)
    set_tests_properties(rig.nullmodem.stop PROPERTIES
        FIXTURES_CLEANUP nullmodem RUN_SERIAL TRUE TIMEOUT 60)
    if(ARG_PREFIX_FIXTURE)
        set_tests_properties(rig.nullmodem.start rig.nullmodem.stop PROPERTIES
            FIXTURES_REQUIRED ${ARG_PREFIX_FIXTURE})
    endif()
endfunction()
