# The version is defined once, in project(); the DLL's version resource takes
# it from a header made here, so a release changes one line.

function(zero_padded number width result)
    set(text "${number}")
    string(LENGTH "${text}" length)
    while(length LESS width)
        string(PREPEND text 0)
        math(EXPR length "${length} + 1")
    endwhile()
    set(${result} "${text}" PARENT_SCOPE)
endfunction()

# The application shows versions as 1.00.0041: minor in two digits, patch in four.
zero_padded(${PROJECT_VERSION_MINOR} 2 minor)
zero_padded(${PROJECT_VERSION_PATCH} 4 patch)
set(VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${minor}.${patch}")
set(VERSION_HEADER_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/resources/Version.h.in ${VERSION_HEADER_DIR}/Version.h @ONLY)
