# layer_view(FOLDER [KNOWS FOLDER...]): the include root of FOLDER's library,
# ${CMAKE_BINARY_DIR}/layers/FOLDER, holding a link to FOLDER and to each
# folder it knows of, and nothing else of the source tree. Sources include
# "serial/Exchange.h" from the root as before; where the view lacks the
# folder, the include fails.
function(layer_view folder)
    cmake_parse_arguments(LAYER "" "" "KNOWS" ${ARGN})
    set(view ${CMAKE_BINARY_DIR}/layers/${folder})
    file(REMOVE_RECURSE ${view})
    file(MAKE_DIRECTORY ${view})
    foreach(known ${folder} ${LAYER_KNOWS})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${known} ${view}/${known} SYMBOLIC)
    endforeach()
endfunction()
